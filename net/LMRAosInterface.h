#pragma once

#include <QString>

// Receives the results of object-storage transfers; each receiver ignores
// the com_ids that are not its own.
class LMRAosInterface
{
public:
    virtual ~LMRAosInterface() = default;
    virtual void onAosProgress(QString progress_com_id, qlonglong progress) = 0;
    virtual void onAosEffect(QString com_id, QString effect) = 0;
};

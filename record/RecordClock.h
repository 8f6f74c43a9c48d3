#pragma once

#include <QDateTime>

#include <functional>

// Milliseconds since the epoch. The recorder and its status store take one,
// so that tests can stand still or jump in time.
using RecordClock = std::function<qint64()>;

inline RecordClock systemRecordClock()
{
    return []() { return QDateTime::currentMSecsSinceEpoch(); };
}

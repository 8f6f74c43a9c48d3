#pragma once

#include <QString>

#include <functional>

class LMRConfig;
class DirHelper;

// Browser cache clean-up at start-up: a new lesson-page build (guid) empties
// the HTTP cache; the clear-browser flag empties the whole profile.
class CacheHousekeeping
{
public:
    using GuidFetcher = std::function<QString()>;

    static void run(LMRConfig &config, const DirHelper &dirs, const GuidFetcher &fetchGuid);

    // Fetches "libs/guid.txt" next to the lesson page through the HTTP client.
    static QString fetchGuid(const QString &mainUrl);
};

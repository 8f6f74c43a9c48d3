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

    // Asks for "libs/guid.txt" next to the lesson page through the HTTP
    // client now, without waiting; the fetcher returned waits for the answer
    // (in a nested event loop) when it is called. Start-up asks before the
    // update check, so that both requests run at once.
    static GuidFetcher askGuid(const QString &mainUrl);
};

#pragma once

#include <QString>

#include <string>

namespace httplib
{
class Server;
}

namespace devservice
{

struct StoreOptions {
    std::string dir; // objects on disk: <dir>/<bucket>/<key>
    std::string keyId;
    std::string keySecret;
    std::string publicHost; // host:port of the store, for the URLs the form upload answers
};

// The object store's REST subset (path-style): buckets, objects with ranges,
// multipart uploads, listing, multi-delete. Checked as the service checks:
// V1 signature and Date, names, Content-MD5, upload ids, part ETags, limits.
// Objects live under <dir>/<bucket>/<key>, their checksums under <dir>/.meta,
// unfinished uploads under <dir>/.uploads.
void registerObjectStore(httplib::Server &server, const StoreOptions &options);

// The service API the client reports to: "/doc/upload/sound" and the form
// upload "/upload/oss/add", plus "/dev/fault" (see StoreFaults.h) and
// "/dev/reports" for tests.
void registerServiceApi(httplib::Server &server, const StoreOptions &options);

// Writes or removes an object as an upload would (data and checksums), for
// the service's own routes.
bool putStoreObject(
    const StoreOptions &options, const std::string &bucket, const std::string &key, const std::string &data);
void removeStoreObject(const StoreOptions &options, const std::string &bucket, const std::string &key);
// The same into a bucket that must exist already.
bool putBucketObject(
    const StoreOptions &options, const std::string &bucket, const std::string &key, const std::string &data);
// Where a bucket and an object live on disk; empty for names the store refuses.
QString storeBucketDir(const StoreOptions &options, const std::string &bucket);
QString storeObjectPath(const StoreOptions &options, const std::string &bucket, const std::string &key);

} // namespace devservice

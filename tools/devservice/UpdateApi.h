#pragma once
// The update answer and the installer packages it offers.
//   GET  /lumira/app/app_update?app_id=com.lumira.pc
//        {"retcode":1,"data":{"verson_name","content","download_url"}}; by
//        default it offers the client's own version (nothing newer).
//   POST /dev/update?version=V&notes=N&retcode=R&name=FILE&signature=S
//        sets what the answer offers. A body is the package: it is stored in
//        the bucket "lumira-files" as "pc/FILE" (default
//        "lumira_<V>_amd64.deb") and signed with the update key beside it
//        ("pc/FILE.sig", 64 raw Ed25519 bytes). S = good (default) | none (no
//        signature) | tampered (the stored package differs from the one
//        signed by one byte).
//   POST /dev/update/clear   back to the default answer.
//   GET  /packages/<key>     the bucket's objects, unsigned requests, as a
//        public package host would serve them (the answer's download_url).
#include "ObjectStore.h"

#include <string>

namespace httplib
{
class Server;
}

namespace devservice
{

struct UpdateOptions {
    std::string host; // of the URLs in the answer
    int port = 0;
    std::string clientVersion; // offered by default
    std::string signingKey; // PEM, Ed25519 private key
};

void registerUpdateApi(httplib::Server &server, const StoreOptions &store, const UpdateOptions &options);

} // namespace devservice

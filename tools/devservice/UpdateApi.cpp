#include "UpdateApi.h"

#include "StoreChecks.h"

#include <httplib.h>

#include <openssl/evp.h>
#include <openssl/pem.h>

#include <cstdio>
#include <fstream>
#include <memory>
#include <mutex>
#include <sstream>

namespace devservice
{
namespace
{

const std::string kBucket = "lumira-files";

struct Offer {
    std::string version;
    std::string notes;
    int retcode = 1;
    std::string key; // of the package in the bucket
};

std::mutex g_offerLock;
Offer g_offer; // guarded by g_offerLock

std::string jsonString(const std::string &text)
{
    std::string out = "\"";
    for (const char c : text) {
        switch (c) {
        case '"':
            out += "\\\"";
            break;
        case '\\':
            out += "\\\\";
            break;
        case '\n':
            out += "\\n";
            break;
        case '\r':
            out += "\\r";
            break;
        case '\t':
            out += "\\t";
            break;
        default:
            if (static_cast<unsigned char>(c) < 0x20) {
                char escaped[8];
                std::snprintf(escaped, sizeof escaped, "\\u%04x", c);
                out += escaped;
            } else {
                out += c;
            }
        }
    }
    return out + "\"";
}

Offer defaultOffer(const UpdateOptions &options)
{
    Offer offer;
    offer.version = options.clientVersion;
    offer.key = "pc/lumira_" + options.clientVersion + "_amd64.deb";
    return offer;
}

std::string answer(const Offer &offer, const UpdateOptions &options)
{
    const std::string url = "http://" + options.host + ":" + std::to_string(options.port) + "/packages/" + offer.key;
    return "{\"retcode\":" + std::to_string(offer.retcode) + ",\"data\":{\"verson_name\":" + jsonString(offer.version)
        + ",\"content\":" + jsonString(offer.notes) + ",\"download_url\":" + jsonString(url) + "}}";
}

struct PkeyFree {
    void operator()(EVP_PKEY *key) const { EVP_PKEY_free(key); }
};
struct MdCtxFree {
    void operator()(EVP_MD_CTX *ctx) const { EVP_MD_CTX_free(ctx); }
};

// Ed25519 over the whole package, as `openssl pkeyutl -sign -rawin` does.
bool sign(const std::string &keyFile, const std::string &data, std::string &signature)
{
    FILE *file = std::fopen(keyFile.c_str(), "r");
    if (!file)
        return false;
    std::unique_ptr<EVP_PKEY, PkeyFree> key(PEM_read_PrivateKey(file, nullptr, nullptr, nullptr));
    std::fclose(file);
    std::unique_ptr<EVP_MD_CTX, MdCtxFree> ctx(EVP_MD_CTX_new());
    if (!key || !ctx || EVP_DigestSignInit(ctx.get(), nullptr, nullptr, nullptr, key.get()) != 1)
        return false;
    size_t length = 0;
    const auto *bytes = reinterpret_cast<const unsigned char *>(data.data());
    if (EVP_DigestSign(ctx.get(), nullptr, &length, bytes, data.size()) != 1)
        return false;
    signature.assign(length, '\0');
    return EVP_DigestSign(ctx.get(), reinterpret_cast<unsigned char *>(&signature[0]), &length, bytes, data.size())
        == 1;
}

void fail(httplib::Response &res, int status, const std::string &text)
{
    res.status = status;
    res.set_content(text + "\n", "text/plain");
}

} // namespace

void registerUpdateApi(httplib::Server &server, const StoreOptions &store, const UpdateOptions &options)
{
    {
        std::lock_guard<std::mutex> lock(g_offerLock);
        g_offer = defaultOffer(options);
    }

    server.Get("/lumira/app/app_update", [options](const httplib::Request &req, httplib::Response &res) {
        if (req.get_param_value("app_id") != "com.lumira.pc")
            return res.set_content("{\"retcode\":-1,\"msg\":\"unknown app_id\"}", "application/json");
        std::lock_guard<std::mutex> lock(g_offerLock);
        res.set_content(answer(g_offer, options), "application/json");
    });

    server.Post("/dev/update/clear", [options](const httplib::Request &, httplib::Response &res) {
        std::lock_guard<std::mutex> lock(g_offerLock);
        g_offer = defaultOffer(options);
        res.set_content(answer(g_offer, options), "application/json");
    });

    server.Post("/dev/update", [store, options](const httplib::Request &req, httplib::Response &res) {
        Offer offer;
        {
            std::lock_guard<std::mutex> lock(g_offerLock);
            offer = g_offer;
        }
        if (req.has_param("version"))
            offer.version = req.get_param_value("version");
        if (req.has_param("notes"))
            offer.notes = req.get_param_value("notes");
        if (req.has_param("retcode"))
            offer.retcode = std::atoi(req.get_param_value("retcode").c_str());
        const std::string name
            = req.has_param("name") ? req.get_param_value("name") : "lumira_" + offer.version + "_amd64.deb";
        if (name.empty() || name.find('/') != std::string::npos || !validObjectKey("pc/" + name))
            return fail(res, 400, "name must be a plain file name");
        offer.key = "pc/" + name;
        const std::string mode = req.has_param("signature") ? req.get_param_value("signature") : "good";
        if (mode != "good" && mode != "none" && mode != "tampered")
            return fail(res, 400, "signature=good|none|tampered");
        if (!req.body.empty()) {
            std::string signature;
            if (mode != "none" && !sign(options.signingKey, req.body, signature))
                return fail(res, 500, "cannot sign with " + options.signingKey);
            std::string stored = req.body;
            if (mode == "tampered")
                stored[stored.size() / 2] = char(stored[stored.size() / 2] ^ 0x01);
            removeStoreObject(store, kBucket, offer.key + ".sig");
            if (!putStoreObject(store, kBucket, offer.key, stored)
                || (mode != "none" && !putStoreObject(store, kBucket, offer.key + ".sig", signature)))
                return fail(res, 500, "cannot store the package");
        }
        std::lock_guard<std::mutex> lock(g_offerLock);
        g_offer = offer;
        res.set_content(answer(g_offer, options), "application/json");
    });

    server.Get(R"(/packages/(.+))", [store](const httplib::Request &req, httplib::Response &res) {
        const std::string key = req.matches[1];
        if (!validBucketName(kBucket) || !validObjectKey(key))
            return fail(res, 400, "invalid name");
        std::ifstream file(store.dir + "/" + kBucket + "/" + key, std::ios::binary);
        if (!file)
            return fail(res, 404, "no such package");
        std::ostringstream data;
        data << file.rdbuf();
        res.set_content(data.str(), "application/octet-stream");
    });
}

} // namespace devservice

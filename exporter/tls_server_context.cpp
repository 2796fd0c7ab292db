#include "exporter/tls_server_context.h"

#include <arpa/inet.h>
#include <openssl/err.h>
#include <openssl/pem.h>

#include <algorithm>
#include <optional>

#include "exporter/openssl_handles.h"
#include "exporter/tls_client_names.h"

namespace orbenix::exporter {

void SslContextFree::operator()(ssl_ctx_st* context) const { SSL_CTX_free(context); }

namespace {

// What the verify callback needs, kept in an ex_data slot of our own: the
// Asio wrapper that takes the context over uses the app data slot.
struct ClientPolicy {
    bool verify = false;  // false: any certificate is taken unverified
    std::vector<std::string> allowed_sans;
};

void FreePolicy(void*, void* pointer, CRYPTO_EX_DATA*, int, long, void*) {
    delete static_cast<ClientPolicy*>(pointer);
}

int PolicyIndex() {
    static const int index = SSL_CTX_get_ex_new_index(0, nullptr, nullptr, nullptr, FreePolicy);
    return index;
}

int VerifyClient(int preverified, X509_STORE_CTX* store) {
    const auto* ssl = static_cast<const SSL*>(X509_STORE_CTX_get_ex_data(store, SSL_get_ex_data_X509_STORE_CTX_idx()));
    const auto* policy =
        ssl == nullptr ? nullptr : static_cast<const ClientPolicy*>(SSL_CTX_get_ex_data(SSL_get_SSL_CTX(ssl), PolicyIndex()));
    if (policy == nullptr) return 0;
    const int ok = policy->verify ? preverified : 1;
    // Depth 0 is the client's own certificate; it is reached last, once the chain above it passed.
    if (ok == 1 && X509_STORE_CTX_get_error_depth(store) == 0 && !policy->allowed_sans.empty() &&
        !HasAllowedName(X509_STORE_CTX_get_current_cert(store), policy->allowed_sans)) {
        X509_STORE_CTX_set_error(store, X509_V_ERR_APPLICATION_VERIFICATION);
        return 0;
    }
    return ok;
}

// OpenSSL's reason for the latest error on this thread's queue.
std::string Reason() {
    const unsigned long code = ERR_peek_last_error();
    const char* reason = code == 0 ? nullptr : ERR_reason_error_string(code);
    return reason == nullptr ? "unknown OpenSSL error" : reason;
}

// Leaves this thread's OpenSSL error queue empty, whatever path is taken: the
// listener's threads read that queue after their own calls.
struct ErrorQueueGuard {
    ErrorQueueGuard() { ERR_clear_error(); }
    ~ErrorQueueGuard() { ERR_clear_error(); }
};

int NoPassword(char*, int, int, void*) { return -1; }

// Every certificate of a PEM file, in its order; other PEM blocks are skipped.
std::variant<std::vector<X509Ptr>, std::string> ReadCertificates(const std::string& pem) {
    BioPtr bio(BIO_new_mem_buf(pem.data(), static_cast<int>(pem.size())));
    if (!bio) return Reason();
    std::vector<X509Ptr> certificates;
    while (X509Ptr certificate{PEM_read_bio_X509(bio.get(), nullptr, NoPassword, nullptr)}) {
        certificates.push_back(std::move(certificate));
    }
    // The loop ends at the end of the text (no further start line) or at a bad block.
    const unsigned long code = ERR_peek_last_error();
    if (code != 0 && !(ERR_GET_LIB(code) == ERR_LIB_PEM && ERR_GET_REASON(code) == PEM_R_NO_START_LINE)) {
        return "a certificate in it cannot be read (" + Reason() + ")";
    }
    ERR_clear_error();
    if (certificates.empty()) return std::string("no certificate in it");
    return certificates;
}

int ProtocolVersion(TlsVersion version) {
    switch (version) {
    case TlsVersion::Tls10: return TLS1_VERSION;
    case TlsVersion::Tls11: return TLS1_1_VERSION;
    case TlsVersion::Tls12: return TLS1_2_VERSION;
    case TlsVersion::Tls13: return TLS1_3_VERSION;
    }
    return TLS1_2_VERSION;
}

class Builder {
public:
    Builder(const TlsServerConfig& config, const std::string& web_config_file)
        : config_(config), web_config_file_(web_config_file) {}

    std::variant<SslContextPtr, ConfigErrors> Build() {
        SslContextPtr context(SSL_CTX_new(TLS_server_method()));
        if (!context) return ConfigErrors{web_config_file_ + ":0: cannot make a TLS context: " + Reason()};
        ctx_ = context.get();
        SSL_CTX_set_options(ctx_, SSL_OP_NO_RENEGOTIATION | SSL_OP_CIPHER_SERVER_PREFERENCE);
        // Buffers only while a record is in flight: most held connections are idle.
        SSL_CTX_set_mode(ctx_, SSL_MODE_RELEASE_BUFFERS);
        if (SSL_CTX_set_min_proto_version(ctx_, ProtocolVersion(config_.min_version)) != 1 ||
            SSL_CTX_set_max_proto_version(ctx_, ProtocolVersion(config_.max_version)) != 1) {
            errors_.push_back(web_config_file_ + ":0: the TLS versions cannot be set: " + Reason());
        }
        UseCertificateAndKey();
        UseClientPolicy();
        if (!errors_.empty()) return errors_;
        return context;
    }

private:
    void Fail(const NamedFile& file, const std::string& key, const std::string& what) {
        errors_.push_back(web_config_file_ + ":" + std::to_string(file.line) + ": " + key + " " + file.path + ": " +
                          what);
    }

    void UseCertificateAndKey() {
        auto chain = ReadCertificates(config_.cert.bytes);
        if (const auto* why = std::get_if<std::string>(&chain)) {
            Fail(config_.cert, "cert_file", *why);
        } else {
            const auto& certificates = std::get<std::vector<X509Ptr>>(chain);
            bool used = SSL_CTX_use_certificate(ctx_, certificates.front().get()) == 1;
            for (std::size_t i = 1; used && i < certificates.size(); ++i) {
                used = SSL_CTX_add1_chain_cert(ctx_, certificates[i].get()) == 1;
            }
            if (!used) Fail(config_.cert, "cert_file", "the certificate cannot be used (" + Reason() + ")");
        }

        BioPtr bio(BIO_new_mem_buf(config_.key.bytes.data(), static_cast<int>(config_.key.bytes.size())));
        PrivateKeyPtr key(bio ? PEM_read_bio_PrivateKey(bio.get(), nullptr, NoPassword, nullptr) : nullptr);
        if (!key) {
            Fail(config_.key, "key_file", "no private key in it (a key protected by a password is not supported)");
            return;
        }
        const auto* certificates = std::get_if<std::vector<X509Ptr>>(&chain);
        if (certificates != nullptr && X509_check_private_key(certificates->front().get(), key.get()) != 1) {
            Fail(config_.key, "key_file", "it does not fit the certificate of cert_file " + config_.cert.path);
            return;
        }
        if (SSL_CTX_use_PrivateKey(ctx_, key.get()) != 1) {
            Fail(config_.key, "key_file", "the key cannot be used (" + Reason() + ")");
        }
    }

    void UseClientPolicy() {
        if (config_.client_ca) {
            auto cas = ReadCertificates(config_.client_ca->bytes);
            if (const auto* why = std::get_if<std::string>(&cas)) {
                Fail(*config_.client_ca, "client_ca_file", *why);
                return;
            }
            X509_STORE* store = SSL_CTX_get_cert_store(ctx_);
            for (const X509Ptr& ca : std::get<std::vector<X509Ptr>>(cas)) {
                // The store takes a reference; the names go into the list sent to clients.
                if (X509_STORE_add_cert(store, ca.get()) != 1 || SSL_CTX_add_client_CA(ctx_, ca.get()) != 1) {
                    Fail(*config_.client_ca, "client_ca_file", "a certificate cannot be used (" + Reason() + ")");
                    return;
                }
            }
        }
        if (config_.client_auth == ClientAuth::NoClientCert) {
            SSL_CTX_set_verify(ctx_, SSL_VERIFY_NONE, nullptr);
            return;
        }
        auto policy = std::make_unique<ClientPolicy>();
        policy->verify = config_.client_auth == ClientAuth::VerifyClientCertIfGiven ||
                         config_.client_auth == ClientAuth::RequireAndVerifyClientCert;
        policy->allowed_sans = config_.client_allowed_sans;
        if (PolicyIndex() < 0 || SSL_CTX_set_ex_data(ctx_, PolicyIndex(), policy.get()) != 1) {
            errors_.push_back(web_config_file_ + ":0: the client certificate policy cannot be set: " + Reason());
            return;
        }
        policy.release();  // the context owns it now; FreePolicy deletes it with the context
        const bool required = config_.client_auth == ClientAuth::RequireAnyClientCert ||
                              config_.client_auth == ClientAuth::RequireAndVerifyClientCert;
        SSL_CTX_set_verify(ctx_, SSL_VERIFY_PEER | (required ? SSL_VERIFY_FAIL_IF_NO_PEER_CERT : 0), VerifyClient);
        // A session resumed on a context that asks for client certificates needs an id context.
        static constexpr unsigned char kSessionContext[] = "orbenix-exporter";
        SSL_CTX_set_session_id_context(ctx_, kSessionContext, sizeof kSessionContext - 1);
    }

    const TlsServerConfig& config_;
    const std::string& web_config_file_;
    SSL_CTX* ctx_ = nullptr;
    ConfigErrors errors_;
};

}  // namespace

std::variant<SslContextPtr, ConfigErrors> BuildTlsServerContext(const TlsServerConfig& config,
                                                                const std::string& web_config_file) {
    const ErrorQueueGuard guard;
    return Builder(config, web_config_file).Build();
}

}  // namespace orbenix::exporter

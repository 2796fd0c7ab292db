// TLS with OpenSSL over any Stream, through memory BIOs: the handshake and
// every record go through the inner stream's deadline-bound Read and Write.
// With a session key, sessions are resumed from and kept in the process's
// TlsSessionCache: TLS 1.2 sessions arrive in the handshake, TLS 1.3 tickets
// after it (while the response is read); both come through the context's
// new-session callback and are kept only once the certificate is accepted.
#include <arpa/inet.h>
#include <openssl/err.h>
#include <openssl/ssl.h>
#include <openssl/x509v3.h>

#include <array>
#include <chrono>
#include <map>
#include <mutex>
#include <optional>

#include "core/error.h"
#include "core/utf8.h"
#include "engine/http/http_errors.h"
#include "engine/http/tls.h"

namespace orbenix::http {
namespace {

struct SslFree { void operator()(SSL* p) const { SSL_free(p); } };
struct CtxFree { void operator()(SSL_CTX* p) const { SSL_CTX_free(p); } };
struct BioFree { void operator()(BIO* p) const { BIO_free(p); } };
using SslPtr = std::unique_ptr<SSL, SslFree>;
using CtxPtr = std::unique_ptr<SSL_CTX, CtxFree>;
using BioPtr = std::unique_ptr<BIO, BioFree>;
struct SessionFree { void operator()(SSL_SESSION* p) const { SSL_SESSION_free(p); } };
using SessionPtr = std::unique_ptr<SSL_SESSION, SessionFree>;

int NewSession(SSL* ssl, SSL_SESSION* session);

// The oldest queued OpenSSL error as text (the queue is emptied).
std::string OpenSslReason(const char* fallback) {
    std::string reason;
    while (const unsigned long code = ERR_get_error()) {
        if (reason.empty()) {
            std::array<char, 256> text{};
            ERR_error_string_n(code, text.data(), text.size());
            reason = text.data();
        }
    }
    return reason.empty() ? fallback : reason;
}

// One context per trust-anchor choice for the whole process: loading the
// trust store is the costly part, and contexts are safe to share.
SSL_CTX* SharedContext(const std::string& ca_file) {
    static std::mutex mutex;
    static std::map<std::string, CtxPtr> contexts;
    const std::lock_guard lock(mutex);
    auto& slot = contexts[ca_file];
    if (slot) return slot.get();
    CtxPtr ctx(SSL_CTX_new(TLS_client_method()));
    if (!ctx) throw Error(error_numbers::TlsHandshakeFailed, u"Cannot create a TLS context");
    SSL_CTX_set_min_proto_version(ctx.get(), TLS1_2_VERSION);
    SSL_CTX_set_options(ctx.get(), SSL_OP_IGNORE_UNEXPECTED_EOF);
    const int loaded = ca_file.empty() ? SSL_CTX_set_default_verify_paths(ctx.get())
                                       : SSL_CTX_load_verify_locations(ctx.get(), ca_file.c_str(), nullptr);
    if (loaded != 1) {
        const std::string reason = OpenSslReason("cannot load the trust anchors");
        throw Error(error_numbers::TlsHandshakeFailed,
                    TextFromUtf8("Cannot load the trust anchors \"" + (ca_file.empty() ? "system" : ca_file) + "\": " + reason));
    }
    // The verification result is offered to the caller instead of failing the handshake.
    SSL_CTX_set_verify(ctx.get(), SSL_VERIFY_NONE, nullptr);
    // New sessions go to the stream that made them, none to OpenSSL's own store.
    // Without a session set, the ClientHello is the same as without a cache.
    SSL_CTX_set_session_cache_mode(ctx.get(), SSL_SESS_CACHE_CLIENT | SSL_SESS_CACHE_NO_INTERNAL_STORE);
    SSL_CTX_sess_set_new_cb(ctx.get(), NewSession);
    slot = std::move(ctx);
    return slot.get();
}

bool IsAddressLiteral(const std::string& host) {
    std::array<unsigned char, 16> buffer{};
    return inet_pton(AF_INET, host.c_str(), buffer.data()) == 1 || inet_pton(AF_INET6, host.c_str(), buffer.data()) == 1;
}

std::u16string NameText(X509_NAME* name) {
    BioPtr bio(BIO_new(BIO_s_mem()));
    X509_NAME_print_ex(bio.get(), name, 0, XN_FLAG_RFC2253 & ~ASN1_STRFLGS_ESC_MSB);
    char* data = nullptr;
    const long size = BIO_get_mem_data(bio.get(), &data);
    return TextFromUtf8(std::string_view(data, static_cast<std::size_t>(size)));
}

std::u16string TimeText(const ASN1_TIME* time) {
    BioPtr bio(BIO_new(BIO_s_mem()));
    ASN1_TIME_print(bio.get(), time);
    char* data = nullptr;
    const long size = BIO_get_mem_data(bio.get(), &data);
    return TextFromUtf8(std::string_view(data, static_cast<std::size_t>(size)));
}

Certificate Describe(X509* cert) {
    Certificate out;
    out.subject = NameText(X509_get_subject_name(cert));
    out.issuer = NameText(X509_get_issuer_name(cert));
    out.not_before = TimeText(X509_get0_notBefore(cert));
    out.not_after = TimeText(X509_get0_notAfter(cert));
    const int size = i2d_X509(cert, nullptr);
    if (size > 0) {
        out.der.resize(static_cast<std::size_t>(size));
        auto* p = reinterpret_cast<unsigned char*>(out.der.data());
        i2d_X509(cert, &p);
    }
    return out;
}

class TlsStream final : public Stream {
public:
    TlsStream(std::unique_ptr<Stream> inner, const std::string& host, SSL_CTX* ctx,
              std::optional<TlsSessionKey> key)
        : inner_(std::move(inner)), ssl_(SSL_new(ctx)), key_(std::move(key)) {
        if (!ssl_) throw Error(error_numbers::TlsHandshakeFailed, u"Cannot create a TLS session");
        SSL_set_app_data(ssl_.get(), this);
        BIO* in = BIO_new(BIO_s_mem());
        BIO* out = BIO_new(BIO_s_mem());
        BIO_set_mem_eof_return(in, -1);  // "no data yet": more comes from the inner stream
        SSL_set_bio(ssl_.get(), in, out);
        in_ = in;
        out_ = out;
        SSL_set_connect_state(ssl_.get());
        X509_VERIFY_PARAM* param = SSL_get0_param(ssl_.get());
        if (IsAddressLiteral(host)) {
            X509_VERIFY_PARAM_set1_ip_asc(param, host.c_str());
        } else {
            SSL_set_tlsext_host_name(ssl_.get(), host.c_str());
            X509_VERIFY_PARAM_set_hostflags(param, X509_CHECK_FLAG_NO_PARTIAL_WILDCARDS);
            X509_VERIFY_PARAM_set1_host(param, host.c_str(), host.size());
            if (key_) key_->sni = host;
        }
        if (!key_) return;
        const std::shared_ptr<void> earlier = ProcessTlsSessions().Find(*key_, TlsSessionCache::Clock::now());
        if (!earlier) return;
        auto* session = static_cast<SSL_SESSION*>(earlier.get());
        // OpenSSL marks a session unresumable when a connection with it broke.
        if (SSL_SESSION_is_resumable(session) != 1) {
            ProcessTlsSessions().Forget(*key_);
            return;
        }
        offered_ = SSL_set_session(ssl_.get(), session) == 1;
    }

    // OpenSSL takes a connection freed without close_notify sent for a
    // broken one and makes its session unresumable. The exchange does not
    // close the TLS session (the server closes the connection), so a stream
    // that met no TLS failure is marked as shut down; nothing is sent.
    ~TlsStream() override {
        if (accepted_ && !failed_) SSL_set_shutdown(ssl_.get(), SSL_SENT_SHUTDOWN | SSL_RECEIVED_SHUTDOWN);
    }

    // A session the server gave: kept once the certificate is accepted.
    void Keep(SessionPtr session) {
        if (!key_) return;
        if (accepted_) {
            Store(std::move(session));
        } else {
            pending_ = std::move(session);
        }
    }

    // The certificate handler's answer. A refused certificate (or, under a
    // verifying key, one that did not verify) leaves no session behind, and
    // takes away the one this handshake resumed.
    void Decided(bool accepted, bool verified) {
        if (!key_) return;
        if (accepted && (verified || !key_->verify)) {
            accepted_ = true;
            if (pending_) Store(std::move(pending_));
            return;
        }
        if (offered_) ProcessTlsSessions().Forget(*key_);
        key_.reset();
        pending_.reset();
    }

    // After a failed handshake the offered session is not offered again.
    void HandshakeFailed() {
        if (key_ && offered_) ProcessTlsSessions().Forget(*key_);
        key_.reset();
    }

    void Handshake(const Deadline& deadline) {
        Drive(deadline, "handshake", [this] { return SSL_do_handshake(ssl_.get()); });
    }

    CertificateCheck Verification() const {
        CertificateCheck check;
        X509* cert = SSL_get0_peer_certificate(ssl_.get());
        if (cert == nullptr) {
            check.error_code = X509_V_ERR_UNSPECIFIED;
            check.error_text = u"The server sent no certificate";
            return check;
        }
        check.certificate = Describe(cert);
        const long result = SSL_get_verify_result(ssl_.get());
        check.error_code = static_cast<std::int32_t>(result);
        if (result != X509_V_OK) check.error_text = TextFromUtf8(X509_verify_cert_error_string(result));
        return check;
    }

    std::size_t Read(void* buffer, std::size_t size, const Deadline& deadline) override {
        const int want = static_cast<int>(std::min<std::size_t>(size, 1 << 20));
        const int n = Drive(deadline, "read", [&] { return SSL_read(ssl_.get(), buffer, want); });
        return n > 0 ? static_cast<std::size_t>(n) : 0;
    }

    void Write(const void* data, std::size_t size, const Deadline& deadline) override {
        const char* p = static_cast<const char*>(data);
        while (size > 0) {
            const int chunk = static_cast<int>(std::min<std::size_t>(size, 1 << 20));
            const int n = Drive(deadline, "write", [&] { return SSL_write(ssl_.get(), p, chunk); });
            p += n;
            size -= static_cast<std::size_t>(n);
        }
    }

    const std::string& PeerName() const override { return inner_->PeerName(); }

private:
    void Flush(const Deadline& deadline) {
        char* data = nullptr;
        const long pending = BIO_get_mem_data(out_, &data);
        if (pending > 0) {
            inner_->Write(data, static_cast<std::size_t>(pending), deadline);
            (void)BIO_reset(out_);
        }
    }

    // Runs an SSL call until it completes, moving records through the inner
    // stream. Returns the call's result; 0 means the peer closed the TLS session.
    template <typename Call>
    int Drive(const Deadline& deadline, const char* what, Call&& call) {
        for (;;) {
            ERR_clear_error();
            const int r = call();
            Flush(deadline);
            if (r > 0) return r;
            switch (SSL_get_error(ssl_.get(), r)) {
                case SSL_ERROR_WANT_READ: {
                    std::array<char, 16384> buffer;
                    const std::size_t n = inner_->Read(buffer.data(), buffer.size(), deadline);
                    if (n == 0) {
                        if (std::string_view(what) == "read") return 0;  // closed without close_notify
                        Fail(what, "the connection was closed by the server");
                    }
                    BIO_write(in_, buffer.data(), static_cast<int>(n));
                    break;
                }
                case SSL_ERROR_WANT_WRITE:
                    break;
                case SSL_ERROR_ZERO_RETURN:
                    return 0;
                default:
                    Fail(what, OpenSslReason("protocol error"));
            }
        }
    }

    [[noreturn]] void Fail(const char* what, const std::string& reason) {
        failed_ = true;
        if (std::string_view(what) == "handshake") {
            throw Error(error_numbers::TlsHandshakeFailed,
                        TextFromUtf8("TLS handshake with " + inner_->PeerName() + " failed: " + reason));
        }
        throw Error(error_numbers::TlsFailed,
                    TextFromUtf8(std::string("TLS ") + what + " with " + inner_->PeerName() + " failed: " + reason));
    }

    void Store(SessionPtr session) {
        const std::chrono::seconds lifetime(SSL_SESSION_get_timeout(session.get()));
        ProcessTlsSessions().Store(*key_, std::shared_ptr<SSL_SESSION>(session.release(), SessionFree{}), lifetime,
                                   TlsSessionCache::Clock::now());
    }

    std::unique_ptr<Stream> inner_;
    SslPtr ssl_;
    BIO* in_ = nullptr;   // owned by ssl_
    BIO* out_ = nullptr;  // owned by ssl_
    std::optional<TlsSessionKey> key_;  // none: no resumption
    bool offered_ = false;   // a cached session was set for this handshake
    bool accepted_ = false;  // the certificate was accepted: sessions may be kept
    SessionPtr pending_;     // the newest session before the certificate was decided
    bool failed_ = false;    // a TLS call failed: the session is not to be resumed
};

// The context's new-session callback: 1 takes over the caller's reference.
// Nothing may be thrown through OpenSSL.
int NewSession(SSL* ssl, SSL_SESSION* session) {
    auto* stream = static_cast<TlsStream*>(SSL_get_app_data(ssl));
    if (stream == nullptr || SSL_SESSION_is_resumable(session) != 1) return 0;
    SessionPtr owned(session);
    try {
        stream->Keep(std::move(owned));
    } catch (...) {
        // Not kept: the next handshake is a full one.
    }
    return 1;
}

}  // namespace

std::unique_ptr<Stream> StartTls(std::unique_ptr<Stream> inner, const std::string& host, const TlsOptions& options,
                                 const Deadline& deadline,
                                 const std::function<bool(const CertificateCheck&)>& accept) {
    auto tls = std::make_unique<TlsStream>(std::move(inner), host, SharedContext(options.ca_file), options.session_key);
    try {
        tls->Handshake(deadline);
    } catch (...) {
        tls->HandshakeFailed();
        throw;
    }
    const CertificateCheck check = tls->Verification();
    const bool accepted = accept(check);
    tls->Decided(accepted, check.error_code == 0);
    if (!accepted) {
        std::u16string why = check.error_code == 0 ? u"the certificate verified, but was refused" : check.error_text;
        throw Error(error_numbers::CertificateRejected,
                    u"Certificate of " + TextFromUtf8(tls->PeerName()) + u" rejected: " + why);
    }
    return tls;
}

}  // namespace orbenix::http

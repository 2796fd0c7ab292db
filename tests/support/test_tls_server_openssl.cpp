#include <openssl/err.h>
#include <openssl/evp.h>
#include <openssl/ssl.h>
#include <openssl/x509v3.h>

#include <array>
#include <chrono>

#include "tests/support/test_tls_server.h"

namespace orbenix::test {
namespace {

struct Free {
    void operator()(SSL_CTX* p) const { SSL_CTX_free(p); }
    void operator()(SSL* p) const { SSL_free(p); }
    void operator()(EVP_PKEY* p) const { EVP_PKEY_free(p); }
    void operator()(X509* p) const { X509_free(p); }
    void operator()(X509_EXTENSION* p) const { X509_EXTENSION_free(p); }
};
template <typename T>
using Owned = std::unique_ptr<T, Free>;

class Session final : public TestTlsSession {
public:
    Session(SSL_CTX* ctx, LoopbackConnection& connection) : connection_(connection), ssl_(SSL_new(ctx)) {
        in_ = BIO_new(BIO_s_mem());
        out_ = BIO_new(BIO_s_mem());
        BIO_set_mem_eof_return(in_, -1);
        SSL_set_bio(ssl_.get(), in_, out_);
        SSL_set_accept_state(ssl_.get());
    }

    bool Handshake(int timeout_ms) {
        return Drive(timeout_ms, [this] { return SSL_do_handshake(ssl_.get()); }) > 0;
    }

    std::size_t Read(void* buffer, std::size_t size, int timeout_ms) override {
        const int n = Drive(timeout_ms, [&] { return SSL_read(ssl_.get(), buffer, static_cast<int>(size)); });
        return n > 0 ? static_cast<std::size_t>(n) : 0;
    }

    bool Write(std::string_view bytes) override {
        while (!bytes.empty()) {
            const int n = Drive(10000, [&] { return SSL_write(ssl_.get(), bytes.data(), static_cast<int>(bytes.size())); });
            if (n <= 0) return false;
            bytes.remove_prefix(static_cast<std::size_t>(n));
        }
        return true;
    }

    void Close() override {
        SSL_shutdown(ssl_.get());
        Flush();
    }

private:
    bool Flush() {
        char* data = nullptr;
        const long pending = BIO_get_mem_data(out_, &data);
        if (pending <= 0) return true;
        const bool ok = connection_.Write(std::string_view(data, static_cast<std::size_t>(pending)));
        (void)BIO_reset(out_);
        return ok;
    }

    template <typename Call>
    int Drive(int timeout_ms, Call&& call) {
        const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
        for (;;) {
            ERR_clear_error();
            const int r = call();
            if (!Flush()) return -1;
            if (r > 0) return r;
            if (SSL_get_error(ssl_.get(), r) != SSL_ERROR_WANT_READ) return -1;
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(until - std::chrono::steady_clock::now());
            if (left.count() <= 0) return -1;
            std::array<char, 16384> buffer;
            const std::size_t n = connection_.Read(buffer.data(), buffer.size(), static_cast<int>(left.count()));
            if (n == 0) return -1;
            BIO_write(in_, buffer.data(), static_cast<int>(n));
        }
    }

    LoopbackConnection& connection_;
    Owned<SSL> ssl_;
    BIO* in_ = nullptr;
    BIO* out_ = nullptr;
};

// One key and certificate for the whole test program: RSA key generation is slow.
SSL_CTX* SharedServerContext() {
    static const Owned<SSL_CTX> ctx = [] {
        Owned<SSL_CTX> made(SSL_CTX_new(TLS_server_method()));
        Owned<EVP_PKEY> key(EVP_RSA_gen(2048));
        Owned<X509> cert(X509_new());
        X509_set_version(cert.get(), 2);
        ASN1_INTEGER_set(X509_get_serialNumber(cert.get()), 1);
        X509_gmtime_adj(X509_getm_notBefore(cert.get()), -3600);
        X509_gmtime_adj(X509_getm_notAfter(cert.get()), 86400);
        X509_NAME* name = X509_get_subject_name(cert.get());
        X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_ASC, reinterpret_cast<const unsigned char*>("localhost"), -1, -1, 0);
        X509_set_issuer_name(cert.get(), name);
        Owned<X509_EXTENSION> san(
            X509V3_EXT_conf_nid(nullptr, nullptr, NID_subject_alt_name, "DNS:localhost,IP:127.0.0.1"));
        X509_add_ext(cert.get(), san.get(), -1);
        X509_set_pubkey(cert.get(), key.get());
        X509_sign(cert.get(), key.get(), EVP_sha256());
        SSL_CTX_use_certificate(made.get(), cert.get());
        SSL_CTX_use_PrivateKey(made.get(), key.get());
        return made;
    }();
    return ctx.get();
}

class Context final : public TestTlsContext {
public:
    // The key is made here, not during a client's handshake (whose deadline may be short).
    Context() { SharedServerContext(); }

    std::unique_ptr<TestTlsSession> Accept(LoopbackConnection& connection, int timeout_ms) override {
        auto session = std::make_unique<Session>(SharedServerContext(), connection);
        if (!session->Handshake(timeout_ms)) return nullptr;
        return session;
    }
};

}  // namespace

std::unique_ptr<TestTlsContext> MakeTestTlsContext() { return std::make_unique<Context>(); }

}  // namespace orbenix::test

#include <gtest/gtest.h>
#include <openssl/err.h>
#include <openssl/pem.h>

#include <regex>

#include "exporter/openssl_handles.h"
#include "exporter/tls_server_context.h"
#include "temp_folder.h"

namespace orbenix::exporter {
namespace {

using orbenix::testing::TempFolder;

PrivateKeyPtr NewKey() { return PrivateKeyPtr(EVP_EC_gen("P-256")); }

void AddExtension(X509* certificate, X509* issuer, int nid, const char* value) {
    X509V3_CTX context;
    X509V3_set_ctx(&context, issuer, certificate, nullptr, nullptr, 0);
    X509_EXTENSION* extension = X509V3_EXT_conf_nid(nullptr, &context, nid, value);
    ASSERT_NE(extension, nullptr) << value;
    X509_add_ext(certificate, extension, -1);
    X509_EXTENSION_free(extension);
}

// A certificate for `key` named `name`, signed by `issuer` (itself when null).
X509Ptr NewCertificate(EVP_PKEY* key, const std::string& name, bool ca, const char* sans, X509* issuer = nullptr,
                       EVP_PKEY* issuer_key = nullptr) {
    static long serial = 1;
    X509Ptr certificate(X509_new());
    X509_set_version(certificate.get(), 2);
    ASN1_INTEGER_set(X509_get_serialNumber(certificate.get()), serial++);
    X509_gmtime_adj(X509_getm_notBefore(certificate.get()), -3600);
    X509_gmtime_adj(X509_getm_notAfter(certificate.get()), 86400);
    X509_set_pubkey(certificate.get(), key);
    X509_NAME* subject = X509_get_subject_name(certificate.get());
    X509_NAME_add_entry_by_txt(subject, "CN", MBSTRING_ASC, reinterpret_cast<const unsigned char*>(name.c_str()), -1,
                               -1, 0);
    X509_set_issuer_name(certificate.get(), issuer ? X509_get_subject_name(issuer) : subject);
    X509* signer = issuer ? issuer : certificate.get();
    AddExtension(certificate.get(), signer, NID_basic_constraints, ca ? "critical,CA:TRUE" : "CA:FALSE");
    if (ca) AddExtension(certificate.get(), signer, NID_key_usage, "critical,keyCertSign,cRLSign");
    if (sans) AddExtension(certificate.get(), signer, NID_subject_alt_name, sans);
    X509_sign(certificate.get(), issuer_key ? issuer_key : key, EVP_sha256());
    return certificate;
}

std::string Pem(X509* certificate) {
    BioPtr bio(BIO_new(BIO_s_mem()));
    PEM_write_bio_X509(bio.get(), certificate);
    char* data = nullptr;
    const long size = BIO_get_mem_data(bio.get(), &data);
    return std::string(data, static_cast<std::size_t>(size));
}

std::string Pem(EVP_PKEY* key) {
    BioPtr bio(BIO_new(BIO_s_mem()));
    PEM_write_bio_PrivateKey(bio.get(), key, nullptr, nullptr, 0, nullptr, nullptr);
    char* data = nullptr;
    const long size = BIO_get_mem_data(bio.get(), &data);
    return std::string(data, static_cast<std::size_t>(size));
}

struct Client {
    PrivateKeyPtr key;
    X509Ptr certificate;
};

enum class ClientCert { None, Good, Other, SelfSigned };

// A root CA, an intermediate that signs the server's certificate (sent as its
// chain), and clients: two signed by the root, one self-signed.
class TlsServerContext : public ::testing::Test {
protected:
    void SetUp() override {
        root_key_ = NewKey();
        root_ = NewCertificate(root_key_.get(), "orbenix test root", true, nullptr);
        intermediate_key_ = NewKey();
        intermediate_ = NewCertificate(intermediate_key_.get(), "orbenix test intermediate", true, nullptr,
                                       root_.get(), root_key_.get());
        server_key_ = NewKey();
        X509Ptr server = NewCertificate(server_key_.get(), "localhost", false, "DNS:localhost", intermediate_.get(),
                                        intermediate_key_.get());
        folder_.Write("server.pem", Pem(server.get()) + Pem(intermediate_.get()), 0644);
        folder_.Write("server.key", Pem(server_key_.get()));
        folder_.Write("root.pem", Pem(root_.get()), 0644);
        good_.key = NewKey();
        good_.certificate = NewCertificate(good_.key.get(), "prometheus", false,
                                           "DNS:prometheus.example,IP:127.0.0.1,email:ops@example.org", root_.get(),
                                           root_key_.get());
        other_.key = NewKey();
        other_.certificate = NewCertificate(other_.key.get(), "intruder", false, "DNS:intruder.example,IP:::1",
                                            root_.get(), root_key_.get());
        self_signed_.key = NewKey();
        self_signed_.certificate =
            NewCertificate(self_signed_.key.get(), "prometheus", false, "DNS:prometheus.example");
    }

    // The server's context from a web configuration with `extra` lines under tls_server_config.
    std::variant<SslContextPtr, ConfigErrors> Build(const std::string& extra) {
        const std::string name =
            folder_.Write("web.yml", "tls_server_config:\n  cert_file: server.pem\n  key_file: server.key\n" + extra, 0644);
        const auto read = ReadWebConfigFile(name);
        if (const auto* errors = std::get_if<ConfigErrors>(&read)) return *errors;
        return BuildTlsServerContext(*std::get<WebConfig>(read).tls, name);
    }

    SslContextPtr ClientContext(ClientCert cert, int max_version = 0) {
        SslContextPtr context(SSL_CTX_new(TLS_client_method()));
        SSL_CTX_set_verify(context.get(), SSL_VERIFY_PEER, nullptr);  // the server's chain must reach the root
        X509_STORE_add_cert(SSL_CTX_get_cert_store(context.get()), root_.get());
        if (max_version != 0) {
            // An old client: OpenSSL's default security level would not offer these versions at all.
            SSL_CTX_set_security_level(context.get(), 0);
            SSL_CTX_set_cipher_list(context.get(), "DEFAULT:@SECLEVEL=0");
            SSL_CTX_set_max_proto_version(context.get(), max_version);
        }
        const Client* client = cert == ClientCert::Good    ? &good_
                               : cert == ClientCert::Other ? &other_
                               : cert == ClientCert::SelfSigned ? &self_signed_
                                                                : nullptr;
        if (client) {
            SSL_CTX_use_certificate(context.get(), client->certificate.get());
            SSL_CTX_use_PrivateKey(context.get(), client->key.get());
        }
        return context;
    }

    struct Outcome {
        bool server_done = false;  // the server finished its handshake
        int version = 0;
        std::vector<std::string> ca_names;  // the names the server asked certificates of
    };

    // Both sides over a memory BIO pair, in turns, until each has finished or failed.
    static Outcome Handshake(SSL_CTX* server_context, SSL_CTX* client_context) {
        SslPtr server(SSL_new(server_context));
        SslPtr client(SSL_new(client_context));
        BIO* client_end = nullptr;
        BIO* server_end = nullptr;
        BIO_new_bio_pair(&client_end, 0, &server_end, 0);
        SSL_set_bio(client.get(), client_end, client_end);
        SSL_set_bio(server.get(), server_end, server_end);
        SSL_set_connect_state(client.get());
        SSL_set_accept_state(server.get());
        SSL_set_tlsext_host_name(client.get(), "localhost");
        SSL_set1_host(client.get(), "localhost");
        int client_state = -1;  // -1 going on, 0 failed, 1 done
        int server_state = -1;
        const auto step = [](SSL* ssl, int& state) {
            if (state != -1) return;
            const int result = SSL_do_handshake(ssl);
            const int error = SSL_get_error(ssl, result);
            if (result == 1) state = 1;
            else if (error != SSL_ERROR_WANT_READ && error != SSL_ERROR_WANT_WRITE) state = 0;
        };
        for (int round = 0; round < 50 && (client_state == -1 || server_state == -1); ++round) {
            step(client.get(), client_state);
            step(server.get(), server_state);
        }
        Outcome outcome;
        outcome.server_done = server_state == 1;
        outcome.version = SSL_version(client.get());
        if (const STACK_OF(X509_NAME)* names = SSL_get_client_CA_list(client.get())) {
            for (int i = 0; i < sk_X509_NAME_num(names); ++i) {
                char text[256];
                X509_NAME_oneline(sk_X509_NAME_value(names, i), text, sizeof text);
                outcome.ca_names.push_back(text);
            }
        }
        ERR_clear_error();
        return outcome;
    }

    TempFolder folder_;
    PrivateKeyPtr root_key_, intermediate_key_, server_key_;
    X509Ptr root_, intermediate_;
    Client good_, other_, self_signed_;
};

TEST_F(TlsServerContext, EachClientPolicyTakesAndRefusesTheRightClients) {
    const std::string verify = "  client_ca_file: root.pem\n  client_auth_type: ";
    const struct { std::string extra; ClientCert cert; bool accepted; } cases[] = {
        {"", ClientCert::None, true},
        {"", ClientCert::SelfSigned, true},  // never asked for one
        {"  client_auth_type: RequestClientCert\n", ClientCert::None, true},
        {"  client_auth_type: RequestClientCert\n", ClientCert::SelfSigned, true},
        {"  client_auth_type: RequireAnyClientCert\n", ClientCert::None, false},
        {"  client_auth_type: RequireAnyClientCert\n", ClientCert::SelfSigned, true},
        {verify + "VerifyClientCertIfGiven\n", ClientCert::None, true},
        {verify + "VerifyClientCertIfGiven\n", ClientCert::Good, true},
        {verify + "VerifyClientCertIfGiven\n", ClientCert::SelfSigned, false},
        {verify + "RequireAndVerifyClientCert\n", ClientCert::None, false},
        {verify + "RequireAndVerifyClientCert\n", ClientCert::SelfSigned, false},
        {verify + "RequireAndVerifyClientCert\n", ClientCert::Good, true},
        {verify + "RequireAndVerifyClientCert\n", ClientCert::Other, true},
        // allowed names: DNS, IP and e-mail entries, compared exactly
        {verify + "RequireAndVerifyClientCert\n  client_allowed_sans: [prometheus.example]\n", ClientCert::Good, true},
        {verify + "RequireAndVerifyClientCert\n  client_allowed_sans: [prometheus.example]\n", ClientCert::Other, false},
        {verify + "RequireAndVerifyClientCert\n  client_allowed_sans: [x, 127.0.0.1]\n", ClientCert::Good, true},
        {verify + "RequireAndVerifyClientCert\n  client_allowed_sans: [\"::1\"]\n", ClientCert::Other, true},
        {verify + "RequireAndVerifyClientCert\n  client_allowed_sans: [ops@example.org]\n", ClientCert::Good, true},
        {verify + "RequireAndVerifyClientCert\n  client_allowed_sans: [PROMETHEUS.example, prometheus]\n",
         ClientCert::Good, false},
    };
    for (const auto& c : cases) {
        auto built = Build(c.extra);
        ASSERT_TRUE(std::holds_alternative<SslContextPtr>(built)) << c.extra << std::get<ConfigErrors>(built).front();
        const SslContextPtr client = ClientContext(c.cert);
        const Outcome outcome = Handshake(std::get<SslContextPtr>(built).get(), client.get());
        EXPECT_EQ(outcome.server_done, c.accepted) << c.extra << "client certificate " << static_cast<int>(c.cert);
    }
}

TEST_F(TlsServerContext, ProtocolVersionsAreHeldToTheConfiguredRange) {
    const struct { std::string extra; int client_max; bool accepted; int version; } cases[] = {
        {"", 0, true, TLS1_3_VERSION},
        {"", TLS1_2_VERSION, true, TLS1_2_VERSION},
        {"", TLS1_1_VERSION, false, 0},  // TLS12 is the default minimum
        {"  min_version: TLS13\n", TLS1_2_VERSION, false, 0},
        {"  max_version: TLS12\n", 0, true, TLS1_2_VERSION},
    };
    for (const auto& c : cases) {
        auto built = Build(c.extra);
        ASSERT_TRUE(std::holds_alternative<SslContextPtr>(built)) << c.extra;
        const SslContextPtr client = ClientContext(ClientCert::None, c.client_max);
        const Outcome outcome = Handshake(std::get<SslContextPtr>(built).get(), client.get());
        EXPECT_EQ(outcome.server_done, c.accepted) << c.extra << c.client_max;
        if (c.accepted) {
            EXPECT_EQ(outcome.version, c.version) << c.extra << c.client_max;
        }
    }
}

TEST_F(TlsServerContext, AsksClientsForCertificatesOfTheConfiguredCas) {
    auto built = Build("  client_ca_file: root.pem\n  client_auth_type: RequireAndVerifyClientCert\n");
    ASSERT_TRUE(std::holds_alternative<SslContextPtr>(built));
    const SslContextPtr client = ClientContext(ClientCert::Good);
    const Outcome outcome = Handshake(std::get<SslContextPtr>(built).get(), client.get());
    ASSERT_TRUE(outcome.server_done);
    EXPECT_EQ(outcome.ca_names, (std::vector<std::string>{"/CN=orbenix test root"}));
}

// A file the reader took but OpenSSL cannot use is named with its line.
TEST_F(TlsServerContext, BadFilesAreNamedWithTheirLine) {
    folder_.Write("other.key", Pem(NewKey().get()));
    folder_.Write("key-as-cert.pem", Pem(server_key_.get()), 0644);
    folder_.Write("cert-as-key.pem", Pem(root_.get()));
    folder_.Write("text.pem", "not a certificate\n", 0644);
    std::string broken = Pem(root_.get());
    broken.replace(broken.find('\n') + 5, 4, "!!!!");
    folder_.Write("broken.pem", broken, 0644);
    const struct { std::string cert, key, extra; int line; std::string says; } cases[] = {
        {"key-as-cert.pem", "server.key", "", 2, "cert_file .*/key-as-cert.pem: no certificate in it"},
        {"text.pem", "server.key", "", 2, "cert_file .*/text.pem: no certificate in it"},
        {"broken.pem", "server.key", "", 2, "cert_file .*/broken.pem: a certificate in it cannot be read"},
        {"server.pem", "other.key", "", 3, "key_file .*/other.key: it does not fit the certificate of cert_file"},
        {"server.pem", "cert-as-key.pem", "", 3, "key_file .*/cert-as-key.pem: no private key in it"},
        {"server.pem", "server.key", "  client_auth_type: RequestClientCert\n  client_ca_file: text.pem\n", 5,
         "client_ca_file .*/text.pem: no certificate in it"},
    };
    for (const auto& c : cases) {
        const std::string name = folder_.Write(
            "web.yml", "tls_server_config:\n  cert_file: " + c.cert + "\n  key_file: " + c.key + "\n" + c.extra, 0644);
        const auto read = ReadWebConfigFile(name);
        ASSERT_TRUE(std::holds_alternative<WebConfig>(read)) << std::get<ConfigErrors>(read).front();
        const auto built = BuildTlsServerContext(*std::get<WebConfig>(read).tls, name);
        ASSERT_TRUE(std::holds_alternative<ConfigErrors>(built)) << c.cert << " " << c.key;
        const auto& errors = std::get<ConfigErrors>(built);
        ASSERT_EQ(errors.size(), 1u) << ::testing::PrintToString(errors);
        const std::string expected = name + ":" + std::to_string(c.line) + ": " + c.says;
        EXPECT_TRUE(std::regex_search(errors.front(), std::regex(expected))) << errors.front() << "\nwanted: " << expected;
        EXPECT_EQ(ERR_peek_error(), 0u) << "the error queue is left empty";
    }
}

}  // namespace
}  // namespace orbenix::exporter

#include <gtest/gtest.h>

#include <regex>

#include "exporter/web_config.h"
#include "temp_folder.h"

namespace orbenix::exporter {
namespace {

using orbenix::testing::TempFolder;

constexpr const char* kHash = "$2y$10$X0h1gDsPszWURQaxFh.zoubFi6DXncSjhoQNJgRrnGs7EsimhC7zG";

// The reader does not look inside the PEM files (the TLS context does), so
// these hold only text to recognise.
class WebConfigReader : public ::testing::Test {
protected:
    void SetUp() override {
        folder_.Write("server.pem", "CERT", 0644);
        folder_.Write("server.key", "KEY");
        folder_.Write("open.key", "KEY", 0644);
        folder_.Write("ca.pem", "CA", 0644);
    }

    std::variant<WebConfig, ConfigErrors> Read(const std::string& text) {
        return ReadWebConfigFile(folder_.Write("web.yml", text, 0644));
    }

    std::string ConfigName() const { return folder_.path() + "/web.yml"; }

    TempFolder folder_;
};

TEST_F(WebConfigReader, GoodFileGivesTlsUsersAndHeaders) {
    const auto read = Read(std::string(R"(# all the keys this exporter takes
tls_server_config:
  cert_file: server.pem
  key_file: )") + folder_.path() + R"(/server.key
  client_auth_type: RequireAndVerifyClientCert
  client_ca_file: ca.pem
  client_allowed_sans: [prometheus.example, "192.0.2.7"]
  min_version: TLS13
  max_version: TLS13
http_server_config:
  headers:
    x-frame-options: deny
    Strict-Transport-Security: max-age=31536000
    X-XSS-Protection: ""
basic_auth_users:
  alice: )" + kHash + R"(
  bob: ')" + kHash + "'\n");
    ASSERT_TRUE(std::holds_alternative<WebConfig>(read)) << std::get<ConfigErrors>(read).front();
    const auto& config = std::get<WebConfig>(read);
    EXPECT_EQ(config.file_name, ConfigName());
    ASSERT_TRUE(config.tls);
    EXPECT_EQ(config.tls->cert.path, folder_.path() + "/server.pem");  // beside the web configuration
    EXPECT_EQ(config.tls->cert.bytes, "CERT");
    EXPECT_EQ(config.tls->cert.line, 3);
    EXPECT_EQ(config.tls->key.bytes, "KEY");
    EXPECT_EQ(config.tls->key.line, 4);
    EXPECT_EQ(config.tls->client_auth, ClientAuth::RequireAndVerifyClientCert);
    ASSERT_TRUE(config.tls->client_ca);
    EXPECT_EQ(config.tls->client_ca->bytes, "CA");
    EXPECT_EQ(config.tls->client_allowed_sans, (std::vector<std::string>{"prometheus.example", "192.0.2.7"}));
    EXPECT_EQ(config.tls->min_version, TlsVersion::Tls13);
    EXPECT_EQ(config.tls->max_version, TlsVersion::Tls13);
    // Names as the format spells them; a blank value sets no header.
    EXPECT_EQ(config.headers, (std::vector<std::pair<std::string, std::string>>{
                                  {"X-Frame-Options", "deny"}, {"Strict-Transport-Security", "max-age=31536000"}}));
    ASSERT_EQ(config.users.size(), 2u);
    EXPECT_EQ(config.users[0].name, "alice");
    EXPECT_EQ(config.users[1].bcrypt_hash, kHash);
}

TEST_F(WebConfigReader, NothingToSetMeansNoTlsAndNoUsers) {
    for (const std::string text : {"", "# only a comment\n", "{}\n", "---\n", "tls_server_config:\nbasic_auth_users:\n",
                                   "tls_server_config:\n  cert_file: \"\"\n  min_version:\n"}) {
        const auto read = Read(text);
        ASSERT_TRUE(std::holds_alternative<WebConfig>(read)) << text << std::get<ConfigErrors>(read).front();
        const auto& config = std::get<WebConfig>(read);
        EXPECT_FALSE(config.tls) << text;
        EXPECT_TRUE(config.users.empty()) << text;
        EXPECT_TRUE(config.headers.empty()) << text;
    }
}

TEST_F(WebConfigReader, DefaultsAreTls12ToTls13WithoutClientCertificates) {
    const auto read = Read("tls_server_config:\n  cert_file: server.pem\n  key_file: server.key\n");
    ASSERT_TRUE(std::holds_alternative<WebConfig>(read)) << std::get<ConfigErrors>(read).front();
    const TlsServerConfig& tls = *std::get<WebConfig>(read).tls;
    EXPECT_EQ(tls.min_version, TlsVersion::Tls12);
    EXPECT_EQ(tls.max_version, TlsVersion::Tls13);
    EXPECT_EQ(tls.client_auth, ClientAuth::NoClientCert);
    EXPECT_FALSE(tls.client_ca);
}

// Each kind of bad line is named with its file and line, and the text says what is wrong.
TEST_F(WebConfigReader, EveryBadLineIsNamedWithFileAndLine) {
    const std::string tls = "tls_server_config:\n  cert_file: server.pem\n  key_file: server.key\n";
    const std::string hash = kHash;
    const struct { std::string text; int line; std::string says; } cases[] = {
        // YAML itself
        {"tls_server_config:\n  cert_file: [server.pem\n", 3, "end of sequence"},
        {"a: 1\n---\nb: 2\n", 2, "more than one YAML document"},
        {"{basic_auth_users: {}}, tls_server_config\n", 1, "or text after the end of the first"},
        {"{basic_auth_users: {}} tls_server_config\n", 1, "or text after the end of the first"},
        {"- tls_server_config\n", 1, "holds a mapping of tls_server_config"},
        {"tls_server_config: server.pem\n", 1, "tls_server_config must be a mapping"},
        {tls + "  cert_file: other.pem\n", 4, "\"cert_file\" in tls_server_config is given twice \\(first on line 2\\)"},
        // keys
        {"tls_config:\n  cert_file: x\n", 1, "unknown key \"tls_config\": the file holds tls_server_config"},
        {tls + "  certfile: x\n", 4, "unknown key \"certfile\" in tls_server_config"},
        {"http_server_config:\n  header: {}\n", 2, "unknown key \"header\" in http_server_config"},
        {tls + "  cert: \"-----BEGIN CERTIFICATE-----\"\n", 4, "cert is not supported by this exporter \\(give the "
                                                               "certificate in a file with cert_file\\)"},
        {tls + "  key: x\n", 4, "key is not supported by this exporter"},
        {tls + "  client_ca: x\n", 4, "client_ca is not supported"},
        {tls + "  cipher_suites: [TLS_AES_128_GCM_SHA256]\n", 4, "cipher_suites is not supported"},
        {tls + "  prefer_server_cipher_suites: true\n", 4, "prefer_server_cipher_suites is not supported"},
        {tls + "  curve_preferences: [X25519]\n", 4, "curve_preferences is not supported"},
        {"http_server_config:\n  http2: false\n", 2, "http2 is not supported by this exporter \\(it serves HTTP/1.1"},
        {"rate_limit:\n  interval: 1s\n  burst: 20\n", 1, "rate_limit is not supported"},
        // TLS settings that do not go together
        {"tls_server_config:\n  cert_file: server.pem\n", 2, "cert_file without key_file"},
        {"tls_server_config:\n  key_file: server.key\n", 2, "key_file without cert_file"},
        {"tls_server_config:\n  min_version: TLS13\n", 1, "tls_server_config needs cert_file and key_file"},
        {tls + "  client_auth_type: VerifyClientCert\n", 4, "client_auth_type \"VerifyClientCert\" is none of"},
        {tls + "  client_ca_file: ca.pem\n", 4, "client_ca_file is given but client_auth_type is NoClientCert"},
        {tls + "  client_auth_type: NoClientCert\n  client_ca_file: ca.pem\n", 5, "client_auth_type is NoClientCert"},
        {tls + "  client_auth_type: RequireAndVerifyClientCert\n", 4,
         "RequireAndVerifyClientCert verifies client certificates and needs client_ca_file"},
        {tls + "  client_auth_type: VerifyClientCertIfGiven\n", 4, "VerifyClientCertIfGiven verifies"},
        {tls + "  client_auth_type: RequireAnyClientCert\n  client_allowed_sans: [a]\n", 5,
         "client_allowed_sans needs client_auth_type RequireAndVerifyClientCert"},
        {tls + "  client_auth_type: VerifyClientCertIfGiven\n  client_ca_file: ca.pem\n  client_allowed_sans: [a]\n",
         6, "client_allowed_sans needs client_auth_type RequireAndVerifyClientCert"},
        {tls + "  client_auth_type: RequireAndVerifyClientCert\n  client_ca_file: ca.pem\n  client_allowed_sans: []\n",
         6, "client_allowed_sans is empty"},
        {tls + "  client_auth_type: RequireAndVerifyClientCert\n  client_ca_file: ca.pem\n  client_allowed_sans:\n"
               "    - a\n    - {b: c}\n", 8, "client_allowed_sans holds a name that is not a string"},
        {tls + "  client_allowed_sans: a\n", 4, "client_allowed_sans must be a list"},
        {tls + "  min_version: TLS1.2\n", 4, "TLS version \"TLS1.2\" is none of TLS10, TLS11, TLS12, TLS13"},
        {tls + "  max_version: SSL3\n", 4, "TLS version \"SSL3\""},
        {tls + "  min_version: TLS10\n  max_version: TLS11\n", 4, "min_version TLS10 is not supported: this exporter's "
                                                                "OpenSSL takes TLS 1.2 and 1.3 only"},
        {tls + "  min_version: TLS11\n", 4, "min_version TLS11 is not supported"},
        {tls + "  min_version: TLS13\n  max_version: TLS12\n", 4, "min_version TLS13 is above max_version TLS12"},
        {tls + "  max_version: TLS11\n", 4, "max_version TLS11 is below the default min_version TLS12"},
        {"tls_server_config:\n  cert_file: [a]\n  key_file: server.key\n", 2, "cert_file must be a string"},
        {"tls_server_config:\n  cert_file: server.pem\n  key_file: {a: b}\n", 3, "key_file must be a string"},
        // files
        {"tls_server_config:\n  cert_file: absent.pem\n  key_file: server.key\n", 2,
         "cert_file: cannot open .*absent.pem: No such file"},
        {"tls_server_config:\n  cert_file: server.pem\n  key_file: open.key\n", 3,
         "key_file open.key holds the private key and other users can read it: remove their read permission"},
        {tls + "  client_auth_type: RequestClientCert\n  client_ca_file: absent-ca.pem\n", 5, "client_ca_file: cannot open"},
        // users
        {"basic_auth_users:\n  alice: s3cret\n", 2, "the password of user \"alice\" is not a bcrypt hash"},
        {"basic_auth_users:\n  alice: " + hash.substr(0, 59) + "\n", 2, "is not a bcrypt hash"},
        {"basic_auth_users:\n  alice: $2x$" + hash.substr(4) + "\n", 2, "is not a bcrypt hash"},
        {"basic_auth_users:\n  alice: $2y$03$" + hash.substr(7) + "\n", 2, "is not a bcrypt hash"},
        {"basic_auth_users:\n  alice: $2y$10$" + hash.substr(7, 52) + "!\n", 2, "is not a bcrypt hash"},
        {"basic_auth_users:\n  alice: [a]\n", 2, "is not a bcrypt hash"},
        {"basic_auth_users:\n  \"al:ice\": " + hash + "\n", 2, "user name \"al:ice\" holds \":\""},
        {"basic_auth_users:\n  alice: " + hash + "\n  alice: " + hash + "\n", 3, "\"alice\" in basic_auth_users is "
                                                                             "given twice"},
        {"basic_auth_users:\n  ? [alice]\n  : x\n", 2, "a key in basic_auth_users must be a string"},
        {"basic_auth_users: [alice]\n", 1, "basic_auth_users must be a mapping"},
        // headers
        {"http_server_config:\n  headers:\n    Server: orbenix\n", 3, "header \"Server\" cannot be set"},
        {"http_server_config:\n  headers:\n    WWW-Authenticate: Basic\n", 3, "header \"WWW-Authenticate\" cannot"},
        {"http_server_config:\n  headers:\n    X-Frame-Options: allow-from x\n", 3,
         "header X-Frame-Options takes \"deny\" or \"sameorigin\", not \"allow-from x\""},
        {"http_server_config:\n  headers:\n    X-Frame-Options: DENY\n", 3, "takes \"deny\" or \"sameorigin\""},
        {"http_server_config:\n  headers:\n    X-Content-Type-Options: sniff\n", 3, "takes \"nosniff\", not"},
        {"http_server_config:\n  headers:\n    Content-Security-Policy: \"a\\r\\nSet-Cookie: x\"\n", 3,
         "the value of header Content-Security-Policy holds a control character"},
        {"http_server_config:\n  headers:\n    X-Frame-Options: deny\n    x-frame-options: deny\n", 4,
         "header X-Frame-Options is given twice \\(first on line 3\\)"},
        {"http_server_config:\n  headers:\n    X-Frame-Options: [deny]\n", 3, "X-Frame-Options must be a string"},
    };
    for (const auto& c : cases) {
        const auto read = Read(c.text);
        ASSERT_TRUE(std::holds_alternative<ConfigErrors>(read)) << c.text;
        const auto& errors = std::get<ConfigErrors>(read);
        ASSERT_EQ(errors.size(), 1u) << c.text << "\n" << ::testing::PrintToString(errors);
        const std::string expected = ConfigName() + ":" + std::to_string(c.line) + ": .*" + c.says;
        EXPECT_TRUE(std::regex_search(errors.front(), std::regex(expected))) << errors.front() << "\nwanted: " << expected;
    }
}

TEST_F(WebConfigReader, ReportsEveryErrorNotJustTheFirst) {
    const auto read = Read("tls_server_config:\n  cert_file: absent.pem\n  key_file: open.key\n  min_version: TLS9\n"
                           "basic_auth_users:\n  bob: x\n");
    ASSERT_TRUE(std::holds_alternative<ConfigErrors>(read));
    const auto& errors = std::get<ConfigErrors>(read);
    ASSERT_EQ(errors.size(), 4u);
    EXPECT_NE(errors[0].find(":2: "), std::string::npos) << errors[0];
    EXPECT_NE(errors[1].find(":3: "), std::string::npos) << errors[1];
    EXPECT_NE(errors[2].find(":4: "), std::string::npos) << errors[2];
    EXPECT_NE(errors[3].find(":6: "), std::string::npos) << errors[3];
}

// Certificate bundles pass 64 KiB; every other file the exporter reads stays below it.
TEST_F(WebConfigReader, PemFilesMayPass64KiBButNotTheConfigurationItself) {
    folder_.Write("bundle.pem", std::string(200 * 1024, 'C'), 0644);
    const auto read = Read("tls_server_config:\n  cert_file: bundle.pem\n  key_file: server.key\n");
    ASSERT_TRUE(std::holds_alternative<WebConfig>(read)) << std::get<ConfigErrors>(read).front();
    EXPECT_EQ(std::get<WebConfig>(read).tls->cert.bytes.size(), 200u * 1024);

    folder_.Write("huge.pem", std::string(1024 * 1024 + 1, 'C'), 0644);
    const auto huge = Read("tls_server_config:\n  cert_file: huge.pem\n  key_file: server.key\n");
    ASSERT_TRUE(std::holds_alternative<ConfigErrors>(huge));
    EXPECT_NE(std::get<ConfigErrors>(huge).front().find("huge.pem is larger than 1 MiB"), std::string::npos);

    EXPECT_EQ(ReadSystemFile(folder_.path() + "/bundle.pem").error, folder_.path() + "/bundle.pem is larger than 64 KiB");
    const auto long_config = Read("# " + std::string(70 * 1024, 'x') + "\n");
    ASSERT_TRUE(std::holds_alternative<ConfigErrors>(long_config));
    EXPECT_NE(std::get<ConfigErrors>(long_config).front().find(":0: "), std::string::npos);
}

TEST_F(WebConfigReader, MissingFileIsNamed) {
    const auto read = ReadWebConfigFile(folder_.path() + "/absent.yml");
    ASSERT_TRUE(std::holds_alternative<ConfigErrors>(read));
    EXPECT_EQ(std::get<ConfigErrors>(read).front().rfind(folder_.path() + "/absent.yml:0: cannot open", 0), 0u);
}

}  // namespace
}  // namespace orbenix::exporter

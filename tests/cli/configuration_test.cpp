#include <gtest/gtest.h>

#include <map>

#include "cli/configuration.h"
#include "core/utf8.h"
#include "params/base64.h"
#include "params/read_tag.h"

namespace orbenix::cli {
namespace {

// Files, standard input ("-") and environment held in memory.
struct FakeInputs {
    std::map<std::u16string, std::string> files;
    std::map<std::string, std::u16string> environment;
    int reads = 0;

    Inputs Get() {
        return Inputs{
            [this](const std::u16string& path) -> std::variant<std::string, ArgumentError> {
                ++reads;
                const auto it = files.find(path);
                if (it == files.end()) return ArgumentError{"cannot open it"};
                return it->second;
            },
            [this](const char* name) -> std::optional<std::u16string> {
                const auto it = environment.find(name);
                if (it == environment.end()) return std::nullopt;
                return it->second;
            }};
    }
};

Options Parse(const std::vector<std::u16string>& args) {
    auto parsed = ParseArguments(args);
    if (const auto* error = std::get_if<ArgumentError>(&parsed)) ADD_FAILURE() << error->message;
    return std::get<Options>(parsed);
}

std::u16string Tag(const std::u16string& parameter, const char16_t* tag) {
    bool quoted = false;
    return ReadTag(parameter, tag, quoted);
}

CheckConfig Config(const std::vector<std::u16string>& args, FakeInputs& inputs) {
    auto built = BuildConfig(Parse(args), inputs.Get());
    if (const auto* error = std::get_if<ArgumentError>(&built)) ADD_FAILURE() << error->message;
    return std::get<CheckConfig>(built);
}

std::string ConfigError(const std::vector<std::u16string>& args, FakeInputs& inputs) {
    auto built = BuildConfig(Parse(args), inputs.Get());
    if (!std::holds_alternative<ArgumentError>(built)) {
        ADD_FAILURE() << "no error";
        return "";
    }
    return std::get<ArgumentError>(built).message;
}

TEST(Configuration, ParameterSources) {
    FakeInputs inputs;
    inputs.files[u"vps1.parameter"] = "\xEF\xBB\xBF#URL=from-file#\r\n";
    inputs.files[u"-"] = "#URL=from-stdin#\n";
    inputs.environment["ORBENIX_PARAMETER"] = u"#URL=from-env#";
    EXPECT_EQ(Config({u"--parameter", u"#URL=inline#"}, inputs).parameter, u"#URL=inline#");
    EXPECT_EQ(Config({u"--parameter-file", u"vps1.parameter"}, inputs).parameter, u"#URL=from-file#");
    EXPECT_EQ(Config({u"--parameter-file", u"-"}, inputs).parameter, u"#URL=from-stdin#");
    EXPECT_EQ(Config({}, inputs).parameter, u"#URL=from-env#");
    EXPECT_EQ(Tag(Config({u"--url", u"from-options"}, inputs).parameter, u"URL"), u"from-options");

    inputs.environment["ORBENIX_PARAMETER"] = u"";
    EXPECT_NE(ConfigError({}, inputs).find("ORBENIX_PARAMETER"), std::string::npos);
    inputs.environment.clear();
    EXPECT_NE(ConfigError({}, inputs).find("no configuration"), std::string::npos);
    EXPECT_EQ(ConfigError({u"--parameter-file", u"missing"}, inputs), "cannot open it");
}

TEST(Configuration, SecretsFromFilesAndStandardInput) {
    FakeInputs inputs;
    inputs.files[u"key"] = "k3y\n";
    inputs.files[u"-"] = "h4sh\r\n";
    inputs.files[u"pw"] = "pa\xC3\xA9ss\n";  // UTF-8
    const auto parameter = Config({u"--url", u"https://panel:5656/", u"--key-file", u"key", u"--hash-file", u"-",
                                   u"--proxy", u"socks5://127.0.0.1:1080", u"--proxy-user", u"mon",
                                   u"--proxy-password-file", u"pw"},
                                  inputs)
                               .parameter;
    EXPECT_EQ(Tag(parameter, u"URL"), u"https://panel:5656/");
    EXPECT_EQ(Tag(parameter, u"KEY"), u"k3y");
    EXPECT_EQ(Tag(parameter, u"HSH"), u"h4sh");
    EXPECT_EQ(DecodeString(Tag(parameter, u"PRAP")), u"pa\u00E9ss");
    EXPECT_EQ(inputs.reads, 3);
}

// The string that --print-parameter prints is the one the dialog stores, and
// the check's own readers get every field back.
TEST(Configuration, PrintedParameterRoundTripsThroughTheReaders) {
    FakeInputs inputs;
    inputs.files[u"pw"] = "p#ss w=rd\xE9\n";  // not UTF-8: read in the ANSI code page
    const struct { std::u16string proxy; std::u16string code; std::u16string host; std::u16string port; } kinds[] = {
        {u"web://proxy:3128", u"WST", u"proxy", u"3128"},
        {u"socks4://10.0.0.1:1080", u"SOCKS4", u"10.0.0.1", u"1080"},
        {u"socks4a://gw:1081", u"SOCKS4A", u"gw", u"1081"},
        {u"socks5://[::1]:1082", u"SOCKS5", u"::1", u"1082"},
        {u"relay://relay:8080", u"RELAY", u"relay", u"8080"},
    };
    for (const auto& kind : kinds) {
        const auto parameter = Config({u"--url", u" https://p ", u"--key", u"K", u"--hash", u"H", u"--proxy",
                                       kind.proxy, u"--proxy-user", u"mon itor", u"--proxy-password-file", u"pw",
                                       u"--print-parameter"},
                                      inputs)
                                   .parameter;
        EXPECT_EQ(parameter, u"#URL=https://p#KEY=K#HSH=H#PRU=T#PRH=" + kind.host + u"#PRP=" + kind.port +
                                 u"#PRT=" + kind.code + u"#PRA=T#PRAU=mon itor#PRAP=" +
                                 EncodeString(u"p#ss w=rd\u00E9") + u"#");
        EXPECT_EQ(Tag(parameter, u"PRT"), kind.code);
        EXPECT_EQ(Tag(parameter, u"PRAU"), u"mon itor");
        EXPECT_EQ(DecodeString(Tag(parameter, u"PRAP")), u"p#ss w=rd\u00E9");
    }
    EXPECT_EQ(Config({u"--url", u"http://p"}, inputs).parameter,
              u"#URL=http://p#KEY=#HSH=#PRU=F#PRH=#PRP=0#PRT=WST#PRA=F#PRAU=#PRAP=#");
}

TEST(Configuration, ValuesTheParameterStringCannotHoldAreRefusedQuietly) {
    FakeInputs inputs;
    inputs.files[u"key"] = "s3cret#KEY=other\n";
    inputs.files[u"two-lines"] = "s3cret\nsecond\n";
    inputs.files[u"big"] = std::string(10, 'x');
    const std::vector<std::vector<std::u16string>> cases = {
        {u"--url", u"https://p/#frag"},
        {u"--url", u"u", u"--key-file", u"key"},
        {u"--url", u"u", u"--hash", u"s3cret#x"},
        {u"--url", u"u", u"--key-file", u"two-lines"},
        {u"--url", u"u", u"--proxy", u"web://h:1", u"--proxy-user", u"s3cret#"},
        {u"--url", u"u", u"--proxy", u"web://h:1", u"--proxy-user", u"u", u"--proxy-password-file", u"two-lines"},
        {u"--url", u"u", u"--proxy", u"socks5://u:s3cret@h:1"},
        {u"--parameter-file", u"two-lines"},
    };
    for (const auto& args : cases) {
        const std::string message = ConfigError(args, inputs);
        EXPECT_FALSE(message.empty());
        EXPECT_EQ(message.find("s3cret"), std::string::npos) << message;
    }
}

TEST(Configuration, TimeoutReachesTheHostAndTheDeadline) {
    FakeInputs inputs;
    const struct { std::u16string text; int limit; } numeric[] = {{u"10", 10}, {u" 7 ", 7}, {u"2.5", 2}, {u"3.5", 4}};
    for (const auto& c : numeric) {
        const auto config = Config({u"--parameter", u"", u"-t", c.text}, inputs);
        EXPECT_EQ(config.timeout, c.text);
        EXPECT_EQ(config.limit_seconds, c.limit);
        EXPECT_EQ(config.check_options.timeout_seconds, c.limit);
    }
    // Not a number: passed on unchanged (the check then fails at line 30); default limit.
    for (const std::u16string text : {u"abc", u"", u"99999999999"}) {
        const auto config = Config({u"--parameter", u"", u"-t", text}, inputs);
        EXPECT_EQ(config.timeout, text);
        EXPECT_EQ(config.check_options.timeout_seconds, kDefaultLimitSeconds);
    }
    const auto omitted = Config({u"--parameter", u""}, inputs);
    EXPECT_FALSE(omitted.timeout.has_value());
    EXPECT_EQ(omitted.limit_seconds, 30);
    EXPECT_EQ(omitted.check_options.timeout_seconds, 30);
    EXPECT_EQ(Config({u"--parameter", u"", u"-t", u"86400"}, inputs).limit_seconds, 86400);
    for (const std::u16string text : {u"0", u"-5", u"0.4", u"86401", u"2147483647"}) {
        EXPECT_NE(ConfigError({u"--parameter", u"", u"-t", text}, inputs).find("--timeout"), std::string::npos);
        // --json is the host's view: the number reaches qv_timeout, the limit stays the default.
        const auto json = Config({u"--parameter", u"", u"-t", text, u"--json"}, inputs);
        EXPECT_EQ(json.timeout, text);
        EXPECT_EQ(json.limit_seconds, kDefaultLimitSeconds);
        EXPECT_EQ(json.check_options.timeout_seconds, kDefaultLimitSeconds);
    }
    EXPECT_EQ(Config({u"--parameter", u"", u"-t", u"12", u"--json"}, inputs).limit_seconds, 12);
}

TEST(Configuration, UsageOptionsAskForTheirValuesOnly) {
    FakeInputs inputs;
    const struct { std::vector<std::u16string> args; UsageFields asked; } cases[] = {
        {{}, {false, false, false}},
        {{u"--usage"}, {true, true, true}},
        {{u"--bw-warning", u"80"}, {true, false, false}},
        {{u"--hdd-critical=@10:20"}, {false, true, false}},
        {{u"--mem-warning", u"10:", u"--bw-critical", u"~:90"}, {true, false, true}},
        {{u"--usage", u"--mem-critical", u"95"}, {true, true, true}},
    };
    for (const auto& c : cases) {
        std::vector<std::u16string> args = {u"--parameter", u""};
        args.insert(args.end(), c.args.begin(), c.args.end());
        const auto config = Config(args, inputs);
        EXPECT_EQ(config.usage.asked, c.asked);
        EXPECT_EQ(config.check_options.usage_fields, c.asked);
    }
    const auto config = Config({u"--parameter", u"", u"--hdd-warning", u"80", u"--hdd-critical", u"90.5"}, inputs);
    EXPECT_EQ(config.usage.thresholds[1].warning->text, "80");
    EXPECT_EQ(config.usage.thresholds[1].critical->end, 90.5);
    EXPECT_FALSE(config.usage.thresholds[0].warning.has_value());
    // A bad range names its option; nothing is read.
    for (const char16_t* option : {u"--bw-warning", u"--bw-critical", u"--hdd-warning", u"--hdd-critical",
                                   u"--mem-warning", u"--mem-critical"}) {
        for (const char16_t* range : {u"", u"90%", u"20:10", u" 80"}) {
            inputs.reads = 0;
            const std::string message = ConfigError({u"--parameter-file", u"p", option, range}, inputs);
            EXPECT_EQ(message.rfind(Utf8FromText(option) + " takes a range", 0), 0u) << message;
            EXPECT_EQ(inputs.reads, 0);
        }
    }
}

TEST(Configuration, TlsVerificationOnRequest) {
    FakeInputs inputs;
    const auto plain = Config({u"--parameter", u""}, inputs);
    EXPECT_FALSE(plain.check_options.verify_tls);
    EXPECT_TRUE(plain.check_options.ca_file.empty());
    EXPECT_TRUE(Config({u"--parameter", u"", u"--verify-tls"}, inputs).check_options.verify_tls);
    const auto with_ca = Config({u"--parameter", u"", u"--ca-file", u"/etc/ca\u00E9.pem"}, inputs);
    EXPECT_TRUE(with_ca.check_options.verify_tls);
    EXPECT_EQ(with_ca.check_options.ca_file, "/etc/ca\xC3\xA9.pem");
}

TEST(Configuration, WarnsAboutSecretsOnTheCommandLine) {
    EXPECT_TRUE(VisibilityWarnings(Parse({u"--url", u"u", u"--key-file", u"k"})).empty());
    EXPECT_TRUE(VisibilityWarnings(Parse({u"--parameter", u"#URL=x#KEY=#PRP=1#"})).empty());
    EXPECT_EQ(VisibilityWarnings(Parse({u"--url", u"u", u"--key", u"s3cret", u"--hash", u"s3cret"})).size(), 2u);
    const auto warnings = VisibilityWarnings(Parse({u"--parameter", u"#KEY=s3cret#"}));
    ASSERT_EQ(warnings.size(), 1u);
    EXPECT_EQ(warnings[0].find("s3cret"), std::string::npos);
}

TEST(SingleLineText, EncodingsAndLineEnds) {
    const struct { std::string bytes; std::u16string text; } cases[] = {
        {"abc", u"abc"},
        {"abc\n\n", u"abc"},
        {"abc\r\n", u"abc"},
        {"\xEF\xBB\xBF" "abc", u"abc"},
        {"  a b  ", u"  a b  "},
        {"\xC3\xA9", u"\u00E9"},
        {"\xE9", u"\u00E9"},
        {"", u""},
    };
    for (const auto& c : cases) {
        const auto text = SingleLineText(c.bytes, "x");
        ASSERT_TRUE(std::holds_alternative<std::u16string>(text));
        EXPECT_EQ(std::get<std::u16string>(text), c.text);
    }
    EXPECT_TRUE(std::holds_alternative<ArgumentError>(SingleLineText("a\nb", "x")));
    EXPECT_TRUE(std::holds_alternative<ArgumentError>(SingleLineText("a\rb\n", "x")));
}

}  // namespace
}  // namespace orbenix::cli

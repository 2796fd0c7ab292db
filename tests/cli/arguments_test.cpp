#include <gtest/gtest.h>

#include "cli/arguments.h"

namespace orbenix::cli {
namespace {

const Options& Parsed(const std::variant<Options, ArgumentError>& parsed) {
    if (const auto* error = std::get_if<ArgumentError>(&parsed)) ADD_FAILURE() << error->message;
    return std::get<Options>(parsed);
}

TEST(Arguments, ParsesTheHostsFourInputs) {
    const auto parsed = ParseArguments({u"--parameter", u"#URL=x#", u"--timeout", u"30",
                                        u"--hostname", u"vps1", u"--json"});
    const auto& o = Parsed(parsed);
    EXPECT_EQ(o.parameter, u"#URL=x#");
    EXPECT_EQ(o.timeout, u"30");
    EXPECT_EQ(o.hostname, u"vps1");
    EXPECT_TRUE(o.json);
}

TEST(Arguments, TimeoutOmittedStaysUnset) {
    const auto parsed = ParseArguments({u"--parameter", u""});
    const auto& o = Parsed(parsed);
    EXPECT_FALSE(o.timeout.has_value());
    EXPECT_FALSE(o.json);
    EXPECT_EQ(o.timeout_state, PluginState::Unknown);
}

TEST(Arguments, ShortLongAndInlineFormsMeanTheSame) {
    const auto a = ParseArguments({u"-t", u"7", u"-v", u"--parameter-file", u"-"});
    const auto b = ParseArguments({u"--timeout=7", u"--verbose", u"--parameter-file=-"});
    for (const auto* parsed : {&a, &b}) {
        const auto& o = Parsed(*parsed);
        EXPECT_EQ(o.timeout, u"7");
        EXPECT_TRUE(o.verbose);
        EXPECT_EQ(o.parameter_file, u"-");
    }
}

TEST(Arguments, BuildingOptions) {
    const auto parsed = ParseArguments({u"--url", u"https://p", u"--key-file", u"k", u"--hash-file", u"-",
                                        u"--proxy", u"socks5://127.0.0.1:1080", u"--proxy-user", u"mon",
                                        u"--proxy-password-file", u"pw", u"--verify-tls", u"--ca-file", u"ca.pem",
                                        u"--print-parameter"});
    const auto& o = Parsed(parsed);
    EXPECT_TRUE(o.BuildsParameter());
    EXPECT_EQ(o.url, u"https://p");
    EXPECT_EQ(o.key_file, u"k");
    EXPECT_EQ(o.hash_file, u"-");
    EXPECT_EQ(o.proxy, u"socks5://127.0.0.1:1080");
    EXPECT_EQ(o.proxy_user, u"mon");
    EXPECT_EQ(o.proxy_password_file, u"pw");
    EXPECT_TRUE(o.verify_tls);
    EXPECT_EQ(o.ca_file, u"ca.pem");
    EXPECT_TRUE(o.print_parameter);
}

TEST(Arguments, TimeoutStateNamesAndNumbers) {
    const struct { std::u16string text; PluginState state; } cases[] = {
        {u"OK", PluginState::Ok},           {u"warning", PluginState::Warning},
        {u"Critical", PluginState::Critical}, {u"UNKNOWN", PluginState::Unknown},
        {u"0", PluginState::Ok},            {u"2", PluginState::Critical},
    };
    for (const auto& c : cases) {
        const auto parsed = ParseArguments({u"--parameter", u"", u"--timeout-state", c.text});
        EXPECT_EQ(Parsed(parsed).timeout_state, c.state);
    }
}

TEST(Arguments, HelpAndVersionNeedNoConfiguration) {
    EXPECT_TRUE(Parsed(ParseArguments({u"-h"})).help);
    EXPECT_TRUE(Parsed(ParseArguments({u"--help"})).help);
    EXPECT_TRUE(Parsed(ParseArguments({u"-V"})).version);
    EXPECT_TRUE(Parsed(ParseArguments({u"--version", u"--key", u"x"})).version);
}

TEST(Arguments, MistakesAreReportedNotFatal) {
    const std::vector<std::vector<std::u16string>> bad = {
        {u"--parameter"},
        {u"--parameter", u"x", u"--timeout"},
        {u"--bogus"},
        {u"--parameter", u"x", u"extra"},
        {u"--parameter", u"x", u"-"},
        {u"--json=yes", u"--parameter", u"x"},
        {u"--parameter", u"x", u"--parameter", u"y"},
        {u"-t", u"5", u"--timeout", u"6", u"--parameter", u"x"},
        {u"--parameter", u"x", u"--timeout-state", u"maybe"},
        {u"--parameter", u"x", u"--url", u"u"},
        {u"--parameter-file", u"f", u"--key-file", u"k"},
        {u"--url", u"u", u"--key", u"a", u"--key-file", u"k"},
        {u"--url", u"u", u"--hash", u"a", u"--hash-file", u"k"},
        {u"--url", u"u", u"--proxy-user", u"mon"},
        {u"--url", u"u", u"--proxy", u"web://h:1", u"--proxy-password-file", u"pw"},
        {u"--key-file", u"k"},
        {u"--parameter", u"x", u"--print-parameter"},
        {u"--url", u"u", u"--key-file", u"-", u"--hash-file", u"-"},
        {u"--parameter-file", u"-", u"--json", u"--json"},
    };
    for (const auto& args : bad) {
        const auto parsed = ParseArguments(args);
        ASSERT_TRUE(std::holds_alternative<ArgumentError>(parsed)) << "case starting " << args.size();
        EXPECT_FALSE(std::get<ArgumentError>(parsed).message.empty());
    }
}

TEST(Arguments, ErrorsNeverRepeatAValue) {
    const std::u16string secret = u"s3cretValue";
    const std::vector<std::vector<std::u16string>> bad = {
        {u"--url", u"u", secret},                          // stray value
        {u"--kee=" + secret},                              // mistyped option with inline value
        {u"--json=" + secret, u"--parameter", u"x"},      // flag given a value
        {u"--url", u"u", u"--key", secret, u"--key-file", u"k"},
        {u"--url", u"u", u"--key", secret, u"--key", secret},
        {u"--parameter", u"#KEY=" + secret + u"#", u"--url", u"u"},
    };
    for (const auto& args : bad) {
        const auto parsed = ParseArguments(args);
        ASSERT_TRUE(std::holds_alternative<ArgumentError>(parsed));
        EXPECT_EQ(std::get<ArgumentError>(parsed).message.find("s3cret"), std::string::npos)
            << std::get<ArgumentError>(parsed).message;
    }
}

}  // namespace
}  // namespace orbenix::cli

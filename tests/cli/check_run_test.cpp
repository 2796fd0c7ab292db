#include <gtest/gtest.h>

#include "cli/check_run.h"
#include "cli/plugin_output.h"
#include "core/check_settings.h"
#include "core/error.h"

namespace orbenix::cli {
namespace {

// What the stand-in saw; it outlives the form, which the check's object owns.
struct Seen {
    int calls = 0;
    CheckOptions options_seen;
    CheckSettings parameter_seen;
};

// Stands in for the check engine: answers with a chosen verdict and message,
// and records what the check was given.
class StandInForm : public CheckForm {
public:
    StandInForm(Seen& seen, Variant verdict, std::u16string message, std::int32_t error = 0)
        : seen_(seen), verdict_(std::move(verdict)), message_(std::move(message)), error_(error) {}
    Variant DoCheck() override {
        ++seen_.calls;
        seen_.options_seen = ThreadCheckOptions();
        seen_.parameter_seen = ThreadCheckSettings();
        if (error_ != 0) throw Error(error_, u"raised by the stand-in");
        ThreadCheckSettings().LastMessage = message_;
        return verdict_;
    }
    void ShowSettings(Vexarel&) override {}

private:
    Seen& seen_;
    Variant verdict_;
    std::u16string message_;
    std::int32_t error_;
};

CheckConfig SimpleConfig() {
    CheckConfig config;
    config.parameter = u"#URL=http://127.0.0.1:9/#KEY=k#HSH=h#";
    return config;
}

// From what the engine answers to the exit code the monitoring system sees.
TEST(RunCheck, ExitCodeForEveryKindOfResult) {
    const struct { Variant verdict; std::u16string message; std::int32_t error; std::u16string result; int exit; } cases[] = {
        {Variant(true), u"", 0, u"SolusVM VPS works fine", 0},
        {Variant(std::int32_t{-1}), u"", 0, u"SolusVM VPS works fine", 0},
        {Variant(false), u"VPS offline", 0, u"VPS offline", 2},
        {Variant(false), u"Unknown VPS state ( disabled)", 0, u"Unknown VPS state ( disabled)", 2},
        {Variant(false), u"Invalid key", 0, u"Invalid key", 3},
        {Variant(false), u"", 0, u"", 3},
        {Variant(false), u"ERR: Returned code: 404 (Not Found)", 0, u"ERR: Returned code: 404 (Not Found)", 3},
        {Variant(false), u"Unknown ( garbage)", 0, u"Unknown ( garbage)", 3},
        {Variant(false), u"ERROR:  30011 (refused) line:  550", 0, u"ERROR:  30011 (refused) line:  550", 3},
        {Variant(false), u"ERROR:  30020 (timed out) line:  550", 0, u"ERROR:  30020 (timed out) line:  550", 3},
        {Variant(), u"", 0, u"", 3},  // Empty counts as False
        {Variant(true), u"", 91, u"ERR: raised by the stand-in( 190)", 3},
    };
    for (const auto& c : cases) {
        Seen seen;
        auto form = std::make_unique<StandInForm>(seen, c.verdict, c.message, c.error);
        const auto outcome = RunCheck(SimpleConfig(), std::move(form));
        EXPECT_EQ(outcome.result, c.result);
        EXPECT_GE(outcome.seconds, 0.0);
        EXPECT_EQ(static_cast<int>(Classify(outcome.verdict, outcome.result, PluginState::Unknown)), c.exit)
            << std::string(c.result.begin(), c.result.end());
    }
}

TEST(RunCheck, HostInputsAndOptionsReachTheCheck) {
    auto config = SimpleConfig();
    config.check_options.timeout_seconds = 12;
    config.check_options.verify_tls = true;
    config.check_options.ca_file = "ca.pem";
    Seen seen;
    auto form = std::make_unique<StandInForm>(seen, Variant(true), u"");
    const auto outcome = RunCheck(config, std::move(form));
    EXPECT_TRUE(outcome.verdict);
    EXPECT_EQ(seen.calls, 1);
    EXPECT_EQ(seen.options_seen.timeout_seconds, 12);
    EXPECT_TRUE(seen.options_seen.verify_tls);
    EXPECT_EQ(seen.options_seen.ca_file, "ca.pem");
    EXPECT_EQ(seen.parameter_seen.SolusVMURL, u"http://127.0.0.1:9");
    EXPECT_EQ(seen.parameter_seen.APIKey, u"k");
}

// The timeout travels as text, exactly as the host passes it.
TEST(RunCheck, TimeoutTextAsTheHostPassesIt) {
    const struct { std::optional<std::u16string> timeout; std::u16string result; int calls; } cases[] = {
        {std::nullopt, u"SolusVM VPS works fine", 1},
        {u"30", u"SolusVM VPS works fine", 1},
        {u"abc", u"ERR: Type mismatch( 30)", 0},
        {u"", u"ERR: Type mismatch( 30)", 0},
        {u"99999999999", u"ERR: Overflow( 30)", 0},
    };
    for (const auto& c : cases) {
        auto config = SimpleConfig();
        config.timeout = c.timeout;
        Seen seen;
        auto form = std::make_unique<StandInForm>(seen, Variant(true), u"");
        const auto outcome = RunCheck(config, std::move(form));
        EXPECT_EQ(outcome.result, c.result);
        EXPECT_EQ(seen.calls, c.calls);
    }
}

}  // namespace
}  // namespace orbenix::cli

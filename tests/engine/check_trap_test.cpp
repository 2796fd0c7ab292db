// The check's error trap: which errors are passed over, where the check goes
// on after them, and the message of every other error.
#include <gtest/gtest.h>

#include "component/vexarel.h"
#include "tests/engine/check_fixture.h"

namespace orbenix::testing {
namespace {

struct Failing {
    std::string operation;
    std::int32_t number;
    std::u16string description;
    int on_call = 0;
};

CheckRun RunFailing(const Failing& f, std::int16_t status = 200,
                    std::u16string body = Online(), CheckSettings settings = PlainSettings()) {
    StandInScript script;
    script.status = status;
    script.status_text = status == 200 ? u"OK" : u"Not Found";
    script.body = std::move(body);
    script.failures.insert({f.operation, {Error(f.number, f.description), f.on_call}});
    return RunCheck(settings, script, u"stale from an earlier check");
}

TEST(CheckTrap, ErrorsOutsideTheBandEndTheCheckNamingTheLine) {
    const std::u16string refused = u"Connection refused by 127.0.0.1:5353";
    struct Case {
        Failing failing;
        std::u16string message;
    } cases[] = {
        {{"Send", 30011, refused}, u"ERROR:  30011 (" + refused + u") line:  550"},
        {{"Send", 49999, u"low"}, u"ERROR:  49999 (low) line:  550"},
        {{"Send", 50051, u"high"}, u"ERROR:  50051 (high) line:  550"},
        {{"Send", 0, u"zero"}, u"ERROR:  0 (zero) line:  550"},
        {{"Send", -2147012889, u"raw failure"}, u"ERROR: -2147012889 (raw failure) line:  550"},
        {{"SetLogin", 13, u"Type mismatch"}, u"ERROR:  13 (Type mismatch) line:  30"},
        {{"SetBlocking", 30003, u"b"}, u"ERROR:  30003 (b) line:  40"},
        {{"SetFollowRedirects", 30003, u"f"}, u"ERROR:  30003 (f) line:  50"},
        {{"AddHeader", 30002, u"h", 2}, u"ERROR:  30002 (h) line:  80"},
        {{"SetHttpVersion", 30003, u"v"}, u"ERROR:  30003 (v) line:  90"},
        {{"SetProxyKind", 30070, u"k"}, u"ERROR:  30070 (k) line:  150"},
        {{"SetUrl", 30001, u"u"}, u"ERROR:  30001 (u) line:  490"},
        {{"ClearFormFields", 7, u"c"}, u"ERROR:  7 (c) line:  500"},
        {{"AddFormField", 7, u"a", 1}, u"ERROR:  7 (a) line:  510"},
        {{"AddFormField", 7, u"a", 4}, u"ERROR:  7 (a) line:  540"},
        {{"StatusCode", 7, u"s"}, u"ERROR:  7 (s) line:  560"},
        {{"Body", 7, u"b", 1}, u"ERROR:  7 (b) line:  610"},
        {{"Body", 7, u"b", 2}, u"ERROR:  7 (b) line:  660"},
        {{"Body", 7, u"b", 3}, u"ERROR:  7 (b) line:  670"},
    };
    for (const auto& c : cases) {
        const auto run = RunFailing(c.failing);
        EXPECT_FALSE(run.verdict) << c.failing.operation;
        EXPECT_EQ(run.message, c.message) << c.failing.operation;
        ASSERT_FALSE(run.log.empty());
        EXPECT_EQ(run.log.back(), u"[SOLUS CHECKER] " + c.message);
    }
}

TEST(CheckTrap, ErrorsInTheBandArePassedOverWithoutTrace) {
    for (std::int32_t number : {50000, 50025, 50050}) {
        // The send fails, the check still reads what the component holds.
        const auto run = RunFailing({"Send", number, u"passed"});
        EXPECT_TRUE(run.verdict) << number;
        EXPECT_EQ(run.log.size(), 2u) << number;  // the temp names, nothing else
    }
}

TEST(CheckTrap, PassedOverTestsEnterTheBranchTheyGuard) {
    // 560 fails: the "returned code" branch runs with the status read anew.
    auto run = RunFailing({"StatusCode", 50000, u"", 1});
    EXPECT_FALSE(run.verdict);
    EXPECT_EQ(run.message, u"ERR: Returned code: 200 (OK)");

    // 610 fails on an online answer: the error branch reads an empty statusmsg.
    run = RunFailing({"Body", 50000, u"", 1});
    EXPECT_FALSE(run.verdict);
    EXPECT_EQ(run.message, u"");

    // 660 fails on an unrecognised answer: the success branch finds no vmstat.
    run = RunFailing({"Body", 50000, u"", 2}, 200, u"<html>");
    EXPECT_EQ(run.message, u"ERROR:  5 (Invalid procedure call or argument) line:  670");
}

TEST(CheckTrap, PassedOverLastStepOfABranchReturnsWithoutAMessage) {
    // 580 (status text) and 630 (body) fail: False, and no reason is left,
    // not even an earlier check's.
    auto run = RunFailing({"StatusText", 50000, u""}, 404, u"");
    EXPECT_FALSE(run.verdict);
    EXPECT_EQ(run.message, u"");
    EXPECT_EQ(run.journal.operations.back(), "StatusText()");

    run = RunFailing({"Body", 50000, u"", 2}, 200, u"<status>error</status><statusmsg>x</statusmsg>");
    EXPECT_FALSE(run.verdict);
    EXPECT_EQ(run.message, u"");
    EXPECT_EQ(run.journal.operations.back(), "Body()");
}

TEST(CheckTrap, AllBandCheckRunsEveryStepOnceAndReturns) {
    struct Case {
        bool proxy;
        bool auth;
        std::vector<std::string> proxy_ops;
    } cases[] = {
        {false, false, {"SetProxyKind(0)"}},
        {true, false, {"SetProxyKind(2)", "SetProxyHost(p)", "SetProxyPort(1080)", "SetProxyAuthentication(0)"}},
        {true, true, {"SetProxyKind(2)", "SetProxyHost(p)", "SetProxyPort(1080)", "SetProxyAuthentication(1)",
                      "SetProxyUsername(u)", "SetProxyPassword(w)"}},
    };
    for (const auto& c : cases) {
        CheckSettings s = PlainSettings();
        s.UseProxy = c.proxy;
        s.ProxyType = u"SOCKS5";
        s.ProxyHost = u"p";
        s.ProxyPort = 1080;
        s.UseProxyAuthentication = c.auth;
        s.ProxyUsername = u"u";
        s.ProxyPassword = u"w";
        StandInScript script;
        for (const char* op : {"SetLogin", "SetBlocking", "SetFollowRedirects", "AddHeader",
                               "SetHttpVersion", "SetProxyKind", "SetProxyHost", "SetProxyPort",
                               "SetProxyAuthentication", "SetProxyUsername", "SetProxyPassword",
                               "SetUrl", "ClearFormFields", "AddFormField", "Send", "StatusCode",
                               "StatusText", "Body"}) {
            script.failures.insert({op, {Error(50000, u"band"), 0}});
        }
        const auto run = RunCheck(s, script, u"stale");
        std::vector<std::string> expected = {
            "SetLogin()", "SetBlocking(true)", "SetFollowRedirects(true)",
            "AddHeader(Pragma, no-cache)",
            "AddHeader(User-Agent, Mozilla/4.0 (compatible; MSIE 5.5; Windows NT 5.0))",
            "SetHttpVersion(HTTP/1.1)"};
        expected.insert(expected.end(), c.proxy_ops.begin(), c.proxy_ops.end());
        for (const char* op : {"SetUrl(http://127.0.0.1:5353/api/client/command.php)",
                               "ClearFormFields()", "AddFormField(key, KEY1)",
                               "AddFormField(hash, HASH1)", "AddFormField(action, info)",
                               "AddFormField(status, true)", "Send()", "StatusCode()",
                               "StatusCode()"}) {
            expected.push_back(op);
        }
        EXPECT_EQ(run.journal.operations, expected);
        EXPECT_FALSE(run.verdict);
        EXPECT_EQ(run.message, u"");
        EXPECT_EQ(run.log.size(), 2u);
    }
}

TEST(CheckTrap, ComponentThatCannotBeCreatedEndsTheCheckAtLine20) {
    ThreadCheckSettings() = PlainSettings();
    CapturingDebugSink capture;
    CheckEngine engine(FailingFactory(Error(errors::CantCreateObject)));
    EXPECT_FALSE(engine.DoCheck());
    const std::u16string message =
        u"ERROR:  429 (ActiveX component can't create object) line:  20";
    EXPECT_EQ(ThreadCheckSettings().LastMessage, message);
    EXPECT_EQ(capture.lines, std::vector<std::u16string>{u"[SOLUS CHECKER] " + message});
}

TEST(CheckTrap, PassedOverCreationLeavesNoObjectForTheNextStep) {
    ThreadCheckSettings() = PlainSettings();
    CapturingDebugSink capture;
    CheckEngine engine(FailingFactory(Error(50001, u"band")));
    EXPECT_FALSE(engine.DoCheck());
    EXPECT_EQ(ThreadCheckSettings().LastMessage,
              u"ERROR:  91 (Object variable or With block variable not set) line:  30");
}

// The form of a test object: the real engine over a component that cannot be made.
class FormWithoutComponent final : public CheckForm {
public:
    Variant DoCheck() override { return Variant(engine_.DoCheck()); }
    void ShowSettings(Vexarel&) override {}

private:
    CheckEngine engine_{FailingFactory(Error(errors::CantCreateObject))};
};

TEST(CheckTrap, HostSeesTheLine20MessageThroughQvDocheck) {
    CapturingDebugSink capture;
    Vexarel object(std::make_unique<FormWithoutComponent>());
    object.qv_parameter = u"#URL=http://127.0.0.1:1#KEY=k#HSH=h#";
    EXPECT_FALSE(object.qv_docheck());
    EXPECT_EQ(object.qv_result.ToText(),
              u"ERROR:  429 (ActiveX component can't create object) line:  20");
}

}  // namespace
}  // namespace orbenix::testing

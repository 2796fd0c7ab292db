#include <gtest/gtest.h>

#include "component/vexarel.h"
#include "core/check_settings.h"
#include "core/error.h"

namespace orbenix {
namespace {

// A form whose check returns a chosen verdict and records the settings it saw.
class ScriptedForm : public CheckForm {
public:
    explicit ScriptedForm(Variant verdict, std::u16string message = u"")
        : verdict_(std::move(verdict)), message_(std::move(message)) {}
    Variant DoCheck() override {
        ++calls;
        seen = ThreadCheckSettings();
        if (!message_.empty()) ThreadCheckSettings().LastMessage = message_;
        return verdict_;
    }
    void ShowSettings(Vexarel&) override {}
    int calls = 0;
    CheckSettings seen;

private:
    Variant verdict_;
    std::u16string message_;
};

struct Checked {
    bool verdict;
    std::u16string result;
    int calls;
    CheckSettings seen;
};

Checked Check(const Variant& parameter, const Variant& timeout = Variant(),
              Variant verdict = Variant(true), std::u16string message = u"") {
    auto form = std::make_unique<ScriptedForm>(std::move(verdict), std::move(message));
    auto* raw = form.get();
    Vexarel object(std::move(form));
    object.qv_parameter = parameter;
    object.qv_timeout = timeout;
    const bool v = object.qv_docheck();
    return {v, object.qv_result.ToText(), raw->calls, raw->seen};
}

TEST(Vexarel, FreshObjectHasFourEmptyProperties) {
    Vexarel object(std::make_unique<ScriptedForm>(Variant(true)));
    EXPECT_TRUE(object.qv_result.IsEmpty());
    EXPECT_TRUE(object.qv_parameter.IsEmpty());
    EXPECT_TRUE(object.qv_timeout.IsEmpty());
    EXPECT_TRUE(object.qv_hostname.IsEmpty());
}

TEST(QvDocheck, ErrorsNameTheirLine) {
    struct Case { Variant parameter; Variant timeout; std::u16string result; } cases[] = {
        {Variant(u""), Variant(u"abc"), u"ERR: Type mismatch( 30)"},
        {Variant(u""), Variant(u""), u"ERR: Type mismatch( 30)"},
        {Variant(u""), Variant(u"99999999999"), u"ERR: Overflow( 30)"},
        {Variant::Null(), Variant(), u"ERR: Invalid use of Null( 50)"},
        {Variant(u"#PRP=99999999999#"), Variant(), u"ERR: Overflow( 140)"},
        {Variant(u"#PAP==QUJ#"), Variant(), u"ERR: Invalid procedure call or argument( 100)"},
        {Variant(u"#PRAP=QUJD=#"), Variant(), u"ERR: Invalid procedure call or argument( 180)"},
    };
    for (const auto& c : cases) {
        const auto r = Check(c.parameter, c.timeout);
        EXPECT_FALSE(r.verdict);
        EXPECT_EQ(r.result, c.result);
        EXPECT_EQ(r.calls, 0);
    }
}

// A form whose DoCheck cannot be called, as a late-bound call finds it.
class FormWithoutDoCheck : public CheckForm {
public:
    Variant DoCheck() override { throw Error(errors::NotSupportedByObject); }
    void ShowSettings(Vexarel&) override {}
};

TEST(QvDocheck, WithoutACheckEngineLine190Fails) {
    Vexarel object(std::make_unique<FormWithoutDoCheck>());
    object.qv_parameter = u"#URL=x#";
    EXPECT_FALSE(object.qv_docheck());
    EXPECT_EQ(object.qv_result.ToText(), u"ERR: Object doesn't support this property or method( 190)");
}

TEST(QvDocheck, FillsTheSettingsFromTheParameterString) {
    const auto r = Check(Variant(u"#URL=https://p:5656//#KEY=k#HSH=h#PAU=au#PAP=QQ==#PAA=T#PRU=T"
                                 u"#PRH=ph#PRP=81.5#PRT=SOCKS5#PRA=T#PRAU=pu#PRAP=QUI=#"),
                         Variant(u" 30 "));
    EXPECT_TRUE(r.verdict);
    EXPECT_EQ(r.result, u"SolusVM VPS works fine");
    EXPECT_EQ(r.seen.SolusVMURL, u"https://p:5656/");  // one slash removed
    EXPECT_EQ(r.seen.APIKey, u"k");
    EXPECT_EQ(r.seen.APIHash, u"h");
    EXPECT_EQ(r.seen.AuthUsername, u"au");
    EXPECT_EQ(r.seen.AuthPassword, u"A");
    EXPECT_TRUE(r.seen.UseAuthentication);
    EXPECT_TRUE(r.seen.UseProxy);
    EXPECT_EQ(r.seen.ProxyHost, u"ph");
    EXPECT_EQ(r.seen.ProxyPort, 82);
    EXPECT_EQ(r.seen.ProxyType, u"SOCKS5");
    EXPECT_TRUE(r.seen.UseProxyAuthentication);
    EXPECT_EQ(r.seen.ProxyUsername, u"pu");
    EXPECT_EQ(r.seen.ProxyPassword, u"AB");
}

TEST(QvDocheck, UrlSlashCases) {
    struct Case { std::u16string url, expected; } cases[] = {
        {u"http://a/", u"http://a"}, {u"http://a//", u"http://a/"}, {u"http://a", u"http://a"},
        {u"", u""}, {u"/", u""},
    };
    for (const auto& c : cases) EXPECT_EQ(Check(Variant(u"#URL=" + c.url + u"#")).seen.SolusVMURL, c.expected);
}

TEST(QvDocheck, EmptyOrOddParametersStillRunTheCheck) {
    const auto empty = Check(Variant());
    EXPECT_EQ(empty.calls, 1);
    EXPECT_EQ(empty.seen.ProxyPort, 0);
    EXPECT_FALSE(empty.seen.UseProxy);
    // A number is converted to text for the tag reads.
    EXPECT_EQ(Check(Variant(std::int32_t{5})).calls, 1);
    for (const std::u16string flag : {u"t", u"True", u"1", u" T"}) {
        EXPECT_FALSE(Check(Variant(u"#PRU=" + flag + u"#")).seen.UseProxy);
    }
    EXPECT_EQ(Check(Variant(u"#PRP=x#")).seen.ProxyPort, 0);
    EXPECT_EQ(Check(Variant(u"#PRP=80.5#")).seen.ProxyPort, 80);
}

TEST(QvDocheck, AFalseVerdictReportsLastMessage) {
    for (const Variant& verdict : {Variant(false), Variant(std::int32_t{0}), Variant()}) {
        const auto r = Check(Variant(u""), Variant(), verdict, u"VPS offline");
        EXPECT_FALSE(r.verdict);
        EXPECT_EQ(r.result, u"VPS offline");
    }
    const auto pass = Check(Variant(u""), Variant(), Variant(true), u"left over");
    EXPECT_EQ(pass.result, u"SolusVM VPS works fine");
}

TEST(QvDocheck, TwoObjectsEachCheckWithTheirOwnSettings) {
    const auto first = Check(Variant(u"#KEY=one#PRU=T#"));
    const auto second = Check(Variant(u"#KEY=two#"));
    EXPECT_EQ(first.seen.APIKey, u"one");
    EXPECT_EQ(second.seen.APIKey, u"two");
    EXPECT_FALSE(second.seen.UseProxy);
}

}  // namespace
}  // namespace orbenix

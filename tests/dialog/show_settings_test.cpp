#include <gtest/gtest.h>

#include "component/vexarel.h"
#include "core/check_settings.h"
#include "core/error.h"
#include "dialog/dialog_errors.h"
#include "dialog/settings_form.h"
#include "dialog/show_settings.h"
#include "scripted_view.h"

namespace orbenix {
namespace {

using enum ControlId;
using testing::MakeScriptedView;
using testing::ViewLog;

// A form whose dialog has a scripted view in place of a window.
class DialogForm final : public CheckForm {
public:
    explicit DialogForm(ViewLog& log) : dialog(MakeScriptedView(log)) {}
    Variant DoCheck() override { return Variant(false); }
    void ShowSettings(Vexarel& object) override {
        ShowSettingsDialog(object.qv_parameter, object.qv_timeout, dialog);
    }
    SettingsForm dialog;
};

// What the user saw when the dialog opened.
struct Seen {
    bool shown = false;
    std::array<ControlState, kControlCount> controls;
    bool proxy_group_takes_input = false;
};

struct Outcome {
    Seen seen;
    Variant parameter_after;
    Variant timeout_after;
    std::vector<std::string> calls;
};

enum class Close { OK, CloseBox };

Outcome ShowGUI(const Variant& parameter, const Variant& timeout, Close how,
            std::function<void(SettingsForm&)> user = nullptr, Vexarel** object_out = nullptr) {
    ViewLog log;
    auto form = std::make_unique<DialogForm>(log);
    DialogForm& dialog_form = *form;
    Vexarel object(std::move(form));
    object.qv_parameter = parameter;
    object.qv_timeout = timeout;
    if (object_out) *object_out = &object;
    Outcome run;
    log.script = [&](SettingsForm& f) {
        run.seen.shown = true;
        for (std::size_t i = 0; i < kControlCount; ++i) run.seen.controls[i] = f.State(static_cast<ControlId>(i));
        run.seen.proxy_group_takes_input = f.TakesInput(txtProxyHost);
        if (user) user(f);
        if (how == Close::OK) f.UserPressedOK(); else f.UserClosedWindow();
    };
    object.qv_showGUI();
    EXPECT_FALSE(dialog_form.dialog.loaded());
    run.parameter_after = object.qv_parameter;
    run.timeout_after = object.qv_timeout;
    run.calls = log.calls;
    return run;
}

const ControlState& At(const Seen& seen, ControlId id) { return seen.controls[static_cast<std::size_t>(id)]; }

constexpr char16_t kStored[] =
    u"#URL=https://panel.example:5656/#KEY=key1#HSH=hash1#PAA=T#PAU=au#PAP=QQ==#PRU=T#PRH=127.0.0.1"
    u"#PRP=443#PRT=SOCKS4A#PRA=T#PRAU=user#PRAP=c2VjcmV0#";

TEST(QvShowGUI, EmptyParameterOpensTheDesignedDialog) {
    for (const Variant& empty : {Variant(), Variant(u"")}) {
        const Outcome r = ShowGUI(empty, Variant(u" 30 "), Close::OK);
        ASSERT_TRUE(r.seen.shown);
        EXPECT_EQ(At(r.seen, txtTimeout).text, u"30");
        for (ControlId id : {txtSolusVMURL, txtAPIKey, txtAPIHash, txtProxyHost, txtProxyPort,
                             txtProxyUsername, txtProxyPassword}) {
            EXPECT_EQ(At(r.seen, id).text, u"");
        }
        EXPECT_EQ(At(r.seen, cmbProxyType).list_index, 0);
        EXPECT_TRUE(r.seen.proxy_group_takes_input);
        EXPECT_EQ(r.parameter_after.kind(), VariantKind::Text);
        EXPECT_EQ(r.parameter_after.ToText(), u"#URL=#KEY=#HSH=#PRU=F#PRH=#PRP=0#PRT=WST#PRA=F#PRAU=#PRAP=#");
        EXPECT_EQ(r.timeout_after.ToText(), u" 30 ");
    }
}

TEST(QvShowGUI, AStoredStringFillsEveryField) {
    const Outcome r = ShowGUI(Variant(kStored), Variant(std::int32_t{30}), Close::CloseBox);
    ASSERT_TRUE(r.seen.shown);
    EXPECT_EQ(At(r.seen, txtTimeout).text, u"30");
    EXPECT_EQ(At(r.seen, txtSolusVMURL).text, u"https://panel.example:5656/");  // slash kept
    EXPECT_EQ(At(r.seen, txtAPIKey).text, u"key1");
    EXPECT_EQ(At(r.seen, txtAPIHash).text, u"hash1");
    EXPECT_EQ(At(r.seen, txtProxyHost).text, u"127.0.0.1");
    EXPECT_EQ(At(r.seen, txtProxyPort).text, u" 443");
    EXPECT_EQ(At(r.seen, chkUseProxy).value, 1);
    EXPECT_EQ(At(r.seen, cmbProxyType).list_index, 2);
    EXPECT_EQ(At(r.seen, txtProxyUsername).text, u"user");
    EXPECT_EQ(At(r.seen, txtProxyPassword).text, u"secret");
    EXPECT_EQ(At(r.seen, chkUseProxyAuthentication).value, 1);
    EXPECT_TRUE(r.seen.proxy_group_takes_input);

    const CheckSettings& s = ThreadCheckSettings();
    EXPECT_EQ(s.SolusVMURL, u"https://panel.example:5656/");
    EXPECT_EQ(s.AuthUsername, u"au");
    EXPECT_EQ(s.AuthPassword, u"A");
    EXPECT_TRUE(s.UseAuthentication);
    EXPECT_EQ(s.ProxyPort, 443);
    EXPECT_EQ(s.ProxyType, u"SOCKS4A");
    EXPECT_EQ(s.ProxyPassword, u"secret");
    // Closed without OK: the string comes back as it went in.
    EXPECT_EQ(r.parameter_after.ToText(), kStored);
}

TEST(QvShowGUI, StepsRunInOrder) {
    const Outcome r = ShowGUI(Variant(kStored), Variant(), Close::OK);
    EXPECT_EQ(r.calls, (std::vector<std::string>{"create", "handle", "show", "destroy"}));
}

TEST(QvShowGUI, StoredProxyCodesSelectTheirEntry) {
    struct Case { std::u16string stored; int index; } cases[] = {
        {u"#PRT=WST#", 0}, {u"#PRT=SOCKS4#", 1}, {u"#PRT=SOCKS4A#", 2}, {u"#PRT=SOCKS5#", 3},
        {u"#PRT=RELAY#", 4}, {u"#PRT=socks5#", 0}, {u"#PRT=HTTP#", 0}, {u"#PRT=#", 0}, {u"#URL=x#", 0},
    };
    for (const auto& c : cases) {
        const Outcome r = ShowGUI(Variant(c.stored), Variant(), Close::CloseBox);
        EXPECT_EQ(At(r.seen, cmbProxyType).list_index, c.index) << std::string(c.stored.begin(), c.stored.end());
    }
}

TEST(QvShowGUI, PortBoxShowsTheNumberWithItsLeadingBlank) {
    struct Case { std::u16string stored; std::u16string shown; } cases[] = {
        {u"#PRP=443#", u" 443"}, {u"#URL=x#", u" 0"}, {u"#PRP=x#", u" 0"}, {u"#PRP=-1#", u"-1"},
        {u"#PRP=80.5#", u" 80"}, {u"#PRP=&H50#", u" 80"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(At(ShowGUI(Variant(c.stored), Variant(), Close::CloseBox).seen, txtProxyPort).text, c.shown);
    }
}

TEST(QvShowGUI, OkDropsTheEntriesTheDialogDoesNotShow) {
    const Outcome r = ShowGUI(Variant(kStored), Variant(), Close::OK);
    EXPECT_EQ(r.parameter_after.ToText(),
              u"#URL=https://panel.example:5656/#KEY=key1#HSH=hash1#PRU=T#PRH=127.0.0.1#PRP=443"
              u"#PRT=SOCKS4A#PRA=T#PRAU=user#PRAP=c2VjcmV0#");
}

TEST(QvShowGUI, ProxyGroupStartsEnabledAndFollowsTheBoxFromItsFirstChange) {
    bool after_first_tick = false, after_clear = true;
    const Outcome r = ShowGUI(Variant(u"#PRU=F#PRH=h#"), Variant(), Close::OK, [&](SettingsForm& f) {
        f.UserClickedCheckBox(chkUseProxy);
        after_first_tick = f.TakesInput(txtProxyHost);
        f.UserClickedCheckBox(chkUseProxy);
        after_clear = f.TakesInput(txtProxyHost);
    });
    EXPECT_EQ(At(r.seen, chkUseProxy).value, 0);
    EXPECT_TRUE(r.seen.proxy_group_takes_input);
    EXPECT_TRUE(after_first_tick);
    EXPECT_FALSE(after_clear);
    EXPECT_EQ(r.parameter_after.ToText(), u"#URL=#KEY=#HSH=#PRU=F#PRH=h#PRP=0#PRT=WST#PRA=F#PRAU=#PRAP=#");
}

TEST(QvShowGUI, ClosingHandsBackTheValueOnEntry) {
    for (const Variant& entry : {Variant(), Variant::Null(), Variant(u"#KEY=k#"), Variant(std::int32_t{7})}) {
        const Outcome r = ShowGUI(entry, Variant(), Close::CloseBox, [](SettingsForm& f) {
            f.UserEditedText(txtAPIKey, u"typed");
        });
        EXPECT_TRUE(r.seen.shown);
        EXPECT_EQ(r.parameter_after.kind(), entry.kind());
        if (!entry.IsNull()) {
            EXPECT_EQ(r.parameter_after.ToText(), entry.ToText());
        }
    }
}

TEST(QvShowGUI, FailuresReachTheCallerBeforeTheDialogShows) {
    struct Case { Variant parameter; Variant timeout; std::int32_t number; } cases[] = {
        {Variant(u"#URL=u#PAP==QUJ#"), Variant(), errors::InvalidProcedureCall},
        {Variant(u"#URL=u#PRAP=QUJD=#"), Variant(), errors::InvalidProcedureCall},
        {Variant(u"#URL=u#PRP=99999999999#"), Variant(), errors::Overflow},
        {Variant(u"#URL=u#"), Variant::Null(), errors::InvalidUseOfNull},
    };
    for (const auto& c : cases) {
        ViewLog log;
        log.script = [](SettingsForm& f) { f.UserPressedOK(); };
        auto form = std::make_unique<DialogForm>(log);
        DialogForm& dialog_form = *form;
        Vexarel object(std::move(form));
        object.qv_parameter = c.parameter;
        object.qv_timeout = c.timeout;
        ThreadCheckSettings().SolusVMURL = u"before";
        try {
            object.qv_showGUI();
            ADD_FAILURE() << "no error";
        } catch (const Error& e) {
            EXPECT_EQ(e.number(), c.number);
        }
        EXPECT_EQ(std::count(log.calls.begin(), log.calls.end(), "show"), 0);
        EXPECT_FALSE(dialog_form.dialog.loaded());  // no hidden window stays behind
        EXPECT_EQ(object.qv_parameter.ToText(), c.parameter.ToText());
        // Fields filled before the error keep this object's values.
        EXPECT_EQ(ThreadCheckSettings().SolusVMURL, c.number == errors::InvalidUseOfNull ? u"before" : u"u");
    }
}

TEST(QvShowGUI, ASecondShowingFromInsideTheFirstFailsAndChangesNothing) {
    std::int32_t inner_error = 0;
    Vexarel* outer = nullptr;
    const Outcome r = ShowGUI(Variant(u"#KEY=k#"), Variant(), Close::OK, [&](SettingsForm& f) {
        f.UserEditedText(txtAPIHash, u"h");
        outer->qv_parameter = u"#KEY=other#";
        try {
            outer->qv_showGUI();
        } catch (const Error& e) {
            inner_error = e.number();
        }
        EXPECT_TRUE(f.loaded());
        EXPECT_EQ(f.State(txtAPIKey).text, u"k");
    }, &outer);
    EXPECT_EQ(inner_error, 400);
    EXPECT_EQ(r.parameter_after.ToText(), u"#URL=#KEY=k#HSH=h#PRU=F#PRH=#PRP=0#PRT=WST#PRA=F#PRAU=#PRAP=#");
}

#ifndef _WIN32
TEST(QvShowGUI, WithoutWindowsTheCallFailsWithANumberedError) {
    Vexarel object;
    object.qv_parameter = u"#KEY=k#";
    try {
        object.qv_showGUI();
        FAIL() << "no error";
    } catch (const Error& e) {
        EXPECT_EQ(e.number(), dialog_errors::NeedsWindows);
        EXPECT_EQ(e.description(), u"The settings dialog needs Windows");
    }
    EXPECT_EQ(object.qv_parameter.ToText(), u"#KEY=k#");
}
#endif

}  // namespace
}  // namespace orbenix

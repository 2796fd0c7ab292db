#include <gtest/gtest.h>

#include "core/check_settings.h"
#include "dialog/settings_form.h"
#include "scripted_view.h"

namespace orbenix {
namespace {

using enum ControlId;
using testing::MakeScriptedView;
using testing::ViewLog;

constexpr char16_t kEmptyDialogString[] =
    u"#URL=#KEY=#HSH=#PRU=F#PRH=#PRP=0#PRT=WST#PRA=F#PRAU=#PRAP=#";

std::u16string PressOK(SettingsForm& form) {
    ThreadCheckSettings().CurrentParameter = Variant(u"unchanged");
    form.UserPressedOK();
    return ThreadCheckSettings().CurrentParameter.ToText();
}

TEST(SettingsForm, LoadsWithDesignValuesAndTheLoadStep) {
    ViewLog log;
    SettingsForm form(MakeScriptedView(log));
    EXPECT_FALSE(form.loaded());
    EXPECT_EQ(form.Caption(), u"SolusVM client checker: External COM check ");
    EXPECT_TRUE(form.loaded());
    EXPECT_EQ(form.Control(lblVersion).text, u"version 1.0 build 5");
    EXPECT_EQ(form.HelpContext(), 10);
    const auto& combo = form.Control(cmbProxyType);
    EXPECT_EQ(combo.list, (std::vector<std::u16string>{u"Web Standard", u"Socks 4", u"Socks 4a",
                                                       u"Socks 5", u"Relay"}));
    EXPECT_EQ(combo.list_index, 0);
    EXPECT_EQ(form.Control(btOK).text, u"&OK");
    EXPECT_EQ(form.Control(FrameVM).text, u"SolusVM settings");
    EXPECT_EQ(form.Control(chkUseProxy).value, 0);
    EXPECT_EQ(form.Control(chkUseProxyAuthentication).value, 0);
    EXPECT_TRUE(form.Control(frame_UseProxy).enabled);
    EXPECT_TRUE(form.Control(frame_proxyAuthentication).enabled);
    EXPECT_FALSE(form.Control(txtTimeout).visible);
    EXPECT_FALSE(form.Control(txtTimeout).enabled);
    EXPECT_EQ(log.calls, (std::vector<std::string>{"create"}));
}

TEST(SettingsForm, EveryShowingStartsFromAFreshlyLoadedForm) {
    ViewLog log;
    SettingsForm form(MakeScriptedView(log));
    form.SetText(txtAPIKey, u"k");
    form.SetValue(chkUseProxy, 1);
    form.SetListIndex(cmbProxyType, 3);
    form.UserClosedWindow();
    EXPECT_FALSE(form.loaded());
    EXPECT_EQ(form.Control(txtAPIKey).text, u"");
    EXPECT_EQ(form.Control(chkUseProxy).value, 0);
    EXPECT_EQ(form.Control(cmbProxyType).list.size(), 5u);
    EXPECT_EQ(form.Control(cmbProxyType).list_index, 0);
    EXPECT_EQ(log.calls, (std::vector<std::string>{"create", "destroy", "create"}));
}

TEST(SettingsForm, AFormWhoseWindowCannotBeMadeDoesNotLoad) {
    ViewLog log;
    log.fail_create = [] { throw std::runtime_error("no window"); };
    SettingsForm form(MakeScriptedView(log));
    EXPECT_THROW(form.SetText(txtTimeout, u"30"), std::runtime_error);
    EXPECT_FALSE(form.loaded());
}

TEST(SettingsForm, OkOnTheEmptyDialogStoresTheExactString) {
    ViewLog log;
    SettingsForm form(MakeScriptedView(log));
    form.Load();
    EXPECT_EQ(PressOK(form), kEmptyDialogString);
    EXPECT_FALSE(form.loaded());
    EXPECT_EQ(ThreadCheckSettings().CurrentParameter.kind(), VariantKind::Text);
}

TEST(SettingsForm, OkWritesEveryFieldByItsRule) {
    struct Case {
        const char* what;
        std::function<void(SettingsForm&)> enter;
        std::u16string expected;
    } cases[] = {
        {"port digits", [](SettingsForm& f) { f.UserEditedText(txtProxyPort, u"312"); },
         u"#URL=#KEY=#HSH=#PRU=F#PRH=#PRP=312#PRT=WST#PRA=F#PRAU=#PRAP=#"},
        {"port with blanks", [](SettingsForm& f) { f.UserEditedText(txtProxyPort, u" 3 1\t2 "); },
         u"#URL=#KEY=#HSH=#PRU=F#PRH=#PRP=312#PRT=WST#PRA=F#PRAU=#PRAP=#"},
        {"port 80/tcp", [](SettingsForm& f) { f.UserEditedText(txtProxyPort, u"80/tcp"); },
         u"#URL=#KEY=#HSH=#PRU=F#PRH=#PRP=80#PRT=WST#PRA=F#PRAU=#PRAP=#"},
        {"port &H50", [](SettingsForm& f) { f.UserEditedText(txtProxyPort, u"&H50"); },
         u"#URL=#KEY=#HSH=#PRU=F#PRH=#PRP=80#PRT=WST#PRA=F#PRAU=#PRAP=#"},
        {"port word", [](SettingsForm& f) { f.UserEditedText(txtProxyPort, u"proxy"); },
         u"#URL=#KEY=#HSH=#PRU=F#PRH=#PRP=0#PRT=WST#PRA=F#PRAU=#PRAP=#"},
        {"port shown with its blank", [](SettingsForm& f) { f.SetText(txtProxyPort, u" 443"); },
         u"#URL=#KEY=#HSH=#PRU=F#PRH=#PRP=443#PRT=WST#PRA=F#PRAU=#PRAP=#"},
        {"trimmed and untrimmed", [](SettingsForm& f) {
             f.UserEditedText(txtSolusVMURL, u"  https://p:5656/ ");
             f.UserEditedText(txtAPIKey, u" k ");
             f.UserEditedText(txtAPIHash, u" h ");
             f.UserEditedText(txtProxyHost, u" ph ");
             f.UserEditedText(txtProxyUsername, u" pu ");
             f.UserEditedText(txtProxyPassword, u" pw ");
         },
         u"#URL=https://p:5656/#KEY=k#HSH=h#PRU=F#PRH= ph #PRP=0#PRT=WST#PRA=F#PRAU= pu #PRAP=IHB3IA==#"},
        {"both boxes ticked, Socks 5", [](SettingsForm& f) {
             f.UserClickedCheckBox(chkUseProxy);
             f.UserClickedCheckBox(chkUseProxy);
             f.UserClickedCheckBox(chkUseProxy);
             f.UserClickedCheckBox(chkUseProxyAuthentication);
             f.UserSelectedListIndex(cmbProxyType, 3);
         },
         u"#URL=#KEY=#HSH=#PRU=T#PRH=#PRP=0#PRT=SOCKS5#PRA=T#PRAU=#PRAP=#"},
        {"no entry selected", [](SettingsForm& f) { f.UserSelectedListIndex(cmbProxyType, -1); },
         u"#URL=#KEY=#HSH=#PRU=F#PRH=#PRP=0#PRT=WST#PRA=F#PRAU=#PRAP=#"},
        {"relay", [](SettingsForm& f) { f.SetListIndex(cmbProxyType, 4); },
         u"#URL=#KEY=#HSH=#PRU=F#PRH=#PRP=0#PRT=RELAY#PRA=F#PRAU=#PRAP=#"},
        {"password keeps a #", [](SettingsForm& f) { f.UserEditedText(txtProxyPassword, u"a#b"); },
         u"#URL=#KEY=#HSH=#PRU=F#PRH=#PRP=0#PRT=WST#PRA=F#PRAU=#PRAP=YSNi#"},
    };
    for (const auto& c : cases) {
        ViewLog log;
        SettingsForm form(MakeScriptedView(log));
        form.Load();
        c.enter(form);
        EXPECT_EQ(PressOK(form), c.expected) << c.what;
    }
}

TEST(SettingsForm, ProxyFieldsSurviveTickingAndClearingTheBox) {
    ViewLog log;
    SettingsForm form(MakeScriptedView(log));
    form.Load();
    form.UserEditedText(txtProxyHost, u"127.0.0.1");
    form.UserEditedText(txtProxyPort, u"3128");
    form.UserClickedCheckBox(chkUseProxy);
    form.UserClickedCheckBox(chkUseProxy);
    EXPECT_EQ(PressOK(form), u"#URL=#KEY=#HSH=#PRU=F#PRH=127.0.0.1#PRP=3128#PRT=WST#PRA=F#PRAU=#PRAP=#");
}

TEST(SettingsForm, TheProxyBoxEnablesAndDisablesBothGroups) {
    ViewLog log;
    SettingsForm form(MakeScriptedView(log));
    form.Load();
    const ControlId inside[] = {cmbProxyType, txtProxyHost, txtProxyPort, chkUseProxyAuthentication,
                                txtProxyUsername, txtProxyPassword};
    // Enabled at design, while the box is clear.
    for (ControlId id : inside) EXPECT_TRUE(form.TakesInput(id));
    struct Step { int value_after; bool enabled_after; } steps[] = {{1, true}, {0, false}, {1, true}, {0, false}};
    for (const auto& s : steps) {
        form.UserClickedCheckBox(chkUseProxy);
        EXPECT_EQ(form.Control(chkUseProxy).value, s.value_after);
        EXPECT_EQ(form.Control(frame_UseProxy).enabled, s.enabled_after);
        EXPECT_TRUE(form.TakesInput(chkUseProxy));
        for (ControlId id : inside) EXPECT_EQ(form.TakesInput(id), s.enabled_after);
        EXPECT_TRUE(form.TakesInput(txtAPIKey));
    }
    // Blocked controls take no input, and the group's values stay.
    form.SetText(txtProxyHost, u"h");
    EXPECT_FALSE(form.UserEditedText(txtProxyHost, u"other"));
    form.UserClickedCheckBox(chkUseProxyAuthentication);
    form.UserSelectedListIndex(cmbProxyType, 2);
    EXPECT_EQ(form.Control(txtProxyHost).text, u"h");
    EXPECT_EQ(form.Control(chkUseProxyAuthentication).value, 0);
    EXPECT_EQ(form.Control(cmbProxyType).list_index, 0);
    // Writing the value the box already has runs no step.
    form.SetValue(chkUseProxy, 0);
    EXPECT_FALSE(form.Control(frame_UseProxy).enabled);
    // The authentication box has no step of its own.
    form.SetValue(chkUseProxy, 1);
    form.UserClickedCheckBox(chkUseProxyAuthentication);
    form.UserClickedCheckBox(chkUseProxyAuthentication);
    EXPECT_TRUE(form.Control(frame_proxyAuthentication).enabled);
}

TEST(SettingsForm, FocusMovesInTabOrderAndSkipsBlockedControls) {
    ViewLog log;
    SettingsForm form(MakeScriptedView(log));
    form.Load();
    const std::vector<ControlId> all = {btOK, chkUseProxy, txtProxyUsername, txtProxyPassword,
                                        chkUseProxyAuthentication, txtProxyPort, txtProxyHost,
                                        cmbProxyType, txtAPIHash, txtAPIKey, txtSolusVMURL};
    EXPECT_EQ(form.FocusOrder(), all);
    ControlId at = btOK;
    for (std::size_t i = 1; i <= all.size(); ++i) {
        at = form.NextFocus(at, true);
        EXPECT_EQ(at, all[i % all.size()]);
    }
    for (std::size_t i = all.size(); i-- > 0;) {
        at = form.NextFocus(at, false);
        EXPECT_EQ(at, all[i]);
    }
    form.UserClickedCheckBox(chkUseProxy);
    form.UserClickedCheckBox(chkUseProxy);  // cleared: the group is blocked
    EXPECT_EQ(form.FocusOrder(), (std::vector<ControlId>{btOK, chkUseProxy, txtAPIHash, txtAPIKey, txtSolusVMURL}));
    EXPECT_EQ(form.NextFocus(chkUseProxy, true), txtAPIHash);
    EXPECT_EQ(form.NextFocus(txtAPIHash, false), chkUseProxy);
    // The hidden timeout box never takes the focus, whatever it holds.
    form.SetText(txtTimeout, u"30");
    EXPECT_FALSE(form.TakesInput(txtTimeout));
}

TEST(SettingsForm, BoxesStoredAsTheyStandRefuseAHash) {
    ViewLog log;
    SettingsForm form(MakeScriptedView(log));
    form.Load();
    const ControlId refusing[] = {txtSolusVMURL, txtAPIKey, txtAPIHash, txtProxyHost, txtProxyUsername};
    for (ControlId id : refusing) {
        EXPECT_TRUE(form.UserEditedText(id, u"ab"));
        EXPECT_FALSE(form.UserEditedText(id, u"a#b"));
        EXPECT_EQ(form.Control(id).text, u"ab");
    }
    for (ControlId id : {txtProxyPassword, txtProxyPort}) {
        EXPECT_TRUE(form.UserEditedText(id, u"a#b"));
        EXPECT_EQ(form.Control(id).text, u"a#b");
    }
    EXPECT_EQ(PressOK(form),
              u"#URL=ab#KEY=ab#HSH=ab#PRU=F#PRH=ab#PRP=0#PRT=WST#PRA=F#PRAU=ab#PRAP=YSNi#");
}

TEST(SettingsForm, ClosingWithoutOkWritesNothing) {
    ViewLog log;
    SettingsForm form(MakeScriptedView(log));
    form.UserEditedText(txtAPIKey, u"k");
    ThreadCheckSettings().CurrentParameter = Variant(u"#KEY=old#");
    form.UserClosedWindow();
    EXPECT_FALSE(form.loaded());
    EXPECT_EQ(ThreadCheckSettings().CurrentParameter.ToText(), u"#KEY=old#");
}

}  // namespace
}  // namespace orbenix

#include "component/vexarel.h"

#include <vector>

#include "core/check_settings.h"
#include "core/error.h"
#include "core/numbered_steps.h"
#include "params/base64.h"
#include "params/numeric_value.h"
#include "params/read_tag.h"

namespace orbenix {

Vexarel::Vexarel() : Vexarel(CreateCheckForm()) {}
Vexarel::Vexarel(std::unique_ptr<CheckForm> form) : CheckForm_(std::move(form)) {}
Vexarel::~Vexarel() = default;

bool Vexarel::qv_docheck() {
    CheckSettings& settings = ThreadCheckSettings();
    bool result = false;
    Variant verdict;

    // The parameter text is converted afresh for every tag read.
    auto tag = [this](const char16_t* name) {
        bool quoted = false;
        return ReadTag(qv_parameter.ToText(), name, quoted);
    };
    auto next = [](auto&& step) {
        return [step]() { step(); return Flow::Next(); };
    };

    const std::vector<NumberedStep> steps = {
        {30, next([this] { (void)qv_timeout.ToInt32(); })},
        {50, next([&] { settings.SolusVMURL = tag(u"URL"); })},
        {60, next([&] {
             if (!settings.SolusVMURL.empty() && settings.SolusVMURL.back() == u'/') {
                 settings.SolusVMURL.pop_back();
             }
         })},
        {70, next([&] { settings.APIKey = tag(u"KEY"); })},
        {80, next([&] { settings.APIHash = tag(u"HSH"); })},
        {90, next([&] { settings.AuthUsername = tag(u"PAU"); })},
        {100, next([&] { settings.AuthPassword = DecodeString(tag(u"PAP")); })},
        {110, next([&] { settings.UseAuthentication = IsTrueFlag(tag(u"PAA")); })},
        {120, next([&] { settings.UseProxy = IsTrueFlag(tag(u"PRU")); })},
        {130, next([&] { settings.ProxyHost = tag(u"PRH"); })},
        {140, next([&] { settings.ProxyPort = PortValue(tag(u"PRP")); })},
        {150, next([&] { settings.ProxyType = tag(u"PRT"); })},
        {160, next([&] { settings.UseProxyAuthentication = IsTrueFlag(tag(u"PRA")); })},
        {170, next([&] { settings.ProxyUsername = tag(u"PRAU"); })},
        {180, next([&] { settings.ProxyPassword = DecodeString(tag(u"PRAP")); })},
        {190, next([&] { verdict = CheckForm_->DoCheck(); })},
        {200, [&] { return verdict.EqualsFalse() ? Flow::Next() : Flow::Goto(240); }},
        {210, next([&] { qv_result = settings.LastMessage; })},
        {220, [&] { result = false; return Flow::Return(); }},
        {240, next([&] { qv_result = u"SolusVM VPS works fine"; })},
        {250, [&] { result = true; return Flow::Return(); }},
    };

    // Every error ends the check: False and "ERR: " + description + "(" + line + ")".
    RunNumberedSteps(steps, [&](const Error& error, int line) {
        result = false;
        qv_result = u"ERR: " + error.description() + u"(" + NumberText(line) + u")";
        return TrapDecision::Return;
    });
    return result;
}

void Vexarel::qv_showGUI() { CheckForm_->ShowSettings(*this); }

}  // namespace orbenix

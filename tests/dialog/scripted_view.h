#pragma once
// A view without windows: it records what the form asked of it and, when
// shown, plays a script in place of the user.
#include <functional>
#include <string>
#include <vector>

#include "dialog/dialog_view.h"
#include "dialog/settings_form.h"

namespace orbenix::testing {

struct ViewLog {
    std::vector<std::string> calls;  // "create", "handle", "show", "destroy"
    std::function<void(SettingsForm&)> script;
    std::function<void()> fail_create;  // throws when set
};

class ScriptedView final : public DialogView {
public:
    explicit ScriptedView(ViewLog& log) : log_(log) {}
    void Create(SettingsForm& form) override {
        if (log_.fail_create) log_.fail_create();
        form_ = &form;
        log_.calls.push_back("create");
    }
    std::intptr_t WindowHandle() const override {
        log_.calls.push_back("handle");
        return 0;  // no real window: MakeTopmost's call fails and is ignored
    }
    void Refresh(ControlId) override {}
    void ShowModal() override {
        log_.calls.push_back("show");
        if (log_.script) log_.script(*form_);
    }
    void Destroy() override { log_.calls.push_back("destroy"); }

private:
    ViewLog& log_;
    SettingsForm* form_ = nullptr;
};

inline std::unique_ptr<DialogView> MakeScriptedView(ViewLog& log) {
    return std::make_unique<ScriptedView>(log);
}

}  // namespace orbenix::testing

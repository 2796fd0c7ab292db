#pragma once
// What a window system shows of the settings form. The form (the model) holds
// every value; the view mirrors it and reports the user's input back to it.
#include <cstdint>
#include <memory>

#include "dialog/dialog_layout.h"

namespace orbenix {

class SettingsForm;

class DialogView {
public:
    virtual ~DialogView() = default;
    // The form is loading: create the (hidden) window and its controls from
    // the form's current values. Raises a numbered Error when it cannot.
    virtual void Create(SettingsForm& form) = 0;
    // The loaded form's window handle.
    virtual std::intptr_t WindowHandle() const = 0;
    // A value, caption, list or enabled state of `id` changed in the form.
    virtual void Refresh(ControlId id) = 0;
    // Shows the window modally, with no owner; returns once the form has
    // unloaded (OK or the window's close command).
    virtual void ShowModal() = 0;
    // The form is unloading: the window and its controls go.
    virtual void Destroy() = 0;
};

// The platform's view: the real window on Windows; elsewhere one that
// cannot create a window and says so.
std::unique_ptr<DialogView> CreateDialogView();

}  // namespace orbenix

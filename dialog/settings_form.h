#pragma once
// The form frmmain as a settings dialog: its controls' values, its load step,
// the proxy check box step and the OK step. The form loads itself on the
// first access to a control and unloads on OK or on the window's close.
#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "dialog/dialog_layout.h"
#include "dialog/dialog_view.h"

namespace orbenix {

struct ControlState {
    std::u16string text;  // caption of labels, frames, check boxes and the button
    int value = 0;        // check boxes: 0 clear, 1 ticked
    bool enabled = true;
    bool visible = true;
    std::vector<std::u16string> list;  // combo box entries
    int list_index = -1;               // combo box selection, -1 for none
};

inline constexpr int kHelpContext = 10;
// Showing the form again while its modal show runs (a host re-entering from
// inside the dialog's message loop).
inline constexpr std::int32_t kAlreadyShowing = 400;
inline constexpr char16_t kAlreadyShowingText[] = u"Form already displayed; can't show modally";
inline constexpr char16_t kHelpFile[] = u"orbenix.chm";

class SettingsForm {
public:
    explicit SettingsForm(std::unique_ptr<DialogView> view);

    bool loaded() const { return loaded_; }
    // Between the modal show's start and its end.
    bool showing() const { return showing_; }
    // Loads the form if it is not loaded: design values, window, then Form_Load.
    void Load();
    // Discards the window and every control's value.
    void Unload();


    // Program access by name, as the settings entry point uses it; each loads the form.
    const ControlState& Control(ControlId id);
    void SetText(ControlId id, const std::u16string& text);
    // A changed check box value runs that box's change step.
    void SetValue(ControlId id, int value);
    void SetListIndex(ControlId id, int index);
    const std::u16string& Caption();
    int HelpContext();
    std::intptr_t hWnd();
    // Shows the loaded form modally; returns when it has unloaded.
    void ShowModal();

    // The user's input, as the view reports it. Input to a control that takes
    // none (hidden, disabled, or inside a disabled frame) changes nothing.
    // False when the text was refused (a "#" in a box that refuses it).
    bool UserEditedText(ControlId id, const std::u16string& text);
    void UserClickedCheckBox(ControlId id);
    void UserSelectedListIndex(ControlId id, int index);
    void UserPressedOK();
    void UserClosedWindow();

    // Whether `id` takes input: visible, enabled, and every container enabled.
    bool TakesInput(ControlId id) const;
    // The control that Tab (forward) or Shift+Tab moves the focus to from `from`.
    ControlId NextFocus(ControlId from, bool forward) const;
    // The controls that can take the focus now, in tab order.
    std::vector<ControlId> FocusOrder() const;

    // Read access for the view (does not load the form).
    const ControlState& State(ControlId id) const { return controls_[Index(id)]; }
    const std::u16string& CaptionState() const { return caption_; }

    // Event steps.
    void Form_Load();
    void chkUseProxy_Click();
    void btOK_Click();

private:
    static std::size_t Index(ControlId id) { return static_cast<std::size_t>(id); }
    ControlState& Mutable(ControlId id);
    void Refresh(ControlId id);
    void SetValueInternal(ControlId id, int value);

    std::unique_ptr<DialogView> view_;
    bool loaded_ = false;
    bool showing_ = false;
    std::u16string caption_;
    int help_context_ = 0;
    std::array<ControlState, kControlCount> controls_;
};

// Whether `text` may stand in box `id`: the boxes whose text goes into the
// stored string as it stands refuse "#", which would split the stored entry.
bool AcceptsText(ControlId id, const std::u16string& text);

// "version 1.0 build 5" from the component's version numbers.
std::u16string VersionCaption();

}  // namespace orbenix

#pragma once
// Numbered errors of the settings dialog.
#include <cstdint>

namespace orbenix::dialog_errors {

// The dialog needs a window system this platform lacks.
inline constexpr std::int32_t NeedsWindows = 31001;
inline constexpr char16_t kNeedsWindows[] = u"The settings dialog needs Windows";
// Creating the dialog window or one of its controls failed (the text names which).
inline constexpr std::int32_t WindowFailed = 31002;

}  // namespace orbenix::dialog_errors

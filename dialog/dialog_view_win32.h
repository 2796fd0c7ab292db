#pragma once
// Facts about the Win32 settings window that its tests rely on.
namespace orbenix::dialog_win32 {

// The window classes of the form and of its frames.
inline constexpr wchar_t kFormClass[] = L"OrbenixSettingsForm";
inline constexpr wchar_t kFrameClass[] = L"OrbenixFrame";
// Control i of the design table has the command id kFirstControlId + i
// (clear of IDOK and IDCANCEL, which the dialog never answers).
inline constexpr int kFirstControlId = 1000;
// The window icon (32x32 and 16x16 images), looked up in the module that holds this code.
inline constexpr int kDialogIconId = 1;  // "1 ICON" in orbenix.dll's resources

}  // namespace orbenix::dialog_win32

#pragma once
// The settings entry point: fills the object's settings form from its
// parameter string, shows it modally on top of every window, and hands the
// resulting string back in the object's qv_parameter. The dialog sees only
// the two properties it uses, not the object that holds them.
namespace orbenix {

class SettingsForm;
class Variant;

// `parameter` and `timeout` are the object's qv_parameter and qv_timeout.
// Catches nothing: an error reaches the caller, the form is unloaded, and
// `parameter` keeps its value.
void ShowSettingsDialog(Variant& parameter, const Variant& timeout, SettingsForm& form);

}  // namespace orbenix

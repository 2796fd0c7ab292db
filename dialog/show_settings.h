#pragma once
// The settings entry point: fills the object's settings form from its
// parameter string, shows it modally on top of every window, and hands the
// resulting string back in qv_parameter.
namespace orbenix {

class SettingsForm;
class Vexarel;

// Catches nothing: an error reaches the caller, the form is unloaded, and
// qv_parameter keeps its value.
void ShowSettingsDialog(Vexarel& object, SettingsForm& form);

}  // namespace orbenix

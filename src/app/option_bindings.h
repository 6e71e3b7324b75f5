#pragma once

#include <functional>
#include <string>
#include <variant>

#include "launch/compose.h"

class QCheckBox;
class QLineEdit;
class QObject;

namespace fraglane::app {

class SpinEdit;
class RadioGroup;

// One option control and the field of the launch options it holds.
template <typename Control, typename Value>
struct Bound {
    Control* control;
    Value launch::LaunchOptions::*field;
};

// The window's option controls, each bound to its field: gathering the options, restoring
// them from the settings and connecting their change events all go over one list of these.
using OptionBinding = std::variant<Bound<SpinEdit, int>, Bound<QCheckBox, bool>,
                                   Bound<RadioGroup, int>, Bound<QLineEdit, std::string>>;

// Copies the control's value into its field.
void Gather(const OptionBinding& binding, launch::LaunchOptions& options);
// Shows the field's value in the control.
void Show(const OptionBinding& binding, const launch::LaunchOptions& options);
// Calls handler whenever the control's value changes, by the operator or by the program.
void OnChange(const OptionBinding& binding, QObject* context, const std::function<void()>& handler);
// The control of a binding, whatever its kind.
QObject* ControlOf(const OptionBinding& binding);

}  // namespace fraglane::app

#pragma once

#include <span>
#include <string>
#include <string_view>
#include <variant>

#include "launch/compose.h"

namespace fraglane::settings {

// One option of the game as the program keeps it: the field of the launch options it sets, its
// default, the key that keeps it in the settings file, and the window's control that shows it
// with the control's hint. The settings file's reading and writing, the defaults and the
// window's bindings all walk these rows: a new option is one row here, its control placed on
// its page, and its words in launch/compose.cpp.
struct OptionRow {
    // How the key's text maps to the field: a plain integer, a check box (checked only for 1), a
    // radio index (clamped to the group's choices) or a text.
    enum class Kind { Integer, Check, Radio, Text };
    using Field = std::variant<int launch::LaunchOptions::*, bool launch::LaunchOptions::*,
                               std::string launch::LaunchOptions::*>;

    Field field;
    Kind kind;
    // Integer, check (0 or 1) and radio rows.
    int defaultValue;
    const char* section;
    const char* key;
    // The control's name in the window ("cTimelimit") and its tooltip.
    const char* control;
    const char* hint;
    // Text rows' default.
    const char* defaultText = "";
    // Radio rows: the number of choices.
    int radioCount = 0;
};

// Every option, in the order their keys are written within each section.
std::span<const OptionRow> OptionRows();
// The row of a window control; null for a control that is no option.
const OptionRow* OptionOfControl(std::string_view control);

}  // namespace fraglane::settings

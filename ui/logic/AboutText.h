#pragma once
// The text of the about dialog.

#include <string>

namespace corvane::ui {

// Lines separated by "\n".
std::string AboutText();

} // namespace corvane::ui

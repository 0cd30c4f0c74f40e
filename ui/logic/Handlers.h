#pragma once
// Reporting the errors that leave a window's handler: the user sees the message and the exception's class in
// an error dialog, and the program carries on.

#include "ui/logic/Toolkit.h"

#include <exception>
#include <functional>
#include <string>

namespace corvane::ui {

// The class name of an exception, without the "corvane::" namespace ("EInOutError", "std::runtime_error").
std::string ExceptionClassName(const std::exception& error);

// Runs handler; an exception leaving it is shown through messageBox.ShowError. Returns false when one did.
bool RunHandler(IMessageBox& messageBox, const std::function<void()>& handler);

} // namespace corvane::ui

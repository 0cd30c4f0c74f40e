#include "ui/logic/Handlers.h"

#include "database/Errors.h"

#include <cstdlib>
#include <cxxabi.h>
#include <memory>
#include <typeinfo>

namespace corvane::ui {

std::string ExceptionClassName(const std::exception& error) {
    const char* mangled = typeid(error).name();
    int status = 0;
    const std::unique_ptr<char, void (*)(void*)> demangled(
        abi::__cxa_demangle(mangled, nullptr, nullptr, &status), std::free);
    std::string name = (status == 0 && demangled) ? demangled.get() : mangled;
    constexpr std::string_view ownNamespace = "corvane::";
    if (name.compare(0, ownNamespace.size(), ownNamespace) == 0) {
        name.erase(0, ownNamespace.size());
    }
    return name;
}

bool RunHandler(IMessageBox& messageBox, const std::function<void()>& handler) {
    try {
        handler();
        return true;
    } catch (const std::exception& error) {
        messageBox.ShowError(DescribeError(error), ExceptionClassName(error));
    } catch (...) {
        messageBox.ShowError("An unknown error occurred.", "unknown exception");
    }
    return false;
}

} // namespace corvane::ui

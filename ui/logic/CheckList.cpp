#include "text/TextUtils.h"
#include "ui/logic/Toolkit.h"

namespace corvane::ui {

bool CheckListLess(const std::string& a, const std::string& b) {
    return CompareNameKeys(a, b) < 0;
}

} // namespace corvane::ui

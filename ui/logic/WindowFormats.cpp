// The one-file formats of the window: every one this build has.

#include "formats/Formats.h"
#include "ui/logic/MainWindow.h"

namespace corvane::ui {

TFormatRegistry WindowFormatRegistry() {
    TFormatRegistry registry;
    RegisterBuildFormats(registry);
    return registry;
}

} // namespace corvane::ui

#pragma once
// Windows names its date and time formats by pictures ("dd/MM/yyyy", "H:mm:ss"); the date writer takes the
// strftime-like form. Plain text conversion, so it is built and tested on every system.

#include <string>
#include <string_view>

namespace corvane::platform {

// The strftime-like form of a Windows date or time picture: d %-d, dd %d, M %-m, MM %m, y and yy %y, yyy and
// longer %Y, H and HH %H, h and hh %I, m and mm %M, s and ss %S, t and tt %p; text in single quotes ('' for a
// quote) and every other character as it stands, "%" as "%%". Day and month names (ddd, MMM and longer) are
// written as numbers, eras (g, gg) are left out.
std::string FormatOfPicture(std::string_view picture);

} // namespace corvane::platform

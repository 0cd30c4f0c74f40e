#include "platform/LocalePicture.h"

namespace corvane::platform {

std::string FormatOfPicture(std::string_view picture) {
    std::string format;
    for (std::size_t i = 0; i < picture.size();) {
        const char c = picture[i];
        if (c == '\'') {
            // A quoted literal; two quotes in a row stand for one.
            ++i;
            while (i < picture.size()) {
                if (picture[i] == '\'') {
                    if (i + 1 < picture.size() && picture[i + 1] == '\'') {
                        format += '\'';
                        i += 2;
                        continue;
                    }
                    ++i;
                    break;
                }
                format += picture[i] == '%' ? "%%" : std::string(1, picture[i]);
                ++i;
            }
            continue;
        }
        std::size_t run = 1;
        while (i + run < picture.size() && picture[i + run] == c) {
            ++run;
        }
        switch (c) {
        case 'd':
            format += run == 1 ? "%-d" : "%d";
            break;
        case 'M':
            format += run == 1 ? "%-m" : "%m";
            break;
        case 'y':
            format += run <= 2 ? "%y" : "%Y";
            break;
        case 'H':
            format += "%H";
            break;
        case 'h':
            format += "%I";
            break;
        case 'm':
            format += "%M";
            break;
        case 's':
            format += "%S";
            break;
        case 't':
            format += "%p";
            break;
        case 'g':
            break;
        case '%':
            format.append(2 * run, '%');
            break;
        default:
            format.append(run, c);
            break;
        }
        i += run;
    }
    return format;
}

} // namespace corvane::platform

// The code page tables of the C library's iconv.

#include "text/PlatformCodePage.h"

#include <cerrno>
#include <cstdint>
#include <iconv.h>

namespace corvane {

std::optional<std::array<char32_t, 256>> PlatformCodePageTable(const std::string& name) {
    // UTF-32 of a stated byte order: four bytes a code point and no byte order mark.
    const iconv_t cd = ::iconv_open("UTF-32LE", name.c_str());
    if (cd == reinterpret_cast<iconv_t>(-1)) {
        return std::nullopt;
    }
    std::array<char32_t, 256> table{};
    for (int b = 0; b < 256; ++b) {
        char in = static_cast<char>(b);
        unsigned char out[16] = {};
        char* inPtr = &in;
        char* outPtr = reinterpret_cast<char*>(out);
        std::size_t inLeft = 1;
        std::size_t outLeft = sizeof out;
        ::iconv(cd, nullptr, nullptr, nullptr, nullptr);
        const std::size_t rc = ::iconv(cd, &inPtr, &inLeft, &outPtr, &outLeft);
        std::size_t produced = sizeof out - outLeft;
        if (rc == static_cast<std::size_t>(-1) && errno == EILSEQ) {
            table[b] = U'\xFFFD';
            continue;
        }
        if (rc != static_cast<std::size_t>(-1)) {
            // A converter that holds back its output until the end of the input (a shift state).
            std::size_t flushLeft = outLeft;
            ::iconv(cd, nullptr, nullptr, &outPtr, &flushLeft);
            produced = sizeof out - flushLeft;
        }
        if (rc == static_cast<std::size_t>(-1) || produced != 4) {
            table[b] = kNotSingleByte;
            continue;
        }
        table[b] =
            static_cast<char32_t>(out[0] | (out[1] << 8) | (out[2] << 16) | (std::uint32_t{out[3]} << 24));
    }
    ::iconv_close(cd);
    return table;
}

} // namespace corvane

#include "text/TextUtils.h"

#include <stdexcept>

namespace corvane {

namespace {
char UpperAscii(char c) {
    return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 0x20) : c;
}
} // namespace

std::size_t LastCharPos(char c, std::string_view s) {
    for (std::size_t i = s.size(); i > 0; --i) {
        if (s[i - 1] == c) {
            return i;
        }
    }
    return 0;
}

char FirstCharOr(std::string_view s, char fallback) {
    return s.empty() ? fallback : s.front();
}

std::string WithTrailingBackslash(std::string_view s) {
    std::string result(s);
    if (!result.empty() && result.back() != '\\') {
        result.push_back('\\');
    }
    return result;
}

std::string WithTrailingSeparator(std::string_view s) {
    std::string result(s);
    if (!result.empty() && result.back() != kPathSeparator) {
        result.push_back(kPathSeparator);
    }
    return result;
}

std::int32_t BytesToInt(const std::uint8_t* p, int count) {
    if (count < 0 || count > 4) {
        throw std::out_of_range("BytesToInt: count " + std::to_string(count) + " is outside 0..4");
    }
    std::uint32_t value = 0;
    for (int i = 0; i < count; ++i) {
        value |= static_cast<std::uint32_t>(p[i]) << (8 * i);
    }
    return static_cast<std::int32_t>(value);
}

std::size_t FirstPosOfAny(std::string_view set, std::string_view s) {
    if (set.empty() || s.empty()) {
        return 0;
    }
    const std::size_t pos = s.find_first_of(set);
    return pos == std::string_view::npos ? 0 : pos + 1;
}

std::string ReplaceChars(std::string_view s, std::string_view set, char r) {
    std::string result(s);
    for (char& c : result) {
        if (set.find(c) != std::string_view::npos) {
            c = r;
        }
    }
    return result;
}

std::string RemoveChar(std::string_view s, char c) {
    std::string result;
    result.reserve(s.size());
    for (char ch : s) {
        if (ch != c) {
            result.push_back(ch);
        }
    }
    return result;
}

std::string RemoveChars(std::string_view s, std::string_view set) {
    std::string result(s);
    for (char c : set) {
        result = RemoveChar(result, c);
    }
    return result;
}

std::string TrimTrailingBlanks(std::string_view s) {
    std::size_t end = s.size();
    while (end > 0 && (s[end - 1] == ' ' || s[end - 1] == '\0')) {
        --end;
    }
    return std::string(s.substr(0, end));
}

std::string TrimBlanks(std::string_view s) {
    std::size_t start = 0;
    while (start < s.size() && s[start] == ' ') {
        ++start;
    }
    return TrimTrailingBlanks(s.substr(start));
}

std::string UpperCaseAscii(std::string_view s) {
    std::string result(s);
    for (char& c : result) {
        c = UpperAscii(c);
    }
    return result;
}

int CompareNameKeys(std::string_view a, std::string_view b) {
    const std::size_t n = a.size() < b.size() ? a.size() : b.size();
    for (std::size_t i = 0; i < n; ++i) {
        const auto ca = static_cast<unsigned char>(UpperAscii(a[i]));
        const auto cb = static_cast<unsigned char>(UpperAscii(b[i]));
        if (ca != cb) {
            return ca < cb ? -1 : 1;
        }
    }
    if (a.size() == b.size()) {
        return 0;
    }
    return a.size() < b.size() ? -1 : 1;
}

bool SameNameKey(std::string_view a, std::string_view b) {
    return a.size() == b.size() && CompareNameKeys(a, b) == 0;
}

std::string EscapeControls(std::string_view s) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(s.size());
    for (const char c : s) {
        const auto b = static_cast<unsigned char>(c);
        if (b < 0x20 || b == 0x7F) {
            out += "\\x";
            out += kHex[b >> 4];
            out += kHex[b & 0x0F];
        } else {
            out += c;
        }
    }
    return out;
}

} // namespace corvane

#include "text/CodePage.h"

#include "text/PlatformCodePage.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <cstdint>
#include <deque>
#include <mutex>

namespace corvane {

namespace {

// The upper halves; a position the code page leaves undefined holds U+FFFD.
// cp437, bytes 0x80 to 0xFF.
constexpr std::array<char16_t, 128> kCp437High = {
    0x00C7, 0x00FC, 0x00E9, 0x00E2, 0x00E4, 0x00E0, 0x00E5, 0x00E7, 0x00EA, 0x00EB, 0x00E8, 0x00EF, 0x00EE,
    0x00EC, 0x00C4, 0x00C5, 0x00C9, 0x00E6, 0x00C6, 0x00F4, 0x00F6, 0x00F2, 0x00FB, 0x00F9, 0x00FF, 0x00D6,
    0x00DC, 0x00A2, 0x00A3, 0x00A5, 0x20A7, 0x0192, 0x00E1, 0x00ED, 0x00F3, 0x00FA, 0x00F1, 0x00D1, 0x00AA,
    0x00BA, 0x00BF, 0x2310, 0x00AC, 0x00BD, 0x00BC, 0x00A1, 0x00AB, 0x00BB, 0x2591, 0x2592, 0x2593, 0x2502,
    0x2524, 0x2561, 0x2562, 0x2556, 0x2555, 0x2563, 0x2551, 0x2557, 0x255D, 0x255C, 0x255B, 0x2510, 0x2514,
    0x2534, 0x252C, 0x251C, 0x2500, 0x253C, 0x255E, 0x255F, 0x255A, 0x2554, 0x2569, 0x2566, 0x2560, 0x2550,
    0x256C, 0x2567, 0x2568, 0x2564, 0x2565, 0x2559, 0x2558, 0x2552, 0x2553, 0x256B, 0x256A, 0x2518, 0x250C,
    0x2588, 0x2584, 0x258C, 0x2590, 0x2580, 0x03B1, 0x00DF, 0x0393, 0x03C0, 0x03A3, 0x03C3, 0x00B5, 0x03C4,
    0x03A6, 0x0398, 0x03A9, 0x03B4, 0x221E, 0x03C6, 0x03B5, 0x2229, 0x2261, 0x00B1, 0x2265, 0x2264, 0x2320,
    0x2321, 0x00F7, 0x2248, 0x00B0, 0x2219, 0x00B7, 0x221A, 0x207F, 0x00B2, 0x25A0, 0x00A0,
};

// cp850, bytes 0x80 to 0xFF.
constexpr std::array<char16_t, 128> kCp850High = {
    0x00C7, 0x00FC, 0x00E9, 0x00E2, 0x00E4, 0x00E0, 0x00E5, 0x00E7, 0x00EA, 0x00EB, 0x00E8, 0x00EF, 0x00EE,
    0x00EC, 0x00C4, 0x00C5, 0x00C9, 0x00E6, 0x00C6, 0x00F4, 0x00F6, 0x00F2, 0x00FB, 0x00F9, 0x00FF, 0x00D6,
    0x00DC, 0x00F8, 0x00A3, 0x00D8, 0x00D7, 0x0192, 0x00E1, 0x00ED, 0x00F3, 0x00FA, 0x00F1, 0x00D1, 0x00AA,
    0x00BA, 0x00BF, 0x00AE, 0x00AC, 0x00BD, 0x00BC, 0x00A1, 0x00AB, 0x00BB, 0x2591, 0x2592, 0x2593, 0x2502,
    0x2524, 0x00C1, 0x00C2, 0x00C0, 0x00A9, 0x2563, 0x2551, 0x2557, 0x255D, 0x00A2, 0x00A5, 0x2510, 0x2514,
    0x2534, 0x252C, 0x251C, 0x2500, 0x253C, 0x00E3, 0x00C3, 0x255A, 0x2554, 0x2569, 0x2566, 0x2560, 0x2550,
    0x256C, 0x00A4, 0x00F0, 0x00D0, 0x00CA, 0x00CB, 0x00C8, 0x0131, 0x00CD, 0x00CE, 0x00CF, 0x2518, 0x250C,
    0x2588, 0x2584, 0x00A6, 0x00CC, 0x2580, 0x00D3, 0x00DF, 0x00D4, 0x00D2, 0x00F5, 0x00D5, 0x00B5, 0x00FE,
    0x00DE, 0x00DA, 0x00DB, 0x00D9, 0x00FD, 0x00DD, 0x00AF, 0x00B4, 0x00AD, 0x00B1, 0x2017, 0x00BE, 0x00B6,
    0x00A7, 0x00F7, 0x00B8, 0x00B0, 0x00A8, 0x00B7, 0x00B9, 0x00B3, 0x00B2, 0x25A0, 0x00A0,
};

// cp852, bytes 0x80 to 0xFF.
constexpr std::array<char16_t, 128> kCp852High = {
    0x00C7, 0x00FC, 0x00E9, 0x00E2, 0x00E4, 0x016F, 0x0107, 0x00E7, 0x0142, 0x00EB, 0x0150, 0x0151, 0x00EE,
    0x0179, 0x00C4, 0x0106, 0x00C9, 0x0139, 0x013A, 0x00F4, 0x00F6, 0x013D, 0x013E, 0x015A, 0x015B, 0x00D6,
    0x00DC, 0x0164, 0x0165, 0x0141, 0x00D7, 0x010D, 0x00E1, 0x00ED, 0x00F3, 0x00FA, 0x0104, 0x0105, 0x017D,
    0x017E, 0x0118, 0x0119, 0x00AC, 0x017A, 0x010C, 0x015F, 0x00AB, 0x00BB, 0x2591, 0x2592, 0x2593, 0x2502,
    0x2524, 0x00C1, 0x00C2, 0x011A, 0x015E, 0x2563, 0x2551, 0x2557, 0x255D, 0x017B, 0x017C, 0x2510, 0x2514,
    0x2534, 0x252C, 0x251C, 0x2500, 0x253C, 0x0102, 0x0103, 0x255A, 0x2554, 0x2569, 0x2566, 0x2560, 0x2550,
    0x256C, 0x00A4, 0x0111, 0x0110, 0x010E, 0x00CB, 0x010F, 0x0147, 0x00CD, 0x00CE, 0x011B, 0x2518, 0x250C,
    0x2588, 0x2584, 0x0162, 0x016E, 0x2580, 0x00D3, 0x00DF, 0x00D4, 0x0143, 0x0144, 0x0148, 0x0160, 0x0161,
    0x0154, 0x00DA, 0x0155, 0x0170, 0x00FD, 0x00DD, 0x0163, 0x00B4, 0x00AD, 0x02DD, 0x02DB, 0x02C7, 0x02D8,
    0x00A7, 0x00F7, 0x00B8, 0x00B0, 0x00A8, 0x02D9, 0x0171, 0x0158, 0x0159, 0x25A0, 0x00A0,
};

// cp1250, bytes 0x80 to 0xFF.
constexpr std::array<char16_t, 128> kCp1250High = {
    0x20AC, 0xFFFD, 0x201A, 0xFFFD, 0x201E, 0x2026, 0x2020, 0x2021, 0xFFFD, 0x2030, 0x0160, 0x2039, 0x015A,
    0x0164, 0x017D, 0x0179, 0xFFFD, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014, 0xFFFD, 0x2122,
    0x0161, 0x203A, 0x015B, 0x0165, 0x017E, 0x017A, 0x00A0, 0x02C7, 0x02D8, 0x0141, 0x00A4, 0x0104, 0x00A6,
    0x00A7, 0x00A8, 0x00A9, 0x015E, 0x00AB, 0x00AC, 0x00AD, 0x00AE, 0x017B, 0x00B0, 0x00B1, 0x02DB, 0x0142,
    0x00B4, 0x00B5, 0x00B6, 0x00B7, 0x00B8, 0x0105, 0x015F, 0x00BB, 0x013D, 0x02DD, 0x013E, 0x017C, 0x0154,
    0x00C1, 0x00C2, 0x0102, 0x00C4, 0x0139, 0x0106, 0x00C7, 0x010C, 0x00C9, 0x0118, 0x00CB, 0x011A, 0x00CD,
    0x00CE, 0x010E, 0x0110, 0x0143, 0x0147, 0x00D3, 0x00D4, 0x0150, 0x00D6, 0x00D7, 0x0158, 0x016E, 0x00DA,
    0x0170, 0x00DC, 0x00DD, 0x0162, 0x00DF, 0x0155, 0x00E1, 0x00E2, 0x0103, 0x00E4, 0x013A, 0x0107, 0x00E7,
    0x010D, 0x00E9, 0x0119, 0x00EB, 0x011B, 0x00ED, 0x00EE, 0x010F, 0x0111, 0x0144, 0x0148, 0x00F3, 0x00F4,
    0x0151, 0x00F6, 0x00F7, 0x0159, 0x016F, 0x00FA, 0x0171, 0x00FC, 0x00FD, 0x0163, 0x02D9,
};

// cp1252, bytes 0x80 to 0xFF.
constexpr std::array<char16_t, 128> kCp1252High = {
    0x20AC, 0xFFFD, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160, 0x2039, 0x0152,
    0xFFFD, 0x017D, 0xFFFD, 0xFFFD, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014, 0x02DC, 0x2122,
    0x0161, 0x203A, 0x0153, 0xFFFD, 0x017E, 0x0178, 0x00A0, 0x00A1, 0x00A2, 0x00A3, 0x00A4, 0x00A5, 0x00A6,
    0x00A7, 0x00A8, 0x00A9, 0x00AA, 0x00AB, 0x00AC, 0x00AD, 0x00AE, 0x00AF, 0x00B0, 0x00B1, 0x00B2, 0x00B3,
    0x00B4, 0x00B5, 0x00B6, 0x00B7, 0x00B8, 0x00B9, 0x00BA, 0x00BB, 0x00BC, 0x00BD, 0x00BE, 0x00BF, 0x00C0,
    0x00C1, 0x00C2, 0x00C3, 0x00C4, 0x00C5, 0x00C6, 0x00C7, 0x00C8, 0x00C9, 0x00CA, 0x00CB, 0x00CC, 0x00CD,
    0x00CE, 0x00CF, 0x00D0, 0x00D1, 0x00D2, 0x00D3, 0x00D4, 0x00D5, 0x00D6, 0x00D7, 0x00D8, 0x00D9, 0x00DA,
    0x00DB, 0x00DC, 0x00DD, 0x00DE, 0x00DF, 0x00E0, 0x00E1, 0x00E2, 0x00E3, 0x00E4, 0x00E5, 0x00E6, 0x00E7,
    0x00E8, 0x00E9, 0x00EA, 0x00EB, 0x00EC, 0x00ED, 0x00EE, 0x00EF, 0x00F0, 0x00F1, 0x00F2, 0x00F3, 0x00F4,
    0x00F5, 0x00F6, 0x00F7, 0x00F8, 0x00F9, 0x00FA, 0x00FB, 0x00FC, 0x00FD, 0x00FE, 0x00FF,
};

struct TCodePageName {
    std::string_view Name;
    TCodePage CodePage;
};

constexpr std::array<TCodePageName, 7> kNames = {{
    {"raw", TCodePage::Raw},
    {"cp437", TCodePage::Cp437},
    {"cp850", TCodePage::Cp850},
    {"cp852", TCodePage::Cp852},
    {"cp1250", TCodePage::Cp1250},
    {"cp1252", TCodePage::Cp1252},
    {"latin1", TCodePage::Latin1},
}};

char LowerAscii(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

// Code pages added at run time. A table, once added, stays, so readers need no lock: they find it through
// an atomic pointer published after the table was complete.
struct TAddedCodePage {
    std::string Name;
    std::array<char16_t, 128> High{};
};

constexpr std::size_t kMaxAdded = 200;

struct TAddedCodePages {
    std::mutex Mutex;
    std::deque<TAddedCodePage> Pages; // owns them; grows under Mutex
    std::array<std::atomic<const TAddedCodePage*>, kMaxAdded> Published{};
};

TAddedCodePages& Added() {
    static TAddedCodePages added;
    return added;
}

const TAddedCodePage* AddedCodePage(TCodePage codePage) {
    const auto index = static_cast<std::size_t>(codePage) - static_cast<std::size_t>(TCodePage::FirstAdded);
    if (static_cast<int>(codePage) < static_cast<int>(TCodePage::FirstAdded) || index >= kMaxAdded) {
        return nullptr;
    }
    return Added().Published[index].load(std::memory_order_acquire);
}

const std::array<char16_t, 128>* HighTable(TCodePage codePage) {
    switch (codePage) {
    case TCodePage::Cp437:
        return &kCp437High;
    case TCodePage::Cp850:
        return &kCp850High;
    case TCodePage::Cp852:
        return &kCp852High;
    case TCodePage::Cp1250:
        return &kCp1250High;
    case TCodePage::Cp1252:
        return &kCp1252High;
    case TCodePage::Raw:
    case TCodePage::Latin1:
        return nullptr;
    default:
        break;
    }
    const TAddedCodePage* added = AddedCodePage(codePage);
    return added == nullptr ? nullptr : &added->High;
}

std::string Lowered(std::string_view name) {
    std::string lowered;
    for (const char c : name) {
        lowered += LowerAscii(c);
    }
    return lowered;
}

bool AllDigits(std::string_view s) {
    return !s.empty() && s.find_first_not_of("0123456789") == std::string_view::npos;
}

// The name a code page is looked up and added by: lower case, the usual aliases folded.
std::string CanonicalName(std::string_view name) {
    std::string n = Lowered(name);
    if (n == "latin-1" || n == "iso8859-1" || n == "iso-8859-1" || n == "iso_8859-1" || n == "l1") {
        return "latin1";
    }
    for (const std::string_view prefix : {"windows-", "windows", "ibm", "cp-", "cp"}) {
        if (n.compare(0, prefix.size(), prefix) == 0 &&
            AllDigits(std::string_view(n).substr(prefix.size()))) {
            return "cp" + n.substr(prefix.size());
        }
    }
    if (AllDigits(n)) {
        return "cp" + n;
    }
    if (n.compare(0, 7, "iso8859") == 0) {
        n = "iso-8859" + n.substr(7);
        if (n.size() > 8 && n[8] == '_') {
            n[8] = '-';
        }
    }
    return n;
}

bool IsUnicodeName(const std::string& n) {
    for (const std::string_view prefix : {"utf", "ucs", "unicode"}) {
        if (n.compare(0, prefix.size(), prefix) == 0) {
            return true;
        }
    }
    return false;
}

// The added code page of canonical name, adding it from the platform's converter when it is new; nullopt
// with the reason otherwise.
std::optional<TCodePage> AddedByName(const std::string& canonical, std::string& whyNot) {
    TAddedCodePages& added = Added();
    const std::lock_guard lock(added.Mutex);
    for (std::size_t i = 0; i < added.Pages.size(); ++i) {
        if (added.Pages[i].Name == canonical) {
            return static_cast<TCodePage>(static_cast<std::size_t>(TCodePage::FirstAdded) + i);
        }
    }
    const std::optional<std::array<char32_t, 256>> table = PlatformCodePageTable(canonical);
    if (!table) {
        whyNot = "unknown code page " + canonical;
        return std::nullopt;
    }
    TAddedCodePage page;
    page.Name = canonical;
    if (std::find(table->begin(), table->end(), kNotSingleByte) != table->end()) {
        whyNot = canonical + " is not a single-byte code page";
        return std::nullopt;
    }
    for (std::size_t b = 0; b < 256; ++b) {
        const char32_t cp = (*table)[b];
        if (b < 0x80 && cp != b) {
            whyNot = canonical + " is not ASCII in bytes 0x00 to 0x7F";
            return std::nullopt;
        }
        if (b >= 0x80) {
            // Outside the Basic Multilingual Plane no single-byte code page of DOS or Windows goes.
            page.High[b - 0x80] = cp > 0xFFFF ? u'\xFFFD' : static_cast<char16_t>(cp);
        }
    }
    if (added.Pages.size() >= kMaxAdded) {
        whyNot = "too many code pages in one run to add " + canonical;
        return std::nullopt;
    }
    const std::size_t index = added.Pages.size();
    added.Pages.push_back(std::move(page));
    added.Published[index].store(&added.Pages.back(), std::memory_order_release);
    return static_cast<TCodePage>(static_cast<std::size_t>(TCodePage::FirstAdded) + index);
}

// The usual single-byte code pages offered by name when the platform's converter has them.
constexpr std::string_view kUsualCodePages[] = {
    "cp737",       "cp775",       "cp855",       "cp857",       "cp860",       "cp861",      "cp862",
    "cp863",       "cp864",       "cp865",       "cp866",       "cp869",       "cp874",      "cp1251",
    "cp1253",      "cp1254",      "cp1255",      "cp1256",      "cp1257",      "cp1258",     "iso-8859-2",
    "iso-8859-3",  "iso-8859-4",  "iso-8859-5",  "iso-8859-6",  "iso-8859-7",  "iso-8859-8", "iso-8859-9",
    "iso-8859-10", "iso-8859-13", "iso-8859-14", "iso-8859-15", "iso-8859-16", "koi8-r",     "koi8-u",
};

// Every code point of the tables lies in the Basic Multilingual Plane, so three bytes at most.
void AppendCodePoint(std::string& out, char32_t cp) {
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

} // namespace

std::optional<TCodePage> CodePageByName(std::string_view name, std::string* whyNot) {
    const std::string canonical = CanonicalName(name);
    for (const TCodePageName& entry : kNames) {
        if (entry.Name == canonical) {
            return entry.CodePage;
        }
    }
    std::string reason;
    std::optional<TCodePage> found;
    if (canonical.empty()) {
        reason = "no code page named";
    } else if (IsUnicodeName(canonical)) {
        reason = "DataEase kept its text in a single-byte code page, never in " + std::string(name) +
                 "; name that code page (cp437, cp1252 ...)";
    } else {
        found = AddedByName(canonical, reason);
    }
    if (!found && whyNot != nullptr) {
        *whyNot = reason;
    }
    return found;
}

std::string_view CodePageName(TCodePage codePage) {
    for (const TCodePageName& entry : kNames) {
        if (entry.CodePage == codePage) {
            return entry.Name;
        }
    }
    const TAddedCodePage* added = AddedCodePage(codePage);
    return added == nullptr ? "raw" : std::string_view(added->Name);
}

bool IsBuiltInCodePage(TCodePage codePage) {
    return static_cast<int>(codePage) < static_cast<int>(TCodePage::FirstAdded);
}

std::vector<std::string> AvailableCodePageNames() {
    std::vector<std::string> names;
    for (const TCodePageName& entry : kNames) {
        names.emplace_back(entry.Name);
    }
    for (const std::string_view name : kUsualCodePages) {
        if (CodePageByName(name)) {
            names.emplace_back(name);
        }
    }
    return names;
}

std::string_view CodePageNames() {
    return "raw, cp437, cp850, cp852, cp1250, cp1252, latin1";
}

TCodePage DefaultCodePage(unsigned version) {
    return version == 6 || version == 7 ? TCodePage::Cp1252 : TCodePage::Cp437;
}

char32_t CodePointOf(unsigned char b, TCodePage codePage) {
    if (b < 0x80) {
        return b;
    }
    const std::array<char16_t, 128>* table = HighTable(codePage);
    return table == nullptr ? char32_t{b} : char32_t{(*table)[b - 0x80]};
}

void AppendUtf8(std::string& out, std::string_view bytes, TCodePage codePage) {
    if (codePage == TCodePage::Raw) {
        out.append(bytes);
        return;
    }
    const std::array<char16_t, 128>* table = HighTable(codePage);
    for (const char c : bytes) {
        const auto b = static_cast<unsigned char>(c);
        AppendCodePoint(out, b < 0x80 || table == nullptr ? char32_t{b} : char32_t{(*table)[b - 0x80]});
    }
}

std::string ToUtf8(std::string_view bytes, TCodePage codePage) {
    std::string out;
    out.reserve(bytes.size());
    AppendUtf8(out, bytes, codePage);
    return out;
}

} // namespace corvane

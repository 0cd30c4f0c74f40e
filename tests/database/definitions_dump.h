#pragma once
// A readable one-line dump of each field of a list, so definition tests compare whole field lists as text.

#include "database/FieldRec.h"

#include "database/Errors.h"

#include <cstdint>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

namespace corvane::testing {

// Bytes outside printable ASCII as \xNN; "|" separates entries of a list.
inline std::string Escaped(const std::string& s) {
    std::string out;
    for (const char c : s) {
        const auto u = static_cast<unsigned char>(c);
        if (u < 32 || u > 126 || c == '\\') {
            char hex[8];
            std::snprintf(hex, sizeof hex, "\\x%02X", u);
            out += hex;
        } else {
            out += c;
        }
    }
    return out;
}

inline std::string Joined(const std::vector<std::string>& list) {
    std::string out;
    for (std::size_t i = 0; i < list.size(); ++i) {
        out += (i ? "|" : "") + Escaped(list[i]);
    }
    return out;
}

// "Name t=8 len=1 sub=0 int=0 size=1 off=23 flags=3 choices=[|Red|Green] texts=[][][]"
inline std::string DumpField(const TFieldRec& f) {
    std::string flags;
    for (const auto& [set, name] :
         {std::pair{f.Flag0, "0"}, {f.Flag1, "1"}, {f.Flag3, "3"}, {f.Flag7, "7"}}) {
        if (set) {
            flags += flags.empty() ? name : std::string(",") + name;
        }
    }
    return Escaped(f.Name) + " t=" + std::to_string(f.FieldType) + " len=" + std::to_string(f.Length) +
           " sub=" + std::to_string(f.SubType) + " int=" + std::to_string(f.IntDigits) +
           " size=" + std::to_string(f.Size) + " off=" + std::to_string(f.Offset) + " flags=" + flags +
           " choices=[" + Joined(f.Choices) + "] texts=[" + Joined(f.Texts[0]) + "][" + Joined(f.Texts[1]) +
           "][" + Joined(f.Texts[2]) + "]";
}

inline std::vector<std::string> DumpFields(const TFieldRec* first) {
    std::vector<std::string> lines;
    for (const TFieldRec* f = first; f; f = f->Next.get()) {
        lines.push_back(DumpField(*f));
    }
    return lines;
}

// Damages whole at every position (that byte and the next set to 0xFF, then to 0x00) and parses each copy:
// adds to read the copies that parse and to stopped those that stop with ERangeError. Any other exception
// leaves this function and fails the calling test.
inline void ParseDamagedCopies(const std::vector<std::uint8_t>& whole,
                               const std::function<void(const std::vector<std::uint8_t>&)>& parse,
                               std::size_t& read, std::size_t& stopped) {
    for (std::size_t at = 0; at < whole.size(); ++at) {
        for (const std::uint8_t value : {std::uint8_t{0xFF}, std::uint8_t{0x00}}) {
            std::vector<std::uint8_t> damaged = whole;
            damaged[at] = value;
            if (at + 1 < damaged.size()) {
                damaged[at + 1] = value;
            }
            try {
                parse(damaged);
                ++read;
            } catch (const ERangeError&) {
                ++stopped;
            }
        }
    }
}

} // namespace corvane::testing

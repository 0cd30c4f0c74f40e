#pragma once
// Byte-string routines shared by the database reader, the export and the windows. They work on single-byte
// text exactly as stored (no code page, no locale); positions are 1-based and 0 means "not found".

#include "platform/PathSeparator.h"

#include <cstdint>
#include <string>
#include <string_view>

namespace corvane {

// Position of the last occurrence of c in s, searching from the end; 0 when absent or s is empty.
std::size_t LastCharPos(char c, std::string_view s);

// First character of s, or fallback when s is empty.
char FirstCharOr(std::string_view s, char fallback);

// s followed by one "\" unless it already ends with "\"; the empty string stays empty.
std::string WithTrailingBackslash(std::string_view s);

// The same rule with the platform's directory separator ("/" here, "\" on Windows). Paths that Corvane
// builds itself go through this one.
std::string WithTrailingSeparator(std::string_view s);

inline constexpr char kPathSeparator = platform::kPathSeparator;

// Up to four bytes as the low-order bytes of a 32-bit integer, least significant first. Throws
// std::out_of_range when count is above 4.
std::int32_t BytesToInt(const std::uint8_t* p, int count);

// Smallest position in s of any character of set; 0 when none occurs or either string is empty.
std::size_t FirstPosOfAny(std::string_view set, std::string_view s);

// s with every character of set replaced by r (r must not belong to set).
std::string ReplaceChars(std::string_view s, std::string_view set, char r);

// s with every occurrence of c deleted.
std::string RemoveChar(std::string_view s, char c);

// s with every character of set deleted.
std::string RemoveChars(std::string_view s, std::string_view set);

// s without its trailing run of blanks and NUL bytes.
std::string TrimTrailingBlanks(std::string_view s);

// s without leading blanks (a leading NUL stays), then without trailing blanks and NULs.
std::string TrimBlanks(std::string_view s);

// s with 'a'..'z' replaced by 'A'..'Z'; every other byte unchanged.
std::string UpperCaseAscii(std::string_view s);

// Byte-wise comparison of the UpperCaseAscii forms of a and b, as unsigned bytes; a prefix sorts first.
int CompareNameKeys(std::string_view a, std::string_view b);

// s with each control character (bytes 0x00 to 0x1F and 0x7F) written as "\xHH", so that a stored name
// shown on a terminal can neither be cut short nor move the cursor. Other bytes are unchanged.
std::string EscapeControls(std::string_view s);

// True when the UpperCaseAscii forms of a and b are equal.
bool SameNameKey(std::string_view a, std::string_view b);

} // namespace corvane

#pragma once
// Single-byte code pages of DOS and Windows, converted to UTF-8 by tables of our own. Bytes 0x00 to 0x7F are
// ASCII in every code page here; a byte that a code page leaves undefined becomes U+FFFD, so no character is
// ever dropped.

#include <optional>
#include <string>
#include <string_view>

namespace corvane {

enum class TCodePage {
    Raw,    // the bytes exactly as stored, no conversion
    Cp437,  // DOS United States
    Cp850,  // DOS Western Europe
    Cp852,  // DOS Central Europe
    Cp1250, // Windows Central Europe
    Cp1252, // Windows Western Europe
    Latin1, // ISO 8859-1: each byte is the code point of the same number
};

// The code page of a name: "raw", "cp437", "cp850", "cp852", "cp1250", "cp1252", "latin1" (ASCII case
// ignored; "iso-8859-1" is taken for latin1). nullopt for any other name.
std::optional<TCodePage> CodePageByName(std::string_view name);

// The name CodePageByName takes for a code page ("cp437" ...).
std::string_view CodePageName(TCodePage codePage);

// The names CodePageByName takes, separated by ", ", for messages.
std::string_view CodePageNames();

// The code page the text of a database of a version code is most likely stored in: cp437 for DataEase 4.x
// and 5.x (codes 3 and 5), cp1252 for DataEase for Windows (6 and 7); cp437 for any other code.
TCodePage DefaultCodePage(unsigned version);

// The Unicode code point of byte b in codePage; U+FFFD where the code page defines none. Raw answers b.
char32_t CodePointOf(unsigned char b, TCodePage codePage);

// Appends bytes converted to UTF-8 (Raw: appended unchanged).
void AppendUtf8(std::string& out, std::string_view bytes, TCodePage codePage);

// bytes converted to UTF-8 (Raw: unchanged).
std::string ToUtf8(std::string_view bytes, TCodePage codePage);

} // namespace corvane

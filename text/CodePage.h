#pragma once
// Single-byte code pages of DOS and Windows, converted to UTF-8 by tables of our own. Bytes 0x00 to 0x7F are
// ASCII in every code page here; a byte that a code page leaves undefined becomes U+FFFD, so no character is
// ever dropped. Where the platform has a converter of its own, any other single-byte code page it knows is
// added at run time: its table is built once, from the converter, and used as the built-in tables are.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace corvane {

enum class TCodePage {
    Raw,    // the bytes exactly as stored, no conversion
    Cp437,  // DOS United States
    Cp850,  // DOS Western Europe
    Cp852,  // DOS Central Europe
    Cp1250, // Windows Central Europe
    Cp1252, // Windows Western Europe
    Latin1, // ISO 8859-1: each byte is the code point of the same number
    // Code pages added at run time (CodePageByName) are numbered from here up.
    FirstAdded = 100,
};

// The code page of a name, ASCII case ignored: a built-in one ("raw", "cp437", "cp850", "cp852", "cp1250",
// "cp1252", "latin1"), or any single-byte code page, with bytes 0x00 to 0x7F ASCII, that the platform's
// converter knows ("cp866", "koi8-r" ...), added on first use. Aliases: a number alone, "ibmN" and
// "windows-N" are "cpN"; "iso8859-N" is "iso-8859-N"; "latin-1" and "iso-8859-1" are latin1. nullopt for
// any other name, with the reason in one line in whyNot when given (UTF-8, say, which DataEase never used for
// its text). Safe to call from several threads.
std::optional<TCodePage> CodePageByName(std::string_view name, std::string* whyNot = nullptr);

// The name CodePageByName takes for a code page ("cp437" ...; an added one under the name it was added by).
std::string_view CodePageName(TCodePage codePage);

// The names of the built-in code pages, separated by ", ", for messages.
std::string_view CodePageNames();

// The built-in code pages, then the usual single-byte code pages of DOS, Windows, ISO 8859 and KOI8 that the
// platform's converter provides (CodePageByName accepts any other it knows, too). Adds those it lists.
std::vector<std::string> AvailableCodePageNames();

// True for the code pages with built-in tables (Raw included).
bool IsBuiltInCodePage(TCodePage codePage);

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

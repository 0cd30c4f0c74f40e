#pragma once
// A small reader and writer of ordinary ini files: "[section]" lines, then "key=value" lines. Section and key
// names match without regard to ASCII case; values are single-byte text kept as written, blanks around the
// name and the value dropped. Lines the reader does not understand (comments, blank lines) are kept on
// writing.

#include <string>
#include <string_view>
#include <vector>

namespace corvane {

class TIniFile {
public:
    // Reads fileName when it exists; a missing or unreadable file gives an empty ini. Nothing is written
    // until UpdateFile.
    explicit TIniFile(std::string fileName);

    const std::string& FileName() const { return fileName_; }

    // The value of key in section, or defaultValue when the section or the key is absent. A key that is
    // present with an empty value gives the empty text.
    std::string ReadString(std::string_view section, std::string_view key,
                           const std::string& defaultValue) const;
    // Sets key in section, adding the section and the key when absent. Kept in memory until UpdateFile.
    void WriteString(std::string_view section, std::string_view key, const std::string& value);
    // Writes the file: to a temporary file beside it, then renamed over it, so that a failed write never
    // leaves half a settings file. Throws EInOutError when the file cannot be written.
    void UpdateFile();

private:
    struct Line {
        std::string Text;
        std::string Section; // the section this line belongs to ("" before the first section line)
        bool IsSectionLine = false;
        std::string Key; // non-empty for "key=value" lines
        std::string Value;
    };
    static Line Parse(const std::string& text, const std::string& currentSection);
    std::string fileName_;
    std::vector<Line> lines_;
};

} // namespace corvane

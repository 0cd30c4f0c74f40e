#include "environment/IniFile.h"

#include "database/Errors.h"
#include "text/TextUtils.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>

namespace corvane {

namespace {
std::string Trim(std::string_view s) {
    std::size_t begin = 0;
    std::size_t end = s.size();
    while (begin < end && (s[begin] == ' ' || s[begin] == '\t')) {
        ++begin;
    }
    while (end > begin && (s[end - 1] == ' ' || s[end - 1] == '\t' || s[end - 1] == '\r')) {
        --end;
    }
    return std::string(s.substr(begin, end - begin));
}
} // namespace

TIniFile::TIniFile(std::string fileName) : fileName_(std::move(fileName)) {
    std::ifstream in(fileName_, std::ios::binary);
    if (!in) {
        return;
    }
    std::string section;
    std::string text;
    while (std::getline(in, text)) {
        if (!text.empty() && text.back() == '\r') {
            text.pop_back();
        }
        Line line = Parse(text, section);
        section = line.Section;
        lines_.push_back(std::move(line));
    }
}

TIniFile::Line TIniFile::Parse(const std::string& text, const std::string& currentSection) {
    Line line;
    line.Text = text;
    line.Section = currentSection;
    const std::string trimmed = Trim(text);
    if (trimmed.size() >= 2 && trimmed.front() == '[' && trimmed.back() == ']') {
        line.IsSectionLine = true;
        line.Section = Trim(std::string_view(trimmed).substr(1, trimmed.size() - 2));
        return line;
    }
    if (trimmed.empty() || trimmed.front() == ';' || trimmed.front() == '#') {
        return line;
    }
    const std::size_t eq = trimmed.find('=');
    if (eq == std::string::npos || eq == 0) {
        return line;
    }
    line.Key = Trim(std::string_view(trimmed).substr(0, eq));
    line.Value = Trim(std::string_view(trimmed).substr(eq + 1));
    return line;
}

std::string TIniFile::ReadString(std::string_view section, std::string_view key,
                                 const std::string& defaultValue) const {
    for (const Line& line : lines_) {
        if (!line.IsSectionLine && !line.Key.empty() && SameNameKey(line.Section, section) &&
            SameNameKey(line.Key, key)) {
            return line.Value;
        }
    }
    return defaultValue;
}

void TIniFile::WriteString(std::string_view section, std::string_view key, const std::string& value) {
    const std::string text = std::string(key) + "=" + value;
    std::size_t insertAt = lines_.size();
    bool sectionSeen = false;
    for (std::size_t i = 0; i < lines_.size(); ++i) {
        Line& line = lines_[i];
        if (!SameNameKey(line.Section, section)) {
            continue;
        }
        if (!line.IsSectionLine && !line.Key.empty() && SameNameKey(line.Key, key)) {
            line.Text = std::string(line.Key) + "=" + value;
            line.Value = value;
            return;
        }
        if (line.IsSectionLine && sectionSeen) {
            continue;
        }
        sectionSeen = true;
        // After the last non-blank line of the first run of this section.
        if (line.IsSectionLine || !Trim(line.Text).empty()) {
            insertAt = i + 1;
        }
    }
    Line added = Parse(text, std::string(section));
    if (!sectionSeen) {
        Line header;
        // Appended piece by piece: GCC 12 warns falsely (-Wrestrict) about "[" + text + "]".
        header.Text.append(1, '[').append(section).append(1, ']');
        header.Section = std::string(section);
        header.IsSectionLine = true;
        lines_.push_back(std::move(header));
        lines_.push_back(std::move(added));
        return;
    }
    lines_.insert(lines_.begin() + static_cast<std::ptrdiff_t>(insertAt), std::move(added));
}

void TIniFile::UpdateFile() {
    std::ostringstream content;
    for (const Line& line : lines_) {
        content << line.Text << '\n';
    }
    const std::string temporary = fileName_ + ".tmp";
    {
        std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
        if (!out) {
            const int code = errno;
            throw EInOutError(code, std::strerror(code), temporary);
        }
        out << content.str();
        out.flush();
        if (!out) {
            const int code = errno;
            std::remove(temporary.c_str());
            throw EInOutError(code, std::strerror(code), temporary);
        }
    }
    if (std::rename(temporary.c_str(), fileName_.c_str()) != 0) {
        const int code = errno;
        std::remove(temporary.c_str());
        throw EInOutError(code, std::strerror(code), fileName_);
    }
}

} // namespace corvane

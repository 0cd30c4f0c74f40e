#pragma once
// A database for the typed writers (SQLite, JSON Lines): accented text in the version's usual code page
// (cp437 for 3 and 5, cp1252 for 6 and 7), empty numbers, dates and times, and a deleted record. Also a tiny
// JSON reader for checking what the writers produce.

#include "database/DEInfoRec.h"
#include "tools/testwriter/TestWriter.h"

#include <cctype>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace corvane::testing {

namespace tw = corvane::testwriter;

// "Café Müller", "Straße" and "Größe" in the version's code page.
struct AccentTexts {
    std::string Cafe, Strasse, Groesse;
};

inline AccentTexts AccentsFor(int version) {
    if (version == 6 || version == 7) {
        return {"Caf\xE9 M\xFCller",
                "Stra\xDF"
                "e",
                "Gr\xF6\xDF"
                "e"};
    }
    return {"Caf\x82 M\x81ller",
            "Stra\xE1"
            "e",
            "Gr\x94\xE1"
            "e"};
}

inline void WriteAccentDatabase(const std::filesystem::path& dir, int version) {
    const AccentTexts a = AccentsFor(version);
    tw::FieldDef colour = tw::ChoiceField("Colour", {"Red", "Green"});
    tw::DatabaseSpec desc{
        .Version = version,
        .Name = "Accents",
        .Forms = {{
            .Name = "Kunden",
            .Fields = {tw::TextField("Name", 20), tw::WholeNumber("Count", 2),
                       tw::FixedPoint("Price", 7, 4, 4), tw::FloatNumber("Ratio", 12, 4),
                       version >= 5 ? tw::DayCountDate("Since") : tw::SixCharDate("Since"),
                       tw::TimeField("At"), colour, tw::TextField(a.Strasse, 10)},
            .Records = {{.Values = {{"Name", a.Cafe},
                                    {"Count", 3},
                                    {"Price", 0.1f},
                                    {"Ratio", 0.1f},
                                    {"Since", tw::Date{1997, 3, 15}},
                                    {"At", "093015"},
                                    {"Colour", "Green"},
                                    {a.Strasse, a.Groesse}}},
                        {.Values = {{"Name", "Empty \"values\""},
                                    {"Count", tw::Empty{}},
                                    {"Price", tw::Empty{}},
                                    {"Ratio", tw::Empty{}},
                                    {"Since", tw::Empty{}},
                                    {"At", tw::RawValue{tw::ToBytes("      ")}}}},
                        {.Deleted = true,
                         .Values = {{"Name", "Gone"}, {"Count", 7}, {"Price", -0.125f}, {"Colour", 1}}}},
        }},
    };
    if (version == 3) {
        desc.Configuration = tw::ConfigurationSpec{.DateOrder = 2, .CenturyCutoff = 30};
    }
    tw::WriteDatabase(dir, desc);
}

inline void WriteAccentDatabase(const tw::TempDir& dir, int version) {
    WriteAccentDatabase(dir.Path(), version);
}

inline void LoadDatabase(TDEInfoRec& db, const tw::TempDir& dir) {
    db.SetDirectory(dir.Dir());
    db.SetDictionaryName("RDRRAAAA.DBM");
    db.Load();
}

// One JSON value as the typed writers produce them.
struct JsonValue {
    enum class Kind { Null, Bool, Number, String } Type = Kind::Null;
    bool Bool = false;
    double Number = 0;
    bool Integral = false; // the number was written without a point or exponent
    std::string Text;
};
using JsonObject = std::vector<std::pair<std::string, JsonValue>>;

// Parses one JSON object whose values are null, booleans, numbers or strings; throws std::runtime_error for
// anything that is not valid JSON of that shape (also trailing characters).
class JsonReader {
public:
    explicit JsonReader(std::string_view text) : s_(text) {}

    JsonObject Object() {
        JsonObject object;
        Expect('{');
        Skip();
        if (Peek() == '}') {
            ++i_;
        } else {
            for (;;) {
                Skip();
                std::string key = String();
                Skip();
                Expect(':');
                Skip();
                object.emplace_back(std::move(key), Value());
                Skip();
                if (Peek() == ',') {
                    ++i_;
                    continue;
                }
                Expect('}');
                break;
            }
        }
        Skip();
        if (i_ != s_.size()) {
            throw std::runtime_error("trailing characters");
        }
        return object;
    }

private:
    char Peek() const { return i_ < s_.size() ? s_[i_] : '\0'; }
    void Skip() {
        while (i_ < s_.size() && (s_[i_] == ' ' || s_[i_] == '\t')) {
            ++i_;
        }
    }
    void Expect(char c) {
        if (Peek() != c) {
            throw std::runtime_error(std::string("expected ") + c + " at " + std::to_string(i_));
        }
        ++i_;
    }
    bool Word(std::string_view w) {
        if (s_.substr(i_, w.size()) == w) {
            i_ += w.size();
            return true;
        }
        return false;
    }
    JsonValue Value() {
        JsonValue v;
        if (Word("null")) {
            return v;
        }
        if (Word("true") || Word("false")) {
            v.Type = JsonValue::Kind::Bool;
            v.Bool = s_[i_ - 1] == 'e' && s_[i_ - 2] == 'u';
            return v;
        }
        if (Peek() == '"') {
            v.Type = JsonValue::Kind::String;
            v.Text = String();
            return v;
        }
        const std::size_t start = i_;
        if (Peek() == '-') {
            ++i_;
        }
        if (!std::isdigit(static_cast<unsigned char>(Peek()))) {
            throw std::runtime_error("bad value at " + std::to_string(i_));
        }
        if (Peek() == '0' && i_ + 1 < s_.size() && std::isdigit(static_cast<unsigned char>(s_[i_ + 1]))) {
            throw std::runtime_error("leading zero");
        }
        v.Integral = true;
        while (i_ < s_.size() && std::string_view("0123456789.eE+-").find(s_[i_]) != std::string_view::npos) {
            v.Integral = v.Integral && std::isdigit(static_cast<unsigned char>(s_[i_]));
            ++i_;
        }
        const std::string number(s_.substr(start, i_ - start));
        char* end = nullptr;
        v.Number = std::strtod(number.c_str(), &end);
        if (end != number.c_str() + number.size()) {
            throw std::runtime_error("bad number " + number);
        }
        v.Type = JsonValue::Kind::Number;
        return v;
    }
    std::string String() {
        Expect('"');
        std::string out;
        for (;;) {
            if (i_ >= s_.size()) {
                throw std::runtime_error("unterminated string");
            }
            const char c = s_[i_++];
            if (c == '"') {
                return out;
            }
            if (static_cast<unsigned char>(c) < 0x20) {
                throw std::runtime_error("control character in string");
            }
            if (c != '\\') {
                out += c;
                continue;
            }
            const char e = s_[i_++];
            const std::map<char, char> simple = {{'"', '"'},  {'\\', '\\'}, {'/', '/'},  {'n', '\n'},
                                                 {'r', '\r'}, {'t', '\t'},  {'b', '\b'}, {'f', '\f'}};
            if (simple.count(e) != 0) {
                out += simple.at(e);
            } else if (e == 'u') {
                const unsigned cp =
                    static_cast<unsigned>(std::stoul(std::string(s_.substr(i_, 4)), nullptr, 16));
                i_ += 4;
                if (cp >= 0x80) {
                    throw std::runtime_error("escape beyond ASCII not expected");
                }
                out += static_cast<char>(cp);
            } else {
                throw std::runtime_error("bad escape");
            }
        }
    }

    std::string_view s_;
    std::size_t i_ = 0;
};

} // namespace corvane::testing

#include "cli/FormatOptions.h"

#include "export/DataFile.h"

#include <string_view>

namespace corvane {

namespace {

std::string Lowered(const std::string& word) {
    std::string lowered = word;
    for (char& c : lowered) {
        if (c >= 'A' && c <= 'Z') {
            c = static_cast<char>(c - 'A' + 'a');
        }
    }
    return lowered;
}

} // namespace

TParsed<TOutputFormat> ParseFormat(const std::string& word) {
    const std::optional<TOutputFormat> format = FormatByName(Lowered(word));
    if (!format) {
        return "--format takes csv, jsonl, sqlite, xlsx or postgresql, not " + word;
    }
    return *format;
}

TParsed<TCodePage> ParseEncoding(const std::string& word) {
    std::string whyNot;
    if (const std::optional<TCodePage> codePage = CodePageByName(word, &whyNot)) {
        return *codePage;
    }
    return "--encoding: " + whyNot + "; corvane-cli encodings lists the code pages";
}

TParsed<char> ParseDelimiter(const std::string& word) {
    struct TWord {
        std::string_view Name;
        char Delimiter;
    };
    static constexpr TWord kWords[] = {
        {"tab", '\t'}, {"\\t", '\t'}, {"comma", ','}, {"semicolon", ';'}, {"pipe", '|'},
    };
    const std::string lowered = Lowered(word);
    for (const TWord& w : kWords) {
        if (lowered == w.Name) {
            return w.Delimiter;
        }
    }
    if (word.size() != 1) {
        return "--delimiter takes one character: " + word;
    }
    return word[0];
}

TParsed<TDateOrder> ParseDateOrder(const std::string& word) {
    const std::string w = Lowered(word);
    if (w == "british") {
        return TDateOrder::British;
    }
    if (w == "american") {
        return TDateOrder::American;
    }
    if (w == "metric") {
        return TDateOrder::Metric;
    }
    if (w == "iso") {
        return TDateOrder::Iso;
    }
    return "--dates takes british, american, metric or iso, not " + word;
}

TParsed<char> ParseRecords(const std::string& word) {
    const std::string w = Lowered(word);
    if (w == "live") {
        return kSelectLive;
    }
    if (w == "deleted") {
        return kSelectDeleted;
    }
    if (w == "all") {
        return kSelectAll;
    }
    return std::string("--records takes live, deleted or all");
}

TParsed<int> ParseNumericNull(const std::string& word) {
    const std::string w = Lowered(word);
    if (w == "zero" || w == "blank") {
        return w == "zero" ? 0 : 1;
    }
    return std::string("--numeric-null takes zero or blank");
}

TParsed<unsigned> ParseJobs(const std::string& word) {
    unsigned jobs = 0;
    for (const char c : word) {
        if (c < '0' || c > '9' || jobs > 256) {
            jobs = 0;
            break;
        }
        jobs = jobs * 10 + static_cast<unsigned>(c - '0');
    }
    if (jobs < 1 || jobs > 256) {
        return "--jobs takes a number from 1 to 256, not " + word;
    }
    return jobs;
}

} // namespace corvane

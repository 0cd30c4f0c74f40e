// The command line as a user meets it: help and version, option spellings, standard output, directories
// that do not exist yet, delimiter words and code pages.

#include "cli/FaultSupport.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <regex>
#include <string>

namespace corvane {
namespace {

namespace tw = testwriter;
using namespace corvane::testing;

// A 4.x database: a form with a cp437 e-acute (0x82) and a Cyrillic/Greek byte (0x80), and a second form.
struct Shop {
    tw::TempDir dir, out;
    Shop() {
        tw::WriteDatabase(
            dir.Path(),
            {.Version = 3,
             .Name = "Shop",
             .Forms = {
                 {.Name = "Customers",
                  .Fields = {tw::TextField("Name", 8), tw::WholeNumber("Count", 2), tw::SixCharDate("Due")},
                  .Records = {{.Values = {{"Name", "Ren\x82"}, {"Count", 3}, {"Due", tw::Date{1997, 3, 15}}}},
                              {.Values = {{"Name", "\x80\xE1"}, {"Count", tw::Empty{}}}}}},
                 {.Name = "Orders",
                  .Fields = {tw::TextField("Item", 6)},
                  .Records = {{.Values = {{"Item", "Pen"}}}}}}});
    }
    std::string Db() const { return (dir / "RDRRAAAA.DBM").string(); }
    std::string Out() const { return out.Path().string(); }
};

const std::vector<std::string> kCommands = {"databases", "forms", "fields", "export", "encodings", "help"};

TEST(CommandLine, HelpOfTheToolAndOfEveryCommandGoesToStandardOutput) {
    for (const std::vector<std::string>& args :
         std::vector<std::vector<std::string>>{{"--help"}, {"-h"}, {"help"}}) {
        const ToolResult r = RunTool(args);
        EXPECT_EQ(r.status, 0) << args[0];
        EXPECT_EQ(r.err, "");
        EXPECT_EQ(r.out.rfind("usage: corvane-cli COMMAND", 0), 0U) << r.out;
        for (const std::string& command : kCommands) {
            EXPECT_NE(r.out.find("\n  " + command + " "), std::string::npos) << command;
        }
        EXPECT_NE(r.out.find("--format"), std::string::npos);
        EXPECT_NE(r.out.find("--encoding"), std::string::npos);
        EXPECT_NE(r.out.find("--version"), std::string::npos);
    }
    for (const std::string& command : kCommands) {
        SCOPED_TRACE(command);
        const ToolResult asked = RunTool({"help", command});
        EXPECT_EQ(asked.status, 0);
        EXPECT_EQ(asked.out.rfind("usage: corvane-cli " + command, 0), 0U) << asked.out;
        for (const char* flag : {"--help", "-h"}) {
            // Asked for help, the command needs none of its arguments.
            const ToolResult r = RunTool({command, flag});
            EXPECT_EQ(r.status, 0);
            EXPECT_EQ(r.err, "");
            EXPECT_EQ(r.out, asked.out);
        }
    }
    const ToolResult exportHelp = RunTool({"export", "--help"});
    for (const char* option : {"--out", "-o", "--form", "-f", "--format", "--encoding", "--delimiter",
                               "--recursive", "--jobs", "--quiet", "--progress"}) {
        EXPECT_NE(exportHelp.out.find(option), std::string::npos) << option;
    }
    const ToolResult unknown = RunTool({"help", "frobnicate"});
    EXPECT_EQ(unknown.status, 2);
    EXPECT_EQ(Lines(unknown.err).front(), "corvane-cli: unknown command frobnicate");
}

TEST(CommandLine, VersionPrintsTheToolAndItsVersion) {
    for (const char* flag : {"--version", "-V"}) {
        const ToolResult r = RunTool({flag});
        EXPECT_EQ(r.status, 0);
        EXPECT_EQ(r.err, "");
        EXPECT_TRUE(std::regex_match(r.out, std::regex("corvane-cli [0-9]+\\.[0-9]+\\.[0-9]+[^\n]*\n")))
            << r.out;
    }
}

TEST(CommandLine, ValuesAfterEqualsShortOptionsAndAnyOrderAgree) {
    Shop f;
    const std::string longForm = (f.out / "long").string();
    ASSERT_EQ(RunTool({"export", f.Db(), "--out", longForm, "--form", "Customers", "--delimiter", ";",
                       "--dates", "american", "--numeric-null", "blank", "--records", "all"})
                  .status,
              0);
    const std::string expected = tw::ReadFileText(f.out / "long" / "Customers.csv");
    EXPECT_EQ(expected, "Name;Count;Due\r\n\"Ren\x82\";3;03/15/1997\r\n\"\x80\xE1\";;\r\n");
    const std::vector<std::vector<std::string>> spellings = {
        {"export", f.Db(), "--out=OUT", "--form=Customers", "--delimiter=;", "--dates=american",
         "--numeric-null=blank", "--records=all"},
        {"export", "-o", "OUT", "-f", "Customers", "-d", ";", "--dates", "american", "--numeric-null",
         "blank", "--records", "all", f.Db()},
        {"export", "--records=all", "-dsemicolon", "-fCustomers", f.Db(), "--numeric-null", "blank", "-oOUT",
         "--dates", "american"},
    };
    for (std::size_t i = 0; i < spellings.size(); ++i) {
        SCOPED_TRACE(i);
        const std::string out = (f.out / ("spelling" + std::to_string(i))).string();
        std::vector<std::string> args;
        for (const std::string& a : spellings[i]) {
            std::string arg = a;
            const std::size_t at = arg.find("OUT");
            if (at != std::string::npos) {
                arg.replace(at, 3, out);
            }
            args.push_back(arg);
        }
        const ToolResult r = RunTool(args);
        ASSERT_EQ(r.status, 0) << r.err;
        EXPECT_EQ(tw::ReadFileText(std::filesystem::path(out) / "Customers.csv"), expected);
    }
}

TEST(CommandLine, UsageErrorsAreOneLineAndAHintToHelp) {
    Shop f;
    const ToolResult r = RunTool({"export", f.Db(), "-o", f.Out(), "--dates", "julian"});
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.out, "");
    const std::vector<std::string> lines = Lines(r.err);
    ASSERT_EQ(lines.size(), 3U) << r.err;
    EXPECT_EQ(lines[0], "corvane-cli: --dates takes british, american, metric or iso, not julian");
    EXPECT_EQ(lines[1].rfind("usage: corvane-cli export DATABASE", 0), 0U);
    EXPECT_EQ(lines[2], "(corvane-cli export --help tells more)");
    const ToolResult missing = RunTool({"export", f.Db(), "-o"});
    EXPECT_EQ(missing.status, 2);
    EXPECT_EQ(Lines(missing.err).front(), "corvane-cli: --out needs a directory or file");
}

TEST(CommandLine, StandardOutputHoldsExactlyTheFileOfOneForm) {
    Shop f;
    for (const char* format : {"csv", "jsonl"}) {
        SCOPED_TRACE(format);
        const std::string dir = (f.out / format).string();
        ASSERT_EQ(RunTool({"export", f.Db(), "-o", dir, "-f", "Customers", "--format", format}).status, 0);
        const std::string file =
            tw::ReadFileText(std::filesystem::path(dir) / (std::string("Customers.") + format));
        ASSERT_FALSE(file.empty());
        const ToolResult r = RunTool({"export", f.Db(), "-o", "-", "-f", "Customers", "--format", format});
        EXPECT_EQ(r.status, 0) << r.err;
        EXPECT_EQ(r.out, file);
        EXPECT_EQ(r.err, "corvane-cli: 1 of 1 forms exported to standard output (2 records" +
                             std::string(format == std::string("jsonl") ? ", text from cp437" : "") + ")\n");
    }
    // The encoding converts standard output as it converts the file.
    const ToolResult utf8 = RunTool({"export", f.Db(), "-o", "-", "-f", "Orders", "-e", "cp437"});
    EXPECT_EQ(Lines(utf8.out).at(1), "\"Pen\"\r");
    const ToolResult accented = RunTool({"export", f.Db(), "-o", "-", "-f", "Customers", "-e", "cp437"});
    EXPECT_EQ(Lines(accented.out).at(1), "\"Ren\xC3\xA9\",3,15/03/1997\r");
}

TEST(CommandLine, TheScriptOfEveryFormCanGoToStandardOutput) {
    Shop f;
    const std::string file = (f.out / "shop.sql").string();
    ASSERT_EQ(RunTool({"export", f.Db(), "-F", "postgresql", "-o", file}).status, 0);
    const ToolResult r = RunTool({"export", f.Db(), "-F", "postgresql", "-o", "-"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, tw::ReadFileText(file));
    EXPECT_NE(r.out.find("COPY"), std::string::npos);
}

TEST(CommandLine, StandardOutputRefusesWhatItCannotHold) {
    Shop f;
    struct Case {
        std::vector<std::string> args;
        std::string firstLine;
    };
    const Case cases[] = {
        {{"export", f.Db(), "-o", "-"},
         "corvane-cli: --out -: standard output takes exactly one form, and 2 are to be exported; name it "
         "with --form"},
        {{"export", f.Db(), "-o", "-", "-f", "Customers", "-f", "Orders"},
         "corvane-cli: --out -: standard output takes exactly one form, and 2 are to be exported; name it "
         "with --form"},
        {{"export", f.Db(), "-o", "-", "-f", "Customers", "--format", "sqlite"},
         "corvane-cli: --out -: sqlite builds a file of its own and cannot go to standard output; name the "
         "file with --out"},
        {{"export", f.Db(), "-o", "-", "--format", "xlsx"},
         "corvane-cli: --out -: xlsx builds a file of its own and cannot go to standard output; name the "
         "file with --out"},
        {{"export", f.dir.Path().string(), "-r", "-o", "-"},
         "corvane-cli: --out -: standard output takes one form of one database, not --recursive"},
    };
    for (const Case& c : cases) {
        const ToolResult r = RunTool(c.args);
        EXPECT_EQ(r.status, 2);
        EXPECT_EQ(r.out, "");
        EXPECT_EQ(Lines(r.err).front(), c.firstLine);
    }
}

TEST(CommandLine, AMissingOutputDirectoryIsCreatedWithItsParents) {
    Shop f;
    const std::filesystem::path nested = f.out / "a" / "b" / "c";
    const ToolResult r = RunTool({"export", f.Db(), "-o", nested.string()});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(std::filesystem::is_regular_file(nested / "Customers.csv"));
    EXPECT_EQ(r.err, "corvane-cli: 2 of 2 forms exported to " + nested.string() + "/ (3 records, created " +
                         nested.string() + "/)\n");
    // A second run finds it there and says nothing of it.
    const ToolResult again = RunTool({"export", f.Db(), "-o", nested.string()});
    EXPECT_EQ(again.err.find("created"), std::string::npos) << again.err;
    // One file: its parent is created.
    const std::filesystem::path file = f.out / "x" / "y" / "shop.sqlite";
    const ToolResult sqlite = RunTool({"export", f.Db(), "--format", "sqlite", "-o", file.string()});
    ASSERT_EQ(sqlite.status, 0) << sqlite.err;
    EXPECT_TRUE(std::filesystem::is_regular_file(file));
    EXPECT_NE(sqlite.err.find(", created " + (f.out / "x" / "y").string() + "/)"), std::string::npos)
        << sqlite.err;
    // A directory that cannot be made is one line and status 1.
    tw::WriteFile(f.out / "plain", "a file, not a directory");
    const ToolResult blocked = RunTool({"export", f.Db(), "-o", (f.out / "plain" / "sub").string()});
    EXPECT_EQ(blocked.status, 1);
    EXPECT_EQ(Lines(blocked.err).size(), 1U) << blocked.err;
    EXPECT_EQ(blocked.err.rfind("corvane-cli: " + (f.out / "plain" / "sub").string() + ": ", 0), 0U);
}

TEST(CommandLine, DelimiterWords) {
    Shop f;
    struct Case {
        std::string word;
        char delimiter;
    };
    const Case cases[] = {{"tab", '\t'},  {"TAB", '\t'},      {"\\t", '\t'}, {"\t", '\t'},
                          {"comma", ','}, {"semicolon", ';'}, {"pipe", '|'}, {":", ':'}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.word);
        const ToolResult r = RunTool({"export", f.Db(), "-o", "-", "-f", "Orders", "--delimiter", c.word});
        EXPECT_EQ(r.status, 0) << r.err;
        const std::string header = "Item\r\n";
        EXPECT_EQ(r.out, header + "\"Pen\"\r\n");
    }
    // Seen in a form of two columns.
    const ToolResult tab = RunTool({"export", f.Db(), "-o", "-", "-f", "Customers", "-d", "tab"});
    EXPECT_EQ(Lines(tab.out).front(), "Name\tCount\tDue\r");
    for (const std::string& refused : std::vector<std::string>{"\"", "tabs", "\\n", "\r"}) {
        SCOPED_TRACE(refused);
        const ToolResult r = RunTool({"export", f.Db(), "-o", f.Out(), "--delimiter", refused});
        EXPECT_EQ(r.status, 2);
        EXPECT_EQ(r.err.rfind("corvane-cli: ", 0), 0U);
    }
}

TEST(CommandLine, CodePagesOfTheSystemConverterAndTheirAliases) {
    Shop f;
    struct Case {
        std::string name;
        std::string customersName; // "\x80\xE1" of the second record, as UTF-8
    };
    const Case cases[] = {
        {"cp866", "\xD0\x90\xD1\x81"},                                                // А с
        {"CP737", "\xCE\x91\xCE\xAC"},                                                // Α ά
        {"cp1253", "\xE2\x82\xAC\xCE\xB1"},                                           // € α
        {"cp1251", "\xD0\x82\xD0\xB1"},                                               // Ђ б
        {"437", "\xC3\x87\xC3\x9F"},                                                  // Ç ß
        {"ibm437", "\xC3\x87\xC3\x9F"},     {"windows-1252", "\xE2\x82\xAC\xC3\xA1"}, // € á
        {"LATIN1", "\xC2\x80\xC3\xA1"},     {"iso-8859-1", "\xC2\x80\xC3\xA1"},
        {"iso-8859-7", "\xC2\x80\xCE\xB1"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const ToolResult r =
            RunTool({"export", f.Db(), "-o", "-", "-f", "Customers", "-F", "jsonl", "-e", c.name});
        ASSERT_EQ(r.status, 0) << r.err;
        EXPECT_NE(r.out.find("\"Name\":\"" + c.customersName + "\""), std::string::npos) << r.out;
    }
    struct Refused {
        std::string name;
        std::string firstLine;
    };
    const Refused refused[] = {
        {"utf8", "corvane-cli: --encoding: DataEase kept its text in a single-byte code page, never in utf8; "
                 "name that code page (cp437, cp1252 ...); corvane-cli encodings lists the code pages"},
        {"UTF-8",
         "corvane-cli: --encoding: DataEase kept its text in a single-byte code page, never in UTF-8; "
         "name that code page (cp437, cp1252 ...); corvane-cli encodings lists the code pages"},
        {"klingon",
         "corvane-cli: --encoding: unknown code page klingon; corvane-cli encodings lists the code "
         "pages"},
        {"shift_jis", "corvane-cli: --encoding: shift_jis is not a single-byte code page; corvane-cli "
                      "encodings lists the code pages"},
    };
    for (const Refused& c : refused) {
        SCOPED_TRACE(c.name);
        const ToolResult r = RunTool({"export", f.Db(), "-o", f.Out(), "--encoding", c.name});
        EXPECT_EQ(r.status, 2);
        EXPECT_EQ(Lines(r.err).front(), c.firstLine);
        EXPECT_TRUE(std::filesystem::is_empty(f.out.Path()));
    }
}

TEST(CommandLine, EncodingsListsTheBuiltInCodePagesAndThoseOfTheSystem) {
    const ToolResult r = RunTool({"encodings"});
    EXPECT_EQ(r.status, 0);
    const std::vector<std::string> lines = Lines(r.out);
    ASSERT_GE(lines.size(), 7U);
    EXPECT_EQ(
        std::vector<std::string>(lines.begin(), lines.begin() + 7),
        (std::vector<std::string>{"raw\tbuilt-in", "cp437\tbuilt-in", "cp850\tbuilt-in", "cp852\tbuilt-in",
                                  "cp1250\tbuilt-in", "cp1252\tbuilt-in", "latin1\tbuilt-in"}));
    for (const char* line :
         {"cp866\ticonv", "cp737\ticonv", "cp1251\ticonv", "cp1253\ticonv", "koi8-r\ticonv"}) {
        EXPECT_NE(std::find(lines.begin(), lines.end(), line), lines.end()) << line;
    }
    EXPECT_EQ(RunTool({"encodings", "extra"}).status, 2);
}

TEST(CommandLine, ProgressWhenAskedAndQuietWhenAsked) {
    Shop f;
    const ToolResult progress = RunTool({"export", f.Db(), "-o", f.Out(), "--progress"});
    EXPECT_EQ(progress.status, 0);
    EXPECT_NE(progress.err.find("[1/2 forms] Customers: 2 / 2 records"), std::string::npos) << progress.err;
    EXPECT_NE(progress.err.find("[2/2 forms] Orders: 1 / 1 records"), std::string::npos) << progress.err;
    const ToolResult sqlite =
        RunTool({"export", f.Db(), "-F", "sqlite", "-o", (f.out / "s.sqlite").string(), "--progress"});
    EXPECT_NE(sqlite.err.find("[2/2 forms] Orders: 1 / 1 records"), std::string::npos) << sqlite.err;
    // Not on a terminal and not asked: no progress, only the summary.
    const ToolResult plain = RunTool({"export", f.Db(), "-o", f.Out()});
    EXPECT_EQ(plain.err.find("forms]"), std::string::npos);
    const ToolResult quiet = RunTool({"export", f.Db(), "-o", f.Out(), "--progress", "-q"});
    EXPECT_EQ(quiet.status, 0);
    EXPECT_EQ(quiet.err, "");
    // Errors still show.
    const ToolResult failing = RunTool({"export", f.Db(), "-o", f.Out(), "-f", "Nothing", "--quiet"});
    EXPECT_EQ(failing.status, 1);
    EXPECT_EQ(failing.err, "corvane-cli: Table Nothing doesn't exist.\n");
}

} // namespace
} // namespace corvane

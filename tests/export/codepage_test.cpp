#include "text/CodePage.h"

#include <gtest/gtest.h>

#include <iconv.h>

#include <optional>
#include <string>

namespace corvane {
namespace {

struct NamedCodePage {
    const char* Name;
    TCodePage CodePage;
    const char* IconvName;
};

constexpr NamedCodePage kCodePages[] = {
    {"cp437", TCodePage::Cp437, "CP437"},    {"cp850", TCodePage::Cp850, "CP850"},
    {"cp852", TCodePage::Cp852, "CP852"},    {"cp1250", TCodePage::Cp1250, "CP1250"},
    {"cp1252", TCodePage::Cp1252, "CP1252"}, {"latin1", TCodePage::Latin1, "ISO-8859-1"},
};

TEST(CodePage, NamesRoundTripAndIgnoreCase) {
    for (const NamedCodePage& cp : kCodePages) {
        ASSERT_EQ(CodePageByName(cp.Name), cp.CodePage) << cp.Name;
        EXPECT_EQ(CodePageName(cp.CodePage), cp.Name);
    }
    EXPECT_EQ(CodePageByName("RAW"), TCodePage::Raw);
    EXPECT_EQ(CodePageByName("CP1252"), TCodePage::Cp1252);
    EXPECT_EQ(CodePageByName("ISO-8859-1"), TCodePage::Latin1);
    EXPECT_EQ(CodePageByName("utf8"), std::nullopt);
    EXPECT_EQ(CodePageByName(""), std::nullopt);
    EXPECT_EQ(CodePageByName("cp4370"), std::nullopt);
}

TEST(CodePage, DefaultsByVersion) {
    EXPECT_EQ(DefaultCodePage(3), TCodePage::Cp437);
    EXPECT_EQ(DefaultCodePage(5), TCodePage::Cp437);
    EXPECT_EQ(DefaultCodePage(6), TCodePage::Cp1252);
    EXPECT_EQ(DefaultCodePage(7), TCodePage::Cp1252);
    EXPECT_EQ(DefaultCodePage(0), TCodePage::Cp437);
}

TEST(CodePage, KnownCharacters) {
    struct Case {
        TCodePage CodePage;
        std::string Bytes;
        std::string Utf8;
    };
    const Case cases[] = {
        {TCodePage::Cp437, "Caf\x82", "Caf\xC3\xA9"},                               // é
        {TCodePage::Cp437, "\x81\x9A\xE1", "\xC3\xBC\xC3\x9C\xC3\x9F"},             // ü Ü ß
        {TCodePage::Cp437, "\xC9\xCD\xBB", "\xE2\x95\x94\xE2\x95\x90\xE2\x95\x97"}, // box drawing
        {TCodePage::Cp850, "\x9B\xD5", "\xC3\xB8\xC4\xB1"},                         // ø ı
        {TCodePage::Cp852, "\x88\xA5", "\xC5\x82\xC4\x85"},                         // ł ą
        {TCodePage::Cp1250, "\x9A\xE8", "\xC5\xA1\xC4\x8D"},                        // š č
        {TCodePage::Cp1252, "\x80 Caf\xE9", "\xE2\x82\xAC Caf\xC3\xA9"},            // € é
        {TCodePage::Latin1, "\xE9\x80", "\xC3\xA9\xC2\x80"},
        {TCodePage::Raw, "Caf\x82\xFF", "Caf\x82\xFF"},
        {TCodePage::Cp437, "plain ASCII\r\n\t\x01", "plain ASCII\r\n\t\x01"},
        {TCodePage::Cp1252, std::string("a\0b", 3), std::string("a\0b", 3)},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(ToUtf8(c.Bytes, c.CodePage), c.Utf8) << CodePageName(c.CodePage) << ": " << c.Bytes;
    }
}

TEST(CodePage, UndefinedBytesBecomeReplacementCharacterNeverDropped) {
    const std::string replacement = "\xEF\xBF\xBD";
    for (const char* bytes : {"\x81", "\x8D", "\x8F", "\x90", "\x9D"}) {
        EXPECT_EQ(ToUtf8(std::string("a") + bytes + "b", TCodePage::Cp1252), "a" + replacement + "b");
    }
    for (const char* bytes : {"\x81", "\x83", "\x88", "\x90", "\x98"}) {
        EXPECT_EQ(ToUtf8(bytes, TCodePage::Cp1250), replacement);
    }
    EXPECT_EQ(CodePointOf(0x81, TCodePage::Cp1252), U'\xFFFD');
}

// Every byte of every table against the C library's converter.
TEST(CodePage, EveryByteAgreesWithTheSystemConverter) {
    for (const NamedCodePage& cp : kCodePages) {
        iconv_t cd = iconv_open("UTF-8", cp.IconvName);
        if (cd == reinterpret_cast<iconv_t>(-1)) {
            GTEST_SKIP() << "the system converter lacks " << cp.IconvName;
        }
        for (int b = 0; b < 256; ++b) {
            char in = static_cast<char>(b);
            char out[8] = {};
            char* inPtr = &in;
            char* outPtr = out;
            std::size_t inLeft = 1;
            std::size_t outLeft = sizeof out;
            iconv(cd, nullptr, nullptr, nullptr, nullptr);
            const std::size_t rc = iconv(cd, &inPtr, &inLeft, &outPtr, &outLeft);
            const std::string expected =
                rc == static_cast<std::size_t>(-1) ? std::string("\xEF\xBF\xBD") : std::string(out, outPtr);
            EXPECT_EQ(ToUtf8(std::string(1, in), cp.CodePage), expected) << cp.Name << " byte " << b;
        }
        iconv_close(cd);
    }
}

// Code pages of the system converter: every byte as the converter itself gives it, and their names.
TEST(CodePage, AddedCodePagesAgreeWithTheSystemConverter) {
    for (const char* name : {"cp866", "cp1253"}) {
        SCOPED_TRACE(name);
        const std::optional<TCodePage> codePage = CodePageByName(name);
        ASSERT_TRUE(codePage.has_value());
        EXPECT_FALSE(IsBuiltInCodePage(*codePage));
        EXPECT_EQ(CodePageName(*codePage), name);
        EXPECT_EQ(CodePageByName(std::string(name).substr(2)), codePage) << "a number alone";
        iconv_t cd = iconv_open("UTF-8", name);
        ASSERT_NE(cd, reinterpret_cast<iconv_t>(-1));
        std::string all, expected;
        for (int b = 0; b < 256; ++b) {
            char in = static_cast<char>(b);
            char out[8] = {};
            char* inPtr = &in;
            char* outPtr = out;
            std::size_t inLeft = 1;
            std::size_t outLeft = sizeof out;
            iconv(cd, nullptr, nullptr, nullptr, nullptr);
            const std::size_t rc = iconv(cd, &inPtr, &inLeft, &outPtr, &outLeft);
            expected +=
                rc == static_cast<std::size_t>(-1) ? std::string("\xEF\xBF\xBD") : std::string(out, outPtr);
            all += in;
        }
        iconv_close(cd);
        EXPECT_EQ(ToUtf8(all, *codePage), expected);
    }
    EXPECT_EQ(ToUtf8("\x80\xE1", *CodePageByName("CP866")), "\xD0\x90\xD1\x81");        // А с
    EXPECT_EQ(ToUtf8("\xC1\xE1", *CodePageByName("windows-1253")), "\xCE\x91\xCE\xB1"); // Α α
    EXPECT_EQ(CodePageByName("cp866"), CodePageByName("IBM866")) << "one table, once";
}

TEST(CodePage, AliasesAndRefusals) {
    struct Case {
        const char* Name;
        std::optional<TCodePage> CodePage;
    };
    const Case cases[] = {{"437", TCodePage::Cp437},           {"IBM850", TCodePage::Cp850},
                          {"windows-1250", TCodePage::Cp1250}, {"Windows-1252", TCodePage::Cp1252},
                          {"latin-1", TCodePage::Latin1},      {"ISO8859-1", TCodePage::Latin1}};
    for (const Case& c : cases) {
        EXPECT_EQ(CodePageByName(c.Name), c.CodePage) << c.Name;
    }
    struct Refused {
        const char* Name;
        const char* WhyNot;
    };
    const Refused refused[] = {
        {"utf-8", "DataEase kept its text in a single-byte code page, never in utf-8; name that code page "
                  "(cp437, cp1252 ...)"},
        {"UTF16", "DataEase kept its text in a single-byte code page, never in UTF16; name that code page "
                  "(cp437, cp1252 ...)"},
        {"klingon", "unknown code page klingon"},
        {"EUC-JP", "euc-jp is not a single-byte code page"},
        {"cp037", "cp037 is not ASCII in bytes 0x00 to 0x7F"},
        {"", "no code page named"},
    };
    for (const Refused& c : refused) {
        std::string whyNot;
        EXPECT_EQ(CodePageByName(c.Name, &whyNot), std::nullopt) << c.Name;
        EXPECT_EQ(whyNot, c.WhyNot);
    }
}

TEST(CodePage, AppendKeepsWhatIsThere) {
    std::string out = "x=";
    AppendUtf8(out, "\x82", TCodePage::Cp437);
    EXPECT_EQ(out, "x=\xC3\xA9");
}

} // namespace
} // namespace corvane

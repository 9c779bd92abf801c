#include "encoding.h"
#include "table_text.h"

#include <gtest/gtest.h>

#include <random>
#include <string>

namespace {

// The conversions need their converters opened first, as the program does.
const bool CONVERTERS_READY = encoding_ready();

TEST(Encoding, ConvertersOpen) {
    EXPECT_TRUE(CONVERTERS_READY);
    EXPECT_TRUE(encoding_ready()) << "a second call must find them open";
}

TEST(Encoding, OnlyWellFormedTextConverts) {
    std::string out = "untouched";
    EXPECT_FALSE(utf8_to_cp932("\x82\xA0", out)) << "Shift-JIS bytes are no UTF-8";
    EXPECT_TRUE(utf8_to_cp932("\xE3\x81\x82", out));
    EXPECT_EQ(out, "\x82\xA0");
    EXPECT_FALSE(cp932_to_utf8("\x82", out)) << "a lone lead byte";
    EXPECT_TRUE(cp932_to_utf8("", out));
    EXPECT_EQ(out, "");
}

TEST(Encoding, WellFormedUtf8Only) {
    struct {
        const char *name;
        std::string bytes;
        bool utf8;
    } cases[] = {
        {"ASCII", "A=b", true},
        {"two bytes", "\xC3\xA9", true},
        {"three bytes", "\xE3\x81\x82", true},
        {"four bytes", "\xF0\x9F\x98\x80", true},
        {"the last code point", "\xF4\x8F\xBF\xBF", true},
        {"a stray continuation byte", "\x80", false},
        {"an overlong two-byte lead", "\xC1\xBF", false},
        {"a lead byte past U+10FFFF", "\xF5\x80\x80\x80", false},
        {"cut short", "\xE3\x81", false},
        {"a bad continuation byte", "\xE3\x41\x82", false},
        {"an overlong three-byte form", "\xE0\x80\x80", false},
        {"an overlong four-byte form", "\xF0\x80\x80\x80", false},
        {"past U+10FFFF", "\xF4\x90\x80\x80", false},
        {"a surrogate", "\xED\xA0\x80", false},
    };
    for (const auto &c : cases) {
        EXPECT_EQ(is_utf8(c.bytes), c.utf8) << c.name;
    }
}

// The 512 bytes with one entry set.
std::string table_with(unsigned code, const std::string &bytes) {
    std::string table(512, '\0');
    table.replace(2 * code, bytes.size(), bytes);
    return table;
}

std::string entry(const std::string &table, unsigned code) {
    return table.substr(2 * code, 2);
}

TEST(TableBuild, EntryTextIsEverythingAfterTheFirstEqualsSign) {
    struct {
        const char *line;
        unsigned code;
        std::string bytes;
    } cases[] = {
        {"20= ", 0x20, std::string(" \0", 2)},
        {"3D==", 0x3D, std::string("=\0", 2)},
        {"05=", 0x05, std::string("\0\0", 2)},
        {"41=AB", 0x41, "AB"},
        {"41= A", 0x41, " A"},
        {"a0=\xE3\x81\x82", 0xA0, "\x82\xA0"},               // hiragana a, lower-case code
        {"42=\xEF\xBD\x9E", 0x42, "\x81\x60"},               // U+FF5E as code page 932 has it
        {"43=\xEF\xBD\xB1", 0x43, std::string("\xB1\0", 2)}, // half-width katakana: one byte
        {"44=\\x82", 0x44, std::string("\x82\0", 2)},        // byte escapes
        {"45=\\x00\\x41", 0x45, std::string("\0A", 2)},
        {"46=\\x", 0x46, "\\x"}, // too short to be an escape: plain text
    };
    for (const auto &c : cases) {
        table_build r = build_table(std::string(c.line) + "\n");
        ASSERT_TRUE(r.ok) << c.line;
        EXPECT_EQ(entry(r.table, c.code), c.bytes) << c.line;
        EXPECT_EQ(r.table, table_with(c.code, c.bytes))
            << c.line << ": other entries must stay empty";
    }
}

TEST(TableBuild, LineEndsCommentsAndBlankLines) {
    const std::string text = "# a comment\r\n"
                             "\r\n"
                             "   \n"
                             "41=A\r\n"   // the CR belongs to the line end
                             "42=B\r\r\n" // one CR belongs to the line end, one to the text
                             "43=C\n"
                             "44=D\r"; // no line end at all: the CR is text
    table_build r = build_table(text);
    ASSERT_TRUE(r.ok);
    EXPECT_TRUE(r.messages.empty());
    EXPECT_EQ(entry(r.table, 0x41), std::string("A\0", 2));
    EXPECT_EQ(entry(r.table, 0x42), "B\r");
    EXPECT_EQ(entry(r.table, 0x43), std::string("C\0", 2));
    EXPECT_EQ(entry(r.table, 0x44), "D\r");
}

TEST(TableBuild, DetectsTheEncoding) {
    struct {
        const char *name;
        std::string text;
        const char *encoding;
    } cases[] = {
        {"UTF-8", "41=\xE3\x81\x82\n", "UTF-8"},
        {"UTF-8 with a byte-order mark",
         "\xEF\xBB\xBF"
         "41=\xE3\x81\x82\n",
         "UTF-8"},
        {"Shift-JIS", "41=\x82\xA0\n", "Shift-JIS"},
        {"Shift-JIS, CR LF", "# \x95\x5C\r\n41=\x82\xA0\r\n", "Shift-JIS"},
    };
    for (const auto &c : cases) {
        table_build r = build_table(c.text);
        ASSERT_TRUE(r.ok) << c.name;
        EXPECT_STREQ(r.encoding, c.encoding) << c.name;
        EXPECT_EQ(entry(r.table, 0x41), "\x82\xA0") << c.name;
    }
}

TEST(TableBuild, ErrorsNameTheLineAndWriteNothing) {
    struct {
        std::string text;
        size_t line;
        const char *reason;
    } cases[] = {
        {"41=A\n42\n", 2, "no '='"},
        {"41=A\nZZ=B\n", 2, "two hex digits"},
        {"4=A\n", 1, "two hex digits"},
        {"4g=A\n", 1, "two hex digits"},
        {"414=A\n", 1, "two hex digits"},
        {"=A\n", 1, "two hex digits"},
        {" 41=A\n", 1, "two hex digits"},
        {"41=A\n\n41=B\n", 3, "given twice (first on line 1)"},
        {"41=ABC\n", 1, "takes 3 bytes"},
        {"41=\\xZ1\n", 1, "takes 4 bytes"}, // not an escape: four bytes of text
        {"41=\\x1Z\n", 1, "takes 4 bytes"},
        {"41=\\y12\n", 1, "takes 4 bytes"},
        {"41=\xE3\x81\x82\xE3\x81\x82\n", 1, "takes 4 bytes"},
        {"41=\xF0\x9F\x98\x80\n", 1, "does not encode"}, // an emoji
        {"41=\xE3\x80\x9C\n", 1, "does not encode"},     // U+301C: CP932 has U+FF5E
        {"41=A\n42=\x82\n", 2, "does not encode"},       // Shift-JIS with a lone lead byte
    };
    for (const auto &c : cases) {
        table_build r = build_table(c.text);
        EXPECT_FALSE(r.ok) << c.text;
        EXPECT_TRUE(r.table.empty()) << c.text;
        bool found = false;
        for (const auto &m : r.messages) {
            found = found ||
                    (m.error && m.line == c.line && m.text.find(c.reason) != std::string::npos);
        }
        EXPECT_TRUE(found) << "no error on line " << c.line << " with \"" << c.reason << "\" for "
                           << c.text;
    }
}

TEST(TableBuild, LinesTheConverterCannotHonourAreReportedAndSkipped) {
    table_build r = build_table("41=A\n8140=\xE3\x80\x80\n*FF\n/FE=\n42=B\nFD=x\n");
    ASSERT_TRUE(r.ok);
    ASSERT_EQ(r.messages.size(), 4u);
    const size_t lines[] = {2, 3, 4, 6};
    for (size_t i = 0; i < 4; i++) {
        EXPECT_FALSE(r.messages[i].error);
        EXPECT_EQ(r.messages[i].line, lines[i]) << r.messages[i].text;
    }
    EXPECT_NE(r.messages[3].text.find("control code"), std::string::npos);
    EXPECT_EQ(entry(r.table, 0x42), std::string("B\0", 2));
    EXPECT_EQ(entry(r.table, 0xFD), std::string("x\0", 2)); // written all the same
    EXPECT_EQ(entry(r.table, 0xFF), std::string("\0\0", 2));
}

// show, then build, gives the same bytes for every table.
void expect_round_trip(const std::string &table, const char *what) {
    size_t escaped = 0;
    std::string text = show_table(table, &escaped);
    ASSERT_TRUE(is_utf8(text)) << what;
    table_build r = build_table(text);
    ASSERT_TRUE(r.ok) << what << (r.messages.empty() ? "" : ": " + r.messages[0].text);
    EXPECT_EQ(r.table, table) << what;
}

TEST(TableShow, RoundTripsGeneratedTables) {
    std::mt19937 rng(11);
    for (int round = 0; round < 200; round++) {
        std::string table(512, '\0');
        for (auto &c : table) {
            c = static_cast<char>(rng());
        }
        expect_round_trip(table, "random bytes");
    }
    // Every double-byte code: lead 0x81-0x9F, 0xE0-0xFC with every trail byte.
    for (unsigned lead : {0x81u, 0x88u, 0x9Fu, 0xE0u, 0xEAu, 0xFCu}) {
        std::string table;
        for (unsigned k = 0; k < 256; k++) {
            table += static_cast<char>(lead);
            table += static_cast<char>(k);
        }
        expect_round_trip(table, "double-byte codes");
    }
    // Every single byte as a one-byte entry, and zero-first entries.
    std::string single, zero_first;
    for (unsigned k = 0; k < 256; k++) {
        single += static_cast<char>(k);
        single += '\0';
        zero_first += '\0';
        zero_first += static_cast<char>(k);
    }
    expect_round_trip(single, "single bytes");
    expect_round_trip(zero_first, "zero first bytes");
    expect_round_trip(std::string(512, '\0'), "empty table");
}

TEST(TableShow, PlainTextWhereItCanAndEscapesWhereItMust) {
    struct {
        std::string entry;
        std::string line;
        size_t escaped;
    } cases[] = {
        {"\x82\xA0", "41=\xE3\x81\x82\n", 0},
        {std::string("A\0", 2), "41=A\n", 0},
        {std::string(" \0", 2), "41= \n", 0},
        {"\x82\x20", "41=\\x82\\x20\n", 1},            // a lead byte with no trail
        {std::string("\x82\0", 2), "41=\\x82\n", 1},   // a lone lead byte
        {std::string("\0A", 2), "41=\\x00\\x41\n", 1}, // a stray zero first
        {std::string("\n\0", 2), "41=\\x0A\n", 1},     // a line end cannot stand in a line
        {"A\r", "41=\\x41\\x0D\n", 1},
    };
    for (const auto &c : cases) {
        size_t escaped = 99;
        std::string text = show_table(table_with(0x41, c.entry), &escaped);
        EXPECT_NE(text.find("\n" + c.line), std::string::npos)
            << "want " << c.line << " in " << text;
        EXPECT_EQ(escaped, c.escaped) << c.line;
    }
}

} // namespace

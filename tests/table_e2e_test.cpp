// End-to-end tests of the table program: build and show from the command
// line, on files in a temporary folder.
#include "e2e_support.h"

#include <sys/stat.h>

using namespace e2e;

namespace {

const std::string TEXT = "# sample\n41=\xE3\x81\x82\n42=B\n";

std::string expected_table() {
    std::string table(512, '\0');
    table.replace(2 * 0x41, 2, "\x82\xA0");
    table.replace(2 * 0x42, 1, "B");
    return table;
}

TEST_F(EndToEnd, TableBuildWritesVelquorTblByDefault) {
    put("t.txt", TEXT);
    result r = run_table("build t.txt");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "");
    EXPECT_TRUE(read_file(path("velquor.tbl")) == expected_table());

    result named = run_table("build t.txt -o other.tbl");
    EXPECT_EQ(named.status, 0) << named.err;
    EXPECT_TRUE(read_file(path("other.tbl")) == expected_table());
}

// Code page 932 as Windows defines it, through iconv on Unix and the Win32
// functions on Windows: both builds must give the same bytes, and refuse
// the same look-alikes.
TEST_F(EndToEnd, TableBuildGivesTheSameBytesOnEveryPlatform) {
    put("t.txt", "01=\xEF\xBD\x9E\n"   // U+FF5E FULLWIDTH TILDE
                 "02=\xEF\xBC\x8D\n"   // U+FF0D FULLWIDTH HYPHEN-MINUS
                 "03=\xEF\xBF\xA0\n"   // U+FFE0 FULLWIDTH CENT SIGN
                 "04=\xEF\xBF\xA2\n"   // U+FFE2 FULLWIDTH NOT SIGN
                 "05=\xE2\x88\xA5\n"   // U+2225 PARALLEL TO
                 "06=\xEF\xBD\xB1\n"   // U+FF71 half-width katakana A
                 "07=\xE2\x91\xA0\n"   // U+2460 CIRCLED DIGIT ONE
                 "08=\xE3\x88\xB1\n"); // U+3231 PARENTHESIZED IDEOGRAPH STOCK
    result r = run_table("build t.txt");
    EXPECT_EQ(r.status, 0) << r.err;
    std::string expected(512, '\0');
    expected.replace(
        2, 16, std::string("\x81\x60\x81\x7C\x81\x91\x81\xCA\x81\x61\xB1\0\x87\x40\x87\x8A", 16));
    EXPECT_TRUE(read_file(path("velquor.tbl")) == expected);

    put("wave.txt", "01=\xE3\x80\x9C\n"); // U+301C WAVE DASH has no code of its own
    result wave = run_table("build wave.txt -o wave.tbl");
    EXPECT_EQ(wave.status, 1);
    EXPECT_NE(wave.err.find("wave.txt:1: error:"), std::string::npos) << wave.err;
}

TEST_F(EndToEnd, TableBuildErrorsLeaveTheOldTableAlone) {
    put("velquor.tbl", "old");
    put("bad.txt", "41=A\n42=ABC\n41=C\n");
    result r = run_table("build bad.txt");
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("bad.txt:2: error:"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("bad.txt:3: error:"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("no table written"), std::string::npos) << r.err;
    EXPECT_EQ(read_file(path("velquor.tbl")), "old");
}

TEST_F(EndToEnd, TableBuildThatCannotWriteLeavesNothingBehind) {
    put("t.txt", TEXT);
    // The output name is taken by a folder: the rename fails.
    ASSERT_EQ(mkdir(path("velquor.tbl").c_str(), 0755), 0);
    result r = run_table("build t.txt");
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("velquor.tbl"), std::string::npos) << r.err;
    // Into a folder that does not exist: the temporary file cannot be made.
    result missing = run_table("build t.txt -o no/such/dir/velquor.tbl");
    EXPECT_EQ(missing.status, 1);
    std::string cmd = "ls -A " + shell_quoted(dir) + " > " + shell_quoted(path(".listing"));
    ASSERT_EQ(system(cmd.c_str()), 0);
    EXPECT_EQ(read_file(path(".listing")), ".listing\nt.txt\nvelquor.tbl\n")
        << "temporary files left";
}

TEST_F(EndToEnd, TableWarningsNameTheirLines) {
    put("t.txt", "41=A\n8140=B\n*FF\nFE=x\n");
    result r = run_table("build t.txt");
    EXPECT_EQ(r.status, 0);
    for (const char *line : {"t.txt:2: warning:", "t.txt:3: warning:", "t.txt:4: warning:"}) {
        EXPECT_NE(r.err.find(line), std::string::npos) << line << " in " << r.err;
    }
}

TEST_F(EndToEnd, TableShowRoundTrips) {
    std::string table = expected_table();
    table.replace(2 * 0x10, 2, std::string("\x82\0", 2)); // a lone lead byte
    put("velquor.tbl", table);
    result shown = run_table("show velquor.tbl");
    EXPECT_EQ(shown.status, 0);
    EXPECT_EQ(shown.out,
              lines("# Character table for dadivurorezud: one entry a line, HH=text.\n"
                    "# Entries that are not Shift-JIS text are written as \\xHH byte escapes.\n"
                    "10=\\x82\n"
                    "41=\xE3\x81\x82\n"
                    "42=B\n"));
    EXPECT_NE(shown.err.find("1 entry is not Shift-JIS text"), std::string::npos) << shown.err;
    put("shown.txt", shown.out);
    result built = run_table("build shown.txt -o again.tbl");
    EXPECT_EQ(built.status, 0) << built.err;
    EXPECT_TRUE(read_file(path("again.tbl")) == table);
}

TEST_F(EndToEnd, TableProgramUsageAndMissingFiles) {
    const char *bad_calls[] = {
        "",           "build",  "show",     "build a b",   "build t.txt -x out",
        "frobnicate", "frob x", "--help x", "--version x", "--verbose"};
    for (const char *args : bad_calls) {
        result r = run_table(args);
        EXPECT_EQ(r.status, 2) << args;
        EXPECT_EQ(r.err.rfind("usage: dadivurorezud-table build TEXT [-o OUTPUT]", 0), 0u) << args;
    }
    result missing = run_table("build missing.txt");
    EXPECT_EQ(missing.status, 1);
    EXPECT_NE(missing.err.find("missing.txt"), std::string::npos);
    result show_missing = run_table("show missing.tbl");
    EXPECT_EQ(show_missing.status, 1);
}

TEST_F(EndToEnd, TableProgramHelpAndVersion) {
    for (const char *args : {"--help", "-h"}) {
        result r = run_table(args);
        EXPECT_EQ(r.status, 0) << args;
        EXPECT_EQ(r.out, lines("usage: dadivurorezud-table build TEXT [-o OUTPUT]\n"
                               "       dadivurorezud-table show TABLE\n"))
            << args;
        EXPECT_EQ(r.err, "") << args;
    }
    result version = run_table("--version");
    EXPECT_EQ(version.status, 0);
    EXPECT_EQ(version.out, lines("dadivurorezud-table 1.0.0\n"));
    if (native()) {
        result full = run_table("--help", "", "> /dev/full");
        EXPECT_EQ(full.status, 1);
        EXPECT_NE(full.err.find("cannot write standard output"), std::string::npos) << full.err;
    }
}

TEST_F(EndToEnd, TableProgramRefusesFolders) {
    ASSERT_EQ(mkdir(path("folder").c_str(), 0755), 0);
    for (const char *args : {"build folder", "show folder"}) {
        result r = run_table(args);
        EXPECT_EQ(r.status, 1) << args;
        EXPECT_NE(r.err.find("folder"), std::string::npos) << r.err;
    }
}

TEST_F(EndToEnd, TableShowOfShortAndLongTables) {
    const std::string table = expected_table();
    struct {
        size_t size;
        const char *says;
    } cases[] = {
        {0x84, "132 bytes, not 512; the missing bytes count as zero"},
        {600, "600 bytes, not 512; bytes after 512 are ignored"},
    };
    for (const auto &c : cases) {
        std::string bytes = table;
        bytes.resize(c.size, 'z');
        put("odd.tbl", bytes);
        result r = run_table("show odd.tbl");
        EXPECT_EQ(r.status, 0) << c.size;
        EXPECT_NE(r.err.find(c.says), std::string::npos) << r.err;
        // As the converter reads it: the entries in the first 512 bytes.
        put("odd.txt", r.out);
        ASSERT_EQ(run_table("build odd.txt -o again.tbl").status, 0);
        std::string expected = bytes;
        expected.resize(512, '\0');
        EXPECT_TRUE(read_file(path("again.tbl")) == expected) << c.size;
    }
    std::string escapes = table;
    escapes.replace(2 * 0x10, 2, std::string("\x82\0", 2));
    escapes.replace(2 * 0x11, 2, std::string("\0\x41", 2));
    put("escapes.tbl", escapes);
    result r = run_table("show escapes.tbl");
    EXPECT_NE(r.err.find("2 entries are not Shift-JIS text"), std::string::npos) << r.err;
}

TEST_F(EndToEnd, TablePathsInAnyScript) {
    const std::string folder = "\xED\x91\x9C";                                       // Hangul
    const std::string text = "\xE3\x83\x86\xE3\x83\xBC\xE3\x83\x96\xE3\x83\xAB.txt"; // kana
    ASSERT_EQ(mkdir(path(folder).c_str(), 0755), 0);
    put(folder + "/" + text, TEXT);
    result built = run_table("build " + shell_quoted(folder + "/" + text) + " -o " +
                             shell_quoted(folder + "/t.tbl"));
    EXPECT_EQ(built.status, 0) << built.err;
    EXPECT_TRUE(read_file(path(folder + "/t.tbl")) == expected_table());
    result shown = run_table("show " + shell_quoted(folder + "/t.tbl"));
    EXPECT_EQ(shown.status, 0) << shown.err;
    EXPECT_NE(shown.out.find(lines("41=\xE3\x81\x82\n")), std::string::npos) << shown.out;

    result missing = run_table("build " + shell_quoted(folder + "/" + text + ".none"));
    EXPECT_EQ(missing.status, 1);
    const std::string printed = native() ? folder + "/" + text + ".none" : "?/????.txt.none";
    EXPECT_EQ(missing.err.rfind("dadivurorezud-table: " + printed + ": ", 0), 0u) << missing.err;
}

} // namespace

// End-to-end tests of the converter: run the built executable in a
// temporary folder and compare its exact standard output bytes and exit
// status.
#include "e2e_support.h"
#include "stream_model.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

using namespace e2e;
using testing_support::distinct_table;
using testing_support::random_bytes;

namespace {

constexpr size_t FULL_SIZE = 4 * 1024 * 1024;

const std::string PRELUDE = "-- GBA Velquor Message Converter V1.0 --\n"
                            "Message text extractor, writes Shift-JIS text to standard output.\n"
                            "Free software by the dadivurorezud developers; no warranty.\n";
const std::string USAGE = " usage:DADIVUROREZUD.EXE velquor.gba\n";

// What a complete run prints for an image with this name field and text.
std::string complete_run(const std::string &name, const std::string &decoded) {
    return lines(PRELUDE + "\n\nName = " + name + "\n\n" + decoded);
}

std::string random_image(size_t size, unsigned seed) {
    std::mt19937 rng(seed);
    return random_bytes(rng, size);
}

// An image of `size` bytes: a header name, zeros, and codes at `at`.
std::string image_of(size_t size, const std::string &name, uint32_t at = MESSAGE_START,
                     const std::string &codes = "") {
    std::string image(size, '\0');
    for (size_t i = 0; i < name.size() && HEADER_NAME_OFFSET + i < size; i++) {
        image[HEADER_NAME_OFFSET + i] = name[i];
    }
    for (size_t i = 0; i < codes.size() && at + i < size; i++) {
        image[at + i] = codes[i];
    }
    return image;
}

// The expected text, decoded by the plain model, of a whole image.
std::string expected_text(const std::string &image, const std::string &table) {
    unsigned char letter =
        image.size() > HEADER_NAME_OFFSET + VERSION_LETTER_INDEX
            ? static_cast<unsigned char>(image[HEADER_NAME_OFFSET + VERSION_LETTER_INDEX])
            : 0;
    return model::decode(image, table, letter, MESSAGE_START, MESSAGE_END);
}

std::string name_field(const std::string &image) {
    std::string name = image.size() > HEADER_NAME_OFFSET
                           ? image.substr(HEADER_NAME_OFFSET, HEADER_NAME_LENGTH)
                           : "";
    return name.substr(0, name.find('\0'));
}

TEST_F(EndToEnd, UsageWithoutArgument) {
    result r = run("");
    EXPECT_EQ(r.out, lines(PRELUDE + USAGE));
    EXPECT_EQ(r.status, 0);
}

TEST_F(EndToEnd, ArgumentsAfterTheFirstAreIgnored) {
    put("velquor.tbl", distinct_table());
    put("a.gba", image_of(0x200, "NAME"));
    result one = run("a.gba");
    result more = run("a.gba b.gba --help");
    EXPECT_EQ(one.status, 0);
    EXPECT_EQ(more.status, 0);
    EXPECT_EQ(one.out, more.out);
    EXPECT_EQ(one.out, complete_run("NAME", ""));
}

TEST_F(EndToEnd, FilesThatCannotBeOpened) {
    struct {
        const char *name;
        const char *arg;
        bool table;
        std::string expected;
    } cases[] = {
        {"missing image", "missing.gba", true, "file missing.gba not found.\n"},
        {"both missing: the image is tried first", "missing.gba", false,
         "file missing.gba not found.\n"},
        {"percent signs printed as they stand", "100%s %d %n.gba", true,
         "file 100%s %d %n.gba not found.\n"},
        {"missing table", "a.gba", false, "table data not found.\n"},
        {"folder as the image", "folder", true, "file folder not found.\n"},
    };
    mkdir(path("folder").c_str(), 0755);
    put("a.gba", image_of(0x200, "NAME"));
    for (const auto &c : cases) {
        unlink(path("velquor.tbl").c_str());
        if (c.table) {
            put("velquor.tbl", distinct_table());
        }
        result r = run(shell_quoted(c.arg));
        EXPECT_EQ(r.out, lines(PRELUDE + c.expected)) << c.name;
        EXPECT_EQ(r.status, 1) << c.name;
    }
}

TEST_F(EndToEnd, FolderNamedLikeTheTableIsNotATable) {
    put("a.gba", image_of(0x200, "NAME"));
    mkdir(path("velquor.tbl").c_str(), 0755);
    result r = run("a.gba");
    EXPECT_EQ(r.out, lines(PRELUDE + "table data not found.\n"));
    EXPECT_EQ(r.status, 1);
}

TEST_F(EndToEnd, TableComesFromTheCurrentFolderNotTheImageFolder) {
    mkdir(path("game").c_str(), 0755);
    put("game/a.gba", image_of(MESSAGE_START + 2, "NAME", MESSAGE_START, "\x01\x02"));
    put("game/velquor.tbl", std::string(512, 'x'));
    put("velquor.tbl", distinct_table());
    result r = run("game/a.gba");
    EXPECT_EQ(r.out, complete_run("NAME", "AbAc"));
    EXPECT_EQ(r.status, 0);
}

TEST_F(EndToEnd, HeaderNameField) {
    struct {
        const char *name;
        std::string image;
        std::string printed;
    } cases[] = {
        {"no zero byte: all 16", image_of(0x200, "ABCDEFGHIJKLMNOP"), "ABCDEFGHIJKLMNOP"},
        {"zero at index 5", image_of(0x200, std::string("ABCDE\0GHIJ", 10)), "ABCDE"},
        {"zero first", image_of(0x200, std::string("\0BC", 3)), ""},
        {"image shorter than 0xA0", std::string(HEADER_NAME_OFFSET - 1, 'Z'), ""},
        {"image ends inside the field", std::string(HEADER_NAME_OFFSET, 'Z') + "ABC", "ABC"},
        {"percent signs", image_of(0x200, "%s%n%d"), "%s%n%d"},
        {"line feed in the name", image_of(0x200, "AB\nCD"), "AB\nCD"},
    };
    put("velquor.tbl", distinct_table());
    for (const auto &c : cases) {
        put("a.gba", c.image);
        result r = run("a.gba");
        EXPECT_EQ(r.out, complete_run(c.printed, "")) << c.name;
        EXPECT_EQ(r.status, 0) << c.name;
    }
}

TEST_F(EndToEnd, VersionLetterInTheHeaderPicksTheWords) {
    put("velquor.tbl", distinct_table());
    const std::string codes("\xFD\x0A\xFD\x0B\xFD\x01\x00\x05", 8);
    struct {
        const char *name;
        std::string text;
    } cases[] = {
        {"TITLE123SXYZ", std::string(SECOND_TEAM_WORD) + FIRST_TEAM_WORD + NAME_FOR_S},
        {"TITLE123RXYZ", std::string(FIRST_TEAM_WORD) + SECOND_TEAM_WORD + NAME_FOR_R},
        {"TITLE123", std::string(SECOND_TEAM_WORD) + SECOND_TEAM_WORD + NAME_FOR_OTHER},
    };
    for (const auto &c : cases) {
        put("a.gba", image_of(MESSAGE_START + codes.size(), c.name, MESSAGE_START, codes));
        result r = run("a.gba");
        EXPECT_EQ(r.out, complete_run(c.name, c.text)) << c.name;
    }
}

// Reading is binary on every platform: CR, LF and Ctrl-Z bytes in the image
// and the table are data. Only the output's line feeds become line ends.
TEST_F(EndToEnd, CrLfAndCtrlZBytesAreData) {
    std::string table = distinct_table();
    table.replace(2 * 0x0A, 2, "\r\n");
    table.replace(2 * 0x0D, 2, std::string("\x1A\0", 2));
    table.replace(2 * 0x1A, 2, "\n\x1A");
    put("velquor.tbl", table);
    std::string image =
        image_of(MESSAGE_START + 5, "AB\r\x1A\nC", MESSAGE_START, "\x0A\x0D\x1A\x41\xFF");
    // Ctrl-Z and CR LF pairs before the header and the region: a text-mode
    // read would stop at the first or shift every offset after it.
    for (size_t i = 0; i < HEADER_NAME_OFFSET; i += 2) {
        image[i] = '\r';
        image[i + 1] = i % 4 ? '\n' : '\x1A';
    }
    put("a.gba", image);
    result r = run("a.gba");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out,
              complete_run("AB\r\x1A\nC", "\r\n\x1A\n\x1A" + model::slot(table, 0x41) + "\n"));
}

TEST_F(EndToEnd, FullSizeRandomImageFromAFileAndThroughAPipe) {
    const std::string image = random_image(FULL_SIZE, 2024);
    put("a.gba", image);
    put("velquor.tbl", distinct_table());
    const std::string expected =
        complete_run(name_field(image), expected_text(image, distinct_table()));
    result file = run("a.gba");
    EXPECT_EQ(file.status, 0);
    EXPECT_TRUE(file.out == expected) << "output differs from the model";
    if (native()) {
        result pipe = run("<(cat a.gba)");
        EXPECT_EQ(pipe.status, 0);
        EXPECT_TRUE(pipe.out == expected) << "output through a pipe differs";
        result fifo = run("/dev/stdin < a.gba");
        EXPECT_TRUE(fifo.out == expected) << "output through standard input differs";
    }
}

TEST_F(EndToEnd, CodesAtTheEndOfTheRegion) {
    const std::string table = distinct_table();
    put("velquor.tbl", table);
    const std::string A = model::slot(table, 0x41);
    struct {
        const char *name;
        std::string codes; // placed to end at MESSAGE_END + tail
        uint32_t tail;     // how many of the codes lie past MESSAGE_END
        size_t size;       // image size
        std::string text;  // expected end of the decoded text
    } cases[] = {
        {"0xFC at the end skips two bytes past it", "A\xFC\x41\x41", 2, FULL_SIZE, A + "\n"},
        {"0xFD at the end reads its argument past it", "A\xFD\x08\x41", 2, FULL_SIZE,
         A + WORD_FOR_08},
        {"name form at the end", "A\xFD\x01\x41\x05\x41", 4, FULL_SIZE, A + NAME_FOR_OTHER},
        {"broken name form at the end stops", "A\xFD\x01\x41\x41\x41", 4, FULL_SIZE,
         A + QUESTION_WORD},
        {"image ends exactly at the end", "AA", 0, MESSAGE_END + 1, A + A},
        {"image ends right after a last 0xFD", "A\xFD", 0, MESSAGE_END + 1, A},
        {"image ends inside a name form at the end", "A\xFD\x01\x41", 2, MESSAGE_END + 3,
         A + QUESTION_WORD},
        {"image ends inside the region after 0xFD 0x01", "A\xFD\x01", 0, MESSAGE_END - 99,
         A + QUESTION_WORD + model::slot(table, 0x01)},
    };
    for (const auto &c : cases) {
        uint32_t at = MESSAGE_END + c.tail + 1 - static_cast<uint32_t>(c.codes.size());
        if (c.size < MESSAGE_END) {
            at = static_cast<uint32_t>(c.size - c.codes.size());
        }
        std::string image = image_of(c.size, "TITLE", at, c.codes);
        put("a.gba", image);
        std::string expected = expected_text(image, table);
        // The model and the hand-written ending agree, and the tool with both.
        ASSERT_GE(expected.size(), c.text.size()) << c.name;
        EXPECT_EQ(expected.substr(expected.size() - c.text.size()), c.text) << c.name;
        result r = run("a.gba");
        EXPECT_EQ(r.status, 0) << c.name;
        EXPECT_TRUE(r.out == complete_run("TITLE", expected)) << c.name;
        if (native()) {
            result pipe = run("<(cat a.gba)");
            EXPECT_TRUE(pipe.out == r.out) << c.name << ", through a pipe";
        }
    }
}

TEST_F(EndToEnd, ShortImagesAreNotAnError) {
    put("velquor.tbl", distinct_table());
    const std::string A = model::slot(distinct_table(), 0x41);
    struct {
        const char *name;
        std::string image;
        std::string name_printed;
        std::string text;
    } cases[] = {
        {"empty", "", "", ""},
        {"one byte", "x", "", ""},
        {"0xB0 bytes", image_of(HEADER_NAME_OFFSET + HEADER_NAME_LENGTH, "SHORT"), "SHORT", ""},
        {"ends inside the region", image_of(MESSAGE_START + 3, "SHORT", MESSAGE_START, "AA\xFF"),
         "SHORT", A + A + "\n"},
    };
    for (const auto &c : cases) {
        put("a.gba", c.image);
        result r = run("a.gba");
        EXPECT_EQ(r.out, complete_run(c.name_printed, c.text)) << c.name;
        EXPECT_EQ(r.status, 0) << c.name;
    }
}

TEST_F(EndToEnd, ShortAndLongTables) {
    std::string codes;
    for (int k = 0; k < 0xFA; k++) {
        codes += static_cast<char>(k);
    }
    put("a.gba", image_of(MESSAGE_START + codes.size(), "T", MESSAGE_START, codes));
    const std::string full = distinct_table();
    for (size_t size : {0, 1, 301, 511, 512, 513, 100000}) {
        std::string table =
            size <= 512 ? full.substr(0, size) : full + std::string(size - 512, 'z');
        put("velquor.tbl", table);
        std::string text;
        for (int k = 0; k < 0xFA; k++) {
            text += model::slot(table, static_cast<unsigned>(k));
        }
        result r = run("a.gba");
        EXPECT_EQ(r.out, complete_run("T", text)) << size << "-byte table";
        EXPECT_EQ(r.status, 0);
    }
}

// Images of every awkward size: none, shorter than the header, ending
// inside the name field or right after it, and ending exactly at, one byte
// past and three bytes past the last byte of the region.
TEST_F(EndToEnd, ImagesOfAwkwardSizes) {
    const std::string table = distinct_table();
    put("velquor.tbl", table);
    const std::string full = random_image(MESSAGE_END + 16, 77);
    const size_t sizes[] = {0,
                            1,
                            HEADER_NAME_OFFSET,
                            HEADER_NAME_OFFSET + VERSION_LETTER_INDEX,
                            HEADER_NAME_OFFSET + HEADER_NAME_LENGTH,
                            MESSAGE_END,
                            MESSAGE_END + 1,
                            MESSAGE_END + 2,
                            MESSAGE_END + 4};
    for (size_t size : sizes) {
        std::string image = full.substr(0, size);
        put("a.gba", image);
        result r = run("a.gba");
        EXPECT_EQ(r.status, 0) << size << " bytes";
        EXPECT_TRUE(r.out == complete_run(name_field(image), expected_text(image, table)))
            << size << " bytes";
    }
}

TEST_F(EndToEnd, SparseImageLargerThan4GiB) {
    if (!native()) {
        GTEST_SKIP() << "sparse files are made natively";
    }
    const std::string table = distinct_table();
    put("velquor.tbl", table);
    const std::string head = random_image(MESSAGE_END + 16, 78);
    put("big.gba", head);
    ASSERT_EQ(truncate(path("big.gba").c_str(), (5LL << 30) + 3), 0);
    result r = run("big.gba");
    EXPECT_EQ(r.status, 0);
    EXPECT_TRUE(r.out == complete_run(name_field(head), expected_text(head, table)));
}

TEST_F(EndToEnd, DevicesAndFifosAsTheImage) {
    if (!native()) {
        GTEST_SKIP() << "devices and FIFOs are Unix ones";
    }
    const std::string table = distinct_table();
    put("velquor.tbl", table);
    const std::string zeros(MESSAGE_END + 4, '\0');
    result zero = run("/dev/zero");
    EXPECT_EQ(zero.status, 0);
    EXPECT_TRUE(zero.out == complete_run("", expected_text(zeros, table))) << "/dev/zero";

    result null = run("/dev/null");
    EXPECT_EQ(null.status, 0);
    EXPECT_EQ(null.out, complete_run("", "")) << "/dev/null";

    const std::string image = random_image(MESSAGE_END + 4, 79);
    put("a.gba", image);
    ASSERT_EQ(mkfifo(path("fifo").c_str(), 0600), 0);
    // The writer is ended afterwards in any case, so that a tool that never
    // opens the FIFO cannot leave it blocked.
    result fifo = run("fifo", "", "cat a.gba > fifo 2> /dev/null & writer=$!; ",
                      "; status=$?; kill $writer 2> /dev/null; exit $status");
    EXPECT_EQ(fifo.status, 0);
    EXPECT_TRUE(fifo.out == complete_run(name_field(image), expected_text(image, table))) << "FIFO";
}

// Translators keep their work in folders named in their own scripts. Every
// path opens, on Windows too, whatever the ANSI code page; messages print a
// path in that code page there, with '?' for what it lacks (Wine's is 1252
// in a plain environment, which has neither Hangul nor kana).
TEST_F(EndToEnd, PathsInAnyScriptOpen) {
    const std::string folder = "\xED\x95\x9C\xEA\xB5\xAD\xEC\x96\xB4";   // Hangul
    const std::string file = "\xE3\x82\xB2\xE3\x83\xBC\xE3\x83\xA0.gba"; // kana
    ASSERT_EQ(mkdir(path(folder).c_str(), 0755), 0);
    const std::string table = distinct_table();
    const std::string image =
        image_of(MESSAGE_START + 64, "SCRIPTS", MESSAGE_START, "\x41\xFF\xFD\x08\x42");
    put("velquor.tbl", table);
    put(folder + "/velquor.tbl", table);
    put(folder + "/" + file, image);
    const std::string expected = complete_run("SCRIPTS", expected_text(image, table));

    result from_here = run(shell_quoted(folder + "/" + file));
    EXPECT_EQ(from_here.status, 0);
    EXPECT_TRUE(from_here.out == expected) << from_here.out;
    result inside = run(shell_quoted(file), "", "cd " + shell_quoted(folder) + " && ");
    EXPECT_EQ(inside.status, 0);
    EXPECT_TRUE(inside.out == expected) << inside.out;

    const std::string missing = folder + "/\xE3\x81\xAA\xE3\x81\x84.gba";
    result none = run(shell_quoted(missing));
    EXPECT_EQ(none.status, 1);
    EXPECT_EQ(none.out,
              lines(PRELUDE + "file " + (native() ? missing : "???" "/??.gba") + " not found.\n"));
}

TEST_F(EndToEnd, PipeHeldOpenAfterTheLastNeededByte) {
    if (!native()) {
        GTEST_SKIP() << "needs a native FIFO";
    }
    const std::string table = distinct_table();
    put("velquor.tbl", table);
    // The last code of the region takes one byte after it, and the writer
    // sends exactly that byte and then keeps the pipe open. The tool must
    // end without waiting for the writer to close.
    std::string image = random_image(MESSAGE_END + 2, 81);
    image[MESSAGE_END] = '\xFD';
    image[MESSAGE_END + 1] = '\x08';
    put("a.gba", image);
    ASSERT_EQ(mkfifo(path("fifo").c_str(), 0600), 0);
    result r = run("fifo", "", "(cat a.gba; exec sleep 60) > fifo & writer=$!; timeout 20 ",
                   "; status=$?; if kill $writer 2> /dev/null; then exit $status; fi; "
                   "echo 'the writer had closed the pipe' >&2; exit 99");
    EXPECT_EQ(r.status, 0) << r.err << "(status 124: the tool waited for the writer)";
    EXPECT_TRUE(r.out == complete_run(name_field(image), expected_text(image, table)))
        << "output through the held-open pipe differs";
}

TEST_F(EndToEnd, PathsArePrintedByteForByte) {
    put("velquor.tbl", distinct_table());
    std::vector<std::string> names = {"100% sure %s.gba", "with  spaces .gba"};
    if (native()) {
        // Windows file names are UTF-16: bytes that are no text cannot name
        // a file there at all.
        names.push_back("bytes \xff\xfe\x80.gba");
    }
    for (const std::string &name : names) {
        result missing = run(shell_quoted(name));
        EXPECT_EQ(missing.out, lines(PRELUDE + "file " + name + " not found.\n")) << name;
        EXPECT_EQ(missing.status, 1);
        put(name, image_of(0x200, "NAME"));
        result present = run(shell_quoted(name));
        EXPECT_EQ(present.out, complete_run("NAME", "")) << name;
        EXPECT_EQ(present.status, 0);
    }
}

TEST_F(EndToEnd, ReaderThatLeavesEarlyIsNotASuccess) {
    if (!native()) {
        GTEST_SKIP() << "needs a native pipe";
    }
    put("velquor.tbl", distinct_table());
    put("a.gba", random_image(FULL_SIZE, 80));
    // The tool may die of SIGPIPE, as other tools do, or exit 1; never 0.
    result r = run("a.gba", "2> /dev/null | head -c 100 > /dev/null; exit ${PIPESTATUS[0]}");
    EXPECT_NE(r.status, 0);
}

TEST_F(EndToEnd, OutputThatCannotBeWrittenIsAFailure) {
    if (!native()) {
        GTEST_SKIP() << "needs a native run for /dev/full and closed descriptors";
    }
    put("velquor.tbl", distinct_table());
    put("a.gba", image_of(FULL_SIZE, "NAME"));
    const char *redirects[] = {"> /dev/full", ">&-"};
    for (const char *redirect : redirects) {
        for (const char *args : {"a.gba", "", "missing.gba"}) {
            result r = run(args, redirect);
            EXPECT_EQ(r.status, 1) << redirect << " " << args;
            EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
            EXPECT_EQ(r.err.rfind("dadivurorezud: cannot write standard output: ", 0), 0u) << r.err;
        }
    }
}

// A parent process may leave standard output a non-blocking pipe; a reader
// slower than the tool then makes writes fail with EAGAIN, and the tool must
// wait for the pipe instead of giving up after part of the output.
TEST_F(EndToEnd, NonBlockingPipeAsStandardOutputGetsEverything) {
    if (!native()) {
        GTEST_SKIP() << "needs a native pipe";
    }
    const std::string table = distinct_table();
    put("velquor.tbl", table);
    const std::string image = random_image(FULL_SIZE, 82);
    put("a.gba", image);
    int fds[2];
    ASSERT_EQ(pipe(fds), 0);
    ASSERT_EQ(fcntl(fds[1], F_SETFL, fcntl(fds[1], F_GETFL) | O_NONBLOCK), 0);
    pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        dup2(fds[1], 1);
        close(fds[0]);
        close(fds[1]);
        if (chdir(dir.c_str()) == 0) {
            execl(TOOL.c_str(), TOOL.c_str(), "a.gba", static_cast<char *>(nullptr));
        }
        _exit(127);
    }
    close(fds[1]);
    std::string out;
    char buf[4096];
    ssize_t got;
    while ((got = read(fds[0], buf, sizeof buf)) > 0) {
        out.append(buf, static_cast<size_t>(got));
        usleep(out.size() < 256 * 1024 ? 200 : 0); // slower than the tool at first
    }
    close(fds[0]);
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "status " << status;
    EXPECT_TRUE(out == complete_run(name_field(image), expected_text(image, table)))
        << out.size() << " bytes read";
}

TEST_F(EndToEnd, ReadErrorsAreReportedNotTakenForTheEnd) {
    if (!native()) {
        GTEST_SKIP() << "needs /proc";
    }
    // /proc/self/mem fails with EIO at low offsets.
    put("velquor.tbl", distinct_table());
    result image = run("/proc/self/mem");
    EXPECT_EQ(image.out, PRELUDE + "file /proc/self/mem cannot be read.\n");
    EXPECT_EQ(image.status, 1);

    put("a.gba", image_of(0x200, "NAME"));
    unlink(path("velquor.tbl").c_str());
    ASSERT_EQ(symlink("/proc/self/mem", path("velquor.tbl").c_str()), 0);
    result table = run("a.gba");
    EXPECT_EQ(table.out, PRELUDE + "file velquor.tbl cannot be read.\n");
    EXPECT_EQ(table.status, 1);
}

} // namespace

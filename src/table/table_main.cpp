// dadivurorezud-table: makes velquor.tbl from a text table, and shows a
// binary table as text.
#include "table_text.h"

#include "converter.h"
#include "encoding.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>

#ifdef _WIN32
#include <io.h>
#include <process.h>
#include <windows.h>
#define getpid _getpid
#else
#include <unistd.h>
#endif
#ifndef O_BINARY
#define O_BINARY 0
#endif

static const char PROGRAM[] = "dadivurorezud-table";
static const char USAGE[] = "usage: dadivurorezud-table build TEXT [-o OUTPUT]\n"
                            "       dadivurorezud-table show TABLE\n";

static int usage() {
    fputs(USAGE, stderr);
    return 2;
}

// The I/O calls, each made again when a signal interrupts it, so that only
// a real failure ends the run. Opens, renames and removes take UTF-8 names
// on Windows (paths.cpp); reads and writes go through the converter's
// descriptor source and sink, which also wait out EAGAIN and short writes.
static bool sync_retrying(int fd) {
    int r;
    do {
#ifdef _WIN32
        r = _commit(fd);
#else
        r = fsync(fd);
#endif
    } while (r != 0 && errno == EINTR);
    return r == 0;
}

// On Linux a close interrupted by a signal has still closed the descriptor,
// and the data were synced before it, so EINTR is not a failure here.
static bool close_file(int fd) {
    return close(fd) == 0 || errno == EINTR;
}

// Reads a whole file; false with errno set when it cannot be opened or read.
static bool read_file(const std::string &path, std::string &bytes) {
    int fd = open_path(path.c_str(), O_RDONLY);
    if (fd < 0) {
        return false;
    }
    struct stat info;
    if (fstat(fd, &info) == 0 && S_ISDIR(info.st_mode)) {
        close(fd);
        errno = EISDIR;
        return false;
    }
    bytes.clear();
    byte_source in = fd_source(fd);
    unsigned char buf[65536];
    ptrdiff_t got;
    while ((got = in.read(&in, buf, sizeof buf)) > 0) {
        bytes.append(reinterpret_cast<const char *>(buf), static_cast<size_t>(got));
    }
    int saved = errno;
    close(fd); // read-only: nothing can be lost in closing it
    errno = saved;
    return got == 0;
}

static bool write_all(int fd, const std::string &bytes) {
    output_sink out = output_fd_sink(fd);
    return out.write(&out, reinterpret_cast<const unsigned char *>(bytes.data()), bytes.size());
}

// Writes the file under a temporary name beside it and renames it into
// place, so that a failed run never leaves half a table behind, nor the
// temporary file.
static bool write_file_atomically(const std::string &path, const std::string &bytes) {
    std::string temp = path + ".tmp-" + std::to_string(getpid());
    int fd = open_path(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL, 0644);
    if (fd < 0) {
        return false;
    }
    // The first failure is the one reported.
    int failure = 0;
    if (!write_all(fd, bytes) || !sync_retrying(fd)) {
        failure = errno;
    }
    const bool closed = close_file(fd);
    if (failure == 0 && !closed) {
        failure = errno;
    }
    if (failure == 0 && !rename_path(temp.c_str(), path.c_str())) {
        failure = errno;
    }
    if (failure != 0) {
        remove_path(temp.c_str());
        errno = failure;
        return false;
    }
    return true;
}

// One line on standard error: the file and what failed with it.
static void report_failure(const std::string &path) {
    const int error = errno;
    fprintf(stderr, "%s: %s: %s\n", PROGRAM, path_for_message(path.c_str()), strerror(error));
}

// Both commands convert text: without a converter, say so rather than take
// every entry for text that does not encode.
static bool check_encoding() {
    if (encoding_ready()) {
        return true;
    }
    fprintf(stderr, "%s: cannot convert text: no converter for code page 932: %s\n", PROGRAM,
            strerror(errno));
    return false;
}

static int build(const std::string &text_path, const std::string &out_path) {
    std::string text;
    if (!read_file(text_path, text)) {
        report_failure(text_path);
        return 1;
    }
    if (!check_encoding()) {
        return 1;
    }
    table_build result = build_table(text);
    for (const table_message &m : result.messages) {
        fprintf(stderr, "%s: %s:%zu: %s: %s\n", PROGRAM, path_for_message(text_path.c_str()),
                m.line, m.error ? "error" : "warning", m.text.c_str());
    }
    if (!result.ok) {
        fprintf(stderr, "%s: %s: no table written\n", PROGRAM, path_for_message(out_path.c_str()));
        return 1;
    }
    if (!write_file_atomically(out_path, result.table)) {
        report_failure(out_path);
        return 1;
    }
    return 0;
}

static int show(const std::string &table_path) {
    std::string table;
    if (!read_file(table_path, table)) {
        report_failure(table_path);
        return 1;
    }
    // As the converter reads it: missing bytes are zero, extra ones unread.
    if (table.size() != CHAR_TABLE_BYTES) {
        if (table.size() < CHAR_TABLE_BYTES) {
            fprintf(stderr, "%s: %s: %zu bytes, not %zu; the missing bytes count as zero\n",
                    PROGRAM, path_for_message(table_path.c_str()), table.size(), CHAR_TABLE_BYTES);
        } else {
            fprintf(stderr, "%s: %s: %zu bytes, not %zu; bytes after %zu are ignored\n", PROGRAM,
                    path_for_message(table_path.c_str()), table.size(), CHAR_TABLE_BYTES,
                    CHAR_TABLE_BYTES);
        }
        table.resize(CHAR_TABLE_BYTES, '\0');
    }
    if (!check_encoding()) {
        return 1;
    }
    size_t escaped = 0;
    std::string text = show_table(table, &escaped);
    if (!write_all(fileno(stdout), text)) {
        fprintf(stderr, "%s: cannot write standard output: %s\n", PROGRAM, strerror(errno));
        return 1;
    }
    if (escaped > 0) {
        fprintf(stderr, "%s: %zu %s not Shift-JIS text, written as \\xHH byte escapes\n", PROGRAM,
                escaped, escaped == 1 ? "entry is" : "entries are");
    }
    return 0;
}

// Prints a text asked for on the command line (--help, --version).
static int print_out(const std::string &text) {
    if (!write_all(fileno(stdout), text)) {
        fprintf(stderr, "%s: cannot write standard output: %s\n", PROGRAM, strerror(errno));
        return 1;
    }
    return 0;
}

static int table_main(int argc, char **argv) {
    if (argc == 2 && (strcmp(argv[1], "--help") == 0 || strcmp(argv[1], "-h") == 0)) {
        return print_out(USAGE);
    }
    if (argc == 2 && strcmp(argv[1], "--version") == 0) {
        return print_out(std::string(PROGRAM) + " " + DADIVUROREZUD_VERSION + "\n");
    }
    if (argc >= 2 && strcmp(argv[1], "build") == 0) {
        if (argc == 3) {
            return build(argv[2], "velquor.tbl");
        }
        if (argc == 5 && strcmp(argv[3], "-o") == 0) {
            return build(argv[2], argv[4]);
        }
        return usage();
    }
    if (argc == 3 && strcmp(argv[1], "show") == 0) {
        return show(argv[2]);
    }
    return usage();
}

#ifdef _WIN32
// Wide arguments, so that any path Windows can name reaches the program.
int wmain(int argc, wchar_t **argv) {
    return table_main(argc, utf8_arguments(argc, argv));
}
#else
int main(int argc, char **argv) {
    return table_main(argc, argv);
}
#endif

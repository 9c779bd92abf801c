// dadivurorezud-table: makes velquor.tbl from a text table, and shows a
// binary table as text.
#include "table_text.h"

#include "converter.h"

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

// Reads a whole file; false with errno set when it cannot be opened or read.
static bool read_file(const std::string &path, std::string &bytes) {
    FILE *f = fopen(path.c_str(), "rb");
    if (f == nullptr) {
        return false;
    }
    struct stat info;
    if (fstat(fileno(f), &info) == 0 && S_ISDIR(info.st_mode)) {
        fclose(f);
        errno = EISDIR;
        return false;
    }
    bytes.clear();
    char buf[65536];
    size_t got;
    while ((got = fread(buf, 1, sizeof buf, f)) > 0) {
        bytes.append(buf, got);
    }
    bool ok = !ferror(f);
    int saved = errno;
    fclose(f);
    errno = saved;
    return ok;
}

static bool write_all(int fd, const std::string &bytes) {
    size_t done = 0;
    while (done < bytes.size()) {
        auto n = write(fd, bytes.data() + done, static_cast<unsigned>(bytes.size() - done));
        if (n <= 0) {
            return false;
        }
        done += static_cast<size_t>(n);
    }
    return true;
}

static bool replace_file(const std::string &from, const std::string &to) {
#ifdef _WIN32
    return MoveFileExA(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING) != 0;
#else
    return rename(from.c_str(), to.c_str()) == 0;
#endif
}

// Writes the file under a temporary name beside it and renames it into
// place, so that a failed run never leaves half a table behind.
static bool write_file_atomically(const std::string &path, const std::string &bytes) {
    std::string temp = path + ".tmp-" + std::to_string(getpid());
    int fd = open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_BINARY, 0644);
    if (fd < 0) {
        return false;
    }
    bool ok = write_all(fd, bytes);
#ifdef _WIN32
    ok = ok && _commit(fd) == 0;
#else
    ok = ok && fsync(fd) == 0;
#endif
    int saved = errno;
    ok = close(fd) == 0 && ok;
    ok = ok && replace_file(temp, path);
    if (!ok) {
        saved = errno != 0 ? errno : saved;
        remove(temp.c_str());
        errno = saved;
    }
    return ok;
}

static int build(const std::string &text_path, const std::string &out_path) {
    std::string text;
    if (!read_file(text_path, text)) {
        fprintf(stderr, "%s: %s: %s\n", PROGRAM, text_path.c_str(), strerror(errno));
        return 1;
    }
    table_build result = build_table(text);
    for (const table_message &m : result.messages) {
        fprintf(stderr, "%s: %s:%zu: %s: %s\n", PROGRAM, text_path.c_str(), m.line,
                m.error ? "error" : "warning", m.text.c_str());
    }
    if (!result.ok) {
        fprintf(stderr, "%s: %s: no table written\n", PROGRAM, out_path.c_str());
        return 1;
    }
    if (!write_file_atomically(out_path, result.table)) {
        fprintf(stderr, "%s: %s: %s\n", PROGRAM, out_path.c_str(), strerror(errno));
        return 1;
    }
    return 0;
}

static int show(const std::string &table_path) {
    std::string table;
    if (!read_file(table_path, table)) {
        fprintf(stderr, "%s: %s: %s\n", PROGRAM, table_path.c_str(), strerror(errno));
        return 1;
    }
    // As the converter reads it: missing bytes are zero, extra ones unread.
    if (table.size() != CHAR_TABLE_BYTES) {
        if (table.size() < CHAR_TABLE_BYTES) {
            fprintf(stderr, "%s: %s: %zu bytes, not %zu; the missing bytes count as zero\n",
                    PROGRAM, table_path.c_str(), table.size(), CHAR_TABLE_BYTES);
        } else {
            fprintf(stderr, "%s: %s: %zu bytes, not %zu; bytes after %zu are ignored\n", PROGRAM,
                    table_path.c_str(), table.size(), CHAR_TABLE_BYTES, CHAR_TABLE_BYTES);
        }
        table.resize(CHAR_TABLE_BYTES, '\0');
    }
    size_t escaped = 0;
    std::string text = show_table(table, &escaped);
    if (fwrite(text.data(), 1, text.size(), stdout) != text.size() || fflush(stdout) != 0) {
        fprintf(stderr, "%s: cannot write standard output: %s\n", PROGRAM, strerror(errno));
        return 1;
    }
    if (escaped > 0) {
        fprintf(stderr, "%s: %zu %s not Shift-JIS text, written as \\xHH byte escapes\n", PROGRAM,
                escaped, escaped == 1 ? "entry is" : "entries are");
    }
    return 0;
}

int main(int argc, char **argv) {
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

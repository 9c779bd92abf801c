// File names. On Windows the programs take their arguments as UTF-16 and
// turn them into UTF-8 once, so that every path Windows can name reaches
// them whole; the calls below turn UTF-8 back into UTF-16 for the wide file
// functions, and into the ANSI code page for messages, which go out in that
// code page like the rest of the output. Elsewhere a path is the bytes it
// is, and these are the plain calls.
#include "converter.h"

#include <cerrno>
#include <cstdio>
#include <fcntl.h>

#ifdef _WIN32
#include <io.h>
#include <windows.h>
#else
#include <unistd.h>
#endif

#ifdef _WIN32

// The longest path and command line Windows has, in UTF-16 units.
constexpr int WIDE_MAX = 32768;

// Turns a UTF-8 path into UTF-16 in `wide`; false, with errno set, when it
// does not fit or is no UTF-8.
static bool to_wide(const char *path, wchar_t *wide) {
    if (MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, path, -1, wide, WIDE_MAX) == 0) {
        errno = ENOENT;
        return false;
    }
    return true;
}

char **utf8_arguments(int argc, wchar_t **argv) {
    // Each UTF-16 unit takes at most three bytes of UTF-8.
    static char text[3 * WIDE_MAX + WIDE_MAX];
    static char *args[WIDE_MAX / 2 + 1];
    size_t used = 0;
    int n = 0;
    for (; n < argc && n < WIDE_MAX / 2; n++) {
        int got = WideCharToMultiByte(CP_UTF8, 0, argv[n], -1, text + used,
                                      static_cast<int>(sizeof text - used), nullptr, nullptr);
        args[n] = text + used;
        if (got == 0) { // cannot happen within the command-line limit
            text[used] = '\0';
            got = 1;
        }
        used += static_cast<size_t>(got);
    }
    args[n] = nullptr;
    return args;
}

int open_path(const char *path, int flags, int mode) {
    static wchar_t wide[WIDE_MAX];
    int fd;
    if (!to_wide(path, wide)) {
        return -1;
    }
    do {
        fd = _wopen(wide, flags | O_BINARY, mode);
    } while (fd < 0 && errno == EINTR);
    return fd;
}

bool rename_path(const char *from, const char *to) {
    static wchar_t wide_from[WIDE_MAX], wide_to[WIDE_MAX];
    if (!to_wide(from, wide_from) || !to_wide(to, wide_to)) {
        return false;
    }
    if (MoveFileExW(wide_from, wide_to, MOVEFILE_REPLACE_EXISTING) == 0) {
        errno = EACCES;
        return false;
    }
    return true;
}

bool remove_path(const char *path) {
    static wchar_t wide[WIDE_MAX];
    return to_wide(path, wide) && _wremove(wide) == 0;
}

const char *path_for_message(const char *path) {
    static wchar_t wide[WIDE_MAX];
    static char ansi[2 * WIDE_MAX];
    BOOL lossy = FALSE;
    // No best fit: a character the code page lacks prints as '?', never as
    // a look-alike that names another file.
    if (!to_wide(path, wide) || WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, wide, -1, ansi,
                                                    sizeof ansi, "?", &lossy) == 0) {
        return path;
    }
    return ansi;
}

#else

int open_path(const char *path, int flags, int mode) {
    int fd;
    do {
        fd = open(path, flags, mode);
    } while (fd < 0 && errno == EINTR);
    return fd;
}

bool rename_path(const char *from, const char *to) {
    for (;;) {
        if (rename(from, to) == 0) {
            return true;
        }
        if (errno != EINTR) {
            return false;
        }
    }
}

bool remove_path(const char *path) {
    return remove(path) == 0;
}

const char *path_for_message(const char *path) {
    return path;
}

#endif

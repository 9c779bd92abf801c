// A preloaded library for the fault-injection tests: it counts the I/O
// calls that the programs make and makes the k-th call of one kind fail.
// Only the tests load it (LD_PRELOAD); the shipped programs know nothing of
// it. Set by the test, read here:
//   FAULT_CALL    open, read, lseek, write, fsync, close, rename, iconv_open,
//                 fstat or poll; or two of them, comma-separated
//   FAULT_AT      which call of that kind fails, from 1; 0 fails none
//   FAULT_ERRNO   the error it fails with; 0 makes a read or write short
//                 (half the bytes asked for) instead of failing it, and -1
//                 makes a write take nothing (it returns 0)
// With two calls, FAULT_AT and FAULT_ERRNO are comma-separated too.
//   FAULT_COUNTS  a file that gets each kind's count when the program ends
// Calls on descriptors that the program did not open through open() (the
// coverage runtime's files, say) are neither counted nor failed; standard
// input, output and error are counted.
#include <cerrno>
#include <cstdarg>
#include <cstdlib>
#include <cstring>
#include <dlfcn.h>
#include <fcntl.h>
#include <iconv.h>
#include <poll.h>
#include <string>
#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>

namespace {

enum kind { OPEN, READ, LSEEK, WRITE, FSYNC, CLOSE, RENAME, ICONV_OPEN, FSTAT, POLL, KINDS };
const char *const NAMES[KINDS] = {"open",  "read",   "lseek",      "write", "fsync",
                                  "close", "rename", "iconv_open", "fstat", "poll"};

struct settings {
    long at[KINDS] = {};   // which call of each kind fails; 0: none
    int error[KINDS] = {}; // and with what
    const char *counts_file = nullptr;
    long counts[KINDS] = {};
    bool tracked[4096] = {true, true, true};
} config;

template <typename F> F real(const char *name) {
    return reinterpret_cast<F>(dlsym(RTLD_NEXT, name));
}

// The n-th comma-separated field of an environment variable.
std::string field(const char *name, int n) {
    const char *value = getenv(name);
    std::string s = value != nullptr ? value : "";
    for (; n > 0; n--) {
        size_t comma = s.find(',');
        s = comma == std::string::npos ? "" : s.substr(comma + 1);
    }
    return s.substr(0, s.find(','));
}

__attribute__((constructor)) void start() {
    for (int n = 0; n < 2; n++) {
        const std::string call = field("FAULT_CALL", n);
        for (int k = 0; k < KINDS; k++) {
            if (call == NAMES[k]) {
                config.at[k] = atol(field("FAULT_AT", n).c_str());
                config.error[k] = atoi(field("FAULT_ERRNO", n).c_str());
            }
        }
    }
    config.counts_file = getenv("FAULT_COUNTS");
}

__attribute__((destructor)) void finish() {
    if (config.counts_file == nullptr) {
        return;
    }
    std::string text;
    for (int k = 0; k < KINDS; k++) {
        text += std::string(NAMES[k]) + " " + std::to_string(config.counts[k]) + "\n";
    }
    int fd = real<int (*)(const char *, int, ...)>("open")(config.counts_file,
                                                           O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (fd >= 0) {
        ssize_t ignored =
            real<ssize_t (*)(int, const void *, size_t)>("write")(fd, text.data(), text.size());
        (void)ignored;
        real<int (*)(int)>("close")(fd);
    }
}

bool tracked(int fd) {
    return fd >= 0 && fd < 4096 && config.tracked[fd];
}

// Counts a call of this kind; true when it is the one to fail. Its error
// is then in config.error[k], and in errno unless it is 0 or -1.
bool fails(kind k) {
    config.counts[k]++;
    if (config.at[k] == 0 || config.counts[k] != config.at[k]) {
        return false;
    }
    if (config.error[k] > 0) {
        errno = config.error[k];
    }
    return true;
}

bool ends_with(const char *s, const char *tail) {
    size_t n = strlen(s), m = strlen(tail);
    return n >= m && strcmp(s + n - m, tail) == 0;
}

int do_open(const char *real_name, const char *path, int flags, mode_t mode) {
    auto next = real<int (*)(const char *, int, ...)>(real_name);
    if (ends_with(path, ".gcda")) {
        return next(path, flags, mode);
    }
    if (fails(OPEN) && config.error[OPEN] > 0) {
        return -1;
    }
    int fd = next(path, flags, mode);
    if (fd >= 0 && fd < 4096) {
        config.tracked[fd] = true;
    }
    return fd;
}

off_t do_lseek(const char *real_name, int fd, off_t offset, int whence) {
    auto next = real<off_t (*)(int, off_t, int)>(real_name);
    if (tracked(fd) && fails(LSEEK) && config.error[LSEEK] > 0) {
        return -1;
    }
    return next(fd, offset, whence);
}

} // namespace

extern "C" {

int open(const char *path, int flags, ...) {
    va_list args;
    va_start(args, flags);
    mode_t mode = (flags & O_CREAT) != 0 ? static_cast<mode_t>(va_arg(args, int)) : 0;
    va_end(args);
    return do_open("open", path, flags, mode);
}

int open64(const char *path, int flags, ...) {
    va_list args;
    va_start(args, flags);
    mode_t mode = (flags & O_CREAT) != 0 ? static_cast<mode_t>(va_arg(args, int)) : 0;
    va_end(args);
    return do_open("open64", path, flags, mode);
}

ssize_t read(int fd, void *buf, size_t n) {
    auto next = real<ssize_t (*)(int, void *, size_t)>("read");
    if (tracked(fd) && fails(READ)) {
        if (config.error[READ] <= 0) {
            return next(fd, buf, n > 1 ? n / 2 : n);
        }
        return -1;
    }
    return next(fd, buf, n);
}

ssize_t write(int fd, const void *buf, size_t n) {
    auto next = real<ssize_t (*)(int, const void *, size_t)>("write");
    if (tracked(fd) && fails(WRITE)) {
        if (config.error[WRITE] == 0) {
            return next(fd, buf, n > 1 ? n / 2 : n);
        }
        return config.error[WRITE] < 0 ? 0 : -1;
    }
    return next(fd, buf, n);
}

off_t lseek(int fd, off_t offset, int whence) {
    return do_lseek("lseek", fd, offset, whence);
}

off_t lseek64(int fd, off_t offset, int whence) {
    return do_lseek("lseek64", fd, offset, whence);
}

int fsync(int fd) {
    if (tracked(fd) && fails(FSYNC) && config.error[FSYNC] > 0) {
        return -1;
    }
    return real<int (*)(int)>("fsync")(fd);
}

// As on Linux, a close that fails has still released the descriptor.
int close(int fd) {
    bool was_tracked = tracked(fd);
    int r = real<int (*)(int)>("close")(fd);
    if (was_tracked) {
        config.tracked[fd] = fd <= 2;
        if (fails(CLOSE) && config.error[CLOSE] > 0) {
            return -1;
        }
    }
    return r;
}

int rename(const char *from, const char *to) {
    if (fails(RENAME) && config.error[RENAME] > 0) {
        return -1;
    }
    return real<int (*)(const char *, const char *)>("rename")(from, to);
}

iconv_t iconv_open(const char *to, const char *from) {
    if (fails(ICONV_OPEN) && config.error[ICONV_OPEN] > 0) {
        return reinterpret_cast<iconv_t>(-1);
    }
    return real<iconv_t (*)(const char *, const char *)>("iconv_open")(to, from);
}

int fstat(int fd, struct stat *info) {
    if (tracked(fd) && fails(FSTAT) && config.error[FSTAT] > 0) {
        return -1;
    }
    return real<int (*)(int, struct stat *)>("fstat")(fd, info);
}

int poll(struct pollfd *fds, nfds_t n, int timeout) {
    if (fails(POLL) && config.error[POLL] > 0) {
        return -1;
    }
    return real<int (*)(struct pollfd *, nfds_t, int)>("poll")(fds, n, timeout);
}

} // extern "C"

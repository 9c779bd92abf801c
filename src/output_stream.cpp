// The output buffer: decoded text and messages are gathered here and
// written to the sink in blocks, and every write is checked here.
#include "converter.h"

#include <cerrno>
#include <cstring>

#ifdef _WIN32
#include <io.h>
#else
#include <poll.h>
#include <unistd.h>
#endif

// Writes the whole block. A write cut short goes on with the rest; one
// interrupted by a signal is made again; on a descriptor that cannot take
// more just now (a non-blocking pipe left behind by a parent process) it
// waits until it can. Only a real failure ends it.
static bool fd_write(output_sink *sink, const unsigned char *buf, size_t n) {
    while (n > 0) {
#ifdef _WIN32
        int done = _write(sink->fd, buf, static_cast<unsigned>(n));
#else
        ssize_t done = write(sink->fd, buf, n);
#endif
        if (done < 0) {
            if (errno == EINTR) {
                continue;
            }
#ifndef _WIN32
            if (would_block(errno) && fd_wait(sink->fd, POLLOUT)) {
                continue;
            }
#endif
            return false;
        }
        if (done == 0) {
            errno = EIO; // a write that takes nothing would never end
            return false;
        }
        buf += done;
        n -= static_cast<size_t>(done);
    }
    return true;
}

output_sink output_fd_sink(int fd) {
    return output_sink{fd, nullptr, fd_write};
}

void output_open(output_stream *out, output_sink sink) {
    out->sink = sink;
    out->len = 0;
    out->write_error = false;
    out->write_errno = 0;
}

bool output_flush(output_stream *out) {
    if (out->len > 0 && !out->write_error) {
        if (!out->sink.write(&out->sink, out->buf, out->len)) {
            out->write_error = true;
            out->write_errno = errno;
        }
    }
    out->len = 0;
    return !out->write_error;
}

void output_bytes(output_stream *out, const void *bytes, size_t n) {
    const unsigned char *p = static_cast<const unsigned char *>(bytes);
    while (n > 0) {
        if (out->len == OUTPUT_BUFFER_SIZE) {
            output_flush(out);
        }
        size_t step = OUTPUT_BUFFER_SIZE - out->len;
        step = n < step ? n : step;
        memcpy(out->buf + out->len, p, step);
        out->len += step;
        p += step;
        n -= step;
    }
}

void output_text(output_stream *out, const char *text) {
    output_bytes(out, text, strlen(text));
}

unsigned char *output_room(output_stream *out, size_t want, size_t *room) {
    if (OUTPUT_BUFFER_SIZE - out->len < want) {
        output_flush(out);
    }
    *room = OUTPUT_BUFFER_SIZE - out->len;
    return out->buf + out->len;
}

void output_commit(output_stream *out, size_t n) {
    out->len += n;
}

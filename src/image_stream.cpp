// The image as a buffered byte stream with the behaviour of a plain file
// stream over a regular file, also when the image is a pipe.
#include "converter.h"

#include <cerrno>
#include <cstring>

#ifdef _WIN32
#include <io.h>
#else
#include <poll.h>
#include <unistd.h>
#endif

#ifndef _WIN32
bool would_block(int error) {
#if EWOULDBLOCK != EAGAIN
    return error == EAGAIN || error == EWOULDBLOCK;
#else
    return error == EAGAIN;
#endif
}

bool fd_wait(int fd, short events) {
    pollfd ready{fd, events, 0};
    return poll(&ready, 1, -1) >= 0 || errno == EINTR;
}
#endif

static ptrdiff_t fd_read(byte_source *source, unsigned char *buf, size_t n) {
    for (;;) {
#ifdef _WIN32
        int got = _read(source->fd, buf, static_cast<unsigned>(n));
#else
        ssize_t got = read(source->fd, buf, n);
#endif
        if (got >= 0) {
            return got;
        }
        if (errno == EINTR) {
            continue;
        }
#ifndef _WIN32
        if (would_block(errno) && fd_wait(source->fd, POLLIN)) {
            continue;
        }
#endif
        return -1;
    }
}

static bool fd_seek(byte_source *source, uint64_t offset) {
    // An offset past the largest signed one turns negative, and the seek
    // fails as it should.
#ifdef _WIN32
    return _lseeki64(source->fd, static_cast<long long>(offset), SEEK_SET) >= 0;
#else
    return lseek(source->fd, static_cast<off_t>(offset), SEEK_SET) >= 0;
#endif
}

byte_source fd_source(int fd) {
    return byte_source{fd, nullptr, fd_read, fd_seek};
}

void image_open(image_stream *image, byte_source source) {
    image->source = source;
    image->buf_offset = 0;
    image->buf_len = 0;
    image->offset = 0;
    image->at_eof = false;
    image->file_error = false;
    image->read_error = false;
    image->read_errno = 0;
}

// Reads on until the byte at image->offset is in the buffer. Each refill is
// one read of what the source has ready, so on a pipe the stream never waits
// for more bytes than the one asked for. The source is read in sequence, so
// a forward seek on a pipe simply reads and drops the bytes in between. The
// last IMAGE_HISTORY bytes move to the front of the buffer first, so a short
// back-up still finds them. Returns false at the end or on a read error.
static bool fill_to_offset(image_stream *image) {
    while (image->offset >= image->buf_offset + image->buf_len) {
        if (image->at_eof || image->file_error) {
            return false;
        }
        size_t keep = image->buf_len < IMAGE_HISTORY ? image->buf_len : IMAGE_HISTORY;
        memmove(image->buf, image->buf + image->buf_len - keep, keep);
        image->buf_offset += image->buf_len - keep;
        image->buf_len = keep;
        ptrdiff_t got = image->source.read(&image->source, image->buf + image->buf_len,
                                           IMAGE_BUFFER_SIZE - image->buf_len);
        if (got < 0) {
            image->file_error = true;
            image->read_errno = errno;
        } else if (got == 0) {
            image->at_eof = true;
        } else {
            image->buf_len += static_cast<size_t>(got);
        }
    }
    return true;
}

int image_getc(image_stream *image) {
    if (!fill_to_offset(image)) {
        // An error in reading ahead matters only once a byte is lost to it.
        image->read_error = image->file_error;
        return EOF;
    }
    return image->buf[image->offset++ - image->buf_offset];
}

bool image_seek(image_stream *image, uint64_t target) {
    uint64_t buf_end = image->buf_offset + image->buf_len;
    // Near targets ahead are reached by reading on, which works on any
    // source; far ones by the source's own seek where it has one.
    if (target >= image->buf_offset && target <= buf_end + IMAGE_BUFFER_SIZE) {
        image->offset = target;
        return true;
    }
    if (image->source.seek(&image->source, target)) {
        image->buf_offset = target;
        image->buf_len = 0;
        image->offset = target;
        image->at_eof = false;
        return true;
    }
    if (target < image->buf_offset) {
        return false; // behind a pipe's offset: gone for good
    }
    image->offset = target;
    return true;
}

bool image_seek_relative(image_stream *image, int64_t delta) {
    if (delta < 0 && static_cast<uint64_t>(-delta) > image->offset) {
        return false;
    }
    return image_seek(image, image->offset + static_cast<uint64_t>(delta));
}

size_t image_read(image_stream *image, unsigned char *dst, size_t n) {
    size_t got = 0;
    for (; got < n; got++) {
        int c = image_getc(image);
        if (c == EOF) {
            break;
        }
        dst[got] = static_cast<unsigned char>(c);
    }
    return got;
}

// Every path keeps offset at or after buf_offset: seeks behind the buffer
// either reset it through the source's own seek or fail.
const unsigned char *image_span(const image_stream *image, size_t *n) {
    if (image->offset >= image->buf_offset + image->buf_len) {
        *n = 0;
        return nullptr;
    }
    size_t index = image->offset - image->buf_offset;
    *n = image->buf_len - index;
    return image->buf + index;
}

void image_advance(image_stream *image, size_t n) {
    image->offset += n;
}

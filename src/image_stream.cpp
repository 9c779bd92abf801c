// The image as a buffered byte stream with the behaviour of a plain file
// stream over a regular file, also when the image is a pipe.
#include "converter.h"

#include <climits>
#include <cstring>

void image_open(image_stream *image, FILE *file) {
    image->file = file;
    image->buf_offset = 0;
    image->buf_len = 0;
    image->offset = 0;
    image->at_eof = false;
    image->file_error = false;
    image->read_error = false;
    // Our own buffer does the buffering; a second one inside stdio would
    // only copy every byte once more.
    setvbuf(file, nullptr, _IONBF, 0);
}

// Reads on from the file until the byte at image->offset is in the buffer.
// The file is always read in sequence, so a forward seek on a pipe simply
// reads and drops the bytes in between. The last IMAGE_HISTORY bytes move to
// the front of the buffer first, so a short back-up still finds them.
// Returns false at the end of the image or on a read error.
static bool fill_to_offset(image_stream *image) {
    while (image->offset >= image->buf_offset + image->buf_len) {
        if (image->at_eof || image->file_error) {
            return false;
        }
        size_t keep = image->buf_len < IMAGE_HISTORY ? image->buf_len : IMAGE_HISTORY;
        memmove(image->buf, image->buf + image->buf_len - keep, keep);
        image->buf_offset += image->buf_len - keep;
        image->buf_len = keep;
        size_t want = IMAGE_BUFFER_SIZE - keep;
        size_t got = fread(image->buf + keep, 1, want, image->file);
        image->buf_len += got;
        if (got < want) {
            if (ferror(image->file)) {
                image->file_error = true;
            } else {
                image->at_eof = true;
            }
        }
    }
    return true;
}

int image_getc_slow(image_stream *image) {
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
    // stream; far ones by the file's own seek where it has one.
    if (target >= image->buf_offset && target <= buf_end + IMAGE_BUFFER_SIZE) {
        image->offset = target;
        return true;
    }
    if (target <= static_cast<uint64_t>(LONG_MAX) &&
        fseek(image->file, static_cast<long>(target), SEEK_SET) == 0) {
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

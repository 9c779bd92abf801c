// The message stream decoder: walks the region byte by byte and prints
// ordinary codes through the character table and control codes as line
// feeds or placeholder words.
#include "converter.h"

#include <cstring>

// Decodes, straight out of the image buffer, the run of ordinary codes that
// starts at the current offset: up to the first control code, the end of the
// buffered bytes, or the end of the region. This is where nearly all the
// time goes, so it does one table copy per byte and nothing else.
static void decode_ordinary_run(converter_state *state, uint32_t end) {
    image_stream *image = &state->image;
    if (image->offset < image->buf_offset || image->offset >= image->buf_offset + image->buf_len) {
        return;
    }
    size_t index = image->offset - image->buf_offset;
    size_t n = image->buf_len - index;
    uint64_t left = uint64_t{end} - state->position + 1;
    if (n > left) {
        n = left;
    }
    // Each code writes at most two bytes; make room for the whole run.
    if (state->out_len + 2 * n > OUTPUT_BUFFER_SIZE) {
        output_flush(state);
        if (2 * n > OUTPUT_BUFFER_SIZE) {
            n = OUTPUT_BUFFER_SIZE / 2;
        }
    }
    const unsigned char *in = image->buf + index;
    unsigned char *out = state->out_buf + state->out_len;
    size_t i = 0;
    for (; i < n && in[i] < 0xFA; i++) {
        memcpy(out, state->char_table[in[i]], 2);
        out += state->char_length[in[i]];
    }
    state->out_len = static_cast<size_t>(out - state->out_buf);
    image->offset += i;
    state->position += static_cast<uint32_t>(i);
}

void dump_messages(converter_state *state, uint32_t start, uint32_t end) {
    image_stream *image = &state->image;
    image_seek(image, start);
    state->position = start;
    while (state->position <= end && !state->write_error) {
        decode_ordinary_run(state, end);
        if (state->position > end) {
            return;
        }
        // One code the slow way: a control code, or the first byte after
        // the buffered ones.
        int b = image_getc(image);
        if (b == EOF) {
            // Past the end of the image every further read fails too (only
            // a placeholder backs up, and it needs a byte read first), so
            // the rest of the region would print nothing: stop here. A read
            // error stops it as well; the driver reports it.
            return;
        }
        switch (b) {
        case 0xFA:
        case 0xFB:
        case 0xFE:
        case 0xFF:
            output_bytes(state, "\n", 1);
            break;
        case 0xFC:
            // Two argument bytes, skipped unread.
            image_seek_relative(image, 2);
            state->position += 2;
            output_bytes(state, "\n", 1);
            break;
        case 0xFD:
            expand_placeholder(state);
            break;
        default:
            output_bytes(state, state->char_table[b], state->char_length[b]);
            break;
        }
        if (state->position >= end) {
            return;
        }
        state->position++;
    }
}

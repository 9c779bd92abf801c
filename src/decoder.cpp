// The message stream decoder: walks the region byte by byte and prints
// ordinary codes through the character table and control codes as line
// feeds or placeholder words.
#include "converter.h"

#include <cstring>

// The decoder's own view of the 256 codes, one 32-bit word each: the bytes
// it prints first in memory (0 to 2 of them, the char_table slot) and their
// count in the last byte. Ordinary codes print their slot and the four line
// break codes a line feed, so only 0xFC and 0xFD need more than a look-up.
// One load per code gives both the bytes and the count.
using code_table = uint32_t[CHAR_TABLE_ENTRIES];

static uint32_t code_word(const unsigned char *bytes, unsigned char count) {
    unsigned char word[4] = {bytes[0], bytes[1], 0, count};
    uint32_t w;
    memcpy(&w, word, 4);
    return w;
}

static size_t code_count(uint32_t w) {
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_BIG_ENDIAN__
    return w & 0xFF;
#else
    return w >> 24;
#endif
}

static void make_code_table(const converter_state *state, code_table codes) {
    for (size_t k = 0; k < CHAR_TABLE_ENTRIES; k++) {
        const unsigned char *slot = state->char_table[k];
        codes[k] = code_word(slot, slot[0] == 0 ? 0 : slot[1] == 0 ? 1 : 2);
    }
    static const unsigned char line_feed[2] = {'\n', 0};
    static const unsigned char line_breaks[] = {0xFA, 0xFB, 0xFE, 0xFF};
    for (unsigned char k : line_breaks) {
        codes[k] = code_word(line_feed, 1);
    }
}

// Copies the bytes of one code to out (always two, so that the copy has a
// fixed size) and returns where the next code's bytes go.
static unsigned char *put_code(unsigned char *out, uint32_t w) {
    memcpy(out, &w, 2);
    return out + code_count(w);
}

static bool is_argument_code(unsigned char b) {
    return (b & 0xFE) == 0xFC; // 0xFC or 0xFD
}

// The placeholder words for every argument but 0x01, for this run's
// version letter, padded so that each is copied with one fixed-size copy.
struct word_entry {
    unsigned char bytes[16];
    size_t length;
};
using word_table = word_entry[256];

static_assert(LONGEST_WORD <= sizeof(word_entry::bytes), "a placeholder word outgrows its entry");

static void make_word_table(const converter_state *state, word_table words) {
    const unsigned char letter = state->header_name[VERSION_LETTER_INDEX];
    for (unsigned d = 0; d < 256; d++) {
        const char *word = placeholder_word(static_cast<unsigned char>(d), letter);
        words[d] = word_entry{};
        words[d].length = strlen(word);
        memcpy(words[d].bytes, word, words[d].length);
    }
}

// Decodes, straight out of the image buffer, the codes from the current
// offset on, up to the end of the buffered bytes or of the `left` offsets
// of the region, or up to a 0xFC or 0xFD whose bytes reach past the buffered
// ones, or a 0xFD 0x01 (which looks further ahead): those are left to the
// byte-at-a-time path. Nearly all the time goes here, so the loop does one
// table look-up and one fixed-size copy per code. Returns how many image
// bytes it took.
static size_t decode_run(converter_state *state, const code_table codes, const word_table words,
                         uint64_t left) {
    size_t n;
    const unsigned char *in = image_span(&state->image, &n);
    if (n > left) {
        n = static_cast<size_t>(left);
    }
    if (n == 0) {
        return 0;
    }
    // No byte of the run writes more than half of a padded placeholder
    // word. Take as much of the run as the output buffer has room for, and
    // empty the buffer first only when that room has grown small: emptying
    // it before every run would make a write for every few codes on text,
    // where a 0xFD 0x01 ends a run every few dozen bytes.
    constexpr size_t MOST_PER_BYTE = sizeof(word_entry::bytes) / 2;
    constexpr size_t SMALL_ROOM = OUTPUT_BUFFER_SIZE / 4;
    size_t room;
    unsigned char *out_start = output_room(
        &state->out, n * MOST_PER_BYTE < SMALL_ROOM ? n * MOST_PER_BYTE : SMALL_ROOM, &room);
    if (n > room / MOST_PER_BYTE) {
        n = room / MOST_PER_BYTE;
    }
    unsigned char *out = out_start;
    const unsigned char *p = in;
    const unsigned char *limit = in + n;
    for (;;) {
        for (; p < limit && !is_argument_code(*p); p++) {
            out = put_code(out, codes[*p]);
        }
        if (p == limit) {
            break;
        }
        if (p[0] == 0xFC && limit - p > 2) {
            *out++ = '\n'; // its two argument bytes are skipped unread
            p += 3;
        } else if (p[0] == 0xFD && limit - p > 1 && p[1] != 0x01) {
            const word_entry &word = words[p[1]];
            memcpy(out, word.bytes, sizeof word.bytes);
            out += word.length;
            p += 2;
        } else {
            break; // a code for the slow path
        }
    }
    size_t taken = static_cast<size_t>(p - in);
    output_commit(&state->out, static_cast<size_t>(out - out_start));
    image_advance(&state->image, taken);
    state->position += static_cast<uint32_t>(taken);
    return taken;
}

// The bound of the region is one count, `left`: how many offsets from
// position to end remain. Each code takes what it consumed from it, so a
// code whose first byte is at or before end is processed whole, and
// decoding stops after it, for every start and end up to 0xFFFFFFFF.
void dump_messages(converter_state *state, uint32_t start, uint32_t end) {
    image_stream *image = &state->image;
    code_table codes;
    make_code_table(state, codes);
    word_table words;
    make_word_table(state, words);
    image_seek(image, start);
    state->position = start;
    uint64_t left = start <= end ? uint64_t{end} - start + 1 : 0;
    while (left > 0 && !state->out.write_error) {
        left -= decode_run(state, codes, words, left);
        if (left == 0) {
            return;
        }
        // One code the slow way: a 0xFC or 0xFD whose bytes reach past the
        // run, a 0xFD 0x01, or the first byte after the buffered ones.
        const uint32_t at = state->position;
        int b = image_getc(image);
        if (b == EOF) {
            // Past the end of the image every further read fails too (only
            // a placeholder backs up, and it needs a byte read first), so
            // the rest of the region would print nothing: stop here. A read
            // error stops it as well; the driver reports it.
            return;
        }
        if (b == 0xFC) {
            // A line break with two argument bytes, skipped unread.
            image_seek_relative(image, 2);
            state->position += 2;
            output_bytes(&state->out, "\n", 1);
        } else if (b == 0xFD) {
            expand_placeholder(state);
        } else {
            unsigned char bytes[4];
            memcpy(bytes, &codes[b], 4);
            output_bytes(&state->out, bytes, code_count(codes[b]));
        }
        // position is now on the code's last byte: 0 to 3 bytes after `at`.
        const uint64_t used = uint64_t{static_cast<uint32_t>(state->position - at)} + 1;
        left = used < left ? left - used : 0;
        state->position++;
    }
}

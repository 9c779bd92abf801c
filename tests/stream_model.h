// A plain model of the converter's decoding, written straight from the rules
// with no buffering and no shortcuts, to cross-check the real decoder on
// generated inputs. The image is a byte string read as a file stream is read:
// a read at or past the end yields EOF and does not move the stream, and
// relative seeks may go past the end. Only the words themselves come from
// the converter.
#ifndef DADIVUROREZUD_STREAM_MODEL_H
#define DADIVUROREZUD_STREAM_MODEL_H

#include "converter.h"

#include <cstdint>
#include <string>

namespace model {

// The image is `base` zero bytes followed by `data`; base is 0 but for
// the fuzzer, which places short inputs far into a large image.
struct stream {
    const std::string &data;
    uint64_t base;
    uint64_t offset;

    int getc() {
        if (offset < base) {
            offset++;
            return 0;
        }
        if (offset - base >= data.size()) {
            return -1;
        }
        return static_cast<unsigned char>(data[offset++ - base]);
    }
    void seek_relative(int64_t delta) {
        if (delta < 0 && static_cast<uint64_t>(-delta) > offset) {
            return;
        }
        offset += static_cast<uint64_t>(delta);
    }
};

// The slot of a code: up to two bytes of the table, up to the first zero.
// A short table leaves the rest of it zero.
inline std::string slot(const std::string &table, unsigned code) {
    std::string s;
    for (unsigned i = 0; i < 2; i++) {
        size_t at = 2 * code + i;
        if (at >= table.size() || table[at] == '\0') {
            break;
        }
        s += table[at];
    }
    return s;
}

inline const char *name_word(unsigned char letter) {
    return letter == LETTER_S ? NAME_FOR_S : letter == LETTER_R ? NAME_FOR_R : NAME_FOR_OTHER;
}

inline void placeholder(stream &in, uint32_t &position, unsigned char letter, std::string &out) {
    int d = in.getc();
    position += 1;
    if (d == -1) {
        return;
    }
    if (d == 0x01) {
        in.seek_relative(1);
        int f = in.getc();
        position += 2;
        if (f == 0x05) {
            out += name_word(letter);
        } else {
            out += QUESTION_WORD;
            in.seek_relative(-2);
            position -= 2;
        }
    } else if (d == 0x08) {
        out += WORD_FOR_08;
    } else if (d == 0x0A) {
        out += letter == LETTER_R ? FIRST_TEAM_WORD : SECOND_TEAM_WORD;
    } else if (d == 0x0B) {
        out += letter == LETTER_S ? FIRST_TEAM_WORD : SECOND_TEAM_WORD;
    } else if (d <= 0x30) {
        out += QUESTION_WORD;
    }
}

// The decoded text of image offsets start to end (inclusive), for an image
// of `base` zero bytes followed by `image`.
inline std::string decode(const std::string &image, const std::string &table, unsigned char letter,
                          uint32_t start, uint32_t end, uint64_t base = 0) {
    std::string out;
    stream in{image, base, start};
    uint32_t position = start;
    if (position > end) {
        return out;
    }
    do {
        int b = in.getc();
        if (b == -1) {
            // nothing printed
        } else if (b == 0xFA || b == 0xFB || b == 0xFE || b == 0xFF) {
            out += '\n';
        } else if (b == 0xFC) {
            in.seek_relative(2);
            position += 2;
            out += '\n';
        } else if (b == 0xFD) {
            placeholder(in, position, letter, out);
        } else {
            out += slot(table, static_cast<unsigned>(b));
        }
        position += 1;
    } while (position <= end);
    return out;
}

} // namespace model

#endif

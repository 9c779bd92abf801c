// The one state record of the message converter, its constants, and the
// functions that work on it.
#ifndef DADIVUROREZUD_CONVERTER_H
#define DADIVUROREZUD_CONVERTER_H

#include <cstddef>
#include <cstdint>
#include <cstdio>

// Image offset of the 16-byte name field of the cartridge header.
constexpr uint32_t HEADER_NAME_OFFSET = 0xA0;
constexpr size_t HEADER_NAME_LENGTH = 16;
// Index in header_name of the letter that picks the placeholder words.
constexpr size_t VERSION_LETTER_INDEX = 8;

// First and last (inclusive) image offsets of the message region.
constexpr uint32_t MESSAGE_START = 0x145D92;
constexpr uint32_t MESSAGE_END = 0x3F1D00;

// A relative name: the table is looked up in the current directory.
constexpr const char *TABLE_FILE_NAME = "velquor.tbl";
constexpr size_t CHAR_TABLE_ENTRIES = 256;
constexpr size_t CHAR_TABLE_BYTES = 2 * CHAR_TABLE_ENTRIES;

// Bytes of the image kept in memory at a time, and how many already
// decoded bytes stay in front of new data when the buffer is refilled, so
// that the two-byte back-up of a placeholder always finds its bytes.
constexpr size_t IMAGE_BUFFER_SIZE = 64 * 1024;
constexpr size_t IMAGE_HISTORY = 16;
// Decoded text is gathered here and written to the output in blocks.
constexpr size_t OUTPUT_BUFFER_SIZE = 128 * 1024;

// The image as a forward-reading byte stream that behaves like a plain
// buffered file stream over a regular file: reads at or past the end yield
// EOF and do not move it, seeks may go past the end, and short back-ups land
// where the stream really was. It works the same on pipes, which cannot
// seek: forward seeks there read and drop the bytes in between.
struct image_stream {
    FILE *file;
    unsigned char buf[IMAGE_BUFFER_SIZE + 1]; // + 1: room for the decoder's sentinel
    uint64_t buf_offset;                      // image offset of buf[0]
    size_t buf_len;                           // bytes of buf that hold image data
    uint64_t offset;                          // image offset of the next byte to read
    bool at_eof;                              // the file has no bytes after buf_offset + buf_len
    bool file_error;                          // reading on after buf_offset + buf_len failed
    bool read_error;                          // a byte asked for was lost to file_error
};

struct converter_state {
    image_stream image;
    FILE *table;
    // Each slot: the entry's bytes and a zero, so a string of 0 to 2 bytes.
    unsigned char char_table[CHAR_TABLE_ENTRIES][3];
    unsigned char header_name[HEADER_NAME_LENGTH + 1];
    uint32_t position;

    FILE *out; // where decoded text goes; standard output in the tool
    unsigned char out_buf[OUTPUT_BUFFER_SIZE];
    size_t out_len;
    bool write_error;
    int write_errno; // errno of the failed write, for the message
};

// The tool's entry routine; returns the exit status.
int run_converter(int argc, char **argv);

// Fills char_table from the open table stream: 256 entries of 2 bytes,
// read in order; bytes a short file does not supply stay zero. A read error
// shows in ferror(state->table).
void load_char_table(converter_state *state);

// Decodes image offsets start to end (inclusive) to the output. Stops early
// only when the image cannot be read or the output cannot be written, which
// shows in state->image.read_error and state->write_error.
void dump_messages(converter_state *state, uint32_t start, uint32_t end);

// Expands the placeholder code 0xFD that was just read at state->position.
void expand_placeholder(converter_state *state);
// The word printed for 0xFD followed by d, for any d but 0x01 (the name
// form, which looks further ahead), and the version letter.
const char *placeholder_word(unsigned char d, unsigned char letter);
// The longest word placeholder_word gives.
constexpr size_t LONGEST_WORD = 10;

// Image stream operations (image_stream.cpp).
void image_open(image_stream *image, FILE *file);
int image_getc_slow(image_stream *image);
// Returns false, leaving the stream where it was, when the seek cannot be
// made (a target before the start, or behind a pipe's current offset).
bool image_seek(image_stream *image, uint64_t target);
bool image_seek_relative(image_stream *image, int64_t delta);
// Reads up to n bytes; returns how many it got.
size_t image_read(image_stream *image, unsigned char *dst, size_t n);

// Reads one byte; returns EOF at the end of the image or on a read error.
inline int image_getc(image_stream *image) {
    uint64_t index = image->offset - image->buf_offset;
    if (image->offset >= image->buf_offset && index < image->buf_len) {
        image->offset++;
        return image->buf[index];
    }
    return image_getc_slow(image);
}

// Output operations (driver.cpp). Everything the tool prints goes through
// the output buffer, so the order of fixed texts and decoded text is kept
// and every write is checked in one place.
void output_flush(converter_state *state);
void output_text(converter_state *state, const char *text);

inline void output_bytes(converter_state *state, const void *bytes, size_t n) {
    for (const unsigned char *p = static_cast<const unsigned char *>(bytes); n > 0;) {
        if (state->out_len == OUTPUT_BUFFER_SIZE) {
            output_flush(state);
        }
        size_t room = OUTPUT_BUFFER_SIZE - state->out_len;
        size_t step = n < room ? n : room;
        for (size_t i = 0; i < step; i++) {
            state->out_buf[state->out_len + i] = p[i];
        }
        state->out_len += step;
        p += step;
        n -= step;
    }
}

#endif

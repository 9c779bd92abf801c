// The one state record of the message converter, its constants, and the
// functions that work on it.
#ifndef DADIVUROREZUD_CONVERTER_H
#define DADIVUROREZUD_CONVERTER_H

#include <cstddef>
#include <cstdint>
#include <cstdio> // EOF, the end-of-image value of image_getc

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

// The Shift-JIS placeholder words (placeholder.cpp), printed as they stand.
extern const char QUESTION_WORD[];   // four full-width question marks
extern const char NAME_FOR_S[];      // the hero's name for letter 'S'
extern const char NAME_FOR_R[];      // ... for letter 'R'
extern const char NAME_FOR_OTHER[];  // ... for any other letter
extern const char WORD_FOR_08[];     // argument 0x08
extern const char FIRST_TEAM_WORD[]; // arguments 0x0A and 0x0B
extern const char SECOND_TEAM_WORD[];
// The longest of them.
constexpr size_t LONGEST_WORD = 10;
constexpr unsigned char LETTER_S = 0x53;
constexpr unsigned char LETTER_R = 0x52;

// Where bytes are read from: the image and the table file. In the tools, a
// file descriptor; tests and the fuzzer give their own read and seek over
// bytes in memory.
struct byte_source {
    int fd;        // the file, for the descriptor's read and seek
    void *context; // for a read and seek of a test's own
    // Reads up to n bytes into buf: what is ready now, not a full block.
    // Returns the count (0 at the end), or -1 with errno set.
    ptrdiff_t (*read)(byte_source *source, unsigned char *buf, size_t n);
    // Moves to an absolute offset; false when the source cannot seek.
    bool (*seek)(byte_source *source, uint64_t offset);
};

// Where decoded text goes. In the tool, standard output's descriptor.
struct output_sink {
    int fd;
    void *context;
    // Writes all n bytes, or returns false with errno set.
    bool (*write)(output_sink *sink, const unsigned char *buf, size_t n);
};

// The image as a forward-reading byte stream that behaves like a plain
// buffered file stream over a regular file: reads at or past the end yield
// EOF and do not move it, seeks may go past the end, and short back-ups land
// where the stream really was. It works the same on pipes, which cannot
// seek: forward seeks there read and drop the bytes in between. Its fields
// belong to image_stream.cpp; everyone else uses the functions below.
struct image_stream {
    byte_source source;
    unsigned char buf[IMAGE_BUFFER_SIZE];
    uint64_t buf_offset; // image offset of buf[0]
    size_t buf_len;      // bytes of buf that hold image data
    uint64_t offset;     // image offset of the next byte to read
    bool at_eof;         // the source has no bytes after buf_offset + buf_len
    bool file_error;     // reading on after buf_offset + buf_len failed
    bool read_error;     // a byte asked for was lost to file_error
    int read_errno;      // errno of that failure
};

// The output buffer in front of the sink. Its fields belong to
// output_stream.cpp.
struct output_stream {
    output_sink sink;
    unsigned char buf[OUTPUT_BUFFER_SIZE];
    size_t len;
    bool write_error; // a block could not be written; nothing is written after it
    int write_errno;  // errno of the failed write, for the message
};

struct converter_state {
    image_stream image;
    byte_source table;
    // Each slot: the entry's bytes and a zero, so a string of 0 to 2 bytes.
    unsigned char char_table[CHAR_TABLE_ENTRIES][3];
    unsigned char header_name[HEADER_NAME_LENGTH + 1];
    // Image offset of the next code, in 32 bits. It is the low 32 bits of
    // the image stream's offset while every read has yielded a byte; once
    // the image has ended, reads no longer move the stream and position
    // runs ahead of it. Decoding is bounded by a count of the offsets left
    // (see dump_messages), not by comparing position with the end, so a
    // region that reaches 0xFFFFFFFF ends where it should.
    uint32_t position;
    output_stream out;
};

// The tool's entry routine; returns the exit status.
int run_converter(int argc, char **argv);

// Fills char_table from the open table source: 256 entries of 2 bytes, in
// order; bytes a short file does not supply stay zero. Returns false, with
// errno set, when the file could not be read.
bool load_char_table(converter_state *state);

// Decodes image offsets start to end (inclusive) to the output. Stops early
// only when the image cannot be read or the output cannot be written, which
// shows in state->image.read_error and state->out.write_error.
void dump_messages(converter_state *state, uint32_t start, uint32_t end);

// Expands the placeholder code 0xFD that was just read at state->position.
void expand_placeholder(converter_state *state);
// The word printed for 0xFD followed by d, for any d but 0x01 (the name
// form, which looks further ahead), and the version letter.
const char *placeholder_word(unsigned char d, unsigned char letter);

// Image stream (image_stream.cpp).
// Reads through a file descriptor: read(2) and lseek(2), or their Windows
// equivalents. A read interrupted by a signal is made again, and one on a
// descriptor that has nothing yet (non-blocking) waits until it has.
byte_source fd_source(int fd);
#ifndef _WIN32
// Whether an error means "nothing can be read or written just now".
bool would_block(int error);
// Waits until the descriptor is ready for `events` (POLLIN or POLLOUT);
// false when it cannot be waited on.
bool fd_wait(int fd, short events);
#endif
void image_open(image_stream *image, byte_source source);
// Reads one byte; returns EOF at the end of the image or on a read error.
int image_getc(image_stream *image);
// Returns false, leaving the stream where it was, when the seek cannot be
// made (a target before the start, or behind a pipe's current offset).
bool image_seek(image_stream *image, uint64_t target);
bool image_seek_relative(image_stream *image, int64_t delta);
// Reads up to n bytes; returns how many it got.
size_t image_read(image_stream *image, unsigned char *dst, size_t n);
// The bytes already buffered from the current offset on (none when the
// next byte still has to be read), and stepping over n of them.
const unsigned char *image_span(const image_stream *image, size_t *n);
void image_advance(image_stream *image, size_t n);

// File names (paths.cpp): UTF-8 on Windows, where the arguments come in as
// UTF-16 and the wide file functions take them; the plain bytes elsewhere.
// Opens a file (binary on Windows), made again when a signal interrupts it.
int open_path(const char *path, int flags, int mode = 0);
// Renames a file over another; false with errno set.
bool rename_path(const char *from, const char *to);
bool remove_path(const char *path);
// The path as messages print it: in the ANSI code page on Windows, with '?'
// for what the code page lacks; as it is elsewhere.
const char *path_for_message(const char *path);
#ifdef _WIN32
// The UTF-16 arguments of wmain, in UTF-8.
char **utf8_arguments(int argc, wchar_t **argv);
#endif

// Output stream (output_stream.cpp). Everything the tool prints goes
// through the one buffer, so the order of fixed texts and decoded text is
// kept and every write is checked in one place.
// Writes through a file descriptor, waiting out EINTR and EAGAIN.
output_sink output_fd_sink(int fd);
void output_open(output_stream *out, output_sink sink);
void output_bytes(output_stream *out, const void *bytes, size_t n);
void output_text(output_stream *out, const char *text);
// Writes out what is buffered; false once any write has failed.
bool output_flush(output_stream *out);
// Where bytes may be written straight into the buffer, and how many: the
// buffer is written out first when fewer than `want` bytes are left (want is
// at most OUTPUT_BUFFER_SIZE). output_commit then keeps the first n of them.
unsigned char *output_room(output_stream *out, size_t want, size_t *room);
void output_commit(output_stream *out, size_t n);

#endif

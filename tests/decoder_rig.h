// One way to set up the decoder over an image, a table and an output sink,
// shared by the unit tests, the fuzz check and the perf test.
#ifndef DADIVUROREZUD_DECODER_RIG_H
#define DADIVUROREZUD_DECODER_RIG_H

#include "converter.h"

#include <cstdint>
#include <memory>
#include <string>

namespace rig {

// An image in memory: `base` zero bytes followed by `data`, so that short
// inputs can sit far into a large image without a large file. It can refuse
// to seek and hand out at most `chunk` bytes of `data` per read, as a pipe
// does (the zeros in front come in whole reads, to keep the fuzzer fast), and
// fail every read from offset `fail_at` on with `fail_errno`, as a bad disk
// does.
struct memory_image {
    std::string data;
    uint64_t base = 0;
    bool can_seek = true;
    size_t chunk = SIZE_MAX;
    uint64_t fail_at = UINT64_MAX;
    int fail_errno = 0;
    uint64_t pos = 0; // the source's own offset
    size_t reads = 0; // read calls made
};

// An byte_source over it; the image must outlive the decoder.
byte_source memory_source(memory_image *image);

// The decoder's state with the table loaded (through load_char_table, from
// exactly these bytes in memory, empty ones too), the version
// letter set, the image opened on `source`, and the output going to memory,
// or to `sink` when one is given.
struct decoder_rig {
    std::unique_ptr<converter_state> state;
    std::string output;

    decoder_rig(const std::string &table, unsigned char letter, byte_source source,
                const output_sink *sink = nullptr);
    decoder_rig(const decoder_rig &) = delete;
    decoder_rig &operator=(const decoder_rig &) = delete;

    // Runs dump_messages over start to end; returns everything written so far.
    std::string decode(uint32_t start, uint32_t end);
    // Flushes the output buffer and returns everything written so far.
    std::string text();
};

// The decoded text of start to end of the image, as the real decoder gives it.
std::string decode(const memory_image &image, const std::string &table, unsigned char letter,
                   uint32_t start, uint32_t end);

} // namespace rig

#endif

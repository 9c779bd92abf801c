// Helpers for the unit tests: temporary files, and a converter_state wired
// to an image, a table and an in-memory output.
#ifndef DADIVUROREZUD_TEST_SUPPORT_H
#define DADIVUROREZUD_TEST_SUPPORT_H

#include "converter.h"

#include <cstdint>
#include <cstdio>
#include <memory>
#include <random>
#include <string>

namespace testing_support {

// A file in a fresh temporary folder, removed with the object.
struct temp_file {
    std::string dir;
    std::string path;
    explicit temp_file(const std::string &bytes, const std::string &name = "file.bin");
    ~temp_file();
    temp_file(const temp_file &) = delete;
    temp_file &operator=(const temp_file &) = delete;
};

enum class source { regular_file, pipe };

// A converter_state ready for dump_messages: image from the given bytes,
// read from a regular file or through a pipe, the table loaded, output to
// memory. text() flushes and returns everything written so far.
struct decoder_fixture {
    std::unique_ptr<converter_state> state;
    std::unique_ptr<temp_file> image_file;
    bool from_pipe;
    char *out_data = nullptr;
    size_t out_size = 0;

    decoder_fixture(const std::string &image, const std::string &table, unsigned char letter,
                    source from = source::regular_file);
    ~decoder_fixture();
    decoder_fixture(const decoder_fixture &) = delete;
    decoder_fixture &operator=(const decoder_fixture &) = delete;
    std::string text();
};

// The decoded text of offsets start to end, as the real decoder gives it.
std::string decode(const std::string &image, const std::string &table, unsigned char letter,
                   uint32_t start, uint32_t end, source from = source::regular_file);

// An image of `size` zero bytes with `codes` placed at offset `at`.
std::string image_with(size_t size, uint32_t at, const std::string &codes);

// A table in which code k prints as the two bytes 'A'+k/26, 'a'+k%26 (never
// zero, never '%'), so that every printed code can be told apart.
std::string distinct_table();

std::string random_bytes(std::mt19937 &rng, size_t n);

} // namespace testing_support

#endif

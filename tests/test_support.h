// Helpers for the unit tests: temporary files, images read from a file, a
// pipe or memory, and tables and bytes made for tests.
#ifndef DADIVUROREZUD_TEST_SUPPORT_H
#define DADIVUROREZUD_TEST_SUPPORT_H

#include "converter.h"

#include <cstdint>
#include <cstdio>
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

// Where a test's image is read from: a regular file, a real pipe (through
// the tool's own descriptor reads), or an image in memory that cannot seek
// and hands out a few bytes per read, so that the buffer is refilled inside
// nearly every code.
enum class source { regular_file, pipe, trickle };

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

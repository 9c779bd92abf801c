// One fuzz input, run through the real decoder and the plain model.
#ifndef DADIVUROREZUD_FUZZ_CHECK_H
#define DADIVUROREZUD_FUZZ_CHECK_H

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// Layout of an input:
//   byte 0  flags: bit 0 the image cannot seek (like a pipe); bit 1 the image
//           is placed at the end of the message region; bits 2-3 pick the
//           version letter ('S', 'R', 0, 'X'); bits 4-5 how many bytes one
//           read of the image gives at most (no limit, 1, 7, 4096)
//   byte 1  table length / 2
//   byte 2, byte 3  where decoding starts and ends, relative to the image
//   then the table bytes, then the image bytes.
// Returns an empty string when decoder and model agree, else what differs.
std::string fuzz_check(const uint8_t *data, size_t size);

// One fuzz input for the table program: the bytes as a text table must give
// a table or errors on lines of the text, never anything else; and the
// first 512 bytes (padded with zeros) as a binary table must come back the
// same through show and build. Returns an empty string when all holds.
std::string table_fuzz_check(const uint8_t *data, size_t size);

// Seed inputs made by our own generator: every code form, at the region's
// end and elsewhere, read with and without seeking.
std::vector<std::string> fuzz_seeds();
// ... and for the table program: text tables of every line form.
std::vector<std::string> table_fuzz_seeds();

#endif

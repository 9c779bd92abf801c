// The character table: 256 entries of two bytes, one per character code.
#include "converter.h"

bool load_char_table(converter_state *state) {
    // Reading the whole table at once gives the same slots as 256 reads of
    // two bytes: a short file fills them in order and leaves the rest zero,
    // so an odd last byte becomes a one-byte entry.
    unsigned char bytes[CHAR_TABLE_BYTES] = {};
    size_t got = 0;
    while (got < CHAR_TABLE_BYTES) {
        ptrdiff_t n = state->table.read(&state->table, bytes + got, CHAR_TABLE_BYTES - got);
        if (n < 0) {
            return false;
        }
        if (n == 0) {
            break; // a short table is allowed
        }
        got += static_cast<size_t>(n);
    }
    for (size_t k = 0; k < CHAR_TABLE_ENTRIES; k++) {
        unsigned char *slot = state->char_table[k];
        slot[0] = bytes[2 * k];
        slot[1] = bytes[2 * k + 1];
        slot[2] = 0;
    }
    return true;
}

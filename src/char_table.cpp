// The character table: 256 entries of two bytes, one per character code.
#include "converter.h"

void load_char_table(converter_state *state) {
    // One read of the whole table gives the same slots as 256 reads of two
    // bytes: a short file fills them in order and leaves the rest zero, so
    // an odd last byte becomes a one-byte entry.
    unsigned char bytes[CHAR_TABLE_BYTES] = {};
    size_t got = fread(bytes, 1, sizeof bytes, state->table);
    (void)got; // a short table is allowed; read errors show in ferror()
    for (size_t k = 0; k < CHAR_TABLE_ENTRIES; k++) {
        unsigned char *slot = state->char_table[k];
        slot[0] = bytes[2 * k];
        slot[1] = bytes[2 * k + 1];
        slot[2] = 0;
    }
}

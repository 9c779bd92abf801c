#include "converter.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <string>

namespace {

// Loads a table from the given file bytes and returns the slots.
std::unique_ptr<converter_state> load(const std::string &bytes) {
    auto state = std::make_unique<converter_state>();
    FILE *f = tmpfile();
    EXPECT_NE(f, nullptr);
    fwrite(bytes.data(), 1, bytes.size(), f);
    rewind(f);
    state->table = f;
    load_char_table(state.get());
    EXPECT_FALSE(ferror(f));
    fclose(f);
    return state;
}

std::string slot(const converter_state &state, unsigned code) {
    const char *s = reinterpret_cast<const char *>(state.char_table[code]);
    EXPECT_EQ(state.char_table[code][2], 0) << "slot " << code << " is not terminated";
    return s;
}

TEST(CharTable, FullTableFillsEverySlotInCodeOrder) {
    std::string bytes;
    for (unsigned k = 0; k < 256; k++) {
        bytes += static_cast<char>(0x81 + k % 0x1F);
        bytes += static_cast<char>(k == 0 ? 1 : k);
    }
    auto state = load(bytes);
    for (unsigned k = 0; k < 256; k++) {
        EXPECT_EQ(slot(*state, k), bytes.substr(2 * k, 2)) << "code " << k;
    }
}

TEST(CharTable, EntriesPrintUpToTheirFirstZeroByte) {
    struct {
        std::string entry;
        std::string printed;
    } cases[] = {
        {std::string("\x82\xA0", 2), "\x82\xA0"}, // double-byte character
        {std::string("A\0", 2), "A"},             // one byte
        {std::string("\0A", 2), ""},              // zero first: nothing
        {std::string("\0\0", 2), ""},             // empty entry
        {std::string("%\0", 2), "%"},             // a '%' is just a byte
        {std::string("%s", 2), "%s"},
    };
    for (const auto &c : cases) {
        std::string bytes(512, 'x');
        bytes.replace(2 * 0x41, 2, c.entry);
        auto state = load(bytes);
        EXPECT_EQ(slot(*state, 0x41), c.printed);
        EXPECT_EQ(slot(*state, 0x40), "xx"); // neighbours untouched
        EXPECT_EQ(slot(*state, 0x42), "xx");
    }
}

TEST(CharTable, ShortFileFillsSlotsInFileOrderAndLeavesTheRestEmpty) {
    for (size_t size : {0, 1, 2, 301, 510, 511}) {
        std::string bytes(size, 'q');
        auto state = load(bytes);
        for (unsigned k = 0; k < 256; k++) {
            size_t have = size > 2 * k ? std::min<size_t>(2, size - 2 * k) : 0;
            EXPECT_EQ(slot(*state, k), std::string(have, 'q')) << "size " << size << " code " << k;
        }
    }
}

TEST(CharTable, BytesAfterTheFirst512AreIgnored) {
    std::string bytes(512, 'a');
    bytes += std::string(100000, 'z');
    auto state = load(bytes);
    for (unsigned k = 0; k < 256; k++) {
        EXPECT_EQ(slot(*state, k), "aa");
    }
}

TEST(CharTable, LoadingOverwritesEarlierSlots) {
    auto state = std::make_unique<converter_state>();
    for (auto &s : state->char_table) {
        s[0] = s[1] = s[2] = 'x';
    }
    state->table = fopen("/dev/null", "rb");
    ASSERT_NE(state->table, nullptr);
    load_char_table(state.get());
    fclose(state->table);
    for (unsigned k = 0; k < 256; k++) {
        EXPECT_EQ(slot(*state, k), "");
    }
}

} // namespace

#include "converter.h"
#include "decoder_rig.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdint>
#include <memory>
#include <string>

namespace {

// Loads a table from the given file bytes, handed out `chunk` bytes per
// read, and returns the slots.
std::unique_ptr<converter_state> load(const std::string &bytes, size_t chunk = SIZE_MAX) {
    auto state = std::make_unique<converter_state>();
    rig::memory_image file;
    file.data = bytes;
    file.chunk = chunk;
    state->table = rig::memory_source(&file);
    EXPECT_TRUE(load_char_table(state.get()));
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
    rig::memory_image empty;
    state->table = rig::memory_source(&empty);
    ASSERT_TRUE(load_char_table(state.get()));
    for (unsigned k = 0; k < 256; k++) {
        EXPECT_EQ(slot(*state, k), "");
    }
}

TEST(CharTable, ReadsInPiecesGiveTheSameSlots) {
    std::string bytes;
    for (unsigned k = 0; k < 301; k++) {
        bytes += static_cast<char>(0x21 + k % 90);
    }
    auto whole = load(bytes);
    for (size_t chunk : {1, 3, 7, 511}) {
        auto pieces = load(bytes, chunk);
        for (unsigned k = 0; k < 256; k++) {
            EXPECT_EQ(slot(*pieces, k), slot(*whole, k))
                << "code " << k << ", " << chunk << " bytes per read";
        }
    }
}

TEST(CharTable, ReadErrorIsReported) {
    for (uint64_t fail_at : {0, 1, 300, 511}) {
        auto state = std::make_unique<converter_state>();
        rig::memory_image file;
        file.data = std::string(512, 'a');
        file.chunk = 100;
        file.fail_at = fail_at;
        file.fail_errno = EIO;
        state->table = rig::memory_source(&file);
        errno = 0;
        EXPECT_FALSE(load_char_table(state.get())) << "failing at " << fail_at;
        EXPECT_EQ(errno, EIO);
    }
}

} // namespace

#include "decoder_rig.h"
#include "stream_model.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <unistd.h>

#include <string>
#include <vector>

using namespace testing_support;

namespace {

const std::string TABLE = distinct_table();

// The printed form of ordinary code k in TABLE.
std::string T(unsigned k) {
    return model::slot(TABLE, k);
}

std::string bytes(std::initializer_list<int> list) {
    std::string s;
    for (int b : list) {
        s += static_cast<char>(b);
    }
    return s;
}

const std::string Q = QUESTION_WORD;

const char *source_name(source from) {
    return from == source::pipe      ? "through a pipe"
           : from == source::trickle ? "a few bytes per read"
                                     : "from a file";
}

struct decode_case {
    const char *name;
    std::string codes; // placed at offset AT
    size_t image_size; // the image ends here (0: well after the codes)
    uint32_t end;      // last offset decoded
    std::string expected;
};

constexpr uint32_t AT = 0x40;

class DecoderCases : public ::testing::TestWithParam<decode_case> {};

TEST_P(DecoderCases, PrintsExactly) {
    const decode_case &c = GetParam();
    size_t size = c.image_size != 0 ? c.image_size : AT + c.codes.size() + 64;
    // Bytes after the codes are 0x01, so anything decoded past them shows.
    std::string image = image_with(size, AT, c.codes);
    for (size_t i = AT + c.codes.size(); i < size; i++) {
        image[i] = 0x01;
    }
    for (source from : {source::regular_file, source::pipe, source::trickle}) {
        EXPECT_EQ(decode(image, TABLE, 'S', AT, c.end, from), c.expected) << source_name(from);
    }
}

const uint32_t E = AT + 5; // an end five codes in

INSTANTIATE_TEST_SUITE_P(
    Decoder, DecoderCases,
    ::testing::Values(
        decode_case{"OrdinaryCodes", bytes({0x00, 0x41, 0xF9, 0x7F}), 0, AT + 3,
                    T(0x00) + T(0x41) + T(0xF9) + T(0x7F)},
        decode_case{"LineBreakCodes", bytes({0xFA, 0xFB, 0xFE, 0xFF, 0xFF}), 0, AT + 4,
                    "\n\n\n\n\n"},
        decode_case{"FcSkipsTwoArgumentBytes", bytes({0xFC, 0xFF, 0xFF, 0x41}), 0, AT + 3,
                    "\n" + T(0x41)},
        decode_case{"FcSkipsControlCodesUnread", bytes({0xFC, 0xFD, 0x08, 0x42}), 0, AT + 3,
                    "\n" + T(0x42)},
        decode_case{"EndEqualsStart", bytes({0x41, 0x42}), 0, AT, T(0x41)},
        decode_case{"StartAfterEnd", bytes({0x41}), 0, AT - 1, ""},
        decode_case{"FcAtEndSkipsPastEndAndStops",
                    bytes({0x41, 0x41, 0x41, 0x41, 0x41, 0xFC, 0x42, 0x43, 0x44}), 0, E,
                    T(0x41) + T(0x41) + T(0x41) + T(0x41) + T(0x41) + "\n"},
        decode_case{"FdAtEndReadsItsArgumentPastEnd",
                    bytes({0x41, 0x41, 0x41, 0x41, 0x41, 0xFD, 0x08, 0x42}), 0, E,
                    T(0x41) + T(0x41) + T(0x41) + T(0x41) + T(0x41) + WORD_FOR_08},
        decode_case{"FdNameFormAtEnd",
                    bytes({0x41, 0x41, 0x41, 0x41, 0x41, 0xFD, 0x01, 0x99, 0x05, 0x42}), 0, E,
                    T(0x41) + T(0x41) + T(0x41) + T(0x41) + T(0x41) + NAME_FOR_S},
        decode_case{"FdBrokenNameFormAtEndStops",
                    bytes({0x41, 0x41, 0x41, 0x41, 0x41, 0xFD, 0x01, 0x42, 0x43}), 0, E,
                    T(0x41) + T(0x41) + T(0x41) + T(0x41) + T(0x41) + Q},
        decode_case{"FdBrokenNameFormJustBeforeEndStops",
                    bytes({0x41, 0x41, 0x41, 0x41, 0xFD, 0x01, 0x42, 0x43}), 0, E,
                    T(0x41) + T(0x41) + T(0x41) + T(0x41) + Q},
        decode_case{"BrokenNameFormDecodesTheBytesItBackedOver", bytes({0xFD, 0x01, 0xFF, 0x41}), 0,
                    AT + 3, Q + "\n" + T(0x41)},
        decode_case{"BrokenNameFormBacksOntoAnotherPlaceholder", bytes({0xFD, 0x01, 0xFD, 0x08}), 0,
                    AT + 3, Q + WORD_FOR_08},
        decode_case{"ImageEndsInsideTheRegion", bytes({0x41, 0xFF, 0x42}), AT + 3, AT + 1000,
                    T(0x41) + "\n" + T(0x42)},
        decode_case{"ImageEndsBeforeTheRegion", bytes({}), AT - 10, AT + 1000, ""},
        decode_case{"ImageEndsAfterFd", bytes({0x41, 0xFD}), AT + 2, AT + 1000, T(0x41)},
        decode_case{"ImageEndsAfterFc", bytes({0x41, 0xFC, 0x42}), AT + 3, AT + 1000,
                    T(0x41) + "\n"},
        decode_case{"ImageEndsAfterFd01", bytes({0x41, 0xFD, 0x01}), AT + 3, AT + 1000,
                    T(0x41) + Q + T(0x01)},
        decode_case{"ImageEndsAfterFd01X", bytes({0xFD, 0x01, 0x42}), AT + 3, AT + 1000,
                    Q + T(0x01) + T(0x42)},
        decode_case{"ImageEndsAfterFd01XF", bytes({0xFD, 0x01, 0x42, 0x43}), AT + 4, AT + 1000,
                    Q + T(0x42) + T(0x43)}),
    [](const ::testing::TestParamInfo<decode_case> &info) { return std::string(info.param.name); });

TEST(Decoder, EmptySlotsPrintNothingAndLeaveNeighboursAlone) {
    std::string table = TABLE;
    table[2 * 0x20] = '\0';
    std::string image = image_with(0x100, AT, bytes({0x41, 0x20, 0x20, 0x42, 0x20, 0xFF}));
    EXPECT_EQ(decode(image, table, 'S', AT, AT + 5), T(0x41) + T(0x42) + "\n");
}

TEST(Decoder, EmptyTablePrintsOnlyLineFeedsAndWords) {
    std::string image =
        image_with(0x100, AT, bytes({0x41, 0xFF, 0xFD, 0x08, 0x42, 0xFC, 1, 2, 0x43}));
    EXPECT_EQ(decode(image, "", 'S', AT, AT + 8), "\n" + std::string(WORD_FOR_08) + "\n");
}

TEST(Decoder, BufferBoundariesInsideCodesChangeNothing) {
    // Every code form that reads more than one byte, placed at each offset
    // around the places where the image buffer is refilled.
    const std::string forms[] = {bytes({0xFC, 0x41, 0x42}), bytes({0xFD, 0x01, 0x42, 0x05}),
                                 bytes({0xFD, 0x01, 0x42, 0x43}), bytes({0xFD, 0x01, 0xFD, 0x01}),
                                 bytes({0xFD, 0x0A})};
    const uint32_t boundaries[] = {IMAGE_BUFFER_SIZE, 2 * IMAGE_BUFFER_SIZE - IMAGE_HISTORY,
                                   3 * IMAGE_BUFFER_SIZE - 2 * IMAGE_HISTORY};
    for (const std::string &form : forms) {
        for (uint32_t boundary : boundaries) {
            for (uint32_t at = boundary - 6; at <= boundary + 2; at++) {
                std::string image = image_with(boundary + 64, at, form + bytes({0x43, 0x44}));
                uint32_t start = boundary - 40;
                std::string expected = model::decode(image, TABLE, 'R', start, boundary + 40);
                for (source from : {source::regular_file, source::pipe, source::trickle}) {
                    EXPECT_EQ(decode(image, TABLE, 'R', start, boundary + 40, from), expected)
                        << "form at " << at << ", " << source_name(from);
                }
            }
        }
    }
}

// Many generated images against the plain model: random bytes, dense
// control codes, and images cut at every offset near the region's end and
// inside the region, read from files and through pipes.
struct model_case {
    const char *name;
    int control_percent; // share of bytes drawn from the control codes
};

class DecoderAgainstModel : public ::testing::TestWithParam<model_case> {};

std::string generated_image(std::mt19937 &rng, size_t size, int control_percent) {
    std::string image = random_bytes(rng, size);
    if (control_percent > 0) {
        for (auto &c : image) {
            if (static_cast<int>(rng() % 100) < control_percent) {
                // Control codes, with the arguments that matter close by.
                static const unsigned char pick[] = {0xFA, 0xFB, 0xFC, 0xFD, 0xFD, 0xFD,
                                                     0xFE, 0xFF, 0x01, 0x05, 0x01, 0x05};
                c = static_cast<char>(pick[rng() % sizeof pick]);
            }
        }
    }
    return image;
}

TEST_P(DecoderAgainstModel, RandomImages) {
    std::mt19937 rng(1234 + GetParam().control_percent);
    for (int round = 0; round < 20; round++) {
        uint32_t start = rng() % 300;
        uint32_t end = start + rng() % 200000;
        std::string image = generated_image(rng, end + 8, GetParam().control_percent);
        unsigned char letter = "SRX\0"[round % 4];
        const source from = round % 3 == 0   ? source::pipe
                            : round % 3 == 1 ? source::trickle
                                             : source::regular_file;
        ASSERT_EQ(decode(image, TABLE, letter, start, end, from),
                  model::decode(image, TABLE, letter, start, end))
            << "round " << round;
    }
}

TEST_P(DecoderAgainstModel, ImagesCutNearTheEndOfTheRegion) {
    std::mt19937 rng(99 + GetParam().control_percent);
    const uint32_t start = 1000, end = 1400;
    std::string full = generated_image(rng, end + 8, GetParam().control_percent);
    // Every cut from inside the region to past the end.
    for (size_t size = end - 48; size <= end + 4; size++) {
        std::string image = full.substr(0, size);
        EXPECT_EQ(decode(image, TABLE, 'S', start, end),
                  model::decode(image, TABLE, 'S', start, end))
            << "image of " << size << " bytes";
    }
    for (size_t size = start; size < end - 48; size += 7) {
        std::string image = full.substr(0, size);
        source from = size % 2 ? source::pipe : source::regular_file;
        EXPECT_EQ(decode(image, TABLE, 'R', start, end, from),
                  model::decode(image, TABLE, 'R', start, end))
            << "image of " << size << " bytes";
    }
}

INSTANTIATE_TEST_SUITE_P(
    Decoder, DecoderAgainstModel,
    ::testing::Values(model_case{"RandomBytes", 0}, model_case{"SomeControlCodes", 10},
                      model_case{"DenseControlCodes", 60}, model_case{"OnlyControlCodes", 100}),
    [](const ::testing::TestParamInfo<model_case> &info) { return std::string(info.param.name); });

TEST(Decoder, FullRegionOfAFullSizeImageMatchesTheModel) {
    std::mt19937 rng(7);
    std::string image = generated_image(rng, 4 * 1024 * 1024, 5);
    for (source from : {source::regular_file, source::pipe}) {
        EXPECT_EQ(decode(image, TABLE, 'S', MESSAGE_START, MESSAGE_END, from),
                  model::decode(image, TABLE, 'S', MESSAGE_START, MESSAGE_END));
    }
}

} // namespace

namespace {

struct read_error_case {
    const char *name;
    size_t fail_at;
    bool lost; // whether a byte the decoder needs is lost
};

TEST(Decoder, ReadErrorsStopDecodingOnlyWhenAByteIsLost) {
    std::mt19937 rng(3);
    std::string image = random_bytes(rng, 400);
    const uint32_t start = 20, end = 300;
    const read_error_case cases[] = {
        {"inside the region", 150, true},
        {"at its start", start, true},
        {"only in the read-ahead after it", 320, false},
    };
    for (const auto &c : cases) {
        rig::memory_image failing;
        failing.data = image;
        failing.fail_at = c.fail_at;
        failing.fail_errno = EIO;
        rig::decoder_rig r(TABLE, 0, rig::memory_source(&failing));
        std::string got = r.decode(start, end);
        // What was decoded is what the bytes before the failure give.
        std::string readable = image.substr(0, c.fail_at);
        EXPECT_EQ(got, model::decode(readable, TABLE, 0, start, end)) << c.name;
        EXPECT_EQ(r.state->image.read_error, c.lost) << c.name;
        if (c.lost) {
            EXPECT_EQ(r.state->image.read_errno, EIO) << c.name;
        }
    }
}

} // namespace

namespace {

// The region's bound at the top of the 32-bit range: the same bytes decode
// to the same text at 0xFFFFFFF0 as near offset 0, and decoding stops after
// the code at 0xFFFFFFFF although the image goes on past 4 GiB.
struct top_case {
    const char *name;
    uint32_t start;
    std::string codes; // placed at start; the image goes on with 0x41 codes
};

TEST(Decoder, RegionAtTheTopOfTheRangeEndsAt0xFFFFFFFF) {
    const uint32_t TOP = 0xFFFFFFFF;
    const top_case cases[] = {
        {"sixteen ordinary codes", TOP - 15, "ABCDEFGHIJKLMNOP"},
        {"one code", TOP, "Q"},
        {"0xFC last skips past 4 GiB", TOP - 3, "ABC\xFC"},
        {"name form last", TOP - 2, "AB\xFD\x01\x42\x05"},
        {"broken name form backs up onto the last offset", TOP - 4, "AB\xFD\x01\x42\x43"},
        {"broken name form past the end", TOP - 2, "AB\xFD\x01\x42\x43"},
    };
    // What follows the codes: far more than the region, all printable.
    const std::string after(3 * IMAGE_BUFFER_SIZE, 'A');
    for (const top_case &c : cases) {
        const uint32_t low = 0x100;
        const uint32_t length = TOP - c.start + 1;
        std::string low_image = image_with(low, 0, "") + c.codes + after;
        const std::string expected = model::decode(low_image, TABLE, 'S', low, low + length - 1);
        ASSERT_EQ(decode(low_image, TABLE, 'S', low, low + length - 1), expected) << c.name;

        rig::memory_image memory;
        memory.data = c.codes + after;
        memory.base = c.start;
        for (bool can_seek : {true, false}) {
            memory.can_seek = can_seek;
            const std::string got = rig::decode(memory, TABLE, 'S', c.start, TOP);
            EXPECT_TRUE(got == expected) << c.name << (can_seek ? "" : ", without seeking") << ": "
                                         << got.size() << " bytes instead of " << expected.size();
        }

        // A real sparse file of more than 4 GiB, through the descriptor.
        temp_file file("");
        int fd = open(file.path.c_str(), O_RDWR);
        ASSERT_GE(fd, 0);
        const std::string tail = c.codes + after;
        ASSERT_EQ(pwrite(fd, tail.data(), tail.size(), off_t{c.start}),
                  static_cast<ssize_t>(tail.size()));
        const std::string got = rig::decoder_rig(TABLE, 'S', fd_source(fd)).decode(c.start, TOP);
        EXPECT_TRUE(got == expected)
            << c.name << ", sparse file: " << got.size() << " bytes instead of " << expected.size();
        close(fd);
    }
}

} // namespace

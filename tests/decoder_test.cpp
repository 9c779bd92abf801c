#include "stream_model.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <memory>

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

const std::string Q = model::QUESTION;

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
    for (source from : {source::regular_file, source::pipe}) {
        EXPECT_EQ(decode(image, TABLE, 'S', AT, c.end, from), c.expected)
            << (from == source::pipe ? "through a pipe" : "from a file");
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
                    T(0x41) + T(0x41) + T(0x41) + T(0x41) + T(0x41) + model::WORD_08},
        decode_case{"FdNameFormAtEnd",
                    bytes({0x41, 0x41, 0x41, 0x41, 0x41, 0xFD, 0x01, 0x99, 0x05, 0x42}), 0, E,
                    T(0x41) + T(0x41) + T(0x41) + T(0x41) + T(0x41) + "\x83\x4A\x83\x43\x83\x67"},
        decode_case{"FdBrokenNameFormAtEndStops",
                    bytes({0x41, 0x41, 0x41, 0x41, 0x41, 0xFD, 0x01, 0x42, 0x43}), 0, E,
                    T(0x41) + T(0x41) + T(0x41) + T(0x41) + T(0x41) + Q},
        decode_case{"FdBrokenNameFormJustBeforeEndStops",
                    bytes({0x41, 0x41, 0x41, 0x41, 0xFD, 0x01, 0x42, 0x43}), 0, E,
                    T(0x41) + T(0x41) + T(0x41) + T(0x41) + Q},
        decode_case{"BrokenNameFormDecodesTheBytesItBackedOver", bytes({0xFD, 0x01, 0xFF, 0x41}), 0,
                    AT + 3, Q + "\n" + T(0x41)},
        decode_case{"BrokenNameFormBacksOntoAnotherPlaceholder", bytes({0xFD, 0x01, 0xFD, 0x08}), 0,
                    AT + 3, Q + model::WORD_08},
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
    EXPECT_EQ(decode(image, "", 'S', AT, AT + 8), "\n" + std::string(model::WORD_08) + "\n");
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
                for (source from : {source::regular_file, source::pipe}) {
                    EXPECT_EQ(decode(image, TABLE, 'R', start, boundary + 40, from), expected)
                        << "form at " << at << (from == source::pipe ? " through a pipe" : "");
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
        source from = round % 3 == 0 ? source::pipe : source::regular_file;
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

// An image whose reads fail, as a bad disk's do, from a given offset on.
struct failing_image {
    std::string bytes;
    size_t fail_at;
    size_t pos;
};

ssize_t failing_read(void *cookie, char *buf, size_t n) {
    auto *f = static_cast<failing_image *>(cookie);
    if (f->pos >= f->fail_at) {
        errno = EIO;
        return -1;
    }
    size_t take = std::min({n, f->fail_at - f->pos, f->bytes.size() - f->pos});
    memcpy(buf, f->bytes.data() + f->pos, take);
    f->pos += take;
    return static_cast<ssize_t>(take);
}

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
        failing_image source{image, c.fail_at, 0};
        cookie_io_functions_t io{failing_read, nullptr, nullptr, nullptr};
        auto state = std::make_unique<converter_state>();
        char *out_data = nullptr;
        size_t out_size = 0;
        state->out = open_memstream(&out_data, &out_size);
        state->table = fmemopen(const_cast<char *>(TABLE.data()), TABLE.size(), "rb");
        load_char_table(state.get());
        fclose(state->table);
        FILE *file = fopencookie(&source, "rb", io);
        image_open(&state->image, file);
        dump_messages(state.get(), start, end);
        output_flush(state.get());
        fclose(state->out);
        fclose(file);
        std::string got(out_data, out_size);
        free(out_data);
        // What was decoded is what the bytes before the failure give.
        std::string readable = image.substr(0, c.fail_at);
        EXPECT_EQ(got, model::decode(readable, TABLE, 0, start, end)) << c.name;
        EXPECT_EQ(state->image.read_error, c.lost) << c.name;
    }
}

} // namespace

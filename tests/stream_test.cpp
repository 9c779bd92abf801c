// The two byte streams on their own: the image stream's seeks at the edges
// of its buffer, and the output buffer's blocks and its failed writes.
#include "converter.h"
#include "decoder_rig.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <memory>
#include <string>
#include <vector>

namespace {

std::string counting_bytes(size_t n) {
    std::string s(n, '\0');
    for (size_t i = 0; i < n; i++) {
        s[i] = static_cast<char>(i * 7 + i / 251);
    }
    return s;
}

TEST(ImageStream, SeekBehindTheBufferWorksOnlyWhereTheSourceCanSeek) {
    const std::string bytes = counting_bytes(5 * IMAGE_BUFFER_SIZE);
    for (bool can_seek : {true, false}) {
        rig::memory_image memory;
        memory.data = bytes;
        memory.can_seek = can_seek;
        auto image = std::make_unique<image_stream>();
        image_open(image.get(), rig::memory_source(&memory));
        ASSERT_TRUE(image_seek(image.get(), 3 * IMAGE_BUFFER_SIZE));
        ASSERT_EQ(image_getc(image.get()),
                  static_cast<unsigned char>(bytes[3 * IMAGE_BUFFER_SIZE]));
        // Back to the start: far behind the buffered bytes.
        EXPECT_EQ(image_seek(image.get(), 10), can_seek);
        const uint64_t expected_at = can_seek ? 10 : 3 * IMAGE_BUFFER_SIZE + 1;
        EXPECT_EQ(image_getc(image.get()), static_cast<unsigned char>(bytes[expected_at]))
            << (can_seek ? "seeking" : "a failed seek must leave the stream where it was");
        // A short back-up is always there, from the bytes kept in the buffer.
        EXPECT_TRUE(image_seek_relative(image.get(), -2));
        EXPECT_EQ(image_getc(image.get()), static_cast<unsigned char>(bytes[expected_at - 1]));
    }
}

TEST(ImageStream, NoSeekBeforeTheStart) {
    rig::memory_image memory;
    memory.data = "ABC";
    auto image = std::make_unique<image_stream>();
    image_open(image.get(), rig::memory_source(&memory));
    ASSERT_EQ(image_getc(image.get()), 'A');
    EXPECT_FALSE(image_seek_relative(image.get(), -2));
    EXPECT_EQ(image_getc(image.get()), 'B');
    EXPECT_TRUE(image_seek_relative(image.get(), -2));
    EXPECT_EQ(image_getc(image.get()), 'A');
}

TEST(ImageStream, SpanIsWhatIsBufferedFromTheOffset) {
    rig::memory_image memory;
    memory.data = counting_bytes(1000);
    memory.chunk = 300;
    auto image = std::make_unique<image_stream>();
    image_open(image.get(), rig::memory_source(&memory));
    size_t n = 1;
    EXPECT_EQ(image_span(image.get(), &n), nullptr) << "nothing is read before it is needed";
    EXPECT_EQ(n, 0u);
    ASSERT_EQ(image_getc(image.get()), static_cast<unsigned char>(memory.data[0]));
    const unsigned char *span = image_span(image.get(), &n);
    ASSERT_EQ(n, 299u);
    EXPECT_EQ(std::string(reinterpret_cast<const char *>(span), n), memory.data.substr(1, 299));
    image_advance(image.get(), n);
    EXPECT_EQ(image_span(image.get(), &n), nullptr);
    EXPECT_EQ(image_getc(image.get()), static_cast<unsigned char>(memory.data[300]));
}

// A sink that records each block, and fails the block numbered `fail_at`.
struct recording_sink {
    std::vector<std::string> blocks;
    size_t fail_at = SIZE_MAX;
};

bool record(output_sink *sink, const unsigned char *buf, size_t n) {
    auto *r = static_cast<recording_sink *>(sink->context);
    if (r->blocks.size() == r->fail_at) {
        r->fail_at = SIZE_MAX;
        errno = ENOSPC;
        return false;
    }
    r->blocks.emplace_back(reinterpret_cast<const char *>(buf), n);
    return true;
}

TEST(OutputStream, LongTextsGoOutInWholeBlocksAndInOrder) {
    recording_sink sink;
    auto out = std::make_unique<output_stream>();
    output_open(out.get(), output_sink{-1, &sink, record});
    const std::string text = counting_bytes(2 * OUTPUT_BUFFER_SIZE + 100);
    output_text(out.get(), "head ");
    output_bytes(out.get(), text.data(), text.size());
    EXPECT_TRUE(output_flush(out.get()));
    std::string all;
    for (const std::string &block : sink.blocks) {
        EXPECT_LE(block.size(), OUTPUT_BUFFER_SIZE);
        all += block;
    }
    EXPECT_EQ(sink.blocks.size(), 3u);
    EXPECT_TRUE(all == "head " + text);
}

TEST(OutputStream, NothingGoesOutAfterAFailedBlock) {
    recording_sink sink;
    sink.fail_at = 1;
    auto out = std::make_unique<output_stream>();
    output_open(out.get(), output_sink{-1, &sink, record});
    const std::string text = counting_bytes(3 * OUTPUT_BUFFER_SIZE);
    output_bytes(out.get(), text.data(), text.size());
    output_text(out.get(), "more");
    EXPECT_FALSE(output_flush(out.get()));
    EXPECT_EQ(out->write_errno, ENOSPC);
    ASSERT_EQ(sink.blocks.size(), 1u) << "blocks after the failed one were written";
    EXPECT_TRUE(sink.blocks[0] == text.substr(0, OUTPUT_BUFFER_SIZE));
    EXPECT_FALSE(output_flush(out.get())) << "a failure stays a failure";
}

TEST(OutputStream, RoomIsMadeWhenAskedForMoreThanIsLeft) {
    recording_sink sink;
    auto out = std::make_unique<output_stream>();
    output_open(out.get(), output_sink{-1, &sink, record});
    output_text(out.get(), "abc");
    size_t room = 0;
    unsigned char *at = output_room(out.get(), 16, &room);
    EXPECT_EQ(room, OUTPUT_BUFFER_SIZE - 3);
    EXPECT_TRUE(sink.blocks.empty()) << "written though there was room";
    at[0] = 'd';
    output_commit(out.get(), 1);
    at = output_room(out.get(), OUTPUT_BUFFER_SIZE, &room);
    EXPECT_EQ(room, OUTPUT_BUFFER_SIZE);
    ASSERT_EQ(sink.blocks.size(), 1u);
    EXPECT_EQ(sink.blocks[0], "abcd");
}

} // namespace

#include "fuzz_check.h"

#include "converter.h"
#include "stream_model.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <random>

namespace {

// An image of `base` zero bytes and then `tail`, read through a stdio
// stream of our own, so that no 4 MiB file is needed per input and the
// stream can refuse to seek, as a pipe does.
struct virtual_image {
    const std::string *tail;
    uint64_t base;
    uint64_t pos;
};

ssize_t virtual_read(void *cookie, char *buf, size_t n) {
    auto *v = static_cast<virtual_image *>(cookie);
    size_t got = 0;
    while (got < n) {
        if (v->pos < v->base) {
            size_t zeros = std::min<uint64_t>(n - got, v->base - v->pos);
            memset(buf + got, 0, zeros);
            got += zeros;
            v->pos += zeros;
        } else if (v->pos - v->base < v->tail->size()) {
            size_t at = v->pos - v->base;
            size_t take = std::min(n - got, v->tail->size() - at);
            memcpy(buf + got, v->tail->data() + at, take);
            got += take;
            v->pos += take;
        } else {
            break;
        }
    }
    return static_cast<ssize_t>(got);
}

int virtual_seek(void *cookie, off64_t *offset, int whence) {
    auto *v = static_cast<virtual_image *>(cookie);
    int64_t from = whence == SEEK_SET ? 0 : whence == SEEK_CUR ? int64_t(v->pos) : -1;
    if (from < 0 || from + *offset < 0) {
        return -1;
    }
    v->pos = static_cast<uint64_t>(from + *offset);
    *offset = static_cast<off64_t>(v->pos);
    return 0;
}

std::string hex(const std::string &s) {
    std::string out;
    char b[4];
    for (unsigned char c : s) {
        snprintf(b, sizeof b, "%02X ", c);
        out += b;
    }
    return out;
}

} // namespace

std::string fuzz_check(const uint8_t *data, size_t size) {
    if (size < 4) {
        return "";
    }
    const bool no_seek = data[0] & 1;
    const bool at_region_end = data[0] & 2;
    const unsigned char letter = "SR\0X"[(data[0] >> 2) & 3];
    size_t table_len = std::min<size_t>(2u * data[1], size - 4);
    const std::string table(reinterpret_cast<const char *>(data + 4), table_len);
    const std::string tail(reinterpret_cast<const char *>(data + 4 + table_len),
                           size - 4 - table_len);

    uint64_t base;
    uint32_t start, end;
    if (at_region_end) {
        // The bytes end a little before or after the region's end.
        base = MESSAGE_END + 1 - std::min<uint64_t>(tail.size(), data[2] % 64 + 1);
        base += data[2] / 64;
        start = MESSAGE_END - data[3] % 64;
        end = MESSAGE_END;
    } else {
        base = data[2] % 16;
        start = data[2] / 16;
        end = start + data[3];
    }

    virtual_image image{&tail, base, 0};
    cookie_io_functions_t io{virtual_read, nullptr, no_seek ? nullptr : virtual_seek, nullptr};
    FILE *image_file = fopencookie(&image, "rb", io);
    FILE *table_file = fmemopen(const_cast<char *>(table.data()), table.size(), "rb");
    if (table.empty()) {
        table_file = fopen("/dev/null", "rb");
    }
    char *out_data = nullptr;
    size_t out_size = 0;
    FILE *out = open_memstream(&out_data, &out_size);
    if (image_file == nullptr || table_file == nullptr || out == nullptr) {
        abort();
    }

    auto state = std::make_unique<converter_state>();
    state->out = out;
    state->table = table_file;
    load_char_table(state.get());
    image_open(&state->image, image_file);
    // glibc reads an unbuffered cookie stream one byte per call; a buffer
    // keeps the fuzzer fast and changes nothing the decoder sees.
    static char stdio_buffer[1 << 16];
    setvbuf(image_file, stdio_buffer, _IOFBF, sizeof stdio_buffer);
    state->header_name[VERSION_LETTER_INDEX] = letter;
    dump_messages(state.get(), start, end);
    output_flush(state.get());
    fclose(out);
    fclose(table_file);
    fclose(image_file);

    std::string got(out_data, out_size);
    free(out_data);
    std::string expected = model::decode(tail, table, letter, start, end, base);
    if (got == expected) {
        return "";
    }
    return "decoder gave [" + hex(got) + "], model [" + hex(expected) + "]";
}

std::vector<std::string> fuzz_seeds() {
    std::vector<std::string> seeds;
    const std::string forms[] = {"\xFA\xFB\xFE\xFF",
                                 "\xFC\x41\x42",
                                 std::string("\xFD\x00", 2),
                                 "\xFD\x01\x41\x05",
                                 "\xFD\x01\x41\x42",
                                 "\xFD\x01\xFD\x08",
                                 "\xFD\x08\xFD\x0A\xFD\x0B\xFD\x30\xFD\x31",
                                 "\xFD\x01",
                                 "\xFD",
                                 "\xFC\x41"};
    std::mt19937 rng(5);
    for (unsigned flags = 0; flags < 16; flags++) {
        for (const std::string &form : forms) {
            std::string table;
            for (int k = 0; k < 16; k++) {
                table += static_cast<char>(0x41 + k);
                table += static_cast<char>(k % 3 ? 0x61 + k : 0);
            }
            std::string s;
            s += static_cast<char>(flags);
            s += static_cast<char>(table.size() / 2);
            s += static_cast<char>(rng());
            s += static_cast<char>(rng() % 32);
            s += table;
            s += "\x01\x02" + form + "\x03" + form;
            seeds.push_back(s);
        }
    }
    return seeds;
}

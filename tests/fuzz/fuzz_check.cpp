#include "fuzz_check.h"

#include "converter.h"
#include "decoder_rig.h"
#include "encoding.h"
#include "stream_model.h"
#include "table_text.h"

#include <array>
#include <cstdio>
#include <random>

namespace {

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
    const size_t chunk = std::array<size_t, 4>{SIZE_MAX, 1, 7, 4096}[(data[0] >> 4) & 3];
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

    rig::memory_image image;
    image.data = tail;
    image.base = base;
    image.can_seek = !no_seek;
    image.chunk = chunk;
    std::string got = rig::decode(image, table, letter, start, end);
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
    for (unsigned flags = 0; flags < 64; flags++) {
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

std::string table_fuzz_check(const uint8_t *data, size_t size) {
    static const bool ready = encoding_ready();
    if (!ready) {
        return "no converter for code page 932";
    }
    const std::string text(reinterpret_cast<const char *>(data), size);
    const table_build built = build_table(text);
    size_t lines = 1;
    for (char c : text) {
        lines += c == '\n';
    }
    bool errors = false;
    for (const table_message &m : built.messages) {
        if (m.line < 1 || m.line > lines) {
            return "a message on line " + std::to_string(m.line) + " of " + std::to_string(lines);
        }
        errors = errors || m.error;
    }
    if (built.ok == errors) {
        return built.ok ? "errors, yet a table" : "no table, yet no error";
    }
    if (built.table.size() != (built.ok ? CHAR_TABLE_BYTES : 0)) {
        return "a table of " + std::to_string(built.table.size()) + " bytes";
    }

    std::string table = text.substr(0, CHAR_TABLE_BYTES);
    table.resize(CHAR_TABLE_BYTES, '\0');
    size_t escaped = 0;
    const table_build back = build_table(show_table(table, &escaped));
    if (!back.ok || back.table != table) {
        return "show then build gave [" + hex(back.table) + "] for [" + hex(table) + "]";
    }
    return "";
}

std::vector<std::string> table_fuzz_seeds() {
    return {"# comment\n41=A\n42=\xE3\x81\x82\n",
            "\xEF\xBB\xBF"
            "43=\xEF\xBD\x9E\r\n44=\\x82\r\n",
            "41=\x82\xA0\n42=\x95\x5C\n",
            "8140=x\n*FF\n/FE=\nFD=y\n41=A\n41=B\n",
            "41\n4G=A\n41=ABC\n41=\\x00\\x41\n",
            std::string(CHAR_TABLE_BYTES, '\x82')};
}

#include "decoder_rig.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <stdexcept>

namespace rig {

namespace {

ptrdiff_t memory_read(byte_source *source, unsigned char *buf, size_t n) {
    auto *m = static_cast<memory_image *>(source->context);
    m->reads++;
    if (m->pos >= m->fail_at) {
        errno = m->fail_errno;
        return -1;
    }
    n = std::min<uint64_t>(n, m->fail_at - m->pos);
    if (m->pos >= m->base) {
        n = std::min(n, m->chunk); // the zeros in front are only padding
    }
    size_t got = 0;
    while (got < n) {
        if (m->pos < m->base) {
            size_t zeros = std::min<uint64_t>(n - got, m->base - m->pos);
            memset(buf + got, 0, zeros);
            got += zeros;
            m->pos += zeros;
        } else if (m->pos - m->base < m->data.size()) {
            size_t at = m->pos - m->base;
            size_t take = std::min(n - got, m->data.size() - at);
            memcpy(buf + got, m->data.data() + at, take);
            got += take;
            m->pos += take;
        } else {
            break;
        }
    }
    return static_cast<ptrdiff_t>(got);
}

bool memory_seek(byte_source *source, uint64_t offset) {
    auto *m = static_cast<memory_image *>(source->context);
    if (!m->can_seek) {
        return false;
    }
    m->pos = offset;
    return true;
}

bool string_write(output_sink *sink, const unsigned char *buf, size_t n) {
    static_cast<std::string *>(sink->context)->append(reinterpret_cast<const char *>(buf), n);
    return true;
}

} // namespace

byte_source memory_source(memory_image *image) {
    return byte_source{-1, image, memory_read, memory_seek};
}

decoder_rig::decoder_rig(const std::string &table, unsigned char letter, byte_source source,
                         const output_sink *sink)
    : state(new converter_state{}) {
    memory_image table_file;
    table_file.data = table;
    state->table = memory_source(&table_file);
    if (!load_char_table(state.get())) {
        throw std::runtime_error("cannot load the table from memory");
    }
    state->table = byte_source{};
    state->header_name[VERSION_LETTER_INDEX] = letter;
    image_open(&state->image, source);
    output_open(&state->out, sink != nullptr ? *sink : output_sink{-1, &output, string_write});
}

std::string decoder_rig::decode(uint32_t start, uint32_t end) {
    dump_messages(state.get(), start, end);
    return text();
}

std::string decoder_rig::text() {
    output_flush(&state->out);
    return output;
}

std::string decode(const memory_image &image, const std::string &table, unsigned char letter,
                   uint32_t start, uint32_t end) {
    memory_image copy = image;
    decoder_rig r(table, letter, memory_source(&copy));
    return r.decode(start, end);
}

} // namespace rig

#include "test_support.h"

#include <cstdlib>
#include <stdexcept>
#include <unistd.h>

namespace testing_support {

temp_file::temp_file(const std::string &bytes, const std::string &name) {
    char templ[] = "/tmp/dadivurorezud-test-XXXXXX";
    if (mkdtemp(templ) == nullptr) {
        throw std::runtime_error("mkdtemp failed");
    }
    dir = templ;
    path = dir + "/" + name;
    FILE *f = fopen(path.c_str(), "wb");
    if (f == nullptr || fwrite(bytes.data(), 1, bytes.size(), f) != bytes.size() ||
        fclose(f) != 0) {
        throw std::runtime_error("cannot write " + path);
    }
}

temp_file::~temp_file() {
    unlink(path.c_str());
    rmdir(dir.c_str());
}

decoder_fixture::decoder_fixture(const std::string &image, const std::string &table,
                                 unsigned char letter, source from)
    : state(new converter_state{}), image_file(new temp_file(image)),
      from_pipe(from == source::pipe) {
    FILE *f = from_pipe ? popen(("cat " + image_file->path).c_str(), "r")
                        : fopen(image_file->path.c_str(), "rb");
    if (f == nullptr) {
        throw std::runtime_error("cannot open the image");
    }
    image_open(&state->image, f);
    state->table = fmemopen(const_cast<char *>(table.data()), table.size(), "rb");
    if (table.empty()) {
        state->table = fopen("/dev/null", "rb"); // fmemopen refuses size 0
    }
    load_char_table(state.get());
    fclose(state->table);
    state->table = nullptr;
    state->header_name[VERSION_LETTER_INDEX] = letter;
    state->out = open_memstream(&out_data, &out_size);
}

decoder_fixture::~decoder_fixture() {
    fclose(state->out);
    free(out_data);
    if (from_pipe) {
        pclose(state->image.file); // the writer ends on the closed pipe
    } else {
        fclose(state->image.file);
    }
}

std::string decoder_fixture::text() {
    output_flush(state.get());
    fflush(state->out);
    return std::string(out_data, out_size);
}

std::string decode(const std::string &image, const std::string &table, unsigned char letter,
                   uint32_t start, uint32_t end, source from) {
    decoder_fixture fixture(image, table, letter, from);
    dump_messages(fixture.state.get(), start, end);
    return fixture.text();
}

std::string image_with(size_t size, uint32_t at, const std::string &codes) {
    std::string image(size, '\0');
    for (size_t i = 0; i < codes.size() && at + i < size; i++) {
        image[at + i] = codes[i];
    }
    return image;
}

std::string distinct_table() {
    std::string table;
    for (unsigned k = 0; k < 256; k++) {
        table += static_cast<char>('A' + k / 26);
        table += static_cast<char>('a' + k % 26);
    }
    return table;
}

std::string random_bytes(std::mt19937 &rng, size_t n) {
    std::string s(n, '\0');
    for (auto &c : s) {
        c = static_cast<char>(rng() & 0xFF);
    }
    return s;
}

} // namespace testing_support

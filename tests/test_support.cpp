#include "test_support.h"

#include "decoder_rig.h"

#include <cstdlib>
#include <fcntl.h>
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

std::string decode(const std::string &image, const std::string &table, unsigned char letter,
                   uint32_t start, uint32_t end, source from) {
    if (from == source::trickle) {
        rig::memory_image memory;
        memory.data = image;
        memory.can_seek = false;
        memory.chunk = 5;
        return rig::decode(memory, table, letter, start, end);
    }
    temp_file file(image);
    FILE *pipe = nullptr;
    int fd;
    if (from == source::pipe) {
        pipe = popen(("cat " + file.path).c_str(), "r");
        fd = pipe != nullptr ? fileno(pipe) : -1;
    } else {
        fd = open(file.path.c_str(), O_RDONLY);
    }
    if (fd < 0) {
        throw std::runtime_error("cannot open the image");
    }
    std::string text = rig::decoder_rig(table, letter, fd_source(fd)).decode(start, end);
    if (pipe != nullptr) {
        pclose(pipe); // the writer ends on the closed pipe
    } else {
        close(fd);
    }
    return text;
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

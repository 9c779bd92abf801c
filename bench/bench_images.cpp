// Writes the benchmark inputs into a folder: a full table with a
// double-byte entry for every code, random.gba (4 MiB of random bytes) and
// text.gba (4 MiB whose message region reads like text: runs of ordinary
// codes with every control code sprinkled in). Fixed seeds: the same files
// every time.
#include "converter.h"

#include <cstdio>
#include <random>
#include <string>

namespace {

constexpr size_t IMAGE_SIZE = 4 * 1024 * 1024;

bool write_file(const std::string &path, const std::string &bytes) {
    FILE *f = fopen(path.c_str(), "wb");
    bool ok = f != nullptr && fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    if (f != nullptr) {
        ok = fclose(f) == 0 && ok;
    }
    if (!ok) {
        perror(path.c_str());
    }
    return ok;
}

std::string random_image(std::mt19937 &rng) {
    std::string image(IMAGE_SIZE, '\0');
    for (auto &c : image) {
        c = static_cast<char>(rng());
    }
    return image;
}

// Messages of 5 to 40 ordinary codes, ended by a line break code, with now
// and then a 0xFC or a placeholder in one of its forms.
std::string text_image(std::mt19937 &rng) {
    std::string image = random_image(rng);
    const std::string placeholders[] = {std::string("\xFD\x00", 2),
                                        "\xFD\x01\x10\x05",
                                        "\xFD\x01\x10\x20",
                                        "\xFD\x08",
                                        "\xFD\x0A",
                                        "\xFD\x0B",
                                        "\xFD\x31"};
    const char breaks[] = {'\xFA', '\xFB', '\xFE', '\xFF'};
    size_t at = MESSAGE_START;
    while (at < IMAGE_SIZE - 64) {
        size_t run = 5 + rng() % 36;
        for (size_t i = 0; i < run; i++) {
            image[at++] = static_cast<char>(rng() % 0xFA);
        }
        unsigned pick = rng() % 10;
        std::string code = pick < 6   ? std::string(1, breaks[rng() % 4])
                           : pick < 7 ? std::string("\xFC\x01\x02")
                                      : placeholders[rng() % 7];
        image.replace(at, code.size(), code);
        at += code.size();
    }
    return image;
}

std::string full_table(std::mt19937 &rng) {
    std::string table;
    for (int k = 0; k < 256; k++) {
        table += static_cast<char>(0x81 + rng() % 0x1F);
        table += static_cast<char>(0x40 + rng() % 0xBC);
    }
    return table;
}

} // namespace

int main(int argc, char **argv) {
    if (argc != 2) {
        fprintf(stderr, "usage: bench_images DIR\n");
        return 2;
    }
    const std::string dir = argv[1];
    std::mt19937 rng(20261211);
    bool ok = write_file(dir + "/velquor.tbl", full_table(rng));
    ok = write_file(dir + "/random.gba", random_image(rng)) && ok;
    ok = write_file(dir + "/text.gba", text_image(rng)) && ok;
    return ok ? 0 : 1;
}

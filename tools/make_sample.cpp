// Writes a sample cartridge image into a folder, so that the converter can
// be tried without any real game data. The characters of its messages are
// coded with a text table (HH=text lines in UTF-8, as the table program
// reads them), whose compiled form is the velquor.tbl to run it with. The
// messages use every control code and every kind of placeholder.
//
// usage: make_sample TEXT_TABLE DIR [LETTER]   (LETTER: the version letter, default S)
#include "converter.h"

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

// The text of each code, from a text table; codes without an entry stay
// empty. Returns false when the file cannot be read.
bool read_text_table(const char *path, std::vector<std::string> &table) {
    FILE *f = fopen(path, "rb");
    if (f == nullptr) {
        perror(path);
        return false;
    }
    table.assign(256, "");
    char line[1024];
    while (fgets(line, sizeof line, f) != nullptr) {
        std::string s = line;
        while (!s.empty() && (s.back() == '\n' || s.back() == '\r')) {
            s.pop_back();
        }
        unsigned code = 0;
        if (s.size() > 3 && s[2] == '=' && sscanf(s.c_str(), "%2x", &code) == 1) {
            table[code] = s.substr(3);
        }
    }
    bool ok = !ferror(f);
    fclose(f);
    return ok;
}

// Appends the codes of a UTF-8 text, character by character.
bool encode(const std::vector<std::string> &table, const std::string &text, std::string &out) {
    for (size_t i = 0; i < text.size();) {
        size_t best = 0;
        unsigned best_code = 0;
        for (unsigned c = 0; c < 0xFA; c++) {
            const std::string &u = table[c];
            if (!u.empty() && u.size() > best && text.compare(i, u.size(), u) == 0) {
                best = u.size();
                best_code = c;
            }
        }
        if (best == 0) {
            fprintf(stderr, "make_sample: no code for the text at \"%s\"\n", text.c_str() + i);
            return false;
        }
        out += static_cast<char>(best_code);
        i += best;
    }
    return true;
}

bool write_file(const std::string &path, const std::string &bytes) {
    FILE *f = fopen(path.c_str(), "wb");
    if (f == nullptr) {
        perror(path.c_str());
        return false;
    }
    bool ok = fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    ok = fclose(f) == 0 && ok;
    if (!ok) {
        perror(path.c_str());
    }
    return ok;
}

} // namespace

int main(int argc, char **argv) {
    if (argc < 3 || argc > 4 || (argc == 4 && strlen(argv[3]) != 1)) {
        fprintf(stderr, "usage: make_sample TEXT_TABLE DIR [LETTER]\n");
        return 2;
    }
    const std::string dir = argv[2];
    const char letter = argc == 4 ? argv[3][0] : 'S';
    std::vector<std::string> table;
    if (!read_text_table(argv[1], table)) {
        return 1;
    }

    // A message is a list of pieces: text to encode, or raw code bytes.
    struct piece {
        const char *text;
        std::string codes;
    };
    const std::string FD = "\xFD";
    const std::vector<std::vector<piece>> messages = {
        {{"Welcome, ", ""},
         {nullptr, FD + std::string("\x01\x00\x05", 3)},
         {"!", ""},
         {nullptr, "\xFE"}},
        {{"ようこそ、", ""}, {nullptr, FD + "\x0A"}, {"の アジトへ。", ""}, {nullptr, "\xFB"}},
        {{"", ""},
         {nullptr, FD + "\x0B"},
         {"と ", ""},
         {nullptr, FD + "\x0A"},
         {"が たたかっている！", ""},
         {nullptr, "\xFF"}},
        {{"「", ""}, {nullptr, FD + "\x08"}, {"」 が とんでいく。", ""}, {nullptr, "\xFA"}},
        {{"HP 100%", ""},
         {nullptr, std::string("\xFC\x12\x34", 3)},
         {"カタカナ と 0123", ""},
         {nullptr, "\xFF"}},
        {{"Unknown: ", ""},
         {nullptr, std::string("\xFD\x00", 2)},
         {" / ", ""},
         {nullptr, FD + "\x30"},
         {" / [", ""},
         {nullptr, FD + "\x31"},
         {"]", ""},
         {nullptr, "\xFF"}},
        {{"Not a name: ", ""}, {nullptr, FD + "\x01"}, {"OK", ""}, {nullptr, "\xFF\xFF"}},
    };

    std::string region;
    for (const auto &message : messages) {
        for (const auto &p : message) {
            if (p.text == nullptr) {
                region += p.codes;
            } else if (!encode(table, p.text, region)) {
                return 1;
            }
        }
    }

    // The image ends right after the messages: the converter prints nothing
    // for the rest of the region.
    std::string image(MESSAGE_START, '\0');
    const char name[] = "VELQUOR SAMPDVSJ";
    memcpy(&image[HEADER_NAME_OFFSET], name, 16);
    image[HEADER_NAME_OFFSET + 8] = letter;
    image += region;

    if (!write_file(dir + "/sample.gba", image)) {
        return 1;
    }
    return 0;
}

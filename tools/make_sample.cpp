// Writes a sample cartridge image and a sample velquor.tbl into a folder, so
// that the converter can be tried without any real game data. The character
// set is made up for the sample: digits, ASCII letters, hiragana, katakana and
// a little punctuation. The messages use every control code and every kind of
// placeholder.
//
// usage: make_sample DIR [LETTER]   (LETTER: the version letter, default S)
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

constexpr uint32_t HEADER_NAME_OFFSET = 0xA0;
constexpr uint32_t MESSAGE_START = 0x145D92;

struct entry {
    std::string utf8; // how the character reads, to encode the messages
    std::string sjis; // the one or two bytes the table holds
};

std::string utf8_of(uint32_t cp) {
    std::string s;
    if (cp < 0x80) {
        s += static_cast<char>(cp);
    } else if (cp < 0x800) {
        s += static_cast<char>(0xC0 | (cp >> 6));
        s += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        s += static_cast<char>(0xE0 | (cp >> 12));
        s += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        s += static_cast<char>(0x80 | (cp & 0x3F));
    }
    return s;
}

std::string sjis_of(unsigned code) {
    return std::string{static_cast<char>(code >> 8), static_cast<char>(code & 0xFF)};
}

// The table, code by code; codes without an entry stay empty.
std::vector<entry> make_table() {
    std::vector<entry> table(256);
    unsigned code = 0x01;
    for (char c = '0'; c <= '9'; c++) {
        table[code++] = {std::string(1, c), std::string(1, c)};
    }
    for (char c = 'A'; c <= 'Z'; c++) {
        table[code++] = {std::string(1, c), std::string(1, c)};
    }
    for (char c = 'a'; c <= 'z'; c++) {
        table[code++] = {std::string(1, c), std::string(1, c)};
    }
    table[code++] = {" ", " "};
    // Hiragana U+3041 to U+3093 are contiguous in Shift-JIS from 0x829F.
    for (uint32_t cp = 0x3041; cp <= 0x3093; cp++) {
        table[code++] = {utf8_of(cp), sjis_of(0x829F + (cp - 0x3041))};
    }
    // Katakana U+30A1 to U+30F6 start at 0x8340 and skip 0x837F.
    for (uint32_t cp = 0x30A1; cp <= 0x30F6; cp++) {
        unsigned sj = 0x8340 + (cp - 0x30A1);
        if (sj >= 0x837F) {
            sj++;
        }
        table[code++] = {utf8_of(cp), sjis_of(sj)};
    }
    const struct {
        uint32_t cp;
        unsigned sjis;
    } punctuation[] = {{0x3001, 0x8141}, {0x3002, 0x8142}, {0xFF01, 0x8149}, {0xFF1F, 0x8148},
                       {0x30FC, 0x815B}, {0x300C, 0x8175}, {0x300D, 0x8176}, {0x3000, 0x8140}};
    for (const auto &p : punctuation) {
        table[code++] = {utf8_of(p.cp), sjis_of(p.sjis)};
    }
    // ASCII punctuation; the '%' shows that table entries are printed as
    // text, never taken as formats.
    for (char c : std::string("%!.,:/[]")) {
        table[code++] = {std::string(1, c), std::string(1, c)};
    }
    if (code > 0xFA) {
        fprintf(stderr, "make_sample: table overflows into the control codes\n");
        return {};
    }
    // Entries on the control codes are never printed; fill them to show it.
    for (unsigned c = 0xFA; c <= 0xFF; c++) {
        table[c] = {"", "##"};
    }
    return table;
}

// Appends the codes of a UTF-8 text, character by character.
bool encode(const std::vector<entry> &table, const std::string &text, std::string &out) {
    for (size_t i = 0; i < text.size();) {
        size_t best = 0;
        unsigned best_code = 0;
        for (unsigned c = 0; c < 0xFA; c++) {
            const std::string &u = table[c].utf8;
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
    if (argc < 2 || argc > 3 || (argc == 3 && strlen(argv[2]) != 1)) {
        fprintf(stderr, "usage: make_sample DIR [LETTER]\n");
        return 2;
    }
    const std::string dir = argv[1];
    const char letter = argc == 3 ? argv[2][0] : 'S';
    const std::vector<entry> table = make_table();
    if (table.empty()) {
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

    std::string tbl;
    for (const auto &e : table) {
        tbl += e.sjis;
        tbl.append(2 - e.sjis.size(), '\0');
    }
    if (!write_file(dir + "/sample.gba", image) || !write_file(dir + "/velquor.tbl", tbl)) {
        return 1;
    }
    return 0;
}

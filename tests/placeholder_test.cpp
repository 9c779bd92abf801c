#include "stream_model.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>

using namespace testing_support;

namespace {

const std::string TABLE = distinct_table();

const std::string QUESTION = QUESTION_WORD;
const std::string NAME_S = NAME_FOR_S;
const std::string NAME_R = NAME_FOR_R;
const std::string NAME_OTHER = NAME_FOR_OTHER;
const std::string ROCKET = WORD_FOR_08;
const std::string FIRST_TEAM = FIRST_TEAM_WORD;
const std::string SECOND_TEAM = SECOND_TEAM_WORD;

// The one place where the words' bytes are written out, to pin them.
TEST(Placeholder, WordsAreTheirShiftJisBytes) {
    const struct {
        const char *word;
        const char *bytes;
    } words[] = {
        {QUESTION_WORD, "\x81\x48\x81\x48\x81\x48\x81\x48"},
        {NAME_FOR_S, "\x83\x4A\x83\x43\x83\x67"},
        {NAME_FOR_R, "\x83\x8A\x83\x4E\x83\x84"},
        {NAME_FOR_OTHER, "\x8E\xE5\x90\x6C\x8C\xF6"},
        {WORD_FOR_08, "\x83\x8D\x83\x50\x83\x62\x83\x67"},
        {FIRST_TEAM_WORD, "\x83\x7D\x83\x4F\x83\x7D\x82\xBE\x82\xF1"},
        {SECOND_TEAM_WORD, "\x83\x41\x83\x4E\x83\x41\x82\xBE\x82\xF1"},
    };
    size_t longest = 0;
    for (const auto &w : words) {
        EXPECT_EQ(std::string(w.word), std::string(w.bytes));
        longest = std::max(longest, strlen(w.word));
    }
    EXPECT_EQ(longest, LONGEST_WORD);
}

struct placeholder_case {
    std::string after_fd; // bytes after the 0xFD
    std::string for_s, for_r, for_other;
    uint32_t consumed; // bytes taken, 0xFD included, when the form is whole
};

constexpr uint32_t AT = 0x20;

// Decodes 0xFD and its bytes, then a 0xFF as a marker, with each letter.
void check(const placeholder_case &c) {
    const unsigned char letters[] = {'S', 'R', 0x00, 'X', 's', 0xFF};
    for (unsigned char letter : letters) {
        const std::string &word = letter == 'S' ? c.for_s : letter == 'R' ? c.for_r : c.for_other;
        std::string codes = "\xFD" + c.after_fd + "\xFF";
        std::string image = image_with(0x80, AT, codes);
        uint32_t end = AT + static_cast<uint32_t>(codes.size()) - 1;
        EXPECT_EQ(decode(image, TABLE, letter, AT, end), word + "\n")
            << "letter " << int(letter) << " argument "
            << int(static_cast<unsigned char>(c.after_fd[0]));
        // The marker right after the consumed bytes is where decoding goes on.
        EXPECT_EQ(decode(image, TABLE, letter, AT, AT + c.consumed - 1), word)
            << "letter " << int(letter) << " decodes past its own bytes";
    }
}

TEST(Placeholder, WordsByArgumentAndLetter) {
    const placeholder_case cases[] = {
        {std::string(1, '\0'), QUESTION, QUESTION, QUESTION, 2},
        {std::string("\x01\x99\x05", 3), NAME_S, NAME_R, NAME_OTHER, 4},
        {std::string("\x01\x00\x05", 3), NAME_S, NAME_R, NAME_OTHER, 4},
        {"\x02", QUESTION, QUESTION, QUESTION, 2},
        {"\x07", QUESTION, QUESTION, QUESTION, 2},
        {"\x08", ROCKET, ROCKET, ROCKET, 2},
        {"\x09", QUESTION, QUESTION, QUESTION, 2},
        {"\x0A", SECOND_TEAM, FIRST_TEAM, SECOND_TEAM, 2},
        {"\x0B", FIRST_TEAM, SECOND_TEAM, SECOND_TEAM, 2},
        {"\x0C", QUESTION, QUESTION, QUESTION, 2},
        {"\x25", QUESTION, QUESTION, QUESTION, 2},
        {"\x30", QUESTION, QUESTION, QUESTION, 2},
        {"\x31", "", "", "", 2},
        {"\x80", "", "", "", 2},
        {"\xFF", "", "", "", 2},
    };
    for (const auto &c : cases) {
        check(c);
    }
}

TEST(Placeholder, EveryArgumentMatchesTheModel) {
    for (unsigned d = 0; d < 256; d++) {
        for (unsigned char letter : {'S', 'R', '\0'}) {
            std::string image =
                image_with(0x80, AT, std::string("\xFD") + char(d) + "\x05\x05\x41");
            EXPECT_EQ(decode(image, TABLE, letter, AT, AT + 4),
                      model::decode(image, TABLE, letter, AT, AT + 4))
                << "argument " << d;
        }
    }
}

TEST(Placeholder, BrokenNameFormPrintsQuestionMarksAndDecodesTheLookAhead) {
    struct {
        std::string codes;
        std::string expected;
    } cases[] = {
        // x and f are decoded next, control codes included.
        {"\xFD\x01\xFF\x41", QUESTION + "\n" + model::slot(TABLE, 0x41)},
        {"\xFD\x01\xFD\x08", QUESTION + ROCKET},
        {"\xFD\x01\x41\xFC\x42\x43\x44",
         QUESTION + model::slot(TABLE, 0x41) + "\n" + model::slot(TABLE, 0x44)},
        // A second 0x01 form inside the first one's look-ahead.
        {"\xFD\x01\xFD\x01\x42\x05", QUESTION + NAME_S},
    };
    for (const auto &c : cases) {
        std::string image = image_with(0x80, AT, c.codes);
        EXPECT_EQ(decode(image, TABLE, 'S', AT, AT + uint32_t(c.codes.size()) - 1), c.expected);
    }
}

} // namespace

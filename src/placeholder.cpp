// The placeholder code 0xFD: one argument byte, printed as a fixed word.
#include "converter.h"

#include <cstring>

// Shift-JIS words, printed as they stand.
const char QUESTION_WORD[] = "\x81\x48\x81\x48\x81\x48\x81\x48"; // four full-width '?'
const char NAME_FOR_S[] = "\x83\x4A\x83\x43\x83\x67";
const char NAME_FOR_R[] = "\x83\x8A\x83\x4E\x83\x84";
const char NAME_FOR_OTHER[] = "\x8E\xE5\x90\x6C\x8C\xF6";
const char WORD_FOR_08[] = "\x83\x8D\x83\x50\x83\x62\x83\x67";
const char FIRST_TEAM_WORD[] = "\x83\x7D\x83\x4F\x83\x7D\x82\xBE\x82\xF1";
const char SECOND_TEAM_WORD[] = "\x83\x41\x83\x4E\x83\x41\x82\xBE\x82\xF1";

static_assert(sizeof FIRST_TEAM_WORD - 1 <= LONGEST_WORD &&
                  sizeof SECOND_TEAM_WORD - 1 <= LONGEST_WORD,
              "LONGEST_WORD is the length of the longest word");

static void print_word(converter_state *state, const char *word) {
    output_bytes(&state->out, word, strlen(word));
}

static const char *name_for_letter(unsigned char letter) {
    if (letter == LETTER_S) {
        return NAME_FOR_S;
    }
    if (letter == LETTER_R) {
        return NAME_FOR_R;
    }
    return NAME_FOR_OTHER;
}

// The longer form 0xFD 0x01 x 0x05 names the hero. When the fourth byte is
// not 0x05 the look-ahead is undone: the stream goes back two bytes, onto x,
// which is then decoded like any other byte.
static void expand_name(converter_state *state) {
    image_stream *image = &state->image;
    image_seek_relative(image, 1);
    int f = image_getc(image);
    state->position += 2;
    if (f == 0x05) {
        print_word(state, name_for_letter(state->header_name[VERSION_LETTER_INDEX]));
        return;
    }
    print_word(state, QUESTION_WORD);
    image_seek_relative(image, -2);
    state->position -= 2;
}

const char *placeholder_word(unsigned char d, unsigned char letter) {
    if (d == 0x08) {
        return WORD_FOR_08;
    }
    if (d == 0x0A) {
        return letter == LETTER_R ? FIRST_TEAM_WORD : SECOND_TEAM_WORD;
    }
    if (d == 0x0B) {
        return letter == LETTER_S ? FIRST_TEAM_WORD : SECOND_TEAM_WORD;
    }
    if (d <= 0x30) {
        return QUESTION_WORD;
    }
    return ""; // arguments above 0x30 print nothing
}

void expand_placeholder(converter_state *state) {
    int d = image_getc(&state->image);
    state->position += 1;
    if (d == EOF) {
        return; // the image ends where the argument should be
    }
    if (d == 0x01) {
        expand_name(state);
    } else {
        unsigned char letter = state->header_name[VERSION_LETTER_INDEX];
        print_word(state, placeholder_word(static_cast<unsigned char>(d), letter));
    }
}

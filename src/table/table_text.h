// The text form of the character table: one entry a line, "HH=text".
#ifndef DADIVUROREZUD_TABLE_TEXT_H
#define DADIVUROREZUD_TABLE_TEXT_H

#include <cstddef>
#include <string>
#include <vector>

struct table_message {
    size_t line; // 1-based line of the text table
    bool error;  // an error stops the build; otherwise a warning
    std::string text;
};

struct table_build {
    std::string table;    // the 512 bytes, when there is no error
    const char *encoding; // "UTF-8" or "Shift-JIS", as detected
    std::vector<table_message> messages;
    bool ok;
};

// Compiles the bytes of a text table (UTF-8, with or without a byte-order
// mark, or Shift-JIS) into the 512-byte binary table.
table_build build_table(const std::string &text);

// Writes a 512-byte binary table as a UTF-8 text table that build_table
// turns back into the same bytes. Entries that are not CP932 text are
// written as byte escapes; *escaped counts them.
std::string show_table(const std::string &table, size_t *escaped);

#endif

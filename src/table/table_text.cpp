#include "table_text.h"

#include "converter.h"
#include "encoding.h"

#include <cstdio>

namespace {

int hex_value(char c) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    return -1;
}

bool all_hex(const std::string &s) {
    for (char c : s) {
        if (hex_value(c) < 0) {
            return false;
        }
    }
    return !s.empty();
}

// An entry written as one or two byte escapes, "\xHH" or "\xHH\xHH". No text
// of that form is a valid entry of its own (it would take four or more
// bytes), so the form cannot be mistaken for one.
bool parse_escape(const std::string &text, std::string &bytes) {
    if (text.size() != 4 && text.size() != 8) {
        return false;
    }
    bytes.clear();
    for (size_t i = 0; i < text.size(); i += 4) {
        if (text[i] != '\\' || text[i + 1] != 'x' || hex_value(text[i + 2]) < 0 ||
            hex_value(text[i + 3]) < 0) {
            return false;
        }
        bytes += static_cast<char>(hex_value(text[i + 2]) * 16 + hex_value(text[i + 3]));
    }
    return true;
}

std::string escape(const std::string &bytes) {
    std::string out;
    char b[8];
    for (unsigned char c : bytes) {
        snprintf(b, sizeof b, "\\x%02X", c);
        out += b;
    }
    return out;
}

// The lines of a text, without their line ends (LF, or CR LF).
std::vector<std::string> split_lines(const std::string &text) {
    std::vector<std::string> lines;
    size_t start = 0;
    while (start < text.size()) {
        size_t lf = text.find('\n', start);
        size_t stop = lf == std::string::npos ? text.size() : lf;
        size_t end =
            stop > start && text[stop - 1] == '\r' && lf != std::string::npos ? stop - 1 : stop;
        lines.push_back(text.substr(start, end - start));
        start = stop + 1;
    }
    return lines;
}

bool blank(const std::string &line) {
    return line.find_first_not_of(" \t\r") == std::string::npos;
}

} // namespace

table_build build_table(const std::string &raw) {
    table_build result{std::string(CHAR_TABLE_BYTES, '\0'), "UTF-8", {}, true};
    std::string text = raw;
    if (text.compare(0, 3, "\xEF\xBB\xBF") == 0) {
        text.erase(0, 3);
    } else if (!is_utf8(text)) {
        result.encoding = "Shift-JIS";
    }
    const bool sjis = result.encoding[0] == 'S';
    auto say = [&](size_t line, bool error, const std::string &what) {
        result.messages.push_back({line, error, what});
        result.ok = result.ok && !error;
    };

    std::vector<size_t> defined_on(CHAR_TABLE_ENTRIES, 0);
    std::vector<std::string> lines = split_lines(text);
    for (size_t i = 0; i < lines.size(); i++) {
        const std::string &line = lines[i];
        const size_t n = i + 1;
        if (blank(line) || line[0] == '#') {
            continue;
        }
        if (line[0] == '*' || line[0] == '/') {
            say(n, false,
                std::string("skipped: '") + line[0] +
                    (line[0] == '*' ? "' marks a newline code" : "' marks an end-of-string code") +
                    ", which the converter does not use");
            continue;
        }
        size_t eq = line.find('=');
        if (eq == std::string::npos) {
            say(n, true, "malformed line: no '=' after the code");
            continue;
        }
        const std::string code = line.substr(0, eq);
        const std::string value = line.substr(eq + 1);
        if (!all_hex(code) || code.size() % 2 != 0) {
            say(n, true, "malformed line: the code must be two hex digits");
            continue;
        }
        if (code.size() > 2) {
            say(n, false, "skipped: the code " + code + " is more than one byte");
            continue;
        }
        const unsigned k = unsigned(hex_value(code[0]) * 16 + hex_value(code[1]));
        std::string bytes;
        if (!parse_escape(value, bytes)) {
            std::string check;
            bool encodes = sjis ? cp932_to_utf8(value, check) && (bytes = value, true)
                                : utf8_to_cp932(value, bytes);
            if (!encodes) {
                say(n, true, "the text of code " + code + " does not encode to Shift-JIS");
                continue;
            }
            if (bytes.size() > 2) {
                say(n, true,
                    "the text of code " + code + " takes " + std::to_string(bytes.size()) +
                        " bytes in Shift-JIS; an entry holds at most 2");
                continue;
            }
        }
        if (defined_on[k] != 0) {
            say(n, true,
                "code " + code + " is given twice (first on line " + std::to_string(defined_on[k]) +
                    ")");
            continue;
        }
        defined_on[k] = n;
        if (k >= 0xFA) {
            say(n, false,
                "code " + code + " is a control code; the converter never prints its entry");
        }
        result.table.replace(size_t{2} * k, bytes.size(), bytes);
    }
    if (!result.ok) {
        result.table.clear();
    }
    return result;
}

std::string show_table(const std::string &table, size_t *escaped) {
    std::string out = "# Character table for dadivurorezud: one entry a line, HH=text.\n"
                      "# Entries that are not Shift-JIS text are written as \\xHH byte escapes.\n";
    *escaped = 0;
    for (size_t k = 0; k < CHAR_TABLE_ENTRIES; k++) {
        std::string entry = table.substr(2 * k, 2);
        entry.resize(2, '\0');
        if (entry[0] == '\0' && entry[1] == '\0') {
            continue; // no entry
        }
        // The converter prints an entry up to its first zero byte; a second
        // byte after a zero, or bytes that are no text, need the escapes.
        std::string text = entry[1] == '\0' ? entry.substr(0, 1) : entry;
        std::string utf8;
        bool plain = entry[0] != '\0' && cp932_to_utf8(text, utf8);
        for (unsigned char c : text) {
            plain = plain && c >= 0x20 && c != 0x7F; // line ends and controls
        }
        char code[4];
        snprintf(code, sizeof code, "%02X", unsigned(k));
        if (plain) {
            out += std::string(code) + "=" + utf8 + "\n";
        } else {
            out += std::string(code) + "=" + escape(text) + "\n";
            ++*escaped;
        }
    }
    return out;
}

// Conversions between UTF-8 and Windows code page 932 (Shift-JIS with the
// Windows additions), through the platform's own converter: iconv(3) on
// Unix, the Win32 code page functions on Windows.
#ifndef DADIVUROREZUD_TABLE_ENCODING_H
#define DADIVUROREZUD_TABLE_ENCODING_H

#include <string>

// Opens the converters for the run. Call it once before any conversion and
// go on only when it returns true; it returns false, with errno set, on a
// system without a converter for code page 932.
bool encoding_ready();

// Whether the bytes are well-formed UTF-8.
bool is_utf8(const std::string &bytes);

// Converts UTF-8 text to CP932. Returns false when the text is not UTF-8 or
// holds a character that CP932 cannot represent exactly.
bool utf8_to_cp932(const std::string &utf8, std::string &cp932);

// Converts CP932 bytes to UTF-8. Returns false when the bytes are not valid
// CP932 text (a lone lead byte, a byte with no character).
bool cp932_to_utf8(const std::string &cp932, std::string &utf8);

#endif

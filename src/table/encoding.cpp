#include "encoding.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <cerrno>
#include <iconv.h>
#endif

bool is_utf8(const std::string &bytes) {
    size_t i = 0, n = bytes.size();
    while (i < n) {
        unsigned char c = static_cast<unsigned char>(bytes[i]);
        size_t len;
        unsigned long cp;
        if (c < 0x80) {
            i++;
            continue;
        } else if (c >= 0xC2 && c <= 0xDF) {
            len = 2;
            cp = c & 0x1F;
        } else if (c >= 0xE0 && c <= 0xEF) {
            len = 3;
            cp = c & 0x0F;
        } else if (c >= 0xF0 && c <= 0xF4) {
            len = 4;
            cp = c & 0x07;
        } else {
            return false;
        }
        if (i + len > n) {
            return false;
        }
        for (size_t k = 1; k < len; k++) {
            unsigned char t = static_cast<unsigned char>(bytes[i + k]);
            if ((t & 0xC0) != 0x80) {
                return false;
            }
            cp = (cp << 6) | (t & 0x3F);
        }
        // No overlong forms, no surrogates, nothing past U+10FFFF.
        if ((len == 3 && cp < 0x800) || (len == 4 && (cp < 0x10000 || cp > 0x10FFFF)) ||
            (cp >= 0xD800 && cp <= 0xDFFF)) {
            return false;
        }
        i += len;
    }
    return true;
}

#ifdef _WIN32

static bool to_wide(UINT code_page, const std::string &in, std::wstring &out) {
    out.clear();
    if (in.empty()) {
        return true;
    }
    int n =
        MultiByteToWideChar(code_page, MB_ERR_INVALID_CHARS, in.data(), int(in.size()), nullptr, 0);
    if (n <= 0) {
        return false;
    }
    out.resize(size_t(n));
    return MultiByteToWideChar(code_page, MB_ERR_INVALID_CHARS, in.data(), int(in.size()), &out[0],
                               n) == n;
}

static bool from_wide(UINT code_page, const std::wstring &in, std::string &out) {
    out.clear();
    if (in.empty()) {
        return true;
    }
    BOOL used_default = FALSE;
    BOOL *check = code_page == CP_UTF8 ? nullptr : &used_default;
    DWORD flags = code_page == CP_UTF8 ? WC_ERR_INVALID_CHARS : WC_NO_BEST_FIT_CHARS;
    int n = WideCharToMultiByte(code_page, flags, in.data(), int(in.size()), nullptr, 0, nullptr,
                                check);
    if (n <= 0 || used_default) {
        return false;
    }
    out.resize(size_t(n));
    n = WideCharToMultiByte(code_page, flags, in.data(), int(in.size()), &out[0], n, nullptr,
                            check);
    return n == int(out.size()) && !used_default;
}

// Both ways must agree, so that no character is taken to a look-alike.
static bool convert(UINT from, UINT to, const std::string &in, std::string &out) {
    std::wstring wide, back;
    return to_wide(from, in, wide) && from_wide(to, wide, out) && to_wide(to, out, back) &&
           back == wide;
}

bool encoding_ready() {
    return true; // the code page functions are part of the system
}

bool utf8_to_cp932(const std::string &utf8, std::string &cp932) {
    return is_utf8(utf8) && convert(CP_UTF8, 932, utf8, cp932);
}

bool cp932_to_utf8(const std::string &cp932, std::string &utf8) {
    return convert(932, CP_UTF8, cp932, utf8);
}

#else

// The two converters, opened once for the whole run.
static iconv_t to_cp932 = reinterpret_cast<iconv_t>(-1);
static iconv_t to_utf8 = reinterpret_cast<iconv_t>(-1);

bool encoding_ready() {
    const iconv_t none = reinterpret_cast<iconv_t>(-1);
    if (to_cp932 == none) {
        to_cp932 = iconv_open("CP932", "UTF-8");
    }
    if (to_utf8 == none) {
        to_utf8 = iconv_open("UTF-8", "CP932");
    }
    return to_cp932 != none && to_utf8 != none;
}

static bool convert(iconv_t cd, const std::string &in, std::string &out) {
    out.clear();
    // Back to the initial state: a lone lead byte of an earlier call may
    // have been kept there.
    iconv(cd, nullptr, nullptr, nullptr, nullptr);
    std::string buf(in.size() * 4 + 16, '\0');
    char *src = const_cast<char *>(in.data());
    size_t src_left = in.size();
    char *dst = &buf[0];
    size_t dst_left = buf.size();
    // Both encodings are stateless: there is no shift state to write out
    // at the end.
    bool ok = iconv(cd, &src, &src_left, &dst, &dst_left) != static_cast<size_t>(-1);
    if (ok) {
        out.assign(buf.data(), buf.size() - dst_left);
    }
    return ok;
}

// The way back must give the same text, so that no character is taken to a
// look-alike. A way back that fails leaves `back` empty, which differs from
// any text that converted to something.
bool utf8_to_cp932(const std::string &utf8, std::string &cp932) {
    if (!is_utf8(utf8) || !convert(to_cp932, utf8, cp932)) {
        return false;
    }
    std::string back;
    convert(to_utf8, cp932, back);
    return back == utf8;
}

bool cp932_to_utf8(const std::string &cp932, std::string &utf8) {
    if (!convert(to_utf8, cp932, utf8)) {
        return false;
    }
    std::string back;
    convert(to_cp932, utf8, back);
    return back == cp932;
}

#endif

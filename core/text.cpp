#include "text.h"

#include "errors.h"

#include <array>

namespace quorvale {

namespace {

// Windows-1252 0x80..0x9F; undefined bytes map to the C1 control of the same value.
constexpr std::array<char16_t, 32> kCp1252High = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

char16_t cp1252Unit(unsigned char b) {
    if (b >= 0x80 && b < 0xA0)
        return kCp1252High[b - 0x80];
    return b;
}

void appendUtf8(std::string& out, char32_t cp) {
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (cp >> 18));
        out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

// Decodes one UTF-8 sequence at s[i]; returns its length, 0 when it is not valid UTF-8.
size_t decodeOne(std::string_view s, size_t i, char32_t& cp) {
    const auto b0 = static_cast<unsigned char>(s[i]);
    if (b0 < 0x80) {
        cp = b0;
        return 1;
    }
    size_t len;
    char32_t min;
    if ((b0 & 0xE0) == 0xC0) {
        len = 2, cp = b0 & 0x1F, min = 0x80;
    } else if ((b0 & 0xF0) == 0xE0) {
        len = 3, cp = b0 & 0x0F, min = 0x800;
    } else if ((b0 & 0xF8) == 0xF0) {
        len = 4, cp = b0 & 0x07, min = 0x10000;
    } else {
        return 0;
    }
    if (i + len > s.size())
        return 0;
    for (size_t k = 1; k < len; ++k) {
        const auto b = static_cast<unsigned char>(s[i + k]);
        if ((b & 0xC0) != 0x80)
            return 0;
        cp = (cp << 6) | (b & 0x3F);
    }
    if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))
        return 0;
    return len;
}

} // namespace

bool isValidUtf8(std::string_view s) {
    for (size_t i = 0; i < s.size();) {
        char32_t cp;
        const size_t n = decodeOne(s, i, cp);
        if (n == 0)
            return false;
        i += n;
    }
    return true;
}

std::u16string utf8ToUtf16(std::string_view s) {
    std::u16string out;
    out.reserve(s.size());
    for (size_t i = 0; i < s.size();) {
        char32_t cp;
        size_t n = decodeOne(s, i, cp);
        if (n == 0) {
            cp = cp1252Unit(static_cast<unsigned char>(s[i]));
            n = 1;
        }
        if (cp >= 0x10000) {
            cp -= 0x10000;
            out += static_cast<char16_t>(0xD800 + (cp >> 10));
            out += static_cast<char16_t>(0xDC00 + (cp & 0x3FF));
        } else {
            out += static_cast<char16_t>(cp);
        }
        i += n;
    }
    return out;
}

std::string utf16ToUtf8(std::u16string_view s) {
    std::string out;
    out.reserve(s.size());
    for (size_t i = 0; i < s.size(); ++i) {
        char32_t cp = s[i];
        if (cp >= 0xD800 && cp < 0xDC00 && i + 1 < s.size() && s[i + 1] >= 0xDC00 &&
            s[i + 1] < 0xE000) {
            cp = 0x10000 + ((cp - 0xD800) << 10) + (s[i + 1] - 0xDC00);
            ++i;
        } else if (cp >= 0xD800 && cp < 0xE000) {
            cp = 0xFFFD; // a lone surrogate cannot be written as UTF-8
        }
        appendUtf8(out, cp);
    }
    return out;
}

std::string cp1252ToUtf8(std::string_view bytes) {
    std::string out;
    out.reserve(bytes.size());
    for (const char c : bytes)
        appendUtf8(out, cp1252Unit(static_cast<unsigned char>(c)));
    return out;
}

std::string decodeUtf8OrCp1252(std::string_view bytes) {
    return isValidUtf8(bytes) ? std::string(bytes) : cp1252ToUtf8(bytes);
}

char16_t lowerUnit(char16_t c) {
    if (c < 0x80)
        return (c >= u'A' && c <= u'Z') ? static_cast<char16_t>(c + 32) : c;
    if ((c >= 0xC0 && c <= 0xDE && c != 0xD7) || (c >= 0x391 && c <= 0x3AB && c != 0x3A2) ||
        (c >= 0x410 && c <= 0x42F))
        return static_cast<char16_t>(c + 32);
    if (c >= 0x400 && c <= 0x40F)
        return static_cast<char16_t>(c + 80);
    if (c >= 0x100 && c <= 0x17F && c != 0x130 && c != 0x131 && c != 0x138 && c != 0x149 &&
        c != 0x17F) {
        // Latin Extended-A pairs: upper on even code points, except the 0x139..0x148 and
        // 0x179..0x17E runs, where upper is odd.
        const bool oddUpper = (c >= 0x139 && c <= 0x148) || (c >= 0x179 && c <= 0x17E);
        if (oddUpper ? (c % 2 == 1) : (c % 2 == 0))
            return static_cast<char16_t>(c + 1);
        return c;
    }
    if (c == 0x178)
        return 0xFF;
    return c;
}

std::u16string lowerUtf16(std::u16string_view s) {
    std::u16string out(s);
    for (auto& c : out)
        c = lowerUnit(c);
    return out;
}

int compareNames(std::string_view a, std::string_view b) {
    // ASCII fast path: the common case for value and key names.
    size_t i = 0;
    for (; i < a.size() && i < b.size(); ++i) {
        const auto ca = static_cast<unsigned char>(a[i]);
        const auto cb = static_cast<unsigned char>(b[i]);
        if (ca >= 0x80 || cb >= 0x80)
            break;
        const char16_t la = lowerUnit(ca), lb = lowerUnit(cb);
        if (la != lb)
            return la < lb ? -1 : 1;
    }
    if (i == a.size() || i == b.size()) {
        if (a.size() == b.size())
            return 0;
        return a.size() < b.size() ? -1 : 1;
    }
    const std::u16string ua = lowerUtf16(utf8ToUtf16(a.substr(i)));
    const std::u16string ub = lowerUtf16(utf8ToUtf16(b.substr(i)));
    const int r = ua.compare(ub);
    return r < 0 ? -1 : (r > 0 ? 1 : 0);
}

bool sameName(std::string_view a, std::string_view b) {
    return compareNames(a, b) == 0;
}

bool tryStrToInt(const std::string& text, int32_t& out) {
    size_t i = 0;
    while (i < text.size() && text[i] == ' ')
        ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '-' || text[i] == '+')) {
        negative = text[i] == '-';
        ++i;
    }
    unsigned base = 10;
    if (i < text.size() && text[i] == '$') {
        base = 16;
        ++i;
    } else if (i + 1 < text.size() && text[i] == '0' &&
               (text[i + 1] == 'x' || text[i + 1] == 'X')) {
        base = 16;
        i += 2;
    }
    if (i >= text.size())
        return false;
    int64_t value = 0;
    const int64_t limit = base == 16 ? 0xFFFFFFFFLL : (negative ? 2147483648LL : 2147483647LL);
    for (; i < text.size(); ++i) {
        const char c = text[i];
        unsigned digit;
        if (c >= '0' && c <= '9')
            digit = static_cast<unsigned>(c - '0');
        else if (base == 16 && c >= 'a' && c <= 'f')
            digit = static_cast<unsigned>(c - 'a' + 10);
        else if (base == 16 && c >= 'A' && c <= 'F')
            digit = static_cast<unsigned>(c - 'A' + 10);
        else
            return false;
        value = value * base + digit;
        if (value > limit)
            return false;
    }
    if (base == 16)
        value = static_cast<int32_t>(static_cast<uint32_t>(value));
    out = static_cast<int32_t>(negative ? -value : value);
    return true;
}

int32_t strToInt(const std::string& text) {
    int32_t v;
    if (!tryStrToInt(text, v))
        throw ConvertError(text);
    return v;
}

bool tryParsePort(const std::string& text, uint16_t& out) {
    if (text.empty())
        return false;
    unsigned v = 0;
    for (const char c : text) {
        if (c < '0' || c > '9')
            return false;
        v = v * 10 + static_cast<unsigned>(c - '0');
        if (v > 65535)
            return false;
    }
    if (v < 1)
        return false;
    out = static_cast<uint16_t>(v);
    return true;
}

std::string badPortMessage(const std::string& text) {
    const size_t sign = !text.empty() && (text[0] == '-' || text[0] == '+') ? 1 : 0;
    const bool digits =
        text.size() > sign && text.find_first_not_of("0123456789", sign) == std::string::npos;
    // A number in range that tryParsePort refused (blanks, hex) is no port text either.
    int32_t value = 0;
    const bool outOfRange = tryStrToInt(text, value) && (value < 1 || value > 65535);
    if (digits || outOfRange)
        return "'" + text + "' is not a valid port number (1\u201365535).";
    return ConvertError(text).what();
}

uint16_t portNumber(const std::string& text) {
    uint16_t port = 0;
    if (!tryParsePort(text, port))
        throw LauncherError(badPortMessage(text));
    return port;
}

namespace {

bool isControl(char16_t c) {
    return c < 0x20 || (c >= 0x7F && c <= 0x9F);
}

// Line and paragraph separators, embeddings, overrides and isolates: what reorders or breaks
// the text around a name.
bool isControlOrBidi(char16_t c) {
    return isControl(c) || (c >= 0x2028 && c <= 0x202E) || (c >= 0x2066 && c <= 0x2069);
}

std::u16string escaped(std::string_view text, bool (*shown)(char16_t)) {
    static const char hex[] = "0123456789abcdef";
    std::u16string out;
    for (const char16_t c : utf8ToUtf16(text)) {
        if (!shown(c)) {
            out += c;
            continue;
        }
        out += u'\\';
        if (c == '\t' || c == '\n' || c == '\r') {
            out += c == '\t' ? u't' : c == '\n' ? u'n' : u'r';
            continue;
        }
        out += u'u';
        for (int shift = 12; shift >= 0; shift -= 4)
            out += static_cast<char16_t>(hex[(c >> shift) & 0xF]);
    }
    return out;
}

} // namespace

std::string escapeControlCharacters(std::string_view text) {
    return utf16ToUtf8(escaped(text, isControl));
}

std::string isolatedDisplayText(std::string_view text) {
    return utf16ToUtf8(u"\u2068" + escaped(text, isControlOrBidi) + u"\u2069");
}

} // namespace quorvale

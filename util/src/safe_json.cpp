// JSON string literals for texts that travel inside command lines and files.
#include "Vantor_util/Vantor_util.h"

#include <cerrno>
#include <cstring>

namespace {

// Bounded writer into the caller's buffer; remembers running out of room.
class Out {
public:
    Out(char* buffer, size_t capacity) : buf_(buffer), cap_(capacity) {}
    void put(char c)
    {
        if (len_ + 1 < cap_) {
            buf_[len_] = c;
        } else {
            full_ = true;
        }
        ++len_;
    }
    void put(const char* s)
    {
        for (; *s != '\0'; ++s) {
            put(*s);
        }
    }
    int finish()
    {
        if (full_ || cap_ == 0) {
            if (cap_ > 0) {
                buf_[0] = '\0';
            }
            errno = ENOBUFS;
            return -1;
        }
        buf_[len_] = '\0';
        return 0;
    }

private:
    char* buf_;
    size_t cap_;
    size_t len_ = 0;
    bool full_ = false;
};

const char* shortEscape(unsigned char c)
{
    switch (c) {
    case '"': return "\\\"";
    case '\\': return "\\\\";
    case '\b': return "\\b";
    case '\f': return "\\f";
    case '\n': return "\\n";
    case '\r': return "\\r";
    case '\t': return "\\t";
    default: return nullptr;
    }
}

int hexValue(char c)
{
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// Reads the four hex digits after "\u"; -1 when they are not hex.
long readHex4(const char* p)
{
    long v = 0;
    for (int i = 0; i < 4; ++i) {
        int h = hexValue(p[i]);
        if (h < 0) {
            return -1;
        }
        v = v * 16 + h;
    }
    return v;
}

void putUtf8(Out& out, unsigned long cp)
{
    if (cp < 0x80) {
        out.put(static_cast<char>(cp));
    } else if (cp < 0x800) {
        out.put(static_cast<char>(0xC0 | (cp >> 6)));
        out.put(static_cast<char>(0x80 | (cp & 0x3F)));
    } else if (cp < 0x10000) {
        out.put(static_cast<char>(0xE0 | (cp >> 12)));
        out.put(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.put(static_cast<char>(0x80 | (cp & 0x3F)));
    } else {
        out.put(static_cast<char>(0xF0 | (cp >> 18)));
        out.put(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
        out.put(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.put(static_cast<char>(0x80 | (cp & 0x3F)));
    }
}

// Decodes one "\uXXXX" (and its low surrogate partner) at p, which points at
// the 'u'. Advances p past what it used; false for malformed input.
bool decodeUnicodeEscape(const char*& p, Out& out)
{
    long cp = readHex4(p + 1);
    if (cp < 0) {
        return false;
    }
    p += 5;
    if (cp >= 0xDC00 && cp <= 0xDFFF) {
        return false; // low surrogate without a high one
    }
    if (cp >= 0xD800 && cp <= 0xDBFF) {
        if (p[0] != '\\' || p[1] != 'u') {
            return false;
        }
        long low = readHex4(p + 2);
        if (low < 0xDC00 || low > 0xDFFF) {
            return false;
        }
        p += 6;
        cp = 0x10000 + ((cp - 0xD800) << 10) + (low - 0xDC00);
    }
    if (cp == 0) {
        return false; // a NUL would silently cut the text short
    }
    putUtf8(out, static_cast<unsigned long>(cp));
    return true;
}

} // namespace

namespace Vantor_util {

int toSafeJSON(char* buffer, size_t capacity, const char* text)
{
    if (buffer == nullptr || text == nullptr) {
        errno = EINVAL;
        return -1;
    }
    Out out(buffer, capacity);
    out.put('"');
    for (const char* p = text; *p != '\0'; ++p) {
        auto c = static_cast<unsigned char>(*p);
        if (const char* esc = shortEscape(c)) {
            out.put(esc);
        } else if (c < 0x20) {
            static const char hex[] = "0123456789abcdef";
            out.put("\\u00");
            out.put(hex[c >> 4]);
            out.put(hex[c & 0xF]);
        } else {
            out.put(static_cast<char>(c));
        }
    }
    out.put('"');
    return out.finish();
}

int fromSafeJSON(char* buffer, size_t capacity, const char* literal)
{
    if (buffer == nullptr || literal == nullptr) {
        errno = EINVAL;
        return -1;
    }
    if (capacity > 0) {
        buffer[0] = '\0';
    }
    if (literal[0] != '"') {
        errno = EINVAL;
        return -1;
    }
    Out out(buffer, capacity);
    const char* p = literal + 1;
    for (;;) {
        auto c = static_cast<unsigned char>(*p);
        if (c == '\0' || c < 0x20) {
            errno = EINVAL; // unterminated, or a raw control character
            return -1;
        }
        if (c == '"') {
            break;
        }
        if (c != '\\') {
            out.put(static_cast<char>(c));
            ++p;
            continue;
        }
        ++p;
        switch (*p) {
        case '"': out.put('"'); ++p; break;
        case '\\': out.put('\\'); ++p; break;
        case '/': out.put('/'); ++p; break;
        case 'b': out.put('\b'); ++p; break;
        case 'f': out.put('\f'); ++p; break;
        case 'n': out.put('\n'); ++p; break;
        case 'r': out.put('\r'); ++p; break;
        case 't': out.put('\t'); ++p; break;
        case 'u':
            if (!decodeUnicodeEscape(p, out)) {
                errno = EINVAL;
                return -1;
            }
            break;
        default:
            errno = EINVAL;
            return -1;
        }
    }
    if (p[1] != '\0') {
        errno = EINVAL; // text after the closing quote
        return -1;
    }
    return out.finish();
}

bool isStrictUtf8(const char* text, size_t length)
{
    if (text == nullptr) {
        return length == 0;
    }
    const auto* p = reinterpret_cast<const unsigned char*>(text);
    const unsigned char* end = p + length;
    while (p < end) {
        const unsigned char c = *p;
        size_t extra = 0;
        unsigned long cp = 0;
        if (c < 0x80) {
            ++p;
            continue;
        }
        if ((c & 0xE0) == 0xC0) {
            extra = 1;
            cp = c & 0x1F;
        } else if ((c & 0xF0) == 0xE0) {
            extra = 2;
            cp = c & 0x0F;
        } else if ((c & 0xF8) == 0xF0) {
            extra = 3;
            cp = c & 0x07;
        } else {
            return false;
        }
        if (static_cast<size_t>(end - p) <= extra) {
            return false;
        }
        for (size_t i = 1; i <= extra; ++i) {
            if ((p[i] & 0xC0) != 0x80) {
                return false;
            }
            cp = (cp << 6) | (p[i] & 0x3F);
        }
        static const unsigned long minimum[] = {0, 0x80, 0x800, 0x10000};
        if (cp < minimum[extra] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
            return false;
        }
        p += extra + 1;
    }
    return true;
}

} // namespace Vantor_util

#include "imaging/exif/ExifText.h"

namespace exif {

namespace {

// U+0402.. for the bytes 0x80..0xBF of Windows-1251; 0xC0..0xFF are
// U+0410..U+044F in order.
constexpr char16_t kCp1251High[64] = {
    0x0402, 0x0403, 0x201A, 0x0453, 0x201E, 0x2026, 0x2020, 0x2021, 0x20AC, 0x2030, 0x0409, 0x2039, 0x040A,
    0x040C, 0x040B, 0x040F, 0x0452, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014, 0xFFFD, 0x2122,
    0x0459, 0x203A, 0x045A, 0x045C, 0x045B, 0x045F, 0x00A0, 0x040E, 0x045E, 0x0408, 0x00A4, 0x0490, 0x00A6,
    0x00A7, 0x0401, 0x00A9, 0x0404, 0x00AB, 0x00AC, 0x00AD, 0x00AE, 0x0407, 0x00B0, 0x00B1, 0x0406, 0x0456,
    0x0491, 0x00B5, 0x00B6, 0x00B7, 0x0451, 0x2116, 0x0454, 0x00BB, 0x0458, 0x0405, 0x0455, 0x0457};

void appendUtf8(std::string& out, uint32_t cp)
{
    if (cp < 0x80) {
        out += char(cp);
    } else if (cp < 0x800) {
        out += char(0xC0 | cp >> 6);
        out += char(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += char(0xE0 | cp >> 12);
        out += char(0x80 | (cp >> 6 & 0x3F));
        out += char(0x80 | (cp & 0x3F));
    } else {
        out += char(0xF0 | cp >> 18);
        out += char(0x80 | (cp >> 12 & 0x3F));
        out += char(0x80 | (cp >> 6 & 0x3F));
        out += char(0x80 | (cp & 0x3F));
    }
}

// Decodes one UTF-8 sequence at i; false for a malformed one.
bool decodeUtf8(std::string_view s, size_t& i, uint32_t& cp)
{
    const uint8_t b = uint8_t(s[i]);
    int extra = 0;
    uint32_t min = 0;
    if (b < 0x80) { cp = b; ++i; return true; }
    if (b >= 0xC2 && b <= 0xDF) { cp = b & 0x1F; extra = 1; min = 0x80; }
    else if (b >= 0xE0 && b <= 0xEF) { cp = b & 0x0F; extra = 2; min = 0x800; }
    else if (b >= 0xF0 && b <= 0xF4) { cp = b & 0x07; extra = 3; min = 0x10000; }
    else return false;
    if (s.size() - i <= size_t(extra)) return false;
    for (int k = 1; k <= extra; ++k) {
        const uint8_t c = uint8_t(s[i + size_t(k)]);
        if ((c & 0xC0) != 0x80) return false;
        cp = cp << 6 | (c & 0x3F);
    }
    if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return false;
    i += size_t(extra) + 1;
    return true;
}

}  // namespace

bool IsValidUtf8(std::string_view bytes)
{
    size_t i = 0;
    uint32_t cp = 0;
    while (i < bytes.size())
        if (!decodeUtf8(bytes, i, cp)) return false;
    return true;
}

std::string Cp1251ToUtf8(std::string_view bytes)
{
    std::string out;
    out.reserve(bytes.size() * 2);
    for (char ch : bytes) {
        const uint8_t b = uint8_t(ch);
        if (b < 0x80) out += ch;
        else if (b < 0xC0) appendUtf8(out, kCp1251High[b - 0x80]);
        else appendUtf8(out, 0x0410u + (b - 0xC0u));
    }
    return out;
}

std::string ExifTextToUtf8(std::string_view bytes)
{
    return IsValidUtf8(bytes) ? std::string(bytes) : Cp1251ToUtf8(bytes);
}

std::string Utf16LeToUtf8(const uint8_t* bytes, size_t count)
{
    std::string out;
    const size_t n = count / 2;
    for (size_t i = 0; i < n; ++i) {
        uint32_t u = uint32_t(bytes[2 * i]) | uint32_t(bytes[2 * i + 1]) << 8;
        if (u == 0) break;
        if (u >= 0xD800 && u <= 0xDBFF && i + 1 < n) {
            const uint32_t lo = uint32_t(bytes[2 * i + 2]) | uint32_t(bytes[2 * i + 3]) << 8;
            if (lo >= 0xDC00 && lo <= 0xDFFF) {
                appendUtf8(out, 0x10000 + ((u - 0xD800) << 10) + (lo - 0xDC00));
                ++i;
                continue;
            }
        }
        appendUtf8(out, (u >= 0xD800 && u <= 0xDFFF) ? 0xFFFD : u);
    }
    return out;
}

std::vector<uint8_t> Utf8ToUtf16Le(std::string_view text)
{
    const std::string utf8 = ExifTextToUtf8(text);
    std::vector<uint8_t> out;
    out.reserve(utf8.size() * 2 + 2);
    auto put = [&out](uint32_t u) {
        out.push_back(uint8_t(u & 0xFF));
        out.push_back(uint8_t(u >> 8));
    };
    size_t i = 0;
    uint32_t cp = 0;
    while (i < utf8.size()) {
        if (!decodeUtf8(utf8, i, cp)) { ++i; cp = 0xFFFD; }
        if (cp >= 0x10000) {
            put(0xD800 + ((cp - 0x10000) >> 10));
            put(0xDC00 + ((cp - 0x10000) & 0x3FF));
        } else {
            put(cp);
        }
    }
    put(0);
    return out;
}

}  // namespace exif

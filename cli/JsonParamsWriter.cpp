#include "cli/JsonParamsWriter.h"

#include <cmath>
#include <cstdio>

namespace {

// Length of the valid UTF-8 sequence at s[i], 0 when it is not one.
size_t utf8Length(const std::string& s, size_t i)
{
    const auto b = [&](size_t k) { return static_cast<unsigned char>(s[k]); };
    unsigned char c = b(i);
    size_t len;
    uint32_t cp;
    if (c < 0x80)
        return 1;
    if (c >= 0xC2 && c <= 0xDF) {
        len = 2;
        cp = c & 0x1F;
    } else if (c >= 0xE0 && c <= 0xEF) {
        len = 3;
        cp = c & 0x0F;
    } else if (c >= 0xF0 && c <= 0xF4) {
        len = 4;
        cp = c & 0x07;
    } else {
        return 0;
    }
    if (i + len > s.size())
        return 0;
    for (size_t k = 1; k < len; ++k) {
        if ((b(i + k) & 0xC0) != 0x80)
            return 0;
        cp = (cp << 6) | (b(i + k) & 0x3F);
    }
    // Overlong forms, surrogates and values past U+10FFFF are not text.
    if ((len == 3 && cp < 0x800) || (len == 4 && (cp < 0x10000 || cp > 0x10FFFF)) || (cp >= 0xD800 && cp <= 0xDFFF))
        return 0;
    return len;
}

}  // namespace

std::string JsonString(const std::string& text)
{
    std::string out = "\"";
    for (size_t i = 0; i < text.size();) {
        unsigned char c = static_cast<unsigned char>(text[i]);
        size_t len = utf8Length(text, i);
        if (len == 0) {
            out += "\xEF\xBF\xBD";
            ++i;
            continue;
        }
        if (len > 1) {
            out.append(text, i, len);
            i += len;
            continue;
        }
        switch (c) {
        case '"': out += "\\\""; break;
        case '\\': out += "\\\\"; break;
        case '\n': out += "\\n"; break;
        case '\r': out += "\\r"; break;
        case '\t': out += "\\t"; break;
        default:
            if (c < 0x20 || c == 0x7F) {
                char buf[8];
                std::snprintf(buf, sizeof buf, "\\u%04x", c);
                out += buf;
            } else {
                out += char(c);
            }
        }
        ++i;
    }
    return out + "\"";
}

void TJsonParamsWriter::key(const char* name)
{
    body_ += body_.empty() ? "\n  " : ",\n  ";
    body_ += JsonString(name) + ": ";
}

void TJsonParamsWriter::Int(const char* name, int64_t value)
{
    key(name);
    body_ += std::to_string(value);
}

void TJsonParamsWriter::Real(const char* name, double value)
{
    key(name);
    if (!std::isfinite(value)) {
        body_ += "null";
        return;
    }
    char buf[32];
    std::snprintf(buf, sizeof buf, "%.17g", value);
    body_ += buf;
}

void TJsonParamsWriter::Bool(const char* name, bool value)
{
    key(name);
    body_ += value ? "true" : "false";
}

void TJsonParamsWriter::Text(const char* name, const std::string& value)
{
    key(name);
    body_ += JsonString(value);
}

void TJsonParamsWriter::IntList(const char* name, const std::vector<int64_t>& values)
{
    key(name);
    body_ += "[";
    for (size_t i = 0; i < values.size(); ++i)
        body_ += (i ? ", " : "") + std::to_string(values[i]);
    body_ += "]";
}

void TJsonParamsWriter::TextList(const char* name, const std::vector<std::string>& values)
{
    key(name);
    body_ += "[";
    for (size_t i = 0; i < values.size(); ++i)
        body_ += (i ? ", " : "") + JsonString(values[i]);
    body_ += "]";
}

void TJsonParamsWriter::Palette(const char* name, const TRGB* entries, int count)
{
    key(name);
    body_ += "[";
    for (int i = 0; i < count; ++i) {
        const TRGB& c = entries[i];
        body_ += (i ? ", [" : "[") + std::to_string(c.b) + ", " + std::to_string(c.g) + ", " + std::to_string(c.r) + "]";
    }
    body_ += "]";
}

void TJsonParamsWriter::Raw(const char* name, const std::string& json)
{
    key(name);
    body_ += json;
}

#include "platform/IniText.h"

#include <cstdint>

namespace tessaron {
namespace {

constexpr size_t npos = static_cast<size_t>(-1);
constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";

char lowerAscii(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

bool sameName(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (lowerAscii(a[i]) != lowerAscii(b[i])) return false;
    return true;
}

bool isBlank(char c) { return c == ' ' || c == '\t'; }

std::string_view trim(std::string_view s) {
    while (!s.empty() && isBlank(s.front())) s.remove_prefix(1);
    while (!s.empty() && isBlank(s.back())) s.remove_suffix(1);
    return s;
}

// One entry is one line: line breaks inside a name or value would forge
// further entries, so they become blanks.
std::string oneLine(std::string_view text) {
    std::string out(text);
    for (char& c : out)
        if (c == '\r' || c == '\n') c = ' ';
    return out;
}

}  // namespace

TIniText::TIniText(std::string_view text) {
    // A UTF-8 byte order mark is not part of the first line.
    if (text.substr(0, 3) == kByteOrderMark) {
        text.remove_prefix(3);
        byteOrderMark_ = true;
    }
    while (!text.empty()) {
        size_t end = text.find_first_of("\r\n");
        std::string_view raw = text.substr(0, end);
        if (end == std::string_view::npos) {
            text = {};
        } else {
            size_t next = end + 1;
            if (text[end] == '\r' && next < text.size() && text[next] == '\n') ++next;
            text.remove_prefix(next);
        }
        Line line;
        line.raw = std::string(raw);
        std::string_view body = trim(raw);
        if (!body.empty() && body.front() == '[') {
            size_t close = body.find(']');
            if (close != std::string_view::npos) {
                line.isSection = true;
                line.section = std::string(trim(body.substr(1, close - 1)));
            }
        } else if (!body.empty() && body.front() != ';') {
            size_t eq = body.find('=');
            if (eq != std::string_view::npos && eq > 0) {
                line.isKey = true;
                line.key = std::string(trim(body.substr(0, eq)));
                line.value = std::string(trim(body.substr(eq + 1)));
            }
        }
        lines_.push_back(std::move(line));
    }
}

size_t TIniText::findSection(std::string_view section) const {
    for (size_t i = 0; i < lines_.size(); ++i)
        if (lines_[i].isSection && sameName(lines_[i].section, section)) return i;
    return npos;
}

size_t TIniText::sectionEnd(size_t header) const {
    size_t i = header + 1;
    while (i < lines_.size() && !lines_[i].isSection) ++i;
    return i;
}

size_t TIniText::findKey(size_t header, std::string_view key) const {
    size_t end = sectionEnd(header);
    for (size_t i = header + 1; i < end; ++i)
        if (lines_[i].isKey && sameName(lines_[i].key, key)) return i;
    return npos;
}

std::optional<std::string> TIniText::value(std::string_view section, std::string_view key) const {
    size_t header = findSection(section);
    if (header == npos) return std::nullopt;
    size_t at = findKey(header, key);
    if (at == npos) return std::nullopt;
    return lines_[at].value;
}

void TIniText::setValue(std::string_view sectionText, std::string_view keyText, std::string_view valueText) {
    const std::string section = oneLine(sectionText);
    const std::string key = std::string(trim(oneLine(keyText)));
    const std::string value = std::string(trim(oneLine(valueText)));
    Line line;
    line.isKey = true;
    line.key = key;
    line.value = value;
    line.raw = line.key + "=" + line.value;

    size_t header = findSection(section);
    if (header == npos) {
        Line head;
        head.isSection = true;
        head.section = section;
        head.raw = "[" + head.section + "]";
        lines_.push_back(std::move(head));
        lines_.push_back(std::move(line));
        return;
    }
    size_t at = findKey(header, key);
    if (at != npos) {
        line.key = lines_[at].key;  // keep the spelling the file already uses
        line.raw = line.key + "=" + line.value;
        lines_[at] = std::move(line);
        return;
    }
    // New keys go after the section's last key, before any blank lines that
    // separate it from the next section.
    size_t insertAt = sectionEnd(header);
    while (insertAt > header + 1 && trim(lines_[insertAt - 1].raw).empty()) --insertAt;
    lines_.insert(lines_.begin() + static_cast<std::ptrdiff_t>(insertAt), std::move(line));
}

std::string TIniText::text() const {
    // The mark goes back where it was, so that a text that starts with two
    // of them still reads the same after a write.
    std::string out = byteOrderMark_ ? std::string(kByteOrderMark) : std::string();
    for (const Line& line : lines_) {
        out += line.raw;
        out += '\n';
    }
    return out;
}

std::optional<int> parseInteger(std::string_view text) {
    while (!text.empty() && isBlank(text.front())) text.remove_prefix(1);
    bool negative = false;
    if (!text.empty() && (text.front() == '+' || text.front() == '-')) {
        negative = text.front() == '-';
        text.remove_prefix(1);
    }
    int base = 10;
    if (!text.empty() && text.front() == '$') {
        base = 16;
        text.remove_prefix(1);
    } else if (text.size() >= 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        base = 16;
        text.remove_prefix(2);
    }
    if (text.empty()) return std::nullopt;
    // Hexadecimal text may spell any 32-bit pattern (as $FFFFFFFF for -1);
    // decimal text must lie within the signed range.
    const std::uint64_t limit = base == 16 ? 0xFFFFFFFFull : (negative ? 0x80000000ull : 0x7FFFFFFFull);
    std::uint64_t magnitude = 0;
    for (char c : text) {
        int digit;
        if (c >= '0' && c <= '9') digit = c - '0';
        else if (base == 16 && c >= 'a' && c <= 'f') digit = c - 'a' + 10;
        else if (base == 16 && c >= 'A' && c <= 'F') digit = c - 'A' + 10;
        else return std::nullopt;
        magnitude = magnitude * static_cast<std::uint64_t>(base) + static_cast<std::uint64_t>(digit);
        if (magnitude > limit) return std::nullopt;
    }
    std::int64_t value;
    if (base == 16) value = static_cast<std::int32_t>(static_cast<std::uint32_t>(magnitude));
    else value = static_cast<std::int64_t>(magnitude);
    if (negative) value = -value;
    if (value < INT32_MIN || value > INT32_MAX) return std::nullopt;
    return static_cast<int>(value);
}

}  // namespace tessaron

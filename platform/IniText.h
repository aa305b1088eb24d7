#pragma once
// The text of an INI file: section headers in square brackets, then
// "key=value" lines. Sections and keys are matched without regard to ASCII
// letter case, as the desktop's own INI files are; lines we don't understand
// (comments, stray text) are kept so that writing a value back changes only
// that value's line. Plain C++ so the parser can be fuzzed without Qt.
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tessaron {

class TIniText {
public:
    TIniText() = default;
    explicit TIniText(std::string_view text);

    // The value of section/key, or nothing when either is absent. Blanks
    // around keys and values are not part of them.
    std::optional<std::string> value(std::string_view section, std::string_view key) const;

    // Replaces the value of an existing key, or adds the key at the end of its
    // section, or the section at the end of the text. Line breaks in any of
    // the three become blanks.
    void setValue(std::string_view section, std::string_view key, std::string_view value);

    // The whole text, one line per entry, each ending with a line feed.
    std::string text() const;

private:
    struct Line {
        std::string raw;      // kept as read for lines that are not key lines
        std::string key;      // empty for header and other lines
        std::string value;
        bool isKey = false;
        bool isSection = false;
        std::string section;  // for header lines: the section name
    };
    // Index of the header line of a section, or npos.
    size_t findSection(std::string_view section) const;
    // Index of the key line within the section starting at header, or npos.
    size_t findKey(size_t header, std::string_view key) const;
    size_t sectionEnd(size_t header) const;

    std::vector<Line> lines_;
    bool byteOrderMark_ = false;  // the text began with a UTF-8 byte order mark
};

// Converts text to an integer as the platform's string-to-integer routine
// does: optional leading blanks, an optional sign, then decimal digits or a
// hexadecimal number introduced by "$", "0x" or "0X"; nothing may follow and
// the value must fit 32 bits. Nothing when the text is not such a number.
std::optional<int> parseInteger(std::string_view text);

}  // namespace tessaron

#pragma once
// Text of EXIF strings. 8-bit strings are written as UTF-8 (the system
// encoding of a Linux desktop); on reading, a value that is valid UTF-8 is
// taken as it is, anything else as Windows-1251, the code page older Windows
// programs wrote Russian descriptions in. The Windows XP tags hold UTF-16LE.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace exif {

bool IsValidUtf8(std::string_view bytes);
// Windows-1251 bytes as UTF-8 (the unassigned byte 0x98 becomes U+FFFD).
std::string Cp1251ToUtf8(std::string_view bytes);
// The rule above: UTF-8 kept, anything else decoded as Windows-1251.
std::string ExifTextToUtf8(std::string_view bytes);

// count / 2 UTF-16LE characters; stops at the first zero character; broken
// surrogates become U+FFFD.
std::string Utf16LeToUtf8(const uint8_t* bytes, size_t count);
// UTF-16LE characters followed by one zero character (invalid UTF-8 input
// is first read by ExifTextToUtf8).
std::vector<uint8_t> Utf8ToUtf16Le(std::string_view text);

}  // namespace exif

#pragma once
// The TIFF LZW coder (compression 5): variable-width codes of 9 to 12 bits,
// Clear = 256, EndOfInformation = 257, the code width growing one code early.
// The decoder also reads the old bit order (least significant bit first,
// no early change) that some early writers produced.
#include <cstddef>
#include <cstdint>
#include <vector>

class TTiffLzwCoder {
public:
    virtual ~TTiffLzwCoder() = default;

    // Appends the LZW code of src (one strip) to out, starting with a Clear
    // code and ending with EndOfInformation, padded to a whole byte.
    virtual void Encode(const uint8_t* src, size_t size, std::vector<uint8_t>& out) const;

    // Decodes one strip into dst; stops at EndOfInformation, at the end of the
    // input or when dst is full. Returns the number of bytes produced; *ok
    // becomes false on an invalid code (what was decoded before it is kept).
    virtual size_t Decode(const uint8_t* src, size_t size, uint8_t* dst, size_t dstSize, bool* ok) const;
};

// The process-wide coder used when a parameters record names none; the
// built-in one unless replaced. nullptr means that no LZW coder is available.
TTiffLzwCoder* TiffLzwDefaultCoder();
void SetTiffLzwDefaultCoder(TTiffLzwCoder* coder);

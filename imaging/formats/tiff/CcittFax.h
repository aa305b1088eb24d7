#pragma once
// CCITT bi-level coders of TIFF: modified Huffman (compression 2), Group 3
// one- and two-dimensional (compression 3, ITU-T T.4) and Group 4
// (compression 4, ITU-T T.6).
//
// Rows are packed 1-bit rows, most significant bit first, in the fax sense:
// a 0 bit belongs to a white run, a 1 bit to a black run. What white means on
// screen is the business of the photometric interpretation, not of the coder.
#include <cstddef>
#include <cstdint>
#include <vector>

namespace tiff {

enum class CcittMode {
    ModifiedHuffman,  // 1-D rows, each starting on a byte boundary, no EOL
    Group3OneD,       // EOL before every 1-D row
    Group3TwoD,       // EOL and a 1-D/2-D tag bit before every row
    Group4,           // 2-D rows, no EOL, EOFB at the end
};

// Appends the code of height rows of width pixels (one strip; the reference
// line starts white) to out, padded to a whole byte.
void ccittEncode(CcittMode mode, const uint8_t* rows, size_t stride, int width, int height,
                 std::vector<uint8_t>& out);

// Decodes up to height rows into out (rows of stride bytes, which the caller
// has cleared to white). Returns the number of rows decoded; *ok becomes false
// when the data end early or hold an invalid code.
int ccittDecode(CcittMode mode, const uint8_t* data, size_t size, int width, int height, uint8_t* out,
                size_t stride, bool* ok);

}  // namespace tiff

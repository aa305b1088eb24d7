#pragma once
// Run-length code tables of ITU-T T.4 (used by T.4 one- and two-dimensional
// coding and by T.6), with decoding lookups built from them.
#include <cstddef>
#include <cstdint>

namespace tiff::ccitt {

struct RunCode {
    int run;           // run length in pixels
    const char* bits;  // the code word, most significant bit first
};

// Terminating codes (runs 0..63) and make-up codes (64..1728) of each colour,
// and the make-up codes 1792..2560 shared by both colours.
extern const RunCode kWhiteCodes[];
extern const size_t kWhiteCodeCount;
extern const RunCode kBlackCodes[];
extern const size_t kBlackCodeCount;
extern const RunCode kSharedMakeupCodes[];
extern const size_t kSharedMakeupCount;

// Decoding lookup: the next 13 bits of the data index an entry telling the
// run length (or a marker) and how many bits the code used.
constexpr int kLookupBits = 13;
constexpr int16_t kInvalid = -1;
constexpr int16_t kEol = -2;  // 000000000001
struct LookupEntry {
    int16_t run = kInvalid;
    uint8_t length = 0;
};
const LookupEntry* whiteLookup();
const LookupEntry* blackLookup();

// Code word of one terminating or make-up run for the encoder.
struct CodeWord {
    uint16_t bits = 0;  // right-aligned
    uint8_t length = 0;
};
// Terminating code of run 0..63.
CodeWord terminatingCode(bool black, int run);
// Make-up code of a multiple of 64 up to 2560.
CodeWord makeupCode(bool black, int run);

}  // namespace tiff::ccitt

#pragma once
// Tag numbers and field types of TIFF directories (also the body of EXIF).
#include <cstdint>

namespace tiff {

enum TagType : uint16_t {
    ttByte = 1,
    ttAscii = 2,
    ttShort = 3,
    ttLong = 4,
    ttRational = 5,
    ttSByte = 6,
    ttUndefined = 7,
    ttSShort = 8,
    ttSLong = 9,
    ttSRational = 10,
    ttFloat = 11,
    ttDouble = 12,
    ttIfd = 13,
};

// Bytes of one value of a field type; 0 for a type this program does not know.
inline unsigned TypeSize(uint16_t type)
{
    switch (type) {
    case ttByte: case ttAscii: case ttSByte: case ttUndefined: return 1;
    case ttShort: case ttSShort: return 2;
    case ttLong: case ttSLong: case ttFloat: case ttIfd: return 4;
    case ttRational: case ttSRational: case ttDouble: return 8;
    default: return 0;
    }
}

enum Tag : uint16_t {
    tagNewSubfileType = 254,
    tagImageWidth = 256,
    tagImageLength = 257,
    tagBitsPerSample = 258,
    tagCompression = 259,
    tagPhotometric = 262,
    tagFillOrder = 266,
    tagDocumentName = 269,
    tagImageDescription = 270,
    tagStripOffsets = 273,
    tagOrientation = 274,
    tagSamplesPerPixel = 277,
    tagRowsPerStrip = 278,
    tagStripByteCounts = 279,
    tagXResolution = 282,
    tagYResolution = 283,
    tagPlanarConfig = 284,
    tagPageName = 285,
    tagXPosition = 286,
    tagYPosition = 287,
    tagT4Options = 292,
    tagT6Options = 293,
    tagResolutionUnit = 296,
    tagPageNumber = 297,
    tagPredictor = 317,
    tagColorMap = 320,
    tagTileWidth = 322,
    tagTileLength = 323,
    tagTileOffsets = 324,
    tagTileByteCounts = 325,
    tagCleanFaxData = 327,
    tagSubIfds = 330,
    tagInkSet = 332,
    tagExtraSamples = 338,
    tagSampleFormat = 339,
    tagJpegTables = 347,
    tagJpegProc = 512,
    tagJpegInterchangeFormat = 513,
    tagJpegInterchangeFormatLength = 514,
    tagYCbCrCoefficients = 529,
    tagYCbCrSubsampling = 530,
    tagYCbCrPositioning = 531,
    tagReferenceBlackWhite = 532,
    tagXmp = 700,
    tagAnnotation = 32932,
    tagIptc = 33723,
    tagIccProfile = 34675,
    tagExifIfd = 34665,
    tagGpsIfd = 34853,
};

}  // namespace tiff

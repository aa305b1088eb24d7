#pragma once
// Decodes the picture of one TIFF directory into an image buffer: strips or
// tiles, chunky or planar, every stored compression, the predictor, and
// subsampled YCbCr data units.
#include "imaging/formats/tiff/TiffReader.h"

namespace tiff {

class TTiffDirectory;
class TTiffSource;

// params hold the fields already read from dir (size, samples, photometric,
// byte order, colour map). Returns false when the picture cannot be decoded
// or its data are damaged; what was decoded stays in buffer.
bool DecodeTiffPicture(const TTiffSource& src, const TTiffDirectory& dir, TImageBuffer& buffer, TImageParams& params,
                       const TTiffReadOptions& options);

}  // namespace tiff

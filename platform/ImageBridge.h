#pragma once
// Hand-over of pictures between the imaging core and Qt's painting.
#include <QImage>

class TImageBuffer;

namespace tessaron {

// The buffer's pixels as a QImage of its own: three bytes a pixel, or ARGB
// when the picture carries an alpha channel with see-through parts. The
// buffer is converted to 24-bit colour first when it has another format.
// A null image when the buffer is empty or cannot be converted.
QImage ToQImage(TImageBuffer& buffer);

}  // namespace tessaron

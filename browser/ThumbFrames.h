#pragma once
// The frame pictures of the look "Современный": the picture of thumb.dat,
// and the same picture shifted in colour for selected thumbnails.
#include <QByteArray>
#include <QImage>

namespace tessaron {

struct TThumbFrames {
    QImage normal;
    QImage selected;
    bool loaded() const { return !normal.isNull(); }
};

// Reads `data` as a PNG picture whatever the file was called; the selected
// variant has red - 50, green + 20 and blue - 50 in every pixel, held to
// 0..255, with the alpha channel as it was. Both are null when the data
// hold no readable PNG picture.
TThumbFrames DecodeThumbFrames(const QByteArray& data);

// Where the thumbnail goes inside a frame of `cell` size: the frame's photo
// window, rounded to the nearest pixel (ties to even); its right and
// bottom edges (left + width, top + height) lie outside the window.
QRect FramePhotoWindow(QSize cell);

}  // namespace tessaron

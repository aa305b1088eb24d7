#pragma once
// The 24 x 24 pictures before the tab captions, drawn in code so they stay
// sharp and need no image files.
#include <QIcon>

namespace tessaron {

QIcon browseTabIcon();  // an open folder with a photo in it
QIcon editTabIcon();    // a photo with a pencil across it
QIcon batchTabIcon();   // a stack of photos

}  // namespace tessaron

#pragma once
// Filling a thumbnail grid from the pictures of one folder.
#include <QString>

namespace tessaron {

class TMultiImageView;

// True when the file name's extension (any letter case) belongs to a format
// the imaging core can read.
bool IsReadablePictureName(const QString& fileName);

// Appends an entry for each ordinary, non-hidden file of `folder`, in the
// order the file system lists them, skipping files of formats that cannot be
// read unless `acceptUnknown`. Stops after `limit` entries (-1: no limit).
// Only the directory is read: no file is opened, so thumbnails come later,
// as cells are painted. A folder that cannot be read adds nothing. The
// caller clears the grid first. Returns the number of entries appended.
int FillFromFolder(TMultiImageView& grid, const QString& folder, int limit = -1, bool acceptUnknown = false);

}  // namespace tessaron

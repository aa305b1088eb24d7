#include "browser/FolderFill.h"

#include <QFile>
#include <dirent.h>
#include <sys/stat.h>

#include <cstring>
#include <memory>
#include <string>

#include "imaging/FormatTable.h"
#include "platform/MultiImageView.h"

namespace tessaron {
namespace {

bool readableExtension(const char* name) {
    const char* dot = std::strrchr(name, '.');
    if (!dot || dot[1] == '\0') return false;
    const TFileFormat* format = TFormatTable::Instance().FindByExtension(dot + 1);
    return format && format->Read;
}

// An ordinary file: not a folder, device, socket or pipe. A link counts by
// what it points to; when the file system does not tell the kind with the
// entry, the entry is looked up (still without opening the file).
bool ordinaryFile(int dirFd, const dirent& entry) {
    if (entry.d_type == DT_REG) return true;
    if (entry.d_type != DT_LNK && entry.d_type != DT_UNKNOWN) return false;
    struct stat info {};
    if (fstatat(dirFd, entry.d_name, &info, 0) != 0) return false;
    return S_ISREG(info.st_mode);
}

struct DirCloser {
    void operator()(DIR* dir) const { closedir(dir); }
};

}  // namespace

bool IsReadablePictureName(const QString& fileName) {
    return readableExtension(QFile::encodeName(fileName).constData());
}

int FillFromFolder(TMultiImageView& grid, const QString& folder, int limit, bool acceptUnknown) {
    if (limit == 0 || folder.isEmpty()) return 0;
    std::unique_ptr<DIR, DirCloser> dir(opendir(QFile::encodeName(folder).constData()));
    if (!dir) return 0;
    const QString prefix = folder.endsWith('/') ? folder : folder + '/';
    const int dirFd = dirfd(dir.get());

    grid.BeginUpdate();
    int added = 0;
    while (const dirent* entry = readdir(dir.get())) {
        // Hidden files (and "." and "..") stay out, as do folders.
        if (entry->d_name[0] == '.') continue;
        if (!ordinaryFile(dirFd, *entry)) continue;
        if (!acceptUnknown && !readableExtension(entry->d_name)) continue;
        const QString name = QFile::decodeName(entry->d_name);
        grid.AddEntry(prefix + name, name);
        if (++added == limit) break;
    }
    grid.EndUpdate();
    return added;
}

}  // namespace tessaron

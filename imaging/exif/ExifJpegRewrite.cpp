// Rewriting the EXIF block of a JPEG file in place, without decoding the
// picture: a byte scan over the markers that drops the old "Exif" APP1 and
// puts the new one after the first APP0 or APP1. The file is replaced
// through a temporary file in its folder, so a crash or a full disk never
// leaves a half-written photo.
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <system_error>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "imaging/ImageIO.h"
#include "imaging/exif/Exif.h"

namespace {

constexpr size_t kMaxSegmentData = 65533;

bool readWholeFile(const std::string& fileName, std::vector<uint8_t>& bytes)
{
    std::ifstream in(fileName, std::ios::binary);
    if (!in) return false;
    in.seekg(0, std::ios::end);
    const std::streamoff size = in.tellg();
    if (size < 0) return false;
    in.seekg(0);
    bytes.resize(size_t(size));
    return size == 0 || bool(in.read(reinterpret_cast<char*>(bytes.data()), size));
}

// Writes bytes to a new file beside fileName, flushes it to the disk and
// renames it over fileName, keeping the original's permissions.
bool replaceFileAtomically(const std::string& fileName, const std::vector<uint8_t>& bytes)
{
    struct stat st {};
    if (::stat(fileName.c_str(), &st) != 0) return false;
    std::string temp = fileName + ".exif-XXXXXX";
    const int fd = ::mkstemp(temp.data());
    if (fd < 0) return false;
    bool ok = ::fchmod(fd, st.st_mode & 07777) == 0;
    size_t done = 0;
    while (ok && done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n <= 0) ok = false;
        else done += size_t(n);
    }
    ok = ok && ::fsync(fd) == 0;
    ok = (::close(fd) == 0) && ok;
    ok = ok && ::rename(temp.c_str(), fileName.c_str()) == 0;
    if (!ok) ::unlink(temp.c_str());
    return ok;
}

}  // namespace

bool RewriteJpegExifSegment(const std::vector<uint8_t>& in, const std::vector<uint8_t>& segment,
                            std::vector<uint8_t>& out, const std::function<void(int64_t done)>& progress)
{
    out.clear();
    // Anything but a JPEG (a TIFF with EXIF, say) is refused: its pixel data
    // may hold byte pairs that look like markers.
    if (in.size() < 2 || in[0] != 0xFF || in[1] != 0xD8) return false;
    out.reserve(in.size() + segment.size());
    bool inserted = false;
    auto insert = [&] {
        if (inserted) return;
        out.insert(out.end(), segment.begin(), segment.end());
        inserted = true;
    };
    size_t i = 0;
    const size_t n = in.size();
    while (i < n) {
        if (in[i] != 0xFF) {
            out.push_back(in[i++]);
            continue;
        }
        if (i + 1 >= n) {
            out.push_back(in[i++]);
            break;
        }
        const uint8_t code = in[i + 1];
        if (code == 0x00 || code == 0x01 || (code >= 0xD0 && code <= 0xD8)) {
            out.push_back(in[i]);
            out.push_back(code);
            i += 2;
        } else if (code == 0xD9) {
            out.insert(out.end(), in.begin() + long(i), in.end());
            i = n;
        } else if ((code >= 0x02 && code <= 0xBF) || code == 0xFF) {
            return false;
        } else {
            if (i + 4 > n) return false;
            const size_t len = size_t(in[i + 2] << 8 | in[i + 3]);
            if (len < 2 || len > n - i - 2) return false;
            const size_t end = i + 2 + len;
            const bool isExif = code == 0xE1 && len >= 6 && std::memcmp(&in[i + 4], "Exif", 4) == 0;
            if (!isExif) out.insert(out.end(), in.begin() + long(i), in.begin() + long(end));
            if (code == 0xE0 || code == 0xE1) insert();
            i = end;
        }
        if (progress) progress(int64_t(i));
    }
    return inserted;
}

bool TImageIO::WriteExifIntoJpegFile(const std::string& fileName)
{
    std::vector<uint8_t> in;
    try {
        if (!readWholeFile(fileName, in)) return false;
    } catch (const std::exception&) {
        return false;
    }
    const std::vector<uint8_t> block = BuildExifBlock(Params, kMaxSegmentData);
    if (block.empty()) return false;
    std::vector<uint8_t> segment = {0xFF, 0xE1, uint8_t((block.size() + 2) >> 8), uint8_t(block.size() + 2)};
    segment.insert(segment.end(), block.begin(), block.end());
    std::vector<uint8_t> out;
    const bool ok = RewriteJpegExifSegment(in, segment, out, [&](int64_t done) { Progress(done, int64_t(in.size())); });
    return ok && replaceFileAtomically(fileName, out);
}

#include "imaging/FormatTable.h"

#include <algorithm>
#include <filesystem>

#include "imaging/FormatDetect.h"
#include "imaging/formats/bmp/BmpReader.h"
#include "imaging/formats/bmp/BmpWriter.h"
#include "imaging/formats/gif/GifReader.h"
#include "imaging/formats/gif/GifWriter.h"
#include "imaging/formats/tiff/TiffReader.h"
#include "imaging/formats/tiff/TiffWriter.h"
#include "imaging/formats/jpeg/JpegReader.h"
#include "imaging/formats/jpeg/JpegWriter.h"
#include "imaging/formats/png/PngReader.h"
#include "imaging/formats/png/PngWriter.h"

namespace {

// Detection ranks of the built-in tests; plug-ins come after them and
// camera RAW, which looks like TIFF, runs last of all.
constexpr int FirstPluginRank = 1000;
constexpr int CameraRawRank = 1000000;

std::string lowerAscii(std::string_view s)
{
    std::string out(s);
    for (char& c : out)
        if (c >= 'A' && c <= 'Z')
            c = char(c - 'A' + 'a');
    return out;
}

}  // namespace

bool TFileFormat::HasExtension(std::string_view lowerExt) const
{
    return std::find(Extensions.begin(), Extensions.end(), lowerExt) != Extensions.end();
}

TFormatTable& TFormatTable::Instance()
{
    static TFormatTable table;
    return table;
}

TFormatTable::TFormatTable() : nextPluginRank_(FirstPluginRank)
{
    using namespace recognise;
    // Table order is the order in which formats are listed to the user;
    // DICOM follows PNG. A row's reader, parameters reader and writer stay
    // nullptr until the format's folder provides them.
    //  id  description  extensions  writable  recogniser  rank  read  read params  write
    formats_ = {
        {ffTIFF, "TIFF Bitmap", {"tif", "tiff", "fax", "g3n", "g3f", "xif"}, true, Tiff, 40, ReadTiff, ReadTiffParams, WriteTiff},
        {ffGIF, "CompuServe Bitmap", {"gif"}, true, Gif, 10, ReadGif, ReadGifParams, WriteGif},
        {ffJPEG, "JPEG Bitmap", {"jpg", "jpeg", "jpe", "jif"}, true, Jpeg, 70, ReadJpegFile, ReadJpegParams, WriteJpegFile},
        {ffPCX, "PaintBrush", {"pcx"}, true, Pcx, 30, nullptr, nullptr, nullptr},
        {ffBMP, "Windows Bitmap", {"bmp", "dib", "rle"}, true, Bmp, 20, ReadBmp, ReadBmpParams, WriteBmp},
        {ffICO, "Windows Icon", {"ico"}, true, Icon, 61, nullptr, nullptr, nullptr},
        {ffCUR, "Windows Cursor", {"cur"}, false, Cursor, 62, nullptr, nullptr, nullptr},
        {ffPNG, "Portable Network Graphics", {"png"}, true, Png, 50, ReadPngFile, ReadPngParams, WritePngFile},
        {ffDICOM, "DICOM Bitmap", {"dcm", "dic", "dicom"}, false, Dicom, 60, nullptr, nullptr, nullptr},
        {ffWMF, "Windows Metafile", {"wmf"}, false, Metafile, 84, nullptr, nullptr, nullptr},
        {ffEMF, "Enhanced Windows Metafile", {"emf"}, false, EnhancedMetafile, 85, nullptr, nullptr, nullptr},
        {ffTGA, "Targa Bitmap", {"tga", "targa", "vda", "icb", "vst", "pix"}, true, Targa, 63, nullptr, nullptr, nullptr},
        {ffPXM, " Portable Pixmap, GrayMap, BitMap", {"pxm", "ppm", "pgm", "pbm"}, true, PortablePixmap, 64, nullptr, nullptr, nullptr},
        {ffJP2, "JPEG2000", {"jp2"}, true, Jpeg2000, 80, nullptr, nullptr, nullptr},
        {ffJ2K, "JPEG2000 Code Stream", {"j2k", "jpc", "j2c"}, true, Jpeg2000CodeStream, 81, nullptr, nullptr, nullptr},
        {ffAVI, "Video", {"avi"}, false, Avi, 82, nullptr, nullptr, nullptr},
        {ffWBMP, "Wireless Bitmap", {"wbmp"}, true, nullptr, 0, nullptr, nullptr, nullptr},
        {ffPS, "PostScript Level 2", {"ps", "eps"}, true, nullptr, 0, nullptr, nullptr, nullptr},
        {ffPDF, "Adobe PDF", {"pdf"}, true, nullptr, 0, nullptr, nullptr, nullptr},
        {ffDCX, "Multipage PCX", {"dcx"}, true, MultipagePcx, 83, nullptr, nullptr, nullptr},
        {ffRAW, "Camera RAW", {"crw", "cr2", "nef", "raw", "pef", "raf", "x3f", "bay", "orf", "srf", "mrw", "dcr", "sr2"},
         false, CameraRaw, CameraRawRank, nullptr, nullptr, nullptr},
        {ffPSD, "Photoshop PSD", {"psd"}, true, Photoshop, 86, nullptr, nullptr, nullptr},
        {ffIEV, "Vectorial objects", {"iev"}, true, nullptr, 0, nullptr, nullptr, nullptr},
        {ffLYR, "Layers", {"lyr"}, true, nullptr, 0, nullptr, nullptr, nullptr},
        {ffALL, "Layers and objects", {"all"}, true, nullptr, 0, nullptr, nullptr, nullptr},
    };
    rebuildDetectionOrder();
}

void TFormatTable::rebuildDetectionOrder()
{
    detection_.clear();
    for (const TFileFormat& f : formats_)
        if (f.Recognise)
            detection_.push_back(&f);
    std::stable_sort(detection_.begin(), detection_.end(),
                     [](const TFileFormat* a, const TFileFormat* b) { return a->DetectionRank < b->DetectionRank; });
}

const TFileFormat* TFormatTable::Find(int id) const
{
    if (id == ffNone)
        return nullptr;
    for (const TFileFormat& f : formats_)
        if (f.Id == id)
            return &f;
    return nullptr;
}

const TFileFormat* TFormatTable::FindByExtension(std::string_view extension) const
{
    if (!extension.empty() && extension.front() == '.')
        extension.remove_prefix(1);
    if (extension.empty())
        return nullptr;
    std::string ext = lowerAscii(extension);
    for (const TFileFormat& f : formats_)
        if (f.HasExtension(ext))
            return &f;
    return nullptr;
}

void TFormatTable::Register(TFileFormat format)
{
    for (std::string& e : format.Extensions)
        e = lowerAscii(e);
    if (format.Recognise)
        format.DetectionRank = nextPluginRank_++;
    auto same = std::find_if(formats_.begin(), formats_.end(), [&](const TFileFormat& f) { return f.Id == format.Id; });
    if (same != formats_.end())
        *same = std::move(format);
    else
        formats_.push_back(std::move(format));
    rebuildDetectionOrder();
}

std::string FileExtension(const std::string& fileName)
{
    std::string ext = std::filesystem::path(fileName).extension().string();
    if (!ext.empty() && ext.front() == '.')
        ext.erase(0, 1);
    return lowerAscii(ext);
}

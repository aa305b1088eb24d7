#include "PictureFiles.h"

#include <cctype>
#include <cmath>
#include <cstdlib>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <sstream>

namespace picturefiles {

namespace {

// Reads the next whitespace-separated header number of a Netpbm file.
bool headerNumber(std::istream& in, int& value)
{
    int c;
    while ((c = in.peek()) != EOF) {
        if (c == '#') {
            std::string line;
            std::getline(in, line);
        } else if (std::isspace(c)) {
            in.get();
        } else {
            break;
        }
    }
    return bool(in >> value);
}

}  // namespace

bool readNetpbm(const std::string& path, TRaster& out)
{
    std::ifstream in(path, std::ios::binary);
    std::string magic;
    if (!(in >> magic))
        return false;
    int maxValue = 0;
    if (magic == "P5" || magic == "P6") {
        out.channels = magic == "P5" ? 1 : 3;
        if (!headerNumber(in, out.width) || !headerNumber(in, out.height) || !headerNumber(in, maxValue))
            return false;
        in.get();
    } else if (magic == "P7") {
        std::string key;
        while (in >> key && key != "ENDHDR") {
            std::string value;
            in >> value;
            if (key == "WIDTH") out.width = std::stoi(value);
            else if (key == "HEIGHT") out.height = std::stoi(value);
            else if (key == "DEPTH") out.channels = std::stoi(value);
            else if (key == "MAXVAL") maxValue = std::stoi(value);
        }
        in.get();
    } else {
        return false;
    }
    if (out.width <= 0 || out.height <= 0 || out.channels <= 0 || maxValue <= 0 || maxValue > 65535)
        return false;
    out.maxValue = maxValue;
    const size_t count = size_t(out.width) * out.height * out.channels;
    const int bytes = maxValue > 255 ? 2 : 1;
    std::vector<uint8_t> raw(count * bytes);
    if (!in.read(reinterpret_cast<char*>(raw.data()), std::streamsize(raw.size())))
        return false;
    out.samples.resize(count);
    for (size_t i = 0; i < count; ++i)
        out.samples[i] = bytes == 2 ? uint16_t(raw[2 * i] << 8 | raw[2 * i + 1]) : raw[i];
    return true;
}

int worstDifference(const TRaster& a, const TRaster& b, size_t* at)
{
    int worst = 0;
    for (size_t i = 0; i < a.samples.size() && i < b.samples.size(); ++i) {
        int d = std::abs(int(a.samples[i]) - int(b.samples[i]));
        if (d > worst) {
            worst = d;
            if (at)
                *at = i;
        }
    }
    return worst;
}

void writePpm(const std::string& path, TImageBuffer& picture)
{
    std::ofstream out(path, std::ios::binary);
    out << "P6\n" << picture.Width() << " " << picture.Height() << "\n255\n";
    std::vector<char> row(size_t(picture.Width()) * 3);
    for (int y = 0; y < picture.Height(); ++y) {
        const uint8_t* p = picture.RowPointer(y);
        for (int x = 0; x < picture.Width(); ++x) {
            row[size_t(x) * 3] = char(p[x * 3 + 2]);
            row[size_t(x) * 3 + 1] = char(p[x * 3 + 1]);
            row[size_t(x) * 3 + 2] = char(p[x * 3]);
        }
        out.write(row.data(), std::streamsize(row.size()));
    }
}

TRaster rasterOf(TImageBuffer& picture, bool withAlpha)
{
    TRaster r;
    r.width = picture.Width();
    r.height = picture.Height();
    const TPixelFormat f = picture.PixelFormat();
    const bool gray = f == px8g || f == pxGray16;
    r.channels = (gray ? 1 : 3) + (withAlpha ? 1 : 0);
    r.maxValue = f == pxGray16 ? 65535 : 255;
    r.samples.reserve(size_t(r.width) * r.height * r.channels);
    for (int y = 0; y < r.height; ++y) {
        const uint8_t* p = picture.RowPointer(y);
        for (int x = 0; x < r.width; ++x) {
            switch (f) {
            case px8g: r.samples.push_back(p[x]); break;
            case pxGray16: r.samples.push_back(reinterpret_cast<const uint16_t*>(p)[x]); break;
            case px24RGB:
                r.samples.insert(r.samples.end(), {p[x * 3 + 2], p[x * 3 + 1], p[x * 3]});
                break;
            case px8p: {
                TRGB c = picture.Palette()[p[x]];
                r.samples.insert(r.samples.end(), {c.r, c.g, c.b});
                break;
            }
            case px1g: {
                uint16_t v = (p[x / 8] >> (7 - x % 8)) & 1 ? 255 : 0;
                r.samples.insert(r.samples.end(), {v, v, v});
                break;
            }
            default: {
                TRGB c = picture.GetPixelRGB(x, y);
                r.samples.insert(r.samples.end(), {c.r, c.g, c.b});
            }
            }
            if (withAlpha)
                r.samples.push_back(picture.GetAlpha(x, y));
        }
    }
    return r;
}

std::unique_ptr<TImageBuffer> makePhoto(int width, int height)
{
    auto picture = std::make_unique<TImageBuffer>(width, height, px24RGB);
    for (int y = 0; y < height; ++y) {
        uint8_t* p = picture->RowPointer(y);
        for (int x = 0; x < width; ++x) {
            double fx = double(x) / width, fy = double(y) / height;
            int r = int(255 * fx);
            int g = int(255 * fy);
            int b = int(127 + 120 * std::sin(fx * 9 + fy * 5));
            if ((x / 7 + y / 5) % 9 == 0)  // some edges and fine detail
                r = 255 - r;
            p[x * 3] = uint8_t(b);
            p[x * 3 + 1] = uint8_t(g);
            p[x * 3 + 2] = uint8_t(r);
        }
    }
    return picture;
}

std::unique_ptr<TImageBuffer> makeGrayPhoto(int width, int height)
{
    auto picture = makePhoto(width, height);
    for (int y = 0; y < height; ++y) {
        uint8_t* p = picture->RowPointer(y);
        for (int x = 0; x < width; ++x)
            p[x * 3] = p[x * 3 + 1] = p[x * 3 + 2] = uint8_t((p[x * 3] + p[x * 3 + 1] * 2 + p[x * 3 + 2]) / 4);
    }
    return picture;
}

std::vector<uint8_t> readBytes(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void writeBytes(const std::string& path, const std::vector<uint8_t>& bytes)
{
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
}

std::vector<TSegment> jpegSegments(const std::vector<uint8_t>& file)
{
    std::vector<TSegment> segments;
    if (file.size() < 4 || file[0] != 0xFF || file[1] != 0xD8)
        return segments;
    size_t pos = 2;
    while (pos + 4 <= file.size() && file[pos] == 0xFF) {
        uint8_t marker = file[pos + 1];
        size_t length = size_t(file[pos + 2]) << 8 | file[pos + 3];
        if (length < 2 || pos + 2 + length > file.size())
            break;
        segments.push_back(TSegment{marker, std::vector<uint8_t>(file.begin() + long(pos + 4),
                                                                 file.begin() + long(pos + 2 + length))});
        if (marker == 0xDA)
            break;
        pos += 2 + length;
    }
    return segments;
}

int findSegment(const std::vector<TSegment>& segments, uint8_t marker)
{
    for (size_t i = 0; i < segments.size(); ++i)
        if (segments[i].marker == marker)
            return int(i);
    return -1;
}

std::string shellQuoted(const std::string& path)
{
    std::string out = "'";
    for (char c : path) {
        if (c == '\'')
            out += "'\\''";
        else
            out += c;
    }
    return out + "'";
}

}  // namespace picturefiles

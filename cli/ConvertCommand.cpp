// tessaron-cli convert: load by the input's extension, save by the output's.
#include <charconv>
#include <filesystem>
#include <utility>

#include "cli/Commands.h"
#include "imaging/ImageIO.h"

namespace {

// The TiffCompression value of a --tiff-compression name, -1 when unknown.
int TiffCompressionByName(const std::string& name)
{
    static const std::pair<const char*, int> names[] = {{"none", 0}, {"lzw", 5},  {"packbits", 8}, {"deflate", 9},
                                                        {"jpeg", 7}, {"g3", 2}, {"g4", 4}};
    for (const auto& [n, value] : names)
        if (name == n) return value;
    return -1;
}

}  // namespace

int RunConvert(const std::vector<std::string>& args)
{
    std::vector<std::string> files;
    int tiffCompression = -1;
    int quality = 0;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (a == "--quality") {
            const std::string value = i + 1 < args.size() ? args[++i] : "";
            auto [end, ec] = std::from_chars(value.data(), value.data() + value.size(), quality);
            if (ec != std::errc() || end != value.data() + value.size() || quality < 1 || quality > 100) {
                CliError("convert: --quality needs a number from 1 to 100");
                return 2;
            }
            continue;
        }
        if (a == "--tiff-compression") {
            tiffCompression = i + 1 < args.size() ? TiffCompressionByName(args[++i]) : -1;
            if (tiffCompression < 0) {
                CliError("convert: --tiff-compression needs none, lzw, packbits, deflate, jpeg, g3 or g4");
                return 2;
            }
            continue;
        }
        if (!a.empty() && a[0] == '-' && a != "-") {
            CliError("convert: unknown option " + a);
            return 2;
        }
        files.push_back(a);
    }
    if (files.size() != 2) {
        CliError("convert: IN and OUT expected (see tessaron-cli convert --help)");
        return 2;
    }
    const std::string& in = files[0];
    const std::string& out = files[1];

    const TFormatTable& table = TFormatTable::Instance();
    const TFileFormat* outFormat = table.FindByExtension(FileExtension(out));
    if (!outFormat || !outFormat->Write) {
        CliError("cannot write \"" + out + "\": no writer for the extension \"" + FileExtension(out) + "\"");
        return 1;
    }
    const TFileFormat* inFormat = table.FindByExtension(FileExtension(in));
    if (!inFormat || !inFormat->Read) {
        CliError("cannot read \"" + in + "\": no reader for the extension \"" + FileExtension(in) + "\"");
        return 1;
    }

    TImageIO io;
    if (!io.LoadFromFile(in)) {
        CliError("cannot read \"" + in + "\": not a valid " + inFormat->Description + " file");
        return 1;
    }
    if (tiffCompression >= 0) {
        io.Params.TiffCompression = uint8_t(tiffCompression);
        // Fax codings are bi-level by nature: the picture becomes black and white.
        if (tiffCompression >= 1 && tiffCompression <= 4) {
            io.Params.BitsPerSample = 1;
            io.Params.SamplesPerPixel = 1;
        }
    }
    if (quality > 0)
        io.Params.JpegQuality = quality;
    // Saving removes its own half-written file; nothing else touches OUT.
    if (!io.SaveToFile(out)) {
        CliError("cannot write \"" + out + "\" as " + outFormat->Description);
        return 1;
    }
    return 0;
}

// tessaron-cli convert: load by the input's extension, save by the output's.
#include <charconv>
#include <filesystem>
#include <memory>
#include <utility>

#include "cli/Commands.h"
#include "imaging/ImageIO.h"
#include "imaging/ImageProc.h"
#include "imaging/PlainHost.h"
#include "imaging/ops/Resample.h"

namespace {

// The TiffCompression value of a --tiff-compression name, -1 when unknown.
// A side of --resize: an integer (negative and zero have their meaning).
bool ParseSide(const std::string& text, int& value)
{
    auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    return ec == std::errc() && end == text.data() + text.size();
}

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
    bool resize = false;
    int resizeWidth = 0, resizeHeight = 0;
    TResampleFilter filter = rfLanczos3;  // "Резкость", the lists' start item
    bool sharpen = false;
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
        if (a == "--resize") {
            if (i + 2 >= args.size() || !ParseSide(args[i + 1], resizeWidth) || !ParseSide(args[i + 2], resizeHeight) ||
                (resizeWidth < 0 && resizeHeight < 0)) {
                CliError("convert: --resize needs W H: pixels, -1 to keep the aspect ratio, 0 to keep the side");
                return 2;
            }
            i += 2;
            resize = true;
            continue;
        }
        if (a == "--filter") {
            if (i + 1 >= args.size() || !ops::ResampleFilterFromName(args[++i], filter)) {
                CliError("convert: --filter needs one of none, triangle, bell, bspline, lanczos3, fastlinear, "
                         "bilinear, bicubic (or the Russian names)");
                return 2;
            }
            continue;
        }
        if (a == "--sharpen") {
            sharpen = true;
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
    // The batch run's steps: resample, then sharpen the result along its
    // edges. The host keeps the picture; the I/O object borrows it to save.
    std::unique_ptr<TPlainHost> host;
    if (resize || sharpen) {
        host = std::make_unique<TPlainHost>(std::make_unique<TImageBuffer>(std::move(*io.Buffer())));
        io.AttachBuffer(nullptr);
        ShowProgressOnTerminal(*host, "convert");
        TImageProc proc(*host, false);
        if (resize)
            proc.Resample(resizeWidth, resizeHeight, filter);
        if (sharpen)
            proc.SharpenAfterResize();
        io.AttachBuffer(host->CurrentImage());
        io.Params.Width = host->CurrentImage()->Width();
        io.Params.Height = host->CurrentImage()->Height();
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

// tessaron-cli info: the parameters record of a file as JSON.
#include <cstdio>

#include "cli/Commands.h"
#include "cli/JsonParamsWriter.h"
#include "imaging/ImageIO.h"
#include "imaging/Stream.h"

namespace {

const char* pixelFormatName(TPixelFormat f)
{
    static const char* const names[] = {"pxNone", "px1g",    "px8p",    "px8g",     "pxGray16", "px24RGB",
                                        "px32f",  "pxCMYK", "pxRGB48", "pxCIELab", "pxRGB32"};
    return f < sizeof names / sizeof names[0] ? names[f] : "unknown";
}

}  // namespace

int RunInfo(const std::vector<std::string>& args)
{
    bool pixels = false;
    std::string file;
    for (const std::string& a : args) {
        if (a == "--pixels")
            pixels = true;
        else if (!a.empty() && a[0] == '-') {
            CliError("info: unknown option " + a);
            return 2;
        } else if (file.empty())
            file = a;
        else {
            CliError("info: only one FILE, please");
            return 2;
        }
    }
    if (file.empty()) {
        CliError("info: FILE missing (see tessaron-cli info --help)");
        return 2;
    }
    // The parameters read swallows every error; open once so that a missing
    // or unreadable file is reported as such.
    TFileStream::OpenRead(file);

    TImageIO io;
    const bool found = io.ReadParamsFromFile(file);
    TJsonParamsWriter json;
    io.Params.VisitFields(json);
    const TFileFormat* format = TFormatTable::Instance().Find(io.Params.FileType);
    json.Text("FormatName", format ? format->Description : "");

    bool loaded = false;
    if (pixels && found) {
        TImageIO full;
        loaded = full.LoadFromFileFormat(file, io.Params.FileType);
        const TImageBuffer& b = *full.Buffer();
        TJsonParamsWriter p;
        p.Int("Width", b.Width());
        p.Int("Height", b.Height());
        p.Text("PixelFormat", pixelFormatName(b.PixelFormat()));
        p.Bool("HasAlpha", b.HasAlpha());
        json.Raw("Pixels", loaded ? p.Json() : "null");
    }
    std::printf("%s\n", json.Json().c_str());
    if (!found) {
        CliError("\"" + file + "\" is not a picture this program can read (or its extension does not match its content)");
        return 1;
    }
    if (pixels && !loaded) {
        CliError("could not decode the pixels of \"" + file + "\"");
        return 1;
    }
    return 0;
}

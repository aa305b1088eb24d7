// tessaron-cli convert: load by the input's extension, save by the output's.
#include <filesystem>

#include "cli/Commands.h"
#include "imaging/ImageIO.h"

int RunConvert(const std::vector<std::string>& args)
{
    std::vector<std::string> files;
    for (const std::string& a : args) {
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
    // Saving removes its own half-written file; nothing else touches OUT.
    if (!io.SaveToFile(out)) {
        CliError("cannot write \"" + out + "\" as " + outFormat->Description);
        return 1;
    }
    return 0;
}

// tessaron-cli: the imaging core from the command line.
#include <cstdio>
#include <cstring>
#include <exception>

#include "cli/Commands.h"
#include "imaging/Version.h"

namespace {

void printUsage(std::FILE* to)
{
    std::fprintf(to,
                 "Usage: tessaron-cli <command> [options] [arguments]\n"
                 "       tessaron-cli <command> --help\n"
                 "       tessaron-cli --version\n\nCommands:\n");
    for (const TCliCommand& c : CliCommands())
        std::fprintf(to, "  %-10s %s\n", c.Name, c.Summary);
}

}  // namespace

void CliError(const std::string& message)
{
    std::fprintf(stderr, "tessaron-cli: %s\n", message.c_str());
}

const std::vector<TCliCommand>& CliCommands()
{
    static const std::vector<TCliCommand> commands = {
        {"info", "print the parameters of a picture file as JSON",
         "Usage: tessaron-cli info [--pixels] FILE\n\n"
         "Reads the parameters of FILE (the format is detected from its content and\n"
         "must agree with its extension) and prints them as one JSON object whose\n"
         "keys are the field names of the parameters record, plus FormatName.\n"
         "ColorMap entries are [blue, green, red].\n\n"
         "  --pixels   also decode the whole picture and add \"Pixels\" with its\n"
         "             Width, Height, PixelFormat and HasAlpha\n\n"
         "Exit status: 0 when the file was read, 1 when not.\n",
         RunInfo},
        {"convert", "load a picture and save it in another format",
         "Usage: tessaron-cli convert [--tiff-compression C] IN OUT\n\n"
         "Loads IN with the reader its extension names and saves OUT with the\n"
         "writer its extension names (bmp, dib, rle, ...). Settings read from IN\n"
         "(resolution, palette depth, ...) carry over to OUT.\n\n"
         "  --tiff-compression C  compression of TIFF output: none, lzw, packbits,\n"
         "                        deflate, jpeg, g3 or g4 (g3 and g4 write a\n"
         "                        black-and-white picture)\n\n"
         "Exit status: 0 on success, 1 when loading or saving failed (no output\n"
         "file is left behind), 2 on wrong usage.\n",
         RunConvert},
    };
    return commands;
}

int main(int argc, char** argv)
{
    if (argc < 2) {
        printUsage(stderr);
        return 2;
    }
    const std::string first = argv[1];
    if (first == "--version") {
        std::printf("tessaron-cli %s\n", tessaron::versionString().c_str());
        return 0;
    }
    if (first == "--help" || first == "-h" || first == "help") {
        printUsage(stdout);
        return 0;
    }
    for (const TCliCommand& c : CliCommands()) {
        if (first != c.Name)
            continue;
        std::vector<std::string> args(argv + 2, argv + argc);
        for (const std::string& a : args)
            if (a == "--help" || a == "-h") {
                std::fputs(c.Help, stdout);
                return 0;
            }
        try {
            return c.Run(args);
        } catch (const std::exception& e) {
            CliError(e.what());
            return 1;
        }
    }
    CliError("unknown command \"" + first + "\"");
    printUsage(stderr);
    return 2;
}

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
        {"describe", "write a description into a JPEG photo's EXIF block",
         "Usage: tessaron-cli describe FILE TEXT\n\n"
         "Reads the parameters and EXIF block of FILE, sets ImageDescription to TEXT\n"
         "(an empty TEXT clears it) and rewrites the EXIF block of the JPEG file in\n"
         "place without re-encoding the picture.\n\n"
         "Exit status: 0 when the file was rewritten, 1 when it was left unchanged\n"
         "(not a JPEG, damaged, or not writable), 2 on wrong usage.\n",
         RunDescribe},
        {"convert", "load a picture and save it in another format",
         "Usage: tessaron-cli convert [--resize W H [--filter NAME]] [--sharpen]\n"
         "                            [--quality N] [--tiff-compression C] IN OUT\n\n"
         "Loads IN with the reader its extension names and saves OUT with the\n"
         "writer its extension names (bmp, dib, rle, ...). Settings read from IN\n"
         "(resolution, palette depth, ...) carry over to OUT.\n\n"
         "  --resize W H          resample to W x H pixels; -1 for one side keeps the\n"
         "                        aspect ratio, 0 keeps that side\n"
         "  --filter NAME         resampling filter: a name of the editor's list\n"
         "                        (\"Резкость\", ...) or none, triangle, bell, bspline,\n"
         "                        lanczos3 (default), fastlinear, bilinear, bicubic\n"
         "  --sharpen             sharpen along the edges after resampling\n"
         "  --quality N           JPEG quality 1..100\n"
         "  --tiff-compression C  compression of TIFF output: none, lzw, packbits,\n"
         "                        deflate, jpeg, g3 or g4 (g3 and g4 write a\n"
         "                        black-and-white picture)\n\n"
         "Exit status: 0 on success, 1 when loading or saving failed (no output\n"
         "file is left behind), 2 on wrong usage.\n",
         RunConvert},
        {"effect", "apply one of the editor's fifteen effects to a picture",
         "Usage: tessaron-cli effect [--preview] [--single-thread] NAME IN OUT\n"
         "       tessaron-cli effect --list\n\n"
         "Loads IN, applies the effect NAME of the editor's gallery to the whole\n"
         "picture and saves OUT (writer chosen by its extension). NAME is the\n"
         "effect's caption or its ASCII name:\n"
         "  bright, dark, saturated, pale, colorful          (tab \"Основное\")\n"
         "  natural, normalize, white-balance, detail, lighting (tab \"Улучшение\")\n"
         "  rotate-left, rotate-right, rotate-180, mirror, upside-down (tab \"Поворот\")\n\n"
         "  --list           list the effects with their tab, position and caption\n"
         "  --preview        use the preview's arguments (differ for \"dark\" only)\n"
         "  --single-thread  do all work on one thread (same output bytes)\n\n"
         "Progress goes to stderr when it is a terminal.\n"
         "Exit status: 0 on success, 1 when loading, saving or the effect failed,\n"
         "2 on wrong usage.\n",
         RunEffect},
        {"rotate", "turn a picture by an angle in degrees",
         "Usage: tessaron-cli rotate [--nearest] [--background RRGGBB] [--single-thread] ANGLE IN OUT\n\n"
         "Turns IN counter-clockwise by ANGLE degrees (negative = clockwise) and\n"
         "saves OUT. Multiples of 90 are exact pixel moves in every pixel format;\n"
         "other angles turn the picture as 24-bit colour, bilinear by default,\n"
         "onto the background colour (black unless given).\n\n"
         "  --nearest        nearest pixel instead of bilinear interpolation\n"
         "  --background C   colour of the uncovered corners, hex RRGGBB\n"
         "  --single-thread  do all work on one thread (same output bytes)\n\n"
         "Exit status: 0 on success, 1 when loading or saving failed, 2 on wrong usage.\n",
         RunRotate},
        {"flip", "mirror a picture left to right or turn it upside down",
         "Usage: tessaron-cli flip [--single-thread] DIRECTION IN OUT\n\n"
         "DIRECTION 0 or mirror: mirror every row left to right;\n"
         "DIRECTION 1 or upside-down: reverse the order of the rows.\n\n"
         "Exit status: 0 on success, 1 when loading or saving failed, 2 on wrong usage.\n",
         RunFlip},
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

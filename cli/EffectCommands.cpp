// tessaron-cli effect, rotate and flip: load a picture, run one operation of
// the processing object on it, save the result. Settings read from IN
// (resolution, camera data, ...) carry over to OUT as in convert.
#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <memory>
#include <unistd.h>

#include "cli/Commands.h"
#include "imaging/FormatTable.h"
#include "imaging/ImageIO.h"
#include "imaging/ImageProc.h"
#include "imaging/PlainHost.h"
#include "imaging/ops/EffectTable.h"

namespace {

// Options shared by the three commands, and the remaining arguments.
struct TOptions {
    bool singleThread = false;
    bool preview = false;
    bool nearest = false;
    bool list = false;
    int64_t background = -1;
    std::vector<std::string> positional;
};

bool parseColour(const std::string& text, int64_t& colour)
{
    std::string hex = text;
    if (!hex.empty() && hex[0] == '#')
        hex.erase(0, 1);
    if (hex.size() != 6 || hex.find_first_not_of("0123456789abcdefABCDEF") != std::string::npos)
        return false;
    const unsigned long rgb = std::strtoul(hex.c_str(), nullptr, 16);
    colour = int64_t(RGBToColor(uint8_t(rgb >> 16), uint8_t(rgb >> 8), uint8_t(rgb)));
    return true;
}

// Returns 0, or the exit status of a usage error (message printed).
int parseOptions(const char* command, const std::vector<std::string>& args, TOptions& o)
{
    const std::string name = command;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        // A lone "-" or a negative number (rotate -90) is an argument, not an option.
        const bool looksNumeric = a.size() > 1 && (std::isdigit(uint8_t(a[1])) || a[1] == '.');
        if (a.empty() || a[0] != '-' || a == "-" || looksNumeric) {
            o.positional.push_back(a);
        } else if (a == "--single-thread") {
            o.singleThread = true;
        } else if (a == "--preview" && name == "effect") {
            o.preview = true;
        } else if (a == "--list" && name == "effect") {
            o.list = true;
        } else if (a == "--nearest" && name == "rotate") {
            o.nearest = true;
        } else if (a == "--background" && name == "rotate") {
            if (i + 1 >= args.size() || !parseColour(args[i + 1], o.background)) {
                CliError("rotate: --background needs a colour RRGGBB");
                return 2;
            }
            ++i;
        } else {
            CliError(name + ": unknown option " + a);
            return 2;
        }
    }
    return 0;
}

// Loads IN, lets `run` change the picture through a processing object, saves
// OUT. `what` names the work in the progress line.
int processFile(const std::string& in, const std::string& out, const std::string& what,
                const std::function<bool(TImageProc&)>& run)
{
    const TFormatTable& table = TFormatTable::Instance();
    const TFileFormat* outFormat = table.FindByExtension(FileExtension(out));
    if (!outFormat || !outFormat->Write) {
        CliError("cannot write \"" + out + "\": no writer for the extension \"" + FileExtension(out) + "\"");
        return 1;
    }
    TImageIO io;
    if (!io.LoadFromFile(in)) {
        CliError("cannot read \"" + in + "\"");
        return 1;
    }
    TPlainHost host(std::make_unique<TImageBuffer>(std::move(*io.Buffer())));
    io.AttachBuffer(nullptr);
    host.SetBackgroundColor(0);  // what uncovered corners of a free rotation get by default
    ShowProgressOnTerminal(host, what);
    TImageProc proc(host, false);  // one run, nothing to undo
    if (!run(proc))
        return 1;
    io.AttachBuffer(host.CurrentImage());
    if (!io.SaveToFile(out)) {
        CliError("cannot write \"" + out + "\" as " + outFormat->Description);
        return 1;
    }
    return 0;
}

void listEffects()
{
    for (const TEffect& e : EffectTable()) {
        std::printf("%-14s %d.%d  %-12s %s%s\n", e.Alias, e.Tab, e.Index, EffectTabCaptions[e.Tab], e.Caption,
                    EffectAvailable(e) ? "" : " (not available yet)");
    }
}

}  // namespace

void ShowProgressOnTerminal(TPlainHost& host, const std::string& what)
{
    if (!isatty(STDERR_FILENO))
        return;
    host.OnProgress = [what](int percent) {
        std::fprintf(stderr, "\r%s: %3d%%", what.c_str(), percent);
        if (percent == 100)
            std::fputc('\n', stderr);
    };
}

int RunEffect(const std::vector<std::string>& args)
{
    TOptions o;
    if (int status = parseOptions("effect", args, o))
        return status;
    if (o.list) {
        listEffects();
        return 0;
    }
    if (o.positional.size() != 3) {
        CliError("effect: NAME, IN and OUT expected (see tessaron-cli effect --help)");
        return 2;
    }
    const TEffect* effect = FindEffect(o.positional[0]);
    if (!effect) {
        CliError("effect: unknown effect \"" + o.positional[0] + "\" (tessaron-cli effect --list names them)");
        return 2;
    }
    if (!EffectAvailable(*effect)) {
        CliError("effect \"" + std::string(effect->Alias) + "\" is not available yet");
        return 1;
    }
    ops::SetSingleThreaded(o.singleThread);
    return processFile(o.positional[1], o.positional[2], effect->Alias,
                       [&](TImageProc& proc) { return ApplyEffect(proc, *effect, o.preview); });
}

int RunRotate(const std::vector<std::string>& args)
{
    TOptions o;
    if (int status = parseOptions("rotate", args, o))
        return status;
    if (o.positional.size() != 3) {
        CliError("rotate: ANGLE, IN and OUT expected (see tessaron-cli rotate --help)");
        return 2;
    }
    char* end = nullptr;
    const double angle = std::strtod(o.positional[0].c_str(), &end);
    if (end == o.positional[0].c_str() || *end != '\0' || !std::isfinite(angle)) {
        CliError("rotate: ANGLE must be a number of degrees, not \"" + o.positional[0] + "\"");
        return 2;
    }
    ops::SetSingleThreaded(o.singleThread);
    return processFile(o.positional[1], o.positional[2], "rotate", [&](TImageProc& proc) {
        proc.Rotate(angle, !o.nearest, 0, o.background);
        return true;
    });
}

int RunFlip(const std::vector<std::string>& args)
{
    TOptions o;
    if (int status = parseOptions("flip", args, o))
        return status;
    if (o.positional.size() != 3) {
        CliError("flip: DIRECTION, IN and OUT expected (see tessaron-cli flip --help)");
        return 2;
    }
    const std::string& d = o.positional[0];
    int direction;
    if (d == "0" || d == "mirror")
        direction = 0;
    else if (d == "1" || d == "upside-down")
        direction = 1;
    else {
        CliError("flip: DIRECTION must be 0 (mirror) or 1 (upside-down), not \"" + d + "\"");
        return 2;
    }
    ops::SetSingleThreaded(o.singleThread);
    return processFile(o.positional[1], o.positional[2], "flip", [&](TImageProc& proc) {
        proc.Flip(direction);
        return true;
    });
}

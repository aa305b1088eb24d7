// tessaron-cli describe: the browser's description rewrite from the command
// line. Reads the photo's parameters and EXIF block, sets the description
// and writes the block back into the JPEG file without re-encoding it.
#include <string>
#include <vector>

#include "cli/Commands.h"
#include "imaging/ImageIO.h"

int RunDescribe(const std::vector<std::string>& args)
{
    if (args.size() != 2) {
        CliError("describe needs FILE and TEXT");
        return 2;
    }
    const std::string& file = args[0];
    TImageIO io;
    if (!io.ReadParamsFromFile(file)) {
        CliError("cannot read \"" + file + "\"");
        return 1;
    }
    io.Params.ImageDescription = args[1];
    if (!io.WriteExifIntoJpegFile(file)) {
        CliError("the description was not written; \"" + file + "\" is unchanged");
        return 1;
    }
    return 0;
}

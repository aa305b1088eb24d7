// Confyg.ini is outside data: parse any bytes as INI text, look keys up,
// write values back and parse the result again; read every value as an
// integer too.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "platform/IniText.h"
// The fuzz programs link the imaging core only; the INI text is plain C++
// and is compiled in here.
#include "platform/IniText.cpp"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    tessaron::TIniText ini(text);
    volatile size_t sink = 0;
    for (const char* key : {"Window", "Left", "Top", "Width", "Height", "Style", "Sizer", "Editor", "Folders"}) {
        if (auto value = ini.value("Base", key)) {
            sink = sink + value->size();
            if (auto number = tessaron::parseInteger(*value)) sink = sink + static_cast<size_t>(*number);
        }
    }
    // Whole input as a number, and as a key and value of their own.
    if (auto number = tessaron::parseInteger(text)) sink = sink + static_cast<size_t>(*number);
    ini.setValue("Base", "Style", "2");
    ini.setValue(text.substr(0, size / 2), "Key", text.substr(size / 2));
    const tessaron::TIniText again(ini.text());
    if (again.value("base", "STYLE") != std::string("2")) __builtin_trap();
    (void)sink;
    return 0;
}

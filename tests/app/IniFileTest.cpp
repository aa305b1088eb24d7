// The INI reader/writer and the integer conversion behind Confyg.ini.
#include <gtest/gtest.h>

#include <stdexcept>

#include "AppTestSupport.h"
#include "platform/IniFile.h"
#include "platform/IniText.h"
#include "platform/StrToInt.h"

using tessaron::parseInteger;
using tessaron::TIniFile;
using tessaron::TIniText;

TEST(IniText, FindsSectionsAndKeysInAnyOrderAndLetterCase) {
    const TIniText ini(
        "; settings\r\n"
        "[Other]\r\n"
        "Style=9\r\n"
        "[bAsE]\n"
        "  sizer =  3 \n"
        "STYLE=2\r"
        "Window=Custom\n"
        "broken line\n"
        "Empty=\n");
    struct Case {
        const char* section;
        const char* key;
        std::optional<std::string> expected;
    };
    const Case cases[] = {
        {"Base", "Style", "2"},      {"BASE", "sizer", "3"},    {"base", "Window", "Custom"},
        {"Other", "style", "9"},     {"Base", "Empty", ""},     {"Base", "Left", std::nullopt},
        {"Missing", "Style", std::nullopt},                     {"Base", "broken line", std::nullopt},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.section) + "/" + c.key);
        EXPECT_EQ(ini.value(c.section, c.key), c.expected);
    }
}

TEST(IniText, FirstOccurrenceWinsAndByteOrderMarkIsSkipped) {
    const TIniText ini("\xEF\xBB\xBF[Base]\nStyle=1\nstyle=2\n[base]\nStyle=3\n");
    EXPECT_EQ(ini.value("Base", "Style"), "1");
}

TEST(IniText, WritingChangesOnlyTheValueAndKeepsEverythingElse) {
    TIniText ini("; keep me\n[Base]\nwindow=Custom\nLeft=1\n\n[Other]\nX=1\n");
    ini.setValue("BASE", "Window", "Max");   // existing key, other letter case
    ini.setValue("Base", "Style", "2");      // new key in an existing section
    ini.setValue("Fresh", "Key", "v");       // new section
    EXPECT_EQ(ini.text(), "; keep me\n[Base]\nwindow=Max\nLeft=1\nStyle=2\n\n[Other]\nX=1\n[Fresh]\nKey=v\n");
    // What was written reads back the same.
    const TIniText again(ini.text());
    EXPECT_EQ(again.value("base", "WINDOW"), "Max");
    EXPECT_EQ(again.value("fresh", "key"), "v");
}

TEST(IniText, EmptyTextGetsItsFirstSection) {
    TIniText ini;
    ini.setValue("Base", "Style", "0");
    EXPECT_EQ(ini.text(), "[Base]\nStyle=0\n");
}

TEST(ParseInteger, AcceptsWhatThePlatformConversionAccepts) {
    struct Case {
        const char* text;
        std::optional<int> expected;
    };
    const Case cases[] = {
        {"0", 0},
        {"918", 918},
        {"-25", -25},
        {"+7", 7},
        {"  42", 42},
        {"$1F", 31},
        {"0x10", 16},
        {"0X10", 16},
        {"-$10", -16},
        {"$FFFFFFFF", -1},
        {"2147483647", 2147483647},
        {"-2147483648", -2147483647 - 1},
        {"2147483648", std::nullopt},
        {"99999999999999999999", std::nullopt},
        {"", std::nullopt},
        {"   ", std::nullopt},
        {"-", std::nullopt},
        {"$", std::nullopt},
        {"12 ", std::nullopt},
        {"1e3", std::nullopt},
        {"3.5", std::nullopt},
        {"abc", std::nullopt},
        {"0x", std::nullopt},
        {"$100000000", std::nullopt},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string("'") + c.text + "'");
        EXPECT_EQ(parseInteger(c.text), c.expected);
    }
}

TEST(StrToInt, NamesTheOffendingTextInItsMessage) {
    EXPECT_EQ(tessaron::StrToInt("-12"), -12);
    for (const char* bad : {"abc", "", "12px"}) {
        SCOPED_TRACE(bad);
        try {
            tessaron::StrToInt(bad);
            ADD_FAILURE() << "no error";
        } catch (const std::runtime_error& error) {
            EXPECT_EQ(std::string(error.what()), std::string("'") + bad + "' is not a valid integer value");
        }
    }
}

TEST(IniFile, MissingFileReadsDefaultsAndIsCreatedOnUpdate) {
    testsupport::TempDir dir;
    const QString path = QString::fromStdString(dir.file("Confyg.ini"));
    TIniFile ini(path);
    EXPECT_EQ(ini.ReadString("Base", "Window", "none"), "none");
    EXPECT_EQ(ini.ReadInteger("Base", "Style", 7), 7);
    ini.WriteInteger("Base", "Style", -3);
    ini.WriteString("Base", "Window", "Custom");
    ini.UpdateFile();
    EXPECT_EQ(apptest::readFile(dir.file("Confyg.ini")), "[Base]\nStyle=-3\nWindow=Custom\n");
}

TEST(IniFile, IntegersThatAreNotIntegersReadAsTheDefault) {
    testsupport::TempDir dir;
    apptest::writeFile(dir.file("a.ini"), "[Base]\nStyle=two\nSizer=0x2\nEditor=\nLeft=-5\n");
    const TIniFile ini(QString::fromStdString(dir.file("a.ini")));
    EXPECT_EQ(ini.ReadInteger("Base", "Style", 0), 0);
    EXPECT_EQ(ini.ReadInteger("Base", "Sizer", 1), 2);
    EXPECT_EQ(ini.ReadInteger("Base", "Editor", 24), 24);
    EXPECT_EQ(ini.ReadInteger("base", "left", 0), -5);
}

TEST(IniFile, UnwritableFileIsReportedAndTheOldOneStays) {
    testsupport::TempDir dir;
    // A folder where the file should be: nothing can replace it.
    const std::filesystem::path blocked = dir.path() / "Confyg.ini";
    std::filesystem::create_directory(blocked);
    TIniFile ini(QString::fromStdString(blocked.string()));
    ini.WriteInteger("Base", "Style", 1);
    try {
        ini.UpdateFile();
        ADD_FAILURE() << "no error";
    } catch (const std::runtime_error& error) {
        EXPECT_EQ(std::string(error.what()), "Unable to write to " + blocked.string());
    }
    EXPECT_TRUE(std::filesystem::is_directory(blocked));
}

TEST(IniText, LineBreaksInWrittenTextCannotForgeEntries) {
    TIniText ini("[Base]\nStyle=1\n");
    ini.setValue("Base", "Window", "Max\n[Base]\nStyle=2\r\nLeft=5");
    const TIniText again(ini.text());
    EXPECT_EQ(again.value("Base", "Style"), "1");
    EXPECT_EQ(again.value("Base", "Left"), std::nullopt);
    EXPECT_EQ(again.value("Base", "Window"), "Max [Base] Style=2  Left=5");
}

TEST(IniText, WritingKeepsTheMeaningOfTextThatStartsWithByteOrderMarks) {
    for (const char* text : {"\xEF\xBB\xBF[Base]\nStyle=1\n", "\xEF\xBB\xBF\xEF\xBB\xBF[Base]\nStyle=1\n"}) {
        SCOPED_TRACE(text);
        TIniText ini(text);
        const auto before = ini.value("Base", "Style");
        ini.setValue("Other", "Key", "v");
        const TIniText again(ini.text());
        EXPECT_EQ(again.value("Base", "Style"), before);
        EXPECT_EQ(again.value("Other", "Key"), "v");
    }
}

// The photo pane of the browse tab: the file data rows of a selected
// photo, with and without EXIF, and the description written into the JPEG
// in place.
#include <gtest/gtest.h>

#include <QLocale>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTableWidget>

#include <memory>
#include <string>

#include "AppTestSupport.h"
#include "browser/BrowsePage.h"
#include "browser/PhotoText.h"
#include "imaging/ImageIO.h"
#include "platform/MultiImageView.h"

using tessaron::TBrowsePage;

namespace {

struct Camera {
    double exposure = 1.0 / 125;
    double fNumber = 5.6;
    double focal = 50;
    int iso = 200;
    int program = 3;
    std::string description;
};

// A small JPEG photo, with an EXIF block unless `camera` is null.
void writePhoto(const std::string& path, const Camera* camera) {
    TImageBuffer picture(64, 48, px24RGB);
    for (int y = 0; y < 48; ++y)
        for (int x = 0; x < 64; ++x) picture.SetPixelRGB(x, y, TRGB{90, uint8_t(y * 5), uint8_t(x * 4)});
    TImageIO io(&picture);
    if (camera) {
        io.Params.ExifPresent = true;
        io.Params.Make = "Зенит";
        io.Params.Model = "EOS 350D";
        io.Params.DateTime = "2026:12:01 10:20:30";
        io.Params.ExposureTime = camera->exposure;
        io.Params.FNumber = camera->fNumber;
        io.Params.FocalLength = camera->focal;
        io.Params.ISOSpeedRatings = {camera->iso, 0};
        io.Params.ExposureProgram = camera->program;
        io.Params.ImageDescription = camera->description;
    }
    ASSERT_TRUE(io.SaveToFileJpeg(path));
}

// The JPEG from its first start-of-scan marker on: the coded picture.
std::string codedPicture(const std::string& path) {
    const std::string bytes = apptest::readFile(path);
    const size_t sos = bytes.find("\xFF\xDA");
    return sos == std::string::npos ? std::string() : bytes.substr(sos);
}

class PhotoInfo : public ::testing::Test {
protected:
    void SetUp() override {
        page.setPhotoRecord(&io);
        page.PreparePhotoData();
    }
    QString value(int row) const {
        const QTableWidgetItem* cell = page.PhotoData->item(row, 1);
        return cell ? cell->text() : QString();
    }
    int add(const std::string& name) {
        const std::string path = dir.file(name);
        return page.ThumbGrid->AddEntry(QString::fromStdString(path), QString::fromStdString(name));
    }
    // Selects the entry as a click does; a photo that is already selected
    // is selected anew by clicking another one first.
    void select(int index) {
        page.ThumbGrid->LoadThumbnailNow(index);
        if (page.ThumbGrid->SelectedIndex() == index) page.ThumbGrid->SelectOnly(-1);
        page.ThumbGrid->SelectOnly(index);
    }

    testsupport::TempDir dir;
    TImageIO io;
    TBrowsePage page;
};

}  // namespace

TEST(PhotoText, ValueFormats) {
    const QLocale ru(QLocale::Russian, QLocale::Russia);
    const QLocale en(QLocale::English, QLocale::UnitedStates);
    struct Exposure {
        double seconds;
        const char* text;
    };
    const Exposure exposures[] = {
        {0.004, "1/250 сек."}, {1.0 / 60, "1/60 сек."}, {1.0 / 125, "1/125 сек."}, {0.5, "1/2 сек."},
        {1.0 / 2.5, "1/2 сек."},  // 2.5 rounds to the even 2
        {1, "1 сек."},         {2.5, "2,5 сек."},       {30, "30 сек."},          {0, "..."}, {-1, "..."},
    };
    for (const Exposure& e : exposures) {
        SCOPED_TRACE(e.seconds);
        EXPECT_EQ(tessaron::exposureText(e.seconds, ru), QString::fromUtf8(e.text));
    }
    // Absurd values from a damaged file still give a defined text.
    const QString absurd = tessaron::exposureText(1e-300, ru);
    EXPECT_TRUE(absurd.startsWith("1/9999") && absurd.endsWith(" сек.") && !absurd.contains('e')) << absurd.toStdString();

    struct Aperture {
        double f;
        const char* text;
    };
    for (const Aperture& a : {Aperture{2.8, "F/3"}, {3.5, "F/4"}, {4.5, "F/4"}, {5.6, "F/6"}, {8, "F/8"}, {0, "F/0"}}) {
        SCOPED_TRACE(a.f);
        EXPECT_EQ(tessaron::apertureText(a.f), a.text);
    }

    EXPECT_EQ(tessaron::focalLengthText(18, ru), "18 мм");
    EXPECT_EQ(tessaron::focalLengthText(5.8, ru), "5,8 мм");
    EXPECT_EQ(tessaron::focalLengthText(5.8, en), "5.8 мм");
    EXPECT_EQ(tessaron::focalLengthText(12345.5, ru), "12345,5 мм");  // no digit grouping
    EXPECT_EQ(tessaron::photoSizeText(3072, 2304), "3072 x 2304");

    const char* programs[] = {"...", "Ручной", "Автоматический", "Пр. диафрагмы", "Пр. выдержки",
                              "Медленная", "Спорт", "Портрет", "Пейзаж", "..."};
    for (int p = 0; p <= 9; ++p) EXPECT_EQ(tessaron::exposureProgramText(p), QString::fromUtf8(programs[p])) << p;
    EXPECT_EQ(tessaron::exposureProgramText(-1), "...");

    EXPECT_EQ(tessaron::memoToDescription("one\ntwo"), "one\r\ntwo");
    EXPECT_EQ(tessaron::descriptionToMemo("one\r\ntwo\rthree\nfour"), "one\ntwo\nthree\nfour");
}

TEST_F(PhotoInfo, PhotoWithoutExif) {
    writePhoto(dir.file("plain.jpg"), nullptr);
    const int i = add("plain.jpg");
    select(i);
    EXPECT_EQ(value(0), "plain.jpg");
    EXPECT_EQ(value(1), "64 x 48");
    for (int row = 2; row < 10; ++row) EXPECT_EQ(value(row), "...") << row;
    EXPECT_FALSE(page.AddCom->isEnabled());
    EXPECT_FALSE(page.ClearCom->isEnabled());
    EXPECT_EQ(io.Params.FileName, dir.file("plain.jpg"));
}

TEST_F(PhotoInfo, PhotoWithExifThenWithout) {
    Camera camera;
    camera.description = "Мост";
    writePhoto(dir.file("camera.jpg"), &camera);
    writePhoto(dir.file("plain.jpg"), nullptr);
    const int withExif = add("camera.jpg");
    const int without = add("plain.jpg");

    select(withExif);
    const QString expected[] = {"camera.jpg", "64 x 48", "2026:12:01 10:20:30", "Зенит", "EOS 350D",
                                tessaron::focalLengthText(50, QLocale()), "1/125 сек.", "F/6", "200", "Пр. диафрагмы"};
    for (int row = 0; row < 10; ++row) EXPECT_EQ(value(row), expected[row]) << row;
    EXPECT_EQ(page.ComPhoto->toPlainText(), "Мост");
    EXPECT_TRUE(page.AddCom->isEnabled());
    EXPECT_TRUE(page.ClearCom->isEnabled());

    select(without);
    EXPECT_EQ(value(0), "plain.jpg");
    EXPECT_EQ(value(5), "...");
    EXPECT_EQ(page.ComPhoto->toPlainText(), "");
    EXPECT_FALSE(page.AddCom->isEnabled());
}

TEST_F(PhotoInfo, UnknownValuesAndUnloadedSize) {
    Camera camera;
    camera.exposure = 0;
    camera.program = 0;
    camera.iso = 0;
    writePhoto(dir.file("odd.jpg"), &camera);
    const int i = add("odd.jpg");
    page.ThumbGrid->SelectOnly(i);  // thumbnail not loaded yet
    EXPECT_EQ(value(1), "0 x 0");
    EXPECT_EQ(value(6), "...");
    EXPECT_EQ(value(8), "0");
    EXPECT_EQ(value(9), "...");
    EXPECT_TRUE(page.AddCom->isEnabled());
}

TEST_F(PhotoInfo, DescriptionIsSavedInPlaceAndCleared) {
    Camera camera;
    writePhoto(dir.file("photo.jpg"), &camera);
    const std::string before = codedPicture(dir.file("photo.jpg"));
    ASSERT_FALSE(before.empty());
    const int i = add("photo.jpg");
    select(i);

    page.ComPhoto->setPlainText("Первая строка\nвторая строка");
    page.AddCom->click();
    EXPECT_EQ(codedPicture(dir.file("photo.jpg")), before);
    {
        TImageIO check;
        ASSERT_TRUE(check.ReadParamsFromFile(dir.file("photo.jpg")));
        EXPECT_EQ(check.Params.ImageDescription, "Первая строка\r\nвторая строка");
        EXPECT_EQ(check.Params.Make, "Зенит");
        EXPECT_DOUBLE_EQ(check.Params.FNumber, 5.6);
    }
    page.ComPhoto->clear();
    select(i);
    EXPECT_EQ(page.ComPhoto->toPlainText(), "Первая строка\nвторая строка");

    page.ClearCom->click();
    EXPECT_EQ(page.ComPhoto->toPlainText(), "");
    EXPECT_EQ(codedPicture(dir.file("photo.jpg")), before);
    page.ComPhoto->setPlainText("left over");
    select(i);
    EXPECT_EQ(page.ComPhoto->toPlainText(), "");
    TImageIO check;
    ASSERT_TRUE(check.ReadParamsFromFile(dir.file("photo.jpg")));
    EXPECT_EQ(check.Params.ImageDescription, "");
}

TEST_F(PhotoInfo, FileThatCannotBeRewrittenStaysAsItWas) {
    Camera camera;
    writePhoto(dir.file("photo.jpg"), &camera);
    select(add("photo.jpg"));
    // The file is replaced by something that is not a JPEG behind the
    // record's back: the rewrite must refuse it and say nothing.
    apptest::writeFile(dir.file("photo.jpg"), "not a jpeg any more");
    page.ComPhoto->setPlainText("text");
    page.AddCom->click();
    EXPECT_EQ(apptest::readFile(dir.file("photo.jpg")), "not a jpeg any more");
}

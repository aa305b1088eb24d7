// The browse tab's thumbnail grid: which files a folder lists and that
// listing opens none of them, the size, look and caption options, the
// frame pictures and the framed look's cells.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QPainter>
#include <QPushButton>
#include <QSignalSpy>
#include <sys/inotify.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <memory>
#include <set>
#include <vector>

#include "AppTestSupport.h"
#include "browser/BrowsePage.h"
#include "browser/FolderFill.h"
#include "browser/ThumbFrames.h"
#include "imaging/ImageIO.h"
#include "imaging/Stream.h"
#include "platform/MultiImageView.h"

namespace fs = std::filesystem;
using tessaron::TBrowsePage;
using tessaron::TMultiImageView;

namespace {

void writePicture(const std::string& path, int width, int height, TColor colour = 0x406080) {
    TImageBuffer buffer(width, height, px24RGB);
    buffer.Fill(colour);
    TImageIO io(&buffer);
    ASSERT_TRUE(io.SaveToFile(path)) << path;
}

QStringList captions(const TMultiImageView& grid) {
    QStringList names;
    for (int i = 0; i < grid.Count(); ++i) names << grid.Caption(i);
    return names;
}

// The names of a folder's entries in the order the file system lists them.
QStringList directoryOrder(const fs::path& folder) {
    QStringList names;
    for (const auto& entry : fs::directory_iterator(folder)) names << QString::fromStdString(entry.path().filename());
    return names;
}

// A PNG frame picture of 94 x 188 pixels: an opaque border colour and a
// half-transparent window, so both the colour shift and the alpha show.
QByteArray framePng(TColor border = RGBToColor(100, 240, 30)) {
    TImageBuffer frame(94, 188, px24RGB);
    frame.Fill(border);
    TImageBuffer& alpha = *frame.Alpha();
    for (int y = 0; y < 188; ++y)
        for (int x = 0; x < 94; ++x) alpha.RowPointer(y)[x] = (x >= 16 && x < 77 && y >= 49 && y < 140) ? 128 : 255;
    alpha.SetFullyOpaque(false);
    TImageIO io(&frame);
    TMemoryStream out;
    EXPECT_TRUE(io.SaveToStream(out, ffPNG));
    const std::vector<uint8_t>& bytes = out.Bytes();
    return QByteArray(reinterpret_cast<const char*>(bytes.data()), qsizetype(bytes.size()));
}

}  // namespace

TEST(FolderFill, ListsOnlyOrdinaryVisiblePicturesInDirectoryOrder) {
    testsupport::TempDir dir;
    writePicture(dir.file("PHOTO.JPG"), 8, 6);
    writePicture(dir.file("b.png"), 8, 6);
    writePicture(dir.file("c.Tif"), 8, 6);
    writePicture(dir.file(".hidden.png"), 8, 6);
    apptest::writeFile(dir.file("notes.txt"), "text");
    apptest::writeFile(dir.file("drawing.pcx"), "no reader for this format");
    apptest::writeFile(dir.file("noextension"), "x");
    fs::create_directory(dir.path() / "folder.jpg");
    fs::create_symlink(dir.path() / "b.png", dir.path() / "link.png");
    fs::create_symlink(dir.path() / "gone.png", dir.path() / "dangling.png");

    TMultiImageView grid;
    const QString folder = QString::fromStdString(dir.path().string());
    EXPECT_EQ(tessaron::FillFromFolder(grid, folder), 4);

    QStringList expected;
    for (const QString& name : directoryOrder(dir.path()))
        if (QStringList{"PHOTO.JPG", "b.png", "c.Tif", "link.png"}.contains(name)) expected << name;
    EXPECT_EQ(captions(grid), expected);
    for (int i = 0; i < grid.Count(); ++i) {
        EXPECT_EQ(grid.Path(i), folder + "/" + grid.Caption(i));
        EXPECT_FALSE(grid.HasThumbnail(i));
        EXPECT_TRUE(grid.FullSize(i).isEmpty());
    }

    // A path with a final slash gets no second one.
    grid.Clear();
    tessaron::FillFromFolder(grid, folder + "/");
    EXPECT_EQ(grid.Path(0), folder + "/" + grid.Caption(0));

    // The limit stops the fill; files of unknown formats may be accepted.
    grid.Clear();
    EXPECT_EQ(tessaron::FillFromFolder(grid, folder, 2), 2);
    grid.Clear();
    // Adds the text, the PCX and the file without extension; a dangling
    // link is no file at all.
    EXPECT_EQ(tessaron::FillFromFolder(grid, folder, -1, true), 7);
}

TEST(FolderFill, MissingOrUnreadableFolderGivesNothing) {
    testsupport::TempDir dir;
    TMultiImageView grid;
    EXPECT_EQ(tessaron::FillFromFolder(grid, QString::fromStdString(dir.file("missing"))), 0);
    EXPECT_EQ(tessaron::FillFromFolder(grid, QString()), 0);
    writePicture(dir.file("a.bmp"), 4, 4);
    EXPECT_EQ(tessaron::FillFromFolder(grid, QString::fromStdString(dir.file("a.bmp"))), 0);
    EXPECT_EQ(grid.Count(), 0);
}

TEST(FolderFill, ReadsTheDirectoryWithoutOpeningAnyFile) {
    testsupport::TempDir dir;
    for (int i = 0; i < 20; ++i) writePicture(dir.file("photo" + std::to_string(i) + ".jpg"), 16, 12);
    const int watcher = inotify_init1(IN_NONBLOCK);
    ASSERT_GE(watcher, 0);
    ASSERT_GE(inotify_add_watch(watcher, dir.path().c_str(), IN_OPEN | IN_ACCESS), 0);

    TMultiImageView grid;  // never shown, so nothing paints and loads
    ASSERT_EQ(tessaron::FillFromFolder(grid, QString::fromStdString(dir.path().string())), 20);

    std::set<std::string> opened;
    alignas(inotify_event) char events[8192];
    for (ssize_t n; (n = read(watcher, events, sizeof events)) > 0;) {
        for (ssize_t at = 0; at < n;) {
            const auto* event = reinterpret_cast<const inotify_event*>(events + at);
            if (!(event->mask & IN_ISDIR)) opened.insert(event->len ? event->name : "?");
            at += ssize_t(sizeof(inotify_event) + event->len);
        }
    }
    close(watcher);
    EXPECT_TRUE(opened.empty()) << "opened " << *opened.begin();
}

TEST(ThumbFrames, PngDataAndItsColourShiftedTwin) {
    const tessaron::TThumbFrames frames = tessaron::DecodeThumbFrames(framePng());
    ASSERT_TRUE(frames.loaded());
    ASSERT_EQ(frames.normal.size(), QSize(94, 188));
    ASSERT_EQ(frames.selected.size(), QSize(94, 188));
    // Red 100 - 50, green 240 + 20 held to 255, blue 30 - 50 held to 0; the
    // alpha channel is the same in both.
    EXPECT_EQ(frames.normal.pixel(2, 2), qRgba(100, 240, 30, 255));
    EXPECT_EQ(frames.selected.pixel(2, 2), qRgba(50, 255, 0, 255));
    EXPECT_EQ(qAlpha(frames.normal.pixel(40, 100)), 128);
    EXPECT_EQ(qAlpha(frames.selected.pixel(40, 100)), 128);
    EXPECT_EQ(qRed(frames.selected.pixel(40, 100)), 50);

    // Data that are not a PNG picture (a BMP, or anything) give no frames.
    TImageBuffer bmp(4, 4, px24RGB);
    TImageIO io(&bmp);
    TMemoryStream out;
    ASSERT_TRUE(io.SaveToStream(out, ffBMP));
    const std::vector<uint8_t>& bytes = out.Bytes();
    EXPECT_FALSE(tessaron::DecodeThumbFrames(QByteArray(reinterpret_cast<const char*>(bytes.data()), qsizetype(bytes.size()))).loaded());
    EXPECT_FALSE(tessaron::DecodeThumbFrames("frame picture bytes").loaded());
    EXPECT_FALSE(tessaron::DecodeThumbFrames(framePng().left(60)).loaded());
}

TEST(ThumbFrames, PhotoWindowOfEachCellSize) {
    struct Case {
        QSize cell;
        int left, top, right, bottom;
    };
    const Case cases[] = {
        {{75, 75}, 13, 20, 61, 56},
        {{102, 100}, 17, 26, 84, 74},
        {{130, 125}, 22, 33, 106, 93},
        {{170, 160}, 29, 42, 139, 119},
        {{94, 188}, 16, 49, 77, 140},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.cell.width());
        const QRect window = tessaron::FramePhotoWindow(c.cell);
        EXPECT_EQ(window.left(), c.left);
        EXPECT_EQ(window.top(), c.top);
        EXPECT_EQ(window.left() + window.width(), c.right);
        EXPECT_EQ(window.top() + window.height(), c.bottom);
    }
}

class BrowseGrid : public ::testing::Test {
protected:
    void SetUp() override {
        page = std::make_unique<TBrowsePage>();
        page->resize(900, 600);
        TBrowsePage::selectItem(page->Styler, 0);
        TBrowsePage::selectItem(page->Sizer, 1);
        page->PrepareThumbGrid();
        page->ApplyThumbnailOptions();
    }
    TMultiImageView& grid() { return *page->ThumbGrid; }

    std::unique_ptr<TBrowsePage> page;
};

TEST_F(BrowseGrid, FirstActivationSettings) {
    TBrowsePage fresh;
    fresh.PrepareThumbGrid();
    EXPECT_FALSE(fresh.ThumbGrid->ShowCaptions());
    EXPECT_EQ(fresh.ThumbGrid->Style(), tessaron::msFlat);
    EXPECT_EQ(fresh.ThumbGrid->GridWidth(), -1);
    EXPECT_EQ(fresh.ThumbGrid->HorizontalSpacing(), 4);
    EXPECT_EQ(fresh.ThumbGrid->VerticalSpacing(), 4);
    EXPECT_TRUE(fresh.ThumbGrid->EnableMultiSelect());
    EXPECT_TRUE(fresh.ThumbGrid->RemoveCorrupted());
    // A frame picture sets the cells to its size until a size is applied.
    fresh.SetThumbFrames(tessaron::DecodeThumbFrames(framePng()));
    EXPECT_EQ(fresh.ThumbGrid->CellSize(), QSize(94, 188));
    fresh.SetThumbFrames({});
    EXPECT_EQ(fresh.ThumbGrid->CellSize(), QSize(94, 188));
}

TEST_F(BrowseGrid, SizeChoiceSetsTheCells) {
    const QSize sizes[] = {{75, 75}, {102, 100}, {130, 125}, {170, 160}};
    for (int item = 0; item < 4; ++item) {
        page->Sizer->setCurrentIndex(item);  // the change handler applies it
        EXPECT_EQ(grid().CellSize(), sizes[item]) << item;
    }
    page->Sizer->setCurrentIndex(1);
    page->Sizer->setCurrentIndex(0);
    EXPECT_EQ(grid().CellSize(), QSize(75, 75));
    page->Sizer->setCurrentIndex(1);
    EXPECT_EQ(grid().CellSize(), QSize(102, 100));
    // No item: the cells keep their size.
    TBrowsePage::selectItem(page->Sizer, -1);
    page->ApplyThumbnailOptions();
    EXPECT_EQ(grid().CellSize(), QSize(102, 100));
}

TEST_F(BrowseGrid, LooksAndCaptions) {
    EXPECT_EQ(grid().Style(), tessaron::msFlat);
    EXPECT_TRUE(grid().ShowCaptions());
    page->Styler->setCurrentIndex(1);
    EXPECT_EQ(grid().Style(), tessaron::msACD);
    EXPECT_TRUE(grid().ShowCaptions());
    page->ShowTexta->click();
    EXPECT_FALSE(grid().ShowCaptions());
    page->ShowTexta->click();
    EXPECT_TRUE(grid().ShowCaptions());

    // The framed look: flat, no captions, the switch disabled with its mark.
    page->Styler->setCurrentIndex(2);
    EXPECT_EQ(grid().Style(), tessaron::msFlat);
    EXPECT_FALSE(grid().ShowCaptions());
    EXPECT_FALSE(page->ShowTexta->isEnabled());
    EXPECT_TRUE(page->ShowTexta->isChecked());
    page->ShowTexta->click();  // a disabled box takes no click
    EXPECT_TRUE(page->ShowTexta->isChecked());

    page->Styler->setCurrentIndex(0);
    EXPECT_TRUE(page->ShowTexta->isEnabled());
    EXPECT_TRUE(grid().ShowCaptions());
    EXPECT_EQ(grid().Style(), tessaron::msFlat);
}

TEST_F(BrowseGrid, FramedLookDrawsShiftedFramesForSelectedCells) {
    testsupport::TempDir dir;
    for (const char* name : {"a.bmp", "b.bmp", "c.bmp"}) writePicture(dir.file(name), 60, 40, RGBToColor(0, 0, 255));
    page->SetThumbFrames(tessaron::DecodeThumbFrames(framePng()));
    page->Styler->setCurrentIndex(2);
    page->show();
    emit page->gridRequested(QString::fromStdString(dir.path().string()));
    ASSERT_EQ(grid().Count(), 3);
    for (int i = 0; i < 3; ++i) ASSERT_TRUE(grid().LoadThumbnailNow(i));
    grid().SelectOnly(0);
    grid().ToggleSelected(2);

    const QImage shot = grid().viewport()->grab().toImage();
    for (int i = 0; i < 3; ++i) {
        SCOPED_TRACE(i);
        const QRect cell = grid().CellRect(i);
        const bool selected = i != 1;
        // Inside the frame, clear of the red selection mark: the frame colour.
        const QColor frame = shot.pixelColor(cell.topLeft() + QPoint(6, 6));
        EXPECT_EQ(frame, selected ? QColor(50, 255, 0) : QColor(100, 240, 30));
        // The thumbnail sits in the photo window, centred.
        const QRect window = tessaron::FramePhotoWindow(cell.size()).translated(cell.topLeft());
        EXPECT_EQ(shot.pixelColor(window.center()), QColor(0, 0, 255));
    }

    // Back to the plain look: the hook is gone, nothing frames the cells.
    page->Styler->setCurrentIndex(0);
    const QImage plain = grid().viewport()->grab().toImage();
    const QRect cell = grid().CellRect(1);
    EXPECT_NE(plain.pixelColor(cell.topLeft() + QPoint(6, 6)), QColor(100, 240, 30));
}

TEST_F(BrowseGrid, FolderRequestsRefillTheGrid) {
    testsupport::TempDir one, two;
    writePicture(one.file("a.png"), 4, 4);
    writePicture(one.file("b.png"), 4, 4);
    writePicture(two.file("c.gif"), 4, 4);
    emit page->gridRequested(QString::fromStdString(one.path().string()));
    EXPECT_EQ(grid().Count(), 2);
    emit page->gridRequested(QString::fromStdString(two.path().string()));
    EXPECT_EQ(captions(grid()), QStringList{"c.gif"});
    emit page->gridRequested(QString());
    EXPECT_EQ(grid().Count(), 0);
}

TEST_F(BrowseGrid, ButtonsHandOnTheSelection) {
    testsupport::TempDir dir;
    for (const char* name : {"a.png", "b.png", "c.png"}) writePicture(dir.file(name), 4, 4);
    emit page->gridRequested(QString::fromStdString(dir.path().string()));
    QSignalSpy open(page.get(), &TBrowsePage::openPhotoRequested);
    QSignalSpy batch(page.get(), &TBrowsePage::addToBatchRequested);
    page->OpenPhoto->click();
    page->AddBatch->click();
    EXPECT_EQ(open.count(), 0);  // nothing selected: nothing happens
    EXPECT_EQ(batch.count(), 0);
    grid().SelectOnly(2);
    grid().ToggleSelected(0);
    page->OpenPhoto->click();
    page->AddBatch->click();
    ASSERT_EQ(open.count(), 1);
    EXPECT_EQ(open[0][0].toInt(), 0);
    ASSERT_EQ(batch.count(), 1);
    EXPECT_EQ(batch[0][0].value<std::vector<int>>(), (std::vector<int>{2, 0}));
    emit grid().itemDoubleClicked(0);
    EXPECT_EQ(open.count(), 2);
}

// The thumbnail grid: loading in the background and at once, dropping late
// answers after a refill or removal, unreadable files, selection with the
// mouse and the arrow keys, columns, styles and the before-draw hook.
#include <gtest/gtest.h>

#include <QApplication>
#include <QPainter>
#include <QSemaphore>
#include <QSignalSpy>
#include <QTest>
#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "imaging/ImageIO.h"
#include "platform/MultiImageView.h"
#include "platform/ThumbnailLoader.h"
#include "support/TestSupport.h"

using tessaron::LoadThumbnail;
using tessaron::TMultiImageView;
using tessaron::TThumbnailRequest;
using tessaron::TThumbnailResult;

namespace {

// Writes a picture of one colour; the writer is chosen by the extension.
QString writePicture(const std::string& path, int width, int height, QColor colour)
{
    TImageBuffer buffer(width, height, px24RGB);
    buffer.Fill(RGBToColor(uint8_t(colour.red()), uint8_t(colour.green()), uint8_t(colour.blue())));
    TImageIO io(&buffer);
    EXPECT_TRUE(io.SaveToFile(path)) << path;
    return QString::fromStdString(path);
}

bool near(QColor a, QColor b)
{
    return std::abs(a.red() - b.red()) < 12 && std::abs(a.green() - b.green()) < 12 && std::abs(a.blue() - b.blue()) < 12;
}

// A grid whose viewport is exactly its size, shown on the offscreen screen.
std::unique_ptr<TMultiImageView> makeView(QSize size = {440, 1200})
{
    auto view = std::make_unique<TMultiImageView>();
    view->setFrameShape(QFrame::NoFrame);
    view->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    view->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    view->resize(size);
    view->show();
    return view;
}

// Paints the grid (which asks for the thumbnails of the painted cells).
QImage paint(TMultiImageView& view)
{
    return view.grab().toImage();
}

// Lets every loader job finish and hands their answers to the grid.
void deliverLoads(TMultiImageView& view)
{
    view.Loader().WaitForDone();
    QCoreApplication::sendPostedEvents();
}

// Holds decoder jobs until opened; every job passes once it is open.
struct Gate {
    QSemaphore semaphore{0};
    QSemaphore entered{0};
    TThumbnailResult pass(const TThumbnailRequest& request)
    {
        entered.release();
        semaphore.acquire();
        semaphore.release();
        return LoadThumbnail(request);
    }
    void open() { semaphore.release(); }
};

}  // namespace

// ---- the decoder on its own ------------------------------------------------

TEST(ThumbnailLoad, ReadsFormatsScaledToTheBoxWithTheStoredSize) {
    testsupport::TempDir dir;
    struct Case {
        const char* name;
        int width, height;
        QSize thumb;
        QSize decoded;
    };
    const Case cases[] = {
        {"wide.bmp", 300, 200, {102, 68}, {300, 200}},
        {"small.png", 50, 40, {50, 40}, {50, 40}},  // never enlarged
        {"tall.png", 90, 300, {30, 100}, {90, 300}},
        // A JPEG is reduced by the reader to 1/4, the largest reduction that
        // still covers the box, and reports the size stored in the file.
        {"photo.jpg", 800, 600, {102, 76}, {200, 150}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const QString path = writePicture(dir.file(c.name), c.width, c.height, QColor(200, 30, 30));
        const TThumbnailResult r = LoadThumbnail({path, QSize(102, 100), 7, 9, 3});
        ASSERT_TRUE(r.ok);
        EXPECT_EQ(r.fullSize, QSize(c.width, c.height));
        EXPECT_EQ(r.thumbnail.size(), c.thumb);
        EXPECT_EQ(r.decodedSize, c.decoded);
        EXPECT_TRUE(near(r.thumbnail.pixelColor(r.thumbnail.width() / 2, r.thumbnail.height() / 2), QColor(200, 30, 30)));
        EXPECT_EQ(r.request.generation, 7u);
        EXPECT_EQ(r.request.entryId, 9u);
    }
}

TEST(ThumbnailLoad, SeeThroughPartsOfAPictureStaySeeThrough) {
    testsupport::TempDir dir;
    TImageBuffer buffer(40, 20, px24RGB);
    buffer.Fill(RGBToColor(0, 0, 255));
    for (int y = 0; y < 20; ++y)
        for (int x = 0; x < 40; ++x)
            buffer.SetAlpha(x, y, x < 20 ? 0 : 255);
    TImageIO io(&buffer);
    ASSERT_TRUE(io.SaveToFile(dir.file("half.png")));
    const TThumbnailResult r = LoadThumbnail({QString::fromStdString(dir.file("half.png")), QSize(75, 75), 1, 1, 0});
    ASSERT_TRUE(r.ok);
    ASSERT_TRUE(r.thumbnail.hasAlphaChannel());
    EXPECT_EQ(qAlpha(r.thumbnail.pixel(5, 10)), 0);
    EXPECT_EQ(r.thumbnail.pixel(30, 10), qRgba(0, 0, 255, 255));

    // An opaque picture keeps three bytes a pixel.
    const QString opaque = writePicture(dir.file("opaque.png"), 40, 20, Qt::blue);
    EXPECT_FALSE(LoadThumbnail({opaque, QSize(75, 75), 1, 1, 0}).thumbnail.hasAlphaChannel());
}

TEST(ThumbnailLoad, UnreadableAndMissingFilesFailWithoutThrowing) {
    testsupport::TempDir dir;
    {
        std::FILE* f = std::fopen(dir.file("text.jpg").c_str(), "wb");
        ASSERT_NE(f, nullptr);
        std::fputs("not a picture at all", f);
        std::fclose(f);
    }
    for (const std::string name : {"text.jpg", "missing.png", "unknown.xyz"}) {
        SCOPED_TRACE(name);
        const TThumbnailResult r = LoadThumbnail({QString::fromStdString(dir.file(name)), QSize(75, 75), 1, 1, 0});
        EXPECT_FALSE(r.ok);
        EXPECT_TRUE(r.thumbnail.isNull());
    }
}

// ---- loading through the grid -----------------------------------------------

TEST(MultiImageView, PaintedCellsLoadInTheBackgroundAndTheCurrentOneAtOnce) {
    testsupport::TempDir dir;
    auto view = makeView();
    const QString red = writePicture(dir.file("red.bmp"), 300, 200, Qt::red);
    const QString blue = writePicture(dir.file("blue.jpg"), 640, 480, Qt::blue);
    view->AddEntry(red, "red.bmp");
    view->AddEntry(blue, "blue.jpg");
    view->SelectOnly(1);
    QSignalSpy loaded(view.get(), &TMultiImageView::thumbnailLoaded);

    paint(*view);
    // The current entry was read during the paint; the other answer waits
    // for the event loop.
    EXPECT_TRUE(view->HasThumbnail(1));
    EXPECT_EQ(view->FullSize(1), QSize(640, 480));
    EXPECT_FALSE(view->HasThumbnail(0));

    deliverLoads(*view);
    ASSERT_TRUE(view->HasThumbnail(0));
    EXPECT_EQ(view->FullSize(0), QSize(300, 200));
    EXPECT_EQ(view->Thumbnail(0).size(), QSize(102, 68));
    EXPECT_TRUE(near(view->Thumbnail(0).pixelColor(10, 10), Qt::red));
    EXPECT_TRUE(near(view->Thumbnail(1).pixelColor(10, 10), Qt::blue));
    EXPECT_EQ(loaded.count(), 2);
    EXPECT_EQ(view->Caption(1), "blue.jpg");
    EXPECT_EQ(view->Path(0), red);
}

TEST(MultiImageView, OnlyThePaintedCellsAreRead) {
    testsupport::TempDir dir;
    auto view = makeView(QSize(440, 300));  // four columns, three rows in sight
    std::atomic<int> reads{0};
    view->Loader().SetDecoder([&reads](const TThumbnailRequest& r) {
        ++reads;
        return LoadThumbnail(r);
    });
    const QString file = writePicture(dir.file("p.bmp"), 64, 48, Qt::red);
    for (int i = 0; i < 100; ++i)
        view->AddEntry(file, QString::number(i));
    EXPECT_EQ(reads.load(), 0);  // filling reads nothing
    paint(*view);
    deliverLoads(*view);
    auto loadedCount = [&view] {
        int n = 0;
        for (int i = 0; i < view->Count(); ++i)
            n += view->HasThumbnail(i) ? 1 : 0;
        return n;
    };
    EXPECT_EQ(loadedCount(), 12);
    EXPECT_EQ(reads.load(), 12);
    EXPECT_TRUE(view->HasThumbnail(11));
    EXPECT_FALSE(view->HasThumbnail(12));

    // Selecting the last entry scrolls to it; it is read during the paint.
    view->SelectOnly(99);
    paint(*view);
    EXPECT_TRUE(view->HasThumbnail(99));
    deliverLoads(*view);
    EXPECT_TRUE(view->HasThumbnail(96));
    EXPECT_FALSE(view->HasThumbnail(50));
    EXPECT_LT(loadedCount(), 30);
}

TEST(MultiImageView, StaleAnswersAfterARefillNeverLandOnTheNewEntries) {
    testsupport::TempDir dir;
    auto view = makeView();
    Gate gate;
    view->Loader().SetDecoder([&gate](const TThumbnailRequest& r) { return gate.pass(r); });
    std::vector<QString> reds, blues;
    for (int i = 0; i < 12; ++i) {
        reds.push_back(writePicture(dir.file("red" + std::to_string(i) + ".bmp"), 120, 90, Qt::red));
        blues.push_back(writePicture(dir.file("blue" + std::to_string(i) + ".png"), 60, 50, Qt::blue));
    }
    for (const QString& p : reds)
        view->AddEntry(p, "red");
    paint(*view);
    gate.entered.acquire();  // the old fill's jobs are under way

    view->Clear();
    for (const QString& p : blues)
        view->AddEntry(p, "blue");
    paint(*view);
    QSignalSpy loaded(view.get(), &TMultiImageView::thumbnailLoaded);
    gate.open();
    deliverLoads(*view);

    ASSERT_EQ(view->Count(), 12);
    EXPECT_EQ(loaded.count(), 12);
    for (int i = 0; i < view->Count(); ++i) {
        SCOPED_TRACE(i);
        ASSERT_TRUE(view->HasThumbnail(i));
        EXPECT_EQ(view->Path(i), blues[size_t(i)]);
        EXPECT_EQ(view->FullSize(i), QSize(60, 50));
        EXPECT_TRUE(near(view->Thumbnail(i).pixelColor(5, 5), Qt::blue));
    }
}

TEST(MultiImageView, RemovingEntriesWhileLoadersRunKeepsAnswersWithTheirEntries) {
    testsupport::TempDir dir;
    auto view = makeView();
    Gate gate;
    view->Loader().SetDecoder([&gate](const TThumbnailRequest& r) { return gate.pass(r); });
    const QString wide = writePicture(dir.file("wide.bmp"), 120, 90, Qt::red);
    const QString tall = writePicture(dir.file("tall.png"), 90, 120, Qt::green);
    for (int i = 0; i < 40; ++i)
        view->AddEntry(i % 2 ? tall : wide, QString::number(i));
    paint(*view);
    view->SelectOnly(38);
    // Every second entry goes while its answer is on the way; the selection follows.
    for (int i = 38; i >= 0; i -= 2)
        view->RemoveEntry(i);
    gate.open();
    deliverLoads(*view);

    ASSERT_EQ(view->Count(), 20);
    EXPECT_EQ(view->SelectedIndex(), -1);
    int loaded = 0;
    for (int i = 0; i < view->Count(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(view->Path(i), tall);
        EXPECT_EQ(view->Caption(i), QString::number(2 * i + 1));
        if (view->HasThumbnail(i)) {
            ++loaded;
            EXPECT_EQ(view->FullSize(i), QSize(90, 120));
        }
    }
    EXPECT_GT(loaded, 0);

    // A grid that goes away with jobs still running waits for them and
    // drops their answers.
    paint(*view);
    view.reset();
    QCoreApplication::sendPostedEvents();

    // The real decoder, with removals, clears and refills between deliveries
    // while jobs run: every thumbnail that lands matches its own file.
    auto busy = makeView();
    for (int round = 0; round < 7; ++round) {
        for (int i = 0; i < 30; ++i)
            busy->AddEntry(i % 2 ? tall : wide, QString::number(i));
        paint(*busy);
        for (int i = busy->Count() - 1; i >= 0; i -= 3) {
            busy->RemoveEntry(i);
            QCoreApplication::sendPostedEvents();
        }
        paint(*busy);
        if (round % 2)
            busy->Clear();
    }
    deliverLoads(*busy);
    ASSERT_GT(busy->Count(), 0);
    for (int i = 0; i < busy->Count(); ++i) {
        SCOPED_TRACE(i);
        ASSERT_TRUE(busy->HasThumbnail(i));
        EXPECT_EQ(busy->FullSize(i), busy->Path(i) == tall ? QSize(90, 120) : QSize(120, 90));
        EXPECT_EQ(busy->Caption(i).toInt() % 2 == 1, busy->Path(i) == tall);
    }
}

TEST(MultiImageView, UnreadablePicturesAreRemovedOrMarkedWhenPainted) {
    testsupport::TempDir dir;
    const QString good = writePicture(dir.file("good.png"), 40, 30, Qt::green);
    const QString bad = QString::fromStdString(dir.file("bad.jpg"));
    {
        std::FILE* f = std::fopen(bad.toStdString().c_str(), "wb");
        ASSERT_NE(f, nullptr);
        std::fputs("garbage", f);
        std::fclose(f);
    }
    const QString missing = QString::fromStdString(dir.file("missing.bmp"));
    for (bool removeCorrupted : {true, false}) {
        SCOPED_TRACE(removeCorrupted);
        auto view = makeView();
        view->SetRemoveCorrupted(removeCorrupted);
        view->AddEntry(bad, "bad.jpg");
        view->AddEntry(missing, "missing.bmp");
        view->AddEntry(good, "good.png");
        view->SelectOnly(2);
        QSignalSpy removed(view.get(), &TMultiImageView::entryRemoved);
        paint(*view);
        deliverLoads(*view);
        if (removeCorrupted) {
            ASSERT_EQ(view->Count(), 1);
            EXPECT_EQ(view->Path(0), good);
            EXPECT_EQ(view->SelectedIndex(), 0);
            EXPECT_EQ(view->SelectedIndices(), std::vector<int>{0});
            EXPECT_EQ(removed.count(), 2);
        } else {
            ASSERT_EQ(view->Count(), 3);
            EXPECT_FALSE(view->HasThumbnail(0));
            EXPECT_FALSE(view->HasThumbnail(1));
            EXPECT_TRUE(view->HasThumbnail(2));
            EXPECT_EQ(removed.count(), 0);
        }
    }
}

TEST(MultiImageView, ThumbnailsFromMemoryAreCellSizedAndSurviveACellSizeChange) {
    testsupport::TempDir dir;
    auto view = makeView();
    view->SetCellSize(QSize(135, 135));
    const QString file = writePicture(dir.file("f.bmp"), 300, 300, Qt::red);
    view->AddEntry(file, "f.bmp");
    QImage made(400, 300, QImage::Format_RGB32);
    made.fill(Qt::blue);
    EXPECT_EQ(view->InsertEntry(0, QString(), "made"), 0);
    view->SetThumbnail(0, made);
    EXPECT_EQ(view->Thumbnail(0).size(), QSize(135, 101));
    EXPECT_EQ(view->FullSize(0), QSize(400, 300));
    paint(*view);
    deliverLoads(*view);
    ASSERT_TRUE(view->HasThumbnail(1));
    EXPECT_EQ(view->Thumbnail(1).size(), QSize(135, 135));

    // The file is read again at the new size; the made picture stays.
    view->SetCellSize(QSize(75, 75));
    EXPECT_FALSE(view->HasThumbnail(1));
    EXPECT_TRUE(view->HasThumbnail(0));
    paint(*view);
    deliverLoads(*view);
    ASSERT_TRUE(view->HasThumbnail(1));
    EXPECT_EQ(view->Thumbnail(1).size(), QSize(75, 75));
}

// ---- selection ---------------------------------------------------------------

struct Click {
    int index;
    Qt::KeyboardModifiers modifiers = Qt::NoModifier;
};

TEST(MultiImageView, MouseSelectionKeepsTheSelectionOrder) {
    struct Case {
        const char* name;
        bool multiSelect;
        std::vector<Click> clicks;
        std::vector<int> selected;
        int current;
    };
    const Case cases[] = {
        {"plain clicks select one", true, {{2}, {4}}, {4}, 4},
        {"ctrl adds in click order", true, {{1}, {5, Qt::ControlModifier}, {3, Qt::ControlModifier}}, {1, 5, 3}, 3},
        {"ctrl on a selected one drops it", true,
         {{1}, {5, Qt::ControlModifier}, {3, Qt::ControlModifier}, {5, Qt::ControlModifier}}, {1, 3}, 3},
        {"shift selects from the anchor on", true, {{2}, {5, Qt::ShiftModifier}}, {2, 3, 4, 5}, 5},
        {"shift backwards", true, {{5}, {2, Qt::ShiftModifier}}, {5, 4, 3, 2}, 2},
        {"shift again keeps the anchor", true, {{3}, {6, Qt::ShiftModifier}, {1, Qt::ShiftModifier}}, {3, 2, 1}, 1},
        {"shift after ctrl anchors at the ctrl click", true,
         {{0}, {6, Qt::ControlModifier}, {4, Qt::ShiftModifier}}, {6, 5, 4}, 4},
        {"without multi-select ctrl and shift select one", false,
         {{1}, {5, Qt::ControlModifier}, {3, Qt::ShiftModifier}}, {3}, 3},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        auto view = makeView();
        view->SetEnableMultiSelect(c.multiSelect);
        for (int i = 0; i < 8; ++i)
            view->AddEntry(QString(), QString::number(i));
        QSignalSpy changed(view.get(), &TMultiImageView::selectionChanged);
        for (const Click& click : c.clicks)
            QTest::mouseClick(view->viewport(), Qt::LeftButton, click.modifiers, view->CellRect(click.index).center());
        EXPECT_EQ(view->SelectedIndices(), c.selected);
        EXPECT_EQ(view->SelectedIndex(), c.current);
        ASSERT_FALSE(changed.isEmpty());
        EXPECT_EQ(changed.last().at(0).toInt(), c.current);
        for (int i = 0; i < 8; ++i)
            EXPECT_EQ(view->IsSelected(i), std::find(c.selected.begin(), c.selected.end(), i) != c.selected.end());
    }
}

TEST(MultiImageView, ClicksBetweenCellsChangeNothingAndDoubleClickNamesTheEntry) {
    auto view = makeView();
    for (int i = 0; i < 8; ++i)
        view->AddEntry(QString(), QString::number(i));
    view->SelectOnly(1);
    QSignalSpy changed(view.get(), &TMultiImageView::selectionChanged);
    const QRect first = view->CellRect(0);
    QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, QPoint(first.right() + 2, first.center().y()));
    QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, QPoint(400, 1100));
    EXPECT_EQ(changed.count(), 0);
    EXPECT_EQ(view->SelectedIndex(), 1);

    QSignalSpy doubled(view.get(), &TMultiImageView::itemDoubleClicked);
    QTest::mouseDClick(view->viewport(), Qt::LeftButton, {}, view->CellRect(6).center());
    ASSERT_EQ(doubled.count(), 1);
    EXPECT_EQ(doubled.first().at(0).toInt(), 6);
    EXPECT_EQ(view->SelectedIndex(), 6);
}

TEST(MultiImageView, InsertionsAndRemovalsKeepTheSelectionOnItsEntries) {
    auto view = makeView();
    for (int i = 0; i < 6; ++i)
        view->AddEntry(QString(), QString::number(i));
    auto selectedCaptions = [&view] {
        QStringList captions;
        for (int i : view->SelectedIndices())
            captions << view->Caption(i);
        return captions.join(' ');
    };
    view->SelectOnly(1);
    view->ToggleSelected(4);
    view->ToggleSelected(3);
    ASSERT_EQ(selectedCaptions(), "1 4 3");

    view->InsertEntry(2, QString(), "new");
    EXPECT_EQ(selectedCaptions(), "1 4 3");
    EXPECT_EQ(view->Caption(view->SelectedIndex()), "3");
    view->RemoveEntry(0);
    EXPECT_EQ(selectedCaptions(), "1 4 3");
    EXPECT_EQ(view->SelectedIndex(), 3);

    // Removing the current entry makes the one selected before it current.
    QSignalSpy changed(view.get(), &TMultiImageView::selectionChanged);
    view->RemoveEntry(3);
    EXPECT_EQ(selectedCaptions(), "1 4");
    EXPECT_EQ(view->Caption(view->SelectedIndex()), "4");
    ASSERT_EQ(changed.count(), 1);
    EXPECT_EQ(changed.first().at(0).toInt(), view->SelectedIndex());

    view->Clear();
    EXPECT_EQ(view->Count(), 0);
    EXPECT_EQ(view->SelectedIndex(), -1);
    EXPECT_TRUE(view->SelectedIndices().empty());
    EXPECT_EQ(changed.count(), 2);
}

TEST(MultiImageView, ArrowKeysMoveTheSelectionInTheGrid) {
    struct Case {
        const char* name;
        int start;  // -1: nothing selected
        Qt::Key key;
        Qt::KeyboardModifiers modifiers;
        std::vector<int> selected;
    };
    // Ten entries in rows of four: 0 1 2 3 / 4 5 6 7 / 8 9
    const Case cases[] = {
        {"right", 0, Qt::Key_Right, {}, {1}},
        {"right on the row end goes on", 3, Qt::Key_Right, {}, {4}},
        {"left at the start stays", 0, Qt::Key_Left, {}, {0}},
        {"right at the end stays", 9, Qt::Key_Right, {}, {9}},
        {"down", 1, Qt::Key_Down, {}, {5}},
        {"down with no cell below stays", 7, Qt::Key_Down, {}, {7}},
        {"up", 9, Qt::Key_Up, {}, {5}},
        {"up in the first row stays", 2, Qt::Key_Up, {}, {2}},
        {"home", 6, Qt::Key_Home, {}, {0}},
        {"end", 2, Qt::Key_End, {}, {9}},
        {"shift extends in order", 2, Qt::Key_Down, Qt::ShiftModifier, {2, 3, 4, 5, 6}},
        {"nothing selected starts at the first", -1, Qt::Key_Down, {}, {0}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        auto view = makeView(QSize(430, 600));
        for (int i = 0; i < 10; ++i)
            view->AddEntry(QString(), QString::number(i));
        ASSERT_EQ(view->ColumnCount(), 4);
        view->SelectOnly(c.start);
        QTest::keyClick(view.get(), c.key, c.modifiers);
        EXPECT_EQ(view->SelectedIndices(), c.selected);
        EXPECT_EQ(view->SelectedIndex(), c.selected.back());
    }
}

// ---- geometry and looks ---------------------------------------------------------

TEST(MultiImageView, ColumnsFitTheWidthUnlessFixed) {
    struct Case {
        int width;
        QSize cell;
        int gridWidth;
        int columns;
    };
    // A column takes the cell width plus 4 of spacing; one more 4 at the left.
    const Case cases[] = {
        {428, {102, 100}, -1, 4}, {427, {102, 100}, -1, 3}, {110, {102, 100}, -1, 1},
        {50, {102, 100}, -1, 1},  {428, {75, 75}, -1, 5},   {428, {170, 160}, -1, 2},
        {428, {102, 100}, 2, 2},  {100, {102, 100}, 6, 6},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.width << " " << c.cell.width() << " " << c.gridWidth);
        auto view = makeView(QSize(c.width, 800));
        view->SetCellSize(c.cell);
        view->SetGridWidth(c.gridWidth);
        for (int i = 0; i < 13; ++i)
            view->AddEntry(QString(), QString());
        EXPECT_EQ(view->ColumnCount(), c.columns);
        const int pitch = c.cell.width() + 4;
        const QRect cell = view->CellRect(c.columns);  // first of the second row
        EXPECT_EQ(cell.topLeft(), QPoint(4, 4 + c.cell.height() + view->fontMetrics().height() + 4 + 4));
        EXPECT_EQ(view->CellRect(c.columns - 1).left(), 4 + (c.columns - 1) * pitch);
        EXPECT_EQ(view->IndexAt(cell.center()), c.columns);
    }
}

TEST(MultiImageView, HookMovesTheThumbnailAndSelectionIsFramedOnTop) {
    auto view = makeView(QSize(300, 300));
    view->SetShowCaptions(false);
    view->AddEntry(QString(), "made");
    QImage made(200, 200, QImage::Format_RGB32);
    made.fill(Qt::red);
    view->SetThumbnail(0, made);
    std::vector<int> hooked;
    view->SetBeforeImageDraw([&hooked](int index, QPainter& p, const QRect& cell, QRect& thumbRect) {
        hooked.push_back(index);
        p.fillRect(cell, Qt::green);
        thumbRect = QRect(40, 30, 20, 20);
    });
    QImage shot = paint(*view);
    const QPoint corner = view->CellRect(0).topLeft();
    ASSERT_FALSE(hooked.empty());
    EXPECT_EQ(hooked.front(), 0);
    EXPECT_EQ(shot.pixelColor(corner + QPoint(50, 40)), QColor(Qt::red));
    EXPECT_EQ(shot.pixelColor(corner + QPoint(39, 40)), QColor(Qt::green));
    EXPECT_EQ(shot.pixelColor(corner + QPoint(60, 40)), QColor(Qt::green));
    EXPECT_EQ(shot.pixelColor(corner + QPoint(1, 1)), QColor(Qt::green));

    view->SelectOnly(0);
    shot = paint(*view);
    EXPECT_EQ(shot.pixelColor(corner + QPoint(2, 50)), QColor(Qt::red));
    EXPECT_EQ(shot.pixelColor(corner + QPoint(3, 50)), QColor(Qt::green));
    EXPECT_EQ(shot.pixelColor(corner + QPoint(101, 99)), QColor(Qt::red));
}

TEST(MultiImageView, TheThreeDStyleFramesCellsInWhiteAndGrey) {
    auto view = makeView(QSize(300, 300));
    QPalette palette = view->viewport()->palette();
    palette.setColor(QPalette::Base, QColor(10, 20, 30));
    view->viewport()->setPalette(palette);
    view->AddEntry(QString(), "a");
    const QRect cell = view->CellRect(0);
    EXPECT_EQ(paint(*view).pixelColor(cell.topLeft()), QColor(10, 20, 30));  // flat: no edge
    view->SetStyle(tessaron::msACD);
    const QImage shot = paint(*view);
    EXPECT_EQ(shot.pixelColor(cell.topLeft()), QColor(Qt::white));
    EXPECT_EQ(shot.pixelColor(cell.left(), cell.center().y()), QColor(Qt::white));
    EXPECT_EQ(shot.pixelColor(cell.bottomRight()), QColor(128, 128, 128));
    EXPECT_EQ(shot.pixelColor(cell.right(), cell.center().y()), QColor(128, 128, 128));
}

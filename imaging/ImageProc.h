#pragma once
// TImageProc: the processing object of a view. Every operation changes the
// host's current picture in place and runs inside one frame:
//
//   BeginOperation  undo snapshot -> pixel format -> working copy of the selection
//   (the operation's own work on TOperation::Work)
//   EndOperation    write back through the selection mask -> image-change
//                   -> progress 100 -> finish-work
//
// The undo store holds one undo and one redo snapshot. Undo keeps its
// snapshot after restoring it, so undo and redo toggle between the state
// before and after the last operation; see RestoreUndoSnapshot.
//
// The operations themselves live under imaging/ops/, one file per family:
// ColorOps.cpp (point colour operations), Geometry.cpp (turns, mirrors,
// crop), FreeRotate.cpp. Resampling, the local filters and sharpening add
// their own files there and their declarations in the marked sections below.
#include "imaging/ImageBuffer.h"
#include "imaging/ProcHost.h"
#include "imaging/ops/Parallel.h"

#include <cstdint>
#include <initializer_list>
#include <memory>
#include <string>

class TImageProc {
public:
    // The host is borrowed and must outlive the processing object.
    // `owned` = the object belongs to its host (a view): automatic undo
    // snapshots start on.
    explicit TImageProc(TProcHost& host, bool owned = true);
    ~TImageProc();
    TImageProc(const TImageProc&) = delete;
    TImageProc& operator=(const TImageProc&) = delete;

    TProcHost& Host() { return host_; }

    // ---- Undo store -------------------------------------------------------

    bool AutoUndo = false;
    static constexpr int SnapshotLimit = 1;

    // Copies the current picture (pixels, format, alpha) as the undo entry,
    // replacing the one held. Pictures under 2 x 2 are not stored.
    void SaveUndoSnapshot(const std::string& caption);
    // Current picture -> redo entry, then the picture becomes a copy of the
    // undo entry, which stays in the store. Nothing without an undo entry.
    void RestoreUndoSnapshot();
    // The picture becomes a copy of the redo entry, which stays; the undo
    // entry is not touched. Nothing without a redo entry.
    void RestoreRedoSnapshot();
    int UndoSnapshotCount() const { return undo_ ? 1 : 0; }
    int RedoSnapshotCount() const { return redo_ ? 1 : 0; }
    // Caption of entry `index` (0 = newest); empty when there is none.
    std::string UndoCaption(int index = 0) const;
    std::string RedoCaption(int index = 0) const;
    // Empties both lists (a new photo was opened).
    void ClearSnapshots();

    // ---- Operation frame --------------------------------------------------

    struct TOperation {
        // False: there is nothing to work on; the operation returns at once.
        bool Run = false;
        // The host's picture (after the format conversion).
        TImageBuffer* Image = nullptr;
        // What the operation changes: the picture itself, or a copy of the
        // selection's bounding rectangle (clipped to the picture) placed at
        // (OriginX, OriginY) of the picture.
        TImageBuffer* Work = nullptr;
        int OriginX = 0;
        int OriginY = 0;
        // The selection the copy belongs to (empty when Work is the picture).
        TSelection Selection;
        std::unique_ptr<TImageBuffer> SelectionCopy;
    };

    // Snapshot under `caption` (when AutoUndo is on), conversion to the
    // first of `accepted` when the picture is in none of them (empty list =
    // any format), working copy of a non-empty selection.
    TOperation BeginOperation(const std::string& caption, std::initializer_list<TPixelFormat> accepted);
    // Writes the working copy back where the selection mask covers it
    // (alpha likewise), then FinishOperation.
    void EndOperation(TOperation& op);
    // Image-change, progress 100, finish-work: the end of every operation,
    // also of those that bypass the frame (turns, mirrors, crop).
    void FinishOperation();

    // Progress in whole percent, passed on only when it changes. A new
    // operation starts afresh; FinishOperation always sends 100.
    void Progress(int percent);
    // Progress after row `row` of `rows`: trunc(row / rows * 100).
    void RowProgress(int row, int rows);
    // A row report for the band loops of ops/Parallel.h over `rows` rows.
    ops::TRowReport RowReporter(int rows);

    // ---- Colour and enhancement (ops/ColorOps.cpp) -------------------------

    // Percentages, 0 = unchanged. Saturation first, then brightness, then
    // contrast around level 170.
    void AdjustBrightnessContrastSaturation(int brightness, int contrast, int saturation);
    // Histogram equalisation of HSV saturation and value with each bin
    // weighted by its count raised to the exponent.
    void AdjustLumSatHistogram(double saturationExponent, double luminanceExponent);
    void HistAutoEqualize();
    void WhiteBalance_AutoWhite();
    // Adds an offset to each channel, held to 0..255.
    void IntensityRGBall(int red, int green, int blue);

    // ---- Geometry (ops/Geometry.cpp, ops/FreeRotate.cpp) -------------------

    // Degrees, positive = counter-clockwise. Multiples of 90 are exact pixel
    // permutations in every pixel format; other angles rotate the 24-bit
    // picture bilinearly (nearest pixel without smoothing) onto `background`
    // (-1 = the host's background colour). Whole picture, never the selection.
    void Rotate(double angle, bool smooth = true, int smoothMode = 0, int64_t background = -1);
    // 0 = mirror left to right, 1 = upside down. Whole picture.
    void Flip(int direction);
    // The picture becomes the selection's bounding rectangle; pixels outside
    // the mask get the background colour. Without a selection only the
    // snapshot is stored.
    void CropSel();

    // ---- Resampling -------------------------------------------------------

    // The whole picture (never the selection, never converted first) scaled
    // to the size the request works out to (-1 keeps the aspect ratio, 0 the
    // side; see ops/Resample.h). Undo caption "Resample W,H" with the
    // arguments as given. (-1, -1) stores the snapshot and changes nothing.
    void Resample(int newWidth, int newHeight, TResampleFilter filter);

    // ---- Local enhancement filters ----------------------------------------
    // (ops/LocalFilters.cpp)

    // Local-statistics filter on the HSL lightness over a box window of
    // max(21, percent of (shorter side + 29)) pixels: the deviation from the
    // local mean is amplified and the mean drawn towards `mean` / 100.
    // `threshold` turns the result into black and white.
    void WallisFilter(int windowWidth, int windowHeight, int mean, int deviation, int gain, int brightness,
                      int limit, bool threshold);
    // The window side WallisFilter uses for `percent` on a width x height picture.
    static int WallisWindow(int percent, int width, int height);
    // Luminance adaptation with Gaussian blurs of sigma 3 and 1.5, a tone
    // curve with exponent 1 / `exponentBase`, then saturation at `saturation` %.
    void AutoImageEnhance3(int saturation, double exponentBase);

    // ---- Sharpening -------------------------------------------------------
    // (ops/Sharpen.cpp)

    // Edge magnitude of the current layer (any format) as gray, border 0.
    void Sobel();
    // Gaussian blur with integer weights, edge values repeated; sigma <= 0
    // leaves the pixels alone. px8g and px24RGB.
    void Blur(double sigma);
    // Contrast around the picture's mean colour.
    void Contrast(int amount);
    // Unsharp step against the local mean of a window x window box.
    void Sharpen(int strength, int window);

    struct TSharpenStrength {
        int Sigma = 0;     // blur of the edge mask
        int Strength = 0;  // sharpen strength (factor / 10)
    };
    static TSharpenStrength SharpenAfterResizeStrength(int width, int height);
    // Sharpens layer 0 along its edges through two transient layers; the
    // last undo snapshot is that of the sharpen step (the unsharpened picture).
    void SharpenAfterResize();

private:
    // A copy of `image`; nullptr when memory is short.
    static std::unique_ptr<TImageBuffer> copyOf(const TImageBuffer& image);
    void writeBack(TOperation& op);
    // Shared start of the whole-picture operations: snapshot, then the picture
    // (nullptr when there is none).
    TImageBuffer* beginWholeImage(const std::string& caption);
    // The same for operations that build their result as a new picture and
    // hand it to replaceImage: the snapshot is not copied; the picture that
    // replaceImage takes out becomes the undo entry as it is. Until then the
    // picture must not change in place (settleSnapshot first), and an
    // operation that ends without replacing gets its copy in FinishOperation.
    TImageBuffer* beginReplacingImage(const std::string& caption);
    void replaceImage(std::unique_ptr<TImageBuffer> result);
    // Takes a deferred snapshot now, as a copy of the unchanged picture.
    void settleSnapshot();
    // `quarters` counter-clockwise quarter turns, then a free turn by
    // `degrees`, in one pass into a new picture (ops/FreeRotate.cpp).
    void rotateFree(TImageBuffer& image, int quarters, double degrees, bool smooth, TColor background);

    struct TSnapshot {
        std::string Caption;
        std::unique_ptr<TImageBuffer> Image;
    };

    TProcHost& host_;
    std::unique_ptr<TSnapshot> undo_;
    std::unique_ptr<TSnapshot> redo_;
    // Caption of the snapshot deferred by beginReplacingImage.
    std::unique_ptr<std::string> pendingUndo_;
    int lastProgress_ = -1;
};

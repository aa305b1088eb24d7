#include "imaging/ImageProc.h"

#include "imaging/ops/RowCopy.h"

#include <algorithm>
#include <cstring>

TImageProc::TImageProc(TProcHost& host, bool owned) : AutoUndo(owned), host_(host) {}

TImageProc::~TImageProc() = default;

std::unique_ptr<TImageBuffer> TImageProc::copyOf(const TImageBuffer& image)
{
    auto copy = std::make_unique<TImageBuffer>();
    if (!copy->Assign(image) || copy->IsEmpty())
        return nullptr;
    return copy;
}

// ---- Undo store -------------------------------------------------------------

void TImageProc::SaveUndoSnapshot(const std::string& caption)
{
    TImageBuffer* image = host_.CurrentImage();
    if (!image || image->Width() < 2 || image->Height() < 2)
        return;
    // The old entry goes first so that the picture is never held three times.
    undo_.reset();
    if (std::unique_ptr<TImageBuffer> copy = copyOf(*image))
        undo_ = std::make_unique<TSnapshot>(TSnapshot{caption, std::move(copy)});
}

void TImageProc::RestoreUndoSnapshot()
{
    if (!undo_)
        return;
    redo_.reset();
    std::unique_ptr<TImageBuffer> copy = copyOf(*undo_->Image);
    if (!copy)
        return;
    std::unique_ptr<TImageBuffer> current = host_.ReplaceCurrentImage(std::move(copy));
    if (current && !current->IsEmpty())
        redo_ = std::make_unique<TSnapshot>(TSnapshot{undo_->Caption, std::move(current)});
    host_.ImageChanged();
}

void TImageProc::RestoreRedoSnapshot()
{
    if (!redo_)
        return;
    std::unique_ptr<TImageBuffer> copy = copyOf(*redo_->Image);
    if (!copy)
        return;
    host_.ReplaceCurrentImage(std::move(copy));
    host_.ImageChanged();
}

std::string TImageProc::UndoCaption(int index) const
{
    return index == 0 && undo_ ? undo_->Caption : std::string();
}

std::string TImageProc::RedoCaption(int index) const
{
    return index == 0 && redo_ ? redo_->Caption : std::string();
}

void TImageProc::ClearSnapshots()
{
    undo_.reset();
    redo_.reset();
}

// ---- Progress ---------------------------------------------------------------

void TImageProc::Progress(int percent)
{
    if (percent == lastProgress_)
        return;
    lastProgress_ = percent;
    host_.Progress(percent);
}

void TImageProc::RowProgress(int row, int rows)
{
    if (rows > 0)
        Progress(int(int64_t(row) * 100 / rows));
}

ops::TRowReport TImageProc::RowReporter(int rows)
{
    return [this, rows](int row) { RowProgress(row, rows); };
}

void TImageProc::FinishOperation()
{
    settleSnapshot();
    host_.ImageChanged();
    lastProgress_ = -1;
    Progress(100);
    host_.FinishWork();
    lastProgress_ = -1;
}

// ---- Operation frame --------------------------------------------------------

TImageProc::TOperation TImageProc::BeginOperation(const std::string& caption,
                                                  std::initializer_list<TPixelFormat> accepted)
{
    TOperation op;
    TImageBuffer* image = beginWholeImage(caption);
    if (!image)
        return op;

    if (accepted.size() != 0 && std::find(accepted.begin(), accepted.end(), image->PixelFormat()) == accepted.end()) {
        if (!image->ConvertTo(*accepted.begin())) {
            FinishOperation();  // the snapshot is stored: let the view update its buttons
            return op;
        }
    }

    op.Image = image;
    op.Work = image;
    TSelection selection = host_.Selection();
    if (selection.IsEmpty()) {
        op.Run = true;
        return op;
    }

    // Work on the part of the selection that lies on the picture.
    const int x0 = std::max(selection.Left, 0);
    const int y0 = std::max(selection.Top, 0);
    const int x1 = std::min(selection.Right, image->Width() - 1);
    const int y1 = std::min(selection.Bottom, image->Height() - 1);
    if (x0 > x1 || y0 > y1) {
        FinishOperation();  // the selection covers no pixel of the picture
        return op;
    }
    if (x0 == 0 && y0 == 0 && x1 == image->Width() - 1 && y1 == image->Height() - 1 && selection.IsRectangle()) {
        // Every pixel is selected: a working copy would be written back
        // whole, so the operation may as well work on the picture itself.
        op.Run = true;
        return op;
    }
    auto copy = std::make_unique<TImageBuffer>(x1 - x0 + 1, y1 - y0 + 1, image->PixelFormat());
    if (copy->IsEmpty()) {
        FinishOperation();
        return op;
    }
    image->CopyRect(*copy, x0, y0, copy->Width(), copy->Height(), 0, 0);
    if (image->Palette())
        copy->SetPalette(image->Palette(), image->PaletteCount());
    if (const TImageBuffer* alpha = image->ExistingAlpha()) {
        if (TImageBuffer* copyAlpha = copy->Alpha()) {
            alpha->CopyRect(*copyAlpha, x0, y0, copy->Width(), copy->Height(), 0, 0);
            copyAlpha->SetFullyOpaque(alpha->FullyOpaque());
        }
    }
    op.SelectionCopy = std::move(copy);
    op.Work = op.SelectionCopy.get();
    op.OriginX = x0;
    op.OriginY = y0;
    op.Selection = std::move(selection);
    op.Run = true;
    return op;
}


void TImageProc::writeBack(TOperation& op)
{
    TImageBuffer& work = *op.SelectionCopy;
    TImageBuffer& image = *op.Image;
    const TSelection& sel = op.Selection;
    const int width = work.Width();
    const bool rectangle = sel.IsRectangle();
    std::vector<uint8_t> row(size_t(work.RowLen()));

    auto transfer = [&](TImageBuffer& from, TImageBuffer& to) {
        for (int y = 0; y < from.Height(); ++y) {
            const int iy = op.OriginY + y;
            // Only one row of each buffer is held at a time (file-backed storage).
            std::memcpy(row.data(), from.RowPointer(y), row.size());
            uint8_t* dst = to.RowPointer(iy);
            if (rectangle) {
                ops::CopyPixels(row.data(), 0, dst, op.OriginX, width, from.BitCount());
            } else {
                ops::CopyCovered(row.data(), 0, dst, op.OriginX, width, from.BitCount(),
                                 [&](int x) { return sel.Covers(op.OriginX + x, iy); });
            }
        }
    };
    transfer(work, image);

    // Alpha goes back too when it may differ from what the picture has.
    const TImageBuffer* workAlpha = work.ExistingAlpha();
    if (workAlpha && (!workAlpha->FullyOpaque() || image.HasAlpha())) {
        TImageBuffer* imageAlpha = image.Alpha();
        TImageBuffer* copyAlpha = work.Alpha();
        if (imageAlpha && copyAlpha) {
            row.assign(size_t(copyAlpha->RowLen()), 0);
            transfer(*copyAlpha, *imageAlpha);
            imageAlpha->SetFullyOpaque(imageAlpha->FullyOpaque() && copyAlpha->FullyOpaque());
        }
    }
}

void TImageProc::EndOperation(TOperation& op)
{
    if (op.SelectionCopy && op.Image)
        writeBack(op);
    op.SelectionCopy.reset();
    op.Work = op.Image;
    FinishOperation();
}

TImageBuffer* TImageProc::beginWholeImage(const std::string& caption)
{
    TImageBuffer* image = beginReplacingImage(caption);
    settleSnapshot();
    return image;
}

TImageBuffer* TImageProc::beginReplacingImage(const std::string& caption)
{
    lastProgress_ = -1;
    pendingUndo_.reset();
    TImageBuffer* image = host_.CurrentImage();
    if (!image || image->IsEmpty())
        return nullptr;
    if (AutoUndo && image->Width() >= 2 && image->Height() >= 2) {
        // As in SaveUndoSnapshot the old entry goes first; the picture itself
        // will stand in for the copy, so it is held only once.
        undo_.reset();
        pendingUndo_ = std::make_unique<std::string>(caption);
    }
    return image;
}

void TImageProc::replaceImage(std::unique_ptr<TImageBuffer> result)
{
    std::unique_ptr<TImageBuffer> old = host_.ReplaceCurrentImage(std::move(result));
    if (!pendingUndo_)
        return;
    if (old && !old->IsEmpty())
        undo_ = std::make_unique<TSnapshot>(TSnapshot{std::move(*pendingUndo_), std::move(old)});
    pendingUndo_.reset();
}

void TImageProc::settleSnapshot()
{
    if (!pendingUndo_)
        return;
    const std::string caption = std::move(*pendingUndo_);
    pendingUndo_.reset();
    SaveUndoSnapshot(caption);
}

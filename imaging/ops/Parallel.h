#pragma once
// Row loops split into bands across threads.
//
//   rows 0 ..........................................  rows-1
//   [ band 0: calling thread ][ band 1 ][ band 2 ] ...
//
// A band body gets its half-open row range [y0, y1) and a tick to call after
// each finished row. Bands must not depend on each other's output, so a
// result is the same byte for byte whatever the number of bands; the
// one-thread switch exists to check exactly that, and for hosts that want
// no threads at all. Progress is reported from the calling thread only.
//
// Buffers in temporary-file storage keep one mapped row per buffer, so loops
// over them always run in a single band (see RowsShareable).
#include "imaging/ImageBuffer.h"

#include <atomic>
#include <exception>
#include <functional>
#include <system_error>
#include <thread>
#include <vector>

namespace ops {

// Process-wide switch: true forces every loop into one band on the calling thread.
void SetSingleThreaded(bool on);
bool SingleThreaded();

// Whether several threads may hold rows of this buffer (and its alpha
// channel) at the same time.
bool RowsShareable(const TImageBuffer& buffer);

// Number of bands for a loop over `rows` rows of about `bytesPerRow` bytes of
// work each: 1 when single-threaded, not shareable or too small to pay for a thread.
int PlanBands(int rows, int64_t bytesPerRow, bool shareable);

// First row of band `band` of `bands` over `rows` rows.
inline int BandStart(int rows, int bands, int band)
{
    return int(int64_t(rows) * band / bands);
}

// Receives the index (0-based) of the last finished row; called on the
// calling thread only. With several bands it counts rows of all bands.
using TRowReport = std::function<void(int row)>;

class TRowTick {
public:
    TRowTick(std::atomic<int>* done, const TRowReport* report) : done_(done), report_(report) {}
    void operator()() const
    {
        int finished = done_->fetch_add(1, std::memory_order_relaxed) + 1;
        if (report_ && *report_)
            (*report_)(finished - 1);
    }

private:
    std::atomic<int>* done_;
    const TRowReport* report_;
};

// Runs body(y0, y1, band, tick) for `bands` bands covering rows [0, rows).
// Band 0 runs on the calling thread. An exception of any band is rethrown
// after all bands have ended.
template <class Body>
void RunBands(int rows, int bands, const TRowReport& report, Body&& body)
{
    std::atomic<int> done{0};
    if (bands <= 1 || rows <= 1) {
        body(0, rows, 0, TRowTick(&done, &report));
        return;
    }
    std::vector<std::exception_ptr> errors(static_cast<size_t>(bands));
    std::vector<std::thread> threads;
    threads.reserve(size_t(bands));
    auto runBand = [&](int band, const TRowReport* rep) {
        try {
            body(BandStart(rows, bands, band), BandStart(rows, bands, band + 1), band, TRowTick(&done, rep));
        } catch (...) {
            errors[size_t(band)] = std::current_exception();
        }
    };
    for (int band = 1; band < bands; ++band) {
        try {
            threads.emplace_back(runBand, band, nullptr);
        } catch (const std::system_error&) {
            runBand(band, nullptr);  // no thread to be had: do it here
        }
    }
    runBand(0, &report);
    for (std::thread& t : threads)
        t.join();
    for (std::exception_ptr& e : errors)
        if (e)
            std::rethrow_exception(e);
}

// The common case: fn(row, y) for every row of a buffer, in place.
template <class Fn>
void ForEachRow(TImageBuffer& buffer, const TRowReport& report, Fn&& fn)
{
    const int rows = buffer.Height();
    const int bands = PlanBands(rows, buffer.RowLen(), RowsShareable(buffer));
    RunBands(rows, bands, report, [&](int y0, int y1, int, const TRowTick& tick) {
        for (int y = y0; y < y1; ++y) {
            fn(buffer.RowPointer(y), y);
            tick();
        }
    });
}

}  // namespace ops

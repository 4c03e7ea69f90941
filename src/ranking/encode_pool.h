// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once
// Measuring and JPEG encoding of prepared pictures on a pool of worker threads. The frame
// source is read on one thread only (the caller's), which decodes each picture and hands it
// over; the workers convert, measure and encode them, and the results come back in the order
// the pictures were given.
// At most a few pictures per worker are in flight, and fewer workers and pictures when frames
// are large, so the memory taken stays bounded whatever the frame size and the core count.

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <exception>
#include <functional>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

#include "framesource/frame_source.h"
#include "framesource/jpeg_options.h"
#include "imaging/jpeg_image.h"
#include "media/picture_scaler.h"
#include "ranking/measure.h"
#include "ranking/scenes.h"

namespace ranking {

// The workers that "all cores" means: one per core the machine reports.
int AllCores();

// The pixels of one frame of the source's video, at least 1.
int64_t FramePixels(const FrameSource& source);
// The workers asked for (0: all cores), fewer when frames of `framePixels` pixels are so large
// that they would take more than the working memory together; at least 1.
int AffordableWorkers(int threads, int64_t framePixels);

// What measuring a picture makes of it: its value under the measure, its JPEG encoding (or
// only its rows, a batch of BMP files), kept with the picture or not.
struct MeasureKind {
    bool encode = true;  // a JPEG encoding is made: for the files, or as the JPEG measure
    bool keepEncoding = false;
    // A ranking keeps the encoding it measured (the picture's `jpeg`), without rows of its own.
    bool keepMeasured = false;
    Measure measure = JpegLength();
};
// What measuring a picture finds; left as it is when the picture cannot be had.
struct Measures {
    int64_t size = 0;    // its 32-bit pixels, in bytes
    int64_t length = 0;  // its JPEG encoding's byte length, when encoded
    // Under the measure: unreadable when the picture cannot be had; not measured when the
    // measure needs the encoding and none is made.
    Value value;
    scenes::Signature signature{};  // taken by a ranking (encoded, not kept) only
};
// The rows of a packed 24-bit DIB of `size` bytes, top row first; none for another kind, or a
// DIB shorter than its rows.
std::optional<Rows> RowsOfDib(const uint8_t* dib, size_t size, int32_t paletteBytes);
// The rows of the source's output image, as its last PrepareFrame left it.
std::optional<Rows> OutputRows(const FrameSource& source);

// Completes (when rows are wanted), measures and encodes a prepared picture with this thread's
// encoder and scaler.
void MeasurePicture(FrameSource::PreparedImage& image, const MeasureKind& kind, imaging::JpegImage& jpeg,
                    media::PictureScaler& scaler, Measures& measures);

class EncodePool {
public:
    struct Result {
        FrameSource::PreparedImage image;  // its jpeg is kept only when the pool keeps encodings
        Measures measures;                 // a size of 0 when not prepared
    };

    // `threads` workers encode pictures of `framePixels` pixels (fewer workers for large
    // ones) with `options`' writing options (0: all cores); with 1 every
    // picture is encoded on the caller's thread as it is given. `keepEncodings` keeps each
    // JPEG with its result; `encode` false hands pictures back unencoded (a batch of BMP
    // files). `onResult` is told, on a worker's thread, when a result is ready after
    // `armWake()` asked for it.
    EncodePool(int threads, int64_t framePixels, const jpeg_options::JpegOptions& options, bool keepEncodings,
               bool encode = true, std::function<void()> onResult = {}, bool keepMeasured = false,
               const Measure& measure = JpegLength());
    // Pictures not yet started are dropped; those being encoded are waited for.
    ~EncodePool();
    EncodePool(const EncodePool&) = delete;
    EncodePool& operator=(const EncodePool&) = delete;

    int Workers() const { return int(threads_.size()); }
    // No picture can be given before a result is taken.
    bool Full() const;
    // Pictures given and not yet taken back.
    bool Pending() const;
    // The oldest picture's result is ready.
    bool Ready() const;

    void Submit(FrameSource::PreparedImage image);
    // Asks for one call of `onResult` at the next result; false when the oldest result is
    // ready already, so that there is nothing to wait for.
    bool ArmWake();
    // The oldest picture's result, waited for; an encoding error is raised here.
    Result Take();

    // Memory for the next picture, so that each frame does not map and fault in a new picture
    // of several megabytes: one given back with recycle(), else a new one. Caller's thread only.
    FrameSource::PreparedImage Blank();
    void Recycle(FrameSource::PreparedImage image);

private:
    struct Slot {
        Result result;
        bool done = false;
        std::exception_ptr error;
    };

    void Work();
    void StopWorkers();
    // Completes, measures and encodes the slot's picture with this thread's scaler.
    void Encode(Slot& slot, imaging::JpegImage& jpeg, media::PictureScaler& scaler) const;

    jpeg_options::JpegOptions options_;
    const bool keepEncodings_;
    const bool encode_;
    const bool keepMeasured_;
    const Measure measure_;
    const std::function<void()> onResult_;
    size_t capacity_ = 1;

    mutable std::mutex mutex_;
    std::condition_variable workAvailable_;
    std::condition_variable resultReady_;
    std::deque<Slot> slots_;  // oldest first; references stay valid while workers use them
    size_t unstarted_ = 0;    // the first slot no worker has taken, counted from the front
    bool stopping_ = false;
    bool wakeArmed_ = false;
    std::vector<std::thread> threads_;
    std::vector<FrameSource::PreparedImage> recycled_;
    media::PictureScaler callerScaler_;  // without workers, the caller's thread converts
};

}  // namespace ranking

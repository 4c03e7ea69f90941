// SPDX-License-Identifier: GPL-2.0-or-later
#include "ranking/encode_pool.h"

#include <QThread>
#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <utility>

#include <sys/resource.h>
#include <unistd.h>

#include "framesource/image_writers.h"
#include "media/dib.h"

namespace ranking {
namespace {

// The workers yield to the thread that decodes and to the window's events: a decode that
// waits for the processor holds every worker up, and the window must answer while they run.
constexpr int kWorkerNice = 5;

// Pictures in flight per worker: one being encoded and one waiting, so that no worker idles
// while the next picture is prepared.
constexpr size_t kInFlightPerWorker = 2;

// The memory that the workers and their pictures in flight may take together, whatever the
// number of cores: large frames get fewer workers and fewer pictures in flight (at least one).
constexpr int64_t kWorkingBytes = int64_t(1) << 30;
// Per pixel of the open video's frame: a picture in flight holds the decoded frame and its
// 24-bit rows; a worker also holds its scaler's rows and its JPEG encoder's buffers.
constexpr int64_t kBytesPerPixelInFlight = 5;
constexpr int64_t kBytesPerPixelPerWorker = 4 + 2 * kBytesPerPixelInFlight;

}  // namespace

int AllCores() { return std::max(1, QThread::idealThreadCount()); }

int64_t FramePixels(const FrameSource& source) {
    return std::max<int64_t>(int64_t(source.FrameWidth()) * std::abs(source.FrameHeight()), 1);
}

EncodePool::EncodePool(int threads, int64_t framePixels, const jpeg_options::JpegOptions& options, bool keepEncodings,
                       bool encode, std::function<void()> onResult, bool keepMeasured, const Measure& measure)
    : options_(options),
      keepEncodings_(keepEncodings),
      encode_(encode),
      keepMeasured_(keepMeasured),
      measure_(measure),
      onResult_(std::move(onResult)) {
    const int64_t pixels = std::max<int64_t>(framePixels, 1);
    const int workers = AffordableWorkers(threads, pixels);
    if (workers <= 1) return;  // encoded on the caller's thread
    const int64_t pictures = std::max<int64_t>(kWorkingBytes / (pixels * kBytesPerPixelInFlight), 1);
    capacity_ = size_t(std::min<int64_t>(int64_t(workers) * kInFlightPerWorker, pictures));
    threads_.reserve(size_t(workers));
    try {
        for (int i = 0; i < workers; ++i) threads_.emplace_back([this] { Work(); });
    } catch (...) {
        // No destructor runs for a pool that failed to start: the workers started end here.
        StopWorkers();
        throw;
    }
}

EncodePool::~EncodePool() { StopWorkers(); }

void EncodePool::StopWorkers() {
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    workAvailable_.notify_all();
    for (std::thread& thread : threads_) thread.join();
    threads_.clear();
}

bool EncodePool::Full() const {
    std::lock_guard lock(mutex_);
    return slots_.size() >= capacity_;
}

bool EncodePool::Pending() const {
    std::lock_guard lock(mutex_);
    return !slots_.empty();
}

bool EncodePool::Ready() const {
    std::lock_guard lock(mutex_);
    return !slots_.empty() && slots_.front().done;
}

std::optional<Rows> RowsOfDib(const uint8_t* packed, size_t size, int32_t paletteBytes) {
    dib::BitmapInfoHeader header;
    if (!packed || size < sizeof header || paletteBytes < 0) return std::nullopt;
    std::memcpy(&header, packed, sizeof header);
    const int64_t height = header.biHeight < 0 ? -int64_t(header.biHeight) : header.biHeight;
    const int64_t stride = dib::RowStride(header.biWidth, 24);
    if (header.biBitCount != 24 || header.biWidth <= 0 ||
        size < sizeof header + size_t(paletteBytes) + size_t(stride * height))
        return std::nullopt;
    const uint8_t* rows = packed + sizeof header + paletteBytes;
    const bool bottomUp = header.biHeight > 0;  // as a DIB with a positive height stores them
    return Rows{header.biWidth, int(height), bottomUp ? rows + (height - 1) * stride : rows,
                ptrdiff_t(bottomUp ? -stride : stride)};
}

std::optional<Rows> OutputRows(const FrameSource& source) {
    const int64_t size = int64_t(sizeof(dib::BitmapInfoHeader)) + source.PaletteBytes() + source.OutputImageSize();
    return RowsOfDib(source.OutputImage(), size_t(std::max<int64_t>(size, 0)), source.PaletteBytes());
}

void MeasurePicture(FrameSource::PreparedImage& image, const MeasureKind& kind, imaging::JpegImage& jpeg,
                    media::PictureScaler& scaler, Measures& measures) {
    const Measure& measure = kind.measure;
    // A ranking only measures: its frames are measured from the conversion as it stands,
    // without rows of their own. Files are written from the rows.
    const bool measureOnly = !kind.keepEncoding && (kind.encode || !measure.encodes);
    // A frame that cannot be had is unreadable under a measure that was to be taken.
    if (kind.encode || !measure.encodes) measures.value = Value::Unreadable();
    if (image.decoded && !measureOnly) FrameSource::CompleteImage(image, scaler);
    if (image.dib.size() < sizeof(dib::BitmapInfoHeader)) return;
    dib::BitmapInfoHeader header;
    std::memcpy(&header, image.dib.data(), sizeof header);
    const int64_t height = header.biHeight < 0 ? -int64_t(header.biHeight) : header.biHeight;
    if (image.decoded && measureOnly) {
        // Only the value is wanted: an encoding goes through a buffer and is not kept.
        const media::DecodedPicture& picture = *image.decoded;
        int64_t stride = 0;
        // The rows may be the decoded frame's own: it is released only once they are used.
        if (const uint8_t* rows = picture.TopDownBits(scaler, stride)) {
            measures.size = int64_t(header.biWidth) * height * 4;
            measures.signature = scenes::SignatureOfBgr(picture.width(), picture.height(), rows, ptrdiff_t(stride));
            if (kind.keepMeasured) {
                // The same encoder's call, its bytes kept: the length is theirs.
                jpeg.encodeBgr(picture.width(), -picture.height(), rows, ptrdiff_t(stride));
                image.jpeg = jpeg.data();
                measures.length = int64_t(image.jpeg.size());
            } else if (measure.encodes) {
                measures.length =
                    int64_t(jpeg.encodedLengthBgr(picture.width(), -picture.height(), rows, ptrdiff_t(stride)));
            }
            measures.value = Value::Of(
                measure.encodes ? measures.length
                                : measure.ofRows({picture.width(), picture.height(), rows, ptrdiff_t(stride)}));
        } else {
            image.dib.clear();  // as a frame that could not be prepared
        }
        image.decoded.reset();
        return;
    }
    // The rows are the image's own from here on.
    measures.size = int64_t(header.biWidth) * height * 4;
    if (measureOnly || !measure.encodes) {
        if (const std::optional<Rows> rows = RowsOfDib(image.dib.data(), image.dib.size(), image.paletteBytes)) {
            // Only a ranking finds scenes: pictures written to files need no signature.
            if (measureOnly)
                measures.signature = scenes::SignatureOfBgr(rows->width, rows->height, rows->data, rows->stride);
            if (!measure.encodes) measures.value = Value::Of(measure.ofRows(*rows));
        }
    }
    if (!kind.encode || !image_writers::EncodePrepared(image, jpeg)) return;
    measures.length = int64_t(jpeg.data().size());
    if (measure.encodes) measures.value = Value::Of(measures.length);
    if (kind.keepEncoding || kind.keepMeasured) image.jpeg = jpeg.data();
}

int AffordableWorkers(int threads, int64_t framePixels) {
    const int64_t pixels = std::max<int64_t>(framePixels, 1);
    const int64_t affordable = std::max<int64_t>(kWorkingBytes / (pixels * kBytesPerPixelPerWorker), 1);
    return int(std::min<int64_t>(threads <= 0 ? AllCores() : threads, affordable));
}

void EncodePool::Encode(Slot& slot, imaging::JpegImage& jpeg, media::PictureScaler& scaler) const {
    Result& result = slot.result;
    try {
        MeasurePicture(result.image, {encode_, keepEncodings_, keepMeasured_, measure_}, jpeg, scaler, result.measures);
    } catch (...) {
        slot.error = std::current_exception();
    }
}

void EncodePool::Submit(FrameSource::PreparedImage image) {
    if (threads_.empty()) {
        Slot slot;
        slot.result.image = std::move(image);
        slot.done = true;
        imaging::JpegImage jpeg;
        options_.ApplyTo(&jpeg);
        Encode(slot, jpeg, callerScaler_);
        slots_.push_back(std::move(slot));
        return;
    }
    {
        std::lock_guard lock(mutex_);
        Slot& slot = slots_.emplace_back();
        slot.result.image = std::move(image);
    }
    workAvailable_.notify_one();
}

bool EncodePool::ArmWake() {
    std::lock_guard lock(mutex_);
    if (slots_.empty() || slots_.front().done) return false;
    wakeArmed_ = true;
    return true;
}

EncodePool::Result EncodePool::Take() {
    std::unique_lock lock(mutex_);
    resultReady_.wait(lock, [this] { return !slots_.empty() && slots_.front().done; });
    Slot slot = std::move(slots_.front());
    slots_.pop_front();
    if (unstarted_ > 0) --unstarted_;
    lock.unlock();
    if (slot.error) std::rethrow_exception(slot.error);
    return std::move(slot.result);
}

FrameSource::PreparedImage EncodePool::Blank() {
    if (recycled_.empty()) return {};
    FrameSource::PreparedImage image = std::move(recycled_.back());
    recycled_.pop_back();
    return image;
}

void EncodePool::Recycle(FrameSource::PreparedImage image) {
    if (recycled_.size() <= capacity_) recycled_.push_back(std::move(image));
}

void EncodePool::Work() {
    // On Linux the nice value of a thread is its own.
    setpriority(PRIO_PROCESS, id_t(gettid()), kWorkerNice);
    imaging::JpegImage jpeg;
    options_.ApplyTo(&jpeg);
    media::PictureScaler scaler;
    while (true) {
        Slot* slot = nullptr;
        {
            std::unique_lock lock(mutex_);
            workAvailable_.wait(lock, [this] { return stopping_ || unstarted_ < slots_.size(); });
            if (stopping_) return;
            slot = &slots_[unstarted_++];
        }
        Encode(*slot, jpeg, scaler);
        bool wake = false;
        {
            std::lock_guard lock(mutex_);
            slot->done = true;
            wake = std::exchange(wakeArmed_, false);
        }
        resultReady_.notify_all();
        if (wake && onResult_) onResult_();
    }
}

}  // namespace ranking

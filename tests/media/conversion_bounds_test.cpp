// SPDX-License-Identifier: GPL-2.0-or-later
// Decoded pictures are converted into buffers sized exactly for the program's layouts; the
// vectorised converters must never write past a row's pixels or past the last row.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "media/avifile.h"
#include "media/picture_scaler.h"
#include "support/fixture_video.h"

extern "C" {
#include <libavutil/log.h>
#include <libavutil/pixdesc.h>
}

namespace {

constexpr uint8_t kGuard = 0xA5;
constexpr size_t kGuardBytes = 64;

std::vector<int> Widths() {
    std::vector<int> widths;
    for (int w = 1; w <= 64; ++w) widths.push_back(w);
    for (int w : {321, 360, 1920}) widths.push_back(w);
    return widths;
}

// A destination of `rows` x `stride` bytes with guard bytes after it and in every row's padding.
struct GuardedRows {
    GuardedRows(int rows, int64_t stride, int64_t used)
        : rows(rows), stride(stride), used(used), bytes(size_t(rows * stride) + kGuardBytes, kGuard) {}

    // The first guard byte that changed, as "row r byte b" or "after the last row"; empty if none.
    std::string Damage() const {
        for (int r = 0; r < rows; ++r) {
            for (int64_t b = used; b < stride; ++b) {
                if (bytes[size_t(r * stride + b)] != kGuard)
                    return "row " + std::to_string(r) + " byte " + std::to_string(b);
            }
        }
        for (size_t i = size_t(rows * stride); i < bytes.size(); ++i) {
            if (bytes[i] != kGuard) return "byte " + std::to_string(i - size_t(rows * stride)) + " after the last row";
        }
        return {};
    }

    int rows;
    int64_t stride;
    int64_t used;
    std::vector<uint8_t> bytes;
};

// A picture in `format` filled with noise, as a decoder would hand it over.
struct NoisePicture {
    NoisePicture(AVPixelFormat format, int width, int height) : frame(av_frame_alloc()) {
        frame->format = format;
        frame->width = width;
        frame->height = height;
        if (av_frame_get_buffer(frame, 0) < 0) return;
        std::mt19937 random(uint32_t(width * 31 + format));
        for (int plane = 0; plane < 4 && frame->buf[plane]; ++plane) {
            for (size_t i = 0; i < frame->buf[plane]->size; ++i) frame->buf[plane]->data[i] = uint8_t(random());
        }
    }
    ~NoisePicture() { av_frame_free(&frame); }
    AVFrame* frame;
};

struct Layout {
    AVPixelFormat format;
    int pixelBytes;
    int64_t (*stride)(int width);
    bool bottomUp;
};

const Layout kLayouts[] = {
    {AV_PIX_FMT_BGR24, 3, [](int w) { return dib::RowStride(w, 24); }, true},  // the 24-bit DIB
    {AV_PIX_FMT_BGRA, 4, [](int w) { return int64_t(w) * 4; }, false},         // the screen's pixels
};

// The decoders' outputs of the codecs the program meets, and the deeper pictures of newer ones.
const AVPixelFormat kSources[] = {AV_PIX_FMT_BGR24,   AV_PIX_FMT_PAL8,    AV_PIX_FMT_YUVJ420P,    AV_PIX_FMT_YUV420P,
                                  AV_PIX_FMT_YUV422P, AV_PIX_FMT_YUV444P, AV_PIX_FMT_YUV420P10LE, AV_PIX_FMT_BGR0};

TEST(PictureScaler, WritesExactlyTheRowsPixelsAtEveryWidth) {
    av_log_set_level(AV_LOG_QUIET);  // the deprecated full-range formats are tried on purpose
    media::PictureScaler scaler;
    for (AVPixelFormat source : kSources) {
        for (int width : Widths()) {
            const int height = width > 64 ? 3 : 5;
            NoisePicture picture(source, width, height);
            ASSERT_NE(picture.frame->data[0], nullptr);
            for (const Layout& layout : kLayouts) {
                const std::string name = std::string(av_get_pix_fmt_name(source)) + " to " +
                                         av_get_pix_fmt_name(layout.format) + " width " + std::to_string(width);
                GuardedRows out(height, layout.stride(width), int64_t(width) * layout.pixelBytes);
                ASSERT_TRUE(scaler.Convert(*picture.frame, layout.format, width, height, out.bytes.data(), out.stride,
                                           layout.bottomUp))
                    << name;
                EXPECT_EQ(out.Damage(), "") << name;

                // The same pixels as a conversion into a roomy buffer.
                const int roomyStride = width * 4 + 256;
                std::vector<uint8_t> roomy(size_t(roomyStride) * height + 4096);
                SwsContext* sws = sws_getContext(width, height, source, width, height, layout.format, SWS_BICUBIC,
                                                 nullptr, nullptr, nullptr);
                ASSERT_NE(sws, nullptr);
                uint8_t* dst[4] = {roomy.data(), nullptr, nullptr, nullptr};
                int dstStride[4] = {roomyStride, 0, 0, 0};
                sws_scale(sws, picture.frame->data, picture.frame->linesize, 0, height, dst, dstStride);
                sws_freeContext(sws);
                for (int y = 0; y < height; ++y) {
                    const uint8_t* got = out.bytes.data() + (layout.bottomUp ? height - 1 - y : y) * out.stride;
                    ASSERT_EQ(std::memcmp(got, roomy.data() + y * roomyStride, size_t(out.used)), 0)
                        << name << " row " << y;
                }
            }
        }
    }
}

// Through the AVI layer: the screen's pixels go straight into the caller's rows, which have no
// room to spare; they agree with the 24-bit frame.
TEST(AviConversion, ScreenPixelsStayInsideTheCallersRowsAtEveryWidth) {
    avifile::AVIFileInit();
    fixture::TempDir dir;
    ASSERT_TRUE(dir.IsValid());
    for (fixture::Codec codec : {fixture::Codec::Rgb24, fixture::Codec::Pal8, fixture::Codec::Mjpeg,
                                 fixture::Codec::Mpeg4BFrames, fixture::Codec::Ffv1}) {
        for (int width : Widths()) {
            fixture::VideoOptions options;
            options.codec = codec;
            options.width = width;
            options.height = width > 64 ? 8 : 6;
            options.frames = 2;
            const std::string name = std::string(fixture::CodecName(codec)) + " width " + std::to_string(width);
            const std::string path = dir.File("clip.avi");
            ASSERT_TRUE(fixture::WriteVideo(path, options)) << name;

            avifile::FileHandle file;
            avifile::StreamHandle stream;
            ASSERT_EQ(avifile::AVIFileOpen(file, path), avifile::kOk) << name;
            ASSERT_EQ(avifile::AVIFileGetStream(*file, stream, avifile::kStreamTypeVideo, 0), avifile::kOk) << name;
            dib::BitmapInfoHeader wanted{};
            wanted.biSize = sizeof wanted;
            wanted.biWidth = width;
            wanted.biHeight = options.height;
            wanted.biPlanes = 1;
            wanted.biBitCount = 24;
            avifile::GetFrameHandle decoder = avifile::AVIStreamGetFrameOpen(*stream, wanted);
            ASSERT_NE(decoder, nullptr) << name;

            GuardedRows screen(options.height, int64_t(width) * 4, int64_t(width) * 4);
            ASSERT_TRUE(avifile::AVIStreamGetFrameDisplay(*decoder, 1, screen.bytes.data(), screen.stride)) << name;
            EXPECT_EQ(screen.Damage(), "") << name;

            const uint8_t* packed = avifile::AVIStreamGetFrame(*decoder, 1);
            ASSERT_NE(packed, nullptr) << name;
            const uint8_t* bits = packed + sizeof(dib::BitmapInfoHeader);
            const int64_t stride = dib::RowStride(width, 24);
            for (int y = 0; y < options.height; ++y) {
                const uint8_t* bgr = bits + (options.height - 1 - y) * stride;
                const uint8_t* bgra = screen.bytes.data() + y * screen.stride;
                for (int x = 0; x < width; ++x) {
                    ASSERT_EQ(std::memcmp(bgr + 3 * x, bgra + 4 * x, 3), 0) << name << " pixel " << x << "," << y;
                }
                for (int64_t b = int64_t(width) * 3; b < stride; ++b) ASSERT_EQ(bgr[b], 0) << name << " row padding";
            }
            avifile::AVIStreamGetFrameClose(decoder);
            avifile::AVIStreamRelease(stream);
            avifile::AVIFileRelease(file);
        }
    }
}

}  // namespace

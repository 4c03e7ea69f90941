// SPDX-License-Identifier: GPL-2.0-or-later
#include "imaging/jpeg_image.h"

#include <QFile>
#include <QSaveFile>
#include <csetjmp>
#include <cstdio>
#include <cstdlib>

// jpeglib.h needs size_t and FILE declared first.
#include <jerror.h>
#include <jpeglib.h>

#include "base/errors.h"
#include "imaging/bitmap.h"

namespace imaging {
namespace {

constexpr int kQuantizedColours = 236;

// Pictures are decoded up to 64 megapixels at full size (8192 x 8192): the output picture then
// takes at most 192 MB, and the coefficients that a progressive file keeps for the whole
// picture at most 384 MB (2 bytes a coefficient, three full-resolution components). libjpeg
// itself is held to that memory too.
constexpr int64_t kMaxPixels = int64_t(1) << 26;
constexpr long kMaxLibraryMemory = 448L << 20;
// Every scan is a pass over the whole picture. Encoders write about ten; hundreds only come
// from files made to keep a decoder busy.
constexpr int kMaxScans = 100;
// Progressive display shows a picture once per scan while the passes stay under this many
// pixels in all; the scans after that go in unseen, before the final pass.
constexpr int64_t kMaxDisplayedPixels = int64_t(1) << 27;

// libjpeg reports a fatal error by calling error_exit, which must not return. It jumps back to
// the function that called into libjpeg; that function then throws once libjpeg's C frames are
// gone, because unwinding through them is not something the C library was built for.
struct ErrorManager {
    jpeg_error_mgr pub;
    jmp_buf jump;
};

[[noreturn]] void ErrorExit(j_common_ptr cinfo) { longjmp(reinterpret_cast<ErrorManager*>(cinfo->err)->jump, 1); }

// Warnings (damaged data that libjpeg can work around) are counted, never fatal nor printed.
void EmitMessage(j_common_ptr cinfo, int level) {
    if (level < 0) ++cinfo->err->num_warnings;
}

void OutputMessage(j_common_ptr) {}

jpeg_error_mgr* InitErrors(ErrorManager& manager) {
    jpeg_std_error(&manager.pub);
    manager.pub.error_exit = ErrorExit;
    manager.pub.emit_message = EmitMessage;
    manager.pub.output_message = OutputMessage;
    return &manager.pub;
}

errors::Error JpegError(int code) { return errors::Error(QString::asprintf("Erreur JPEG #%d", code)); }

// Called by libjpeg as the decode goes on, at least once a scan.
void LimitScans(j_common_ptr cinfo) {
    if (cinfo->is_decompressor && reinterpret_cast<j_decompress_ptr>(cinfo)->input_scan_number > kMaxScans) {
        ERREXIT4(cinfo, JERR_BAD_PROGRESSION, 0, 0, 0, 0);
    }
}

// Reads the header, refusing pictures over the pixel limit, and sets the decode's limits.
void StartLimitedDecode(jpeg_decompress_struct& cinfo, jpeg_progress_mgr& progress) {
    cinfo.mem->max_memory_to_use = kMaxLibraryMemory;
    progress.progress_monitor = LimitScans;
    cinfo.progress = &progress;
    jpeg_read_header(&cinfo, TRUE);
    if (int64_t(cinfo.image_width) * cinfo.image_height > kMaxPixels) {
        ERREXIT1(&cinfo, JERR_IMAGE_TOO_BIG, unsigned(kMaxPixels));
    }
}

// Destroys a libjpeg object however the function that made it is left.
struct Destroyer {
    j_common_ptr object;
    ~Destroyer() { jpeg_destroy(object); }
};

// In-memory destination growing a vector; or, counting only, a buffer used over again while
// the bytes are counted.
struct VectorDestination {
    jpeg_destination_mgr pub;
    std::vector<uint8_t>* out;
    bool countOnly = false;
    size_t counted = 0;
};

void InitDestination(j_compress_ptr cinfo) {
    auto* dest = reinterpret_cast<VectorDestination*>(cinfo->dest);
    bool ok = true;
    try {
        dest->out->resize(64 * 1024);
    } catch (const std::bad_alloc&) {
        ok = false;
    }
    if (!ok) ERREXIT(cinfo, JERR_OUT_OF_MEMORY);
    dest->pub.next_output_byte = dest->out->data();
    dest->pub.free_in_buffer = dest->out->size();
}

boolean EmptyOutputBuffer(j_compress_ptr cinfo) {
    auto* dest = reinterpret_cast<VectorDestination*>(cinfo->dest);
    const size_t used = dest->out->size();
    if (dest->countOnly) {
        dest->counted += used;
        dest->pub.next_output_byte = dest->out->data();
        dest->pub.free_in_buffer = used;
        return TRUE;
    }
    bool ok = true;
    try {
        dest->out->resize(used * 2);
    } catch (const std::bad_alloc&) {
        ok = false;
    }
    if (!ok) ERREXIT(cinfo, JERR_OUT_OF_MEMORY);
    dest->pub.next_output_byte = dest->out->data() + used;
    dest->pub.free_in_buffer = dest->out->size() - used;
    return TRUE;
}

void TermDestination(j_compress_ptr cinfo) {
    auto* dest = reinterpret_cast<VectorDestination*>(cinfo->dest);
    if (dest->countOnly) {
        dest->counted += dest->out->size() - dest->pub.free_in_buffer;
        return;
    }
    dest->out->resize(dest->out->size() - dest->pub.free_in_buffer);
}

struct EncodeSettings {
    int quality;
    bool grayscale;
    bool progressive;
};

// Compresses rows given top row first: row y starts at first + y * step. Returns the encoding's
// length; with `countOnly`, `out` is only a buffer and holds no encoding.
size_t Compress(std::vector<uint8_t>& out, int width, int height, J_COLOR_SPACE space, const uint8_t* first,
                ptrdiff_t step, EncodeSettings settings, bool countOnly = false) {
    jpeg_compress_struct cinfo{};
    ErrorManager errors;
    VectorDestination dest{};
    cinfo.err = InitErrors(errors);
    Destroyer destroyer{reinterpret_cast<j_common_ptr>(&cinfo)};
    if (setjmp(errors.jump)) throw JpegError(errors.pub.msg_code);

    jpeg_create_compress(&cinfo);
    dest.pub.init_destination = InitDestination;
    dest.pub.empty_output_buffer = EmptyOutputBuffer;
    dest.pub.term_destination = TermDestination;
    dest.out = &out;
    dest.countOnly = countOnly;
    cinfo.dest = &dest.pub;

    cinfo.image_width = JDIMENSION(width);
    cinfo.image_height = JDIMENSION(height);
    cinfo.input_components = 3;
    cinfo.in_color_space = space;
    jpeg_set_defaults(&cinfo);
    jpeg_set_quality(&cinfo, settings.quality, TRUE);
    if (settings.grayscale) jpeg_set_colorspace(&cinfo, JCS_GRAYSCALE);
    if (settings.progressive) jpeg_simple_progression(&cinfo);

    jpeg_start_compress(&cinfo, TRUE);
    while (cinfo.next_scanline < cinfo.image_height) {
        JSAMPROW row = const_cast<JSAMPROW>(first + ptrdiff_t(cinfo.next_scanline) * step);
        jpeg_write_scanlines(&cinfo, &row, 1);
    }
    jpeg_finish_compress(&cinfo);
    return countOnly ? dest.counted : out.size();
}

struct DecodeSettings {
    uint8_t scale;
    bool grayscale;
    bool eightBits;
    bool speed;
    bool progressiveDisplay;
};

unsigned ScaleDenominator(uint8_t scale) { return scale <= 3 ? 1u << scale : 1u; }

void SetColourTable(QImage& image, const jpeg_decompress_struct& cinfo) {
    QList<QRgb> table(cinfo.actual_number_of_colors);
    for (int i = 0; i < cinfo.actual_number_of_colors; ++i) {
        if (cinfo.out_color_components == 1) {
            const int grey = cinfo.colormap[0][i];
            table[i] = qRgb(grey, grey, grey);
        } else {
            table[i] = qRgb(cinfo.colormap[0][i], cinfo.colormap[1][i], cinfo.colormap[2][i]);
        }
    }
    image.setColorTable(table);
}

// Adobe writes CMYK inverted, which is how libjpeg hands it back.
void CmykRowToRgb(const uint8_t* cmyk, uint8_t* rgb, int width, bool inverted) {
    for (int x = 0; x < width; ++x, cmyk += 4, rgb += 3) {
        int c = cmyk[0], m = cmyk[1], y = cmyk[2], k = cmyk[3];
        if (!inverted) c = 255 - c, m = 255 - m, y = 255 - y, k = 255 - k;
        rgb[0] = uint8_t(c * k / 255);
        rgb[1] = uint8_t(m * k / 255);
        rgb[2] = uint8_t(y * k / 255);
    }
}

struct DecodeOutcome {
    QImage image;
    int passes = 0;
    int warnings = 0;
};

void Decompress(const std::vector<uint8_t>& data, DecodeSettings settings, const JpegImage::DisplayCallback& onDisplay,
                DecodeOutcome& outcome) {
    jpeg_decompress_struct cinfo{};
    ErrorManager errors;
    std::vector<uint8_t> cmykRow;
    cinfo.err = InitErrors(errors);
    Destroyer destroyer{reinterpret_cast<j_common_ptr>(&cinfo)};
    if (setjmp(errors.jump)) throw JpegError(errors.pub.msg_code);

    jpeg_progress_mgr progress{};
    jpeg_create_decompress(&cinfo);
    jpeg_mem_src(&cinfo, data.data(), static_cast<unsigned long>(data.size()));
    StartLimitedDecode(cinfo, progress);

    cinfo.scale_num = 1;
    cinfo.scale_denom = ScaleDenominator(settings.scale);
    const bool cmyk = cinfo.jpeg_color_space == JCS_CMYK || cinfo.jpeg_color_space == JCS_YCCK;
    if (settings.grayscale) {
        cinfo.out_color_space = JCS_GRAYSCALE;
    } else if (cmyk) {
        cinfo.out_color_space = JCS_CMYK;  // libjpeg cannot turn CMYK into RGB itself
    } else {
        cinfo.out_color_space = JCS_RGB;
    }
    const bool quantize = (settings.eightBits || settings.grayscale) && !(cmyk && !settings.grayscale);
    if (quantize) {
        cinfo.quantize_colors = TRUE;
        cinfo.desired_number_of_colors = kQuantizedColours;
    }
    if (settings.speed) {
        cinfo.dct_method = JDCT_IFAST;
        cinfo.two_pass_quantize = FALSE;
        cinfo.dither_mode = JDITHER_ORDERED;
    }
    const J_DCT_METHOD finalDct = cinfo.dct_method;
    const boolean finalTwoPass = cinfo.two_pass_quantize;
    const J_DITHER_MODE finalDither = cinfo.dither_mode;
    const bool buffered = settings.progressiveDisplay && jpeg_has_multiple_scans(&cinfo);
    if (buffered) {
        cinfo.buffered_image = TRUE;
        // The early passes quantize in one pass; the final one may switch to two.
        if (quantize) {
            cinfo.enable_1pass_quant = TRUE;
            cinfo.enable_2pass_quant = finalTwoPass;
            cinfo.two_pass_quantize = FALSE;
            cinfo.dither_mode = JDITHER_ORDERED;
        }
        cinfo.dct_method = JDCT_IFAST;
    }
    jpeg_start_decompress(&cinfo);

    const int width = int(cinfo.output_width), height = int(cinfo.output_height);
    outcome.image = QImage(width, height, quantize ? QImage::Format_Indexed8 : QImage::Format_RGB888);
    if (outcome.image.isNull()) ERREXIT(&cinfo, JERR_OUT_OF_MEMORY);
    if (cmyk && !quantize) cmykRow.resize(size_t(width) * 4);

    const auto readPass = [&] {
        while (cinfo.output_scanline < cinfo.output_height) {
            uint8_t* line = outcome.image.scanLine(int(cinfo.output_scanline));
            JSAMPROW row = cmykRow.empty() ? line : cmykRow.data();
            jpeg_read_scanlines(&cinfo, &row, 1);
            if (!cmykRow.empty()) CmykRowToRgb(cmykRow.data(), line, width, cinfo.saw_Adobe_marker);
        }
        if (quantize) SetColourTable(outcome.image, cinfo);
        ++outcome.passes;
    };

    if (!buffered) {
        readPass();
        jpeg_finish_decompress(&cinfo);
        outcome.warnings = int(errors.pub.num_warnings);
        if (onDisplay) onDisplay(outcome.image, outcome.passes, true);
        return;
    }

    // One pass per scan as it arrives, then a last pass over the complete data with the
    // quality settings.
    bool finalPass = false;
    int64_t displayed = 0;
    while (!finalPass) {
        displayed += int64_t(width) * height;
        if (displayed > kMaxDisplayedPixels) {
            while (!jpeg_input_complete(&cinfo) && jpeg_consume_input(&cinfo) != JPEG_SUSPENDED) {
            }
        }
        if (jpeg_input_complete(&cinfo)) {
            finalPass = true;
            cinfo.dct_method = finalDct;
            cinfo.dither_mode = finalDither;
            if (quantize && finalTwoPass) {
                cinfo.two_pass_quantize = TRUE;
                cinfo.colormap = nullptr;
            }
        }
        jpeg_start_output(&cinfo, cinfo.input_scan_number);
        readPass();
        jpeg_finish_output(&cinfo);
        if (onDisplay) onDisplay(outcome.image, outcome.passes, finalPass);
    }
    jpeg_finish_decompress(&cinfo);
    outcome.warnings = int(errors.pub.num_warnings);
}

// The scans of a JPEG file, counted from its markers without decoding: segments are skipped
// by their length, entropy-coded data up to the next marker.
int CountScans(const std::vector<uint8_t>& data) {
    int scans = 0;
    size_t at = 2;  // after the start-of-image marker
    const size_t size = data.size();
    while (at + 1 < size) {
        if (data[at] != 0xFF) {
            ++at;  // entropy-coded data
            continue;
        }
        const uint8_t marker = data[at + 1];
        if (marker == 0xFF) {  // fill byte
            ++at;
            continue;
        }
        at += 2;
        if (marker == 0x00 || marker == 0x01 || (marker >= 0xD0 && marker <= 0xD8)) continue;
        if (marker == 0xD9) break;
        if (at + 1 >= size) break;
        if (marker == 0xDA) ++scans;
        at += size_t(data[at]) << 8 | data[at + 1];
    }
    return scans;
}

bool ReadDimensions(const std::vector<uint8_t>& data, uint8_t scale, int& width, int& height) {
    if (CountScans(data) > kMaxScans) return false;
    jpeg_decompress_struct cinfo{};
    ErrorManager errors;
    cinfo.err = InitErrors(errors);
    Destroyer destroyer{reinterpret_cast<j_common_ptr>(&cinfo)};
    if (setjmp(errors.jump)) return false;
    jpeg_progress_mgr progress{};
    jpeg_create_decompress(&cinfo);
    jpeg_mem_src(&cinfo, data.data(), static_cast<unsigned long>(data.size()));
    StartLimitedDecode(cinfo, progress);
    cinfo.scale_num = 1;
    cinfo.scale_denom = ScaleDenominator(scale);
    jpeg_calc_output_dimensions(&cinfo);
    width = int(cinfo.output_width);
    height = int(cinfo.output_height);
    return true;
}

}  // namespace

int JpegImage::width() const {
    if (!decoded_.isNull()) return decoded_.width();
    readDimensions();
    return width_;
}

int JpegImage::height() const {
    if (!decoded_.isNull()) return decoded_.height();
    readDimensions();
    return height_;
}

void JpegImage::readDimensions() const {
    if (dimensionsKnown_) return;
    width_ = height_ = 0;
    if (!data_.empty() && !ReadDimensions(data_, scale_, width_, height_)) width_ = height_ = 0;
    dimensionsKnown_ = true;
}

QImage JpegImage::toImage() const {
    if (decoded_.isNull() && !data_.empty()) decode();
    return decoded_;
}

void JpegImage::discardPicture() {
    decoded_ = QImage();
    dimensionsKnown_ = false;
    changed_ = true;
}

void JpegImage::setGrayscale(bool on) {
    if (on == grayscale_) return;
    grayscale_ = on;
    if (hasDecodedPicture()) discardPicture();
}

void JpegImage::setPixelFormat(uint8_t format) {
    if (format == pixelFormat_) return;
    pixelFormat_ = format;
    if (hasDecodedPicture()) discardPicture();
}

void JpegImage::setScale(uint8_t scale) {
    if (scale == scale_) return;
    scale_ = scale;
    // The reported size follows the scale even before the next decode.
    dimensionsKnown_ = false;
    if (hasDecodedPicture()) discardPicture();
}

void JpegImage::setPerformance(uint8_t performance) {
    if (performance == performance_) return;
    performance_ = performance;
    if (hasDecodedPicture()) discardPicture();
}

size_t JpegImage::compressBgr(std::vector<uint8_t>& out, int width, int height, const uint8_t* rows, ptrdiff_t stride,
                              bool countOnly) const {
    if (width <= 0 || height == 0 || !rows) return 0;
    const int count = height < 0 ? -height : height;
    // Bottom-up rows: the top row is the last one in memory.
    const uint8_t* top = height > 0 ? rows + ptrdiff_t(count - 1) * stride : rows;
    const ptrdiff_t step = height > 0 ? -stride : stride;
    return Compress(out, width, count, JCS_EXT_BGR, top, step, {quality_, grayscale_, progressiveEncoding_}, countOnly);
}

void JpegImage::encodeBgr(int width, int height, const uint8_t* rows, ptrdiff_t stride) {
    std::vector<uint8_t> out;
    compressBgr(out, width, height, rows, stride, false);
    loadFromMemory(std::move(out));
}

size_t JpegImage::encodedLengthBgr(int width, int height, const uint8_t* rows, ptrdiff_t stride) const {
    return compressBgr(scratch_, width, height, rows, stride, true);
}

void JpegImage::assign(const Bitmap& bitmap) {
    std::vector<uint8_t> out;
    if (!bitmap.isEmpty()) {
        const QImage rgb = bitmap.image().convertToFormat(QImage::Format_RGB888);
        Compress(out, rgb.width(), rgb.height(), JCS_RGB, rgb.constBits(), rgb.bytesPerLine(),
                 {quality_, grayscale_, progressiveEncoding_});
    }
    loadFromMemory(std::move(out));
}

void JpegImage::loadFromMemory(std::vector<uint8_t> data) {
    data_ = std::move(data);
    decoded_ = QImage();
    dimensionsKnown_ = false;
    changed_ = true;
}

void JpegImage::loadFromFile(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        throw errors::Error(QString("Impossible d'ouvrir le fichier %1").arg(path));
    }
    const QByteArray bytes = file.readAll();
    loadFromMemory(std::vector<uint8_t>(bytes.begin(), bytes.end()));
}

void JpegImage::saveToFile(const QString& path) const {
    // Written aside and renamed over the target once complete, so a failed write never leaves a
    // truncated picture or loses the file being replaced.
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        throw errors::Error(QString("Impossible de créer le fichier %1").arg(path));
    }
    const auto size = qint64(data_.size());
    if (file.write(reinterpret_cast<const char*>(data_.data()), size) != size || !file.commit()) {
        const int code = file.error() == QFileDevice::ResourceError ? 112 : 101;
        throw errors::Error(QString::asprintf("Erreur E/S %d", code));
    }
}

void JpegImage::decode() const {
    lastPasses_ = 0;
    lastWarnings_ = 0;
    if (data_.empty()) {
        decoded_ = QImage();
        return;
    }
    DecodeOutcome outcome;
    Decompress(data_, {scale_, grayscale_, pixelFormat_ == Format8Bits, performance_ == BestSpeed, progressiveDisplay_},
               onDisplay_, outcome);
    decoded_ = std::move(outcome.image);
    lastPasses_ = outcome.passes;
    lastWarnings_ = outcome.warnings;
    width_ = decoded_.width();
    height_ = decoded_.height();
    dimensionsKnown_ = true;
}

}  // namespace imaging

// SPDX-License-Identifier: GPL-2.0-or-later
#include "metafile-helper/convert.h"

#include "imaging/metafile_helper_protocol.h"

#include <QFile>
#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <vector>

extern "C" {
#include <libwmf/api.h>
#include <libwmf/svg.h>
}
#include <emf2svg.h>

namespace metafile {

namespace {

// libwmf draws text with the URW base 35 Type 1 fonts, looked for where Debian's fonts-urw-base35
// puts them; when a font cannot be found it plays no metafile at all, text or not. Without
// them, the standard PostScript names it uses are given the Liberation fonts the program
// depends on, made to the measures of Times, Helvetica and Courier; Symbol falls back on Times.
constexpr char kUrwFont[] = "/usr/share/fonts/type1/urw-base35/NimbusRoman-Regular.t1";
constexpr char kLiberationDir[] = "/usr/share/fonts/truetype/liberation";

struct FontFile {
    const char* postScriptName;
    const char* file;
};
constexpr FontFile kLiberationFonts[] = {
    {"Courier", "LiberationMono-Regular.ttf"},      {"Courier-Oblique", "LiberationMono-Italic.ttf"},
    {"Courier-Bold", "LiberationMono-Bold.ttf"},    {"Courier-BoldOblique", "LiberationMono-BoldItalic.ttf"},
    {"Helvetica", "LiberationSans-Regular.ttf"},    {"Helvetica-Oblique", "LiberationSans-Italic.ttf"},
    {"Helvetica-Bold", "LiberationSans-Bold.ttf"},  {"Helvetica-BoldOblique", "LiberationSans-BoldItalic.ttf"},
    {"Times-Roman", "LiberationSerif-Regular.ttf"}, {"Times-Italic", "LiberationSerif-Italic.ttf"},
    {"Times-Bold", "LiberationSerif-Bold.ttf"},     {"Times-BoldItalic", "LiberationSerif-BoldItalic.ttf"},
    {"Symbol", "LiberationSerif-Regular.ttf"}};

// Sets the options that point libwmf at the Liberation fonts; `mappings` and `dirs` must live as
// long as the API made with them.
unsigned long UseLiberationFonts(wmfAPI_Options& options, std::vector<wmfMapping>& mappings, char* (&dirs)[2]) {
    for (const FontFile& font : kLiberationFonts) {
        mappings.push_back({const_cast<char*>(font.postScriptName), const_cast<char*>(font.file), FT_ENCODING_NONE});
    }
    mappings.push_back({nullptr, nullptr, FT_ENCODING_NONE});
    options.font.ps = mappings.data();
    dirs[0] = const_cast<char*>(kLiberationDir);  // libwmf copies the directory's name
    dirs[1] = nullptr;
    options.fontdirs = dirs;
    return WMF_OPT_FONTMAP | WMF_OPT_FONTDIRS;
}

}  // namespace

QByteArray EmfToSvg(QByteArray contents) {
    generatorOptions options{};
    options.nameSpace = nullptr;
    options.verbose = false;
    options.emfplus = true;
    options.svgDelimiter = true;
    char* out = nullptr;
    size_t outLength = 0;
    const int ok = emf2svg(contents.data(), size_t(contents.size()), &out, &outLength, &options);
    QByteArray svg;
    if (ok && out) svg = QByteArray(out, qsizetype(outLength));
    std::free(out);
    return svg;
}

QByteArray WmfToSvg(QByteArray contents) {
    wmfAPI* api = nullptr;
    wmfAPI_Options apiOptions{};
    apiOptions.function = wmf_svg_function;
    unsigned long flags = WMF_OPT_FUNCTION | WMF_OPT_IGNORE_NONFATAL | WMF_OPT_NO_ERROR | WMF_OPT_NO_DEBUG;
    std::vector<wmfMapping> fontMappings;
    char* fontDirs[2];
    if (!QFile::exists(kUrwFont)) flags |= UseLiberationFonts(apiOptions, fontMappings, fontDirs);
    if (wmf_api_create(&api, flags, &apiOptions) != wmf_E_None) {
        if (api) wmf_api_destroy(api);
        return {};
    }
    QByteArray svg;
    wmfD_Rect bbox{};
    if (wmf_mem_open(api, reinterpret_cast<unsigned char*>(contents.data()), long(contents.size())) == wmf_E_None &&
        wmf_scan(api, 0, &bbox) == wmf_E_None) {
        wmf_svg_t* device = WMF_SVG_GetData(api);
        device->out = wmf_stream_create(api, nullptr);
        device->bbox = bbox;
        float width = 0, height = 0;
        wmf_size(api, &width, &height);
        // The size comes from the file: not a number, or out of range, is not a picture size.
        const auto side = [](float v) {
            return std::isfinite(v) ? unsigned(std::clamp(v, 1.0f, float(kMaxSide))) : 1u;
        };
        device->width = side(width);
        device->height = side(height);
        const bool played = wmf_play(api, 0, &bbox) == wmf_E_None;
        char* buffer = nullptr;
        unsigned long length = 0;
        wmf_stream_destroy(api, device->out, &buffer, &length);
        // The buffer belongs to the library's own allocator, which frees it with the API.
        if (played && buffer) svg = QByteArray(buffer, qsizetype(length));
    }
    wmf_api_destroy(api);
    return svg;
}

}  // namespace metafile

#include "metafile-helper/convert.h"

#include "platform/metafile_helper_protocol.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

extern "C" {
#include <libwmf/api.h>
#include <libwmf/svg.h>
}
#include <emf2svg.h>

namespace metafile {

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
    if (wmf_api_create(&api, WMF_OPT_FUNCTION | WMF_OPT_IGNORE_NONFATAL | WMF_OPT_NO_ERROR | WMF_OPT_NO_DEBUG,
                       &apiOptions) != wmf_E_None) {
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

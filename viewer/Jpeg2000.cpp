#include "viewer/Jpeg2000.h"

#include "viewer/ImageLimits.h"

#include <openjpeg.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <memory>

namespace {
const unsigned char kJp2Signature[] = {0x00, 0x00, 0x00, 0x0C, 0x6A, 0x50, 0x20, 0x20};
const unsigned char kJ2kCodestream[] = {0xFF, 0x4F, 0xFF, 0x51};

bool StartsWith(const QByteArray& head, const unsigned char* magic, std::size_t n) {
    return static_cast<std::size_t>(head.size()) >= n &&
           std::memcmp(head.constData(), magic, n) == 0;
}

struct StreamDeleter {
    void operator()(opj_stream_t* s) const { opj_stream_destroy(s); }
};
struct CodecDeleter {
    void operator()(opj_codec_t* c) const { opj_destroy_codec(c); }
};
struct ImageDeleter {
    void operator()(opj_image_t* i) const { opj_image_destroy(i); }
};

void CollectError(const char* msg, void* client) {
    auto* text = static_cast<std::string*>(client);
    if (text->empty() && msg != nullptr) {
        *text = msg;
        while (!text->empty() && (text->back() == '\n' || text->back() == '\r')) {
            text->pop_back();
        }
    }
}

void Ignore(const char*, void*) {}

// A sample brought to 0 .. 2^prec - 1.
inline int Unsigned(const opj_image_comp_t& c, std::size_t i) {
    const int v = c.data[i];
    return c.sgnd ? v + (1 << (c.prec - 1)) : v;
}

inline int To8Bit(int v, unsigned prec) {
    if (prec > 8) {
        v >>= (prec - 8);
    } else if (prec < 8) {
        v <<= (8 - prec);
    }
    return v < 0 ? 0 : (v > 255 ? 255 : v);
}

QImage ToQImage(const opj_image_t& img, std::string& error) {
    if (img.numcomps == 0 || img.comps == nullptr) {
        error = "JPEG 2000 image without components";
        return {};
    }
    const opj_image_comp_t& c0 = img.comps[0];
    const int w = static_cast<int>(c0.w);
    const int h = static_cast<int>(c0.h);
    if (w <= 0 || h <= 0 || c0.prec < 1 || c0.prec > 16 || c0.data == nullptr) {
        error = "Unsupported JPEG 2000 image layout";
        return {};
    }
    const bool colour = img.numcomps >= 3;
    if (colour) {
        for (int k = 1; k < 3; ++k) {
            const opj_image_comp_t& ck = img.comps[k];
            if (ck.w != c0.w || ck.h != c0.h || ck.data == nullptr || ck.prec < 1 || ck.prec > 16) {
                error = "Unsupported JPEG 2000 component layout";
                return {};
            }
        }
    }
    QImage out;
    if (!colour && c0.prec > 8) {
        out = QImage(w, h, QImage::Format_Grayscale16);
    } else if (!colour) {
        out = QImage(w, h, QImage::Format_Grayscale8);
    } else {
        out = QImage(w, h, QImage::Format_RGB32);
    }
    if (out.isNull()) {
        error = "Not enough memory for the image";
        return {};
    }
    const unsigned maxValue = (1u << c0.prec) - 1u;
    for (int y = 0; y < h; ++y) {
        const std::size_t row = static_cast<std::size_t>(y) * c0.w;
        if (out.format() == QImage::Format_Grayscale16) {
            auto* d = reinterpret_cast<quint16*>(out.scanLine(y));
            for (int x = 0; x < w; ++x) {
                const int v = Unsigned(c0, row + x);
                d[x] = static_cast<quint16>(
                    v < 0 ? 0 : (static_cast<unsigned>(v) > maxValue ? maxValue : v));
            }
        } else if (out.format() == QImage::Format_Grayscale8) {
            uchar* d = out.scanLine(y);
            for (int x = 0; x < w; ++x) {
                d[x] = static_cast<uchar>(To8Bit(Unsigned(c0, row + x), c0.prec));
            }
        } else {
            auto* d = reinterpret_cast<QRgb*>(out.scanLine(y));
            const opj_image_comp_t& c1 = img.comps[1];
            const opj_image_comp_t& c2 = img.comps[2];
            for (int x = 0; x < w; ++x) {
                d[x] = qRgb(To8Bit(Unsigned(c0, row + x), c0.prec),
                            To8Bit(Unsigned(c1, row + x), c1.prec),
                            To8Bit(Unsigned(c2, row + x), c2.prec));
            }
        }
    }
    return out;
}
} // namespace

bool LooksLikeJpeg2000(const QByteArray& head) {
    return StartsWith(head, kJp2Signature, sizeof kJp2Signature) ||
           StartsWith(head, kJ2kCodestream, sizeof kJ2kCodestream);
}

QImage DecodeJpeg2000(const std::string& path, std::string& error) {
    QByteArray head;
    {
        FILE* f = std::fopen(path.c_str(), "rb");
        if (f == nullptr) {
            error = "Unable to open " + path;
            return {};
        }
        head.resize(12);
        head.resize(static_cast<qsizetype>(std::fread(head.data(), 1, 12, f)));
        std::fclose(f);
    }
    const OPJ_CODEC_FORMAT format =
        StartsWith(head, kJ2kCodestream, sizeof kJ2kCodestream) ? OPJ_CODEC_J2K : OPJ_CODEC_JP2;

    std::unique_ptr<opj_stream_t, StreamDeleter> stream(
        opj_stream_create_default_file_stream(path.c_str(), OPJ_TRUE));
    if (!stream) {
        error = "Unable to open " + path;
        return {};
    }
    std::unique_ptr<opj_codec_t, CodecDeleter> codec(opj_create_decompress(format));
    if (!codec) {
        error = "JPEG 2000 decoder unavailable";
        return {};
    }
    std::string libError;
    opj_set_error_handler(codec.get(), CollectError, &libError);
    opj_set_warning_handler(codec.get(), Ignore, nullptr);
    opj_set_info_handler(codec.get(), Ignore, nullptr);
    opj_dparameters_t params;
    opj_set_default_decoder_parameters(&params);
    if (!opj_setup_decoder(codec.get(), &params)) {
        error = "JPEG 2000 decoder setup failed";
        return {};
    }
    opj_codec_set_threads(codec.get(), 2);

    opj_image_t* raw = nullptr;
    const bool headerOk = opj_read_header(stream.get(), codec.get(), &raw) != 0;
    std::unique_ptr<opj_image_t, ImageDeleter> image(raw);
    // The header says how large the image is; the decoder would allocate
    // four bytes per sample of every component for it.
    if (headerOk && image) {
        const auto tooLarge =
            ImageTooLarge(static_cast<int64_t>(image->x1) - image->x0,
                          static_cast<int64_t>(image->y1) - image->y0,
                          4 * static_cast<int>(std::max<OPJ_UINT32>(image->numcomps, 1)));
        if (tooLarge) {
            error = "Unable to read image " + path + ": " + *tooLarge;
            return {};
        }
    }
    if (!headerOk || !image || !opj_decode(codec.get(), stream.get(), image.get()) ||
        !opj_end_decompress(codec.get(), stream.get())) {
        error = "Not a readable JPEG 2000 file";
        if (!libError.empty()) {
            error += ": " + libError;
        }
        return {};
    }
    return ToQImage(*image, error);
}

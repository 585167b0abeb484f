#include "platform/jpeg.h"

#include "platform/streams.h"

#include <algorithm>
#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <cstring>

// jpeglib.h expects size_t and FILE to be declared first.
#include <jpeglib.h>
#include <jerror.h>

namespace {

// The library reports fatal errors through error_exit, which must not return: it jumps back
// to the step that called the library. The steps below keep only plain data in their frames,
// so the jump skips no destructor.
struct ErrorManager {
    jpeg_error_mgr pub;
    std::jmp_buf jump;
    int code;
};

extern "C" void OnJpegError(j_common_ptr info)
{
    auto* err = reinterpret_cast<ErrorManager*>(info->err);
    err->code = info->err->msg_code;
    std::longjmp(err->jump, 1);
}

extern "C" void OnJpegMessage(j_common_ptr, int) {}

void InitErrors(ErrorManager& err)
{
    std::memset(&err, 0, sizeof(err));
    jpeg_std_error(&err.pub);
    err.pub.error_exit = OnJpegError;
    err.pub.emit_message = OnJpegMessage;
}

enum class StartResult { Started, Failed, TooLarge };

// Opens the data and starts decompressing; fills the output size and whether the output is CMYK.
// The size is checked from the header, before the library allocates for the whole picture
// (a progressive picture's coefficients are held for all of it).
StartResult StartDecode(jpeg_decompress_struct* info, ErrorManager* err, const unsigned char* data,
                        unsigned long size, bool* cmyk)
{
    if (setjmp(err->jump))
        return StartResult::Failed;
    jpeg_create_decompress(info);
    jpeg_mem_src(info, data, size);
    jpeg_read_header(info, TRUE);
    if (std::int64_t(info->image_width) * std::int64_t(info->image_height) > kMaxPicturePixels)
        return StartResult::TooLarge;
    *cmyk = info->jpeg_color_space == JCS_CMYK || info->jpeg_color_space == JCS_YCCK;
    info->out_color_space = *cmyk ? JCS_CMYK : JCS_EXT_BGRA;
    jpeg_start_decompress(info);
    return StartResult::Started;
}

bool ReadLines(jpeg_decompress_struct* info, ErrorManager* err, unsigned char* bits, std::size_t stride)
{
    if (setjmp(err->jump))
        return false;
    while (info->output_scanline < info->output_height) {
        JSAMPROW row = bits + std::size_t(info->output_scanline) * stride;
        jpeg_read_scanlines(info, &row, 1);
    }
    jpeg_finish_decompress(info);
    return true;
}

bool Compress(jpeg_compress_struct* info, ErrorManager* err, const unsigned char* bits, std::size_t stride,
              int width, int height, int quality, bool grayscale, unsigned char** out, unsigned long* outSize)
{
    if (setjmp(err->jump))
        return false;
    jpeg_create_compress(info);
    jpeg_mem_dest(info, out, outSize);
    info->image_width = JDIMENSION(width);
    info->image_height = JDIMENSION(height);
    info->input_components = 4;
    info->in_color_space = JCS_EXT_BGRX;
    jpeg_set_defaults(info);
    if (grayscale)
        jpeg_set_colorspace(info, JCS_GRAYSCALE);
    jpeg_set_quality(info, quality, TRUE);
    jpeg_start_compress(info, TRUE);
    while (info->next_scanline < info->image_height) {
        JSAMPROW row = const_cast<unsigned char*>(bits) + std::size_t(info->next_scanline) * stride;
        jpeg_write_scanlines(info, &row, 1);
    }
    jpeg_finish_compress(info);
    return true;
}

[[noreturn]] void RaiseTooLarge()
{
    throw EInvalidGraphic(QStringLiteral("Рисунок JPEG слишком велик или не поддерживается"));
}

[[noreturn]] void RaiseJpegError(int code)
{
    // the library's own size limit (65500 pixels a side) is a picture too large like any other
    if (code == JERR_IMAGE_TOO_BIG)
        RaiseTooLarge();
    throw EInvalidGraphic(QStringLiteral("Рисунок JPEG поврежден (ошибка %1)").arg(code));
}

}  // namespace

TJPEGImage::TJPEGImage() = default;

TJPEGImage::~TJPEGImage() = default;

std::unique_ptr<TGraphic> TJPEGImage::Clone() const
{
    auto copy = std::make_unique<TJPEGImage>();
    copy->Assign(*this);
    return copy;
}

void TJPEGImage::SetCompressionQuality(int quality) { quality_ = std::clamp(quality, 1, 100); }

void TJPEGImage::SetGrayscale(bool value)
{
    if (grayscale_ == value)
        return;
    grayscale_ = value;
    dataValid_ = false;
    Changed();
}

const QByteArray& TJPEGImage::Data() const
{
    if (!dataValid_) {
        data_ = image_.isNull() ? QByteArray() : Encode(image_, quality_, grayscale_);
        dataValid_ = true;
    }
    return data_;
}

QImage TJPEGImage::Decode(const QByteArray& bytes)
{
    if (bytes.isEmpty())
        RaiseJpegError(0);
    jpeg_decompress_struct info;
    std::memset(&info, 0, sizeof(info));
    ErrorManager err;
    InitErrors(err);
    info.err = &err.pub;
    bool cmyk = false;
    const StartResult started = StartDecode(&info, &err, reinterpret_cast<const unsigned char*>(bytes.constData()),
                                            static_cast<unsigned long>(bytes.size()), &cmyk);
    if (started == StartResult::Failed) {
        const int code = err.code;
        jpeg_destroy_decompress(&info);
        RaiseJpegError(code);
    }
    const int w = int(info.output_width), h = int(info.output_height);
    QImage img;
    if (started == StartResult::Started && w > 0 && h > 0 && std::int64_t(w) * h <= kMaxPicturePixels &&
        info.output_components == 4)
        img = QImage(w, h, QImage::Format_RGB32);
    if (img.isNull()) {
        jpeg_destroy_decompress(&info);
        RaiseTooLarge();
    }
    if (!ReadLines(&info, &err, img.bits(), std::size_t(img.bytesPerLine()))) {
        const int code = err.code;
        jpeg_destroy_decompress(&info);
        RaiseJpegError(code);
    }
    jpeg_destroy_decompress(&info);
    if (cmyk) {
        // Adobe's CMYK JPEGs store inverted ink values.
        for (int y = 0; y < h; ++y) {
            unsigned char* p = img.scanLine(y);
            for (int x = 0; x < w; ++x, p += 4) {
                const int c = p[0], m = p[1], yy = p[2], k = p[3];
                const QRgb v = qRgb(c * k / 255, m * k / 255, yy * k / 255);
                std::memcpy(p, &v, 4);
            }
        }
    } else {
        for (int y = 0; y < h; ++y) {
            auto* row = reinterpret_cast<QRgb*>(img.scanLine(y));
            for (int x = 0; x < w; ++x)
                row[x] |= 0xFF000000u;
        }
    }
    return img;
}

QByteArray TJPEGImage::Encode(const QImage& image, int quality, bool grayscale)
{
    if (image.isNull())
        return {};
    const QImage src = image.convertToFormat(QImage::Format_RGB32);
    jpeg_compress_struct info;
    std::memset(&info, 0, sizeof(info));
    ErrorManager err;
    InitErrors(err);
    info.err = &err.pub;
    unsigned char* out = nullptr;
    unsigned long outSize = 0;
    const bool ok = Compress(&info, &err, src.constBits(), std::size_t(src.bytesPerLine()), src.width(),
                             src.height(), std::clamp(quality, 1, 100), grayscale, &out, &outSize);
    const int code = err.code;
    jpeg_destroy_compress(&info);
    QByteArray result;
    if (ok && out)
        result = QByteArray(reinterpret_cast<const char*>(out), qsizetype(outSize));
    std::free(out);
    if (!ok)
        RaiseJpegError(code);
    return result;
}

void TJPEGImage::LoadFromBytes(const QByteArray& bytes)
{
    QImage img;
    if (!bytes.isEmpty())
        img = Decode(bytes);
    image_ = img;
    data_ = bytes;
    dataValid_ = true;
    Changed();
}

void TJPEGImage::LoadFromStream(TStream& stream) { LoadFromBytes(stream.ReadBytes(-1)); }

void TJPEGImage::SaveToStream(TStream& stream) const
{
    const QByteArray& bytes = Data();
    if (!bytes.isEmpty())
        stream.WriteBuffer(bytes);
}

void TJPEGImage::Assign(const TGraphic& source)
{
    if (&source == this)
        return;
    if (const auto* jpeg = dynamic_cast<const TJPEGImage*>(&source)) {
        image_ = jpeg->image_;
        data_ = jpeg->data_;
        dataValid_ = jpeg->dataValid_;
        quality_ = jpeg->quality_;
        grayscale_ = jpeg->grayscale_;
    } else {
        const QImage img = source.ToImage();
        image_ = img.isNull() ? QImage() : img.convertToFormat(QImage::Format_RGB32);
        data_.clear();
        dataValid_ = false;
    }
    transparent_ = source.Transparent();
    Changed();
}

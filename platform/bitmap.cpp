#include "platform/bitmap.h"

#include "platform/canvas.h"
#include "platform/jpeg.h"
#include "platform/streams.h"

#include <QFileInfo>
#include <QPainter>
#include <QtEndian>
#include <cstdlib>
#include <cstring>

// ---- TGraphic -------------------------------------------------------------------------------

TGraphic::~TGraphic() = default;

void TGraphic::Changed()
{
    if (OnChange)
        OnChange();
}

void TGraphic::SetTransparent(bool value)
{
    if (transparent_ == value)
        return;
    transparent_ = value;
    Changed();
}

void TGraphic::LoadFromFile(const QString& fileName)
{
    TFileStream stream(fileName, fmOpenRead | fmShareDenyWrite);
    LoadFromStream(stream);
}

void TGraphic::SaveToFile(const QString& fileName) const
{
    TFileStream stream(fileName, fmCreate);
    SaveToStream(stream);
}

void TGraphic::ReadData(TStream& stream)
{
    unsigned char sizeBytes[4];
    stream.ReadBuffer(sizeBytes, 4);
    const std::int32_t size = qFromLittleEndian<std::int32_t>(sizeBytes);
    if (size < 0 || size > stream.Size() - stream.Position())
        throw EReadError();
    TMemoryStream data(stream.ReadBytes(size));
    LoadFromStream(data);
}

void TGraphic::WriteData(TStream& stream) const
{
    TMemoryStream data;
    SaveToStream(data);
    unsigned char sizeBytes[4];
    qToLittleEndian<std::int32_t>(std::int32_t(data.Size()), sizeBytes);
    stream.WriteBuffer(sizeBytes, 4);
    stream.WriteBuffer(data.Bytes());
}

void TGraphic::Draw(TCanvas& canvas, const TRect& r) const
{
    const QImage img = ToImage();
    canvas.DrawImage(r, img, TRect(0, 0, img.width(), img.height()));
}

// ---- TBitmap --------------------------------------------------------------------------------

TBitmap::TBitmap() = default;

TBitmap::TBitmap(int width, int height) { SetSize(width, height); }

TBitmap::TBitmap(const QImage& image) : image_(image.convertToFormat(QImage::Format_RGB32)) {}

TBitmap::~TBitmap() = default;

std::unique_ptr<TGraphic> TBitmap::Clone() const
{
    auto copy = std::make_unique<TBitmap>();
    copy->Assign(*this);
    return copy;
}

void TBitmap::ReleaseCanvas()
{
    if (canvas_)
        canvas_->Release();
}

void TBitmap::SetSize(int width, int height)
{
    width = std::max(0, width);
    height = std::max(0, height);
    if (width == Width() && height == Height())
        return;
    ReleaseCanvas();
    QImage resized;
    if (width > 0 && height > 0) {
        resized = QImage(width, height, QImage::Format_RGB32);
        resized.fill(Qt::white);
        if (!image_.isNull()) {
            QPainter p(&resized);
            p.setCompositionMode(QPainter::CompositionMode_Source);
            p.drawImage(0, 0, image_);
        }
    }
    image_ = resized;
    emptyWidth_ = width;
    emptyHeight_ = height;
    Changed();
}

TCanvas& TBitmap::Canvas()
{
    if (!canvas_) {
        canvas_ = std::make_unique<TCanvas>(&image_);
        canvas_->OnChange = [this] { Changed(); };
    }
    return *canvas_;
}

QImage& TBitmap::Image()
{
    ReleaseCanvas();
    return image_;
}

void TBitmap::SetImage(const QImage& image)
{
    ReleaseCanvas();
    image_ = image.isNull() ? QImage() : image.convertToFormat(QImage::Format_RGB32);
    Changed();
}

TColor TBitmap::TransparentColor() const
{
    if (transparentMode_ == tmFixed)
        return transparentColor_;
    if (image_.isNull())
        return clBlack;
    const QRgb v = image_.pixel(0, image_.height() - 1);
    return RGB(qRed(v), qGreen(v), qBlue(v));
}

void TBitmap::SetTransparentColor(TColor color)
{
    if (transparentMode_ == tmFixed && transparentColor_ == color)
        return;
    transparentColor_ = color;
    transparentMode_ = tmFixed;
    Changed();
}

void TBitmap::SetTransparentMode(TTransparentMode mode)
{
    if (transparentMode_ == mode)
        return;
    transparentMode_ = mode;
    Changed();
}

namespace {

// Reads the size fields of a BMP header; false when the bytes are not one.
bool BmpHeaderSize(const QByteArray& bytes, std::int32_t& width, std::int32_t& height)
{
    if (bytes.size() < 26 || bytes[0] != 'B' || bytes[1] != 'M')
        return false;
    const auto* d = reinterpret_cast<const unsigned char*>(bytes.constData());
    const std::uint32_t infoSize = qFromLittleEndian<std::uint32_t>(d + 14);
    if (infoSize == 12) {
        width = qFromLittleEndian<std::int16_t>(d + 18);
        height = qFromLittleEndian<std::int16_t>(d + 20);
    } else {
        width = qFromLittleEndian<std::int32_t>(d + 18);
        height = qFromLittleEndian<std::int32_t>(d + 22);
    }
    return true;
}

}  // namespace

void TBitmap::LoadFromStream(TStream& stream)
{
    const QByteArray bytes = stream.ReadBytes(-1);
    QImage loaded;
    std::int32_t w = 0, h = 0;
    if (!bytes.isEmpty()) {
        if (!BmpHeaderSize(bytes, w, h))
            throw EInvalidGraphic(QStringLiteral("Точечный рисунок поврежден или имеет неизвестный формат"));
        if (w != 0 && h != 0) {
            // Negative heights are top-down rows; std::abs of INT32_MIN would overflow, hence the widening.
            if (std::abs(std::int64_t(w)) * std::abs(std::int64_t(h)) > kMaxPicturePixels)
                throw EInvalidGraphic(QStringLiteral("Точечный рисунок поврежден или имеет неизвестный формат"));
            if (!loaded.loadFromData(bytes, "BMP") || loaded.isNull())
                throw EInvalidGraphic(QStringLiteral("Точечный рисунок поврежден или имеет неизвестный формат"));
            loaded = loaded.convertToFormat(QImage::Format_RGB32);
        }
    }
    ReleaseCanvas();
    image_ = loaded;
    Changed();
}

QByteArray TBitmap::SaveToBytes() const
{
    const int w = image_.width(), h = image_.height();
    const int stride = ((w * 3) + 3) & ~3;
    const std::uint32_t dataSize = std::uint32_t(stride) * std::uint32_t(h);
    QByteArray out(int(54 + dataSize), '\0');
    auto* d = reinterpret_cast<unsigned char*>(out.data());
    d[0] = 'B';
    d[1] = 'M';
    qToLittleEndian<std::uint32_t>(54 + dataSize, d + 2);
    qToLittleEndian<std::uint32_t>(54, d + 10);
    qToLittleEndian<std::uint32_t>(40, d + 14);
    qToLittleEndian<std::int32_t>(w, d + 18);
    qToLittleEndian<std::int32_t>(h, d + 22);
    qToLittleEndian<std::uint16_t>(1, d + 26);
    qToLittleEndian<std::uint16_t>(24, d + 28);
    qToLittleEndian<std::uint32_t>(0, d + 30);
    qToLittleEndian<std::uint32_t>(dataSize, d + 34);
    qToLittleEndian<std::int32_t>(3780, d + 38);  // 96 dpi
    qToLittleEndian<std::int32_t>(3780, d + 42);
    for (int y = 0; y < h; ++y) {
        const auto* src = reinterpret_cast<const QRgb*>(image_.constScanLine(h - 1 - y));
        unsigned char* row = d + 54 + std::size_t(y) * std::size_t(stride);
        for (int x = 0; x < w; ++x) {
            row[x * 3] = std::uint8_t(qBlue(src[x]));
            row[x * 3 + 1] = std::uint8_t(qGreen(src[x]));
            row[x * 3 + 2] = std::uint8_t(qRed(src[x]));
        }
    }
    return out;
}

void TBitmap::SaveToStream(TStream& stream) const { stream.WriteBuffer(SaveToBytes()); }

void TBitmap::Assign(const TGraphic& source)
{
    if (&source == this)
        return;
    ReleaseCanvas();
    if (const auto* bmp = dynamic_cast<const TBitmap*>(&source)) {
        image_ = bmp->image_;
        transparentColor_ = bmp->transparentColor_;
        transparentMode_ = bmp->transparentMode_;
    } else {
        const QImage img = source.ToImage();
        image_ = img.isNull() ? QImage() : img.convertToFormat(QImage::Format_RGB32);
    }
    transparent_ = source.Transparent();
    Changed();
}

void TBitmap::Draw(TCanvas& canvas, const TRect& r) const
{
    if (image_.isNull())
        return;
    std::optional<TColor> key;
    if (transparent_)
        key = TransparentColor();
    canvas.DrawImage(r, image_, TRect(0, 0, image_.width(), image_.height()), key);
}

// ---- TPicture -------------------------------------------------------------------------------

TPicture::TPicture() = default;

TPicture::~TPicture()
{
    if (graphic_)
        graphic_->OnChange = nullptr;
}

void TPicture::Changed()
{
    if (OnChange)
        OnChange();
}

void TPicture::Hook()
{
    if (graphic_)
        graphic_->OnChange = [this] { Changed(); };
}

void TPicture::SetGraphic(const TGraphic* graphic)
{
    if (graphic && graphic == graphic_.get())
        return;
    SetGraphic(graphic ? graphic->Clone() : std::unique_ptr<TGraphic>());
}

void TPicture::SetGraphic(std::unique_ptr<TGraphic> graphic)
{
    if (graphic_)
        graphic_->OnChange = nullptr;
    graphic_ = std::move(graphic);
    Hook();
    Changed();
}

TBitmap& TPicture::Bitmap()
{
    if (auto* bmp = dynamic_cast<TBitmap*>(graphic_.get()))
        return *bmp;
    SetGraphic(std::make_unique<TBitmap>());
    return static_cast<TBitmap&>(*graphic_);
}

std::unique_ptr<TGraphic> TPicture::CreateGraphic(const QString& className)
{
    if (className.compare(QLatin1String("TBitmap"), Qt::CaseInsensitive) == 0)
        return std::make_unique<TBitmap>();
    if (className.compare(QLatin1String("TJPEGImage"), Qt::CaseInsensitive) == 0)
        return std::make_unique<TJPEGImage>();
    return nullptr;
}

void TPicture::LoadFromFile(const QString& fileName)
{
    const QString ext = QFileInfo(fileName).suffix().toLower();
    std::unique_ptr<TGraphic> g;
    if (ext == QLatin1String("bmp"))
        g = std::make_unique<TBitmap>();
    else if (ext == QLatin1String("jpg") || ext == QLatin1String("jpeg"))
        g = std::make_unique<TJPEGImage>();
    else
        throw EInvalidGraphic(QStringLiteral("Неизвестное расширение файла рисунка (.%1)").arg(ext));
    g->LoadFromFile(fileName);
    SetGraphic(std::move(g));
}

void TPicture::SaveToFile(const QString& fileName) const
{
    if (graphic_)
        graphic_->SaveToFile(fileName);
}

void TPicture::WriteData(TStream& stream) const
{
    const QByteArray name = graphic_ ? graphic_->ClassName().toLatin1().left(255) : QByteArray();
    const unsigned char len = static_cast<unsigned char>(name.size());
    stream.WriteBuffer(&len, 1);
    if (len)
        stream.WriteBuffer(name);
    if (graphic_)
        graphic_->WriteData(stream);
}

void TPicture::ReadData(TStream& stream)
{
    unsigned char len = 0;
    stream.ReadBuffer(&len, 1);
    if (len == 0) {
        SetGraphic(std::unique_ptr<TGraphic>());
        return;
    }
    QByteArray name(len, '\0');
    stream.ReadBuffer(name.data(), len);
    std::unique_ptr<TGraphic> g = CreateGraphic(QString::fromLatin1(name));
    if (!g)
        throw EInvalidGraphic(QStringLiteral("Неизвестный формат рисунка (%1)").arg(QString::fromLatin1(name)));
    g->ReadData(stream);
    SetGraphic(std::move(g));
}

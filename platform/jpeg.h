// JPEG pictures, read and written through the libjpeg 6 interface directly.
#pragma once

#include "platform/bitmap.h"

#include <QByteArray>
#include <QImage>

class TJPEGImage : public TGraphic {
public:
    TJPEGImage();
    ~TJPEGImage() override;

    QString ClassName() const override { return QStringLiteral("TJPEGImage"); }
    std::unique_ptr<TGraphic> Clone() const override;

    int Width() const override { return image_.width(); }
    int Height() const override { return image_.height(); }

    // 1..100 (default 90), used when the picture is compressed from pixels.
    int CompressionQuality() const { return quality_; }
    void SetCompressionQuality(int quality);
    bool Grayscale() const { return grayscale_; }
    // Compresses with one grey channel from now on.
    void SetGrayscale(bool value);

    // The JPEG file image: kept as read, or compressed from the pixels when they were assigned.
    const QByteArray& Data() const;

    void LoadFromStream(TStream& stream) override;
    void SaveToStream(TStream& stream) const override;
    void LoadFromBytes(const QByteArray& bytes);

    // Takes pixels from a bitmap (compressed at CompressionQuality) or another JPEG's data.
    void Assign(const TGraphic& source) override;
    QImage ToImage() const override { return image_; }
    // JPEG has no transparent colour; the flag is kept but drawing is opaque.

    // Decodes a JPEG file image to RGB32; raises EInvalidGraphic "JPEG error #n" style texts, and
    // "JPEG image is too large or not supported" for a picture too large to hold.
    static QImage Decode(const QByteArray& bytes);
    // Encodes an image as a baseline JPEG file image.
    static QByteArray Encode(const QImage& image, int quality, bool grayscale = false);

private:
    QImage image_;
    mutable QByteArray data_;
    mutable bool dataValid_ = false;
    int quality_ = 90;
    bool grayscale_ = false;
};

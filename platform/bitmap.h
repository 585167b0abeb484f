// Pictures: the abstract graphic, the bitmap over a QImage (BMP files), and the picture
// container that holds one graphic of any registered kind and loads files by extension.
#pragma once

#include "platform/exceptions.h"
#include "platform/types.h"

#include <QImage>
#include <QString>
#include <cstdint>
#include <functional>
#include <memory>

class TCanvas;
class TStream;

// A picture that cannot be read or a file of a kind that is not known.
class EInvalidGraphic : public Exception {
public:
    using Exception::Exception;
};

// The most pixels a picture read from a file or stream may have: a header claiming more is refused
// before anything is allocated for it (a few hundred bytes can claim gigabytes).
constexpr std::int64_t kMaxPicturePixels = std::int64_t(64) * 1024 * 1024;

class TGraphic {
public:
    virtual ~TGraphic();
    TGraphic() = default;
    TGraphic(const TGraphic&) = delete;
    TGraphic& operator=(const TGraphic&) = delete;

    // "TBitmap", "TJPEGImage": the name the picture container writes before the data.
    virtual QString ClassName() const = 0;
    virtual std::unique_ptr<TGraphic> Clone() const = 0;

    virtual int Width() const = 0;
    virtual int Height() const = 0;
    virtual bool Empty() const { return Width() <= 0 || Height() <= 0; }
    bool Transparent() const { return transparent_; }
    virtual void SetTransparent(bool value);

    // The file image of the graphic: LoadFromStream reads the rest of the stream.
    virtual void LoadFromStream(TStream& stream) = 0;
    virtual void SaveToStream(TStream& stream) const = 0;
    // Raise EFOpenError / EFCreateError for files, EInvalidGraphic for contents.
    void LoadFromFile(const QString& fileName);
    void SaveToFile(const QString& fileName) const;

    // The form the picture container stores: a 32-bit little-endian byte count, then the file image.
    virtual void ReadData(TStream& stream);
    virtual void WriteData(TStream& stream) const;

    // Takes the picture of another graphic (converting between kinds); fires OnChange.
    virtual void Assign(const TGraphic& source) = 0;
    // The pixels, as an RGB32 image (null when empty).
    virtual QImage ToImage() const = 0;
    // Draws stretched into r.
    virtual void Draw(TCanvas& canvas, const TRect& r) const;

    // Fired after the graphic changed (contents, size, transparency).
    std::function<void()> OnChange;

protected:
    void Changed();
    bool transparent_ = false;
};

enum TTransparentMode { tmAuto, tmFixed };

class TBitmap : public TGraphic {
public:
    TBitmap();
    TBitmap(int width, int height);  // filled white
    explicit TBitmap(const QImage& image);
    ~TBitmap() override;

    QString ClassName() const override { return QStringLiteral("TBitmap"); }
    std::unique_ptr<TGraphic> Clone() const override;

    // A bitmap with one side 0 has no pixels but keeps the other side, so that setting the width
    // and then the height of an empty bitmap gives that size.
    int Width() const override { return image_.isNull() ? emptyWidth_ : image_.width(); }
    int Height() const override { return image_.isNull() ? emptyHeight_ : image_.height(); }
    // Resizing keeps the pixels that still fit; new pixels are white.
    void SetWidth(int width) { SetSize(width, Height()); }
    void SetHeight(int height) { SetSize(Width(), height); }
    void SetSize(int width, int height);

    // A canvas over the bitmap; drawing on it fires OnChange.
    TCanvas& Canvas();
    // The pixels (RGB32). Call Modified() after changing them directly.
    QImage& Image();
    const QImage& Image() const { return image_; }
    void SetImage(const QImage& image);
    void Modified() { Changed(); }

    // tmAuto: the bottom-left pixel's colour; tmFixed: the colour set.
    TColor TransparentColor() const;
    // Sets the colour and switches to tmFixed.
    void SetTransparentColor(TColor color);
    TTransparentMode TransparentMode() const { return transparentMode_; }
    void SetTransparentMode(TTransparentMode mode);

    // BMP images: 1, 4, 8, 16, 24 and 32 bits, RLE too; written as 24-bit uncompressed.
    void LoadFromStream(TStream& stream) override;
    void SaveToStream(TStream& stream) const override;
    // BMP bytes of the bitmap.
    QByteArray SaveToBytes() const;

    // Copies a bitmap with its transparency, or any graphic's pixels.
    void Assign(const TGraphic& source) override;
    QImage ToImage() const override { return image_; }
    void Draw(TCanvas& canvas, const TRect& r) const override;

private:
    void ReleaseCanvas();

    QImage image_;

    int emptyWidth_ = 0;

    int emptyHeight_ = 0;
    std::unique_ptr<TCanvas> canvas_;
    TColor transparentColor_ = clDefault;
    TTransparentMode transparentMode_ = tmAuto;
};

// Holds one graphic (or none). Changes of the held graphic fire the picture's OnChange.
class TPicture {
public:
    TPicture();
    ~TPicture();
    TPicture(const TPicture&) = delete;
    TPicture& operator=(const TPicture&) = delete;

    TGraphic* Graphic() const { return graphic_.get(); }
    // Holds a copy of the graphic (null clears); fires OnChange.
    void SetGraphic(const TGraphic* graphic);
    // Takes the graphic over; fires OnChange.
    void SetGraphic(std::unique_ptr<TGraphic> graphic);
    // The held bitmap; when the graphic is not a bitmap it is replaced by an empty one.
    TBitmap& Bitmap();
    bool HasGraphic() const { return graphic_ != nullptr; }
    int Width() const { return graphic_ ? graphic_->Width() : 0; }
    int Height() const { return graphic_ ? graphic_->Height() : 0; }

    void Assign(const TPicture& source) { SetGraphic(source.Graphic()); }

    // Picks the kind by extension: "bmp", "jpg", "jpeg" (any letter case). An unknown extension
    // raises EInvalidGraphic; on any failure the picture keeps what it had.
    void LoadFromFile(const QString& fileName);
    void SaveToFile(const QString& fileName) const;

    // The stored form: the class name as a length byte and Latin-1 characters (0 for none), then
    // the graphic's own WriteData form.
    void ReadData(TStream& stream);
    void WriteData(TStream& stream) const;

    // A new, empty graphic of a class by name (TBitmap, TJPEGImage), null for an unknown one.
    static std::unique_ptr<TGraphic> CreateGraphic(const QString& className);

    std::function<void()> OnChange;

private:
    void Hook();
    void Changed();

    std::unique_ptr<TGraphic> graphic_;
};

#include "platform/imagelist.h"

#include "platform/bitmap.h"
#include "platform/canvas.h"

void TImageList::SetSize(int width, int height)
{
    if (width == width_ && height == height_)
        return;
    width_ = width;
    height_ = height;
    images_.clear();
}

int TImageList::Add(const QImage& image, std::optional<TColor> mask)
{
    const int first = Count();
    if (image.isNull() || width_ <= 0 || height_ <= 0)
        return -1;
    const QImage rgb = image.convertToFormat(QImage::Format_RGB32);
    const int n = std::max(1, rgb.width() / width_);
    for (int i = 0; i < n; ++i) {
        QImage part(width_, height_, QImage::Format_RGB32);
        part.fill(mask ? ToQColor(*mask) : QColor(Qt::white));
        const QImage src = rgb.copy(i * width_, 0, width_, std::min(height_, rgb.height()));
        for (int y = 0; y < src.height(); ++y)
            for (int x = 0; x < src.width(); ++x)
                part.setPixel(x, y, src.pixel(x, y));
        images_.push_back({part, mask});
    }
    return first;
}

int TImageList::AddMasked(const TBitmap& bitmap, TColor mask) { return Add(bitmap.Image(), mask); }

void TImageList::Replace(int index, const QImage& image, std::optional<TColor> mask)
{
    if (index < 0 || index > Count())
        return;
    TImageList one(width_, height_);
    one.Add(image, mask);
    if (one.images_.empty())
        return;
    if (index == Count())
        images_.push_back(one.images_.front());
    else
        images_[std::size_t(index)] = one.images_.front();
}

QImage TImageList::Image(int index) const
{
    if (index < 0 || index >= Count())
        return QImage();
    return images_[std::size_t(index)].image;
}

std::optional<TColor> TImageList::Mask(int index) const
{
    if (index < 0 || index >= Count())
        return std::nullopt;
    return images_[std::size_t(index)].mask;
}

void TImageList::Draw(TCanvas& canvas, int x, int y, int index, bool enabled) const
{
    if (index < 0 || index >= Count())
        return;
    const Item& item = images_[std::size_t(index)];
    QImage img = item.image;
    if (!enabled) {
        const QRgb key = item.mask ? (ToQColor(*item.mask).rgb() & 0xFFFFFFu) : 0x1000000u;
        for (int yy = 0; yy < img.height(); ++yy)
            for (int xx = 0; xx < img.width(); ++xx) {
                const QRgb v = img.pixel(xx, yy);
                if ((v & 0xFFFFFFu) == key)
                    continue;
                const int g = qGray(v) < 160 ? 0x80 : 0xC0;
                img.setPixel(xx, yy, qRgb(g, g, g));
            }
    }
    canvas.DrawImage(TRect(x, y, x + width_, y + height_), img, TRect(0, 0, width_, height_), item.mask);
}

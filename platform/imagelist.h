// A list of equally sized pictures drawn by index, each with an optional mask colour that is
// left out when drawing (the indicator glyphs and sort markers of grids, button images).
#pragma once

#include "platform/types.h"

#include <QImage>
#include <optional>
#include <vector>

class TCanvas;
class TBitmap;

class TImageList {
public:
    TImageList() = default;
    TImageList(int width, int height) : width_(width), height_(height) {}

    int Width() const { return width_; }
    int Height() const { return height_; }
    // Changing the size drops the images.
    void SetSize(int width, int height);
    int Count() const { return int(images_.size()); }
    void Clear() { images_.clear(); }

    // Adds the picture (cut into as many images as its width holds, at least one); pixels of
    // the mask colour are transparent. Returns the index of the first image added.
    int Add(const QImage& image, std::optional<TColor> mask = std::nullopt);
    int AddMasked(const TBitmap& bitmap, TColor mask);
    // Replaces image index (appends when index == Count()).
    void Replace(int index, const QImage& image, std::optional<TColor> mask = std::nullopt);
    // The picture of an image (RGB32; null for a bad index) and its mask colour.
    QImage Image(int index) const;
    std::optional<TColor> Mask(int index) const;

    // Draws image index with its top-left at (x, y); disabled images are drawn greyed.
    void Draw(TCanvas& canvas, int x, int y, int index, bool enabled = true) const;

private:
    struct Item {
        QImage image;
        std::optional<TColor> mask;
    };
    int width_ = 16;
    int height_ = 16;
    std::vector<Item> images_;
};

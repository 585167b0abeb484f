// Pixel helpers for the drawing tests.
#pragma once

#include "platform/types.h"

#include <QImage>

inline QImage FilledImage(int w, int h, TColor color = 0xFFFFFF)
{
    QImage img(w, h, QImage::Format_RGB32);
    img.fill(ToQColor(color));
    return img;
}

inline TColor PixelOf(const QImage& img, int x, int y)
{
    const QRgb v = img.pixel(x, y);
    return RGB(qRed(v), qGreen(v), qBlue(v));
}

inline int CountOf(const QImage& img, TColor c, int l, int t, int r, int b)
{
    int n = 0;
    for (int y = t; y < b; ++y)
        for (int x = l; x < r; ++x)
            if (PixelOf(img, x, y) == c)
                ++n;
    return n;
}

// Rightmost column in [l, r) holding a pixel that differs from the background; -1 if none.
inline int RightmostInk(const QImage& img, TColor background, int l, int t, int r, int b)
{
    for (int x = r - 1; x >= l; --x)
        for (int y = t; y < b; ++y)
            if (PixelOf(img, x, y) != background)
                return x;
    return -1;
}

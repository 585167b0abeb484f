// Small helpers for tests that check rendered pixels.
#pragma once

#include "platform/types.h"

#include <QImage>

inline QImage WhiteImage(int w, int h)
{
    QImage img(w, h, QImage::Format_RGB32);
    img.fill(Qt::white);
    return img;
}

inline TColor PixelAt(const QImage& img, int x, int y)
{
    const QRgb v = img.pixel(x, y);
    return RGB(qRed(v), qGreen(v), qBlue(v));
}

// Number of pixels of a colour inside [l, r) x [t, b).
inline int CountColor(const QImage& img, TColor c, int l, int t, int r, int b)
{
    int n = 0;
    for (int y = t; y < b; ++y)
        for (int x = l; x < r; ++x)
            if (PixelAt(img, x, y) == c)
                ++n;
    return n;
}

inline int CountColor(const QImage& img, TColor c) { return CountColor(img, c, 0, 0, img.width(), img.height()); }

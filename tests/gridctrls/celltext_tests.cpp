#include "grid/celltext.h"
#include "pixels.h"

#include "platform/bitmap.h"
#include "platform/canvas.h"
#include "platform/imagelist.h"

#include <gtest/gtest.h>

namespace {

void UseFont(TCanvas& c, TFontStyles style = {})
{
    c.Font().SetName("Arial");
    c.Font().SetHeight(-11);
    c.Font().SetColor(clBlack);
    c.Font().SetStyle(style);
    c.Brush().SetColor(clWhite);
}

}  // namespace

TEST(EllipsisText, FittingTextIsKeptAndHopelessTextBecomesDots)
{
    TCanvas c;
    UseFont(c);
    const QString text = "Channel sum";
    EXPECT_EQ(EllipsisText(text, c, 1000), text);
    EXPECT_EQ(EllipsisText(text, c, 1), "...");
    // The first cut drops two characters.
    const int almost = c.TextWidth(text) - 1;
    const QString cut = EllipsisText(text, c, almost);
    EXPECT_TRUE(cut.endsWith("..."));
    EXPECT_LE(c.TextWidth(cut), almost);
    EXPECT_LE(cut.size(), text.size() - 2 + 3);
    EXPECT_TRUE(text.startsWith(cut.chopped(3)));
}

TEST(WriteText, RightAlignedFastPathEndsThreePixelsBeforeTheEdge)
{
    QImage img = FilledImage(100, 20);
    TCanvas c(&img);
    UseFont(c);
    const TRect cell(10, 2, 90, 18);
    WriteTextEx(c, cell, false, 0, 0, false, false, tlTop, taRightJustify, "12345", 2, 2);
    c.Release();
    const int right = RightmostInk(img, 0xFFFFFF, 0, 0, 100, 20);
    EXPECT_LE(right, 90 - 3 - 1);
    EXPECT_GE(right, 90 - 3 - 3);
}

TEST(WriteText, LeftAndCentredPlacement)
{
    QImage img = FilledImage(100, 20);
    TCanvas c(&img);
    UseFont(c);
    WriteTextEx(c, TRect(0, 0, 100, 20), false, 0, 0, false, false, tlTop, taLeftJustify, "I", 2, 7);
    c.Release();
    const int firstInk = [&] {
        for (int x = 0; x < 100; ++x)
            for (int y = 0; y < 20; ++y)
                if (PixelOf(img, x, y) != 0xFFFFFF)
                    return x;
        return -1;
    }();
    EXPECT_GE(firstInk, 7);
    EXPECT_LE(firstInk, 9);

    QImage img2 = FilledImage(100, 20);
    TCanvas c2(&img2);
    UseFont(c2);
    const int w = c2.TextWidth("MMMM");
    WriteTextEx(c2, TRect(0, 0, 100, 20), false, 0, 0, false, false, tlTop, taCenter, "MMMM", 2, 2);
    c2.Release();
    const int right = RightmostInk(img2, 0xFFFFFF, 0, 0, 100, 20);
    EXPECT_NEAR(right, 50 - w / 2 + w - 1, 2);
}

TEST(WriteText, OnlyWrappedTextGoesThroughTheSharedBitmap)
{
    AcquireCellBitmap();
    AcquireCellBitmap();
    ASSERT_NE(SharedCellBitmap(), nullptr);
    EXPECT_EQ(SharedCellBitmap()->Width(), 1);
    QImage img = FilledImage(120, 40);
    TCanvas c(&img);
    UseFont(c);
    WriteTextEx(c, TRect(0, 0, 60, 30), false, 0, 0, false, false, tlTop, taLeftJustify, "one two", 2, 2);
    EXPECT_EQ(SharedCellBitmap()->Width(), 1);
    c.Brush().SetColor(clYellow);
    WriteTextEx(c, TRect(0, 0, 60, 30), false, 0, 0, false, true, tlTop, taLeftJustify, "one two three four", 2, 2);
    EXPECT_EQ(SharedCellBitmap()->Width(), 60);
    EXPECT_EQ(SharedCellBitmap()->Height(), 30);
    // Smaller cells never shrink it.
    WriteTextEx(c, TRect(0, 0, 20, 10), false, 0, 0, false, true, tlTop, taLeftJustify, "x", 0, 0);
    EXPECT_EQ(SharedCellBitmap()->Width(), 60);
    c.Release();
    // The cell was filled with the brush and the wrapped text reached a second line.
    EXPECT_EQ(PixelOf(img, 58, 28), 0x00FFFFu);
    EXPECT_GT(CountOf(img, 0x000000, 0, 16, 60, 30), 0);
    ReleaseCellBitmap();
    EXPECT_NE(SharedCellBitmap(), nullptr);
    ReleaseCellBitmap();
    EXPECT_EQ(SharedCellBitmap(), nullptr);
}

TEST(WriteText, WrappedTextCentredVertically)
{
    QImage img = FilledImage(60, 60);
    TCanvas c(&img);
    UseFont(c);
    WriteTextEx(c, TRect(0, 0, 60, 60), false, 0, 0, false, true, tlCenter, taLeftJustify, "mid", 0, 0);
    c.Release();
    EXPECT_EQ(CountOf(img, 0x000000, 0, 0, 60, 20), 0);
    EXPECT_GT(CountOf(img, 0x000000, 0, 20, 60, 40), 0);
    EXPECT_EQ(CountOf(img, 0x000000, 0, 40, 60, 60), 0);
}

TEST(VerticalText, ItalicNeedsMoreLengthAndTextReadsUpwards)
{
    TCanvas c;
    UseFont(c);
    const TRect cell(0, 0, 20, 100);
    const int upright = WriteTextVerticalEx(c, cell, true, true, false, tlBottom, taLeftJustify, "Flag", 0, 0);
    c.Font().SetStyle({fsItalic});
    const int italic = WriteTextVerticalEx(c, cell, true, true, false, tlBottom, taLeftJustify, "Flag", 0, 0);
    EXPECT_GT(italic, upright);
    EXPECT_EQ(c.Font().Orientation(), 0);

    QImage img = FilledImage(20, 100);
    TCanvas d(&img);
    UseFont(d);
    const int needed = WriteTextVerticalEx(d, cell, true, false, false, tlBottom, taLeftJustify, "Flag", 2, 2);
    d.Release();
    // Laid out at the bottom: the ink lies in the lowest `needed` pixels.
    EXPECT_EQ(CountOf(img, 0x000000, 0, 0, 20, 100 - 2 - needed - 1), 0);
    EXPECT_GT(CountOf(img, 0x000000, 0, 100 - 2 - needed, 20, 100), 0);
    EXPECT_EQ(CreateVerticalFont(d.Font()).Orientation(), 900);
}

TEST(CellImages, LargePictureIsClippedAndTheClipRestored)
{
    TImageList images(30, 30);
    QImage red(30, 30, QImage::Format_RGB32);
    red.fill(Qt::red);
    images.Add(red);
    QImage img = FilledImage(60, 60);
    TCanvas c(&img);
    const TRegion before = TRegion::Rect(0, 0, 50, 50);
    c.SelectClipRgn(before);
    DrawCellImage(images, 0, c, taCenter, 0, TRect(10, 10, 30, 30));
    ASSERT_TRUE(c.ClipRegion().has_value());
    EXPECT_EQ(*c.ClipRegion(), before);
    c.SelectClipRgn(std::nullopt);
    c.Release();
    EXPECT_EQ(PixelOf(img, 10, 10), 0x0000FFu);
    EXPECT_EQ(PixelOf(img, 29, 29), 0x0000FFu);
    EXPECT_EQ(PixelOf(img, 9, 20), 0xFFFFFFu);
    EXPECT_EQ(PixelOf(img, 30, 20), 0xFFFFFFu);

    TBitmap small(4, 4);
    small.Canvas().Brush().SetColor(clBlue);
    small.Canvas().FillRect(TRect(0, 0, 4, 4));
    QImage img2 = FilledImage(40, 20);
    TCanvas c2(&img2);
    DrawCellImage(small, c2, taRightJustify, 0, TRect(0, 0, 40, 20));
    EXPECT_FALSE(c2.ClipRegion().has_value());
    c2.Release();
    EXPECT_EQ(PixelOf(img2, 39, 8), 0xFF0000u);
    EXPECT_EQ(PixelOf(img2, 35, 8), 0xFFFFFFu);
}

TEST(CellMeasuring, OverflowAndWidth)
{
    TCanvas c;
    UseFont(c);
    int h = 0, w = 0;
    EXPECT_FALSE(CellTextOverflows(c, 2, 2, h, w, false, TRect(0, 0, 200, 20), "short"));
    EXPECT_EQ(w, c.TextWidth("short"));
    EXPECT_TRUE(CellTextOverflows(c, 2, 2, h, w, false, TRect(0, 0, 20, 20), "a much longer text"));
    EXPECT_TRUE(CellTextOverflows(c, 2, 2, h, w, true, TRect(0, 0, 60, 16), "a much longer text"));
    EXPECT_EQ(CalcTextWidth(c, "abc"), c.TextWidth("abc"));
}

TEST(GridRoutines, SmallHelpers)
{
    EXPECT_EQ(TransposeRect(TRect(5, 6, 15, 10)), TRect(5, 6, 9, 16));
    EXPECT_TRUE(PointInRectInclusive(TPoint(15, 10), TRect(5, 6, 15, 10)));
    EXPECT_FALSE(PointInRectInclusive(TPoint(16, 10), TRect(5, 6, 15, 10)));
    EXPECT_TRUE(FieldsCanModify({}));
    EXPECT_THROW(RaiseGridOperationError("Grid in design mode"), EInvalidGridOperation);
    EXPECT_EQ(AlignmentFlags(taRightJustify), 0x842u);
    EXPECT_EQ(VerticalTextAlignmentFlags(taCenter), 0x851u);
}

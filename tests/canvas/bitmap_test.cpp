#include "platform/bitmap.h"
#include "platform/canvas.h"
#include "platform/jpeg.h"
#include "platform/streams.h"

#include "pixels.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

// A bitmap with four coloured quadrants.
std::unique_ptr<TBitmap> Quadrants(int w, int h)
{
    auto bmp = std::make_unique<TBitmap>(w, h);
    TCanvas& c = bmp->Canvas();
    c.Brush().SetColor(clRed);
    c.FillRect(TRect(0, 0, w / 2, h / 2));
    c.Brush().SetColor(clLime);
    c.FillRect(TRect(w / 2, 0, w, h / 2));
    c.Brush().SetColor(clBlue);
    c.FillRect(TRect(0, h / 2, w / 2, h));
    c.Brush().SetColor(clWhite);
    c.FillRect(TRect(w / 2, h / 2, w, h));
    return bmp;
}

bool Near(TColor a, TColor b, int tolerance)
{
    return std::abs(GetRValue(a) - GetRValue(b)) <= tolerance && std::abs(GetGValue(a) - GetGValue(b)) <= tolerance &&
           std::abs(GetBValue(a) - GetBValue(b)) <= tolerance;
}

TEST(BitmapTest, BmpRoundTripKeepsEveryPixel)
{
    auto bmpOwner = Quadrants(7, 5);
    TBitmap& bmp = *bmpOwner;  // odd width: rows are padded
    bmp.Canvas().SetPixel(6, 4, 0x123456);
    TMemoryStream stream;
    bmp.SaveToStream(stream);
    EXPECT_EQ(stream.Size(), 54 + 24 * 5);
    EXPECT_EQ(stream.Bytes().left(2), QByteArray("BM"));
    stream.SetPosition(0);
    TBitmap back;
    back.LoadFromStream(stream);
    ASSERT_EQ(back.Width(), 7);
    ASSERT_EQ(back.Height(), 5);
    EXPECT_EQ(back.Image(), bmp.Image());
    EXPECT_EQ(PixelAt(back.Image(), 6, 4), 0x123456u);
}

TEST(BitmapTest, InvalidDataRaisesAndKeepsThePicture)
{
    auto bmpOwner = Quadrants(4, 4);
    TBitmap& bmp = *bmpOwner;
    TMemoryStream junk(QByteArray("BMxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxx"));
    EXPECT_THROW(bmp.LoadFromStream(junk), EInvalidGraphic);
    TMemoryStream notBmp(QByteArray("hello"));
    EXPECT_THROW(bmp.LoadFromStream(notBmp), EInvalidGraphic);
    EXPECT_EQ(bmp.Width(), 4);
}

TEST(BitmapTest, ResizeKeepsPixelsAndNotifies)
{
    auto bmpOwner = Quadrants(4, 4);
    TBitmap& bmp = *bmpOwner;
    int changes = 0;
    bmp.OnChange = [&] { ++changes; };
    bmp.SetSize(6, 2);
    EXPECT_EQ(changes, 1);
    EXPECT_EQ(PixelAt(bmp.Image(), 0, 0), clRed);
    EXPECT_EQ(PixelAt(bmp.Image(), 2, 0), clLime);
    EXPECT_EQ(PixelAt(bmp.Image(), 5, 1), clWhite);
    bmp.Canvas().SetPixel(0, 0, clBlack);
    EXPECT_EQ(changes, 2);
    bmp.SetSize(0, 0);
    EXPECT_TRUE(bmp.Empty());
}

TEST(BitmapTest, WidthThenHeightOfAnEmptyBitmapGivesThatSize)
{
    TBitmap bmp;
    bmp.SetWidth(40);
    EXPECT_TRUE(bmp.Empty());
    EXPECT_EQ(bmp.Width(), 40);
    bmp.SetHeight(30);
    EXPECT_EQ(bmp.Width(), 40);
    EXPECT_EQ(bmp.Height(), 30);
    EXPECT_EQ(bmp.Image().size(), QSize(40, 30));
}

TEST(BitmapTest, TransparentColourIsBottomLeftUntilFixed)
{
    auto bmpOwner = Quadrants(4, 4);
    TBitmap& bmp = *bmpOwner;
    EXPECT_EQ(bmp.TransparentColor(), clBlue);
    EXPECT_EQ(bmp.TransparentMode(), tmAuto);
    bmp.SetTransparentColor(clRed);
    EXPECT_EQ(bmp.TransparentMode(), tmFixed);
    EXPECT_EQ(bmp.TransparentColor(), clRed);
}

TEST(BitmapTest, TransparentBitmapLeavesItsKeyColourOut)
{
    auto spriteOwner = Quadrants(4, 4);
    TBitmap& sprite = *spriteOwner;
    sprite.SetTransparentColor(clLime);
    sprite.SetTransparent(true);
    QImage img = WhiteImage(20, 20);
    img.fill(QColor(Qt::black));
    TCanvas canvas(&img);
    canvas.Draw(2, 2, sprite);
    EXPECT_EQ(PixelAt(img, 2, 2), clRed);
    EXPECT_EQ(PixelAt(img, 4, 2), clBlack);  // lime was transparent
    EXPECT_EQ(PixelAt(img, 2, 4), clBlue);
    // Stretched to double size.
    canvas.StretchDraw(TRect(10, 10, 18, 18), sprite);
    EXPECT_EQ(PixelAt(img, 11, 11), clRed);
    EXPECT_EQ(PixelAt(img, 15, 11), clBlack);
    EXPECT_EQ(PixelAt(img, 17, 17), clWhite);
    // Opaque drawing copies everything.
    sprite.SetTransparent(false);
    canvas.Draw(0, 0, sprite);
    EXPECT_EQ(PixelAt(img, 2, 0), clLime);
}

TEST(BitmapTest, CopyRectCopiesBetweenCanvasesWithClipping)
{
    auto srcOwner = Quadrants(10, 10);
    TBitmap& src = *srcOwner;
    QImage img = WhiteImage(20, 20);
    TCanvas canvas(&img);
    canvas.IntersectClipRect(TRect(0, 0, 20, 3));
    canvas.CopyRect(TRect(0, 0, 5, 5), src.Canvas(), TRect(5, 0, 10, 5));
    EXPECT_EQ(PixelAt(img, 2, 2), clLime);
    EXPECT_EQ(PixelAt(img, 2, 3), clWhite);
    // A canvas may copy from itself.
    src.Canvas().CopyRect(TRect(0, 0, 5, 5), src.Canvas(), TRect(5, 5, 10, 10));
    EXPECT_EQ(PixelAt(src.Image(), 1, 1), clWhite);
}

TEST(JpegTest, EncodeDecodeRoundTripIsClose)
{
    auto bmpOwner = Quadrants(32, 32);
    TBitmap& bmp = *bmpOwner;
    TJPEGImage jpeg;
    jpeg.SetCompressionQuality(95);
    jpeg.Assign(bmp);
    TMemoryStream stream;
    jpeg.SaveToStream(stream);
    const QByteArray data = stream.Bytes();
    ASSERT_GT(data.size(), 100);
    EXPECT_EQ(uchar(data[0]), 0xFF);
    EXPECT_EQ(uchar(data[1]), 0xD8);

    stream.SetPosition(0);
    TJPEGImage back;
    back.LoadFromStream(stream);
    ASSERT_EQ(back.Width(), 32);
    ASSERT_EQ(back.Height(), 32);
    const QImage img = back.ToImage();
    EXPECT_TRUE(Near(PixelAt(img, 4, 4), clRed, 24));
    EXPECT_TRUE(Near(PixelAt(img, 28, 4), clLime, 24));
    EXPECT_TRUE(Near(PixelAt(img, 4, 28), clBlue, 24));
    EXPECT_TRUE(Near(PixelAt(img, 28, 28), clWhite, 24));
    // Unchanged data is written back as it was read.
    TMemoryStream again;
    back.SaveToStream(again);
    EXPECT_EQ(again.Bytes(), data);
}

TEST(JpegTest, GrayscaleAndBadData)
{
    auto bmpOwner = Quadrants(16, 16);
    TBitmap& bmp = *bmpOwner;
    const QByteArray gray = TJPEGImage::Encode(bmp.Image(), 90, true);
    const QImage img = TJPEGImage::Decode(gray);
    const TColor c = PixelAt(img, 2, 2);
    EXPECT_EQ(GetRValue(c), GetGValue(c));
    EXPECT_EQ(GetGValue(c), GetBValue(c));
    EXPECT_THROW(TJPEGImage::Decode(QByteArray("not a jpeg at all")), EInvalidGraphic);
    EXPECT_THROW(TJPEGImage::Decode(QByteArray()), EInvalidGraphic);
    QByteArray cut = gray.left(20);
    TJPEGImage j;
    EXPECT_THROW(j.LoadFromBytes(cut), EInvalidGraphic);
    EXPECT_TRUE(j.Empty());
}

// A real JPEG file image whose frame header is made to claim another size.
QByteArray JpegClaiming(int width, int height)
{
    QByteArray data = TJPEGImage::Encode(Quadrants(16, 16)->Image(), 90);
    const int sof = int(data.indexOf(QByteArray("\xFF\xC0", 2)));
    EXPECT_GT(sof, 0);
    data[sof + 5] = char(height >> 8);
    data[sof + 6] = char(height);
    data[sof + 7] = char(width >> 8);
    data[sof + 8] = char(width);
    return data;
}

// An 8-bit RLE bitmap header claiming a size, with a single end-of-picture code as its data.
QByteArray BmpClaiming(std::int32_t width, std::int32_t height)
{
    QByteArray d(54 + 256 * 4 + 2, '\0');
    auto put = [&](int at, std::uint32_t v) {
        for (int i = 0; i < 4; ++i)
            d[at + i] = char(v >> (8 * i));
    };
    d[0] = 'B';
    d[1] = 'M';
    put(2, std::uint32_t(d.size()));
    put(10, 54 + 256 * 4);
    put(14, 40);
    put(18, std::uint32_t(width));
    put(22, std::uint32_t(height));
    d[26] = 1;
    d[28] = 8;
    put(30, 1);   // RLE8
    d[d.size() - 1] = 1;   // 00 01: end of picture
    return d;
}

const QString kJpegTooLarge = QStringLiteral("Рисунок JPEG слишком велик или не поддерживается");
const QString kBitmapNotValid = QStringLiteral("Точечный рисунок поврежден или имеет неизвестный формат");

QString GraphicError(const std::function<void()>& f)
{
    try {
        f();
    } catch (const EInvalidGraphic& e) {
        return e.Message();
    }
    return QStringLiteral("<no error>");
}

// Past 65500 pixels a side the JPEG library refuses the picture itself, before our own limit:
// it is as clearly too large as any other, read or written.
TEST(PictureLimitTest, JpegWiderThanTheLibraryTakesIsTooLarge)
{
    for (const QSize size : {QSize(65501, 1), QSize(65535, 16), QSize(1, 65535)}) {
        SCOPED_TRACE(std::to_string(size.width()) + " x " + std::to_string(size.height()));
        EXPECT_EQ(GraphicError([&] { TJPEGImage::Decode(JpegClaiming(size.width(), size.height())); }),
                  kJpegTooLarge);
    }
    EXPECT_EQ(TJPEGImage::Decode(JpegClaiming(65500, 1)).size(), QSize(65500, 1));  // the largest it takes

    QImage wide(65501, 1, QImage::Format_RGB32);
    wide.fill(Qt::white);
    EXPECT_EQ(GraphicError([&] { TJPEGImage::Encode(wide, 90); }), kJpegTooLarge);
    TJPEGImage jpeg;
    TBitmap bmp;
    bmp.SetSize(65501, 1);
    jpeg.Assign(bmp);
    TMemoryStream out;
    EXPECT_EQ(GraphicError([&] { jpeg.SaveToStream(out); }), kJpegTooLarge);
}

TEST(PictureLimitTest, HugeClaimedSizesAreRefusedBeforeDecoding)
{
    // 16000 x 16000 from a few hundred bytes used to take gigabytes and seconds.
    const QByteArray huge = JpegClaiming(16000, 16000);
    ASSERT_LT(huge.size(), 1000);
    EXPECT_EQ(GraphicError([&] { TJPEGImage::Decode(huge); }), kJpegTooLarge);
    EXPECT_EQ(GraphicError([&] { TJPEGImage::Decode(JpegClaiming(8193, 8192)); }),
              kJpegTooLarge);
    EXPECT_EQ(TJPEGImage::Decode(JpegClaiming(40, 20)).size(), QSize(40, 20));   // truncated, still shown

    // The same inside the picture data of a stored picture, which is how schemes hold them.
    TPicture pic;
    TMemoryStream stored;
    const QByteArray name("TJPEGImage");
    stored.WriteBuffer(QByteArray(1, char(name.size())) + name);
    const std::int32_t size = std::int32_t(huge.size());
    stored.WriteBuffer(&size, 4);
    stored.WriteBuffer(huge);
    stored.SetPosition(0);
    EXPECT_EQ(GraphicError([&] { pic.ReadData(stored); }), kJpegTooLarge);
    EXPECT_FALSE(pic.HasGraphic());

    TBitmap bmp;
    TMemoryStream bmpStream(BmpClaiming(9000, -9000));
    EXPECT_EQ(GraphicError([&] { bmp.LoadFromStream(bmpStream); }), kBitmapNotValid);
    TMemoryStream minInt(BmpClaiming(2, INT32_MIN));
    EXPECT_EQ(GraphicError([&] { bmp.LoadFromStream(minInt); }), kBitmapNotValid);
    TMemoryStream small(BmpClaiming(30, -20));
    bmp.LoadFromStream(small);
    EXPECT_EQ(bmp.Width(), 30);
    EXPECT_EQ(bmp.Height(), 20);
}

TEST(PictureTest, LoadsByExtensionAndRejectsUnknown)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    auto bmpOwner = Quadrants(8, 8);
    TBitmap& bmp = *bmpOwner;
    bmp.SaveToFile(dir.filePath(QStringLiteral("a.BMP")));
    TJPEGImage jpeg;
    jpeg.Assign(bmp);
    jpeg.SaveToFile(dir.filePath(QStringLiteral("b.jpeg")));

    TPicture pic;
    int changes = 0;
    pic.OnChange = [&] { ++changes; };
    pic.LoadFromFile(dir.filePath(QStringLiteral("a.BMP")));
    ASSERT_NE(pic.Graphic(), nullptr);
    EXPECT_EQ(pic.Graphic()->ClassName(), QStringLiteral("TBitmap"));
    pic.LoadFromFile(dir.filePath(QStringLiteral("b.jpeg")));
    EXPECT_EQ(pic.Graphic()->ClassName(), QStringLiteral("TJPEGImage"));
    EXPECT_EQ(pic.Width(), 8);
    EXPECT_EQ(changes, 2);
    EXPECT_THROW(pic.LoadFromFile(dir.filePath(QStringLiteral("c.gif"))), EInvalidGraphic);
    EXPECT_THROW(pic.LoadFromFile(dir.filePath(QStringLiteral("missing.bmp"))), EFOpenError);
    EXPECT_EQ(pic.Graphic()->ClassName(), QStringLiteral("TJPEGImage"));

    // Changes of the held graphic reach the picture.
    TBitmap& held = pic.Bitmap();
    const int before = changes;
    held.SetSize(3, 3);
    EXPECT_EQ(changes, before + 1);
}

TEST(PictureTest, StreamDataNamesTheClassAndRoundTrips)
{
    TPicture pic;
    auto bmpOwner = Quadrants(5, 3);
    TBitmap& bmp = *bmpOwner;
    pic.SetGraphic(&bmp);
    TMemoryStream stream;
    pic.WriteData(stream);
    const QByteArray bytes = stream.Bytes();
    EXPECT_EQ(bytes.left(8), QByteArray("\x07TBitmap"));
    const int size = uchar(bytes[8]) | (uchar(bytes[9]) << 8);
    EXPECT_EQ(size, bytes.size() - 12);
    EXPECT_EQ(bytes.mid(12, 2), QByteArray("BM"));

    stream.SetPosition(0);
    TPicture back;
    back.ReadData(stream);
    ASSERT_NE(back.Graphic(), nullptr);
    EXPECT_EQ(static_cast<TBitmap*>(back.Graphic())->Image(), bmp.Image());

    TPicture empty;
    TMemoryStream e;
    empty.WriteData(e);
    EXPECT_EQ(e.Bytes(), QByteArray(1, '\0'));
    e.SetPosition(0);
    back.ReadData(e);
    EXPECT_FALSE(back.HasGraphic());

    // A size beyond the data is an error, not a read past the end.
    QByteArray bad = bytes;
    bad[8] = char(0xFF);
    bad[9] = char(0x7F);
    TMemoryStream b(bad);
    EXPECT_ANY_THROW(back.ReadData(b));
    TMemoryStream unknown(QByteArray("\x04TGif\x00\x00\x00\x00", 9));
    EXPECT_THROW(back.ReadData(unknown), EInvalidGraphic);
}

}  // namespace

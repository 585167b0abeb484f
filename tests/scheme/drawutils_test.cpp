#include "platform/bitmap.h"
#include "platform/canvas.h"
#include "scheme/drawutils.h"

#include <gtest/gtest.h>

#include <QImage>
#include <set>

namespace {

std::vector<uint32_t> Ranges(const TIdPool& pool)
{
    return pool.Ranges();
}

TColor PixelAt(const QImage& img, int x, int y)
{
    return FromQColor(QColor(img.pixel(x, y)));
}

}  // namespace

TEST(IdPool, GeneratesSmallestFreeAndMergesRanges)
{
    TIdPool pool;
    EXPECT_EQ(pool.Generate(), 1u);
    EXPECT_EQ(pool.Generate(), 2u);
    EXPECT_EQ(pool.Generate(), 3u);
    EXPECT_TRUE(pool.Release(2));
    EXPECT_EQ(Ranges(pool), (std::vector<uint32_t>{1, 1, 3, 3}));
    EXPECT_EQ(pool.Generate(), 2u);
    EXPECT_EQ(Ranges(pool), (std::vector<uint32_t>{1, 3}));
    EXPECT_TRUE(pool.Use(5));
    EXPECT_TRUE(pool.Use(4));
    EXPECT_EQ(Ranges(pool), (std::vector<uint32_t>{1, 5}));
    EXPECT_FALSE(pool.Use(4));
}

TEST(IdPool, ZeroIsNeverAnIdAndReleaseSplitsRanges)
{
    TIdPool pool;
    EXPECT_FALSE(pool.Use(0));
    EXPECT_FALSE(pool.Release(0));
    EXPECT_FALSE(pool.Used(0));
    for (uint32_t id = 1; id <= 5; ++id)
        pool.Use(id);
    EXPECT_TRUE(pool.Release(3));
    EXPECT_EQ(Ranges(pool), (std::vector<uint32_t>{1, 2, 4, 5}));
    EXPECT_FALSE(pool.Used(3));
    EXPECT_TRUE(pool.Used(4));
    EXPECT_FALSE(pool.Release(3));
    EXPECT_FALSE(pool.Release(9));
    // first range starting at 2 takes 1 in front
    TIdPool other;
    other.Use(2);
    EXPECT_EQ(other.Generate(), 1u);
    EXPECT_EQ(Ranges(other), (std::vector<uint32_t>{1, 2}));
}

TEST(IdPool, RandomUseAndReleaseMatchesASet)
{
    TIdPool pool;
    std::set<uint32_t> used;
    uint32_t seed = 12345;
    for (int i = 0; i < 3000; ++i) {
        seed = seed * 1103515245u + 12345u;
        const uint32_t id = 1 + (seed >> 16) % 64;
        if (seed & 1) {
            EXPECT_EQ(pool.Use(id), used.insert(id).second);
        } else {
            EXPECT_EQ(pool.Release(id), used.erase(id) == 1);
        }
    }
    for (uint32_t id = 1; id <= 70; ++id)
        EXPECT_EQ(pool.Used(id), used.count(id) == 1) << id;
    const auto& r = pool.Ranges();
    for (std::size_t i = 2; i < r.size(); i += 2)
        EXPECT_GT(r[i], r[i - 1] + 1) << "ranges must be disjoint and not adjacent";
}

TEST(NotifyLink, SubscribeCountsAndUnsubscribeRemovesBothSides)
{
    int ownerA = 0;
    int ownerB = 0;
    TNotifyLink a(&ownerA);
    TNotifyLink b(&ownerB);
    EXPECT_EQ(a.Subscribe(&b), 1);
    EXPECT_EQ(a.Subscribe(&b), 2);
    EXPECT_EQ(b.CountOf(&a), 0);
    EXPECT_EQ(a.Unsubscribe(&b), 1);
    EXPECT_EQ(a.Unsubscribe(&b), 0);
    EXPECT_EQ(a.LinkCount(), 0);
    EXPECT_EQ(b.LinkCount(), 0);
    EXPECT_EQ(a.Subscribe(nullptr), -1);
    EXPECT_THROW(TNotifyLink(nullptr), Exception);
}

TEST(NotifyLink, NotifiesSubscribersAndTellsThemWhenItGoes)
{
    int ownerA = 0;
    int ownerB = 0;
    auto a = std::make_unique<TNotifyLink>(&ownerA);
    TNotifyLink b(&ownerB);
    std::vector<int> codes;
    b.OnNotify = [&](TNotifyLink* sender, TNotifyLink* source, const TNotifyInfo& info) {
        EXPECT_EQ(sender, &b);
        EXPECT_EQ(source, a.get());
        codes.push_back(info.Code);
    };
    TNotifyLink* freed = nullptr;
    b.OnFreeNotify = [&](TNotifyLink*, TNotifyLink* source, const TNotifyInfo& info) {
        EXPECT_EQ(info.Kind, TNotifyKind::Destroy);
        freed = source;
    };
    a->Subscribe(&b);
    EXPECT_EQ(a->ControlNotify(nullptr, 7), 1);
    EXPECT_EQ(codes, std::vector<int>{7});
    TNotifyLink* raw = a.get();
    a.reset();
    EXPECT_EQ(freed, raw);
    EXPECT_EQ(b.LinkCount(), 0) << "the subscriber must not keep a pointer to the freed link";
}

TEST(NotifyLink, DestroyingLinkRefusesSubscriptionsAndNotifiesNobody)
{
    int owner = 0;
    TNotifyLink a(&owner);
    TNotifyLink b(&owner);
    int calls = 0;
    b.OnNotify = [&](TNotifyLink*, TNotifyLink*, const TNotifyInfo&) { ++calls; };
    a.Subscribe(&b);
    a.OnFreeNotify = [&](TNotifyLink* self, TNotifyLink* source, const TNotifyInfo&) {
        EXPECT_EQ(source, nullptr);
        EXPECT_EQ(self->Subscribe(&b), -1);
        EXPECT_EQ(self->Notify(TNotifyInfo{}), 0);
    };
    a.DestroyNotify();
    EXPECT_TRUE(a.Destroying());
    EXPECT_EQ(calls, 0);
}

TEST(TextRoutines, ExtractWordAndBeginsFrom)
{
    EXPECT_EQ(ExtractWord(QByteArray("a=b=c"), 2, '='), "b");
    EXPECT_EQ(ExtractWord(QByteArray("a=b=c"), 3, '='), "c");
    EXPECT_EQ(ExtractWord(QByteArray("a=b=c"), 4, '='), "");
    EXPECT_EQ(ExtractWord(QByteArray("=b"), 1, '='), "");
    EXPECT_EQ(ExtractWord(QByteArray("a==c"), 2, '='), "");
    EXPECT_EQ(ExtractWord(QByteArray("abc"), 0, '='), "");
    EXPECT_TRUE(StrBeginsFrom(QByteArray("objects"), QByteArray("object")));
    EXPECT_TRUE(StrBeginsFrom(QByteArray(""), QByteArray("end")));
    EXPECT_FALSE(StrBeginsFrom(QByteArray("End"), QByteArray("end")));
}

TEST(TextRoutines, HexAcceptsOnlyHexDigits)
{
    EXPECT_EQ(HexToByte('F', '0'), 240);
    EXPECT_EQ(HexToByte('a', 'b'), 0xAB);
    EXPECT_EQ(ByteToHex(10), "0A");
    EXPECT_EQ(ByteToHex(255), "FF");
    EXPECT_THROW(HexToByte(':', '0'), EDrawFormatError);
    EXPECT_THROW(HexToByte('0', 'G'), EDrawFormatError);
    EXPECT_THROW(HexToByte(char(0xC8), '0'), EDrawFormatError);
    try {
        HexToByte('Z', 'Z');
    } catch (const Exception& e) {
        EXPECT_EQ(e.Message(), "Data format error");
    }
}

TEST(Units, ScaleAndPixelConversions)
{
    EXPECT_EQ(DocToPixel(-1500), -1);
    EXPECT_EQ(ScaleValue(1500, 100), 2);
    EXPECT_EQ(UnScaleValue(2, 100), 2000);
    EXPECT_EQ(PixelToDoc(3), 3000);
    EXPECT_EQ(PixelToDoc(3000000), INT_MAX) << "document units saturate instead of wrapping";
    EXPECT_EQ(PixelToDoc(-3000000), INT_MIN);
    const int items[] = {1, 3, 5, 7};
    EXPECT_EQ(ListScanLess(4, items, 4), 2);
    EXPECT_EQ(ListScanLess(9, items, 4), 4);
    EXPECT_EQ(ListScanLess(9, items, 0), 0);
    EXPECT_EQ(ListIndexOf(5, items, 4), 2);
    EXPECT_EQ(ListIndexOfRange(7, items, 2, 4), 1);
    EXPECT_EQ(ListIndexOfRange(7, items, 2, 2), -1);
}

TEST(Gradient, HorizontalBandsRunFromBeginToEndColour)
{
    EXPECT_EQ(GradientSteps(TRect(0, 0, 100, 10), gsHorizontal, clBlack, clWhite), 100);
    EXPECT_EQ(GradientSteps(TRect(0, 0, 300, 10), gsHorizontal, clBlack, clWhite), 255);
    EXPECT_EQ(GradientSteps(TRect(0, 0, 300, 10), gsHorizontal, clRed, clRed), 1);

    QImage img(120, 20, QImage::Format_RGB32);
    img.fill(Qt::green);
    TCanvas canvas(&img);
    PaintGradient(canvas, TRect(10, 5, 110, 15), gsHorizontal, clBlack, clWhite, pmCopy);
    canvas.Release();
    EXPECT_EQ(PixelAt(img, 10, 5), clBlack);
    EXPECT_EQ(PixelAt(img, 109, 14), clWhite);
    const int mid = GetRValue(PixelAt(img, 60, 10));
    EXPECT_NEAR(mid, 128, 4);
    // exclusive right and bottom edges: nothing painted outside the rectangle
    EXPECT_EQ(PixelAt(img, 110, 10), TColor(0x00FF00));
    EXPECT_EQ(PixelAt(img, 50, 15), TColor(0x00FF00));
    EXPECT_EQ(PixelAt(img, 9, 10), TColor(0x00FF00));
    EXPECT_EQ(canvas.Pen().Mode(), pmCopy);
}

TEST(Gradient, CornerStyleEndsInBeginColourAtItsCorner)
{
    QImage img(50, 50, QImage::Format_RGB32);
    img.fill(Qt::green);
    TCanvas canvas(&img);
    PaintGradient(canvas, TRect(0, 0, 50, 50), gsTopLeft, clRed, clBlue, pmCopy);
    canvas.Release();
    EXPECT_EQ(PixelAt(img, 0, 0), clRed);
    EXPECT_EQ(PixelAt(img, 49, 49), clBlue);
    EXPECT_EQ(PixelAt(img, 49, 0), clBlue);
}

TEST(Gradient, EqualColoursPaintOneBand)
{
    QImage img(30, 30, QImage::Format_RGB32);
    img.fill(Qt::green);
    TCanvas canvas(&img);
    PaintGradient(canvas, TRect(0, 0, 30, 30), gsVertical, clNavy, clNavy, pmCopy);
    canvas.Release();
    for (int y : {0, 15, 29})
        EXPECT_EQ(PixelAt(img, 15, y), clNavy);
}

TEST(TiledBitmap, ClipInTheMiddleOfATileContinuesTheTiling)
{
    TBitmap tile(4, 4);
    tile.Image().fill(Qt::white);
    tile.Image().setPixel(0, 0, qRgb(255, 0, 0));
    tile.Modified();
    QImage img(40, 40, QImage::Format_RGB32);
    img.fill(Qt::green);
    TCanvas canvas(&img);
    TBitmapCache cache;
    PaintBitmap(canvas, TRect(2, 2, 30, 30), TRect(7, 7, 20, 20), &cache, &tile);
    canvas.Release();
    // tiles are anchored at (2, 2): red at 2 + 4k
    EXPECT_EQ(PixelAt(img, 10, 10), clRed);
    EXPECT_EQ(PixelAt(img, 14, 18), clRed);
    EXPECT_EQ(PixelAt(img, 11, 10), clWhite);
    EXPECT_EQ(PixelAt(img, 6, 6), TColor(0x00FF00)) << "outside the clip";
    EXPECT_EQ(PixelAt(img, 20, 20), TColor(0x00FF00));
    EXPECT_GE(cache.Width, 13);
    EXPECT_GE(cache.Height, 13);
}

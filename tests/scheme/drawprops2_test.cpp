#include "platform/application.h"
#include "platform/canvas.h"
#include "platform/jpeg.h"
#include "platform/streams.h"
#include "scheme/drawfiler.h"
#include "scheme/drawprops2.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QTemporaryDir>

namespace {

TBrushProp* Gradient(TPropList& list, TGradientStyle style)
{
    auto* b = new TBrushProp(&list, "Brush");
    b->SetMethod(bmGradient);
    b->SetGradStyle(style);
    b->SetGradBeginColor(clRed);
    b->SetGradEndColor(clBlue);
    return b;
}

QByteArray SaveList(TPropList& list)
{
    TMemoryStream stream;
    TDrawFiler filer(stream);
    list.SaveToFiler(filer, "");
    return stream.Bytes();
}

void LoadList(TPropList& list, const QByteArray& text)
{
    TMemoryStream stream(text + "end\r\n");
    TDrawFiler filer(stream);
    QByteArray line;
    while (filer.LoadStr(line))
        list.LoadFromFiler(filer, line, nullptr);
}

void StoreSubsOnly(TPropList& list)
{
    list.OnPropStored = [](TPropList*, TCustomProp* prop, const QString& sub, bool& stored) {
        if (!sub.isEmpty())
            stored = prop->IsStored(sub);
    };
}

}  // namespace

TEST(BrushProp, GradientRotation)
{
    struct Case {
        TGradientStyle from;
        int angle;
        bool mirror;
        TGradientStyle to;
        bool swapped;
    };
    const Case cases[] = {
        {gsHorizontal, 90, false, gsVertical, true},   {gsHorizontal, 180, false, gsHorizontal, true},
        {gsHorizontal, -90, false, gsVertical, false}, {gsHorizontal, 0, true, gsHorizontal, true},
        {gsHorizontal, 360, false, gsHorizontal, false}, {gsVertical, 90, false, gsHorizontal, false},
        {gsVertical, 270, false, gsHorizontal, true},  {gsVertical, 0, true, gsVertical, false},
        {gsTopLeft, 90, false, gsBottomLeft, false},   {gsTopLeft, 0, true, gsTopRight, false},
        {gsTopRight, 90, false, gsTopLeft, false},     {gsSquare, 90, true, gsSquare, false},
        {gsHorizontal, 45, false, gsHorizontal, false}, {gsHorizontal, 135, false, gsHorizontal, true},
    };
    for (const Case& c : cases) {
        TPropList list;
        TBrushProp* b = Gradient(list, c.from);
        b->RotateGradient({c.angle, c.mirror});
        EXPECT_EQ(b->GradStyle(), c.to) << c.from << " by " << c.angle;
        EXPECT_EQ(b->GradBeginColor(), c.swapped ? clBlue : clRed) << c.from << " by " << c.angle;
    }
    TPropList list;
    auto* hatch = new TBrushProp(&list, "Brush");
    hatch->SetGradBeginColor(clRed);
    hatch->RotateGradient({90, false});
    EXPECT_EQ(hatch->GradStyle(), gsHorizontal) << "only gradients rotate";
}

TEST(BrushProp, SetupAndClearRules)
{
    TPropList list;
    TBrushProp* b = Gradient(list, gsHorizontal);
    TCanvas canvas;
    b->Setup(canvas, 100);
    EXPECT_EQ(canvas.Brush().Style(), bsClear);
    EXPECT_FALSE(b->IsClear());
    b->SetMethod(bmHatch);
    b->SetColor(clNone);
    EXPECT_TRUE(b->IsClear());
    b->SetColor(clLime);
    b->SetBrushStyle(bsCross);
    b->Setup(canvas, 100);
    EXPECT_EQ(canvas.Brush().Style(), bsCross);
    EXPECT_EQ(canvas.Brush().Color(), clLime);
    b->SetMethod(bmBitmap);
    EXPECT_TRUE(b->IsClear()) << "no bitmap";
}

TEST(BrushProp, BitmapTravelsAsBmpDataWithItsMask)
{
    TPropList list;
    StoreSubsOnly(list);
    auto* b = new TBrushProp(&list, "Brush");
    TBitmap bmp(3, 2);
    bmp.Image().setPixel(1, 1, qRgb(0, 0, 255));
    b->SetMethod(bmBitmap);
    b->SetBitmap(&bmp);
    b->SetBitmapMaskColor(clBlue);
    b->SetBitmapMasked(true);
    EXPECT_EQ(b->BitmapMaskColor(), clBlue);
    EXPECT_TRUE(b->BitmapMasked());
    EXPECT_TRUE(b->Bitmap()->Transparent());
    const QByteArray text = SaveList(list);
    EXPECT_TRUE(text.contains("Bitmap = {")) << text.constData();
    EXPECT_TRUE(text.contains("BitmapMasked = True"));

    TPropList other;
    auto* copy = new TBrushProp(&other, "Brush");
    LoadList(other, text);
    ASSERT_NE(copy->Bitmap(), nullptr);
    EXPECT_EQ(copy->Bitmap()->Width(), 3);
    EXPECT_EQ(copy->Method(), bmBitmap);
    EXPECT_TRUE(copy->Bitmap()->Transparent());
    EXPECT_EQ(copy->Bitmap()->TransparentColor(), clBlue);
    EXPECT_EQ(FromQColor(QColor(copy->Bitmap()->Image().pixel(1, 1))), clBlue);

    TPropList third;
    auto* bad = new TBrushProp(&third, "Brush");
    EXPECT_ANY_THROW(bad->SetPropValue("Bitmap", Variant(QByteArray("not a bitmap"))));
}

TEST(PenProp, SetupWidthAndStyle)
{
    TPropList list;
    auto* pen = new TPenProp(&list, "Pen");
    TCanvas canvas;
    pen->Setup(canvas, 50);
    EXPECT_EQ(canvas.Pen().Width(), 1);
    EXPECT_EQ(canvas.Pen().Style(), psSolid);
    pen->SetWidth(3000);
    pen->Setup(canvas, 100);
    EXPECT_EQ(canvas.Pen().Width(), 3);
    EXPECT_EQ(canvas.Pen().Style(), psInsideFrame);
    pen->SetPenStyle(psDash);
    pen->Setup(canvas, 100);
    EXPECT_EQ(canvas.Pen().Width(), 1);
    EXPECT_EQ(canvas.Pen().Style(), psDash);
    EXPECT_EQ(pen->GetActualWidth(), 1000);
    pen->SetColor(clNone);
    pen->Setup(canvas, 100);
    EXPECT_EQ(canvas.Pen().Style(), psClear);
    EXPECT_EQ(pen->GetActualWidth(), 0);
    pen->SetPropValue("mode", Variant("pmXor"));
    EXPECT_EQ(pen->Mode(), pmXor);
    EXPECT_EQ(pen->GetPropType("Width"), ptPlain);
    EXPECT_EQ(pen->GetPropType(""), ptComplex);
    EXPECT_EQ(pen->GetDisplayValue(), "(Pen)");
}

TEST(FontProp, SizeHeightAndDefaultLines)
{
    TPropList list;
    StoreSubsOnly(list);
    auto* font = new TFontProp(&list, "Font");
    EXPECT_EQ(SaveList(list), "property Font\r\n  Name = Arial\r\n  Size = 8250\r\nend\r\n");
    font->SetSize(12000);
    EXPECT_EQ(font->Height(), -16000);
    EXPECT_EQ(font->Font().Height(), -16);
    TCanvas canvas;
    font->Setup(canvas, 50);
    EXPECT_EQ(canvas.Font().Height(), -8);
    EXPECT_EQ(canvas.Font().Name(), "Arial");
    font->SetPropValue("Style", Variant("[fsUnderline]"));
    EXPECT_EQ(font->Font().Style(), TFontStyles{fsUnderline});
    font->SetPropValue("Charset", Variant("204"));
    EXPECT_EQ(font->Font().Charset(), RUSSIAN_CHARSET);
    font->SetPixelsPerInch(0);
    EXPECT_EQ(font->Font().PixelsPerInch(), 96);

    TFontProp::FontDialog() = [](TFont& f) {
        f.SetName("Courier New");
        f.SetHeight(-20);
        return true;
    };
    int changes = 0;
    list.OnPropChanged = [&](TPropList*, TCustomProp*) { ++changes; };
    EXPECT_TRUE(font->Edit());
    EXPECT_EQ(changes, 1);
    EXPECT_EQ(font->Height(), -20000);
    EXPECT_EQ(font->Font().Name(), "Courier New");
    TFontProp::FontDialog() = [](TFont&) { return false; };
    EXPECT_FALSE(font->Edit());
}

TEST(LineCapProp, ActualSize)
{
    TPropList list;
    auto* cap = new TLineCapProp(&list, "EndCap");
    EXPECT_EQ(cap->GetActualSize(3000, 1000), 12000);
    EXPECT_EQ(cap->GetActualSize(1000, 1000), 8000);
    cap->SetFixedSize(true);
    cap->SetSize(5000);
    EXPECT_EQ(cap->GetActualSize(3000, 1000), 5000);
    EXPECT_EQ(cap->GetActualSize(3000, 2000), 10000);
    cap->SetPropValue("FixedFillColor", Variant("True"));
    EXPECT_TRUE(cap->FixedFillColor());
}

TEST(PictureProp, FramesAndGraphicData)
{
    TPropList list;
    StoreSubsOnly(list);
    auto* pic = new TPictureProp(&list, "Picture");
    TBitmap strip(40, 10);
    strip.Image().fill(Qt::white);
    strip.Image().setPixel(25, 5, qRgb(255, 0, 0));
    pic->SetGraphic(&strip);
    EXPECT_TRUE(pic->HasGraphic());
    EXPECT_EQ(pic->GraphicClass(), "TBitmap");
    pic->SetColumns(4);
    EXPECT_EQ(pic->GetFrameRect(), TRect(0, 0, 10, 10));
    EXPECT_EQ(pic->GetFrameRectOf(2), TRect(20, 0, 30, 10));
    EXPECT_EQ(pic->GetFrameRectOf(9), TRect(0, 0, 40, 10)) << "past the frames: the whole picture";
    const auto frame = pic->CreateFrameBitmap(*pic->Graphic(), 2);
    ASSERT_TRUE(frame);
    EXPECT_EQ(frame->Width(), 10);
    EXPECT_EQ(FromQColor(QColor(frame->Image().pixel(5, 5))), clRed);
    pic->SetColumns(0);
    EXPECT_EQ(pic->Columns(), 4);

    const QByteArray text = SaveList(list);
    EXPECT_TRUE(text.contains("Graphic = {"));
    EXPECT_TRUE(text.contains("Columns = 4"));
    TPropList other;
    auto* copy = new TPictureProp(&other, "Picture");
    LoadList(other, text);
    EXPECT_EQ(copy->Width(), 40);
    EXPECT_EQ(copy->Columns(), 4);
    EXPECT_EQ(copy->GraphicClass(), "TBitmap");

    // frame 2 drawn into a rectangle: the red pixel lands in the middle
    QImage img(20, 20, QImage::Format_RGB32);
    img.fill(Qt::black);
    TCanvas canvas(&img);
    copy->Draw(canvas, TRect(0, 0, 20, 20), false, 2);
    canvas.Release();
    EXPECT_EQ(FromQColor(QColor(img.pixel(11, 11))), clRed);
    EXPECT_EQ(FromQColor(QColor(img.pixel(2, 2))), clWhite);
    EXPECT_FALSE(canvas.ClipRegion().has_value()) << "the clip is restored";
}

TEST(PictureProp, TransparentClipLeavesBackground)
{
    TPropList list;
    auto* pic = new TPictureProp(&list, "Picture");
    TBitmap bmp(2, 2);
    bmp.Image().fill(Qt::white);
    bmp.Image().setPixel(0, 0, qRgb(255, 0, 0));
    pic->SetGraphic(&bmp);
    pic->SetMaskColor(clWhite);
    pic->SetMasked(true);
    EXPECT_TRUE(pic->Masked());
    EXPECT_EQ(pic->MaskColor(), clWhite);
    QImage img(10, 10, QImage::Format_RGB32);
    img.fill(Qt::green);
    TCanvas canvas(&img);
    pic->Draw(canvas, TRect(0, 0, 10, 10), true, 0);
    canvas.Release();
    EXPECT_EQ(FromQColor(QColor(img.pixel(2, 2))), clRed);
    EXPECT_EQ(FromQColor(QColor(img.pixel(8, 8))), TColor(0x00FF00));
}

TEST(PictureProp, NonBitmapKeepsOneFrame)
{
    TPropList list;
    auto* pic = new TPictureProp(&list, "Picture");
    TJPEGImage jpeg;
    TBitmap source(8, 8);
    jpeg.Assign(source);
    pic->SetGraphic(&jpeg);
    EXPECT_EQ(pic->GraphicClass(), "TJPEGImage");
    pic->SetColumns(3);
    pic->SetRows(2);
    EXPECT_EQ(pic->Columns(), 1);
    EXPECT_EQ(pic->Rows(), 1);
    EXPECT_FALSE(pic->IsBitmap());
}

TEST(PictureProp, LinkedPictureKeepsFramesAndMaskAcrossReload)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    SetExeDirForTesting(dir.path() + "/");
    QDir(dir.path()).mkdir("pics");
    TBitmap strip(30, 10);
    strip.Image().fill(Qt::white);
    strip.SaveToFile(dir.path() + "/pics/engine.bmp");

    TPropList list;
    StoreSubsOnly(list);
    auto* pic = new TPictureProp(&list, "Picture");
    pic->SetLinkName("pics\\engine.bmp");
    ASSERT_TRUE(pic->HasGraphic());
    pic->SetColumns(3);
    pic->SetRows(2);
    pic->SetMaskColor(clWhite);
    pic->SetMasked(true);
    const QByteArray text = SaveList(list);
    EXPECT_TRUE(text.contains("Graphic = { }")) << text.constData();
    EXPECT_TRUE(text.contains("LinkName = pics\\engine.bmp"));

    TPropList other;
    StoreSubsOnly(other);
    auto* copy = new TPictureProp(&other, "Picture");
    LoadList(other, text);
    ASSERT_TRUE(copy->HasGraphic());
    EXPECT_EQ(copy->Columns(), 3);
    EXPECT_EQ(copy->Rows(), 2);
    EXPECT_EQ(copy->GetFrameRect(), TRect(0, 0, 10, 5));
    EXPECT_TRUE(copy->Masked());
    EXPECT_EQ(copy->MaskColor(), clWhite);
    EXPECT_TRUE(copy->Graphic()->Transparent());
    EXPECT_EQ(SaveList(other), text);

    // a link to a missing file leaves the picture empty without a message
    copy->SetLinkName("pics/none.bmp");
    EXPECT_FALSE(copy->HasGraphic());
    SetExeDirForTesting(QString());
}

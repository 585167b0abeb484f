// Shapes, links and documents.
#include "testpanel.h"

#include "platform/bitmap.h"
#include "platform/canvas.h"
#include "scheme/drawcurves.h"
#include "scheme/drawlinks.h"
#include "scheme/drawprops2.h"
#include "scheme/drawtext.h"

#include <gtest/gtest.h>

namespace {

QImage Blank(int w, int h)
{
    QImage image(w, h, QImage::Format_RGB32);
    image.fill(Qt::white);
    return image;
}

TColor PixelAt(const QImage& image, int x, int y)
{
    return FromQColor(QColor(image.pixel(x, y)));
}

// ---------------------------------------------------------------- box, ellipse, picture

TEST(Shapes, ClearBoxIsHitOnItsOutlineOnly)
{
    TestPanel o;
    auto* box = o.Make<TDrawBox>(0, 0, 40000, 40000);
    EXPECT_TRUE(box->IsPointInside(0, 20));
    EXPECT_TRUE(box->IsPointInside(2, 20));
    EXPECT_FALSE(box->IsPointInside(20, 20));
    o.SetSelectAsFilled(true);
    EXPECT_TRUE(box->IsPointInside(20, 20));
    o.SetSelectAsFilled(false);
    box->BrushProp()->SetColor(clRed);
    EXPECT_TRUE(box->IsPointInside(20, 20));
}

TEST(Shapes, EllipseWithoutPenAndBrushCannotBeHit)
{
    TestPanel o;
    auto* e = o.Make<TDrawEllipse>(0, 0, 40000, 40000);
    EXPECT_TRUE(e->IsPointInside(20, 0));
    EXPECT_FALSE(e->IsPointInside(20, 20));
    e->PenProp()->SetPenStyle(psClear);
    EXPECT_FALSE(e->IsPointInside(20, 0));
    EXPECT_FALSE(e->IsPointInside(20, 20));
}

TEST(Shapes, RoundedBoxOffersThirteenLinkPoints)
{
    TestPanel o;
    auto* box = o.Make<TDrawBox>(0, 0, 20000, 10000);
    EXPECT_EQ(box->GetLinkPointCount(), 9);
    EXPECT_EQ(box->GetLinkPoint(3), TPoint(20000, 5000));
    box->RoundnessProp()->SetValue(8000);
    EXPECT_EQ(box->GetLinkPointCount(), 13);
    EXPECT_EQ(box->GetLinkPoint(3), TPoint(20000, 4000));
    box->RoundnessProp()->SetValue(30000);
    EXPECT_EQ(box->GetLinkPoint(0), box->GetLinkPoint(1));
    EXPECT_EQ(box->GetLinkPoint(9), box->GetLinkPoint(10));
}

TEST(Shapes, BoxBecomesAClosedCurveWithItsNameAndColours)
{
    TestPanel o;
    auto* box = o.Make<TDrawBox>(5000, 6000, 20000, 10000);
    box->SetName("Tank");
    box->BrushProp()->SetColor(clRed);
    box->PenProp()->SetColor(clBlue);
    auto* curve = static_cast<TDrawCurve*>(box->CreateCurveControl());
    ASSERT_NE(curve, nullptr);
    EXPECT_EQ(curve->GetName(), "Tank");
    EXPECT_EQ(curve->BrushProp()->Color(), clRed);
    EXPECT_EQ(curve->PenProp()->Color(), clBlue);
    EXPECT_EQ(curve->GetNodeCount(), 4);
    EXPECT_EQ(curve->GetPointType(3), ptClosedEnd);
    EXPECT_TRUE(curve->GetIsSolid());
    EXPECT_EQ(curve->GetDocRect(), TRect(5000, 6000, 25000, 16000));

    auto* e = o.Make<TDrawEllipse>(0, 0, 20000, 10000);
    auto* ec = static_cast<TDrawCurve*>(e->CreateCurveControl());
    EXPECT_EQ(ec->GetNodeCount(), 5);
    EXPECT_EQ(ec->GetPointCount(), 13);
    EXPECT_EQ(ec->GetDocRect(), TRect(0, 0, 20000, 10000));
}

TEST(Shapes, AutoSizedPictureTakesTheFrameSize)
{
    TestPanel o;
    auto* pic = o.Make<TDrawPicture>(0, 0, 5000, 5000);
    pic->AutoSizeProp()->SetValue(true);
    TBitmap bmp(32, 16);
    pic->PictureProp()->SetGraphic(&bmp);
    EXPECT_EQ(pic->GetWidth(), 32000);
    EXPECT_EQ(pic->GetHeight(), 16000);
    pic->SetWidth(1000);
    EXPECT_EQ(pic->GetWidth(), 32000);
    pic->AutoSizeProp()->SetValue(false);
    pic->SetWidth(1000);
    EXPECT_EQ(pic->GetWidth(), 1000);
    EXPECT_EQ(pic->GetLinkPoint(4), TPoint(0, 15000));
}

TEST(Shapes, EmptyPictureIsOnlyHitWhileDesigning)
{
    TestPanel o;
    auto* pic = o.Make<TDrawPicture>(0, 0, 10000, 10000);
    EXPECT_FALSE(pic->IsPointInside(5, 5));
    o.SetDesigning(true);
    EXPECT_TRUE(pic->IsPointInside(5, 5));
}

TEST(Shapes, FilledBoxPaintsItsColoursInsideItsRectangle)
{
    TestPanel o;
    auto* box = o.Make<TDrawBox>(2000, 2000, 10000, 10000);
    box->BrushProp()->SetColor(clRed);
    box->PenProp()->SetColor(clBlue);
    QImage image = Blank(20, 20);
    TCanvas canvas(&image);
    o.Scheme0()->PaintAll(canvas, 0, 0);  // scheme background is white
    EXPECT_EQ(PixelAt(image, 2, 5), clBlue);
    EXPECT_EQ(PixelAt(image, 11, 5), clBlue);
    EXPECT_EQ(PixelAt(image, 6, 6), clRed);
    EXPECT_EQ(PixelAt(image, 12, 6), clWhite);
    EXPECT_EQ(PixelAt(image, 1, 1), clWhite);
}

TEST(Shapes, SchemePaintsItsBackgroundBrush)
{
    TestPanel o;
    auto* scheme = static_cast<TDrawScheme*>(o.Scheme0());
    scheme->BrushProp()->SetColor(clGreen);
    QImage image = Blank(10, 10);
    TCanvas canvas(&image);
    o.Scheme0()->PaintAll(canvas, 0, 0);
    EXPECT_EQ(PixelAt(image, 5, 5), clGreen);
}

// ---------------------------------------------------------------- text

TEST(Text, NewTextShowsItsName)
{
    TestPanel o;
    auto* t = o.Make<TDrawText>();
    EXPECT_EQ(t->GetText(), "Text");
    o.SetAutoNameNumbs(true);
    auto* t2 = o.Make<TDrawText>();
    EXPECT_EQ(t2->GetText(), "Text1");
    EXPECT_TRUE(t->AlwaysFilled());
    EXPECT_EQ(t->CreateCurveControl(), nullptr);
}

TEST(Text, RotationTurnsAutoSizeOffAndWrapsTheAngle)
{
    TestPanel o;
    auto* t = o.Make<TDrawText>();
    t->AutoSizeProp()->SetValue(true);
    t->RotateAll(TRotationInfo{0, 0, 90, false});
    EXPECT_FALSE(t->AutoSizeProp()->GetValue());
    EXPECT_EQ(t->AngleProp()->GetValue(), 90);
    t->RotateAll(TRotationInfo{0, 0, 270, false});
    EXPECT_EQ(t->AngleProp()->GetValue(), 0);
}

TEST(Text, AutoSizeFollowsTheText)
{
    TestPanel o;
    auto* t = o.Make<TDrawText>(0, 0, 1000, 1000);
    t->AutoSizeProp()->SetValue(true);
    const int shortWidth = t->GetWidth();
    EXPECT_GT(shortWidth, 1000);
    t->SetText("A much longer line of text");
    EXPECT_GT(t->GetWidth(), shortWidth);
    const int height = t->GetHeight();
    t->SetText("two\r\nlines");
    EXPECT_GT(t->GetHeight(), height);
    const TRect before = t->GetDocRect();
    t->SetText("");
    EXPECT_EQ(t->GetDocRect(), before);
    t->SetWidth(1000);
    EXPECT_EQ(t->GetDocRect(), before);
}

TEST(Text, GrayedTextShowsALightCopyShiftedByOnePixel)
{
    TestPanel o;
    auto* t = o.Make<TDrawText>(0, 0, 60000, 30000);
    t->SetText("WWW");
    t->GrayedProp()->SetValue(true);
    QImage image(60, 30, QImage::Format_RGB32);
    image.fill(Qt::black);
    TCanvas canvas(&image);
    t->Paint(canvas, TRect(0, 0, 60, 30));
    const TColor gray = ColorToRGB(clGrayText);
    const TColor light = ColorToRGB(clBtnHighlight);
    int grayCount = 0, lightCount = 0;
    for (int y = 0; y < 30; ++y)
        for (int x = 0; x < 60; ++x) {
            const TColor c = PixelAt(image, x, y);
            grayCount += c == gray;
            if (c == light) {
                ++lightCount;
                EXPECT_GE(x, 1);
                EXPECT_GE(y, 1);
            }
        }
    EXPECT_GT(grayCount, 0);
    EXPECT_GT(lightCount, 0);
}

// ---------------------------------------------------------------- curves

TEST(Curves, PointsAreNormalisedToTheirBounds)
{
    TestPanel o;
    auto* c = o.Make<TDrawCurve>(1000, 0, 1000, 1000);
    ASSERT_EQ(c->GetLeft(), 1000);
    c->SetPointsEx({TPoint(0, 0), TPoint(10000, 5000), TPoint(20000, 0)}, {ptNode, ptNode, ptOpenEnd});
    EXPECT_EQ(c->GetLeft(), 1000);
    EXPECT_EQ(c->GetWidth(), 20000);
    EXPECT_EQ(c->GetHeight(), 5000);
    EXPECT_EQ(c->GetPoint(1), TPoint(10000, 5000));
    c->SetPointsEx({TPoint(-3000, 0), TPoint(3000, 0)}, {ptNode, ptOpenEnd});
    EXPECT_EQ(c->GetPoint(0), TPoint(0, 0));
    EXPECT_EQ(c->GetPoint(1), TPoint(6000, 0));
    EXPECT_EQ(c->GetLeft(), -2000);
    EXPECT_EQ(c->GetHeight(), 1);
}

TEST(Curves, BinaryPointValuesOfTheWrongLengthAreIgnored)
{
    TestPanel o;
    auto* c = o.Make<TDrawCurve>();
    c->SetPointsEx({TPoint(0, 0), TPoint(10000, 0)}, {ptNode, ptOpenEnd});
    QByteArray bytes = PathPointsToBytes({TPoint(0, 0), TPoint(5, 5), TPoint(9, 0)}, {ptNode, ptNode, ptOpenEnd});
    c->Prop("PathPoints")->SetPropValue(QString(), Variant(bytes.left(bytes.size() - 1)));
    EXPECT_EQ(c->GetPointCount(), 2);
    c->Prop("PathPoints")->SetPropValue(QString(), Variant(bytes));
    EXPECT_EQ(c->GetPointCount(), 3);
    c->Prop("Points")->SetPropValue(QString(), Variant(QByteArray(12, '\0')));
    EXPECT_EQ(c->GetPointCount(), 3);
    c->Prop("Points")->SetPropValue(QString(), Variant(QByteArray(16, '\0')));
    EXPECT_EQ(c->GetPointCount(), 2);
}

TEST(Curves, ResizingScalesThePoints)
{
    TestPanel o;
    auto* c = o.Make<TDrawCurve>();
    c->SetPointsEx({TPoint(0, 0), TPoint(3000, 1000), TPoint(10000, 2000)}, {ptNode, ptNode, ptOpenEnd});
    c->SetWidth(20000);
    EXPECT_EQ(c->GetPoint(1), TPoint(6000, 1000));
    EXPECT_EQ(c->GetPoint(2), TPoint(20000, 2000));
}

TEST(Curves, IsSolidClosesTheLastFigure)
{
    TestPanel o;
    auto* c = o.Make<TDrawCurve>();
    c->SetPointsEx({TPoint(0, 0), TPoint(10000, 0), TPoint(0, 10000)}, {ptNode, ptNode, ptOpenEnd});
    c->SetIsSolid(true);
    EXPECT_EQ(c->GetPointType(2), ptClosedEnd);
    const QByteArray bytes = c->Prop("PathPoints")->GetPropValue(QString()).AsBytes();
    ASSERT_EQ(bytes.size(), 9 * 3 + 4);
    EXPECT_EQ(uint8_t(bytes.back()), ptClosedEnd);
}

TEST(Curves, CurveWithoutPenAndBrushCannotBeHit)
{
    TestPanel o;
    auto* c = o.Make<TDrawCurve>();
    c->SetPointsEx({TPoint(0, 0), TPoint(40000, 0), TPoint(40000, 40000)}, {ptNode, ptNode, ptOpenEnd});
    EXPECT_TRUE(c->IsPointInside(20, 0));
    EXPECT_FALSE(c->IsPointInside(20, 20));
    c->PenProp()->SetPenStyle(psClear);
    EXPECT_FALSE(c->IsPointInside(20, 0));
}

TEST(Curves, PaintsItsLine)
{
    TestPanel o;
    auto* c = o.Make<TDrawCurve>();
    c->SetPointsEx({TPoint(0, 5000), TPoint(20000, 5000)}, {ptNode, ptOpenEnd});
    c->PenProp()->SetColor(clRed);
    QImage image = Blank(30, 30);
    TCanvas canvas(&image);
    o.Scheme0()->PaintAll(canvas, 0, 0);
    EXPECT_EQ(PixelAt(image, 10, 5), clRed);
    EXPECT_EQ(PixelAt(image, 10, 7), clWhite);
}

// ---------------------------------------------------------------- links and connectors

TEST(Links, PathFollowsTheTargetAndForgetsItWhenFreed)
{
    TestPanel o;
    auto* box = o.Make<TDrawBox>();
    auto* holder = o.Make<TDrawBox>();
    auto* link = new TLinkProp(&holder->Props(), "Target");
    int destroyed = 0;
    link->OnLinkDestroy = [&](TLinkProp*) { ++destroyed; };
    link->SetControl(box);
    box->SetName("Pump");
    const uint32_t oldId = box->GetID();
    EXPECT_EQ(link->GetText(), QString("\\%1:Pump").arg(oldId));
    box->SetID(40);
    EXPECT_EQ(link->GetText(), "\\40:Pump");
    link->SetText(QString("\\%1:x\\Nothing").arg(holder->GetID()));
    EXPECT_EQ(link->LinkedControl(), box);  // names no property: nothing changes
    link->SetText("\\40:Pump\\Brush");
    EXPECT_EQ(link->LinkedProp(), box->BrushProp());
    box->Free();
    EXPECT_EQ(link->LinkedControl(), nullptr);
    EXPECT_EQ(link->GetText(), "");
    EXPECT_EQ(destroyed, 1);
}

TEST(Links, LinkPointPropsBelongToControls)
{
    TPropList list;
    EXPECT_THROW(new TLinkPointProp(&list, "End"), Exception);
    EXPECT_EQ(list.Count(), 0);
    TestPanel o;
    auto* conn = o.Make<TDrawConnector>();
    conn->LinkA()->SetControl(conn);
    EXPECT_FALSE(conn->LinkA()->IsLinked());
}

TEST(Links, MovingALinkedBoxCarriesTheConnectorEnd)
{
    TestPanel o;
    auto* a = o.Make<TDrawBox>(0, 0, 20000, 20000);
    auto* b = o.Make<TDrawBox>(100000, 0, 20000, 20000);
    auto* conn = o.Make<TDrawConnector>();
    conn->OrtogonalProp()->SetValue(false);
    conn->SetPointsEx({TPoint(0, 0), TPoint(80000, 0)}, {ptNode, ptOpenEnd});
    conn->SetDocRect(TRect(20000, 10000, 100000, 10001));
    conn->LinkA()->SetControl(a);
    conn->LinkB()->SetControl(b);
    EXPECT_TRUE(conn->GeometryLocked());
    EXPECT_EQ(conn->LinkA()->LinkPoint(), TPoint(20000, 10000));
    const int reroutes = conn->RerouteCount();
    b->SetLeft(110000);
    EXPECT_EQ(conn->LinkB()->LinkPoint(), TPoint(90000 + 20000, 10000));
    EXPECT_EQ(conn->RerouteCount(), reroutes + 1);
    EXPECT_EQ(conn->GetDocRect().Right, 110000);
    const int left = conn->GetLeft();
    conn->SetLeft(left + 5000);
    EXPECT_EQ(conn->GetLeft(), left);
    b->Free();
    EXPECT_FALSE(conn->LinkB()->IsLinked());
}

TEST(Links, OrthogonalConnectorStaysAxisParallel)
{
    TestPanel o;
    auto* a = o.Make<TDrawBox>(0, 0, 20000, 20000);
    auto* b = o.Make<TDrawBox>(60000, 40000, 20000, 20000);
    auto* conn = o.Make<TDrawConnector>();
    conn->LinkA()->SetControl(a);
    conn->LinkB()->SetControl(b);
    conn->LinkA()->SetLinkPoint(TPoint(20000, 10000));
    conn->LinkB()->SetLinkPoint(TPoint(60000, 50000));
    ASSERT_TRUE(conn->Reroute());
    TPointArray pts;
    TPointTypeArray types;
    conn->GetPointsEx(pts, types);
    ASSERT_GE(pts.size(), 2u);
    for (std::size_t i = 1; i < pts.size(); ++i)
        EXPECT_TRUE(pts[i].x == pts[i - 1].x || pts[i].y == pts[i - 1].y);
    const TPoint origin = conn->GetDocRect().TopLeft();
    EXPECT_EQ(pts.front() + origin, TPoint(20000, 10000));
    EXPECT_EQ(pts.back() + origin, TPoint(60000, 50000));
}

// ---------------------------------------------------------------- documents

TEST(Documents, EveryShapeSurvivesWriteReadWrite)
{
    TestPanel o;
    auto* box = o.Make<TDrawBox>(1000, 2000, 30000, 20000);
    box->BrushProp()->SetColor(clYellow);
    box->RoundnessProp()->SetValue(4000);
    box->HintProp()->SetText("a hint");
    auto* e = o.Make<TDrawEllipse>(40000, 2000, 10000, 10000);
    e->PenProp()->SetWidth(3000);
    auto* pic = o.Make<TDrawPicture>(0, 40000, 10000, 10000);
    TBitmap bmp(2, 2);
    pic->PictureProp()->SetGraphic(&bmp);
    auto* text = o.Make<TDrawText>(0, 60000, 40000, 12000);
    text->SetText("Привет, 'мир'");
    text->AlignmentProp()->SetEnumIndex(taCenter);
    auto* curve = o.Make<TDrawCurve>();
    curve->SetPointsEx({TPoint(0, 0), TPoint(5000, 9000), TPoint(9000, 0), TPoint(12000, 3000)},
                       {ptNode, ptControl, ptControl, ptOpenEnd});
    curve->EndCapProp()->SetCapStyle(-1);
    auto* g = o.Make<TDrawGroup>();
    auto* inner = TDrawControl::Create<TDrawBox>(&o, g, o.Layer0());
    inner->SetDocRect(TRect(70000, 70000, 80000, 80000));
    auto* conn = o.Make<TDrawConnector>();
    conn->OrtogonalProp()->SetValue(false);
    conn->SetPointsEx({TPoint(0, 0), TPoint(10000, 0)}, {ptNode, ptOpenEnd});
    conn->SetDocRect(TRect(31000, 12000, 40000, 12001));
    conn->LinkA()->SetControl(box);
    conn->LinkB()->SetControl(e);
    TDrawLayer* second = o.Layers()->New();
    second->MoveableProp()->SetValue(false);
    box->SetReference(o.Scheme0());

    const QByteArray first = o.SaveDocument();
    TestPanel other;
    other.LoadDocument(first);
    EXPECT_EQ(other.SaveDocument(), first);
    ASSERT_EQ(other.Layers()->GetCount(), 2);
    ASSERT_EQ(other.Schemes()->GetCount(), 1);
    TDrawCustomScheme* s = other.Scheme0();
    ASSERT_EQ(s->GetCount(), 7);
    auto* conn2 = static_cast<TDrawConnector*>(s->GetControl(6));
    EXPECT_EQ(conn2->LinkA()->LinkedControl(), s->GetControl(0));
    EXPECT_EQ(conn2->LinkB()->LinkedControl(), s->GetControl(1));
    EXPECT_EQ(static_cast<TDrawText*>(s->GetControl(3))->GetText(), "Привет, 'мир'");
    EXPECT_EQ(s->GetControl(0)->GetReference(), s);
    EXPECT_EQ(s->GetControl(5)->GetControl(0)->GetDocRect(), TRect(70000, 70000, 80000, 80000));
    EXPECT_TRUE(first.contains("object Box: TDrawBox"));
    EXPECT_FALSE(first.contains("FrameIndex = 1"));
}

TEST(Documents, UnknownClassesAreSkippedWhole)
{
    TestPanel o;
    o.LoadDocument("document Document\r\n"
                   "  object Layer1: TDrawLayer\r\n"
                   "  end\r\n"
                   "  object Scheme1: TDrawScheme\r\n"
                   "    object X: TNothing\r\n"
                   "      object Y: TDrawBox\r\n"
                   "      end\r\n"
                   "    end\r\n"
                   "    object Z: tdrawbox\r\n"
                   "      Layer = Layer1\r\n"
                   "      Width = 5000\r\n"
                   "    end\r\n"
                   "  end\r\n"
                   "end\r\n");
    ASSERT_EQ(o.Schemes()->GetCount(), 1);
    ASSERT_EQ(o.Scheme0()->GetCount(), 1);
    TDrawControl* z = o.Scheme0()->GetControl(0);
    EXPECT_EQ(z->GetName(), "Z");
    EXPECT_TRUE(z->InheritsFrom(TDrawBox::StaticClass()));
    EXPECT_EQ(z->Layer(), o.Layer0());
    EXPECT_EQ(z->GetWidth(), 5000);
}

}  // namespace

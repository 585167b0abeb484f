#include "grid/toolctrlsex.h"
#include "pixels.h"

#include "platform/canvas.h"
#include "platform/frames.h"
#include "platform/imagelist.h"
#include "platform/memdataset.h"

#include <QKeyEvent>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

namespace {

struct CountingOwner : IEditButtonsOwnerEx {
    int changes = 0;
    void EditButtonsChanged() override { ++changes; }
};

}  // namespace

TEST(EditButtonDescription, SettersNotifyOwnerOnlyOnChange)
{
    CountingOwner owner;
    auto button = TEditButtonEx::CreateEditButton(&owner);
    EXPECT_FALSE(button->Visible());
    EXPECT_EQ(button->Style(), ebsDropDownEx);
    button->SetStyle(ebsDropDownEx);
    EXPECT_EQ(owner.changes, 0);
    button->SetStyle(ebsEllipsisEx);
    button->SetWidth(12);
    button->SetWidth(12);
    EXPECT_EQ(owner.changes, 2);
    button->SetNumGlyphs(9);
    EXPECT_EQ(button->NumGlyphs(), 4);
    button->SetNumGlyphs(0);
    EXPECT_EQ(button->NumGlyphs(), 1);
}

TEST(EditButtonDescription, CollectionItemsAreVisibleAltDownAndAssignCopiesEvents)
{
    CountingOwner owner;
    TEditButtonsEx buttons(&owner);
    TEditButtonEx* b = buttons.Add();
    EXPECT_TRUE(b->Visible());
    EXPECT_EQ(b->ShortCut(), 32808);
    EXPECT_EQ(b->Index(), 0);
    EXPECT_EQ(b->Editor(), &owner);
    const int before = owner.changes;
    b->SetHint("h");
    EXPECT_EQ(owner.changes, before + 1);

    int clicks = 0;
    auto source = TEditButtonEx::CreateEditButton(nullptr);
    source->SetStyle(ebsPlusEx);
    source->SetWidth(7);
    source->OnClick = [&](TEditButtonEx&, bool& handled) { ++clicks; handled = true; };
    b->Assign(*source);
    EXPECT_EQ(b->Style(), ebsPlusEx);
    EXPECT_EQ(b->Width(), 7);
    EXPECT_FALSE(b->Visible());
    bool handled = false;
    b->OnClick(*b, handled);
    EXPECT_EQ(clicks, 1);

    buttons.Delete(0);
    EXPECT_EQ(buttons.Count(), 0);
}

TEST(EditButtonMetrics, DefaultFlatWidthIsOddAndAtMostScrollArrow)
{
    const int w = CalcDefaultEditButtonWidth();
    EXPECT_EQ(w % 2, 1);
    EXPECT_GE(w, 3);
    EXPECT_LE(w, GetSystemMetrics(SM_CXVSCROLL));
    EXPECT_EQ(DefaultFlatEditButtonWidth(), w);
}

TEST(EditButtonControl, HeldLowerHalfRepeatsAfter400ThenEvery100)
{
    QWidget parent;
    parent.resize(100, 40);
    TEditButtonControlEx button(&parent);
    button.SetStyle(ebsUpDownEx);
    button.setGeometry(0, 0, 16, 20);
    parent.show();
    std::vector<bool> downs;
    button.OnDown = [&](QObject*, bool top, bool&, bool&) { downs.push_back(top); };

    QTest::mousePress(&button, Qt::LeftButton, {}, QPoint(8, 15));
    ASSERT_EQ(downs.size(), 1u);
    EXPECT_FALSE(downs[0]);
    EXPECT_EQ(button.PressedPart(), 2);
    ASSERT_NE(button.RepeatTimer(), nullptr);
    EXPECT_TRUE(button.RepeatTimer()->isActive());
    EXPECT_EQ(button.RepeatTimer()->interval(), 400);

    ASSERT_TRUE(QTest::qWaitFor([&] { return downs.size() >= 3; }, 5000));
    EXPECT_EQ(button.RepeatTimer()->interval(), 100);
    for (bool top : downs)
        EXPECT_FALSE(top);

    QTest::mouseRelease(&button, Qt::LeftButton, {}, QPoint(8, 15));
    EXPECT_FALSE(button.RepeatTimer()->isActive());
    EXPECT_EQ(button.PressedPart(), 0);
}

TEST(EditButtonControl, HandlerStopsRepeatAndOtherStylesDoNotRepeat)
{
    QWidget parent;
    TEditButtonControlEx button(&parent);
    button.setGeometry(0, 0, 16, 20);
    parent.show();
    int downs = 0;
    button.OnDown = [&](QObject*, bool top, bool& autoRepeat, bool&) {
        ++downs;
        EXPECT_TRUE(top);
        EXPECT_FALSE(autoRepeat);
    };
    QTest::mousePress(&button, Qt::LeftButton, {}, QPoint(8, 15));
    EXPECT_EQ(downs, 1);
    EXPECT_EQ(button.PressedPart(), 1);
    EXPECT_EQ(button.RepeatTimer(), nullptr);
    QTest::mouseRelease(&button, Qt::LeftButton, {}, QPoint(8, 15));

    button.SetStyle(ebsUpDownEx);
    button.OnDown = [&](QObject*, bool, bool& autoRepeat, bool&) { autoRepeat = false; };
    QTest::mousePress(&button, Qt::LeftButton, {}, QPoint(8, 2));
    EXPECT_TRUE(button.RepeatTimer() == nullptr || !button.RepeatTimer()->isActive());
    QTest::mouseRelease(&button, Qt::LeftButton, {}, QPoint(8, 2));
}

TEST(EditButtonControl, KeepDownHoldsTheButtonUntilReleased)
{
    TEditButtonControlEx button;
    button.SetKeepDown(true);
    EXPECT_TRUE(button.Down());
    EXPECT_EQ(button.GroupIndex(), 1);
    EXPECT_EQ(button.PressedPart(), 1);
    button.SetKeepDown(false);
    EXPECT_FALSE(button.Down());
    EXPECT_EQ(button.PressedPart(), 0);
}

TEST(EditButtonFaces, DisabledEllipsisShowsEmbossedDots)
{
    ClearButtonsBitmapCache();
    const int w = 16, h = 16;
    auto dotsOf = [&](bool enabled) {
        QImage img = FilledImage(w, h);
        TCanvas c(&img);
        DrawEditButtonFace(c, TRect(0, 0, w, h), kEditButtonEllipsis, clBtnFace, enabled, false, false, 0);
        c.Release();
        return img;
    };
    // Dots of 2 pixels with gaps of 2 on a 16-pixel face: the first dot starts at (16 - 10) / 2 = 3.
    const int x = 3, y = 7;
    const QImage on = dotsOf(true);
    EXPECT_EQ(PixelOf(on, x, y), 0x000000u);
    EXPECT_EQ(PixelOf(on, x + 4, y), 0x000000u);
    const QImage off = dotsOf(false);
    EXPECT_EQ(PixelOf(off, x, y), 0x808080u);          // shadow on top
    EXPECT_EQ(PixelOf(off, x + 2, y + 2), 0xFFFFFFu);  // highlight one pixel right and down
    EXPECT_EQ(CountOf(off, 0x000000u, 2, 2, w - 2, h - 2), 0);
}

TEST(EditButtonFaces, EqualFacesAreDrawnOnceThenServedFromCache)
{
    ClearButtonsBitmapCache();
    QImage a = FilledImage(20, 20);
    QImage b = FilledImage(20, 20);
    {
        TCanvas ca(&a);
        DrawEditButtonFace(ca, TRect(0, 0, 16, 18), kEditButtonDropDown, clWindow, true, false, false, 0);
        TCanvas cb(&b);
        DrawEditButtonFace(cb, TRect(0, 0, 16, 18), kEditButtonDropDown, clWindow, true, false, false, 0);
    }
    EXPECT_EQ(ButtonsBitmapCache().Count(), 1);
    EXPECT_EQ(a, b);
    {
        TCanvas ca(&a);
        DrawEditButtonFace(ca, TRect(0, 0, 16, 18), kEditButtonDropDown, clWindow, true, false, false, 1);
        DrawEditButtonFace(ca, TRect(0, 0, 16, 18), kEditButtonDropDown, clWindow, true, false, true, 0);
    }
    EXPECT_EQ(ButtonsBitmapCache().Count(), 3);
    ClearButtonsBitmapCache();
    EXPECT_EQ(ButtonsBitmapCache().Count(), 0);
}

TEST(EditButtonFaces, FlatFaceKeepsParentColourRingAndShowsEdgeWhenActive)
{
    ClearButtonsBitmapCache();
    QImage img = FilledImage(16, 16);
    {
        TCanvas c(&img);
        DrawEditButtonFace(c, TRect(0, 0, 16, 16), kEditButtonPlus, clWindow, true, false, true, 0);
    }
    EXPECT_EQ(PixelOf(img, 0, 0), 0xFFFFFFu);
    EXPECT_EQ(PixelOf(img, 15, 8), 0xFFFFFFu);
    EXPECT_EQ(PixelOf(img, 1, 1), 0xC0C0C0u);
    EXPECT_EQ(PixelOf(img, 8, 8), 0x000000u);  // the cross
    {
        TCanvas c(&img);
        DrawEditButtonFace(c, TRect(0, 0, 16, 16), kEditButtonPlus, clWindow, true, true, true, 0);
    }
    EXPECT_EQ(PixelOf(img, 0, 5), 0xFFFFFFu);   // raised: highlight left
    EXPECT_EQ(PixelOf(img, 15, 5), 0x808080u);  // shadow right
}

TEST(EditButtonFaces, MinusHasOnlyTheHorizontalBar)
{
    QImage img = FilledImage(15, 15);
    {
        TCanvas c(&img);
        DrawEditButtonFace(c, TRect(0, 0, 15, 15), kEditButtonMinus, clBtnFace, true, false, false, 0);
    }
    EXPECT_EQ(PixelOf(img, 7, 7), 0x000000u);
    EXPECT_EQ(PixelOf(img, 7, 4), 0xC0C0C0u);
    EXPECT_EQ(PixelOf(img, 4, 7), 0x000000u);
}

TEST(CheckBoxes, StatesDrawTheirMarkAndBackground)
{
    auto draw = [](TCheckBoxState s, bool enabled) {
        QImage img = FilledImage(13, 13);
        TCanvas c(&img);
        DrawCheck(c, TRect(0, 0, 13, 13), s, enabled, false);
        c.Release();
        return img;
    };
    const QImage off = draw(cbUnchecked, true);
    EXPECT_EQ(CountOf(off, 0x000000u, 2, 2, 11, 11), 0);
    EXPECT_EQ(PixelOf(off, 6, 6), 0xFFFFFFu);
    EXPECT_EQ(PixelOf(off, 0, 0), 0x808080u);  // sunken edge
    const QImage on = draw(cbChecked, true);
    EXPECT_GE(CountOf(on, 0x000000u, 2, 2, 11, 11), 15);
    const QImage grey = draw(cbGrayed, true);
    EXPECT_EQ(CountOf(grey, 0x000000u, 2, 2, 11, 11), 0);
    EXPECT_GE(CountOf(grey, 0x808080u, 2, 2, 11, 11), 15);
    EXPECT_GT(CountOf(grey, 0xC0C0C0u, 2, 2, 11, 11), 10);
}

TEST(CheckBoxes, RectangleIsReducedToACentredSquare)
{
    QImage img = FilledImage(40, 13, 0x00FF00);
    {
        TCanvas c(&img);
        DrawCheck(c, TRect(0, 0, 40, 13), cbUnchecked, true, false);
    }
    EXPECT_EQ(PixelOf(img, 5, 6), 0x00FF00u);
    EXPECT_EQ(PixelOf(img, 13, 6), 0x808080u);  // left edge of the box at (40 - 13) / 2
    EXPECT_EQ(PixelOf(img, 34, 6), 0x00FF00u);
}

TEST(SharedRoutines, VarValuesEqual)
{
    EXPECT_TRUE(VarValuesEqual(Variant(1), Variant(1.0)));
    EXPECT_FALSE(VarValuesEqual(Variant(), Variant(0)));
    EXPECT_TRUE(VarValuesEqual(Variant(), Variant()));
    EXPECT_FALSE(VarValuesEqual(Variant::Null(), Variant()));
    const Variant a = VarArrayOf({Variant(1), Variant(QString("x"))});
    const Variant b = VarArrayOf({Variant(1), Variant(QString("x"))});
    const Variant c = VarArrayOf({Variant(1)});
    EXPECT_TRUE(VarValuesEqual(a, b));
    EXPECT_FALSE(VarValuesEqual(a, c));
    EXPECT_FALSE(VarValuesEqual(c, Variant(1)));
}

TEST(SharedRoutines, FieldsByNamesAndAssigningValues)
{
    TMemDataSet ds;
    ds.AddField(ftInteger, "id");
    ds.AddField(ftString, "name", 20);
    ds.Open();
    ds.AppendRecord({Variant(1), Variant(QString("a"))});
    const auto fields = GetFieldArrayByNames(ds, "id; name");
    ASSERT_EQ(fields.size(), 2u);
    EXPECT_EQ(fields[1]->FieldName(), "name");
    EXPECT_THROW(GetFieldArrayByNames(ds, "id;missing"), EDatabaseError);

    ds.Edit();
    AssignFieldValues(ds, "id;name", VarArrayOf({Variant(5), Variant(QString("b"))}));
    EXPECT_EQ(ds.FieldByName("id")->AsInteger(), 5);
    EXPECT_EQ(ds.FieldByName("name")->AsString(), "b");
    AssignFieldValues(ds, "id;name", Variant::Null());
    EXPECT_TRUE(ds.FieldByName("id")->IsNull());
    EXPECT_TRUE(ds.FieldByName("name")->IsNull());
    ds.Cancel();
}

TEST(SharedRoutines, DoubleClickLimits)
{
    EXPECT_TRUE(WithinDoubleClickLimits(500, TPoint(10, 10), TPoint(14, 6)));
    EXPECT_FALSE(WithinDoubleClickLimits(501, TPoint(10, 10), TPoint(10, 10)));
    EXPECT_FALSE(WithinDoubleClickLimits(10, TPoint(10, 10), TPoint(15, 10)));
    EXPECT_FALSE(WithinDoubleClickLimits(10, TPoint(10, 10), TPoint(10, 5)));
}

TEST(SharedRoutines, DropDownGoesBelowOrAboveAndStaysInsideTheWorkArea)
{
    QWidget drop;
    drop.resize(120, 100);
    const QRect work(0, 0, 800, 600);
    EXPECT_FALSE(PlaceDropDownWindow(QRect(50, 100, 100, 20), &drop, work));
    EXPECT_EQ(drop.geometry(), QRect(50, 120, 120, 100));

    drop.resize(120, 100);
    EXPECT_TRUE(PlaceDropDownWindow(QRect(50, 550, 100, 20), &drop, work));
    EXPECT_EQ(drop.geometry(), QRect(50, 450, 120, 100));

    drop.resize(120, 100);
    EXPECT_FALSE(PlaceDropDownWindow(QRect(750, 100, 40, 20), &drop, work));
    EXPECT_EQ(drop.geometry().right(), 799);

    // Little room either way: the larger side, sized to fit.
    drop.resize(120, 400);
    EXPECT_FALSE(PlaceDropDownWindow(QRect(50, 250, 100, 20), &drop, work));
    EXPECT_EQ(drop.geometry().top(), 270);
    EXPECT_EQ(drop.geometry().bottom(), 599);
}

TEST(SharedRoutines, ClippedImageRestoresTheClip)
{
    TImageList images(16, 16);
    QImage pic(16, 16, QImage::Format_RGB32);
    pic.fill(Qt::red);
    images.Add(pic);
    QImage img = FilledImage(30, 30);
    TCanvas c(&img);
    DrawClippedImage(c, TRect(5, 5, 13, 13), images, 0);
    c.Release();
    EXPECT_EQ(PixelOf(img, 5, 5), 0x0000FFu);
    EXPECT_EQ(PixelOf(img, 12, 12), 0x0000FFu);
    EXPECT_EQ(PixelOf(img, 4, 8), 0xFFFFFFu);
    EXPECT_EQ(PixelOf(img, 13, 8), 0xFFFFFFu);
    EXPECT_FALSE(c.ClipRegion().has_value());
}

TEST(PlatformAdditions, EdgesFrameControlsAndShortcuts)
{
    QImage img = FilledImage(10, 10, 0x00FF00);
    TCanvas c(&img);
    TRect r(0, 0, 10, 10);
    DrawEdge(c, r, EDGE_RAISED, BF_RECT | BF_ADJUST);
    c.Release();
    EXPECT_EQ(r, TRect(2, 2, 8, 8));
    EXPECT_EQ(PixelOf(img, 0, 5), 0xE0E0E0u);  // 3D light
    EXPECT_EQ(PixelOf(img, 1, 5), 0xFFFFFFu);  // highlight
    EXPECT_EQ(PixelOf(img, 9, 5), 0x000000u);  // dark shadow
    EXPECT_EQ(PixelOf(img, 8, 5), 0x808080u);  // shadow
    EXPECT_EQ(PixelOf(img, 5, 5), 0x00FF00u);  // no middle asked for

    QImage arrow = FilledImage(16, 16);
    TCanvas ca(&arrow);
    EXPECT_TRUE(DrawFrameControl(ca, TRect(0, 0, 16, 16), DFC_SCROLL, DFCS_SCROLLCOMBOBOX));
    ca.Release();
    // A downward arrow: the widest row above the narrower ones.
    int firstRow = -1;
    for (int y = 2; y < 14 && firstRow < 0; ++y)
        if (PixelOf(arrow, 8, y) == 0x000000u)
            firstRow = y;
    ASSERT_GT(firstRow, 0);
    EXPECT_GT(CountOf(arrow, 0x000000u, 2, firstRow, 14, firstRow + 1),
              CountOf(arrow, 0x000000u, 2, firstRow + 2, 14, firstRow + 3));

    QKeyEvent altDown(QEvent::KeyPress, Qt::Key_Down, Qt::AltModifier);
    EXPECT_EQ(ShortCutOf(&altDown), 32808);
    QKeyEvent ctrlA(QEvent::KeyPress, Qt::Key_A, Qt::ControlModifier);
    EXPECT_EQ(ShortCutOf(&ctrlA), scCtrl + 'A');
}

// Writes the faces and check boxes to /tmp for a look with an image viewer.
TEST(EditButtonFaces, PictureSheet)
{
    QImage sheet = FilledImage(200, 60, 0xFFFFFF);
    TCanvas c(&sheet);
    const int kinds[] = {kEditButtonDropDown, kEditButtonEllipsis, kEditButtonUpDown, kEditButtonPlus, kEditButtonMinus};
    int x = 4;
    for (int k : kinds) {
        DrawEditButtonFace(c, TRect(x, 4, x + 16, 24), k, clWindow, true, false, false, 0);
        DrawEditButtonFace(c, TRect(x, 30, x + 16, 50), k, clWindow, false, false, false, 0);
        x += 20;
    }
    DrawCheck(c, TRect(x, 4, x + 13, 17), cbChecked, true, false);
    DrawCheck(c, TRect(x + 16, 4, x + 29, 17), cbGrayed, true, false);
    DrawCheck(c, TRect(x, 30, x + 13, 43), cbChecked, true, true);
    c.Release();
    EXPECT_FALSE(sheet.scaled(800, 240).isNull());
}

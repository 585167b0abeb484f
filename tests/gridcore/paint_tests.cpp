// What the grid paints: pixels that matter, and pictures under /tmp to look at.
#include "gridfixture.h"

#include <QApplication>
#include <gtest/gtest.h>

namespace {

// The log grid of the program: flat, button-face cells, shadow titles and footers in white,
// multi-level titles with vertical flag captions, a count footer and row selection.
void SetUpLogGrid(TDBGridEx& g)
{
    g.BeginLayout();
    g.SetBorderStyle(bsNone);
    g.SetColor(clBtnFace);
    g.SetFixedColor(clBtnShadow);
    g.SetFooterColor(clBtnShadow);
    g.SetFlat(true);
    g.SetFooterRowCount(1);
    g.SetOptions({dgTitles, dgColLines, dgTabs, dgRowSelect, dgAlwaysShowSelection, dgConfirmDelete, dgCancelOnExit});
    g.SetOptionsEx({dghHighlightFocus, dghClearSelection});
    g.SetRowHeight(16);
    g.SumList().SetActive(true);
    g.SetUseMultiTitle(true);
    g.TitleFont().SetColor(clWhite);
    g.FooterFont().SetColor(clWhite);
    g.ColumnDefValues().Title().SetColor(clBtnShadow);
    auto add = [&](const QString& field, const QString& caption, int width) {
        TColumnEx* c = g.Columns().Add();
        c->SetFieldName(field);
        c->Title().SetCaption(caption);
        c->SetWidth(width);
        return c;
    };
    TColumnEx* c = add("Name", "Дата", 70);
    c->Footer().SetValueType(fvtStaticText);
    c->Footer().SetValue("кол-во : ");
    c->Footer().SetAlignment(taRightJustify);
    c = add("Flag", "Самозап.", 20);
    c->Title().SetOrientation(tohVertical);
    c->Title().Font().SetHeight(-9);
    c->SetColor(clSilver);
    add("ID", "Группа|Один", 50);
    add("Qty", "Группа|Два", 50)->Footer().SetValueType(fvtSum);
    add("Amount", "U, В", 60)->Footer().SetValueType(fvtCount);
    g.EndLayout();
}

// Bounds of the pixels of one colour inside r (empty rect when none).
TRect InkBounds(const QImage& img, TColor color, const TRect& r)
{
    TRect b(r.Right, r.Bottom, r.Left, r.Top);
    bool any = false;
    for (int y = std::max(0, r.Top); y < std::min(img.height(), r.Bottom); ++y)
        for (int x = std::max(0, r.Left); x < std::min(img.width(), r.Right); ++x)
            if (PixelAt(img, x, y) == ColorToRGB(color)) {
                any = true;
                b.Left = std::min(b.Left, x);
                b.Top = std::min(b.Top, y);
                b.Right = std::max(b.Right, x + 1);
                b.Bottom = std::max(b.Bottom, y + 1);
            }
    return any ? b : TRect();
}

} // namespace

TEST(GridPaint, LogGridTitlesFootersAndCurrentRow)
{
    GridFixture f(30, 300, 260);
    TDBGridEx& g = *f.grid;
    SetUpLogGrid(g);
    f.ds->Last();
    const QImage img = f.Grab();

    // Titles in the shadow colour with white text; the vertical caption is taller than wide.
    const TRect dateTitle = g.CellRect(0, 0);
    EXPECT_EQ(PixelAt(img, dateTitle.Left + 1, dateTitle.Top + 1), ColorToRGB(clBtnShadow));
    const TRect flagTitle = g.CellRect(1, 0);
    const TRect ink = InkBounds(img, clWhite, flagTitle);
    ASSERT_FALSE(IsRectEmpty(ink));
    EXPECT_GT(ink.Height(), 2 * ink.Width());
    EXPECT_LE(ink.Width(), 12);

    // The band over the two grouped columns has one caption across them: ink in both halves.
    const TRect one = g.CellRect(2, 0);
    const TRect two = g.CellRect(3, 0);
    const int bandBottom = one.Bottom - g.LeafOf(2)->Height;
    EXPECT_FALSE(IsRectEmpty(InkBounds(img, clWhite, TRect(one.Left, one.Top, one.Right + 1, bandBottom))));
    EXPECT_FALSE(IsRectEmpty(InkBounds(img, clWhite, TRect(two.Left, two.Top, two.Right, bandBottom))));

    // Footer: the fixed text right-aligned in white, the sum and the count.
    const int footerRow = g.RowCount() - 1;
    const TRect footDate = g.CellRect(0, footerRow);
    EXPECT_EQ(footDate.Bottom + g.HorzLineWidth(footerRow), g.ClientHeight());
    const TRect textInk = InkBounds(img, clWhite, footDate);
    ASSERT_FALSE(IsRectEmpty(textInk));
    EXPECT_GT(textInk.Left, footDate.Left + 10);
    EXPECT_GE(textInk.Right, footDate.Right - 12);
    EXPECT_EQ(g.GetFooterValueText(0, *g.Columns()[3]), "465");
    EXPECT_EQ(g.GetFooterValueText(0, *g.Columns()[4]), "30");
    EXPECT_FALSE(IsRectEmpty(InkBounds(img, clWhite, g.CellRect(4, footerRow))));

    // Unfocused: the current (last) row in the shadow colour, other rows in the grid colour.
    const int current = g.Row();
    EXPECT_EQ(current, g.TopDataOffset() + g.GetDataRowCount() - 1);
    const TRect cur = g.CellRect(2, current);
    EXPECT_EQ(PixelAt(img, cur.Left + 1, cur.Top + 1), ColorToRGB(clBtnShadow));
    const TRect other = g.CellRect(2, current - 1);
    EXPECT_EQ(PixelAt(img, other.Left + 1, other.Top + 1), ColorToRGB(clBtnFace));
    // The flag column keeps its own silver.
    const TRect flag = g.CellRect(1, current - 1);
    EXPECT_EQ(PixelAt(img, flag.Left + 1, flag.Top + 1), ColorToRGB(clSilver));
}

TEST(GridPaint, FocusedRowSelectHighlightsTheWholeRow)
{
    GridFixture f(10, 300, 200);
    TDBGridEx& g = *f.grid;
    SetUpLogGrid(g);
    QApplication::setActiveWindow(&g);
    g.setFocus();
    if (!g.hasFocus())
        GTEST_SKIP() << "no focus on this platform";
    f.ds->First();
    f.ds->Next();
    const QImage img = f.Grab();
    for (int c = 0; c < g.ColCount(); ++c) {
        const TRect r = g.CellRect(c, g.Row());
        if (g.Columns()[c]->Title().Orientation() == tohVertical)
            continue;
        EXPECT_NE(PixelAt(img, r.Left + 2, r.Top + 3), ColorToRGB(clBtnFace)) << c;
    }
    const TRect r = g.CellRect(0, g.Row() + 1);
    EXPECT_EQ(PixelAt(img, r.Left + 2, r.Top + 3), ColorToRGB(clBtnFace));
}

TEST(GridPaint, IndicatorShowsTheCurrentRecordAndItsState)
{
    GridFixture f(6, 300, 200);
    TDBGridEx& g = *f.grid;
    f.ds->First();
    f.ds->Next();
    auto indicatorInk = [&](const QImage& img, int row) {
        const TRect r = g.CellRect(0, row);
        TRect inner = r;
        InflateRect(inner, -1, -1);
        return inner.Width() * inner.Height() - CountColor(img, g.FixedColor(), inner);
    };
    QImage browse = f.Grab();
    const int row = g.Row();
    EXPECT_GT(indicatorInk(browse, row), 4);
    EXPECT_EQ(indicatorInk(browse, row + 1), 0);
    EXPECT_EQ(indicatorInk(browse, row - 1), 0);

    f.ds->Edit();
    const QImage edit = f.Grab();
    f.ds->Cancel();
    f.ds->Insert();
    const QImage insert = f.Grab();
    const TRect cell = g.CellRect(0, g.Row());
    const QRect q(cell.Left, cell.Top, cell.Width(), cell.Height());
    EXPECT_NE(browse.copy(q), edit.copy(q));
    EXPECT_NE(edit.copy(g.CellRect(0, g.Row()).Left, cell.Top, cell.Width(), cell.Height()), insert.copy(q));
    f.ds->Cancel();
}

TEST(GridPaint, SelectedRecordsAreHighlighted)
{
    GridFixture f(6, 300, 200);
    TDBGridEx& g = *f.grid;
    g.SetOptions(g.Options() + TDBGridOptions{dgMultiSelect, dgAlwaysShowSelection});
    f.ds->Last();
    g.SelectedRows().SetCurrentRowSelected(true);
    f.ds->First();
    const QImage img = f.Grab();
    const int last = g.TopDataOffset() + g.GetDataRowCount() - 1;
    const TRect sel = g.CellRect(2, last);
    const TRect plain = g.CellRect(2, last - 1);
    EXPECT_NE(PixelAt(img, sel.Left + 1, sel.Top + 1), ColorToRGB(clWindow));
    EXPECT_EQ(PixelAt(img, plain.Left + 1, plain.Top + 1), ColorToRGB(clWindow));
}

TEST(GridPaint, NarrowSortMarkedTitleDropsTheGlyph)
{
    GridFixture f(3, 400, 200);
    TDBGridEx& g = *f.grid;
    TColumnEx* wide = g.Columns()[1];
    TColumnEx* narrow = g.Columns()[2];
    narrow->SetWidth(12);
    wide->SetWidth(90);
    wide->Title().SetSortMarker(smDownEx);
    narrow->Title().SetSortMarker(smDownEx);
    g.SetOptionsEx(g.OptionsEx() + TDBGridExOptions{dghMultiSortMarking});
    wide->Title().SetSortMarker(smDownEx);
    const QImage img = f.Grab();
    const TImageList& glyphs = DBGridExSortMarkers();
    const QImage glyph = glyphs.Image(kSortMarkerDown);
    ASSERT_FALSE(glyph.isNull());
    // The wide title shows something in its right 16 pixels; the too narrow one only its face.
    const TRect w = g.CellRect(2, 0);
    const TRect n = g.CellRect(3, 0);
    const TRect wr(w.Right - 16, w.Top + 1, w.Right - 1, w.Bottom - 1);
    EXPECT_LT(CountColor(img, g.Columns()[1]->Title().Color(), wr), wr.Width() * wr.Height());
    EXPECT_EQ(narrow->Title().SortMarkingWidth() < 16, true);
    (void)n;
}

TEST(GridPaint, DrawEventsReachTheProgram)
{
    GridFixture f(3, 400, 200);
    TDBGridEx& g = *f.grid;
    g.SetFooterRowCount(1);
    int cells = 0;
    int footers = 0;
    QString footerText;
    g.OnDrawColumnCell = [&](TCustomDBGridEx&, const TRect&, int, TColumnEx&, TGridDrawState) { ++cells; };
    g.OnDrawFooterCell = [&](TCustomDBGridEx&, int, int row, TColumnEx&, const TRect&, TGridDrawState) {
        EXPECT_EQ(row, 0);
        ++footers;
    };
    g.OnGetFooterParams = [&](TCustomDBGridEx&, int dataCol, int, TColumnEx&, TFont&, TColor& bg, TAlignment&,
                              TGridDrawState, QString& text) {
        if (dataCol == 0) {
            text = "total";
            bg = clYellow;
        }
    };
    const QImage img = f.Grab();
    EXPECT_EQ(cells, 3 * 5);
    EXPECT_EQ(footers, 5);
    const TRect foot = g.CellRect(1, g.RowCount() - 1);
    EXPECT_EQ(PixelAt(img, foot.Right - 2, foot.Top + 1), ColorToRGB(clYellow));
    EXPECT_GT(CountColor(img, clBlack, foot), 5);
}

TEST(GridPaint, BandOverAHiddenColumnStartsAtTheFirstVisibleOne)
{
    GridFixture f(3, 300, 200);
    TDBGridEx& g = *f.grid;
    g.BeginLayout();
    g.SetOptions({dgTitles, dgColLines, dgRowLines});
    g.SetUseMultiTitle(true);
    auto add = [&](const QString& field, const QString& caption) {
        TColumnEx* c = g.Columns().Add();
        c->SetFieldName(field);
        c->Title().SetCaption(caption);
        c->SetWidth(80);
        return c;
    };
    add("ID", "Group|A")->SetVisible(false);
    add("Name", "Group|B");
    g.EndLayout();
    ASSERT_EQ(g.LeafOf(1)->Host->Text, "Group");
    EXPECT_EQ(g.LeafOf(1)->Host->Width, 80);  // the hidden column and its line take no room
    const QImage img = f.Grab();
    // The band lies wholly inside the visible column, so its raised frame has both side edges.
    const TRect cell = g.CellRect(1, 0);
    EXPECT_EQ(PixelAt(img, cell.Left, cell.Top + 3), ColorToRGB(clBtnHighlight));
    EXPECT_EQ(PixelAt(img, cell.Right - 1, cell.Top + 3), ColorToRGB(clBtnShadow));
}

TEST(GridPaint, TheCurrentCellIsHighlightedWhenFocusedAndShadowedWhenNot)
{
    GridFixture f(6, 300, 200);
    TDBGridEx& g = *f.grid;
    ASSERT_NE(g.Style(), nullptr);   // the default style decides
    QApplication::setActiveWindow(&g);
    g.setFocus();
    ASSERT_TRUE(g.hasFocus());
    f.ds->SetRecNo(2);
    g.SetSelectedIndex(1);
    const TRect cell = g.CellRect(g.Col(), g.Row());
    const TRect other = g.CellRect(g.Col(), g.Row() + 1);
    auto share = [&](const QImage& img, TColor c, const TRect& r) {
        return CountColor(img, c, r) * 100 / std::max(1, r.Width() * r.Height());
    };
    // Without focus highlighting the focused cell keeps the window colour.
    g.SetOptionsEx(g.OptionsEx() - TDBGridExOptions{dghHighlightFocus});
    QImage img = f.Grab();
    EXPECT_EQ(share(img, clHighlight, cell), 0);
    g.SetOptionsEx(g.OptionsEx() + TDBGridExOptions{dghHighlightFocus});
    img = f.Grab();
    EXPECT_GT(share(img, clHighlight, cell), 60);
    EXPECT_EQ(share(img, clHighlight, other), 0);
    // Unfocused, with the selection always shown, it is drawn in the button shadow.
    g.SetOptions(g.Options() + TDBGridOptions{dgAlwaysShowSelection});
    g.clearFocus();
    ASSERT_FALSE(g.hasFocus());
    img = f.Grab();
    EXPECT_EQ(share(img, clHighlight, cell), 0);
    EXPECT_GT(share(img, clBtnShadow, cell), 60);
    EXPECT_EQ(share(img, clBtnShadow, other), 0);
}

#include "fakegrid.h"

#include "grid/gridstyle.h"

#include <gtest/gtest.h>

#include <QScrollBar>

namespace {

class StyleTest : public ::testing::Test, public GridFixture {
protected:
    StyleTest() { grid.options = {dgTitles, dgIndicator, dgRowSelect, dgAlwaysShowSelection}; }
    TDBGridExStyle style;
    TFont font;
};

TEST(BlendColorTest, MixesThenLightens)
{
    // White with black: 127.5, pulled 60 % towards 225: 186; the darker variant goes from 122.
    EXPECT_EQ(BlendColor(clWhite, clBlack, false), RGB(186, 186, 186));
    EXPECT_EQ(BlendColor(clWhite, clBlack, true), RGB(202, 202, 202));
    EXPECT_EQ(BlendColor(RGB(0, 0, 0), RGB(0, 0, 0), false), RGB(135, 135, 135));
    // System colours are resolved first.
    EXPECT_EQ(BlendColor(clWindow, clWindow, false), BlendColor(ColorToRGB(clWindow), ColorToRGB(clWindow), false));
}

TEST_F(StyleTest, FocusedRowSelection)
{
    TDataCellHighlightArgs cell;
    cell.DataCol = 0;
    cell.CurrentRow = true;
    cell.CurrentCol = true;
    TColor bg = clWhite;
    ASSERT_TRUE(style.HighlightDataCell(grid, cell, bg, font));
    EXPECT_EQ(bg, clHighlight);
    EXPECT_EQ(font.Color(), clHighlightText);

    cell.CurrentCol = false;   // still the current row under row selection
    bg = clWhite;
    ASSERT_TRUE(style.HighlightDataCell(grid, cell, bg, font));
    EXPECT_EQ(bg, clHighlight);

    cell.CurrentRow = false;
    bg = clWhite;
    EXPECT_FALSE(style.HighlightDataCell(grid, cell, bg, font));
    EXPECT_EQ(bg, clWhite);
}

TEST_F(StyleTest, UnfocusedSelectionColours)
{
    grid.focused = false;
    grid.options.Include(dgMultiSelect);
    grid.bookmarks.SetCurrentRowSelected(true);
    const TBookmark first = ds.GetBookmark();
    ds.Next();
    TDataCellHighlightArgs cell;
    cell.DataCol = 1;
    cell.Bookmark = first;   // a selected record that is not the current one
    TColor bg = clWhite;
    ASSERT_TRUE(style.HighlightDataCell(grid, cell, bg, font));
    EXPECT_EQ(bg, BlendColor(clWhite, clBtnShadow, false));

    style.SetColorCount(256);
    bg = clWhite;
    ASSERT_TRUE(style.HighlightDataCell(grid, cell, bg, font));
    EXPECT_EQ(bg, clBtnFace) << "no blending on a 256-colour display";

    cell.Bookmark = ds.GetBookmark();
    cell.CurrentRow = true;
    bg = clWhite;
    ASSERT_TRUE(style.HighlightDataCell(grid, cell, bg, font));
    EXPECT_EQ(bg, clBtnShadow);
    EXPECT_EQ(font.Color(), clHighlightText);
}

TEST_F(StyleTest, FocusedOtherSelectedCellsBlendDarker)
{
    grid.options.Include(dgMultiSelect);
    grid.bookmarks.SetCurrentRowSelected(true);
    const TBookmark first = ds.GetBookmark();
    ds.Next();
    TDataCellHighlightArgs cell;
    cell.Bookmark = first;
    TColor bg = clWhite;
    ASSERT_TRUE(style.HighlightDataCell(grid, cell, bg, font));
    EXPECT_EQ(bg, BlendColor(clWhite, clHighlight, true));
    style.SetBlendColors(false);
    bg = clWhite;
    ASSERT_TRUE(style.HighlightDataCell(grid, cell, bg, font));
    EXPECT_EQ(bg, clHighlight);
}

TEST_F(StyleTest, EditorHidesTheHighlightWithoutRowSelect)
{
    grid.options = {dgTitles, dgAlwaysShowSelection};
    grid.editorVisible = true;
    TDataCellHighlightArgs cell;
    cell.CurrentRow = true;
    cell.CurrentCol = true;
    cell.Selected = true;
    TColor bg = clWhite;
    EXPECT_FALSE(style.HighlightDataCell(grid, cell, bg, font));
    grid.editorVisible = false;
    EXPECT_TRUE(style.HighlightDataCell(grid, cell, bg, font));
}

TEST_F(StyleTest, FixedCellColours)
{
    TColor bg = clBtnFace;
    style.GetHighlightColors(grid, false, 0, 0, bg, font);
    EXPECT_EQ(bg, clBtnFace);
    style.GetHighlightColors(grid, true, 1, 0, bg, font);
    EXPECT_EQ(bg, RGB(64, 64, 64));
    EXPECT_EQ(font.Color(), clWhite);
    bg = clWhite;
    style.GetHighlightColors(grid, true, 1, 4, bg, font);
    EXPECT_EQ(bg, BlendColor(clWhite, clHighlight, true));
    grid.focused = false;
    style.SetColorCount(16);
    bg = clWhite;
    style.GetHighlightColors(grid, true, 0, 3, bg, font);
    EXPECT_EQ(bg, clBtnFace);
}

class StyleClient : public IDBGridExStyleClient {
public:
    TDBGridExStyle* gone = nullptr;
    void StyleDestroyed(TDBGridExStyle* style) override { gone = style; }
};

TEST(StyleLifetimeTest, DestroyingDetachesGrids)
{
    StyleClient client;
    TDBGridExStyle* raw = nullptr;
    {
        TDBGridExStyle style;
        raw = &style;
        style.RegisterGrid(&client);
        style.RegisterGrid(&client);
        EXPECT_EQ(style.GridCount(), 1);
    }
    EXPECT_EQ(client.gone, raw);
    ASSERT_NE(GetDefaultGridStyle(), nullptr);
}

TEST(GridResourcesTest, PicturesCursorsAndFont)
{
    const TImageList& indicators = DBGridExIndicators();
    EXPECT_EQ(indicators.Count(), 7);
    const QImage arrow = DBGridExResourceImage("DBGARROWEH");
    EXPECT_EQ(indicators.Width(), arrow.width());
    EXPECT_EQ(indicators.Mask(kIndicatorArrow), std::optional<TColor>(clWhite));
    EXPECT_EQ(indicators.Mask(kIndicatorArrowOnHighlight), std::optional<TColor>(clTeal));
    // The search arrow has no teal left: its background is the search colour.
    const QImage onSearch = indicators.Image(kIndicatorArrowOnSearch);
    EXPECT_EQ(onSearch.pixel(0, 0) & 0xFFFFFF, ToQColor(DBGridExIncSearchColor).rgb() & 0xFFFFFF);

    const TImageList& markers = DBGridExSortMarkers();
    EXPECT_EQ(markers.Count(), 2);
    EXPECT_EQ(markers.Mask(kSortMarkerUp), std::optional<TColor>(clFuchsia));
    EXPECT_EQ(SortMarkerFont().Name(), "Arial");
    EXPECT_EQ(SortMarkerFont().Height(), 1 - DBGridExResourceImage("DBSMDOWNEH").height());
    EXPECT_FALSE(DBGridExCursor(crDownCurEx).pixmap().isNull());
    EXPECT_FALSE(DBGridExCursor(crLeftCurEx).pixmap().isNull());
    EXPECT_EQ(DBGridExIncSearchInterval, 1500);
}

TEST_F(StyleTest, ScrollBarVisibility)
{
    TVertDBGridExScrollBar bar(&grid);
    int updates = 0;
    bar.OnUpdateScrollBar = [&updates] { ++updates; };
    EXPECT_EQ(bar.VisibleMode(), sbAutoShowEx);
    bar.SetVisibleMode(sbAlwaysShowEx);
    bar.SetVisible(false);
    EXPECT_EQ(bar.VisibleMode(), sbNeverShowEx);
    bar.SetVisible(true);
    EXPECT_EQ(bar.VisibleMode(), sbAutoShowEx) << "back to automatic, not always";
    EXPECT_EQ(updates, 3);
    bar.SetOwnBarShown(true);
    EXPECT_TRUE(bar.IsScrollBarShowing());
}

TEST_F(StyleTest, ExternalScrollBar)
{
    QScrollBar external;
    external.setObjectName("sbExt");
    TDBGridExScrollBar horz(&grid, sbHorizontal);
    std::vector<int> actions;
    horz.OnScroll = [&actions](TScrollBarKind, int action, int) { actions.push_back(action); };
    horz.SetExtScrollBar(&external);
    horz.SetExtScrollInfo(0, 127, 3, 50);
    EXPECT_EQ(external.value(), 50);
    EXPECT_EQ(external.pageStep(), 3);
    external.triggerAction(QAbstractSlider::SliderSingleStepAdd);
    EXPECT_EQ(actions, std::vector<int>{QAbstractSlider::SliderSingleStepAdd});

    TDBGridExScrollBar other(&grid, sbHorizontal);
    try {
        other.SetExtScrollBar(&external);
        FAIL() << "no exception";
    } catch (const Exception& e) {
        EXPECT_EQ(e.Message(), "Possible sbExt already attached to the other control.");
    }
    horz.SetExtScrollBar(nullptr);
    other.SetExtScrollBar(&external);
    EXPECT_EQ(other.ExtScrollBar(), &external);
    horz.SetVisible(false);
    other.SetVisible(false);
    EXPECT_TRUE(external.isHidden());
    EXPECT_FALSE(other.IsScrollBarShowing());
}

TEST(ColumnDefValuesTest, TitleAlignmentCentredWithMultiTitles)
{
    FakeGrid grid;
    TColumnEx* c = grid.columns->Add();
    EXPECT_EQ(c->Title().Alignment(), taLeftJustify);
    grid.useMultiTitle = true;
    EXPECT_EQ(c->Title().Alignment(), taCenter);
    grid.fixedColor = clBtnShadow;
    EXPECT_EQ(c->Title().Color(), clBtnShadow);
    const int layouts = grid.layouts;
    grid.defValues.Title().SetOrientation(tohVertical);
    EXPECT_EQ(grid.layouts, layouts + 1);
    EXPECT_EQ(c->Title().Orientation(), tohVertical);

    FakeGrid other;
    other.defValues.Assign(grid.defValues);
    EXPECT_EQ(other.defValues.Title().Orientation(), tohVertical);
    EXPECT_FALSE(other.defValues.Title().AlignmentAssigned());
}

} // namespace

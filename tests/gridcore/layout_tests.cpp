// Structure of the grid: head tree, cell kinds, row heights, frozen columns, multi-level titles.
#include "gridfixture.h"

#include "grid/headtree.h"

#include "platform/canvas.h"

#include <gtest/gtest.h>

// ---- Head tree ------------------------------------------------------------------------------

namespace {

QStringList Walk(THeadTreeNode& root)
{
    QStringList out;
    root.ForEach([&](THeadTreeNode& n) { out << n.Text; });
    return out;
}

} // namespace

TEST(HeadTree, UnionPutsARunUnderANewNodeInItsPlace)
{
    THeadTreeNode root("Root", 0, 10);
    THeadTreeNode* a = root.AddChild(&root, "a", 10, 5);
    THeadTreeNode* b = root.AddChild(&root, "b", 20, 5);
    THeadTreeNode* c = root.AddChild(&root, "c", 30, 5);
    THeadTreeNode* d = root.AddChild(&root, "d", 40, 5);
    b->VLineWidth = c->VLineWidth = 1;
    THeadTreeNode* g = root.Union(b, c, 20, "G");
    EXPECT_EQ(Walk(root), (QStringList{"a", "G", "b", "c", "d"}));
    EXPECT_EQ(g->Width, 20 + 1 + 30);
    EXPECT_EQ(b->Host, g);
    EXPECT_EQ(c->Next, b);  // the run is a ring of its own
    EXPECT_EQ(d->Next, a);  // and the outer ring closes around the group
    EXPECT_EQ(root.ChildCount(), 3);

    // A run at the start of the ring, and one covering a whole ring.
    THeadTreeNode* h = root.Union(a, g, 20, "H");
    EXPECT_EQ(root.Child, h);
    EXPECT_EQ(Walk(root), (QStringList{"H", "a", "G", "b", "c", "d"}));
    root.Union(h, d, 20, "All");
    EXPECT_EQ(root.ChildCount(), 1);
    EXPECT_EQ(Walk(root).first(), "All");
}

TEST(HeadTree, RefusesForeignNodesAndRunsAcrossLevels)
{
    THeadTreeNode root("Root", 0, 10);
    THeadTreeNode* a = root.AddChild(&root, "a", 10, 5);
    THeadTreeNode* b = root.AddChild(&root, "b", 10, 5);
    THeadTreeNode other("Other", 0, 10);
    THeadTreeNode* x = other.AddChild(&other, "x", 1, 1);
    try {
        root.AddChild(x, "y", 1, 1);
        FAIL();
    } catch (const Exception& e) {
        EXPECT_EQ(e.Message(), "Node not in Tree");
    }
    try {
        root.Union(b, a, 20, "G");  // a is not after b on the level
        FAIL();
    } catch (const Exception& e) {
        EXPECT_EQ(e.Message(), "ATo not in level");
    }
    EXPECT_THROW(root.Add(x, "z", 1, 1), Exception);
    EXPECT_TRUE(root.Find(b));
    EXPECT_FALSE(root.Find(x));
}

TEST(HeadTree, WordRoutines)
{
    EXPECT_EQ(ExtractWord(1, "A|B|C", "|"), "A");
    EXPECT_EQ(ExtractWord(3, "A|B|C", "|"), "C");
    EXPECT_EQ(ExtractWord(4, "A|B|C", "|"), "");
    EXPECT_EQ(WordPosition(2, "AB||CD", "|"), 5);
    EXPECT_EQ(WordPosition(1, "", "|"), 0);
}

// ---- Cell kinds and rows -------------------------------------------------------------------------

TEST(GridLayout, CellKindsWithTitlesDataAndFooters)
{
    GridFixture f(3, 400, 200);
    TDBGridEx& g = *f.grid;
    g.SetFooterRowCount(2);
    const int rows = g.RowCount();
    ASSERT_EQ(rows, 1 + 3 + 1 + 2);
    EXPECT_EQ(g.GetCellType(0, 0).ColKind, cacIndicator);
    EXPECT_EQ(g.GetCellType(0, 0).RowKind, carTitle);
    const TCellAreaEx data = g.GetCellType(2, 2);
    EXPECT_EQ(data.ColKind, cacData);
    EXPECT_EQ(data.AreaCol, 1);
    EXPECT_EQ(data.RowKind, carData);
    EXPECT_EQ(data.AreaRow, 1);
    EXPECT_EQ(g.GetCellType(1, 4).RowKind, carAfterData);
    const TCellAreaEx foot = g.GetCellType(1, 5);
    EXPECT_EQ(foot.RowKind, carFooter);
    EXPECT_EQ(foot.AreaRow, 1);  // the first footer row counts from 1
    EXPECT_EQ(g.GetCellType(1, 6).AreaRow, 2);
    EXPECT_EQ(g.GetDataRowCount(), 3);

    g.STFilter().SetVisible(true);
    EXPECT_EQ(g.TopDataOffset(), 2);
    EXPECT_EQ(g.GetCellType(1, 1).RowKind, carFilter);
}

TEST(GridLayout, FooterRowsStandAtTheBottomWhateverTheRecordCount)
{
    for (int records : {0, 1, 4, 40}) {
        GridFixture f(records, 300, 220);
        TDBGridEx& g = *f.grid;
        g.SetFooterRowCount(1);
        const int last = g.RowCount() - 1;
        const TRect r = g.CellRect(1, last);
        ASSERT_FALSE(IsRectEmpty(r)) << records;
        // The footer row and its line end exactly at the bottom of the client area.
        EXPECT_EQ(r.Bottom + g.HorzLineWidth(last), g.ClientHeight()) << records;
        EXPECT_EQ(g.GetCellType(1, last).RowKind, carFooter);
    }
}

TEST(GridLayout, WithoutDataSourceOneEmptyRowAndStretchedAfterDataRow)
{
    TDBGridEx g;
    g.resize(300, 200);
    g.SetFooterRowCount(1);
    g.show();
    EXPECT_EQ(g.RowCount(), 1 + 1 + 1 + 1);
    EXPECT_EQ(g.GetCellType(0, 1).RowKind, carData);
    EXPECT_EQ(g.GetCellType(0, 2).RowKind, carAfterData);
    EXPECT_GT(g.RowHeights(2), g.DefaultDataRowHeight());
    const TRect footer = g.CellRect(0, 3);
    EXPECT_EQ(footer.Bottom + g.HorzLineWidth(3), g.ClientHeight());
}

TEST(GridLayout, RowHeightsFollowFontsRowHeightAndRowLines)
{
    GridFixture f(3);
    TDBGridEx& g = *f.grid;
    TCanvas m;
    m.SetFont(g.Font());
    const int h = m.TextHeight("Wg");
    // Default options include row lines: text height, pad 3, plus the line width.
    EXPECT_EQ(g.DefaultDataRowHeight(), h + 3 + 1);
    g.SetFlat(true);
    EXPECT_EQ(g.DefaultDataRowHeight(), h + 1 + 1);
    g.SetOptions(g.Options() - TDBGridOptions{dgRowLines});
    EXPECT_EQ(g.DefaultDataRowHeight(), h + 1);
    g.SetRowHeight(16);
    EXPECT_EQ(g.DefaultDataRowHeight(), 16);
    EXPECT_EQ(g.RowHeights(1), 16);
    g.SetRowHeight(-5);
    EXPECT_EQ(g.RowHeight(), 0);
    const TTextMetric tm = m.TextMetrics();
    g.SetRowLines(2);
    EXPECT_EQ(g.DefaultDataRowHeight(), (tm.Height + tm.ExternalLeading) * 2);
}

TEST(GridLayout, FitRowHeightToTextRoundsToWholeLines)
{
    GridFixture f(3);
    TDBGridEx& g = *f.grid;
    g.SetOptions(g.Options() - TDBGridOptions{dgRowLines});
    TCanvas m;
    m.SetFont(g.Font());
    const int h = m.TextHeight("Wg");
    const int pad = 3;
    g.BeginLayout();
    g.SetRowHeight(pad + 2 * h + h / 2);  // exactly half a line over two lines: ties go down
    g.SetOptionsEx(g.OptionsEx() + TDBGridExOptions{dghFitRowHeightToText});
    g.EndLayout();
    EXPECT_EQ(g.DefaultDataRowHeight(), 2 * h + pad);
    EXPECT_EQ(g.RowLines(), 2);
    EXPECT_EQ(g.RowHeight(), pad);
    g.SetRowLines(0);
    g.SetRowHeight(1);  // less than a line still gives one line
    EXPECT_EQ(g.DefaultDataRowHeight(), h + pad);
}

TEST(GridLayout, OptionsAndRefusedValues)
{
    GridFixture f(3);
    TDBGridEx& g = *f.grid;
    g.SetOptions(g.Options() + TDBGridOptions{dgRowSelect, dgAlwaysShowEditor});
    EXPECT_FALSE(g.Options().Contains(dgEditing));
    EXPECT_FALSE(g.Options().Contains(dgAlwaysShowEditor));
    EXPECT_TRUE(g.GridOptions() & goRowSelect);
    EXPECT_FALSE(g.GridOptions() & goEditing);
    g.SetFooterRowCount(1);
    g.SetFooterRowCount(-1);
    EXPECT_EQ(g.FooterRowCount(), 1);
    g.SetFrozenCols(-2);
    EXPECT_EQ(g.FrozenCols(), 0);
    g.SetOptions(g.Options() - TDBGridOptions{dgIndicator});
    EXPECT_EQ(g.IndicatorOffset(), 0);
    EXPECT_EQ(g.ColCount(), 5);
}

TEST(GridLayout, HiddenFrozenColumnKeepsFrozenCountOfVisibleColumns)
{
    GridFixture f(3, 600, 200);
    TDBGridEx& g = *f.grid;
    g.SetFrozenCols(2);
    EXPECT_EQ(g.FixedCols(), 1 + 2);
    g.Columns()[0]->SetVisible(false);
    EXPECT_EQ(g.FixedCols(), 1 + 2 + 1);
    EXPECT_EQ(g.ColWidths(1), -1);  // hidden with column lines
    EXPECT_EQ(g.VisibleColumns().Count(), 4);
}

TEST(GridLayout, ColumnsFollowTheDataSetUntilTheProgramDefinesItsOwn)
{
    GridFixture f(3);
    TDBGridEx& g = *f.grid;
    ASSERT_EQ(g.Columns().Count(), 5);
    EXPECT_FALSE(g.Columns()[0]->UserDefined());
    TColumnEx* c = g.Columns().Add();
    c->SetFieldName("Qty");
    ASSERT_EQ(g.Columns().Count(), 1);
    EXPECT_EQ(g.Columns()[0]->FieldName(), "Qty");
    EXPECT_EQ(g.ColCount(), 2);
    f.source.SetDataSet(nullptr);
    EXPECT_EQ(g.Columns().Count(), 1);  // the program's columns stay
}

// ---- Multi-level titles --------------------------------------------------------------------------

namespace {

void AddTitled(TDBGridEx& g, const QString& field, const QString& caption, int width)
{
    TColumnEx* c = g.Columns().Add();
    c->SetFieldName(field);
    c->Title().SetCaption(caption);
    c->SetWidth(width);
}

} // namespace

TEST(GridTitles, NeighbouringCaptionsShareBands)
{
    GridFixture f(3, 500, 200);
    TDBGridEx& g = *f.grid;
    g.BeginLayout();
    g.SetUseMultiTitle(true);
    AddTitled(g, "ID", "A|B", 40);
    AddTitled(g, "Name", "A|C", 50);
    AddTitled(g, "Qty", "D|E", 60);
    AddTitled(g, "Amount", "A|X|Y", 60);  // same first word, not adjacent: a band of its own
    g.EndLayout();
    THeadTreeNode& root = g.HeadTree();
    ASSERT_EQ(root.ChildCount(), 3);
    THeadTreeNode* a = root.Child;
    EXPECT_EQ(a->Text, "A");
    EXPECT_EQ(a->ChildCount(), 2);
    EXPECT_EQ(a->Width, 40 + 1 + 50);
    EXPECT_EQ(a->Next->Text, "D");
    EXPECT_EQ(a->Next->Next->Text, "A");
    EXPECT_EQ(a->Next->Next->Child->Text, "X");
    EXPECT_EQ(g.LeafOf(0)->Text, "B");
    EXPECT_EQ(g.LeafOf(3)->Text, "Y");
    EXPECT_EQ(g.LeafOf(3)->Host->Host->Text, "A");
    // The bands of a path add up to the whole title height.
    THeadTreeNode* y = g.LeafOf(3);
    EXPECT_EQ(y->Height + y->Host->Height + y->Host->Host->Height, root.Height);
    EXPECT_EQ(g.LeafOf(2)->Height + g.LeafOf(2)->Host->Height, root.Height);
    EXPECT_EQ(g.TitleRowHeight(), root.Height - 1);  // dghFixed3D is on by default
}

TEST(GridTitles, FlatCaptionsAndVerticalCaptionSizeTheTitleRow)
{
    GridFixture f(3, 500, 200);
    TDBGridEx& g = *f.grid;
    g.BeginLayout();
    g.SetOptionsEx(TDBGridExOptions{dghHighlightFocus, dghClearSelection});
    g.SetUseMultiTitle(true);
    AddTitled(g, "ID", "Дата", 60);
    AddTitled(g, "Name", "Время", 60);
    g.EndLayout();
    TCanvas m;
    m.SetFont(g.Columns()[0]->Title().Font());
    const int textH = m.TextHeight("Дата");
    EXPECT_EQ(g.HeadTree().Height, textH + g.VTitleMargin());
    EXPECT_EQ(g.TitleRowHeight(), textH + g.VTitleMargin() - 3);
    EXPECT_EQ(g.RowHeights(0), g.TitleRowHeight());

    TColumnEx* v = g.Columns().Add();
    v->SetFieldName("Flag");
    v->SetWidth(20);
    v->Title().SetCaption("Самозап.");
    v->Title().Font().SetHeight(-9);
    v->Title().SetOrientation(tohVertical);
    m.SetFont(v->Title().Font());
    const int length = m.TextWidth("Самозап.");
    EXPECT_EQ(g.HeadTree().Height, std::max(length + 6, textH + g.VTitleMargin()));
}

TEST(GridTitles, HiddenColumnKeepsAnEmptyLeaf)
{
    GridFixture f(3, 500, 200);
    TDBGridEx& g = *f.grid;
    g.BeginLayout();
    g.SetUseMultiTitle(true);
    AddTitled(g, "ID", "Visible", 60);
    AddTitled(g, "Name", "A very long caption that would wrap into many lines", 60);
    g.EndLayout();
    const int tall = g.HeadTree().Height;
    g.Columns()[1]->SetVisible(false);
    EXPECT_EQ(g.LeafOf(1)->Width, -1);
    EXPECT_LT(g.HeadTree().Height, tall);
}

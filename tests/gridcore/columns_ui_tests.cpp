// Columns and titles as a user handles them: moving by title, widths set in code, pop-up menus.
#include "gridfixture.h"

#include <QApplication>
#include <QContextMenuEvent>
#include <QMenu>
#include <QTest>
#include <gtest/gtest.h>

namespace {

QStringList FieldOrder(TDBGridEx& g)
{
    QStringList names;
    for (int i = 0; i < g.Columns().Count(); ++i)
        names << g.Columns()[i]->FieldName();
    return names;
}

// Drags the title of grid column from onto grid column to.
void DragTitle(TDBGridEx& g, int from, int to)
{
    const QPoint start = CenterOf(g.CellRect(from, 0)) - QPoint(0, 3);
    const QPoint end = CenterOf(g.CellRect(to, 0)) - QPoint(0, 3);
    QTest::mousePress(g.viewport(), Qt::LeftButton, Qt::NoModifier, start);
    DragMove(g.viewport(), (start + end) / 2);
    DragMove(g.viewport(), end);
    QTest::mouseRelease(g.viewport(), Qt::LeftButton, Qt::NoModifier, end);
}

} // namespace

TEST(GridColumnMove, GridMadeColumnsStayWhereTheirTitleWasDragged)
{
    GridFixture f(5, 500, 200);
    TDBGridEx& g = *f.grid;
    ASSERT_EQ(g.Columns().State(), csDefault);
    ASSERT_EQ(FieldOrder(g), QStringList({"ID", "Name", "Amount", "Flag", "Qty"}));
    int moves = 0;
    g.OnColumnMoved = [&](TCustomDBGridEx&, int from, int to) {
        EXPECT_EQ(from, 2);
        EXPECT_EQ(to, 4);
        ++moves;
    };
    f.ds->SetRecNo(3);
    DragTitle(g, 2, 4);
    EXPECT_EQ(moves, 1);
    EXPECT_EQ(FieldOrder(g), QStringList({"ID", "Amount", "Flag", "Name", "Qty"}));
    EXPECT_EQ(g.Columns().State(), csDefault);
    // The cells follow their columns, and the current column is the moved one.
    EXPECT_EQ(g.SelectedField(), f.ds->FieldByName("Name"));
    EXPECT_EQ(g.Columns()[3]->Field(), f.ds->FieldByName("Name"));
    EXPECT_EQ(g.Columns()[3]->DisplayText(), "Name3");
    // A later layout keeps the order.
    g.LayoutChanged();
    EXPECT_EQ(FieldOrder(g), QStringList({"ID", "Amount", "Flag", "Name", "Qty"}));
    // And back.
    g.OnColumnMoved = nullptr;
    DragTitle(g, 4, 1);
    EXPECT_EQ(FieldOrder(g), QStringList({"Name", "ID", "Amount", "Flag", "Qty"}));
}

TEST(GridMultiTitle, TheTitleTreeFollowsWidthsSetInCode)
{
    GridFixture f(5, 500, 200);
    TDBGridEx& g = *f.grid;
    g.SetUseMultiTitle(true);
    g.Columns()[1]->Title().SetCaption("Группа|Имя");
    g.Columns()[2]->Title().SetCaption("Группа|Сумма");
    THeadTreeNode* leaf = g.LeafOf(1);
    ASSERT_NE(leaf, nullptr);
    ASSERT_NE(leaf->Host, nullptr);
    ASSERT_EQ(leaf->Host->Text, "Группа");
    g.Columns()[1]->SetWidth(130);
    g.Columns()[2]->SetWidth(20);   // narrow: the caption wraps and the band rows grow
    EXPECT_EQ(g.ColWidths(2), 130);
    leaf = g.LeafOf(1);
    EXPECT_EQ(leaf->Width, 130);
    EXPECT_EQ(leaf->Host->Width, 130 + 1 + 20);
    const int titleHeight = g.RowHeights(0);
    const QImage inCode = f.Grab();
    // The picture is what a full layout draws.
    g.LayoutChanged();
    EXPECT_EQ(g.RowHeights(0), titleHeight);
    const QImage relaid = f.Grab();
    const TRect title = g.CellRect(1, 0);
    const QRect band(0, 0, g.ClientWidth(), title.Bottom + 1);
    EXPECT_EQ(inCode.copy(band), relaid.copy(band));
}

TEST(GridColumnPopup, ARightClickInACellOrTitleOpensTheColumnsMenu)
{
    GridFixture f(5, 500, 200);
    TDBGridEx& g = *f.grid;
    QMenu menu;
    menu.addAction("Копировать");
    g.Columns()[2]->SetPopupMenu(&menu);
    const int dataRow = g.TopDataOffset() + 2;
    // Another column's cell: no menu.
    QTest::mouseClick(g.viewport(), Qt::RightButton, Qt::NoModifier, CenterOf(g.CellRect(2, dataRow)));
    EXPECT_FALSE(menu.isVisible());
    const QPoint cell = CenterOf(g.CellRect(3, dataRow));
    QTest::mouseClick(g.viewport(), Qt::RightButton, Qt::NoModifier, cell);
    EXPECT_TRUE(menu.isVisible());
    EXPECT_EQ(menu.pos(), g.viewport()->mapToGlobal(cell));
    // The right click moved to the record like a left one.
    EXPECT_EQ(f.ds->RecNo(), 3);
    menu.hide();
    // The context-menu event that follows is taken, so no other menu goes up.
    QContextMenuEvent context(QContextMenuEvent::Mouse, cell, g.viewport()->mapToGlobal(cell));
    QApplication::sendEvent(g.viewport(), &context);
    EXPECT_TRUE(context.isAccepted());
    QTest::mouseClick(g.viewport(), Qt::RightButton, Qt::NoModifier, CenterOf(g.CellRect(3, 0)));
    EXPECT_TRUE(menu.isVisible());
    menu.hide();
}

TEST(GridFonts, TitleAndFooterFontsFollowTheParentFontUntilSetThemselves)
{
    QWidget parent;
    parent.resize(600, 300);
    GridFixture f(5, 500, 200);
    TDBGridEx& g = *f.grid;
    g.setParent(&parent);
    parent.show();
    g.SetFooterRowCount(1);
    ASSERT_TRUE(g.ParentFont());
    const int rowBefore = g.RowHeights(g.TopDataOffset());
    QFont big(QStringLiteral("Liberation Sans"));
    big.setPixelSize(22);
    parent.setFont(big);
    // The grid, its titles and its footers take the parent's font.
    EXPECT_EQ(g.Font().Name(), QStringLiteral("Liberation Sans"));
    EXPECT_EQ(g.Font().Height(), -22);
    EXPECT_EQ(g.TitleFont().Height(), -22);
    EXPECT_EQ(g.FooterFont().Height(), -22);
    EXPECT_EQ(g.Columns()[1]->Title().Font().Height(), -22);
    EXPECT_GT(g.RowHeights(g.TopDataOffset()), rowBefore);
    EXPECT_TRUE(g.ParentFont());
    // A title font of its own ends following the parent; the grid keeps the parent's font.
    g.TitleFont().SetStyle(TFontStyles{fsBold});
    EXPECT_FALSE(g.ParentFont());
    QFont small = big;
    small.setPixelSize(12);
    parent.setFont(small);
    EXPECT_EQ(g.TitleFont().Height(), -22);
    EXPECT_EQ(g.Font().Height(), -22);
    // Following again takes the parent's font at once.
    g.SetParentFont(true);
    EXPECT_EQ(g.Font().Height(), -12);
    EXPECT_EQ(g.TitleFont().Height(), -12);
    EXPECT_EQ(g.FooterFont().Height(), -12);
    g.setParent(nullptr);
}

TEST(GridFonts, ChangeScaleScalesFontsOfItsOwnAndWidthsWithoutDrift)
{
    GridFixture f(5, 500, 200);
    TDBGridEx& g = *f.grid;
    g.SetParentFont(false);
    g.TitleFont().SetHeight(-10);
    g.FooterFont().SetHeight(-20);
    TColumnEx* own = g.Columns()[1];
    own->Font().SetHeight(-14);
    own->Footer().Font().SetHeight(-8);
    const int widths[] = {33, 33, 33, 33, 33};
    for (int i = 0; i < 5; ++i)
        g.Columns()[i]->SetWidth(widths[i]);
    g.ChangeScale(3, 2);
    EXPECT_EQ(g.TitleFont().Height(), -15);
    EXPECT_EQ(g.FooterFont().Height(), -30);
    EXPECT_EQ(own->Font().Height(), -21);
    EXPECT_EQ(own->Footer().Font().Height(), -12);
    // Other columns follow the grid's fonts.
    EXPECT_EQ(g.Columns()[2]->Title().Font().Height(), -15);
    // 165 * 3 / 2 = 247.5: the widths add up to the scaled total, not to five rounded halves.
    int sum = 0;
    for (int i = 0; i < 5; ++i) {
        EXPECT_GE(g.Columns()[i]->Width(), 49);
        EXPECT_LE(g.Columns()[i]->Width(), 50);
        sum += g.Columns()[i]->Width();
    }
    EXPECT_EQ(sum, MulDiv(165, 3, 2));
    EXPECT_EQ(g.ColWidths(1), g.Columns()[0]->Width());
}

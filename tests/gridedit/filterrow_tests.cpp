// The grid's filter-row editor.
#include "editfixture.h"

#include "grid/dbgridexfilterrow.h"

#include <gtest/gtest.h>

namespace {

struct FilterFixture : EditFixture {
    int applied = 0;
    FilterFixture() : EditFixture(6)
    {
        grid->STFilter().SetVisible(true);
        // Amount and Day do not filter.
        Col("Amount").STFilter().SetVisible(false);
        Col("Day").STFilter().SetVisible(false);
        grid->OnApplyFilter = [this](TCustomDBGridEx&) { ++applied; };
    }
    TInplaceFilterEditEx& Editor() { return *grid->FilterEditor(); }
    int Index(const QString& field) { return Col(field).Index(); }
};

} // namespace

TEST(FilterRow, ColoursAreTheFixedColourLightened)
{
    EXPECT_EQ(FilterRowBackground(RGB(128, 8, 240)), RGB(144, 9, 255));
    EXPECT_EQ(FilterRowBackground(RGB(0, 0, 0)), RGB(0, 0, 0));
    EXPECT_EQ(kFilterRowFontColor, 0xFF0000u);
}

TEST(FilterRow, LeftRightHomeEndSkipColumnsThatDoNotFilter)
{
    FilterFixture f;
    f.grid->ShowFilterEditor(f.Index("Name"));
    ASSERT_TRUE(f.grid->FilterEditing());
    TInplaceFilterEditEx& e = f.Editor();
    EXPECT_TRUE(e.isVisible());
    EXPECT_EQ(f.grid->FilterCol(), f.Index("Name"));
    // The editor sits in the filter row's cell.
    const TRect cell = f.grid->CellRect(f.grid->DataColToGridCol(f.Index("Name")), f.grid->GetTitleRowCount());
    EXPECT_EQ(e.geometry(), QRect(cell.Left, cell.Top, cell.Width(), cell.Height()));
    QTest::keyClick(&e, Qt::Key_Right);
    EXPECT_EQ(f.grid->FilterCol(), f.Index("At"));   // Amount and Day skipped
    QTest::keyClick(&e, Qt::Key_Left);
    EXPECT_EQ(f.grid->FilterCol(), f.Index("Name"));
    QTest::keyClick(&e, Qt::Key_End, Qt::ControlModifier);
    EXPECT_EQ(f.grid->FilterCol(), f.Index("City"));
    QTest::keyClick(&e, Qt::Key_Home, Qt::ControlModifier);
    EXPECT_EQ(f.grid->FilterCol(), f.Index("ID"));
    // At the ends nothing moves.
    QTest::keyClick(&e, Qt::Key_Left);
    EXPECT_EQ(f.grid->FilterCol(), f.Index("ID"));
    // Inside the text the arrows move the caret.
    QTest::keyClicks(&e, "12");
    QTest::keyClick(&e, Qt::Key_Left);
    EXPECT_EQ(f.grid->FilterCol(), f.Index("ID"));
    EXPECT_EQ(e.cursorPosition(), 1);
    QTest::keyClick(&e, Qt::Key_Up);
    EXPECT_TRUE(f.grid->FilterEditing());
}

TEST(FilterRow, EnterStoresTheTextAndApplies)
{
    FilterFixture f;
    f.grid->ShowFilterEditor(f.Index("ID"));
    TInplaceFilterEditEx& e = f.Editor();
    QTest::keyClicks(&e, ">2");
    QTest::keyClick(&e, Qt::Key_Return);
    EXPECT_EQ(f.applied, 1);
    EXPECT_EQ(f.Col("ID").STFilter().FilterText(), ">2");
    EXPECT_TRUE(e.isVisible());
    // Moving to another column stores the text of the one left.
    QTest::keyClicks(&e, "0");
    QTest::keyClick(&e, Qt::Key_Right, Qt::ControlModifier);
    EXPECT_EQ(f.Col("ID").STFilter().FilterText(), ">20");
    EXPECT_EQ(f.grid->FilterCol(), f.Index("Name"));
}

TEST(FilterRow, DownReturnsToTheFirstVisibleRecord)
{
    FilterFixture f;
    f.ds->Last();
    f.grid->setFocus();
    // Up from the top record (with Ctrl from anywhere) enters the filter row.
    f.Select("Name");
    QTest::keyClick(f.grid.get(), Qt::Key_Up, Qt::ControlModifier);
    ASSERT_TRUE(f.grid->FilterEditing());
    EXPECT_EQ(f.grid->FilterCol(), f.Index("Name"));
    TInplaceFilterEditEx& e = f.Editor();
    QTest::keyClick(&e, Qt::Key_Right);   // to At
    QTest::keyClick(&e, Qt::Key_Down);
    EXPECT_FALSE(f.grid->FilterEditing());
    EXPECT_FALSE(e.isVisible());
    EXPECT_EQ(f.grid->SelectedIndex(), f.Index("At"));
    EXPECT_EQ(f.grid->DataLink().ActiveRecord(), 0);
    EXPECT_EQ(f.ds->RecNo(), f.grid->DataLink().FirstRecord() + 1);
}

TEST(FilterRow, RowSelectScrollsInsteadOfMovingTheColumn)
{
    FilterFixture f;
    f.grid->resize(200, 200);
    TDBGridOptions o = f.grid->Options();
    o.Include(dgRowSelect);
    f.grid->SetOptions(o);
    const int current = f.grid->SelectedIndex();
    const int city = f.Index("City");
    ASSERT_GE(f.grid->DataColToGridCol(city), f.grid->LeftCol() + f.grid->VisibleColCount());
    f.grid->ShowFilterEditor(city);
    EXPECT_EQ(f.grid->SelectedIndex(), current);
    EXPECT_LT(f.grid->DataColToGridCol(city), f.grid->LeftCol() + f.grid->VisibleColCount());
    EXPECT_TRUE(f.Editor().isVisible());
}

TEST(FilterRow, ABadFilterIsReportedAndTheTextKept)
{
    FilterFixture f;
    f.grid->ShowFilterEditor(f.Index("ID"));
    TInplaceFilterEditEx& e = f.Editor();
    QTest::keyClicks(&e, ">abc");
    EXPECT_THROW(f.grid->ApplyFilter(), Exception);
    EXPECT_EQ(e.Text(), ">abc");
    EXPECT_EQ(f.applied, 0);
}

TEST(FilterRow, ClickInAFilterCellOpensTheEditor)
{
    FilterFixture f;
    const int gridCol = f.grid->DataColToGridCol(f.Index("Name"));
    const TRect cell = f.grid->CellRect(gridCol, f.grid->GetTitleRowCount());
    QTest::mouseClick(f.grid->viewport(), Qt::LeftButton, Qt::NoModifier,
                      QPoint((cell.Left + cell.Right) / 2, (cell.Top + cell.Bottom) / 2));
    EXPECT_TRUE(f.grid->FilterEditing());
    EXPECT_EQ(f.grid->FilterCol(), f.Index("Name"));
    // A column that does not filter opens nothing.
    f.grid->HideFilterEditor();
    const TRect other = f.grid->CellRect(f.grid->DataColToGridCol(f.Index("Amount")), f.grid->GetTitleRowCount());
    QTest::mouseClick(f.grid->viewport(), Qt::LeftButton, Qt::NoModifier,
                      QPoint((other.Left + other.Right) / 2, (other.Top + other.Bottom) / 2));
    EXPECT_FALSE(f.grid->FilterEditing());
}

TEST(FilterRow, CellsArePaintedInTheFilterRowColours)
{
    FilterFixture f;
    f.Col("ID").STFilter().SetFilterText(">1");
    f.grid->ShowFilterEditor(f.Index("Name"));
    f.grid->repaint();
    const QImage img = f.grid->viewport()->grab().toImage().convertToFormat(QImage::Format_RGB32);
    const int row = f.grid->GetTitleRowCount();
    const TRect id = f.grid->CellRect(f.grid->DataColToGridCol(f.Index("ID")), row);
    const TRect amount = f.grid->CellRect(f.grid->DataColToGridCol(f.Index("Amount")), row);
    const QRgb filterBg = ToQColor(ColorToRGB(FilterRowBackground(f.grid->FixedColor()))).rgb();
    // The right end of the filtering cell is background (its text sits at the left).
    EXPECT_EQ(img.pixel(id.Right - 3, id.Bottom - 3), filterBg);
    EXPECT_NE(img.pixel(amount.Right - 3, amount.Bottom - 3), filterBg);
    // Some pixels of the text are blue.
    int blue = 0;
    for (int x = id.Left; x < id.Right; ++x)
        for (int y = id.Top; y < id.Bottom; ++y)
            if (qBlue(img.pixel(x, y)) > 150 && qRed(img.pixel(x, y)) < 100)
                ++blue;
    EXPECT_GT(blue, 0);
}

namespace {

// A point in the filter cell of a column, a little inside its text.
QPoint FilterCellPoint(FilterFixture& f, const QString& field)
{
    const int gridCol = f.grid->DataColToGridCol(f.Index(field));
    const TRect cell = f.grid->CellRect(gridCol, f.grid->GetTitleRowCount());
    return QPoint(cell.Left + 8, (cell.Top + cell.Bottom) / 2);
}

} // namespace

TEST(FilterRow, TheSecondClickOfADoubleClickOnAFilterCellSelectsTheWord)
{
    FilterFixture f;
    const int savedInterval = QApplication::doubleClickInterval();
    QApplication::setDoubleClickInterval(60000);   // the two clicks always count as one double click
    f.Col("Name").STFilter().SetFilterText("alpha");
    const QPoint at = FilterCellPoint(f, "Name");
    // The first press reaches the grid, which shows the editor there.
    QTest::mouseClick(f.grid->viewport(), Qt::LeftButton, Qt::NoModifier, at);
    TInplaceFilterEditEx& e = f.Editor();
    ASSERT_TRUE(e.isVisible());
    EXPECT_EQ(e.Text(), "alpha");
    EXPECT_FALSE(e.hasSelectedText());
    // The second lands on the editor, which now covers the cell.
    const QPoint local = e.mapFrom(f.grid->viewport(), at);
    QTest::mouseClick(&e, Qt::LeftButton, Qt::NoModifier, local);
    EXPECT_EQ(e.selectedText(), "alpha");
    // Two clicks far apart are no double click.
    f.grid->HideFilterEditor();
    QTest::mouseClick(f.grid->viewport(), Qt::LeftButton, Qt::NoModifier, at);
    ASSERT_TRUE(e.isVisible());
    QTest::mouseClick(&e, Qt::LeftButton, Qt::NoModifier, local + QPoint(20, 0));
    EXPECT_FALSE(e.hasSelectedText());
    QApplication::setDoubleClickInterval(savedInterval);
}

TEST(FilterRow, ADoubleClickThatTheGridReceivesGoesOnToTheEditor)
{
    FilterFixture f;
    f.Col("Name").STFilter().SetFilterText("alpha");
    const QPoint at = FilterCellPoint(f, "Name");
    QTest::mouseClick(f.grid->viewport(), Qt::LeftButton, Qt::NoModifier, at);
    TInplaceFilterEditEx& e = f.Editor();
    ASSERT_TRUE(e.isVisible());
    ASSERT_FALSE(e.hasSelectedText());
    QMouseEvent dbl(QEvent::MouseButtonDblClick, QPointF(at), f.grid->viewport()->mapToGlobal(QPointF(at)),
                    Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(f.grid->viewport(), &dbl);
    EXPECT_TRUE(e.isVisible());
    EXPECT_EQ(e.selectedText(), "alpha");
}

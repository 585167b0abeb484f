// The vertical scroll bar follows the records; the data link's notifications reach the grid.
#include "gridfixture.h"

#include <QApplication>
#include <QScrollBar>
#include <QStyle>
#include <QStyleOptionSlider>
#include <QTest>
#include <gtest/gtest.h>

namespace {

// Opens the scroll actions of the grid to the tests.
class ScrollGrid : public TDBGridEx {
public:
    using TDBGridEx::ScrollBarAction;
};

struct ScrollFixture {
    std::unique_ptr<TMemDataSet> ds = MakeDataSet(50);
    TDataSource source{ds.get()};
    ScrollGrid grid;
    ScrollFixture()
    {
        grid.resize(300, 200);
        grid.SetDataSource(&source);
        grid.show();
    }
};

} // namespace

TEST(GridScroll, VerticalBarMapsRecordNumbers)
{
    ScrollFixture f;
    QScrollBar* bar = f.grid.verticalScrollBar();
    EXPECT_EQ(f.grid.verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
    EXPECT_EQ(bar->minimum(), 1);
    EXPECT_EQ(bar->maximum(), 50);
    EXPECT_EQ(bar->pageStep(), f.grid.GetVisibleDataRowCount());
    EXPECT_EQ(bar->value(), 1);
    f.ds->SetRecNo(20);
    EXPECT_EQ(bar->value(), 20);
    // The current row follows the record inside the buffer window.
    EXPECT_EQ(f.grid.Row(), f.grid.TopDataOffset() + f.grid.DataLink().ActiveRecord());
}

TEST(GridScroll, ScrollActionsMoveTheDataSet)
{
    ScrollFixture f;
    const int rows = f.grid.GetVisibleDataRowCount();
    const int buffered = f.grid.DataLink().RecordCount();
    f.grid.ScrollBarAction(true, scLineDown, 0);
    // Line down goes to the record below the last one shown.
    EXPECT_EQ(f.ds->RecNo(), buffered + 1);
    f.grid.ScrollBarAction(true, scBottom, 0);
    EXPECT_EQ(f.ds->RecNo(), 50);
    f.grid.ScrollBarAction(true, scPageUp, 0);
    EXPECT_EQ(f.ds->RecNo(), 50 - rows);
    f.grid.ScrollBarAction(true, scPosition, 25);
    EXPECT_EQ(f.ds->RecNo(), 25);
    f.grid.ScrollBarAction(true, scPosition, 0);
    EXPECT_EQ(f.ds->RecNo(), 1);
    // Without tracking the thumb moves nothing while dragged; with it the data follows, and
    // the final position is then ignored once.
    f.grid.ScrollBarAction(true, scTrack, 10);
    EXPECT_EQ(f.ds->RecNo(), 1);
    f.grid.VertScrollBar().SetTracking(true);
    f.grid.ScrollBarAction(true, scTrack, 10);
    EXPECT_EQ(f.ds->RecNo(), 10);
    f.grid.ScrollBarAction(true, scPosition, 30);
    EXPECT_EQ(f.ds->RecNo(), 10);
    f.grid.ScrollBarAction(true, scPosition, 30);
    EXPECT_EQ(f.ds->RecNo(), 30);
}

TEST(GridScroll, FewRecordsHideTheBarAndClosingEmptiesTheGrid)
{
    auto ds = MakeDataSet(1);
    TDataSource source(ds.get());
    TDBGridEx g;
    g.resize(300, 200);
    g.SetDataSource(&source);
    g.show();
    EXPECT_EQ(g.verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOff);
    ds->Close();
    EXPECT_EQ(g.Columns().Count(), 0);
    EXPECT_EQ(g.RowCount(), g.TopDataOffset() + 1);
    ds->Open();
    EXPECT_EQ(g.Columns().Count(), 5);
}

TEST(GridScroll, NothingIsLaidOutWhileLoading)
{
    auto ds = MakeDataSet(3);
    TDataSource source(ds.get());
    TDBGridEx g;
    g.resize(300, 200);
    g.BeginLoad();
    g.SetDataSource(&source);
    g.SetFooterRowCount(1);
    g.SetOptions(g.Options() - TDBGridOptions{dgIndicator});
    EXPECT_EQ(g.Columns().Count(), 0);
    EXPECT_EQ(g.IndicatorOffset(), 1);
    g.Loaded();
    EXPECT_EQ(g.IndicatorOffset(), 0);
    EXPECT_EQ(g.Columns().Count(), 5);
    EXPECT_EQ(g.RowCount(), 1 + 3 + 1 + 1);
}

namespace {

QRect ThumbOf(QScrollBar* bar)
{
    QStyleOptionSlider opt;
    opt.initFrom(bar);
    opt.subControls = QStyle::SC_None;
    opt.activeSubControls = QStyle::SC_None;
    opt.orientation = bar->orientation();
    if (bar->orientation() == Qt::Horizontal)
        opt.state |= QStyle::State_Horizontal;
    opt.minimum = bar->minimum();
    opt.maximum = bar->maximum();
    opt.sliderPosition = bar->sliderPosition();
    opt.sliderValue = bar->value();
    opt.singleStep = bar->singleStep();
    opt.pageStep = bar->pageStep();
    opt.upsideDown = bar->invertedAppearance();
    return bar->style()->subControlRect(QStyle::CC_ScrollBar, &opt, QStyle::SC_ScrollBarSlider, bar);
}

void DragBy(QScrollBar* bar, QPoint from, QPoint by)
{
    QTest::mousePress(bar, Qt::LeftButton, Qt::NoModifier, from);
    for (int i = 1; i <= 4; ++i) {
        const QPointF p = from + by * i / 4;
        QMouseEvent move(QEvent::MouseMove, p, bar->mapToGlobal(p), Qt::NoButton, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(bar, &move);
    }
}

} // namespace

TEST(GridScroll, ATrackingThumbMovesTheDataSetWhileDragging)
{
    ScrollFixture f;
    QScrollBar* bar = f.grid.verticalScrollBar();
    ASSERT_GT(bar->height(), 100);
    // Without tracking the records wait for the release.
    QPoint thumb = ThumbOf(bar).center();
    DragBy(bar, thumb, QPoint(0, 40));
    EXPECT_EQ(f.ds->RecNo(), 1);
    QTest::mouseRelease(bar, Qt::LeftButton, Qt::NoModifier, thumb + QPoint(0, 40));
    const int released = f.ds->RecNo();
    EXPECT_GT(released, 1);

    f.ds->First();
    f.grid.VertScrollBar().SetTracking(true);
    thumb = ThumbOf(bar).center();
    DragBy(bar, thumb, QPoint(0, 40));
    const int dragged = f.ds->RecNo();
    EXPECT_GT(dragged, 1);
    EXPECT_EQ(bar->value(), dragged);
    // The release does not move it again.
    QTest::mouseRelease(bar, Qt::LeftButton, Qt::NoModifier, thumb + QPoint(0, 40));
    EXPECT_EQ(f.ds->RecNo(), dragged);
    EXPECT_EQ(f.grid.Row(), f.grid.TopDataOffset() + f.grid.DataLink().ActiveRecord());
}

TEST(GridScroll, TheHorizontalThumbMovesTheColumnsWhileDraggingOnlyWithTracking)
{
    ScrollFixture f;
    f.grid.resize(180, 200);
    QScrollBar* bar = f.grid.horizontalScrollBar();
    ASSERT_GT(bar->maximum(), bar->minimum());
    const int left = f.grid.LeftCol();
    QPoint thumb = ThumbOf(bar).center();
    const QPoint by(bar->width() / 2, 0);
    DragBy(bar, thumb, by);
    EXPECT_EQ(f.grid.LeftCol(), left);
    QTest::mouseRelease(bar, Qt::LeftButton, Qt::NoModifier, thumb + by);
    EXPECT_GT(f.grid.LeftCol(), left);

    f.grid.SetLeftCol(left);
    f.grid.HorzScrollBar().SetTracking(true);
    thumb = ThumbOf(bar).center();
    DragBy(bar, thumb, by);
    const int dragged = f.grid.LeftCol();
    EXPECT_GT(dragged, left);
    QTest::mouseRelease(bar, Qt::LeftButton, Qt::NoModifier, thumb + by);
    EXPECT_EQ(f.grid.LeftCol(), dragged);
}

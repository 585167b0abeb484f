// The vertical scroll bar follows the records; the data link's notifications reach the grid.
#include "gridfixture.h"

#include <QScrollBar>
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

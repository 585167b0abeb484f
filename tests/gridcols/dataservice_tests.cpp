#include "fakegrid.h"

#include <gtest/gtest.h>

namespace {

class DataServiceTest : public ::testing::Test, public GridFixture {
protected:
    void TearDown() override { UnregisterAllDataSetFeatures(); }
};

TEST_F(DataServiceTest, FilterTextIsKeptAsTypedAndNormalised)
{
    TColumnEx* c = AddColumn("ID");
    TSTColumnFilterEx& f = c->STFilter();
    f.SetFilterText("  >   10 ");
    EXPECT_EQ(f.FilterText(), "  >   10 ");
    EXPECT_EQ(f.Expression().ExpressionType, fdtNumber);
    EXPECT_EQ(f.GetExpressionAsString(), "> 10");

    f.SetFilterText("in (1, 2,3)");
    EXPECT_EQ(f.GetExpressionAsString(), "In (1,2,3)");

    f.SetFilterText(">1 and <5");
    EXPECT_EQ(f.GetExpressionAsString(), "> 1 AND < 5");
    EXPECT_EQ(f.GetFieldName(), "ID");
    EXPECT_TRUE(f.GetKeyValue().IsEmpty());
}

TEST_F(DataServiceTest, ParseErrorKeepsThePreviousFilter)
{
    TColumnEx* c = AddColumn("ID");
    TSTColumnFilterEx& f = c->STFilter();
    f.SetFilterText("=3");
    EXPECT_ANY_THROW(f.SetFilterText("> > 4"));
    EXPECT_EQ(f.FilterText(), "=3");
    EXPECT_EQ(f.GetExpressionAsString(), "= 3");


    // a list after a comparison is refused the same way, and the filter can still be shown
    TSTColumnFilterEx& names = AddColumn("NAME")->STFilter();
    names.SetFilterText("abc");
    try {
        names.SetFilterText(">= 1, 10");
        ADD_FAILURE() << "a list after >= was taken";
    } catch (const Exception& e) {
        EXPECT_EQ(e.Message(), "Unexpected expression after operator: >= 1, 10");
    }
    EXPECT_EQ(names.FilterText(), "abc");
    const QString shown = names.GetExpressionAsString();
    names.SetFilterText("in (1, 10)");
    EXPECT_EQ(names.GetExpressionAsString(), "In ('1','10')");
    EXPECT_FALSE(shown.isEmpty());
}

TEST_F(DataServiceTest, StringOperandsAndNulls)
{
    TColumnEx* c = AddColumn("NAME");
    TSTColumnFilterEx& f = c->STFilter();
    f.SetFilterText("abc");
    EXPECT_EQ(f.GetExpressionAsString(), "~ 'abc'") << "a bare text matches by pattern";
    f.SetFilterText("=null");
    EXPECT_EQ(f.GetExpressionAsString(), "=Null");
    f.SetFilterText("");
    EXPECT_EQ(f.GetExpressionAsString(), "");
}

TEST_F(DataServiceTest, FilterRowVisibility)
{
    TSTDBGridExFilter& filter = grid.stFilter;
    filter.SetVisible(true);
    const int layouts = grid.layouts;
    grid.editorVisible = true;
    filter.SetVisible(false);
    ASSERT_EQ(grid.filterEditHides, 1);
    EXPECT_TRUE(grid.calls.contains("HideFilterEdit visible=1")) << "the editor goes before the row";
    EXPECT_EQ(grid.layouts, layouts + 1);
    EXPECT_GE(grid.editorUpdates, 1);

    filter.SetVisible(true);
    filter.BeginUpdate();
    filter.SetVisible(false);
    filter.EndUpdate();
    EXPECT_EQ(grid.filterEditHides, 1) << "not while the filter is updating";
}

TEST_F(DataServiceTest, ColumnFilterVisibilityRepaints)
{
    TColumnEx* c = AddColumn("ID");
    grid.LayoutChanged();
    grid.calls.clear();
    c->STFilter().SetVisible(false);
    EXPECT_TRUE(grid.calls.contains("InvalidateCol 1"));
    TColumnEx* d = AddColumn("NAME");
    d->STFilter().SetDataField("X");
    c->STFilter().Assign(d->STFilter());
    EXPECT_TRUE(c->STFilter().Visible());
    EXPECT_EQ(c->STFilter().DataField(), "X");
}

class RecordingFeatures : public TDataSetFeaturesEx {
public:
    explicit RecordingFeatures(QStringList* log, QString name) : log_(log), name_(std::move(name)) {}
    void ApplySorting(IDBGridEx&, TDataSet&, bool fromGrid) override { *log_ << name_ + " sort " + (fromGrid ? "1" : "0"); }
    void ApplyFilter(IDBGridEx&, TDataSet&, bool fromGrid) override { *log_ << name_ + " filter " + (fromGrid ? "1" : "0"); }

private:
    QStringList* log_;
    QString name_;
};

TEST_F(DataServiceTest, RegistryPicksTheNearestClass)
{
    QStringList log;
    EXPECT_EQ(GetDataSetFeatures(ds), nullptr);
    RegisterDataSetFeatures("TDataSet", std::make_unique<RecordingFeatures>(&log, "base"));
    RegisterDataSetFeatures("tmemdataset", std::make_unique<RecordingFeatures>(&log, "mem"));
    RegisterDataSetFeatures("TMemDataSet", std::make_unique<RecordingFeatures>(&log, "mem2"));
    TDBGridExDataService service;
    service.ApplySorting(grid);
    service.ApplyFilter(grid);
    EXPECT_EQ(log, (QStringList{"mem sort 1", "mem filter 1"}));
    EXPECT_NE(GetDataSetFeatures(QStringList{"TQuery", "TDataSet"}), nullptr);
    EXPECT_EQ(GetDataSetFeatures(QStringList{"TOther"}), nullptr);
}

TEST_F(DataServiceTest, HandlersOverrideTheRegistry)
{
    QStringList log;
    RegisterDataSetFeatures("TDataSet", std::make_unique<RecordingFeatures>(&log, "base"));
    TDBGridExDataService service;
    service.OnApplyFilter = [&log](TDBGridExDataService&, IDBGridEx&) { log << "handler"; };
    service.ApplyFilter(grid);
    service.ApplySorting(grid);
    EXPECT_EQ(log, (QStringList{"handler", "base sort 1"}));
}

TEST_F(DataServiceTest, NoDataSetDoesNothing)
{
    QStringList log;
    RegisterDataSetFeatures("TDataSet", std::make_unique<RecordingFeatures>(&log, "base"));
    grid.link.SetDataSource(nullptr);
    DBGridExDefaultService().ApplySorting(grid);
    EXPECT_TRUE(log.isEmpty());
}

} // namespace

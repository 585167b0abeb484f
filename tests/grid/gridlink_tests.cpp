#include "grid/gridlink.h"

#include "platform/memdataset.h"

#include <gtest/gtest.h>

#include <QStringList>

namespace {

// Records what the link asks of its grid.
class FakeGrid : public TGridDataLinkClient {
public:
    QStringList calls;
    std::vector<int> scrolls;
    bool layoutFromDataSet = false;
    bool layoutFlagDuringLayout = false;
    TField* selected = nullptr;
    bool canFocus = true;
    bool selectable = true;
    TGridDataLinkEx* link = nullptr;
    bool reenterUpdate = false;

    void LinkActive(bool value) override { calls << QString("LinkActive %1").arg(value); }
    void DataChanged() override { calls << "DataChanged"; }
    void Scroll(int distance) override { scrolls.push_back(distance); }
    void LayoutChanged() override
    {
        calls << "LayoutChanged";
        layoutFlagDuringLayout = layoutFromDataSet;
    }
    bool LayoutFromDataSet() const override { return layoutFromDataSet; }
    void SetLayoutFromDataSet(bool value) override { layoutFromDataSet = value; }
    TField* SelectedField() const override { return selected; }
    void SetSelectedField(TField* field) override
    {
        if (selectable)
            selected = field;
    }
    bool AcquireFocus() override { return canFocus; }
    void ShowEditor() override { calls << "ShowEditor"; }
    void EditingChanged() override { calls << "EditingChanged"; }
    void RecordChanged(TField* field) override { calls << "RecordChanged " + (field ? field->FieldName() : QString("-")); }
    void UpdateData() override
    {
        calls << "UpdateData";
        if (reenterUpdate)
            link->UpdateData();
    }
};

class GridLinkTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ds.AddField(ftInteger, "ID");
        ds.AddField(ftString, "NAME", 10);
        ds.Open();
        for (int i = 1; i <= 10; ++i)
            ds.AppendRecord({i, QString("n%1").arg(i)});
        ds.First();
        grid.link = &link;
        link.SetDataSource(&source);
        grid.calls.clear();
    }

    TMemDataSet ds;
    TDataSource source{&ds};
    FakeGrid grid;
    TGridDataLinkEx link{&grid};
};

TEST_F(GridLinkTest, MapsColumnsToFieldIndexes)
{
    EXPECT_TRUE(link.AddMapping("name"));
    EXPECT_TRUE(link.AddMapping("ID"));
    EXPECT_EQ(link.FieldMapCount(), 2);
    EXPECT_EQ(link.FieldMapCapacity(), 8);
    EXPECT_EQ(link.GetMappedField(0), ds.FieldByName("NAME"));
    EXPECT_EQ(link.GetMappedField(1), ds.FieldByName("ID"));
    EXPECT_EQ(link.GetMappedField(2), nullptr);
    EXPECT_EQ(link.GetMappedField(-1), nullptr);
    EXPECT_FALSE(link.DefaultFields());   // the fields were declared

    EXPECT_THROW(link.AddMapping("MISSING"), EDatabaseError);
    EXPECT_EQ(link.FieldMapCount(), 2);

    for (int i = 0; i < 7; ++i)
        link.AddMapping("ID");
    EXPECT_EQ(link.FieldMapCapacity(), 16);
    link.ClearMapping();
    EXPECT_EQ(link.FieldMapCount(), 0);
    EXPECT_EQ(link.FieldMapCapacity(), 0);
}

TEST_F(GridLinkTest, SparseMapToleratesMissingFieldsAndIsThenNotDefault)
{
    TMemDataSet plain;   // fields made from the data: default fields
    TDataSource plainSource(&plain);
    FakeGrid g;
    TGridDataLinkEx l(&g);
    EXPECT_TRUE(l.DefaultFields());   // no dataset at all
    l.SetDataSource(&plainSource);
    l.SetSparseMap(true);
    l.AddMapping("ANYTHING");
    EXPECT_EQ(l.GetMappedField(0), nullptr);
    EXPECT_FALSE(l.DefaultFields());
    l.ClearMapping();
    EXPECT_TRUE(l.DefaultFields());
}

TEST_F(GridLinkTest, ScrollReachesTheGridOnceWithTheDistance)
{
    ds.MoveBy(3);
    ASSERT_EQ(grid.scrolls.size(), 1u);
    EXPECT_EQ(grid.scrolls[0], 3);
    ds.MoveBy(-2);
    EXPECT_EQ(grid.scrolls.back(), -2);
}

TEST_F(GridLinkTest, NotificationsClearTheModifiedFlag)
{
    link.Modified();
    ds.Next();   // a scroll leaves the flag alone
    EXPECT_TRUE(link.IsModified());
    ds.Refresh();
    EXPECT_FALSE(link.IsModified());

    link.Modified();
    ds.Edit();
    ds.FieldByName("NAME")->SetAsString("x");
    EXPECT_TRUE(grid.calls.contains("RecordChanged NAME"));
    EXPECT_FALSE(link.IsModified());
    ds.Cancel();

    link.Modified();
    source.SetEnabled(false);
    EXPECT_TRUE(grid.calls.contains("LinkActive 0"));
    EXPECT_FALSE(link.IsModified());
}

TEST_F(GridLinkTest, LayoutRunsWithTheFromDataSetFlagThenRefreshesData)
{
    ds.FieldByName("NAME")->SetDisplayLabel("Name");
    EXPECT_EQ(grid.calls, QStringList({"LayoutChanged", "DataChanged"}));
    EXPECT_TRUE(grid.layoutFlagDuringLayout);
    EXPECT_FALSE(grid.layoutFromDataSet);
}

TEST_F(GridLinkTest, UpdateDataWritesOnceAndOnlyWhenModified)
{
    ds.Edit();
    ds.UpdateRecord();
    EXPECT_FALSE(grid.calls.contains("UpdateData"));

    link.Modified();
    grid.reenterUpdate = true;
    ds.UpdateRecord();
    EXPECT_EQ(grid.calls.count("UpdateData"), 1);
    EXPECT_FALSE(link.IsModified());
    ds.Cancel();
}

TEST_F(GridLinkTest, ResetDropsTheGridsChangeOrCancelsTheDataset)
{
    ds.Edit();
    link.Modified();
    link.Reset();
    EXPECT_TRUE(grid.calls.contains("RecordChanged -"));
    EXPECT_EQ(ds.State(), dsEdit);
    link.Reset();
    EXPECT_EQ(ds.State(), dsBrowse);
}

TEST_F(GridLinkTest, FocusControlSelectsTheColumnAndShowsTheEditor)
{
    TField* name = ds.FieldByName("NAME");
    name->FocusControl();
    EXPECT_EQ(grid.selected, name);
    EXPECT_TRUE(grid.calls.contains("ShowEditor"));

    grid.calls.clear();
    grid.canFocus = false;
    ds.FieldByName("ID")->FocusControl();
    EXPECT_FALSE(grid.calls.contains("ShowEditor"));

    grid.canFocus = true;
    grid.selectable = false;   // no column shows the field
    name->FocusControl();
    EXPECT_FALSE(grid.calls.contains("ShowEditor"));
}

TEST_F(GridLinkTest, EditingChangesReachTheGrid)
{
    ds.Edit();
    EXPECT_TRUE(grid.calls.contains("EditingChanged"));
}

}  // namespace

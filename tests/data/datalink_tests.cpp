#include "platform/datasource.h"
#include "platform/memdataset.h"

#include <gtest/gtest.h>

namespace {

class RecordingLink : public TDataLink {
public:
    std::vector<std::string> log;
    std::function<void()> onUpdateData;

protected:
    void ActiveChanged() override { log.push_back(Active() ? "active" : "inactive"); }
    void DataSetChanged() override { log.push_back("changed"); }
    void DataSetScrolled(int distance) override { log.push_back("scrolled " + std::to_string(distance)); }
    void LayoutChanged() override { log.push_back("layout"); }
    void EditingChanged() override { log.push_back(Editing() ? "editing" : "browsing"); }
    void RecordChanged(TField* f) override
    {
        log.push_back(f ? "record " + f->FieldName().toStdString() : std::string("record"));
    }
    void UpdateData() override
    {
        log.push_back("update");
        if (onUpdateData)
            onUpdateData();
    }
    void FocusControl(TField** f) override
    {
        log.push_back("focus " + (*f)->FieldName().toStdString());
        *f = nullptr;
    }
};

struct Fixture {
    TMemDataSet ds;
    TDataSource src;
    RecordingLink link;

    explicit Fixture(int rows)
    {
        ds.AddField(ftInteger, "id");
        ds.AddField(ftString, "name", 10);
        ds.Open();
        for (int i = 1; i <= rows; ++i)
            ds.AppendRecord({i, QString("r%1").arg(i)});
        ds.First();
        src.SetDataSet(&ds);
        link.SetDataSource(&src);
        link.log.clear();
    }
};

}  // namespace

TEST(DataLink, ActiveFollowsDataSetAndSource)
{
    Fixture f(3);
    EXPECT_TRUE(f.link.Active());
    f.ds.Close();
    EXPECT_FALSE(f.link.Active());
    f.ds.Open();
    f.src.SetEnabled(false);
    EXPECT_FALSE(f.link.Active());
    f.src.SetEnabled(true);
    EXPECT_EQ(f.link.log, (std::vector<std::string>{"inactive", "active", "inactive", "active"}));
    f.src.SetDataSet(nullptr);
    EXPECT_FALSE(f.link.Active());
}

TEST(DataLink, DataSetDestroyedFirstLeavesLinkInactive)
{
    TDataSource src;
    RecordingLink link;
    {
        TMemDataSet ds;
        ds.AddField(ftInteger, "id");
        ds.Open();
        src.SetDataSet(&ds);
        link.SetDataSource(&src);
        EXPECT_TRUE(link.Active());
    }
    EXPECT_FALSE(link.Active());
    EXPECT_EQ(src.DataSet(), nullptr);
}

TEST(DataLink, BufferWindowStaysFullAsTheRecordMoves)
{
    Fixture f(10);
    f.link.SetBufferCount(4);
    EXPECT_EQ(f.link.RecordCount(), 4);
    EXPECT_EQ(f.link.ActiveRecord(), 0);

    f.ds.Last();
    EXPECT_EQ(f.link.FirstRecord(), 6);
    EXPECT_EQ(f.link.ActiveRecord(), 3);
    EXPECT_EQ(f.link.RecordCount(), 4);

    f.ds.MoveBy(-2);   // inside the window: only the active record moves
    EXPECT_EQ(f.link.FirstRecord(), 6);
    EXPECT_EQ(f.link.ActiveRecord(), 1);

    f.ds.MoveBy(-3);   // above the window: it follows by two
    EXPECT_EQ(f.link.FirstRecord(), 4);
    EXPECT_EQ(f.link.ActiveRecord(), 0);

    f.ds.First();
    EXPECT_EQ(f.link.FirstRecord(), 0);
    EXPECT_EQ(f.link.ActiveRecord(), 0);
    EXPECT_EQ(f.link.log, (std::vector<std::string>{"scrolled 6", "scrolled 0", "scrolled -2", "scrolled -4"}));

    f.link.SetBufferCount(20);   // more than there are records
    EXPECT_EQ(f.link.RecordCount(), 10);
}

TEST(DataLink, ScrollOfThreeReachesSingleBufferLinkAsThree)
{
    Fixture f(10);
    f.ds.MoveBy(3);
    EXPECT_EQ(f.link.log, (std::vector<std::string>{"scrolled 3"}));
}

TEST(DataLink, ActiveRecordSwitchesWhatFieldsRead)
{
    Fixture f(10);
    f.link.SetBufferCount(5);
    f.ds.SetRecNo(3);
    TField* id = f.ds.FieldByName("id");
    const int saved = f.link.ActiveRecord();
    EXPECT_EQ(saved, 2);
    std::vector<int> rows;
    for (int i = 0; i < f.link.RecordCount(); ++i) {
        f.link.SetActiveRecord(i);
        rows.push_back(id->AsInteger());
    }
    f.link.SetActiveRecord(saved);
    EXPECT_EQ(rows, (std::vector<int>{1, 2, 3, 4, 5}));
    EXPECT_EQ(id->AsInteger(), 3);
    f.link.SetActiveRecord(4);
    f.ds.Next();   // any move reads the current record again
    EXPECT_EQ(id->AsInteger(), 4);
}

TEST(DataLink, DisableEnableNestsAndTheLastEnableTellsOnce)
{
    Fixture f(10);
    int afterScroll = 0;
    f.ds.AfterScroll.Add([&](TDataSet&) { ++afterScroll; });
    f.ds.DisableControls();
    f.ds.DisableControls();
    f.ds.Next();
    f.ds.Last();
    f.ds.EnableControls();
    EXPECT_TRUE(f.link.log.empty());
    EXPECT_TRUE(f.ds.ControlsDisabled());
    f.ds.EnableControls();
    EXPECT_EQ(f.link.log, (std::vector<std::string>{"changed"}));
    EXPECT_EQ(afterScroll, 2);   // the dataset's own events still fire while disabled
    EXPECT_EQ(f.link.ActiveRecord(), 0);
    EXPECT_EQ(f.link.FirstRecord(), 9);

    f.link.log.clear();
    f.ds.DisableControls();
    f.ds.Close();
    f.ds.Open();
    f.ds.EnableControls();
    // The state came back the same, but a reopened dataset may have new fields: controls
    // that keep fields must look them up again.
    EXPECT_EQ(f.link.log, (std::vector<std::string>{"layout"}));
    f.link.log.clear();
    f.ds.Refresh();
    EXPECT_EQ(f.link.log, (std::vector<std::string>{"layout"}));

    f.link.log.clear();
    f.ds.DisableControls();
    f.ds.FieldByName("name")->SetDisplayLabel("Name");
    f.ds.EnableControls();
    EXPECT_EQ(f.link.log, (std::vector<std::string>{"layout"}));
}

TEST(DataLink, EditingNotificationsAndUpdateDataBeforePost)
{
    Fixture f(2);
    TField* name = f.ds.FieldByName("name");
    f.link.onUpdateData = [&] { name->SetAsString("typed"); };
    EXPECT_TRUE(f.link.Edit());
    f.ds.Post();
    EXPECT_EQ(name->AsString(), "typed");
    EXPECT_EQ(f.link.log, (std::vector<std::string>{"editing", "record", "update", "record name", "browsing", "changed"}));
}

TEST(DataLink, DisplayLabelChangeAndFocusRequest)
{
    Fixture f(2);
    f.ds.FieldByName("name")->SetDisplayLabel("СТОП1");
    f.ds.FieldByName("name")->SetDisplayLabel("СТОП1");   // unchanged: no second notice
    f.ds.FieldByName("id")->FocusControl();
    EXPECT_EQ(f.link.log, (std::vector<std::string>{"layout", "focus id"}));
    EXPECT_EQ(f.ds.FieldByName("name")->DisplayLabel(), "СТОП1");
}

TEST(DataLink, DataSourceEventsAndReadOnlyLink)
{
    Fixture f(3);
    int dataChanges = 0;
    int stateChanges = 0;
    f.src.OnDataChange = [&](TDataSource&, TField*) { ++dataChanges; };
    f.src.OnStateChange = [&](TDataSource&) { ++stateChanges; };
    f.ds.Next();
    f.ds.Edit();
    f.ds.Cancel();
    EXPECT_EQ(dataChanges, 3);   // scroll, record change, data set change
    EXPECT_EQ(stateChanges, 2);
    f.link.SetReadOnly(true);
    EXPECT_FALSE(f.link.Edit());
    EXPECT_EQ(f.ds.State(), dsBrowse);
}

TEST(DataLink, EditFollowsTheSourcesAutoEdit)
{
    Fixture f(2);
    f.src.SetAutoEdit(false);
    EXPECT_FALSE(f.link.Edit());
    EXPECT_EQ(f.ds.State(), dsBrowse);
    f.ds.Edit();   // the program may still edit; the link then takes part
    EXPECT_TRUE(f.link.Edit());
    f.ds.Cancel();
    f.src.SetAutoEdit(true);
    EXPECT_TRUE(f.link.Edit());
    EXPECT_EQ(f.ds.State(), dsEdit);
}

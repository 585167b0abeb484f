#include "grid/dbsumlst.h"

#include "grid/dbgridex.h"

#include "platform/application.h"
#include "platform/datasource.h"
#include "platform/memdataset.h"
#include "tests/support/error_recorder.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <memory>

namespace {

// Money-like helper: SumValue in ten-thousandths.
std::int64_t Raw(const TDBSum* s)
{
    return s->SumValue().Value;
}

// A dataset that cannot number its records, so record numbers come from the bookmark list.
class TUnsequencedDataSet : public TMemDataSet {
public:
    bool IsSequenced() const override { return false; }
};

// A detail dataset that follows a master through a data source.
class TDetailDataSet : public TMemDataSet {
public:
    TDataSource* Master = nullptr;
    TDataSource* MasterSource() const override { return Master; }
};

void Fill(TMemDataSet& ds)
{
    ds.AddField(ftInteger, "ID");
    ds.AddField(ftFloat, "V");
    ds.AddField(ftString, "S", 20);
    ds.Open();
    ds.AppendRecord({1, 1.5, "a"});
    ds.AppendRecord({2, Variant::Null(), "b"});
    ds.AppendRecord({3, 4.0, Variant::Null()});
}

class SumListTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        Fill(ds);
        count = sums.SumCollection().Add();
        count->SetGroupOperation(goCount);
        countV = sums.SumCollection().Add();
        countV->SetGroupOperation(goCount);
        countV->SetFieldName("V");
        sum = sums.SumCollection().Add();
        sum->SetFieldName("V");
        avg = sums.SumCollection().Add();
        avg->SetGroupOperation(goAvg);
        avg->SetFieldName("V");
        sums.OnRecalcAll = [this](TDBSumListProducer&) { ++recalcs; };
        sums.SumListChanged = [this](TDBSumListProducer&) { ++changes; };
        sums.SetDataSet(&ds);
    }

    TMemDataSet ds;
    TDBSumListProducer sums;
    TDBSum* count = nullptr;
    TDBSum* countV = nullptr;
    TDBSum* sum = nullptr;
    TDBSum* avg = nullptr;
    int recalcs = 0;
    int changes = 0;
};

TEST_F(SumListTest, FullPassCountsSumsAndAveragesAndLeavesTheFirstRecordCurrent)
{
    EXPECT_EQ(Raw(count), 30000);   // three records read as 3.0
    EXPECT_EQ(Raw(countV), 20000);  // the null V is not counted
    EXPECT_EQ(Raw(sum), 55000);
    EXPECT_EQ(Raw(avg), 27500);     // (1.5 + 4) / 2: nulls are not averaged
    EXPECT_EQ(ds.RecNo(), 1);
    EXPECT_FALSE(ds.ControlsDisabled());

    ds.Last();
    sums.RecalcAll();
    EXPECT_EQ(ds.RecNo(), 1);
}

TEST_F(SumListTest, ScrollsDuringThePassStartNoSecondPass)
{
    EXPECT_EQ(recalcs, 1);
    ds.Next();
    ds.Next();
    EXPECT_EQ(recalcs, 1);
}

TEST_F(SumListTest, EditAdjustsByTheDifferenceOnly)
{
    ds.First();
    ds.Edit();
    ds.FieldByName("V")->SetAsFloat(2.25);
    ds.Post();
    EXPECT_EQ(Raw(sum), 62500);     // +0.75 exactly
    EXPECT_EQ(Raw(countV), 20000);
    EXPECT_EQ(recalcs, 1);          // no second pass

    ds.Next();   // the null record
    ds.Edit();
    ds.FieldByName("V")->SetAsFloat(4.0);
    ds.Post();
    EXPECT_EQ(Raw(avg), 34167);     // (2.25 + 4 + 4) / 3, rounded
    EXPECT_EQ(Raw(countV), 30000);

    ds.Edit();
    ds.FieldByName("V")->Clear();
    ds.Post();
    EXPECT_EQ(Raw(avg), 31250);
    EXPECT_EQ(Raw(countV), 20000);
    EXPECT_EQ(Raw(sum), 62500);
}

TEST_F(SumListTest, InsertCountsThePostedValueNotTheStartingOne)
{
    ds.OnNewRecord.Add([](TDataSet& d) { d.FieldByName("V")->SetAsFloat(100); });
    ds.Append();
    ds.FieldByName("V")->SetAsFloat(0.5);
    ds.Post();
    EXPECT_EQ(Raw(count), 40000);
    EXPECT_EQ(Raw(countV), 30000);
    EXPECT_EQ(Raw(sum), 60000);
    EXPECT_EQ(Raw(avg), 20000);

    ds.Append();
    ds.FieldByName("V")->SetAsFloat(7);
    ds.Cancel();
    EXPECT_EQ(Raw(count), 40000);
    EXPECT_EQ(Raw(sum), 60000);
}

TEST_F(SumListTest, DeleteRemovesTheRecordsContribution)
{
    ds.SetRecNo(2);   // V is null
    ds.Delete();
    EXPECT_EQ(Raw(sum), 55000);
    EXPECT_EQ(Raw(count), 20000);
    EXPECT_EQ(Raw(countV), 20000);

    ds.First();
    ds.Delete();
    EXPECT_EQ(Raw(sum), 40000);
    EXPECT_EQ(Raw(avg), 40000);
    EXPECT_EQ(Raw(countV), 10000);

    ds.Delete();
    EXPECT_EQ(Raw(avg), 0);   // nothing left to average: 0, not an error
    EXPECT_EQ(Raw(count), 0);
}

TEST_F(SumListTest, DeletingARecordUnderEditRemovesItsPostedValue)
{
    ds.First();
    ds.Edit();
    ds.FieldByName("V")->SetAsFloat(1000);
    ds.Delete();
    EXPECT_EQ(Raw(sum), 40000);
    EXPECT_EQ(Raw(avg), 40000);
    EXPECT_EQ(Raw(countV), 10000);
    sums.RecalcAll();
    EXPECT_EQ(Raw(sum), 40000);
}

TEST_F(SumListTest, FilterChangesRecalculateAtTheNextScroll)
{
    ds.SetOnFilterRecord([](TDataSet& d) { return d.FieldByName("ID")->AsInteger() != 3; });
    EXPECT_EQ(recalcs, 1);   // not filtered yet
    ds.SetFiltered(true);
    EXPECT_EQ(recalcs, 2);
    EXPECT_EQ(Raw(sum), 15000);
    EXPECT_EQ(Raw(count), 20000);

    ds.SetFilter("ID<>3");   // new text while filtered
    EXPECT_EQ(recalcs, 3);

    ds.SetFiltered(false);
    EXPECT_EQ(recalcs, 4);
    EXPECT_EQ(Raw(sum), 55000);
    ds.SetFilter("other");   // not filtered: no recalculation, not even at a scroll
    ds.Next();
    EXPECT_EQ(recalcs, 4);
}

TEST_F(SumListTest, CloseZeroesAndOpenRecalculates)
{
    ds.Close();
    EXPECT_EQ(Raw(sum), 0);
    EXPECT_EQ(Raw(count), 0);
    EXPECT_EQ(Raw(avg), 0);
    ds.Open();
    EXPECT_EQ(Raw(sum), 55000);
    EXPECT_EQ(Raw(count), 30000);
}

TEST_F(SumListTest, ChangingAnItemRecalculatesAndFindSumIgnoresCase)
{
    const int before = recalcs;
    sum->SetFieldName("ID");
    EXPECT_EQ(recalcs, before + 1);
    EXPECT_EQ(Raw(sum), 60000);
    sum->SetFieldName("ID");   // unchanged: nothing
    EXPECT_EQ(recalcs, before + 1);
    EXPECT_EQ(sums.SumCollection().FindSum(goSum, "id"), sum);
    EXPECT_EQ(sums.SumCollection().FindSum(goAvg, "v"), avg);
    EXPECT_EQ(sums.SumCollection().FindSum(goAvg, "ID"), nullptr);
}

TEST_F(SumListTest, ExternalRecalcLeavesTheSumsToTheProgram)
{
    int after = 0;
    sums.OnAfterRecalcAll = [&](TDBSumListProducer&) { ++after; };
    sums.SetExternalRecalc(true);
    EXPECT_EQ(Raw(sum), 0);
    EXPECT_EQ(Raw(count), 0);
    EXPECT_EQ(after, 0);

    sums.OnRecalcAll = [&](TDBSumListProducer& p) { p.SumCollection().GetItem(0)->SetSumValue(Currency::FromInt(42)); };
    sums.RecalcAll();
    EXPECT_EQ(Raw(count), 420000);
    EXPECT_EQ(after, 0);
}

TEST_F(SumListTest, ProgramHandlersStayAndSeeTheSumsInOrder)
{
    std::int64_t seenAfterPost = -1;
    std::int64_t seenBeforeDelete = -1;
    ds.AfterPost.Add([&](TDataSet&) { seenAfterPost = Raw(sum); });
    ds.BeforeDelete.Add([&](TDataSet&) { seenBeforeDelete = Raw(sum); });
    ds.First();
    ds.Edit();
    ds.FieldByName("V")->SetAsFloat(2.5);
    ds.Post();
    EXPECT_EQ(seenAfterPost, 65000);   // the list ran first
    ds.Delete();
    EXPECT_EQ(seenBeforeDelete, 65000);   // the program ran first
    EXPECT_EQ(Raw(sum), 40000);

    sums.SetActive(false);
    EXPECT_FALSE(sums.Hooked());
    EXPECT_EQ(Raw(sum), 0);
    ds.Edit();
    ds.FieldByName("V")->SetAsFloat(9);
    ds.Post();
    EXPECT_EQ(seenAfterPost, 0);   // the program's handler is still there
    EXPECT_EQ(Raw(sum), 0);
    sums.SetActive(true);
    EXPECT_EQ(Raw(sum), 130000);   // 9 on the formerly null record, plus 4
}

TEST_F(SumListTest, AnUnknownFieldFailsThePassButReleasesTheControls)
{
    TDBSum* bad = nullptr;
    sums.SumCollection().BeginUpdate();
    bad = sums.SumCollection().Add();
    bad->SetFieldName("NOPE");
    EXPECT_THROW(sums.SumCollection().EndUpdate(), EDatabaseError);
    EXPECT_FALSE(ds.ControlsDisabled());
    bad->SetFieldName("ID");
    EXPECT_EQ(Raw(bad), 60000);
    ds.SetFiltered(true);   // scroll recalculations still work after the failure
    EXPECT_GT(recalcs, 2);
}

TEST_F(SumListTest, AssignCopiesItemsAndSettings)
{
    TDBSumListProducer copy;
    copy.Assign(sums);
    ASSERT_EQ(copy.SumCollection().Count(), 4);
    EXPECT_EQ(copy.DataSet(), &ds);
    EXPECT_EQ(copy.SumCollection().GetItem(3)->GroupOperation(), goAvg);
    EXPECT_EQ(Raw(copy.SumCollection().GetItem(2)), 55000);
    copy.SetDataSet(nullptr);
    EXPECT_EQ(Raw(copy.SumCollection().GetItem(2)), 0);
    EXPECT_EQ(Raw(sum), 55000);
}

TEST(SumListRounding, StepsRoundHalfToEven)
{
    TMemDataSet ds;
    ds.AddField(ftFloat, "V");
    ds.Open();
    ds.AppendRecord({0.03125});   // 312.5 ten-thousandths
    TDBSumListProducer sums;
    TDBSum* sum = sums.SumCollection().Add();
    sum->SetFieldName("V");
    TDBSum* avg = sums.SumCollection().Add();
    avg->SetGroupOperation(goAvg);
    avg->SetFieldName("V");
    sums.SetDataSet(&ds);
    EXPECT_EQ(Raw(sum), 312);
    ds.AppendRecord({0.03125});
    EXPECT_EQ(Raw(sum), 624);   // 312 + 312.5 = 624.5 -> 624
    ds.AppendRecord({1.0});
    EXPECT_EQ(Raw(avg), 3541);  // total 10624 / 3
}

TEST(SumListLifetime, AnEditUnderWayWhenAttachingIsCountedOnce)
{
    TMemDataSet ds;
    Fill(ds);
    ds.First();
    ds.Edit();
    ds.FieldByName("V")->SetAsFloat(10);
    TDBSumListProducer sums;
    TDBSum* sum = sums.SumCollection().Add();
    sum->SetFieldName("V");
    sums.SetDataSet(&ds);   // the pass's first move posts the edit
    EXPECT_EQ(ds.State(), dsBrowse);
    EXPECT_EQ(Raw(sum), 140000);
}

TEST(SumListLifetime, ADatasetDestroyedFirstIsForgotten)
{
    auto sums = std::make_unique<TDBSumListProducer>();
    sums->SumCollection().Add()->SetGroupOperation(goCount);
    {
        TMemDataSet ds;
        Fill(ds);
        sums->SetDataSet(&ds);
        EXPECT_EQ(Raw(sums->SumCollection().GetItem(0)), 30000);
    }
    EXPECT_EQ(sums->DataSet(), nullptr);
    EXPECT_FALSE(sums->Hooked());
    EXPECT_EQ(Raw(sums->SumCollection().GetItem(0)), 0);
    sums.reset();   // must not touch the dead dataset
}

TEST(SumListLifetime, LoadingDefersEverythingUntilLoaded)
{
    TMemDataSet ds;
    Fill(ds);
    TDBSumListProducer sums;
    sums.SetLoading(true);
    TDBSum* count = sums.SumCollection().Add();
    count->SetGroupOperation(goCount);
    sums.SetDataSet(&ds);
    EXPECT_FALSE(sums.Hooked());
    EXPECT_EQ(Raw(count), 0);
    sums.Loaded();
    EXPECT_TRUE(sums.Hooked());
    EXPECT_EQ(Raw(count), 30000);
}

TEST(SumListMaster, AScrollOfTheMasterRecalculates)
{
    TMemDataSet master;
    Fill(master);
    TDataSource masterSource(&master);
    TDetailDataSet detail;
    detail.Master = &masterSource;
    Fill(detail);
    TDBSumListProducer sums;
    int recalcs = 0;
    sums.OnRecalcAll = [&](TDBSumListProducer&) { ++recalcs; };
    sums.SumCollection().Add()->SetGroupOperation(goCount);
    sums.SetDataSet(&detail);
    EXPECT_EQ(sums.MasterDataSet(), &master);
    const int before = recalcs;
    master.Next();
    EXPECT_EQ(recalcs, before + 1);
    sums.SetActive(false);
    master.Next();
    EXPECT_EQ(recalcs, before + 1);
}

class VirtualRecordsTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        Fill(ds);
        sums.SumCollection().Add()->SetGroupOperation(goCount);
        sums.SetDataSet(&ds);
        sums.SetVirtualRecords(true);
    }
    TUnsequencedDataSet ds;
    TDBSumListProducer sums;
};

TEST_F(VirtualRecordsTest, RecordNumbersComeFromTheBookmarkList)
{
    EXPECT_TRUE(sums.IsSequenced());
    EXPECT_EQ(sums.GetRecordCount(), 3);
    EXPECT_EQ(sums.GetRecNo(), 1);
    ds.Last();
    EXPECT_EQ(sums.GetRecNo(), 3);
    sums.SetRecNo(2);
    EXPECT_EQ(ds.FieldByName("ID")->AsInteger(), 2);
    EXPECT_EQ(sums.GetRecNo(), 2);
    EXPECT_THROW(sums.SetRecNo(4), EListError);
}

TEST_F(VirtualRecordsTest, InsertsAndDeletesKeepTheListInDatasetOrder)
{
    ds.SetRecNo(2);
    ds.Insert();   // goes before record 2
    ds.FieldByName("ID")->SetAsInteger(10);
    EXPECT_EQ(sums.GetRecordCount(), 3);   // not listed until posted
    ds.Post();
    ASSERT_EQ(sums.GetRecordCount(), 4);
    for (int i = 1; i <= 4; ++i) {
        sums.SetRecNo(i);
        EXPECT_EQ(ds.RecNo(), i);
    }
    ds.Insert();
    ds.Cancel();
    EXPECT_EQ(sums.GetRecordCount(), 4);

    sums.SetRecNo(2);
    EXPECT_EQ(ds.FieldByName("ID")->AsInteger(), 10);
    ds.Delete();
    EXPECT_EQ(sums.GetRecordCount(), 3);
    EXPECT_EQ(Raw(sums.SumCollection().GetItem(0)), 30000);

    ds.Close();
    EXPECT_EQ(sums.GetRecordCount(), 0);
}

TEST_F(VirtualRecordsTest, WithoutVirtualRecordsNothingIsNumbered)
{
    sums.SetVirtualRecords(false);
    EXPECT_FALSE(sums.IsSequenced());
    ds.EmptyDataSet();
    sums.SetVirtualRecords(true);
    EXPECT_TRUE(sums.IsSequenced());   // an empty dataset is trivially numbered
    EXPECT_EQ(sums.GetRecordCount(), 0);
}

}  // namespace


TEST(SumListOverflow, OpenAndPostSucceedAndTheOverflowIsReportedOnce)
{
    ErrorRecorder reported;
    TMemDataSet ds;
    ds.AddField(ftFloat, "V");
    TDBSumListProducer sums;
    TDBSum* sum = sums.SumCollection().Add();
    sum->SetFieldName("V");
    TDBSum* count = sums.SumCollection().Add();
    count->SetGroupOperation(goCount);
    sums.SetDataSet(&ds);
    ds.Open();
    ds.AppendRecord({6e14});
    EXPECT_FALSE(sum->Overflow());
    EXPECT_EQ(sum->SumValue(), Currency::FromInt(600000000000000LL));

    // The second record takes the total beyond Currency: the post stands.
    ASSERT_NO_THROW(ds.AppendRecord({6e14}));
    EXPECT_EQ(ds.RecordCount(), 2);
    EXPECT_TRUE(sum->Overflow());
    EXPECT_EQ(sum->SumValue(), Currency());
    EXPECT_EQ(count->SumValue(), Currency::FromInt(2));
    ASSERT_EQ(reported.texts.size(), 1);
    EXPECT_TRUE(reported.texts[0].contains("\"V\""));

    // Later posts neither report again nor pretend to a total.
    ASSERT_NO_THROW(ds.AppendRecord({1.0}));
    ds.Edit();
    ds.FieldByName("V")->SetAsFloat(2.0);
    ASSERT_NO_THROW(ds.Post());
    ASSERT_NO_THROW(ds.Delete());
    EXPECT_TRUE(sum->Overflow());
    EXPECT_EQ(reported.texts.size(), 1);
    EXPECT_EQ(count->SumValue(), Currency::FromInt(2));

    // Reopening recalculates: still too much, the open stands, reported for that pass.
    ds.Close();
    ASSERT_NO_THROW(ds.Open());
    EXPECT_TRUE(sum->Overflow());
    EXPECT_EQ(reported.texts.size(), 2);
    EXPECT_EQ(count->SumValue(), Currency::FromInt(2));
}

TEST(SumListOverflow, AValueThatIsNoNumberSpoilsOnlyItsItem)
{
    ErrorRecorder reported;
    TMemDataSet ds;
    ds.AddField(ftFloat, "V");
    ds.AddField(ftFloat, "W");
    ds.Open();
    ds.AppendRecord({std::nan(""), 1.0});
    ds.AppendRecord({2.0, 2.0});
    TDBSumListProducer sums;
    TDBSum* v = sums.SumCollection().Add();
    v->SetFieldName("V");
    TDBSum* w = sums.SumCollection().Add();
    w->SetGroupOperation(goAvg);
    w->SetFieldName("W");
    ASSERT_NO_THROW(sums.SetDataSet(&ds));
    EXPECT_TRUE(v->Overflow());
    EXPECT_FALSE(w->Overflow());
    EXPECT_EQ(w->SumValue(), Currency::FromRaw(15000));
    EXPECT_EQ(reported.texts.size(), 1);
    // An average that meets an infinite value on post.
    ds.Edit();
    ds.FieldByName("W")->SetAsFloat(std::numeric_limits<double>::infinity());
    ASSERT_NO_THROW(ds.Post());
    EXPECT_TRUE(w->Overflow());
    EXPECT_EQ(reported.texts.size(), 2);
}

TEST(SumListOverflow, TheGridsFooterSaysSo)
{
    ErrorRecorder reported;
    TMemDataSet ds;
    ds.AddField(ftFloat, "V");
    ds.Open();
    ds.AppendRecord({6e14});
    ds.AppendRecord({6e14});
    TDataSource source(&ds);
    TDBGridEx grid;
    grid.SetFooterRowCount(1);
    grid.SumList().SetActive(true);
    grid.SetDataSource(&source);
    TColumnEx& column = *grid.Columns()[0];
    column.Footer().SetValueType(fvtSum);
    EXPECT_EQ(grid.GetFooterValueText(0, column), QStringLiteral("Переполнение"));
    EXPECT_EQ(reported.texts.size(), 1);
}

#include "fakegrid.h"

#include <gtest/gtest.h>

namespace {

class FootersTest : public ::testing::Test, public GridFixture {
protected:
    FootersTest() { grid.sumList.SetActive(true); grid.sumList.SetDataSet(&ds); }
    TDBSumCollection& Sums() { return grid.sumList.SumCollection(); }
};

TEST_F(FootersTest, AggregateFootersKeepOneItemEach)
{
    TColumnEx* id = AddColumn("ID");
    id->Footer().SetValueType(fvtSum);
    ASSERT_EQ(Sums().Count(), 1);
    TDBSum* sum = id->Footer().DBSum();
    ASSERT_NE(sum, nullptr);
    EXPECT_EQ(sum->GroupOperation(), goSum);
    EXPECT_EQ(sum->FieldName(), "ID");
    EXPECT_EQ(id->Footer().SumValue(), Currency::FromDouble(55));

    id->Footer().SetValueType(fvtStaticText);
    EXPECT_EQ(Sums().Count(), 0) << "a static text needs no aggregate";
    EXPECT_EQ(id->Footer().DBSum(), nullptr);
    id->Footer().SetValueType(fvtAvg);
    ASSERT_EQ(Sums().Count(), 1);
    EXPECT_EQ(id->Footer().DBSum()->GroupOperation(), goAvg);
    id->Footer().SetValueType(fvtCount);
    EXPECT_EQ(Sums().Count(), 1) << "the item changes its operation in place";
    EXPECT_EQ(id->Footer().DBSum()->GroupOperation(), goCount);
    EXPECT_TRUE(id->Footer().DBSum()->FieldName().isEmpty());
    EXPECT_EQ(id->Footer().SumValue(), Currency::FromDouble(10)) << "a count reads as records";
}

TEST_F(FootersTest, SumOfTheColumnFieldFollowsItsName)
{
    TColumnEx* c = AddColumn("ID");
    c->Footer().SetValueType(fvtSum);
    c->SetFieldName("AMOUNT");
    EXPECT_EQ(c->Footer().DBSum()->FieldName(), "AMOUNT");
    EXPECT_EQ(c->Footer().SumValue(), Currency::FromDouble(82.5));
    c->Footer().SetFieldName("ID");
    EXPECT_EQ(c->Footer().DBSum()->FieldName(), "ID");
}

TEST_F(FootersTest, FooterRowsUseFootersThenTheSingleFooter)
{
    TColumnEx* c = AddColumn("ID");
    TColumnFooterEx* first = c->Footers().Add();
    first->SetValueType(fvtStaticText);
    first->SetValue("Count:");
    c->Footer().SetValueType(fvtCount);
    EXPECT_EQ(&c->GetFooterByIndex(0), first);
    EXPECT_EQ(&c->GetFooterByIndex(1), &c->Footer());
    EXPECT_EQ(Sums().Count(), 1);

    TColumnFooterEx* second = c->Footers().Add();
    second->SetValueType(fvtSum);
    EXPECT_EQ(Sums().Count(), 2);
    c->Footers().Delete(1);
    EXPECT_EQ(Sums().Count(), 1) << "a freed footer frees its aggregate";
}

TEST_F(FootersTest, DefaultsFollowTheGrid)
{
    TColumnEx* c = AddColumn("AMOUNT");
    TColumnFooterEx& f = c->Footer();
    grid.footerColor = clBtnShadow;
    grid.footerFont.SetColor(clWhite);
    EXPECT_EQ(f.Color(), clBtnShadow);
    EXPECT_EQ(f.Font().Color(), clWhite);
    ds.FieldByName("AMOUNT")->SetAlignment(taRightJustify);
    EXPECT_EQ(f.Alignment(), taRightJustify);

    f.SetColor(clRed);
    f.Font().SetHeight(-25);
    EXPECT_TRUE(f.AssignedValues().Contains(cfvColor));
    EXPECT_TRUE(f.AssignedValues().Contains(cfvFont));
    EXPECT_TRUE(f.IsColorStored());
    grid.footerColor = clYellow;
    EXPECT_EQ(f.Color(), clRed);
    f.RestoreDefaults();
    EXPECT_EQ(f.Color(), clYellow);
    EXPECT_EQ(f.Font().Height(), grid.footerFont.Height());
}

TEST_F(FootersTest, FreeStandingFooterFollowsItsColumn)
{
    TColumnEx c;
    c.Font().SetHeight(-19);
    EXPECT_EQ(c.Footer().Font().Height(), -19);
    EXPECT_EQ(c.Footer().Color(), clWindow);
    c.Footer().SetValueType(fvtSum);
    EXPECT_EQ(c.Footer().DBSum(), nullptr) << "no grid, no summary list";
}

TEST_F(FootersTest, AssignCopiesKindAndAssignedValues)
{
    TColumnEx* a = AddColumn("ID");
    TColumnEx* b = AddColumn("AMOUNT");
    a->Footer().SetValueType(fvtSum);
    a->Footer().SetDisplayFormat("0.0");
    a->Footer().SetAlignment(taCenter);
    b->Footer().Assign(a->Footer());
    EXPECT_EQ(b->Footer().ValueType(), fvtSum);
    EXPECT_EQ(b->Footer().DisplayFormat(), "0.0");
    EXPECT_EQ(b->Footer().Alignment(), taCenter);
    EXPECT_FALSE(b->Footer().AssignedValues().Contains(cfvColor));
    ASSERT_NE(b->Footer().DBSum(), nullptr);
    EXPECT_EQ(b->Footer().DBSum()->FieldName(), "AMOUNT");
    EXPECT_EQ(Sums().Count(), 2);
}

TEST_F(FootersTest, FooterChangesRepaintTheColumn)
{
    TColumnEx* c = AddColumn("ID");
    grid.LayoutChanged();
    grid.calls.clear();
    c->Footer().SetValue("x");
    EXPECT_TRUE(grid.calls.contains("InvalidateCol 1")) << grid.calls.join("; ").toStdString();
}

} // namespace

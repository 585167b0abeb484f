// Footer texts and column widths.
#include "gridfixture.h"

#include <gtest/gtest.h>

namespace {

std::unique_ptr<TMemDataSet> Values(std::initializer_list<int> ints, std::initializer_list<double> floats)
{
    auto ds = std::make_unique<TMemDataSet>();
    ds->AddField(ftInteger, "I");
    ds->AddField(ftFloat, "F");
    ds->AddField(ftString, "S", 10);
    ds->Open();
    auto f = floats.begin();
    for (int i : ints) {
        ds->AppendRecord({Variant(i), Variant(f != floats.end() ? *f : 0.0), Variant(QString("x"))});
        if (f != floats.end())
            ++f;
    }
    ds->SetFormatSettings(RussianFormatSettings());
    return ds;
}

struct FooterGrid {
    std::unique_ptr<TMemDataSet> ds;
    TDataSource source;
    TDBGridEx grid;
    explicit FooterGrid(std::unique_ptr<TMemDataSet> d) : ds(std::move(d))
    {
        source.SetDataSet(ds.get());
        grid.resize(400, 200);
        grid.SetFooterRowCount(1);
        grid.SumList().SetActive(true);
        grid.SetDataSource(&source);
    }
    TColumnEx& Col(const QString& field)
    {
        return *grid.Columns().FindColumnByName(field);
    }
    QString Footer(const QString& field, TFooterValueType type, const QString& footerField = QString())
    {
        TColumnEx& c = Col(field);
        c.Footer().SetFieldName(footerField);
        c.Footer().SetValueType(type);
        return grid.GetFooterValueText(0, c);
    }
};

} // namespace

TEST(GridFooters, SumsAveragesAndCounts)
{
    FooterGrid g(Values({1, 2, 4}, {0.5, 0.25, 1.0}));
    EXPECT_EQ(g.Footer("I", fvtSum), "7");
    EXPECT_EQ(g.Footer("F", fvtSum), "1,75");
    EXPECT_EQ(g.Footer("S", fvtCount), "3");
    // A footer field name of its own sums that field in any column.
    EXPECT_EQ(g.Footer("S", fvtSum, "I"), "7");
    g.Col("F").Footer().SetDisplayFormat("0.00");
    EXPECT_EQ(g.grid.GetFooterValueText(0, g.Col("F")), "1,75");
    g.Col("I").Footer().SetDisplayFormat("#,##0.0");
    EXPECT_EQ(g.grid.GetFooterValueText(0, g.Col("I")), "7,0");

    // Later changes of the data reach the footer.
    g.ds->Last();
    g.ds->Edit();
    g.ds->FieldByName("I")->SetAsInteger(10);
    g.ds->Post();
    g.Col("I").Footer().SetDisplayFormat("");
    EXPECT_EQ(g.grid.GetFooterValueText(0, g.Col("I")), "13");
}

TEST(GridFooters, MissingFieldsAndEmptyDataShowZero)
{
    FooterGrid g(Values({}, {}));
    EXPECT_EQ(g.Footer("I", fvtSum), "0");
    EXPECT_EQ(g.Footer("F", fvtAvg), "0");
    EXPECT_EQ(g.Footer("S", fvtCount), "0");
    EXPECT_EQ(g.Footer("I", fvtSum, "NoSuchField"), "0");
    // Text fields cannot be summed.
    EXPECT_EQ(g.Footer("S", fvtSum), "0");
}

TEST(GridFooters, SumListStartsInactiveAndComputesOnceSwitchedOn)
{
    auto ds = Values({1, 2, 4}, {});
    TDataSource source;
    source.SetDataSet(ds.get());
    TDBGridEx grid;
    grid.SetFooterRowCount(1);
    EXPECT_FALSE(grid.SumList().Active());
    grid.SetDataSource(&source);
    TColumnEx& c = *grid.Columns().FindColumnByName("I");
    c.Footer().SetValueType(fvtSum);
    EXPECT_FALSE(grid.SumList().Hooked());
    EXPECT_EQ(grid.GetFooterValueText(0, c), "0");
    grid.SumList().SetActive(true);
    EXPECT_EQ(grid.GetFooterValueText(0, c), "7");
}

TEST(GridFooters, CountOfManyRecordsStaticTextAndFieldValue)
{
    std::initializer_list<int> none{};
    (void)none;
    auto ds = Values({}, {});
    for (int i = 0; i < 25; ++i)
        ds->AppendRecord({Variant(i), Variant(0.0), Variant(QString("r%1").arg(i))});
    FooterGrid g(std::move(ds));
    EXPECT_EQ(g.Footer("I", fvtCount), "25");
    TColumnEx& s = g.Col("S");
    s.Footer().SetValueType(fvtStaticText);
    s.Footer().SetValue("кол-во : ");
    EXPECT_EQ(g.grid.GetFooterValueText(0, s), "кол-во : ");
    s.Footer().SetValueType(fvtFieldValue);
    s.Footer().SetFieldName("S");
    g.ds->First();
    EXPECT_EQ(g.grid.GetFooterValueText(0, s), "r0");
    s.Footer().SetValueType(fvtNon);
    EXPECT_EQ(g.grid.GetFooterValueText(0, s), "");
}

TEST(GridFooters, SecondFooterRowUsesFootersItemThenTheSingleFooter)
{
    FooterGrid g(Values({1, 2}, {}));
    g.grid.SetFooterRowCount(2);
    TColumnEx& c = g.Col("I");
    c.Footers().Add()->SetValueType(fvtSum);
    c.Footer().SetValueType(fvtStaticText);
    c.Footer().SetValue("total");
    EXPECT_EQ(g.grid.GetFooterValueText(0, c), "3");
    EXPECT_EQ(g.grid.GetFooterValueText(1, c), "total");
}

// ---- Widths -------------------------------------------------------------------------------------

namespace {

// A grid of three user columns without data, exactly clientWidth pixels wide inside.
struct WidthGrid {
    TDBGridEx grid;
    WidthGrid(int clientWidth, std::vector<int> bases, bool lines)
    {
        grid.SetBorderStyle(bsNone);
        grid.resize(clientWidth, 150);
        grid.BeginLayout();
        TDBGridOptions o = grid.Options() - TDBGridOptions{dgIndicator};
        if (!lines)
            o = o - TDBGridOptions{dgColLines};
        grid.SetOptions(o);
        for (int w : bases) {
            TColumnEx* c = grid.Columns().Add();
            c->SetWidth(w);
        }
        grid.EndLayout();
        grid.show();
        grid.SetAutoFitColWidths(true);
    }
    int W(int i) { return grid.Columns()[i]->Width(); }
};

} // namespace

TEST(GridWidths, AutoFitSharesTheClientWidth)
{
    WidthGrid a(300, {100, 100, 100}, true);
    ASSERT_EQ(a.grid.ClientWidth(), 300);
    EXPECT_EQ(a.W(0), 99);
    EXPECT_EQ(a.W(1), 99);
    EXPECT_EQ(a.W(2), 99);

    WidthGrid b(301, {100, 200}, false);
    ASSERT_EQ(b.grid.ClientWidth(), 301);
    EXPECT_EQ(b.W(0), 100);
    EXPECT_EQ(b.W(1), 201);

    // Switching auto-fit off gives the columns their own widths back.
    b.grid.SetAutoFitColWidths(false);
    EXPECT_EQ(b.W(0), 100);
    EXPECT_EQ(b.W(1), 200);
}

TEST(GridWidths, ColumnClampedByMaxWidthKeepsItAndOthersShareTheRest)
{
    WidthGrid g(300, {100, 100, 100}, false);
    g.grid.SetAutoFitColWidths(false);
    g.grid.Columns()[0]->SetMaxWidth(50);
    // Bases 50, 100, 100 ask 60, 120, 120: the first stops at 50, the others share 250.
    g.grid.SetAutoFitColWidths(true);
    EXPECT_EQ(g.W(0), 50);
    EXPECT_EQ(g.W(1) + g.W(2), 250);
    EXPECT_EQ(g.W(1), 125);
}

TEST(GridWidths, OptimizeFitsTheWidestValue)
{
    GridFixture f(3, 600, 200);
    TDBGridEx& g = *f.grid;
    TColumnEx* name = g.Columns().FindColumnByName("Name");
    f.ds->Last();
    f.ds->Edit();
    f.ds->FieldByName("Name")->SetAsString("Much longer name xx");
    f.ds->Post();
    f.ds->First();
    g.OptimizeColsWidth({name});
    TCanvas m;
    m.SetFont(name->Font());
    EXPECT_EQ(name->Width(), m.TextWidth("Much longer name xx") + 4);
    EXPECT_EQ(f.ds->RecNo(), 1);  // the position is kept
}

// The lookup grid, its special row and its drop-down form.
#include "editfixture.h"

#include "grid/dblookupgridsex.h"

#include <gtest/gtest.h>

namespace {

struct LookupFixture {
    std::unique_ptr<TMemDataSet> cities = MakeCities();
    TDataSource citySource{cities.get()};
    TDBLookupGridEx grid;
    qint64 now = 0;

    LookupFixture()
    {
        grid.resize(200, 150);
        grid.Clock = [this] { return now; };
        grid.SetListSource(&citySource);
        grid.SetKeyField("CID");
        grid.SetListField("CName");
        grid.show();
    }
};

} // namespace

TEST(SpecRow, CellsTextSplitsIntoCells)
{
    TSpecRowEx row;
    row.SetCellsText("\x01" "none;\"a;b\";\"say \"\"hi\"\"\";last");
    ASSERT_EQ(row.CellCount(), 4);
    EXPECT_EQ(row.CellText(0), "none");
    EXPECT_EQ(row.CellText(1), "a;b");
    EXPECT_EQ(row.CellText(2), "say \"hi\"");
    EXPECT_EQ(row.CellText(3), "last");
    EXPECT_EQ(row.CellText(4), "");
    EXPECT_EQ(row.CellText(-1), "");
    // Defaults.
    EXPECT_EQ(row.ShortCut(), 32814);
    EXPECT_TRUE(row.ShowIfNotInKeyList());
    EXPECT_TRUE(VarIsNull(row.Value()));
    EXPECT_FALSE(row.Visible());
}

TEST(LookupGrid, KeyValueSelectsTheRecordAndItsText)
{
    LookupFixture f;
    EXPECT_TRUE(f.grid.ListActive());
    EXPECT_TRUE(VarIsNull(f.grid.KeyValue()));
    f.grid.SetKeyValue(Variant(3));
    EXPECT_EQ(f.cities->RecNo(), 3);
    EXPECT_EQ(f.grid.SelectedText(), "Bern");
    // Null (or a key outside the list) without a special row: the list goes to its first record
    // and no text is claimed.
    f.grid.SetKeyValue(Variant::Null());
    EXPECT_EQ(f.cities->RecNo(), 1);
    EXPECT_EQ(f.grid.SelectedText(), "");
    f.grid.SetKeyValue(Variant(99));
    EXPECT_EQ(f.cities->RecNo(), 1);
    EXPECT_EQ(f.grid.SelectedText(), "");
}

TEST(LookupGrid, SpecialRowStandsForKeysOutsideTheList)
{
    LookupFixture f;
    f.grid.SpecRow().SetCellsText("(none)");
    f.grid.SpecRow().SetVisible(true);
    f.grid.SetKeyValue(Variant(99));
    EXPECT_TRUE(f.grid.SpecRowSelected());
    EXPECT_EQ(f.grid.SelectedText(), "(none)");
    f.grid.SetKeyValue(Variant(2));
    EXPECT_FALSE(f.grid.SpecRowSelected());
    EXPECT_EQ(f.grid.SelectedText(), "Berlin");
    f.grid.SpecRow().SetShowIfNotInKeyList(false);
    f.grid.SetKeyValue(Variant(98));
    EXPECT_FALSE(f.grid.SpecRowSelected());
    // The row's own value selects it.
    f.grid.SpecRow().SetValue(Variant(0));
    f.grid.SetKeyValue(Variant(0));
    EXPECT_TRUE(f.grid.SpecRowSelected());
    // The row takes a grid row between the titles and the data.
    EXPECT_EQ(f.grid.GetFilterRowCount(), 1);
}

TEST(LookupGrid, ColumnsHaveSpecialRowCellsThatFollowTheRow)
{
    LookupFixture f;
    f.grid.SetListField("CID;CName");
    f.grid.SetListFieldIndex(1);
    f.grid.SpecRow().SetCellsText("-1;(none)");
    f.grid.SpecRow().SetVisible(true);
    ASSERT_EQ(f.grid.Columns().Count(), 2);
    TDBLookupGridColumnEx& id = *f.grid.LookupColumns().Items(0);
    TDBLookupGridColumnEx& name = *f.grid.LookupColumns().Items(1);
    EXPECT_EQ(id.SpecCell().Text(), "-1");
    EXPECT_EQ(name.SpecCell().Text(), "(none)");
    EXPECT_FALSE(name.SpecCell().TextAssigned());

    // Colour and font follow the row until set on the cell.
    f.grid.SpecRow().SetColor(clYellow);
    EXPECT_EQ(id.SpecCell().Color(), clYellow);
    id.SpecCell().SetColor(clRed);
    f.grid.SpecRow().SetColor(clLime);
    EXPECT_EQ(id.SpecCell().Color(), clRed);
    EXPECT_EQ(name.SpecCell().Color(), clLime);
    EXPECT_EQ(name.SpecCell().Font().Name(), f.grid.SpecRow().Font().Name());

    // The special row shows the cell of the list field's column.
    f.grid.SetKeyValue(Variant(99));
    ASSERT_TRUE(f.grid.SpecRowSelected());
    EXPECT_EQ(f.grid.SelectedText(), "(none)");
    name.SpecCell().SetText("nobody");
    EXPECT_TRUE(name.SpecCell().TextAssigned());
    EXPECT_EQ(f.grid.SelectedText(), "nobody");
}

TEST(LookupGrid, MovingAColumnCarriesItsSpecialCellAndKeepsTheListField)
{
    LookupFixture f;
    f.grid.SetListField("CID;CName");
    f.grid.SetListFieldIndex(1);
    f.grid.SpecRow().SetCellsText("-1;\"(none; really)\"");
    f.grid.SpecRow().SetVisible(true);
    f.grid.SetKeyValue(Variant(2));
    ASSERT_EQ(f.grid.ListFieldOfText()->FieldName(), "CName");

    f.grid.Columns()[1]->SetIndex(0);
    EXPECT_EQ(f.grid.Columns()[0]->FieldName(), "CName");
    EXPECT_EQ(f.grid.LookupColumns().Items(0)->SpecCell().Text(), "(none; really)");
    EXPECT_EQ(f.grid.LookupColumns().Items(1)->SpecCell().Text(), "-1");
    EXPECT_EQ(f.grid.SpecRow().CellsText(), "\"(none; really)\";-1");
    EXPECT_EQ(f.grid.ListFieldIndex(), 0);
    EXPECT_EQ(f.grid.ListFieldOfText()->FieldName(), "CName");
    EXPECT_EQ(f.grid.SelectedText(), "Berlin");

    // A relink keeps the order the user gave.
    f.grid.UpdateListFields();
    EXPECT_EQ(f.grid.Columns()[0]->FieldName(), "CName");
    EXPECT_EQ(f.grid.ListFieldOfText()->FieldName(), "CName");
    f.grid.SetKeyValue(Variant(99));
    EXPECT_EQ(f.grid.SelectedText(), "(none; really)");
}

TEST(LookupGrid, MovingAColumnInLookupModeRebuildsTheListField)
{
    EditFixture f;
    TDBLookupGridEx grid;
    grid.SetListField("CID");
    grid.SetDataSource(&f.source);
    grid.SetDataField("City");
    ASSERT_TRUE(grid.LookupMode());
    ASSERT_EQ(grid.Columns().Count(), 2);
    EXPECT_EQ(grid.Columns()[0]->FieldName(), "CName");
    grid.Columns()[0]->SetIndex(1);
    EXPECT_EQ(grid.ListField(), "CID;CName");
    grid.UpdateListFields();
    EXPECT_EQ(grid.Columns()[0]->FieldName(), "CID");
    EXPECT_EQ(grid.ListFieldOfText()->FieldName(), "CName");
    EXPECT_EQ(grid.SelectedText(), "Amsterdam");
}

TEST(LookupGrid, KeysMoveTheSelectionAndUpReachesTheSpecialRow)
{
    LookupFixture f;
    f.grid.SpecRow().SetVisible(true);
    f.grid.SpecRow().SetValue(Variant(0));
    f.grid.SetKeyValue(Variant(1));
    f.grid.setFocus();
    QTest::keyClick(&f.grid, Qt::Key_Down);
    EXPECT_EQ(f.grid.KeyValue().AsInteger(), 2);
    QTest::keyClick(&f.grid, Qt::Key_End);
    EXPECT_EQ(f.grid.KeyValue().AsInteger(), 4);
    QTest::keyClick(&f.grid, Qt::Key_Home);
    EXPECT_EQ(f.grid.KeyValue().AsInteger(), 1);
    QTest::keyClick(&f.grid, Qt::Key_Up);
    EXPECT_TRUE(f.grid.SpecRowSelected());
    EXPECT_EQ(f.grid.KeyValue().AsInteger(), 0);
    QTest::keyClick(&f.grid, Qt::Key_Down);
    EXPECT_FALSE(f.grid.SpecRowSelected());
    EXPECT_EQ(f.grid.KeyValue().AsInteger(), 1);
}

TEST(LookupGrid, IncrementalSearchRestartsAfterTwoSeconds)
{
    LookupFixture f;
    f.grid.setFocus();
    QTest::keyClicks(&f.grid, "b");
    EXPECT_EQ(f.grid.KeyValue().AsInteger(), 2);
    f.now += 100;
    QTest::keyClicks(&f.grid, "E");
    f.now += 100;
    QTest::keyClicks(&f.grid, "rn");
    EXPECT_EQ(f.grid.SearchText(), "bErn");
    EXPECT_EQ(f.grid.KeyValue().AsInteger(), 3);
    // A letter that matches nothing changes nothing.
    QTest::keyClicks(&f.grid, "z");
    EXPECT_EQ(f.grid.SearchText(), "bErn");
    EXPECT_EQ(f.grid.KeyValue().AsInteger(), 3);
    f.now += 2001;
    QTest::keyClicks(&f.grid, "c");
    EXPECT_EQ(f.grid.SearchText(), "c");
    EXPECT_EQ(f.grid.KeyValue().AsInteger(), 4);
}

TEST(LookupGrid, RowCountIsClampedAndSetsTheHeight)
{
    LookupFixture f;
    f.grid.SetRowCount(0);
    EXPECT_EQ(f.grid.Rows(), 1);
    const int one = f.grid.height();
    f.grid.SetRowCount(500);
    EXPECT_EQ(f.grid.Rows(), 100);
    f.grid.SetRowCount(3);
    EXPECT_EQ(f.grid.height() - one, 2 * f.grid.GetDataRowHeight());
    f.grid.SetShowTitles(true);
    EXPECT_GT(f.grid.height() - one, 2 * f.grid.GetDataRowHeight());
}

TEST(LookupGrid, BoundToALookupFieldWritesTheKey)
{
    EditFixture f;
    TDBLookupGridEx grid;
    grid.SetDataSource(&f.source);
    grid.SetDataField("City");
    EXPECT_TRUE(grid.LookupMode());
    EXPECT_EQ(grid.KeyValue().AsInteger(), 1);
    EXPECT_EQ(grid.SelectedText(), "Amsterdam");
    EXPECT_THROW(grid.SetKeyField("CID"), EDatabaseError);
    try {
        grid.SetListField("CName");
        FAIL();
    } catch (const EDatabaseError& e) {
        EXPECT_EQ(e.Message(), "Property already defined by lookup field");
    }
    EXPECT_TRUE(grid.CanModifyKey());
    grid.SelectKeyValue(Variant(4));
    EXPECT_EQ(f.ds->State(), dsEdit);
    EXPECT_EQ(f.ds->FieldByName("CityID")->AsInteger(), 4);
    f.ds->Post();
    // The record moving brings its key.
    f.ds->Next();
    EXPECT_EQ(grid.KeyValue().AsInteger(), 2);
    EXPECT_EQ(grid.SelectedText(), "Berlin");
}

TEST(LookupGrid, UnknownKeyFieldIsReported)
{
    LookupFixture f;
    try {
        f.grid.SetKeyField("Nope");
        FAIL();
    } catch (const Exception& e) {
        EXPECT_EQ(e.Message(), "Field 'Nope' not found");
    }
}

namespace {
struct CloseRecorder : IDropDownHostEx {
    std::vector<bool> calls;
    void CloseUp(bool accept) override { calls.push_back(accept); }
};
} // namespace

TEST(PopupDataGrid, MouseReleaseOnARowAcceptsOutsideCancels)
{
    LookupFixture f;
    TPopupDataGridEx popup;
    CloseRecorder host;
    popup.SetHost(&host);
    popup.SetListSource(&f.citySource);
    popup.SetKeyField("CID");
    popup.SetListField("CName");
    popup.SetRowCount(4);
    popup.resize(150, popup.height());
    popup.show();
    const TRect second = popup.CellRect(popup.IndicatorOffset(), popup.TopDataOffset() + 1);
    const QPoint p((second.Left + second.Right) / 2, (second.Top + second.Bottom) / 2);
    QTest::mouseClick(popup.viewport(), Qt::LeftButton, Qt::NoModifier, p);
    ASSERT_EQ(host.calls.size(), 1u);
    EXPECT_TRUE(host.calls[0]);
    EXPECT_EQ(popup.KeyValue().AsInteger(), 2);
    QTest::mouseRelease(popup.viewport(), Qt::LeftButton, Qt::NoModifier, QPoint(-50, -50));
    ASSERT_EQ(host.calls.size(), 2u);
    EXPECT_FALSE(host.calls[1]);
}

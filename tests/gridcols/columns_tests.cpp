#include "fakegrid.h"

#include "grid/gridstyle.h"

#include "platform/canvas.h"
#include "platform/imagelist.h"

#include <gtest/gtest.h>

namespace {

class ColumnsTest : public ::testing::Test, public GridFixture {};

int DigitWidth(const TFont& font)
{
    TCanvas canvas;
    canvas.Font().Assign(font);
    return canvas.TextWidth("0");
}

TEST_F(ColumnsTest, UnassignedPropertiesFollowGridAndField)
{
    TColumnEx* c = AddColumn("name");
    EXPECT_EQ(c->Field(), ds.FieldByName("NAME"));
    EXPECT_EQ(c->FieldName(), "NAME") << "the field's exact name is taken";
    EXPECT_TRUE(c->AssignedValues().IsEmpty());

    grid.color = clYellow;
    grid.font.SetHeight(-20);
    grid.titleFont.SetHeight(-15);
    grid.defValues.Title().SetColor(clRed);
    grid.defValues.SetEndEllipsis(true);
    EXPECT_EQ(c->Color(), clYellow);
    EXPECT_EQ(c->Font().Height(), -20);
    EXPECT_EQ(c->Title().Font().Height(), -15);
    EXPECT_EQ(c->Title().Color(), clRed);
    EXPECT_TRUE(c->EndEllipsis());
    EXPECT_EQ(c->Title().Caption(), "NAME");
    EXPECT_TRUE(c->WordWrap()) << "string fields wrap";
    EXPECT_FALSE(c->Checkboxes());

    ds.FieldByName("NAME")->SetDisplayLabel("Name label");
    EXPECT_EQ(c->Title().Caption(), "Name label");
    ds.FieldByName("NAME")->SetAlignment(taRightJustify);
    EXPECT_EQ(c->Alignment(), taRightJustify);
    EXPECT_TRUE(c->AssignedValues().IsEmpty()) << "reading never assigns";

    TColumnEx* flag = AddColumn("FLAG");
    EXPECT_TRUE(flag->Checkboxes()) << "Boolean fields show check boxes";
    EXPECT_FALSE(flag->WordWrap());
}

TEST_F(ColumnsTest, SettersAssignAndStopFollowing)
{
    TColumnEx* c = AddColumn("NAME");
    c->SetColor(clLime);
    c->Title().SetCaption("Own");
    c->Title().SetAlignment(taCenter);
    grid.color = clYellow;
    EXPECT_EQ(c->Color(), clLime);
    EXPECT_EQ(c->Title().Caption(), "Own");
    EXPECT_TRUE(c->IsAssigned(cvColor));
    EXPECT_TRUE(c->IsAssigned(cvTitleCaption));
    EXPECT_TRUE(c->IsAssigned(cvTitleAlignment));

    c->Font().SetHeight(-30);
    EXPECT_TRUE(c->IsAssigned(cvFont));
    grid.font.SetHeight(-9);
    EXPECT_EQ(c->Font().Height(), -30);

    c->RestoreDefaults();
    EXPECT_TRUE(c->AssignedValues().IsEmpty());
    EXPECT_EQ(c->Color(), clYellow);
    EXPECT_EQ(c->Font().Height(), -9);
    EXPECT_EQ(c->Title().Caption(), "NAME");
}

TEST_F(ColumnsTest, ColumnWithoutGridUsesFixedDefaults)
{
    TColumnEx c;
    EXPECT_EQ(c.Width(), 64);
    EXPECT_EQ(c.Color(), clWindow);
    EXPECT_EQ(c.Title().Color(), clBtnFace);
    EXPECT_EQ(c.Title().Alignment(), taLeftJustify);
    EXPECT_FALSE(c.AlwaysShowEditButton());
    EXPECT_EQ(c.DropDownRows(), 7);
    EXPECT_EQ(c.NotInKeyListIndex(), -1);
    EXPECT_EQ(c.Increment(), 1.0);
    c.SetFieldName("X");
    EXPECT_EQ(c.Title().Caption(), "X");
    EXPECT_EQ(c.DisplayName(), "X");
}

TEST_F(ColumnsTest, DefaultWidthFollowsDisplayWidth)
{
    TColumnEx* c = AddColumn("NAME");
    const int digit = DigitWidth(c->Font());
    EXPECT_EQ(c->Width(), digit * ds.FieldByName("NAME")->DisplayWidth() + 4);

    c->SetWidth(c->Width());
    EXPECT_FALSE(c->IsAssigned(cvWidth)) << "the default width is not stored";
    ds.FieldByName("NAME")->SetDisplayWidth(3);
    EXPECT_EQ(c->Width(), digit * 3 + 4);

    TColumnEx* unbound = grid.columns->Add();
    grid.defaultColWidth = 77;
    EXPECT_EQ(unbound->Width(), 77);
}

TEST_F(ColumnsTest, WidthLimits)
{
    TColumnEx* c = AddColumn("ID");
    c->SetWidth(200);
    EXPECT_EQ(c->Width(), 200);
    c->SetMaxWidth(100);
    EXPECT_EQ(c->Width(), 100) << "a new maximum applies to the current width";
    c->SetWidth(150);
    EXPECT_EQ(c->Width(), 100);
    c->SetMinWidth(120);
    EXPECT_EQ(c->Width(), 120) << "a minimum above the maximum wins";
    c->SetWidth(10);
    EXPECT_EQ(c->Width(), 120);
    EXPECT_EQ(c->LimitWidth(500), 100);
    EXPECT_EQ(c->LimitWidth(5), 120);

    TColumnEx* free = AddColumn("NAME");
    free->SetWidth(33);
    EXPECT_EQ(free->Width(), 33) << "MaxWidth 0 and MinWidth 0 impose nothing";
    free->SetWidth(3000);
    EXPECT_EQ(free->Width(), 3000);
}

TEST_F(ColumnsTest, DefaultColumnWritesTheField)
{
    TColumnEx* c = grid.columns->AddDefault();
    EXPECT_FALSE(c->UserDefined());
    EXPECT_TRUE(c->IsDefaultColumn());
    c->SetFieldName("AMOUNT");
    c->Title().SetCaption("Sum");
    EXPECT_EQ(ds.FieldByName("AMOUNT")->DisplayLabel(), "Sum");
    EXPECT_FALSE(c->IsAssigned(cvTitleCaption));
    c->SetAlignment(taCenter);
    EXPECT_EQ(ds.FieldByName("AMOUNT")->Alignment(), taCenter);
    c->SetReadOnly(true);
    EXPECT_TRUE(ds.FieldByName("AMOUNT")->ReadOnly());
    EXPECT_TRUE(c->ReadOnly());

    const int digit = DigitWidth(c->Font());
    c->SetWidth(digit * 4 + 4);
    EXPECT_EQ(ds.FieldByName("AMOUNT")->DisplayWidth(), 4);
}

TEST_F(ColumnsTest, CollectionStateAndColumnsIndex)
{
    EXPECT_EQ(grid.columns->State(), csDefault);
    grid.columns->AddDefault()->SetFieldName("ID");
    EXPECT_EQ(grid.columns->State(), csDefault);
    grid.columns->Clear();
    AddColumn("ID");
    AddColumn("NAME");
    AddColumn("AMOUNT");
    EXPECT_EQ(grid.columns->State(), csCustomized);
    EXPECT_EQ(grid.columns->ColumnsIndexText(), "\"ID\",\"NAME\",\"AMOUNT\"");

    grid.columns->SetColumnsIndexText("\"AMOUNT\",\"NOSUCH\",\"ID\"");
    EXPECT_EQ(grid.columns->Items(0)->FieldName(), "AMOUNT");
    EXPECT_EQ(grid.columns->ColumnsIndexText(), "\"AMOUNT\",\"NAME\",\"ID\"")
        << "an unknown name changes nothing for that place; ID goes to index 2";
}

TEST_F(ColumnsTest, SingleColumnChangeSetsTheGridColumnWidth)
{
    TColumnEx* a = AddColumn("ID");
    AddColumn("NAME");
    grid.LayoutChanged();
    grid.calls.clear();
    a->SetWidth(90);
    EXPECT_TRUE(grid.calls.contains("SetColWidth 1 90")) << grid.calls.join("; ").toStdString();

    grid.calls.clear();
    grid.useMultiTitle = true;
    a->SetColor(clRed);
    EXPECT_TRUE(grid.calls.contains("LayoutTitles")) << "same width: only the titles are redone";

    grid.selectedIndex = 0;
    a->SetVisible(false);
    EXPECT_EQ(grid.selectedIndex, 1) << "the current column moves off a hidden one";
    EXPECT_EQ(grid.visible.Count(), 1);
}

TEST_F(ColumnsTest, AutoFitScalesBaseWidths)
{
    TColumnEx* a = AddColumn("ID");
    TColumnEx* b = AddColumn("NAME");
    a->SetWidth(100);
    b->SetWidth(100);
    a->SetAutoFitColWidthBase(100);
    b->SetAutoFitColWidthBase(100);
    grid.LayoutChanged();
    grid.autoFit = true;
    grid.widths[1] = 50;   // the grid shows column a at half its base
    a->SetWidth(60);
    EXPECT_EQ(a->AutoFitColWidthBase(), 120);
    EXPECT_EQ(b->AutoFitColWidthBase(), 80) << "the next column gives what this one took";
}

TEST_F(ColumnsTest, StoredWidthGoesToTheAutoFitBaseWhenFitting)
{
    TColumnEx* c = AddColumn("ID");
    c->RestoreStoredWidth(70);
    EXPECT_EQ(c->Width(), 70);
    grid.autoFit = true;
    c->RestoreStoredWidth(90);
    EXPECT_EQ(c->Width(), 70);
    EXPECT_EQ(c->AutoFitColWidthBase(), 90);
}

// ---- Sort markers

TEST_F(ColumnsTest, SingleSortMarking)
{
    TColumnEx* a = AddColumn("ID");
    TColumnEx* b = AddColumn("NAME");
    a->Title().SetSortMarker(smDownEx);
    EXPECT_EQ(a->Title().SortIndex(), 1);
    b->Title().SetSortMarker(smUpEx);
    EXPECT_EQ(a->Title().SortMarker(), smNoneEx);
    EXPECT_EQ(a->Title().SortIndex(), 0);
    EXPECT_EQ(b->Title().SortIndex(), 1);
    ASSERT_EQ(grid.sortMarked.Count(), 1);
    EXPECT_EQ(grid.sortMarked[0], b);
    b->Title().SetSortMarker(smNoneEx);
    EXPECT_EQ(grid.sortMarked.Count(), 0);
    EXPECT_EQ(b->Title().SortIndex(), 0);
}

TEST_F(ColumnsTest, MultiSortMarkingRenumbers)
{
    grid.optionsEx.Include(dghMultiSortMarking);
    TColumnEx* a = AddColumn("ID");
    TColumnEx* b = AddColumn("NAME");
    TColumnEx* c = AddColumn("AMOUNT");
    b->Title().SetSortMarker(smDownEx);
    a->Title().SetSortMarker(smUpEx);
    c->Title().SetSortMarker(smDownEx);
    EXPECT_EQ(b->Title().SortIndex(), 1);
    EXPECT_EQ(a->Title().SortIndex(), 2);
    EXPECT_EQ(c->Title().SortIndex(), 3);

    b->Title().SetSortMarker(smNoneEx);
    EXPECT_EQ(a->Title().SortIndex(), 1);
    EXPECT_EQ(c->Title().SortIndex(), 2);
    ASSERT_EQ(grid.sortMarked.Count(), 2);
    EXPECT_EQ(grid.sortMarked[0], a);

    c->Title().SetSortIndex(1);
    EXPECT_EQ(c->Title().SortIndex(), 1);
    EXPECT_EQ(a->Title().SortIndex(), 2);
    EXPECT_EQ(grid.sortMarked[0], c);

    c->Title().SetSortIndex(7);
    EXPECT_EQ(c->Title().SortIndex(), 1) << "an index no other column holds changes nothing";
    b->Title().SetSortIndex(2);
    EXPECT_EQ(b->Title().SortIndex(), 0) << "no marker, no index";
}

TEST_F(ColumnsTest, TitleClickCycle)
{
    TColumnEx* a = AddColumn("ID");
    TColumnEx* b = AddColumn("NAME");
    b->Title().SetSortMarker(smDownEx);
    a->Title().CycleSortMarker(false);
    EXPECT_EQ(a->Title().SortMarker(), smDownEx);
    EXPECT_EQ(b->Title().SortMarker(), smNoneEx);
    a->Title().CycleSortMarker(false);
    EXPECT_EQ(a->Title().SortMarker(), smUpEx);
    a->Title().CycleSortMarker(false);
    EXPECT_EQ(a->Title().SortMarker(), smDownEx) << "without keepOthers up turns down again";
    a->Title().CycleSortMarker(true);
    a->Title().CycleSortMarker(true);
    EXPECT_EQ(a->Title().SortMarker(), smNoneEx);
}

TEST_F(ColumnsTest, SortMarkingWidthShrinksInNarrowTitles)
{
    grid.optionsEx.Include(dghMultiSortMarking);
    TColumnEx* a = AddColumn("ID");
    TColumnEx* b = AddColumn("NAME");
    a->SetWidth(100);
    EXPECT_EQ(a->Title().SortMarkingWidth(), 0);
    a->Title().SetSortMarker(smDownEx);
    EXPECT_EQ(a->Title().SortMarkingWidth(), 16);
    b->Title().SetSortMarker(smDownEx);
    TCanvas canvas;
    canvas.Font().Assign(SortMarkerFont());
    const int number = canvas.TextWidth("1");
    EXPECT_EQ(a->Title().SortMarkingWidth(), 16 + number);
    a->SetWidth(16);
    EXPECT_EQ(a->Title().SortMarkingWidth(), 2 + number);
}

// ---- Values

TEST_F(ColumnsTest, ColumnTypes)
{
    TColumnEx* c = AddColumn("NAME");
    EXPECT_EQ(c->GetColumnType(), ctCommon);
    c->PickList().Add("a");
    EXPECT_EQ(c->GetColumnType(), ctPickList);
    c->KeyList().Add("1");
    EXPECT_EQ(c->GetColumnType(), ctKeyPickList);
    TImageList images;
    c->SetImageList(&images);
    EXPECT_EQ(c->GetColumnType(), ctKeyImageList);
    c->SetCheckboxes(true);
    EXPECT_EQ(c->GetColumnType(), ctCheckboxes);
}

TEST_F(ColumnsTest, KeyListWithImages)
{
    TMemDataSet keys;
    keys.AddField(ftString, "S", 5);
    keys.Open();
    keys.AppendRecord({"1"});
    keys.AppendRecord({"0"});
    keys.AppendRecord({"x"});
    keys.First();
    source.SetDataSet(&keys);
    TColumnEx* c = AddColumn("S");
    TImageList images;
    c->SetImageList(&images);
    c->KeyList().Add("1");
    c->KeyList().Add("0");
    EXPECT_EQ(c->GetImageIndex(), 0);
    keys.Next();
    EXPECT_EQ(c->GetImageIndex(), 1);
    keys.Next();
    EXPECT_EQ(c->GetImageIndex(), -1);
    c->SetNotInKeyListIndex(1);
    EXPECT_EQ(c->GetImageIndex(), 1);
    grid.columns->Clear();
    source.SetDataSet(&ds);
}

TEST_F(ColumnsTest, DisplayTextThroughKeyAndPickLists)
{
    TColumnEx* c = AddColumn("ID");
    c->KeyList().Add("1");
    c->KeyList().Add("2");
    c->PickList().Add("one");
    c->PickList().Add("two");
    EXPECT_EQ(c->DisplayText(), "one");
    ds.Next();
    EXPECT_EQ(c->DisplayText(), "two");
    ds.Next();
    EXPECT_EQ(c->DisplayText(), "");
    c->SetNotInKeyListIndex(0);
    EXPECT_EQ(c->DisplayText(), "one");
    c->SetNotInKeyListIndex(5);
    EXPECT_EQ(c->DisplayText(), "");
}

TEST_F(ColumnsTest, DisplayFormat)
{
    TColumnEx* c = AddColumn("AMOUNT");
    EXPECT_EQ(c->DisplayText(), ds.FieldByName("AMOUNT")->DisplayText());
    c->SetDisplayFormat("0.00");
    EXPECT_EQ(c->DisplayText(), FormatFloat("0.00", 1.5, ds.FormatSettings()));
}

TEST_F(ColumnsTest, CheckBoxesOnAStringField)
{
    TColumnEx* c = AddColumn("NAME");
    c->SetCheckboxes(true);
    c->KeyList().Add("Y;y");
    c->KeyList().Add("N");
    ds.Edit();
    ds.FieldByName("NAME")->SetAsString("y");
    EXPECT_EQ(c->CheckboxState(), cbChecked);
    ds.FieldByName("NAME")->SetAsString("n");
    EXPECT_EQ(c->CheckboxState(), cbUnchecked);
    ds.FieldByName("NAME")->SetAsString("maybe");
    EXPECT_EQ(c->CheckboxState(), cbGrayed);
    ds.FieldByName("NAME")->Clear();
    EXPECT_EQ(c->CheckboxState(), cbGrayed);

    c->SetCheckboxState(cbChecked);
    EXPECT_EQ(ds.FieldByName("NAME")->AsString(), "Y");
    c->SetCheckboxState(cbUnchecked);
    EXPECT_EQ(ds.FieldByName("NAME")->AsString(), "N");
    c->SetCheckboxState(cbGrayed);
    EXPECT_TRUE(ds.FieldByName("NAME")->IsNull());
    ds.Cancel();

    c->KeyList().Delete(1);
    EXPECT_EQ(c->CheckboxState(), cbGrayed) << "fewer than two key lines";
}

TEST_F(ColumnsTest, NextValueOfNumbers)
{
    TColumnEx* c = AddColumn("ID");
    ds.Edit();
    ds.FieldByName("ID")->Clear();
    c->SetNextFieldValue(1);
    EXPECT_EQ(ds.FieldByName("ID")->AsInteger(), 0) << "null becomes 0";
    ds.FieldByName("ID")->SetAsInteger(4);
    c->SetNextFieldValue(1);
    EXPECT_EQ(ds.FieldByName("ID")->AsInteger(), 5);
    c->SetNextFieldValue(-1);
    EXPECT_EQ(ds.FieldByName("ID")->AsInteger(), 4);
    ds.Cancel();
}

TEST_F(ColumnsTest, NextValueCyclesKeysPicksAndChecks)
{
    TColumnEx* keys = AddColumn("ID");
    keys->KeyList().Add("1");
    keys->KeyList().Add("2");
    keys->KeyList().Add("3");
    keys->PickList().Add("a");
    keys->SetNextFieldValue(1);
    EXPECT_EQ(ds.FieldByName("ID")->AsInteger(), 2);
    EXPECT_EQ(ds.State(), dsEdit) << "stepping puts the dataset into edit state";
    keys->SetNextFieldValue(-1);
    keys->SetNextFieldValue(-1);
    EXPECT_EQ(ds.FieldByName("ID")->AsInteger(), 3) << "backward from the first line wraps to the last";
    keys->SetNextFieldValue(1);
    EXPECT_EQ(ds.FieldByName("ID")->AsInteger(), 1) << "forward from the last line wraps to the first";

    TColumnEx* picks = AddColumn("NAME");
    picks->PickList().Add("p");
    picks->PickList().Add("q");
    picks->SetNextFieldValue(1);
    EXPECT_EQ(ds.FieldByName("NAME")->AsString(), "p") << "an unknown text goes to line 0";
    grid.editorVisible = true;
    grid.editorText = "p";
    picks->SetNextFieldValue(1);
    EXPECT_EQ(ds.FieldByName("NAME")->AsString(), "q") << "the editor's text is the current one";
    grid.editorVisible = false;

    TColumnEx* flag = AddColumn("FLAG");
    const bool before = ds.FieldByName("FLAG")->AsBoolean();
    flag->SetNextFieldValue(1);
    EXPECT_NE(ds.FieldByName("FLAG")->AsBoolean(), before);
    ds.Cancel();
}

TEST_F(ColumnsTest, CanModifyRefusals)
{
    TColumnEx* c = AddColumn("NAME");
    EXPECT_TRUE(c->CanModify(false));
    grid.readOnly = true;
    EXPECT_FALSE(c->CanModify(false));
    grid.readOnly = false;
    c->SetReadOnly(true);
    EXPECT_FALSE(c->CanModify(false));
    c->SetReadOnly(false);
    grid.allowed = {alopInsertEx};
    EXPECT_FALSE(c->CanModify(false)) << "updates not allowed";
    grid.allowed = {alopUpdateEx};
    EXPECT_TRUE(c->CanModify(true));
    EXPECT_EQ(ds.State(), dsEdit);
    EXPECT_TRUE(grid.link.IsModified()) << "the grid now owns a change of the record";
    ds.Cancel();

    TColumnEx* unbound = AddColumn("NOSUCH");
    EXPECT_EQ(unbound->Field(), nullptr);
    EXPECT_FALSE(unbound->CanModify(false));
    EXPECT_EQ(unbound->DisplayText(), "");
}

TEST_F(ColumnsTest, UpdateDataHandlerAndMru)
{
    TColumnEx* c = AddColumn("NAME");
    ds.Edit();
    c->UpdateData("abc", Variant(), true);
    EXPECT_EQ(ds.FieldByName("NAME")->AsString(), "abc");
    c->UpdateData(QString(), Variant("xyz"), false);
    EXPECT_EQ(ds.FieldByName("NAME")->AsString(), "xyz");

    c->OnUpdateData = [](TColumnEx&, QString& text, Variant&, bool&, bool& handled) {
        text = "ignored";
        handled = true;
    };
    c->UpdateData("new", Variant(), true);
    EXPECT_EQ(ds.FieldByName("NAME")->AsString(), "xyz");
    c->OnUpdateData = nullptr;

    c->MRUList().SetActive(true);
    grid.editorVisible = true;
    grid.editorModified = true;
    grid.editorText = "typed";
    c->UpdateData("typed", Variant(), true);
    ASSERT_EQ(c->MRUList().Items().Count(), 1);
    EXPECT_EQ(c->MRUList().Items()[0], "typed");
    ds.Cancel();
}

TEST_F(ColumnsTest, LookupColumnStepsThroughTheLookupTable)
{
    TMemDataSet cities;
    cities.AddField(ftInteger, "CID");
    cities.AddField(ftString, "CNAME", 10);
    cities.Open();
    cities.AppendRecord({10, "Minsk"});
    cities.AppendRecord({20, "Omsk"});
    cities.AppendRecord({30, "Tomsk"});

    TMemDataSet orders;
    orders.AddField(ftInteger, "ID");
    orders.AddField(ftInteger, "CITY");
    TField* city = orders.AddField(ftString, "CITYNAME", 10, fkLookup);
    city->SetLookupDataSet(&cities);
    city->SetKeyFields("CITY");
    city->SetLookupKeyFields("CID");
    city->SetLookupResultField("CNAME");
    orders.Open();
    orders.AppendRecord({1, 20});
    orders.First();
    source.SetDataSet(&orders);

    TColumnEx* c = AddColumn("CITYNAME");
    EXPECT_EQ(c->GetColumnType(), ctLookupField);
    EXPECT_EQ(c->LookupDisplayFields(), "CNAME");
    EXPECT_EQ(c->DisplayText(), "Omsk");
    c->SetNextFieldValue(1);
    EXPECT_EQ(orders.FieldByName("CITY")->AsInteger(), 30);
    c->SetNextFieldValue(1);
    EXPECT_EQ(orders.FieldByName("CITY")->AsInteger(), 10) << "past the end wraps to the first";
    c->SetNextFieldValue(-1);
    EXPECT_EQ(orders.FieldByName("CITY")->AsInteger(), 30) << "before the first wraps to the last";
    c->UpdateData(QString(), Variant(20), false);
    EXPECT_EQ(orders.FieldByName("CITY")->AsInteger(), 20);
    orders.Cancel();
    grid.columns->Clear();
    source.SetDataSet(&ds);
}

TEST_F(ColumnsTest, AssignCopiesOnlyAssignedFallbacks)
{
    TColumnEx* a = AddColumn("NAME");
    a->SetColor(clRed);
    a->SetWidth(123);
    a->SetVisible(false);
    a->SetDisplayFormat("#");
    a->PickList().Add("x");
    a->Title().SetCaption("Cap");
    a->Footer().SetValueType(fvtStaticText);
    a->Footer().SetValue("total");
    TColumnEx* b = AddColumn("ID");
    b->Assign(*a);
    EXPECT_EQ(b->FieldName(), "NAME");
    EXPECT_EQ(b->Color(), clRed);
    EXPECT_EQ(b->Width(), 123);
    EXPECT_FALSE(b->Visible());
    EXPECT_EQ(b->DisplayFormat(), "#");
    ASSERT_NE(b->PickListPtr(), nullptr);
    EXPECT_EQ(b->PickList()[0], "x");
    EXPECT_EQ(b->Title().Caption(), "Cap");
    EXPECT_EQ(b->Footer().Value(), "total");
    EXPECT_FALSE(b->IsAssigned(cvAlignment));
}

TEST_F(ColumnsTest, CellParams)
{
    TColumnEx* c = AddColumn("NAME");
    c->SetColor(clAqua);
    c->OnGetCellParams = [](TColumnEx&, bool, TColCellParamsEx& p) { p.Text += "!"; };
    TColCellParamsEx params;
    c->FillCellParams(params);
    EXPECT_EQ(params.Background, clAqua);
    EXPECT_EQ(params.Text, "n1!");
    EXPECT_EQ(params.ImageIndex, -1);
}

TEST_F(ColumnsTest, DeletingAColumnLeavesTheSortList)
{
    TColumnEx* a = AddColumn("ID");
    a->Title().SetSortMarker(smDownEx);
    ASSERT_EQ(grid.sortMarked.Count(), 1);
    grid.columns->Delete(0);
    EXPECT_EQ(grid.sortMarked.Count(), 0);
}

} // namespace

// The grid's in-place editor: styles, drop-downs, keys and writing back.
#include "editfixture.h"

#include "grid/dblookupgridsex.h"

#include "platform/datetime.h"

#include <QClipboard>

#include <gtest/gtest.h>

namespace {

void Press(QWidget* w, Qt::Key key, Qt::KeyboardModifiers mods = Qt::NoModifier)
{
    QTest::keyClick(w, key, mods);
}

} // namespace

TEST(InplaceEditStyle, FollowsTheColumnAndItsField)
{
    EditFixture f;
    TDBGridEx& g = *f.grid;
    auto style = [&](const QString& field) { return TDBGridInplaceEdit::EditStyleOf(g, f.Col(field)); };
    // Dates and date-times get the calendar, times do not.
    EXPECT_EQ(style("Day"), esDateCalendarEx);
    EXPECT_EQ(style("Stamp"), esDateCalendarEx);
    EXPECT_EQ(style("At"), esNoneEx);
    EXPECT_EQ(style("Name"), esNoneEx);
    EXPECT_EQ(style("City"), esDataListEx);
    f.Col("Name").PickList().Add("Alpha");
    EXPECT_EQ(style("Name"), esPickListEx);
    // A pick list with pictures is drawn, not dropped down.
    TImageList images(16, 16);
    f.Col("Name").SetImageList(&images);
    EXPECT_EQ(style("Name"), esNoneEx);
    f.Col("Name").SetImageList(nullptr);
    f.Col("Name").SetReadOnly(true);
    EXPECT_EQ(style("Name"), esNoneEx);
    f.Col("Amount").SetButtonStyle(cbsEllipsis);
    EXPECT_EQ(style("Amount"), esEllipsisEx);
    f.Col("Amount").SetButtonStyle(cbsUpDown);
    EXPECT_EQ(style("Amount"), esUpDownEx);
    // A drop-down of a read-only grid never opens.
    g.SetReadOnly(true);
    EXPECT_EQ(style("Day"), esNoneEx);
    EXPECT_EQ(style("City"), esNoneEx);
}

TEST(InplaceEdit, TypedTextIsWrittenOnEnterAndEscRestores)
{
    EditFixture f;
    TDBGridInplaceEdit& e = f.Edit("Name");
    ASSERT_TRUE(f.grid->EditorVisible());
    EXPECT_EQ(e.Text(), "Name1");
    // The editor covers the current cell.
    const TRect cell = f.grid->CellRect(f.grid->Col(), f.grid->Row());
    EXPECT_EQ(e.geometry(), QRect(cell.Left, cell.Top, cell.Width(), cell.Height()));
    e.selectAll();
    QTest::keyClicks(&e, "Zed");
    EXPECT_TRUE(f.grid->EditorModified());
    EXPECT_EQ(f.ds->State(), dsEdit);
    Press(&e, Qt::Key_Return);
    EXPECT_EQ(f.ds->FieldByName("Name")->AsString(), "Zed");
    f.ds->Post();

    // Esc drops the change and shows the field's value again; the edit itself is cancelled by
    // the next Esc.
    f.grid->ShowEditor();
    e.selectAll();
    QTest::keyClicks(&e, "Other");
    Press(&e, Qt::Key_Escape);
    EXPECT_EQ(f.ds->State(), dsEdit);
    EXPECT_FALSE(f.grid->EditorVisible());
    QTest::keyClick(f.grid.get(), Qt::Key_Escape);
    EXPECT_EQ(f.ds->State(), dsBrowse);
    EXPECT_EQ(f.ds->FieldByName("Name")->AsString(), "Zed");
}

TEST(InplaceEdit, TypingInTheGridOpensTheEditorWithTheCharacter)
{
    EditFixture f;
    f.Select("Name");
    f.grid->setFocus();
    QTest::keyClick(f.grid.get(), Qt::Key_Q);
    ASSERT_TRUE(f.grid->EditorVisible());
    EXPECT_EQ(f.Editor().Text(), "q");
    // Moving to another record writes the pending text first.
    Press(&f.Editor(), Qt::Key_Down);
    f.ds->First();
    EXPECT_EQ(f.ds->FieldByName("Name")->AsString(), "q");
}

TEST(InplaceEdit, AnInsertedRecordSurvivesTheEditorTakingTheFocus)
{
    EditFixture f;
    f.Select("Name");
    f.grid->setFocus();
    QTest::keyClick(f.grid.get(), Qt::Key_Insert);
    ASSERT_EQ(f.ds->State(), dsInsert);
    QTest::keyClick(f.grid.get(), Qt::Key_N);
    ASSERT_TRUE(f.grid->EditorVisible());
    EXPECT_EQ(f.ds->State(), dsInsert);
    QTest::keyClicks(&f.Editor(), "ew");
    Press(&f.Editor(), Qt::Key_Return);
    f.ds->Post();
    EXPECT_EQ(f.ds->RecordCount(), 4);
    EXPECT_TRUE(f.ds->Locate("Name", Variant(QString("new")), loCaseInsensitive));
}

TEST(InplaceEditPickList, EnterTakesTheLineEscKeepsTheText)
{
    EditFixture f;
    TStringList& pick = f.Col("Name").PickList();
    pick.Add("Alpha");
    pick.Add("Beta");
    pick.Add("Gamma");
    TDBGridInplaceEdit& e = f.Edit("Name");
    ASSERT_EQ(e.EditStyle(), esPickListEx);
    Press(&e, Qt::Key_Down, Qt::AltModifier);
    ASSERT_TRUE(e.ListVisible());
    ASSERT_TRUE(e.PickListbox()->isVisible());
    Press(&e, Qt::Key_Down);
    Press(&e, Qt::Key_Down);
    // The editor follows the list while it is open.
    EXPECT_EQ(e.Text(), "Beta");
    Press(&e, Qt::Key_Escape);
    EXPECT_FALSE(e.ListVisible());
    EXPECT_EQ(e.Text(), "Beta");

    Press(&e, Qt::Key_Down, Qt::AltModifier);
    Press(&e, Qt::Key_Down);
    Press(&e, Qt::Key_Return);
    EXPECT_FALSE(e.ListVisible());
    EXPECT_EQ(e.Text(), "Gamma");
    Press(&e, Qt::Key_Return);
    EXPECT_EQ(f.ds->FieldByName("Name")->AsString(), "Gamma");
}

TEST(InplaceEditPickList, TheDropDownButtonOpensAndThenCloses)
{
    EditFixture f;
    f.Col("Name").PickList().Add("Alpha");
    TDBGridInplaceEdit& e = f.Edit("Name");
    TEditButtonControlEx* button = e.DefaultButton();
    ASSERT_NE(button, nullptr);
    EXPECT_EQ(button->Style(), ebsDropDownEx);
    QTest::mouseClick(button, Qt::LeftButton, Qt::NoModifier, button->rect().center());
    EXPECT_TRUE(e.ListVisible());
    EXPECT_TRUE(button->KeepDown());
    QTest::mouseClick(button, Qt::LeftButton, Qt::NoModifier, button->rect().center());
    EXPECT_FALSE(e.ListVisible());
    EXPECT_FALSE(button->KeepDown());
}

TEST(InplaceEditPickList, AutoDropDownOpensOnTheFirstLetterAndCompletes)
{
    EditFixture f;
    TColumnEx& c = f.Col("Name");
    c.PickList().Add("Alpha");
    c.PickList().Add("Beta");
    c.SetAutoDropDown(true);
    TDBGridInplaceEdit& e = f.Edit("Name");
    e.selectAll();
    QTest::keyClicks(&e, "b");
    EXPECT_TRUE(e.ListVisible());
    // The letter reached the text and the rest of the line is completed and selected.
    EXPECT_EQ(e.Text(), "Beta");
    EXPECT_EQ(e.selectedText(), "eta");
    EXPECT_EQ(e.PickListbox()->currentRow(), 1);
}

TEST(InplaceEditPickList, KeyListStoresTheKeyOfTheChosenLine)
{
    EditFixture f;
    TColumnEx& c = f.Col("Code");
    c.PickList().Add("First");
    c.PickList().Add("Second");
    c.KeyList().Add("K1");
    c.KeyList().Add("K2");
    TDBGridInplaceEdit& e = f.Edit("Code");
    EXPECT_EQ(e.Text(), "First");
    Press(&e, Qt::Key_Down, Qt::AltModifier);
    Press(&e, Qt::Key_Down);
    Press(&e, Qt::Key_Return);
    EXPECT_EQ(e.Text(), "Second");
    EXPECT_EQ(VarToStr(e.EditKey()), "K2");
    Press(&e, Qt::Key_Return);
    EXPECT_EQ(f.ds->FieldByName("Code")->AsString(), "K2");
    // Delete at the end of the text clears the value.
    f.ds->Post();
    f.grid->ShowEditor();
    e.end(false);
    Press(&e, Qt::Key_Delete);
    EXPECT_EQ(e.Text(), "");
    Press(&e, Qt::Key_Return);
    EXPECT_TRUE(f.ds->FieldByName("Code")->IsNull());
}

TEST(InplaceEditLookup, TypingCompletesFromTheListAndWritesTheKey)
{
    EditFixture f;
    TDBGridInplaceEdit& e = f.Edit("City");
    EXPECT_EQ(e.Text(), "Amsterdam");
    e.selectAll();
    QTest::keyClicks(&e, "be");
    EXPECT_EQ(e.Text(), "Berlin");
    EXPECT_EQ(e.selectedText(), "rlin");
    EXPECT_EQ(e.EditKey().AsInteger(), 2);
    QTest::keyClicks(&e, "rn");
    EXPECT_EQ(e.Text(), "Bern");
    Press(&e, Qt::Key_Return);
    EXPECT_EQ(f.ds->FieldByName("CityID")->AsInteger(), 3);
    f.ds->Post();
    EXPECT_EQ(f.ds->FieldByName("City")->AsString(), "Bern");
}

TEST(InplaceEditLookup, TheListDropsDownOnTheKeyAndAcceptsAChoice)
{
    EditFixture f;
    f.ds->Next();   // Berlin
    TDBGridInplaceEdit& e = f.Edit("City");
    Press(&e, Qt::Key_Down, Qt::AltModifier);
    ASSERT_TRUE(e.ListVisible());
    TPopupDataGridEx* list = e.DataList();
    ASSERT_NE(list, nullptr);
    EXPECT_TRUE(list->isVisible());
    EXPECT_EQ(list->KeyValue().AsInteger(), 2);
    EXPECT_EQ(list->SelectedText(), "Berlin");
    Press(&e, Qt::Key_Down);
    EXPECT_EQ(list->KeyValue().AsInteger(), 3);
    EXPECT_EQ(e.Text(), "Bern");
    Press(&e, Qt::Key_Return);
    EXPECT_FALSE(list->isVisible());
    Press(&e, Qt::Key_Return);
    EXPECT_EQ(f.ds->FieldByName("CityID")->AsInteger(), 3);
}

TEST(InplaceEditUpDown, ButtonsStepTheNumberByTheIncrement)
{
    EditFixture f;
    TColumnEx& c = f.Col("Amount");
    c.SetButtonStyle(cbsUpDown);
    c.SetIncrement(2);
    TDBGridInplaceEdit& e = f.Edit("Amount");
    ASSERT_EQ(e.EditStyle(), esUpDownEx);
    e.ButtonDown(true);
    EXPECT_DOUBLE_EQ(f.ds->FieldByName("Amount")->AsFloat(), 3.5);
    EXPECT_EQ(e.Text(), f.ds->FieldByName("Amount")->Text());
    e.ButtonDown(false);
    e.ButtonDown(false);
    EXPECT_DOUBLE_EQ(f.ds->FieldByName("Amount")->AsFloat(), -0.5);
    // A typed value is taken first, then stepped.
    e.selectAll();
    QTest::keyClicks(&e, "10");
    e.ButtonDown(true);
    EXPECT_DOUBLE_EQ(f.ds->FieldByName("Amount")->AsFloat(), 12);
}

TEST(InplaceEditCalculator, ResultBecomesTheText)
{
    EditFixture f;
    f.Col("Amount").SetButtonStyle(cbsDropDown);
    f.Col("Name").SetButtonStyle(cbsDropDown);
    // Only a numeric field gets the calculator.
    EXPECT_EQ(f.Edit("Name").ActiveList(), nullptr);
    f.grid->HideEditor();
    TDBGridInplaceEdit& e = f.Edit("Amount");
    ASSERT_EQ(e.ActiveList(), e.Calculator());
    Press(&e, Qt::Key_Down, Qt::AltModifier);
    ASSERT_TRUE(e.ListVisible());
    EXPECT_EQ(e.Calculator()->Value().AsDouble(), 1.5);
    QTest::keyClicks(&e, "*4");
    Press(&e, Qt::Key_Return);   // "=" pending: computes
    Press(&e, Qt::Key_Return);   // accepts
    EXPECT_FALSE(e.ListVisible());
    EXPECT_EQ(e.Text(), "6");
    Press(&e, Qt::Key_Return);
    EXPECT_DOUBLE_EQ(f.ds->FieldByName("Amount")->AsFloat(), 6);
}

TEST(InplaceEditCalendar, AcceptedDateIsWrittenToTheField)
{
    EditFixture f;
    TDBGridInplaceEdit& e = f.Edit("Day");
    Press(&e, Qt::Key_Down, Qt::AltModifier);
    ASSERT_TRUE(e.ListVisible());
    EXPECT_EQ(e.Calendar()->Date(), 45001.0);
    Press(&e, Qt::Key_Right);   // next day
    e.CloseUp(true);
    EXPECT_EQ(f.ds->FieldByName("Day")->AsDateTime(), 45002.0);
    EXPECT_EQ(e.Text(), f.ds->FieldByName("Day")->Text());
    // Closing without acceptance writes nothing.
    Press(&e, Qt::Key_Down, Qt::AltModifier);
    Press(&e, Qt::Key_Right);
    Press(&e, Qt::Key_Escape);
    EXPECT_EQ(f.ds->FieldByName("Day")->AsDateTime(), 45002.0);
}

TEST(InplaceEditButtons, ClicksReachTheGridAndTheColumn)
{
    EditFixture f;
    TColumnEx& c = f.Col("Name");
    c.SetButtonStyle(cbsEllipsis);
    int gridClicks = 0;
    int columnClicks = 0;
    int extraClicks = 0;
    f.grid->OnEditButtonClick = [&](TCustomDBGridEx&) { ++gridClicks; };
    c.OnEditButtonClick = [&](TColumnEx&, bool&) { ++columnClicks; };
    TEditButtonEx* extra = c.EditButtons().Add();
    extra->SetVisible(true);
    extra->SetStyle(ebsPlusEx);
    extra->SetShortCut(scCtrl + 'P');
    extra->OnClick = [&](TEditButtonEx&, bool&) { ++extraClicks; };
    TDBGridInplaceEdit& e = f.Edit("Name");
    ASSERT_EQ(e.ButtonControls().size(), 2u);
    EXPECT_EQ(e.DefaultButton()->Style(), ebsEllipsisEx);
    TEditButtonControlEx* d = e.DefaultButton();
    QTest::mouseClick(d, Qt::LeftButton, Qt::NoModifier, d->rect().center());
    EXPECT_EQ(gridClicks, 1);
    EXPECT_EQ(columnClicks, 1);
    TEditButtonControlEx* x = e.ButtonControls()[1];
    QTest::mouseClick(x, Qt::LeftButton, Qt::NoModifier, x->rect().center());
    Press(&e, Qt::Key_P, Qt::ControlModifier);
    EXPECT_EQ(extraClicks, 2);
    EXPECT_EQ(gridClicks, 1);
    // The buttons stand at the right and the text keeps clear of them.
    EXPECT_EQ(d->geometry().right(), e.width() - 1);
    EXPECT_LT(x->geometry().right(), d->geometry().left());
}

TEST(InplaceEditMRU, RecentTextsDropDownFilteredByTheTypedStart)
{
    EditFixture f;
    TColumnEx& c = f.Col("Name");
    c.MRUList().SetActive(true);
    c.MRUList().Add("Paris");
    c.MRUList().Add("Parma");
    c.MRUList().Add("Oslo");
    TDBGridInplaceEdit& e = f.Edit("Name");
    e.selectAll();
    QTest::keyClicks(&e, "pa");
    ASSERT_TRUE(e.MRUListVisible());
    EXPECT_EQ(e.MRUListbox()->count(), 2);
    QTest::keyClicks(&e, "rm");
    EXPECT_EQ(e.MRUListbox()->count(), 1);
    Press(&e, Qt::Key_Down);
    Press(&e, Qt::Key_Return);
    EXPECT_FALSE(e.MRUListVisible());
    EXPECT_EQ(e.Text(), "Parma");
    QTest::keyClicks(&e, "x");
    EXPECT_FALSE(e.MRUListVisible());
}

TEST(InplaceEditPicture, EditorWithButtonOverTheCell)
{
    EditFixture f;
    f.Col("Name").PickList().Add("Alpha");
    TDBGridInplaceEdit& e = f.Edit("Name");
    const QImage img = f.grid->grab().toImage();
    EXPECT_FALSE(img.isNull());
    EXPECT_TRUE(e.DefaultButton()->isVisible());
}

TEST(InplaceEditLookup, PasteLooksTheTextUp)
{
    EditFixture f;
    QStringList missing;
    f.Col("City").OnNotInList = [&](TColumnEx&, const Variant& v, bool&) { missing << VarToStr(v); };
    TDBGridInplaceEdit& e = f.Edit("City");
    QApplication::clipboard()->setText("cai");
    Press(&e, Qt::Key_V, Qt::ControlModifier);
    EXPECT_EQ(e.Text(), "Cairo");
    EXPECT_EQ(e.EditKey().AsInteger(), 4);
    QApplication::clipboard()->setText("Oslo");
    Press(&e, Qt::Key_Insert, Qt::ShiftModifier);
    EXPECT_EQ(e.Text(), "Cairo");
    EXPECT_EQ(missing, QStringList{"Oslo"});
}

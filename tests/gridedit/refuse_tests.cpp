// Texts a cell's list or the filter row refuses stay in the editor for correcting.
#include "editfixture.h"

#include "grid/dbgridexfilterrow.h"

#include <gtest/gtest.h>

namespace {

QPoint CenterOf(const TRect& r) { return QPoint((r.Left + r.Right) / 2, (r.Top + r.Bottom) / 2); }

} // namespace

TEST(ListCellRefusal, ALookupTextNotInTheListKeepsTheKeyAndTheEditor)
{
    EditFixture f(3);
    ErrorRecorder errors;
    QStringList asked;
    bool mayAdd = false;
    f.Col("City").OnNotInList = [&](TColumnEx&, const Variant& v, bool& recheck) {
        asked << VarToStr(v);
        if (mayAdd && VarToStr(v) == "Oslo") {
            f.cities->AppendRecord({Variant(5), Variant(QString("Oslo"))});
            recheck = true;
        }
    };
    TDBGridInplaceEdit& e = f.Edit("City");
    e.selectAll();
    QTest::keyClicks(&e, "Zzz");
    ASSERT_EQ(e.Text(), "Zzz");
    asked.clear();
    QTest::keyClick(&e, Qt::Key_Down);
    // Refused with a message, as a number the field cannot take.
    ASSERT_EQ(errors.texts.size(), 1);
    EXPECT_TRUE(errors.texts[0].contains("Zzz"));
    EXPECT_EQ(asked, QStringList{"Zzz"});
    EXPECT_EQ(f.ds->RecNo(), 1);
    EXPECT_EQ(f.ds->State(), dsEdit);
    EXPECT_TRUE(f.grid->EditorVisible());
    EXPECT_EQ(e.Text(), "Zzz");
    EXPECT_EQ(f.ds->FieldByName("CityID")->AsInteger(), 1);
    // Enter and Tab are refused the same way.
    QTest::keyClick(&e, Qt::Key_Return);
    QTest::keyClick(&e, Qt::Key_Tab);
    EXPECT_EQ(errors.texts.size(), 3);
    EXPECT_EQ(f.ds->FieldByName("CityID")->AsInteger(), 1);
    EXPECT_EQ(f.grid->SelectedField(), f.ds->FieldByName("City"));

    // A handler that adds the text to the list lets it through.
    e.selectAll();
    QTest::keyClicks(&e, "Oslo");
    mayAdd = true;
    QTest::keyClick(&e, Qt::Key_Down);
    EXPECT_EQ(errors.texts.size(), 3);
    EXPECT_EQ(f.ds->RecNo(), 2);
    f.ds->First();
    EXPECT_EQ(f.ds->FieldByName("CityID")->AsInteger(), 5);
    EXPECT_EQ(f.ds->FieldByName("City")->AsString(), "Oslo");
}

TEST(ListCellRefusal, ALookupTextTypedWholeOrClearedIsWritten)
{
    EditFixture f(3);
    ErrorRecorder errors;
    TDBGridInplaceEdit& e = f.Edit("City");
    // A name typed in other case names its entry.
    e.selectAll();
    QTest::keyClicks(&e, "CAIRO");
    QTest::keyClick(&e, Qt::Key_Down);
    EXPECT_TRUE(errors.texts.isEmpty());
    EXPECT_EQ(f.ds->RecNo(), 2);
    f.ds->First();
    EXPECT_EQ(f.ds->FieldByName("CityID")->AsInteger(), 4);
    // Delete at the end of the text empties it: the key is cleared.
    f.grid->ShowEditor();
    e.end(false);
    QTest::keyClick(&e, Qt::Key_Delete);
    ASSERT_EQ(e.Text(), "");
    QTest::keyClick(&e, Qt::Key_Down);
    EXPECT_TRUE(errors.texts.isEmpty());
    f.ds->First();
    EXPECT_TRUE(f.ds->FieldByName("CityID")->IsNull());
}

TEST(ListCellRefusal, ALookupTextLeftAfterDeletingIsLookedUpAgain)
{
    EditFixture f(3);
    ErrorRecorder errors;
    // With the handler, Delete takes characters and completion runs again.
    f.Col("City").OnNotInList = [](TColumnEx&, const Variant&, bool&) {};
    TDBGridInplaceEdit& e = f.Edit("City");
    e.selectAll();
    QTest::keyClicks(&e, "Bern");
    ASSERT_EQ(e.EditKey().AsInteger(), 3);
    QTest::keyClick(&e, Qt::Key_Home);
    QTest::keyClick(&e, Qt::Key_Delete);
    ASSERT_EQ(e.Text(), "ern");
    QTest::keyClick(&e, Qt::Key_Down);
    EXPECT_EQ(errors.texts.size(), 1);
    EXPECT_EQ(f.ds->RecNo(), 1);
    EXPECT_EQ(e.Text(), "ern");
    EXPECT_EQ(f.ds->FieldByName("CityID")->AsInteger(), 1);
}

TEST(ListCellRefusal, AKeyListCellRefusesATextNotInItsPickList)
{
    EditFixture f(3);
    ErrorRecorder errors;
    TColumnEx& c = f.Col("Code");
    for (const char* line : {"Один", "Два", "Три"})
        c.PickList().Add(QString::fromUtf8(line));
    for (const char* key : {"K1", "K2", "K3"})
        c.KeyList().Add(QString::fromLatin1(key));
    QStringList asked;
    c.OnNotInList = [&](TColumnEx&, const Variant& v, bool&) { asked << VarToStr(v); };
    TDBGridInplaceEdit& e = f.Edit("Code");
    ASSERT_EQ(e.Text(), QStringLiteral("Один"));
    e.selectAll();
    Type(&e, QStringLiteral("Пять"));
    ASSERT_EQ(e.Text(), QStringLiteral("Пять"));
    asked.clear();
    QTest::keyClick(&e, Qt::Key_Down);
    ASSERT_EQ(errors.texts.size(), 1);
    EXPECT_TRUE(errors.texts[0].contains(QStringLiteral("Пять")));
    EXPECT_EQ(asked, QStringList{QStringLiteral("Пять")});
    EXPECT_EQ(f.ds->RecNo(), 1);
    EXPECT_TRUE(f.grid->EditorVisible());
    EXPECT_EQ(e.Text(), QStringLiteral("Пять"));
    EXPECT_EQ(f.ds->FieldByName("Code")->AsString(), "K1");
    // A line of the list is written as its key.
    e.selectAll();
    Type(&e, QStringLiteral("Три"));
    QTest::keyClick(&e, Qt::Key_Down);
    EXPECT_EQ(errors.texts.size(), 1);
    EXPECT_EQ(f.ds->RecNo(), 2);
    f.ds->First();
    EXPECT_EQ(f.ds->FieldByName("Code")->AsString(), "K3");
}

namespace {

// A filter row over the fixture; the filter of ID refuses text that is not a number.
struct RefusingFilter : EditFixture {
    RefusingFilter() : EditFixture(6) { grid->STFilter().SetVisible(true); }
    TInplaceFilterEditEx& FilterEditor() { return *grid->FilterEditor(); }
    // The filter editor of ID, with a text its parser refuses typed into it.
    TInplaceFilterEditEx& TypeRefused()
    {
        grid->ShowFilterEditor(Col("ID").Index());
        TInplaceFilterEditEx& e = FilterEditor();
        QTest::keyClicks(&e, ">abc");
        return e;
    }
};

} // namespace

TEST(FilterRowRefusal, DownKeepsTheRefusedTextInTheEditor)
{
    RefusingFilter f;
    ErrorRecorder errors;
    TInplaceFilterEditEx& e = f.TypeRefused();
    QTest::keyClick(&e, Qt::Key_Down);
    EXPECT_EQ(errors.texts.size(), 1);
    EXPECT_TRUE(f.grid->FilterEditing());
    EXPECT_TRUE(e.isVisible());
    EXPECT_TRUE(e.hasFocus());
    EXPECT_EQ(e.Text(), ">abc");
    // Corrected, Down leaves the filter row with the text stored.
    e.selectAll();
    QTest::keyClicks(&e, ">2");
    QTest::keyClick(&e, Qt::Key_Down);
    EXPECT_EQ(errors.texts.size(), 1);
    EXPECT_FALSE(f.grid->FilterEditing());
    EXPECT_EQ(f.Col("ID").STFilter().FilterText(), ">2");
}

TEST(FilterRowRefusal, TabRefusedAddsNoTabCharacter)
{
    RefusingFilter f;
    ErrorRecorder errors;
    TInplaceFilterEditEx& e = f.TypeRefused();
    QTest::keyClick(&e, Qt::Key_Tab);
    EXPECT_EQ(errors.texts.size(), 1);
    EXPECT_EQ(e.Text(), ">abc");
    EXPECT_EQ(f.grid->FilterCol(), f.Col("ID").Index());
    QTest::keyClick(&e, Qt::Key_Backtab, Qt::ShiftModifier);
    EXPECT_EQ(e.Text(), ">abc");
}

TEST(FilterRowRefusal, AClickIntoTheDataKeepsTheRefusedTextInTheEditor)
{
    RefusingFilter f;
    ErrorRecorder errors;
    TInplaceFilterEditEx& e = f.TypeRefused();
    ASSERT_TRUE(e.hasFocus());
    const TRect cell = f.grid->CellRect(f.grid->DataColToGridCol(f.Col("Name").Index()), f.grid->TopDataOffset() + 2);
    QTest::mouseClick(f.grid->viewport(), Qt::LeftButton, Qt::NoModifier, CenterOf(cell));
    EXPECT_EQ(errors.texts.size(), 1);
    EXPECT_TRUE(f.grid->FilterEditing());
    EXPECT_TRUE(e.isVisible());
    EXPECT_EQ(e.Text(), ">abc");
    // The click did not act: the record and column stay.
    EXPECT_EQ(f.ds->RecNo(), 1);
    EXPECT_EQ(f.grid->SelectedField(), f.ds->FieldByName("ID"));
    EXPECT_TRUE(QTest::qWaitFor([&] { return e.hasFocus(); }));
    EXPECT_EQ(e.Text(), ">abc");
    // Corrected, the next click goes into the data.
    e.selectAll();
    QTest::keyClicks(&e, "<5");
    QTest::mouseClick(f.grid->viewport(), Qt::LeftButton, Qt::NoModifier, CenterOf(cell));
    EXPECT_EQ(errors.texts.size(), 1);
    EXPECT_FALSE(f.grid->FilterEditing());
    EXPECT_EQ(f.Col("ID").STFilter().FilterText(), "<5");
    EXPECT_EQ(f.ds->RecNo(), 3);
}

// Editing as a user does it: rejected values, Esc, typing letters of any script.
#include "editfixture.h"

#include "platform/application.h"

#include <gtest/gtest.h>

namespace {

void Press(QWidget* w, Qt::Key key, Qt::KeyboardModifiers mods = Qt::NoModifier)
{
    QTest::keyClick(w, key, mods);
}

} // namespace

TEST(EditorRejectedValue, TheRecordIsNotLeftAndTheTextStays)
{
    EditFixture f(5);
    ErrorRecorder errors;
    TDBGridInplaceEdit& e = f.Edit("ID");
    e.selectAll();
    QTest::keyClicks(&e, "1-2");
    ASSERT_EQ(e.Text(), "1-2");
    Press(&e, Qt::Key_Down);
    EXPECT_EQ(errors.texts.size(), 1);
    EXPECT_EQ(f.ds->RecNo(), 1);
    EXPECT_EQ(f.ds->State(), dsEdit);
    EXPECT_TRUE(f.grid->EditorVisible());
    EXPECT_EQ(e.Text(), "1-2");
    EXPECT_EQ(f.ds->FieldByName("ID")->AsInteger(), 1);
    // The next attempt converts again and is refused again.
    Press(&e, Qt::Key_Down);
    EXPECT_EQ(errors.texts.size(), 2);
    EXPECT_EQ(f.ds->RecNo(), 1);
    EXPECT_EQ(e.Text(), "1-2");
    // Enter is refused the same way.
    Press(&e, Qt::Key_Return);
    EXPECT_EQ(errors.texts.size(), 3);
    EXPECT_EQ(f.ds->State(), dsEdit);
    // A good value is written and the grid moves on.
    e.selectAll();
    QTest::keyClicks(&e, "12");
    Press(&e, Qt::Key_Down);
    EXPECT_EQ(errors.texts.size(), 3);
    EXPECT_EQ(f.ds->RecNo(), 2);
    f.ds->First();
    EXPECT_EQ(f.ds->FieldByName("ID")->AsInteger(), 12);
    for (const QString& t : errors.texts)
        EXPECT_FALSE(t.isEmpty());
}

TEST(EditorEsc, FirstEscTakesBackTheEditorSecondCancelsTheRecord)
{
    EditFixture f(5);
    TDBGridInplaceEdit& e = f.Edit("Name");
    e.selectAll();
    QTest::keyClicks(&e, "Changed");
    Press(&e, Qt::Key_Tab);   // writes Name, moves to Amount
    ASSERT_EQ(f.grid->SelectedField(), f.ds->FieldByName("Amount"));
    ASSERT_EQ(f.ds->State(), dsEdit);
    f.grid->ShowEditor();
    e.selectAll();
    QTest::keyClicks(&e, "9");
    Press(&e, Qt::Key_Escape);
    EXPECT_EQ(f.ds->State(), dsEdit);
    EXPECT_EQ(f.ds->FieldByName("Name")->AsString(), "Changed");
    EXPECT_DOUBLE_EQ(f.ds->FieldByName("Amount")->AsFloat(), 1.5);
    EXPECT_FALSE(f.grid->EditorModified());
    // The second Esc reaches the grid and cancels the whole edit.
    QWidget* target = f.grid->EditorVisible() ? static_cast<QWidget*>(&e) : f.grid.get();
    Press(target, Qt::Key_Escape);
    EXPECT_EQ(f.ds->State(), dsBrowse);
    EXPECT_EQ(f.ds->FieldByName("Name")->AsString(), "Name1");

    // The same for an inserted record, with the editor always shown.
    f.grid->SetOptions(f.grid->Options() + TDBGridOptions{dgAlwaysShowEditor});
    f.Select("Name");
    f.grid->setFocus();
    QTest::keyClick(f.grid.get(), Qt::Key_Insert);
    ASSERT_EQ(f.ds->State(), dsInsert);
    ASSERT_TRUE(f.grid->EditorVisible());
    QTest::keyClicks(&e, "New");
    Press(&e, Qt::Key_Tab);
    e.selectAll();
    QTest::keyClicks(&e, "7");
    Press(&e, Qt::Key_Escape);
    EXPECT_EQ(f.ds->State(), dsInsert);
    EXPECT_EQ(f.ds->FieldByName("Name")->AsString(), "New");
    EXPECT_TRUE(f.grid->EditorVisible());
    EXPECT_EQ(e.Text(), "");
    Press(&e, Qt::Key_Escape);
    EXPECT_EQ(f.ds->State(), dsBrowse);
    EXPECT_EQ(f.ds->RecordCount(), 5);

    // A record inserted and typed into, with the typing taken back, counts as unchanged: Down
    // drops it.
    f.ds->SetRecNo(2);
    f.Select("Name");
    f.grid->setFocus();
    QTest::keyClick(f.grid.get(), Qt::Key_Insert);
    ASSERT_EQ(f.ds->State(), dsInsert);
    QTest::keyClicks(&e, "x");
    Press(&e, Qt::Key_Escape);
    EXPECT_EQ(f.ds->State(), dsInsert);
    Press(&e, Qt::Key_Down);
    EXPECT_EQ(f.ds->State(), dsBrowse);
    EXPECT_EQ(f.ds->RecordCount(), 5);
}

namespace {

void SetName(TDataSet& ds, int recNo, const QString& name)
{
    ds.SetRecNo(recNo);
    ds.Edit();
    ds.FieldByName("Name")->SetAsString(name);
    ds.Post();
}

} // namespace

TEST(GridTyping, CyrillicAndPunctuationOpenTheEditorWithTheCharacter)
{
    EditFixture f(5);
    f.Select("Name");
    f.grid->setFocus();
    Type(f.grid.get(), QStringLiteral("ж"));
    ASSERT_TRUE(f.grid->EditorVisible());
    EXPECT_EQ(f.Editor().Text(), QStringLiteral("ж"));
    Type(&f.Editor(), QStringLiteral("ук, №1"));
    EXPECT_EQ(f.Editor().Text(), QStringLiteral("жук, №1"));
    Press(&f.Editor(), Qt::Key_Down);
    EXPECT_EQ(f.ds->RecNo(), 2);
    f.ds->First();
    EXPECT_EQ(f.ds->FieldByName("Name")->AsString(), QStringLiteral("жук, №1"));

    // Punctuation first.
    f.ds->SetRecNo(3);
    f.grid->setFocus();
    Type(f.grid.get(), QStringLiteral(","));
    ASSERT_TRUE(f.grid->EditorVisible());
    EXPECT_EQ(f.Editor().Text(), QStringLiteral(","));
    Press(&f.Editor(), Qt::Key_Escape);
    EXPECT_EQ(f.ds->FieldByName("Name")->AsString(), "Name3");
}

TEST(GridTyping, IncrementalSearchTakesCyrillicAndPunctuation)
{
    EditFixture f(5);
    SetName(*f.ds, 2, QStringLiteral("Борис"));
    SetName(*f.ds, 4, QStringLiteral("Бор, дом"));
    f.ds->First();
    f.Col("Name").SetReadOnly(true);
    f.grid->SetOptionsEx(f.grid->OptionsEx() + TDBGridExOptions{dghIncSearch});
    f.Select("Name");
    f.grid->setFocus();
    Type(f.grid.get(), QStringLiteral("бор"));
    EXPECT_TRUE(f.grid->IncSearchRunning());
    EXPECT_EQ(f.grid->IncSearchText().toUpper(), QStringLiteral("БОР"));
    EXPECT_EQ(f.ds->RecNo(), 2);
    Type(f.grid.get(), QStringLiteral(","));
    EXPECT_EQ(f.ds->RecNo(), 4);
    EXPECT_EQ(f.grid->IncSearchText().toUpper(), QStringLiteral("БОР,"));
    // A character that matches nothing is dropped and the record stays.
    Type(f.grid.get(), QStringLiteral("я"));
    EXPECT_EQ(f.ds->RecNo(), 4);
    EXPECT_EQ(f.grid->IncSearchText().toUpper(), QStringLiteral("БОР,"));
    EXPECT_FALSE(f.grid->EditorVisible());
    EXPECT_EQ(f.ds->State(), dsBrowse);
}

TEST(EditorRejectedValue, TabAndAClickElsewhereKeepTheCellToo)
{
    EditFixture f(5);
    ErrorRecorder errors;
    TDBGridInplaceEdit& e = f.Edit("ID");
    const int idCol = f.grid->Col();
    e.selectAll();
    QTest::keyClicks(&e, "1-2");
    Press(&e, Qt::Key_Tab);
    EXPECT_EQ(errors.texts.size(), 1);
    EXPECT_EQ(f.grid->Col(), idCol);
    EXPECT_TRUE(f.grid->EditorVisible());
    EXPECT_EQ(e.Text(), "1-2");
    // A click on another record.
    const TRect other = f.grid->CellRect(idCol + 1, f.grid->TopDataOffset() + 2);
    QTest::mouseClick(f.grid->viewport(), Qt::LeftButton, Qt::NoModifier,
                      QPoint((other.Left + other.Right) / 2, (other.Top + other.Bottom) / 2));
    EXPECT_EQ(errors.texts.size(), 2);
    EXPECT_EQ(f.ds->RecNo(), 1);
    EXPECT_EQ(f.ds->State(), dsEdit);
    EXPECT_EQ(f.grid->Col(), idCol);
    EXPECT_EQ(e.Text(), "1-2");
}

// Edit masks as the operator meets them: literals that are not saved, and the date and time
// separators of the format settings.
#include "grid/dbctrlsex.h"
#include "grid/dbgridex.h"
#include "grid/dbgridexinplace.h"

#include "platform/application.h"
#include "platform/datasource.h"
#include "platform/datetime.h"
#include "platform/memdataset.h"

#include <QApplication>
#include <QLineEdit>
#include <QTest>
#include <gtest/gtest.h>

namespace {

struct MaskedRecord : ::testing::Test {
    TMemDataSet ds;
    TDataSource source;
    // What reaches the program's error handler (a refused text would otherwise wait on a box).
    QStringList errors;
    ExceptionHandler previous;
    void TearDown() override
    {
        SetExceptionHandler(previous);
        EXPECT_TRUE(errors.isEmpty()) << errors.join('\n').toStdString();
    }
    void SetUp() override
    {
        previous = SetExceptionHandler([this](std::exception_ptr e) { errors << ExceptionText(e); });
        // Dates as "dd.mm.yyyy", times with a point between hours and minutes.
        TFormatSettings fs = RussianFormatSettings();
        fs.TimeSeparator = '.';
        fs.ShortTimeFormat = "hh.nn";
        fs.LongTimeFormat = "hh.nn.ss";
        ds.SetFormatSettings(fs);
        ds.AddField(ftString, "Phone", 20);
        ds.AddField(ftDate, "Day");
        ds.AddField(ftTime, "At");
        ds.Open();
        ds.AppendRecord({Variant(QString("654321")), Variant::Null(), Variant::Null()});
        ds.First();
        source.SetDataSet(&ds);
    }
};

}  // namespace

TEST_F(MaskedRecord, ABoundEditWritesOnlyWhatWasTypedWhenTheMaskKeepsNoLiterals)
{
    ds.FieldByName("Phone")->SetEditMask("000-000;0;_");
    QWidget form;
    auto* edit = new TDBEditEx(&form);
    auto* other = new QLineEdit(&form);
    other->move(0, 40);
    edit->SetDataSource(&source);
    edit->SetDataField("Phone");
    form.show();
    QApplication::setActiveWindow(&form);
    EXPECT_EQ(edit->displayText(), "654-321");

    edit->setFocus();
    edit->home(false);
    QTest::keyClicks(edit, "123456");
    EXPECT_EQ(edit->displayText(), "123-456");
    EXPECT_EQ(edit->Text(), "123456");
    other->setFocus();   // leaving the edit writes the record back
    EXPECT_EQ(ds.FieldByName("Phone")->AsString(), "123456");
    ds.Post();
    EXPECT_EQ(ds.FieldByName("Phone")->AsString(), "123456");

    // A mask that saves its literals writes them.
    edit->SetEditMask("000-000;1;_");
    edit->setFocus();
    edit->home(false);
    QTest::keyClicks(edit, "987654");
    other->setFocus();
    EXPECT_EQ(ds.FieldByName("Phone")->AsString(), "987-654");
}

TEST_F(MaskedRecord, APasswordEditWritesWhatWasTypedNotItsEchoCharacters)
{
    QWidget form;
    auto* edit = new TDBEditEx(&form);
    auto* other = new QLineEdit(&form);
    other->move(0, 40);
    edit->SetPasswordChar(QChar(0x25CF));
    edit->SetDataSource(&source);
    edit->SetDataField("Phone");
    form.show();
    QApplication::setActiveWindow(&form);
    const auto typeAndLeave = [&](const QString& mask, const QString& keys) {
        edit->SetEditMask(mask);
        edit->setFocus();
        edit->selectAll();
        QTest::keyClicks(edit, keys);
        other->setFocus();   // leaving the edit writes the record back
        return ds.FieldByName("Phone")->AsString();
    };
    EXPECT_EQ(typeAndLeave("00-00;0;_", "1234"), "1234");
    EXPECT_EQ(typeAndLeave("00-00;1;_", "5678"), "56-78");
    EXPECT_EQ(typeAndLeave("", "secret"), "secret");
}

TEST_F(MaskedRecord, DateAndTimeMasksUseTheSeparatorsOfTheSettings)
{
    ds.FieldByName("Day")->SetEditMask("!99/99/0000;1;_");
    ds.FieldByName("At")->SetEditMask("!90:00;1;_");
    QWidget form;
    auto* day = new TDBEditEx(&form);
    auto* at = new TDBEditEx(&form);
    at->move(0, 40);
    day->SetDataSource(&source);
    day->SetDataField("Day");
    at->SetDataSource(&source);
    at->SetDataField("At");
    form.show();
    QApplication::setActiveWindow(&form);
    EXPECT_EQ(day->displayText(), "__.__.____");
    EXPECT_EQ(at->displayText(), "__.__");

    day->setFocus();
    day->home(false);
    QTest::keyClicks(day, "01022024");
    at->setFocus();
    at->home(false);
    QTest::keyClicks(at, "1230");
    day->setFocus();
    ds.Post();
    EXPECT_EQ(ds.FieldByName("Day")->AsDateTime(), EncodeDate(2024, 2, 1));
    EXPECT_EQ(ds.FieldByName("At")->AsDateTime(), EncodeTime(12, 30, 0, 0));
}

TEST_F(MaskedRecord, TheGridsCellEditorWritesOnlyWhatWasTypedWhenTheMaskKeepsNoLiterals)
{
    TDBGridEx grid;
    grid.resize(500, 200);
    grid.SetDataSource(&source);
    grid.Columns()[0]->SetEditMask("000-000;0;_");
    grid.show();
    QApplication::setActiveWindow(&grid);
    grid.setFocus();
    grid.SetSelectedIndex(0);
    grid.ShowEditor();
    TDBGridInplaceEdit& editor = *grid.InplaceEditor();
    EXPECT_EQ(editor.displayText(), "654-321");
    editor.home(false);
    QTest::keyClicks(&editor, "123456");
    EXPECT_EQ(editor.displayText(), "123-456");
    QTest::keyClick(&editor, Qt::Key_Return);
    ds.CheckBrowseMode();
    EXPECT_EQ(ds.FieldByName("Phone")->AsString(), "123456");
}

TEST(EditMasks, SlashAndColonBecomeTheSeparatorsOfTheSettings)
{
    TFormatSettings fs = InvariantFormatSettings();
    fs.DateSeparator = '.';
    fs.TimeSeparator = '-';
    EXPECT_EQ(ConvertEditMask("!99/99/0000 90:00;1;_", fs), "00.00.9999 09-99;_");
    // An escaped slash is a slash.
    EXPECT_EQ(ConvertEditMask("00\\/00;1;_", fs), "99\\/99;_");
    // A separator that is a mask character to the line edit is escaped.
    fs.DateSeparator = 'A';
    EXPECT_EQ(ConvertEditMask("00/00", fs), "99\\A99;_");
}

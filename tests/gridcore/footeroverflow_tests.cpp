// A footer total that went beyond range comes back once the record that took it there goes.
#include "gridfixture.h"

#include "grid/dbgridexinplace.h"

#include "platform/application.h"

#include <QTest>
#include <gtest/gtest.h>

namespace {

struct OverflowFooter {
    GridFixture f{3};
    QStringList errors;
    ExceptionHandler previousHandler;
    MessageBoxHook previousBoxes;
    QStringList questions;

    OverflowFooter()
    {
        previousHandler = SetExceptionHandler([this](std::exception_ptr e) { errors << ExceptionText(e); });
        previousBoxes = SetMessageBoxHook([this](const MessageBoxRequest& r) {
            questions << r.text;
            return mbOK;
        });
        f.ds->SetFormatSettings(RussianFormatSettings());
        f.grid->SetFooterRowCount(1);
        f.grid->SumList().SetActive(true);
        Amount().Footer().SetValueType(fvtSum);
        // The third record's amount takes the total beyond what a sum can hold.
        f.ds->SetRecNo(3);
        f.ds->Edit();
        f.ds->FieldByName("Amount")->SetAsFloat(1e300);
        f.ds->Post();
        f.ds->First();
        QApplication::setActiveWindow(f.grid.get());
        f.grid->setFocus();
    }
    ~OverflowFooter()
    {
        SetExceptionHandler(previousHandler);
        SetMessageBoxHook(previousBoxes);
    }
    TColumnEx& Amount() { return *f.grid->Columns().FindColumnByName("Amount"); }
    QString Footer() { return f.grid->GetFooterValueText(0, Amount()); }
    void Press(QWidget* w, Qt::Key key, Qt::KeyboardModifiers mods = Qt::NoModifier) { QTest::keyClick(w, key, mods); }
};

}  // namespace

TEST(FooterOverflow, DeletingTheRecordThatOverflowedShowsTheTotalAgain)
{
    OverflowFooter o;
    ASSERT_EQ(o.Footer(), QStringLiteral("Переполнение"));
    ASSERT_EQ(o.errors.size(), 1);

    o.Press(o.f.grid.get(), Qt::Key_Down);
    o.Press(o.f.grid.get(), Qt::Key_Down);
    ASSERT_EQ(o.f.ds->RecNo(), 3);
    o.Press(o.f.grid.get(), Qt::Key_Delete, Qt::ControlModifier);
    ASSERT_EQ(o.f.ds->RecordCount(), 2);
    EXPECT_EQ(o.Footer(), "4,5");
    EXPECT_EQ(o.errors.size(), 1);
    // The grid stays where the delete left it.
    EXPECT_EQ(o.f.ds->RecNo(), 2);
}

TEST(FooterOverflow, TypingASmallValueOverTheOneThatOverflowedShowsTheTotalAgain)
{
    OverflowFooter o;
    ASSERT_EQ(o.Footer(), QStringLiteral("Переполнение"));
    o.Press(o.f.grid.get(), Qt::Key_Down);
    o.Press(o.f.grid.get(), Qt::Key_Down);
    o.f.grid->SetSelectedIndex(o.Amount().Index());
    o.Press(o.f.grid.get(), Qt::Key_F2);
    TDBGridInplaceEdit& editor = *o.f.grid->InplaceEditor();
    ASSERT_TRUE(editor.isVisible());
    editor.selectAll();
    QTest::keyClicks(&editor, "10");
    o.Press(&editor, Qt::Key_Return);
    o.f.ds->CheckBrowseMode();
    EXPECT_EQ(o.Footer(), "14,5");
    EXPECT_EQ(o.f.ds->RecNo(), 3);

    // Beyond range again: reported once more, for this post.
    o.Press(o.f.grid.get(), Qt::Key_F2);
    editor.selectAll();
    QTest::keyClicks(&editor, "1e300");
    o.Press(&editor, Qt::Key_Return);
    o.f.ds->CheckBrowseMode();
    EXPECT_EQ(o.Footer(), QStringLiteral("Переполнение"));
    EXPECT_EQ(o.errors.size(), 2);
    // Deleting another record leaves it beyond range, without another report.
    o.f.ds->First();
    o.Press(o.f.grid.get(), Qt::Key_Delete, Qt::ControlModifier);
    EXPECT_EQ(o.Footer(), QStringLiteral("Переполнение"));
    EXPECT_EQ(o.errors.size(), 2);
    EXPECT_EQ(o.f.ds->RecordCount(), 2);
}

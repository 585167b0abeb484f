// Editing as a user does it: rejected values, Esc, typing letters of any script.
#include "editfixture.h"

#include "platform/application.h"

#include <gtest/gtest.h>

namespace {

void Press(QWidget* w, Qt::Key key, Qt::KeyboardModifiers mods = Qt::NoModifier)
{
    QTest::keyClick(w, key, mods);
}

// Records the texts of the exceptions that reach the application's handler.
struct ErrorRecorder {
    QStringList texts;
    ExceptionHandler previous;
    ErrorRecorder()
    {
        previous = SetExceptionHandler([this](std::exception_ptr e) { texts << ExceptionText(e); });
    }
    ~ErrorRecorder() { SetExceptionHandler(previous); }
};

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

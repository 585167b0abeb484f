// A bound edit keeps what was typed while a pop-up or another window has the focus for a while.
#include "grid/dbctrlsex.h"

#include "platform/application.h"
#include "platform/memdataset.h"

#include <QApplication>
#include <QClipboard>
#include <QMenu>
#include <QTest>
#include <QTimer>
#include <QWindow>
#include <gtest/gtest.h>

namespace {

struct FocusedEdit : ::testing::Test {
    TMemDataSet ds;
    TDataSource source;
    QWidget form;
    TDBEditEx* edit = nullptr;
    QLineEdit* other = nullptr;

    void SetUp() override
    {
        ds.AddField(ftString, "name", 30);
        ds.AddField(ftInteger, "num");
        ds.Open();
        ds.AppendRecord({Variant(QString("first")), Variant(7)});
        ds.First();
        source.SetDataSet(&ds);
        form.resize(300, 120);
        edit = new TDBEditEx(&form);
        edit->SetDataSource(&source);
        edit->SetDataField("name");
        edit->setGeometry(10, 10, 200, 24);
        other = new QLineEdit(&form);
        other->setGeometry(10, 60, 200, 24);
        form.show();
        QApplication::setActiveWindow(&form);
        ASSERT_TRUE(QTest::qWaitForWindowActive(&form));
        edit->setFocus();
        ASSERT_TRUE(edit->hasFocus());
        edit->end(false);
        QTest::keyClicks(edit, "XY");
        ASSERT_EQ(edit->Text(), "firstXY");
    }

    // Right-clicks the edit; act runs on the menu once it is up.
    void RightClickAndThen(const std::function<void(QMenu&)>& act)
    {
        bool acted = false;
        QTimer::singleShot(0, [&] {
            auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
            ASSERT_NE(menu, nullptr);
            acted = true;
            act(*menu);
        });
        const QPoint p = edit->mapTo(&form, edit->rect().center());
        QTest::mouseClick(form.windowHandle(), Qt::RightButton, Qt::NoModifier, p);
        ASSERT_TRUE(QTest::qWaitFor([&] { return acted && !QApplication::activePopupWidget(); }));
        // The offscreen platform leaves no window active after a pop-up; a window manager gives
        // the activation back to the form.
        if (!QApplication::activeWindow())
            QApplication::setActiveWindow(&form);
    }
};

} // namespace

TEST_F(FocusedEdit, DismissingTheContextMenuKeepsTheTypedText)
{
    RightClickAndThen([](QMenu& menu) { QTest::keyClick(&menu, Qt::Key_Escape); });
    ASSERT_TRUE(QTest::qWaitFor([&] { return edit->hasFocus(); }));
    EXPECT_EQ(edit->Text(), "firstXY");
    EXPECT_TRUE(edit->Modified());
    // Leaving the edit stores what was typed.
    other->setFocus();
    EXPECT_EQ(ds.FieldByName("name")->AsString(), "firstXY");
}

TEST_F(FocusedEdit, CopyFromTheContextMenuKeepsTheTypedText)
{
    edit->setSelection(5, 2);
    RightClickAndThen([](QMenu& menu) {
        QAction* copy = nullptr;
        for (QAction* a : menu.actions())
            if (a->text().section(QLatin1Char('\t'), 0, 0) == QCoreApplication::translate("QLineEdit", "&Copy"))
                copy = a;
        ASSERT_NE(copy, nullptr);
        QTest::mouseClick(&menu, Qt::LeftButton, Qt::NoModifier, menu.actionGeometry(copy).center());
    });
    ASSERT_TRUE(QTest::qWaitFor([&] { return edit->hasFocus(); }));
    EXPECT_EQ(QApplication::clipboard()->text(), "XY");
    EXPECT_EQ(edit->Text(), "firstXY");
    EXPECT_EQ(edit->selectedText(), "XY");
    other->setFocus();
    EXPECT_EQ(ds.FieldByName("name")->AsString(), "firstXY");
}

TEST_F(FocusedEdit, AnotherWindowTakingTheFocusForAWhileKeepsTheTypedText)
{
    // A number the field cannot take yet: nothing may be written on the way out, nor the field
    // shown again on the way back.
    auto* number = new TDBEditEx(&form);
    number->SetDataSource(&source);
    number->SetDataField("num");
    number->setGeometry(10, 90, 100, 24);
    number->show();
    number->setFocus();
    number->end(false);
    QTest::keyClicks(number, "-");
    ASSERT_EQ(number->Text(), "7-");
    QStringList errors;
    const ExceptionHandler previous =
        SetExceptionHandler([&](std::exception_ptr e) { errors << ExceptionText(e); });
    QWidget second;
    second.resize(100, 50);
    second.show();
    QApplication::setActiveWindow(&second);
    ASSERT_TRUE(QTest::qWaitForWindowActive(&second));
    QApplication::setActiveWindow(&form);
    ASSERT_TRUE(QTest::qWaitForWindowActive(&form));
    EXPECT_TRUE(QTest::qWaitFor([&] { return number->hasFocus(); }));
    EXPECT_TRUE(errors.isEmpty());
    EXPECT_EQ(number->Text(), "7-");
    // Corrected, leaving stores it; a real enter shows the field again.
    number->selectAll();
    QTest::keyClicks(number, "12");
    other->setFocus();
    EXPECT_TRUE(errors.isEmpty());
    EXPECT_EQ(ds.FieldByName("num")->AsInteger(), 12);
    SetExceptionHandler(previous);
    ds.FieldByName("num")->SetAsInteger(5);
    number->setFocus(Qt::TabFocusReason);
    EXPECT_EQ(number->Text(), "5");
}

#include "grid/dbctrlsex.h"

#include "platform/application.h"
#include "platform/memdataset.h"
#include "tests/support/error_recorder.h"

#include <QApplication>
#include <QClipboard>
#include <QMenu>
#include <QMimeData>
#include <QTest>
#include <gtest/gtest.h>

namespace {

struct BoundEdit : ::testing::Test {
    TMemDataSet ds;
    TDataSource source;
    // An edit of the field "name" on a shown form, with the focus.
    TDBEditEx* FocusedNameEdit(QWidget& form)
    {
        auto* edit = new TDBEditEx(&form);
        edit->SetDataSource(&source);
        edit->SetDataField("name");
        form.show();
        edit->setFocus();
        return edit;
    }
    void SetUp() override
    {
        ds.AddField(ftString, "name", 30);
        ds.AddField(ftInteger, "num");
        ds.Open();
        ds.AppendRecord({Variant(QString("first")), Variant(1)});
        ds.First();
        source.SetDataSet(&ds);
    }
};

}  // namespace

TEST(DataIndependentEdit, KeepsItsOwnTextAndCommitsOnce)
{
    TDBEditEx edit;
    EXPECT_TRUE(edit.DataIndependent());
    int commits = 0;
    edit.OnUpdateData = [&](TCustomDBEditEx& e, bool&) {
        ++commits;
        e.SetText(e.Text().toUpper());  // writing Text inside the handler does not commit again
    };
    edit.SetFlat(true);
    edit.SetAlwaysShowBorder(true);
    edit.SetMaxLength(75);
    edit.SetText("channel one");
    EXPECT_EQ(commits, 1);
    EXPECT_EQ(edit.Text(), "CHANNEL ONE");
    EXPECT_EQ(edit.DataLink().Value().AsString(), "CHANNEL ONE");
    EXPECT_FALSE(edit.Modified());
    EXPECT_EQ(edit.QLineEdit::maxLength(), 75);
}

TEST(DataIndependentEdit, TypedTextIsWrittenBackWhenLeaving)
{
    QWidget form;
    auto* edit = new TDBEditEx(&form);
    auto* other = new QLineEdit(&form);
    other->move(0, 40);
    form.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
    edit->setFocus();
    QTest::keyClicks(edit, "abc");
    EXPECT_TRUE(edit->Modified());
    EXPECT_TRUE(edit->DataLink().EditingData());
    int updates = 0;
    edit->OnUpdateData = [&](TCustomDBEditEx&, bool&) { ++updates; };
    other->setFocus();
    EXPECT_EQ(updates, 1);
    EXPECT_FALSE(edit->Modified());
    EXPECT_EQ(edit->DataLink().Value().AsString(), "abc");
}

TEST(DataIndependentEdit, ReturnAndLineFeedDoNotReachTheText)
{
    TDBEditEx edit;
    edit.show();
    edit.setFocus();
    QTest::keyClicks(&edit, "a");
    QTest::keyClick(&edit, Qt::Key_Return);
    QTest::keyClicks(&edit, "b");
    EXPECT_EQ(edit.Text(), "ab");
}

TEST_F(BoundEdit, ShowsTheFieldAndTakesItsSizeAsMaxLength)
{
    TDBEditEx edit;
    edit.SetDataSource(&source);
    edit.SetDataField("name");
    EXPECT_FALSE(edit.DataIndependent());
    EXPECT_EQ(edit.Text(), "first");
    EXPECT_EQ(edit.MaxLength(), 30);
    ds.Edit();
    ds.FieldByName("name")->SetAsString("second");
    EXPECT_EQ(edit.Text(), "second");
    ds.Cancel();
    // Unbinding gives the length back.
    edit.SetDataField("");
    EXPECT_EQ(edit.MaxLength(), 0);
}

TEST_F(BoundEdit, TypingEditsTheRecordAndEscRestoresTheField)
{
    TDBEditEx edit;
    edit.SetDataSource(&source);
    edit.SetDataField("name");
    edit.show();
    edit.setFocus();
    edit.end(false);
    QTest::keyClicks(&edit, "XY");
    EXPECT_EQ(ds.State(), dsEdit);
    EXPECT_EQ(edit.Text(), "firstXY");
    QTest::keyClick(&edit, Qt::Key_Escape);
    EXPECT_EQ(edit.Text(), "first");
    EXPECT_FALSE(edit.Modified());

    QTest::keyClicks(&edit, "Z");
    ds.Post();  // the post writes the pending text into the field
    EXPECT_EQ(ds.FieldByName("name")->AsString(), edit.Text());
    EXPECT_TRUE(edit.Text().endsWith("Z"));
}

TEST_F(BoundEdit, RefusedCharactersAreDroppedAndReadOnlyFollowsTheLink)
{
    TDBEditEx edit;
    edit.SetDataSource(&source);
    edit.SetDataField("num");
    edit.show();
    edit.setFocus();
    edit.end(false);
    QTest::keyClicks(&edit, "4x");
    EXPECT_EQ(edit.Text(), "14");
    ds.Cancel();
    ds.SetReadOnly(true);
    edit.DataChanged();
    EXPECT_TRUE(edit.isReadOnly());
}

TEST(EditButtonsOfTheEdit, LaidOutFromTheRightAndWorkedByShortCut)
{
    TDBEditEx edit;
    edit.SetFlat(true);
    edit.resize(120, edit.height());
    EXPECT_EQ(edit.ButtonsWidth(), 0);
    TEditButtonEx* b = edit.EditButtons().Add();
    b->SetStyle(ebsEllipsisEx);
    const int w = DefaultFlatEditButtonWidth();
    EXPECT_EQ(edit.ButtonsWidth(), w + 1);
    ASSERT_EQ(edit.ButtonControls().size(), 2u);
    const QRect g = edit.ButtonControls()[1]->geometry();
    EXPECT_EQ(g.right(), 120 - 2 - 1);
    EXPECT_EQ(g.width(), w);
    EXPECT_EQ(edit.EditRect().right(), 120 - 2 - 1 - (w + 1));
    b->SetWidth(20);
    EXPECT_EQ(edit.ButtonControls()[1]->width(), 20);

    int downs = 0, clicks = 0;
    b->OnDown = [&](QObject*, bool, bool&, bool&) { ++downs; };
    b->OnClick = [&](TEditButtonEx&, bool&) { ++clicks; };
    edit.show();
    edit.setFocus();
    QTest::keyClick(&edit, Qt::Key_Down, Qt::AltModifier);
    EXPECT_EQ(downs, 1);
    EXPECT_EQ(clicks, 1);
    QTest::mouseClick(edit.ButtonControls()[1], Qt::LeftButton);
    EXPECT_EQ(downs, 2);
    EXPECT_EQ(clicks, 2);
    EXPECT_FALSE(edit.grab().isNull());
}

TEST(RecentTexts, TypingDropsTheFilteredListAndEnterTakesTheLine)
{
    TDBEditEx edit;
    edit.MRUList().SetActive(true);
    edit.MRUList().Items().Add("alpha");
    edit.MRUList().Items().Add("beta");
    edit.MRUList().Items().Add("Alpine");
    edit.show();
    edit.activateWindow();
    edit.setFocus();
    ASSERT_TRUE(QTest::qWaitFor([&] { return edit.hasFocus(); }, 5000));
    QTest::keyClicks(&edit, "al");
    ASSERT_TRUE(edit.ListVisible());
    ASSERT_NE(edit.MRUListbox(), nullptr);
    EXPECT_EQ(edit.MRUListbox()->count(), 2);
    EXPECT_EQ(edit.MRUListbox()->RowCount(), 2);
    QTest::keyClick(&edit, Qt::Key_Down);
    QTest::keyClick(&edit, Qt::Key_Return);
    EXPECT_FALSE(edit.ListVisible());
    EXPECT_EQ(edit.Text(), "alpha");

    QTest::keyClick(&edit, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClicks(&edit, "zz");
    EXPECT_FALSE(edit.ListVisible());
}

TEST(RecentTexts, CommittedTextsAreRecorded)
{
    TDBEditEx edit;
    edit.MRUList().SetActive(true);
    edit.SetText("  one ");
    edit.SetText("two");
    ASSERT_EQ(edit.MRUList().Items().Count(), 2);
    EXPECT_EQ(edit.MRUList().Items().Strings(0), "one");
}

TEST(InplaceHolder, MustOfferTheHolderInterface)
{
    TDBEditEx edit;
    QObject notAHolder;
    try {
        edit.SetInplaceEditHolder(&notAHolder);
        FAIL() << "no exception";
    } catch (const Exception& e) {
        EXPECT_EQ(e.Message(), "InplaceEditHolder have to support IInplaceEditHolderEx interface");
    }

    struct Holder : QObject, IInplaceEditHolderEx {
        int downs = 0;
        void InplaceEditKeyDown(int& key, TShiftState) override
        {
            ++downs;
            if (key == 'Q')
                key = 0;
        }
        void InplaceEditKeyPress(QChar&) override {}
        void InplaceEditKeyUp(int&, TShiftState) override {}
        bool InplaceEditCanModify() override { return true; }
        bool InplaceEditWantTabs() override { return false; }
    } holder;
    edit.SetInplaceEditHolder(&holder);
    edit.show();
    edit.setFocus();
    QTest::keyClicks(&edit, "aqb");
    EXPECT_EQ(edit.Text(), "ab");
    EXPECT_EQ(holder.downs, 3);
}

TEST(EditMasks, ClassicMasksBecomeQtMasks)
{
    EXPECT_EQ(ConvertEditMask(""), "");
    TFormatSettings slashes = InvariantFormatSettings();
    slashes.DateSeparator = '/';
    EXPECT_EQ(ConvertEditMask("!99/99/0000;1;_", slashes), "00/00/9999;_");
    EXPECT_EQ(ConvertEditMask("LL-00"), "AA-99;_");
}

namespace {

QAction* MenuAction(QMenu& menu, const char* name)
{
    for (QAction* a : menu.actions())
        if (a->objectName() == QLatin1String(name))
            return a;
    return nullptr;
}

}  // namespace

TEST_F(BoundEdit, ContextMenuPasteCutAndDeleteStartTheEdit)
{
    QWidget form;
    TDBEditEx* edit = FocusedNameEdit(form);
    edit->setSelection(0, 5);
    QApplication::clipboard()->setText("pasted");

    std::unique_ptr<QMenu> menu(edit->CreateEditContextMenu());
    QAction* paste = MenuAction(*menu, "edit-paste");
    ASSERT_NE(paste, nullptr);
    paste->trigger();
    EXPECT_EQ(ds.State(), dsEdit);
    EXPECT_EQ(edit->Text(), "pasted");
    ds.Post();
    EXPECT_EQ(ds.FieldByName("name")->AsString(), "pasted");

    // Cut and delete act on the selection the menu was opened over.
    edit->setSelection(0, 3);
    menu.reset(edit->CreateEditContextMenu());
    MenuAction(*menu, "edit-cut")->trigger();
    EXPECT_EQ(ds.State(), dsEdit);
    EXPECT_EQ(edit->Text(), "ted");
    EXPECT_EQ(QApplication::clipboard()->text(), "pas");
    ds.Post();
    EXPECT_EQ(ds.FieldByName("name")->AsString(), "ted");

    edit->selectAll();
    menu.reset(edit->CreateEditContextMenu());
    MenuAction(*menu, "edit-delete")->trigger();
    EXPECT_EQ(ds.State(), dsEdit);
    ds.Post();
    EXPECT_TRUE(ds.FieldByName("name")->AsString().isEmpty());
}

TEST_F(BoundEdit, DroppedTextStartsTheEdit)
{
    QWidget form;
    TDBEditEx* edit = FocusedNameEdit(form);
    edit->end(false);
    QMimeData data;
    data.setText("+drop");
    const QPoint at(edit->width() - 2, edit->height() / 2);
    QDragEnterEvent enter(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(edit, &enter);
    QDragMoveEvent move(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(edit, &move);
    QDropEvent drop(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(edit, &drop);
    EXPECT_EQ(ds.State(), dsEdit);
    ASSERT_TRUE(edit->Text().contains("+drop"));
    ds.Post();
    EXPECT_EQ(ds.FieldByName("name")->AsString(), edit->Text());
}

TEST_F(BoundEdit, IncompleteMaskIsRefusedOnCommitPostAndLeaving)
{
    QWidget form;
    auto* edit = new TDBEditEx(&form);
    auto* other = new QLineEdit(&form);
    other->move(0, 40);
    edit->SetDataSource(&source);
    edit->SetDataField("name");
    edit->SetEditMask("00-00;1;_");
    form.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
    edit->setFocus();
    edit->home(false);
    QTest::keyClicks(edit, "5");
    ASSERT_EQ(edit->Text(), "5-");

    // Committing while focused.
    EXPECT_THROW(edit->CommitText(), EDBEditError);
    EXPECT_EQ(ds.FieldByName("name")->AsString(), "first");
    // Posting the record.
    try {
        ds.Post();
        ADD_FAILURE() << "the post wrote an incomplete mask";
    } catch (const EDBEditError& e) {
        EXPECT_EQ(e.Message(), QStringLiteral("Неверное значение. Нажмите Esc, чтобы отменить изменения."));
    }
    EXPECT_EQ(ds.State(), dsEdit);
    EXPECT_EQ(ds.FieldByName("name")->AsString(), "first");

    // Leaving: the message is shown, nothing written, and the operator is put back.
    {
        ErrorRecorder shown;
        other->setFocus();
        ASSERT_EQ(shown.texts.size(), 1);
        EXPECT_TRUE(shown.texts[0].startsWith(QStringLiteral("Неверное значение")));
    }
    EXPECT_EQ(ds.FieldByName("name")->AsString(), "first");
    EXPECT_TRUE(QTest::qWaitFor([&] { return edit->hasFocus(); }));
    // With the text to correct, still refused when leaving again.
    EXPECT_EQ(edit->Text(), "5-");
    EXPECT_TRUE(edit->Modified());

    // A complete text goes through.
    edit->home(false);
    QTest::keyClicks(edit, "1234");
    EXPECT_EQ(edit->Text(), "12-34");
    other->setFocus();
    EXPECT_EQ(ds.FieldByName("name")->AsString(), "12-34");
}

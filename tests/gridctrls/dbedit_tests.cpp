#include "grid/dbctrlsex.h"

#include "platform/memdataset.h"

#include <QApplication>
#include <QTest>
#include <gtest/gtest.h>

namespace {

struct BoundEdit : ::testing::Test {
    TMemDataSet ds;
    TDataSource source;
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
    EXPECT_TRUE(edit.grab().save("/tmp/gridctrls_dbedit.png"));
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
    EXPECT_EQ(ConvertEditMask("!99/99/0000;1;_"), "00/00/9999;_");
    EXPECT_EQ(ConvertEditMask("LL-00"), "AA-99;_");
}

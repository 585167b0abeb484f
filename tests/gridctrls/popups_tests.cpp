#include "grid/toolctrlsex.h"

#include "platform/datetime.h"

#include <QApplication>
#include <QScrollBar>
#include <QTableView>
#include <QTest>
#include <QToolButton>
#include <gtest/gtest.h>

namespace {

struct RecordingHost : IDropDownHostEx {
    std::vector<bool> closes;
    void CloseUp(bool accept) override { closes.push_back(accept); }
};

void Wheel(QWidget* w, int delta)
{
    QWheelEvent e(QPointF(5, 5), QPointF(5, 5), QPoint(), QPoint(0, delta), Qt::NoButton, Qt::NoModifier,
                  Qt::NoScrollPhase, false);
    QApplication::sendEvent(w, &e);
}

}  // namespace

TEST(MRUList, AddTrimsMovesAndIgnoresCase)
{
    TMRUListEx mru;
    mru.Add("x");
    mru.Add(" abc ");
    mru.Add("y");
    mru.Add("ABC");
    mru.Add("   ");
    ASSERT_EQ(mru.Items().Count(), 3);
    EXPECT_EQ(mru.Items().Strings(2), "abc");
    EXPECT_EQ(mru.Items().Strings(0), "x");

    mru.SetCaseSensitive(true);
    mru.Add("ABC");
    EXPECT_EQ(mru.Items().Count(), 4);
}

TEST(MRUList, LimitDropsTheOldest)
{
    TMRUListEx mru;
    for (int i = 0; i < 101; ++i)
        mru.Add(QString("t%1").arg(i));
    EXPECT_EQ(mru.Items().Count(), 100);
    EXPECT_EQ(mru.Items().Strings(0), "t1");
    mru.SetLimit(10);
    EXPECT_EQ(mru.Items().Count(), 10);
    EXPECT_EQ(mru.Items().Strings(0), "t91");

    int activeChanges = 0;
    mru.OnActiveChange = [&](TMRUListEx&) { ++activeChanges; };
    mru.SetActive(true);
    mru.SetActive(true);
    EXPECT_EQ(activeChanges, 1);
    TMRUListEx copy;
    copy.Assign(mru);
    EXPECT_TRUE(copy.Active());
    EXPECT_EQ(copy.Limit(), 10);
    EXPECT_EQ(copy.Items().Count(), 10);
}

TEST(PopupListbox, IncrementalSearchRestartsAfterTwoSeconds)
{
    TPopupListboxEx list;
    qint64 now = 10000;
    list.Clock = [&] { return now; };
    list.addItems({"apple", "abacus", "abc", "banana", "cherry", "cab"});
    QTest::keyClicks(&list, "a");
    EXPECT_EQ(list.currentRow(), 0);
    now += 500;
    QTest::keyClicks(&list, "b");
    EXPECT_EQ(list.currentRow(), 1);
    EXPECT_EQ(list.SearchText(), "ab");
    now += 3000;
    QTest::keyClicks(&list, "c");
    EXPECT_EQ(list.SearchText(), "c");
    EXPECT_EQ(list.currentRow(), 4);
    QTest::keyClick(&list, Qt::Key_Backspace);
    EXPECT_EQ(list.SearchText(), "");
}

TEST(PopupListbox, HeightSnapsToWholeRows)
{
    TPopupListboxEx list;
    list.SetItemHeight(16);
    list.addItems({"1", "2", "3", "4", "5", "6"});
    list.resize(100, 100);
    list.show();
    list.SetRowCount(4);
    EXPECT_EQ(list.height(), 4 * 16 + 2 * list.BorderWidth());
    list.resize(100, int(3.5 * 16) + 2 * list.BorderWidth());
    EXPECT_EQ(list.RowCount(), 3);
    EXPECT_EQ(list.height(), 3 * 16 + 2 * list.BorderWidth());
    list.SetRowCount(0);
    EXPECT_EQ(list.RowCount(), 1);
}

TEST(PopupListbox, WheelMovesTheSelectionAndReleaseClosesUp)
{
    TPopupListboxEx list;
    RecordingHost host;
    list.SetHost(&host);
    list.addItems({"a", "b", "c"});
    list.setCurrentRow(0);
    Wheel(list.viewport(), -120);
    EXPECT_EQ(list.currentRow(), 1);
    Wheel(list.viewport(), 120);
    Wheel(list.viewport(), 120);
    EXPECT_EQ(list.currentRow(), 0);
    list.resize(100, 60);
    list.show();
    QTest::mouseClick(list.viewport(), Qt::LeftButton, {}, QPoint(10, 5));
    ASSERT_EQ(host.closes.size(), 1u);
    EXPECT_TRUE(host.closes[0]);
}

TEST(MRUListbox, ScrollBarOnlyWithMoreItemsThanRows)
{
    TMRUListboxEx list;
    list.SetItemHeight(15);
    list.resize(120, 50);
    list.addItems({"1", "2", "3"});
    list.SetRowCount(3);
    list.UpdateScrollBar();
    EXPECT_TRUE(list.ScrollBar()->isHidden());
    EXPECT_TRUE(list.SizeGrip()->Triangular());
    list.addItems({"4", "5", "6", "7"});
    list.UpdateScrollBar();
    EXPECT_FALSE(list.ScrollBar()->isHidden());
    EXPECT_EQ(list.ScrollBar()->maximum(), 4);
    EXPECT_EQ(list.ScrollBar()->pageStep(), 3);
    EXPECT_FALSE(list.SizeGrip()->Triangular());
    list.show();
    EXPECT_FALSE(list.grab().isNull());
}

TEST(SizeGrip, MovesToTheMirroredCorner)
{
    QWidget parent;
    parent.resize(100, 80);
    TSizeGripEx grip(&parent);
    grip.UpdatePosition();
    EXPECT_EQ(grip.geometry().bottomRight(), QPoint(99, 79));
    grip.ChangePosition(true, false);
    EXPECT_EQ(grip.Position(), sgpTopRight);
    EXPECT_EQ(grip.geometry().topRight(), QPoint(99, 0));
    grip.ChangePosition(false, true);
    EXPECT_EQ(grip.Position(), sgpTopLeft);
    EXPECT_EQ(grip.pos(), QPoint(0, 0));
}

TEST(PopupCalendar, EnterAcceptsEscCancelsWheelStepsDays)
{
    TPopupMonthCalendarEx cal;
    RecordingHost host;
    cal.SetHost(&host);
    cal.SetDate(EncodeDate(2024, 2, 28));
    Wheel(&cal, -120);
    EXPECT_EQ(cal.Date(), EncodeDate(2024, 2, 29));
    Wheel(&cal, 120);
    Wheel(&cal, 120);
    EXPECT_EQ(cal.Date(), EncodeDate(2024, 2, 27));
    QTest::keyClick(&cal, Qt::Key_Return);
    QTest::keyClick(&cal, Qt::Key_Escape);
    ASSERT_EQ(host.closes.size(), 2u);
    EXPECT_TRUE(host.closes[0]);
    EXPECT_FALSE(host.closes[1]);
    const QSize s = cal.PreferredSize();
    EXPECT_EQ(s.width(), cal.minimumSizeHint().width() + 4);
    cal.resize(s);
    cal.show();
    EXPECT_FALSE(cal.grab().isNull());
}

TEST(PopupCalendar, ClicksAcceptExceptOnDayNamesAndScrollButtons)
{
    TPopupMonthCalendarEx cal;
    RecordingHost host;
    cal.SetHost(&host);
    cal.SetDate(EncodeDate(2024, 2, 14));
    cal.setVerticalHeaderFormat(QCalendarWidget::ISOWeekNumbers);
    cal.resize(cal.PreferredSize() + QSize(40, 40));
    cal.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&cal));
    auto* view = cal.findChild<QTableView*>();
    ASSERT_NE(view, nullptr);
    auto cellCentre = [&](int row, int col) { return view->visualRect(view->model()->index(row, col)).center(); };

    // Day names and the title's scroll buttons do not close.
    QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, cellCentre(0, 3));
    auto* next = cal.findChild<QToolButton*>("qt_calendar_nextmonth");
    ASSERT_NE(next, nullptr);
    QTest::mouseClick(next, Qt::LeftButton);
    EXPECT_EQ(cal.monthShown(), 3);
    EXPECT_TRUE(host.closes.empty());
    EXPECT_EQ(cal.HitTest(cellCentre(0, 3)), TPopupMonthCalendarEx::chDayNames);

    // A week number takes the date.
    EXPECT_EQ(cal.HitTest(cellCentre(2, 0)), TPopupMonthCalendarEx::chWeekNumber);
    QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, cellCentre(2, 0));
    ASSERT_EQ(host.closes.size(), 1u);
    EXPECT_TRUE(host.closes[0]);

    // So does the month name, without opening its menu of months.
    auto* month = cal.findChild<QToolButton*>("qt_calendar_monthbutton");
    ASSERT_NE(month, nullptr);
    QTest::mouseClick(month, Qt::LeftButton);
    EXPECT_EQ(QApplication::activePopupWidget(), nullptr);
    ASSERT_EQ(host.closes.size(), 2u);
    EXPECT_TRUE(host.closes[1]);

    // And a date.
    QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, cellCentre(3, 3));
    ASSERT_EQ(host.closes.size(), 3u);
    EXPECT_TRUE(host.closes[2]);
    EXPECT_EQ(cal.HitTest(QPoint(-5, -5)), TPopupMonthCalendarEx::chBackground);
}

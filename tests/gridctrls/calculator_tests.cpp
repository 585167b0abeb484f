#include "grid/calculatorex.h"

#include "platform/canvas.h"
#include "platform/text.h"

#include <QApplication>
#include <QClipboard>
#include <QTest>
#include <limits>
#include <gtest/gtest.h>

namespace {

void Keys(TCalculatorEx& calc, const QString& keys)
{
    for (QChar k : keys)
        calc.CalcKey(k);
}

struct RecordingHost : IDropDownHostEx {
    std::vector<bool> closes;
    void CloseUp(bool accept) override { closes.push_back(accept); }
};

class CalculatorTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        saved_ = FormatSettings();
        FormatSettings() = RussianFormatSettings();
    }
    void TearDown() override { FormatSettings() = saved_; }
    TFormatSettings saved_;
};

}  // namespace

TEST_F(CalculatorTest, AddsAndOkButtonFollowsThePendingOperation)
{
    TCalculatorEx calc;
    EXPECT_EQ(calc.DisplayText(), "0");
    Keys(calc, "7+5");
    EXPECT_EQ(calc.OkButton()->Caption(), "=");
    calc.CalcKey('=');
    EXPECT_EQ(calc.DisplayText(), "12");
    EXPECT_EQ(calc.OkButton()->Caption(), "Ok");
    EXPECT_EQ(calc.Value().AsDouble(), 12.0);
}

TEST_F(CalculatorTest, PercentAgainstThePendingOperator)
{
    TCalculatorEx calc;
    Keys(calc, "200+10%");
    EXPECT_EQ(calc.DisplayText(), "220");
    calc.CalcKey('C');
    Keys(calc, "200*10%");
    EXPECT_EQ(calc.DisplayText(), "20");
    calc.CalcKey('C');
    Keys(calc, "50-10%");
    EXPECT_EQ(calc.DisplayText(), "45");
}

TEST_F(CalculatorTest, ErrorsAndOnlyClearLeavesThem)
{
    TCalculatorEx calc;
    Keys(calc, "5/0=");
    EXPECT_EQ(calc.DisplayText(), "Error");
    EXPECT_TRUE(calc.Value().IsNull());
    Keys(calc, "12+");
    calc.CalcKey(QChar(27));
    EXPECT_EQ(calc.DisplayText(), "Error");
    calc.CalcKey('c');
    EXPECT_EQ(calc.DisplayText(), "0");
    EXPECT_EQ(calc.State(), TCalculatorEx::csCleared);

    Keys(calc, "4I");
    EXPECT_EQ(calc.DisplayText(), "-4");
    calc.CalcKey('S');
    EXPECT_EQ(calc.DisplayText(), "Error");
    calc.CalcKey('C');
    calc.CalcKey('R');
    EXPECT_EQ(calc.DisplayText(), "Error");
    calc.CalcKey('C');
    Keys(calc, "4R");
    EXPECT_EQ(calc.DisplayText(), "0,25");
    Keys(calc, "C9S");
    EXPECT_EQ(calc.DisplayText(), "3");
}

TEST_F(CalculatorTest, EntryLimitsBackspaceAndDecimalSeparator)
{
    TCalculatorEx calc;
    Keys(calc, "123456789012345");
    EXPECT_EQ(calc.DisplayText().size(), 15);
    calc.CalcKey('6');
    EXPECT_EQ(calc.DisplayText(), "123456789012345");
    calc.CalcKey(QChar(8));
    EXPECT_EQ(calc.DisplayText(), "12345678901234");

    calc.CalcKey('C');
    Keys(calc, "5I");
    EXPECT_EQ(calc.DisplayText(), "-5");
    // Negating keeps entry going, so Backspace edits "-5" and leaves "0".
    calc.CalcKey(QChar(8));
    EXPECT_EQ(calc.DisplayText(), "0");

    calc.CalcKey('C');
    Keys(calc, "1.5.");
    EXPECT_EQ(calc.DisplayText(), "1,5");
    Keys(calc, ",2*2=");
    EXPECT_EQ(calc.DisplayText(), "3,04");
}

TEST_F(CalculatorTest, ClipboardCopyAndPaste)
{
    TCalculatorEx calc;
    Keys(calc, "42");
    calc.CalcKey(QChar(3));
    EXPECT_EQ(QApplication::clipboard()->text(), "42");
    QApplication::clipboard()->setText("  2,5 ");
    calc.CalcKey(QChar(22));
    EXPECT_EQ(calc.DisplayText(), "2,5");
    QApplication::clipboard()->setText("not a number");
    calc.CalcKey(QChar(22));
    EXPECT_EQ(calc.DisplayText(), "2,5");
}

TEST_F(CalculatorTest, ButtonsSendTheirKeys)
{
    TCalculatorEx calc;
    calc.show();
    // The layout is scaled by the font's text height against the layout's 13 pixels.
    TCanvas measure;
    measure.Font().SetHeight(-11);
    const int th = measure.TextHeight("0");
    auto s = [&](int v) { return th == 13 ? v : MulDiv(v, th, 13); };
    EXPECT_EQ(calc.size(), QSize(s(184), s(127)));
    EXPECT_EQ(TCalculatorEx::KeyOfTag(0), QChar(0));
    EXPECT_EQ(TCalculatorEx::KeyOfTag(18), QChar(8));
    EXPECT_EQ(TCalculatorEx::KeyOfTag(23), QChar('='));
    for (int tag : {1, 22, 13, 23})
        QTest::mouseClick(calc.ButtonByTag(tag), Qt::LeftButton);
    EXPECT_EQ(calc.DisplayText(), "8");
    EXPECT_EQ(calc.ButtonByTag(5)->Caption(), "sqrt");
    EXPECT_EQ(calc.ButtonByTag(6)->geometry(), QRect(s(151), s(29), s(27), s(46)));
    EXPECT_EQ(calc.ButtonByTag(4)->Font().Color(), clRed);

    QTest::keyClicks(&calc, "3*3");
    QTest::keyClick(&calc, Qt::Key_Return);
    EXPECT_EQ(calc.DisplayText(), "9");
    EXPECT_FALSE(calc.grab().isNull());
}

TEST_F(CalculatorTest, SetValueClearsAndShows)
{
    TCalculatorEx calc;
    Keys(calc, "3+");
    calc.SetValue(Variant(1.5));
    EXPECT_EQ(calc.DisplayText(), "1,5");
    EXPECT_EQ(calc.PendingOperator(), QChar('='));
    EXPECT_EQ(calc.Accumulator(), 0.0);
}

TEST_F(CalculatorTest, PopupAcceptsOrComputesFirstAndEscCloses)
{
    TPopupCalculatorEx popup;
    RecordingHost host;
    popup.SetHost(&host);
    EXPECT_EQ(popup.size().width() - 4, TCalculatorEx().size().width());
    Keys(popup, "7+5");
    popup.CalcKey(QChar(13));
    EXPECT_TRUE(host.closes.empty());
    EXPECT_EQ(popup.DisplayText(), "12");
    popup.CalcKey(QChar(13));
    ASSERT_EQ(host.closes.size(), 1u);
    EXPECT_TRUE(host.closes[0]);
    EXPECT_EQ(popup.Value().AsDouble(), 12.0);

    popup.CalcKey(QChar(27));
    ASSERT_EQ(host.closes.size(), 2u);
    EXPECT_FALSE(host.closes[1]);

    popup.show();
    QTest::mouseClick(popup.OkButton(), Qt::LeftButton);
    EXPECT_EQ(host.closes.size(), 3u);
    EXPECT_FALSE(popup.grab().isNull());
}

TEST_F(CalculatorTest, PopupWheelStepsTheNumber)
{
    TPopupCalculatorEx popup;
    popup.SetValue(Variant(5));
    QWheelEvent up(QPointF(10, 10), QPointF(10, 10), QPoint(), QPoint(0, 120), Qt::NoButton, Qt::NoModifier,
                   Qt::NoScrollPhase, false);
    QApplication::sendEvent(&popup, &up);
    EXPECT_EQ(popup.DisplayText(), "6");
    QWheelEvent down(QPointF(10, 10), QPointF(10, 10), QPoint(), QPoint(0, -120), Qt::NoButton, Qt::NoModifier,
                     Qt::NoScrollPhase, false);
    QApplication::sendEvent(&popup, &down);
    QApplication::sendEvent(&popup, &down);
    EXPECT_EQ(popup.DisplayText(), "4");
}

TEST_F(CalculatorTest, AnOverflowingResultIsAnError)
{
    TCalculatorEx calc;
    calc.SetValue(Variant(1e300));
    Keys(calc, "*1000000000=");
    EXPECT_EQ(calc.DisplayText(), "Error");
    EXPECT_EQ(calc.State(), TCalculatorEx::csError);
    EXPECT_TRUE(calc.Value().IsNull());
    Keys(calc, "5+");
    EXPECT_EQ(calc.DisplayText(), "Error");
    calc.CalcKey('C');
    EXPECT_EQ(calc.DisplayText(), "0");

    // 1/x of the smallest number and a pasted number beyond range go the same way.
    calc.SetValue(Variant(1e-320));
    calc.CalcKey('R');
    EXPECT_EQ(calc.DisplayText(), "Error");
    calc.CalcKey('C');
    calc.SetValue(Variant(-1e308));
    Keys(calc, "-");
    calc.SetValue(Variant(std::numeric_limits<double>::infinity()));
    EXPECT_EQ(calc.DisplayText(), "Error");
}

#include "app/widgets.h"

#include "app/fselect.h"
#include "app/fselect_ui.h"
#include "platform/application.h"
#include "platform/datetime.h"
#include "platform/text.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDateTimeEdit>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QImage>
#include <QLocale>
#include <QMessageBox>
#include <QPainter>
#include <QRegularExpression>
#include <QTimer>
#include <functional>
#include <gtest/gtest.h>

TEST(RadioGroup, ItemIndexFollowsTheCheckedButton)
{
    TRadioGroup g;
    g.resize(372, 80);
    g.SetItems({"a", "b", "c"}, 2);
    EXPECT_EQ(g.ItemIndex(), -1);
    g.SetItemIndex(2);
    EXPECT_EQ(g.ItemIndex(), 2);
    g.SetItemIndex(9);
    EXPECT_EQ(g.ItemIndex(), 2);
    g.SetItemIndex(-1);
    EXPECT_EQ(g.ItemIndex(), -1);
}

TEST(StatusBar, LastPanelReachesTheRightEdgeAndOwnerDrawIsCalled)
{
    TStatusBar bar;
    bar.resize(547, 19);
    bar.SetPanels({{" A", 50, false}, {"", 100, true}, {"", 250, false}, {"x", 50, false}});
    EXPECT_EQ(bar.PanelRect(1), QRect(50, 0, 100, 19));
    EXPECT_EQ(bar.PanelRect(3), QRect(400, 0, 147, 19));
    int calls = 0;
    QRect seen;
    bar.OnDrawPanel = [&](QPainter&, int index, const QRect& r) {
        ++calls;
        EXPECT_EQ(index, 1);
        seen = r;
    };
    QImage img(bar.size(), QImage::Format_RGB32);
    bar.render(&img);
    EXPECT_EQ(calls, 1);
    EXPECT_EQ(seen, QRect(50, 0, 100, 19));
    bar.SetPanelText(2, "busy");
    EXPECT_EQ(bar.PanelText(2), "busy");
    EXPECT_EQ(bar.PanelText(7), QString());
}

namespace {

// Texts of the buttons of the first modal box that comes up while `run` runs; the box is closed
// with its escape button.
QStringList ButtonsOfModalBox(const std::function<void()>& run)
{
    QStringList texts;
    QTimer poll;
    poll.setInterval(5);
    QObject::connect(&poll, &QTimer::timeout, [&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (!box)
            return;
        poll.stop();
        for (QAbstractButton* b : box->buttons())
            texts << b->text().remove(QLatin1Char('&'));
        box->reject();
    });
    poll.start();
    run();
    return texts;
}

}  // namespace

TEST(Interface, MessageBoxesAndStandardDialogsSpeakRussian)
{
    ASSERT_TRUE(InstallInterfaceTranslations());
    // The program's own message box, as the operator gets it.
    const QStringList yesNo = ButtonsOfModalBox(
        [] { MessageBox(QStringLiteral(" Дравик Ltd"), QStringLiteral("?"), MsgIcon::Question, mbYesNo, mbNo); });
    EXPECT_TRUE(yesNo.contains(QStringLiteral("Да"))) << yesNo.join(QLatin1Char('|')).toStdString();
    EXPECT_TRUE(yesNo.contains(QStringLiteral("Нет"))) << yesNo.join(QLatin1Char('|')).toStdString();
    const QStringList okCancel = ButtonsOfModalBox(
        [] { MessageBox(QStringLiteral(" Дравик Ltd"), QStringLiteral("!"), MsgIcon::Error, mbOKCancel, mbOK); });
    EXPECT_TRUE(okCancel.contains(QStringLiteral("Отмена"))) << okCancel.join(QLatin1Char('|')).toStdString();
    EXPECT_TRUE(okCancel.contains(QStringLiteral("ОК"))) << okCancel.join(QLatin1Char('|')).toStdString();
    for (const QString& t : okCancel)
        EXPECT_FALSE(t.contains(QRegularExpression(QStringLiteral("[A-Za-z]")))) << t.toStdString();

    // The file dialog the report is saved with.
    QFileDialog save;
    save.setOption(QFileDialog::DontUseNativeDialog);
    save.setAcceptMode(QFileDialog::AcceptSave);
    auto* box = save.findChild<QDialogButtonBox*>();
    ASSERT_NE(box, nullptr);
    QStringList texts;
    for (QAbstractButton* b : box->buttons())
        texts << b->text().remove(QLatin1Char('&'));
    EXPECT_TRUE(texts.contains(QStringLiteral("Отмена"))) << texts.join(QLatin1Char('|')).toStdString();
    EXPECT_TRUE(texts.contains(QStringLiteral("Сохранить"))) << texts.join(QLatin1Char('|')).toStdString();
    // Calendars name their months in Russian.
    EXPECT_EQ(QLocale().standaloneMonthName(5), QStringLiteral("май"));
}

TEST(DateRangeDialog, PickersShowTheShortDateOfTheFormatSettings)
{
    EXPECT_EQ(QtDatePattern(QStringLiteral("dd.mm.yyyy"), QLatin1Char('.')), QStringLiteral("dd.MM.yyyy"));
    EXPECT_EQ(QtDatePattern(QStringLiteral("d/m/yy"), QLatin1Char('-')), QStringLiteral("d-M-yy"));
    EXPECT_EQ(QtDatePattern(QStringLiteral("yyyy 'г.' mm"), QLatin1Char('.')), QStringLiteral("yyyy 'г.' MM"));

    const TFormatSettings saved = FormatSettings();
    FormatSettings().ShortDateFormat = QStringLiteral("yyyy/mm/dd");
    FormatSettings().DateSeparator = QLatin1Char('-');
    TfrmSelect dialog(nullptr);
    dialog.SetDateStart(EncodeDate(2007, 5, 10));
    FormatSettings() = saved;
    EXPECT_EQ(dialog.Form().edtDateStart->displayFormat(), QStringLiteral("yyyy-MM-dd"));
    EXPECT_EQ(dialog.Form().edtDateEnd->displayFormat(), QStringLiteral("yyyy-MM-dd"));
    EXPECT_EQ(dialog.Form().edtDateStart->text(), QStringLiteral("2007-05-10"));

    TfrmSelect russian(nullptr);
    russian.SetDateStart(EncodeDate(2007, 5, 10));
    EXPECT_EQ(russian.Form().edtDateStart->text(), FormatDateTime(FormatSettings().ShortDateFormat, EncodeDate(2007, 5, 10)));
}

// The main window over a simulated bus: scan, parameters, information, account and log.
#include "app/fmain.h"
#include "app/fspalsh.h"
#include "app/tables.h"
#include "grid/dbctrlsex.h"
#include "platform/comports.h"
#include "platform/query.h"
#include "serial/comport.h"
#include "tests/app/app_fixture.h"
#include "tests/support/e2e_fixture.h"
#include "app/fmain_ui.h"

#include <QCheckBox>
#include <QDir>
#include <QHeaderView>
#include <QImage>
#include <QKeyEvent>
#include <QProcess>

#include <algorithm>
#include <set>

#include <csignal>
#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

using namespace std::chrono_literals;

namespace {

using sim::MakeFrame;

class MainWindowTest : public e2e::AppTest {
protected:

    // Factory numbers of the identify requests the bus received, in order.
    std::vector<int> IdentifyNumbers()
    {
        std::vector<int> numbers;
        for (const QByteArray& r : bus().Requests()) {
            auto f = sim::ParseFrame(r);
            if (f && f->command == 0 && f->data.isEmpty())
                numbers.push_back(f->number);
        }
        return numbers;
    }

    bool HasBox(const QString& text)
    {
        for (const auto& b : boxes.Boxes())
            if (b.text == text)
                return true;
        return false;
    }

    int BoxCount(const QString& text)
    {
        int n = 0;
        for (const auto& b : boxes.Boxes())
            n += b.text == text;
        return n;
    }

    // The window with its request timer stopped, so the test makes the ticks.
    std::unique_ptr<TfrmMain> ManualWindow()
    {
        auto w = std::make_unique<TfrmMain>();
        w->GlobalTimer.stop();
        return w;
    }

    void Select(TfrmMain& w, int number)
    {
        w.Form().edtNum->setText(QString::number(number));
        w.Button1Click();
        ASSERT_EQ(SelectedNumber, number);
    }

    void StartScan(TfrmMain& w, int from, int to, int speedIndex, bool autoSpeed)
    {
        w.Form().edtScanStartNum->setValue(from);
        w.Form().edtScanEndNum->setValue(to);
        w.Form().grpSpeed->SetItemIndex(speedIndex);
        w.Form().chkAutoSpeed->setChecked(autoSpeed);
        w.btnStartScanClick();
    }

    // Device 300 with a log of `records` records, all after its account begin.
    void AddLoggedDevice(int records)
    {
        sim::DeviceState dev = sim::DeviceState::Factory(300, 2);
        dev.accountBegin = QDateTime(QDate(2006, 1, 1), QTime(0, 0));
        dev.log = sim::GenerateLog(records, QDateTime(QDate(2007, 6, 1), QTime(12, 0)));
        bus().AddDevice(dev);
    }

    static std::array<uint8_t, sim::kLogRecordSize> Rec(const QDateTime& when)
    {
        sim::LogRecord r;
        r.when = when;
        r.voltage = 380;
        return r.Encode();
    }

    // Requests the bus received with this command.
    int RequestsWith(int command)
    {
        int n = 0;
        for (const QByteArray& r : bus().Requests())
            n += sim::ParseFrame(r)->command == command;
        return n;
    }

    static const QString kDone;
    static const QString kParamsDone;
    static const QString kNoReply;
};

const QString MainWindowTest::kDone = QStringLiteral("Протокол считан. Добавлено записей :  %1 !");
const QString MainWindowTest::kParamsDone = QStringLiteral("Параметры считаны (записаны) !");
const QString MainWindowTest::kNoReply = QStringLiteral("Устройство не отвечает !");

QDateTime At(int y, int mo, int d, int h, int mi, int s, int ms = 0)
{
    return QDateTime(QDate(y, mo, d), QTime(h, mi, s, ms));
}

}  // namespace

TEST_F(MainWindowTest, StartUpOpensTheFirstPortAndCreatesTheTables)
{
    TfrmMain w;
    ASSERT_EQ(w.Form().cmbPorts->count(), 1);
    EXPECT_EQ(w.Form().cmbPorts->itemText(0), QStringLiteral("COM1"));
    EXPECT_TRUE(w.ComPort().Active());
    EXPECT_EQ(w.FrontPage(), w.Form().pnlScan);
    EXPECT_EQ(SelectedNumber, -1);
    EXPECT_EQ(w.State(), stIdle);
    EXPECT_TRUE(QFile::exists(harness().DatabasePath()));
    EXPECT_EQ(w.Form().cmbNewSpeed->currentIndex(), 2);
    EXPECT_EQ(w.Form().grpSpeed->ItemIndex(), 2);
    EXPECT_EQ(w.size(), QSize(547, 313));
    EXPECT_EQ(boxes.Count(), 0u);
}

TEST_F(MainWindowTest, DatabaseThatCannotBeOpenedIsReportedAndStartUpGoesOn)
{
    ASSERT_TRUE(QDir().mkpath(harness().DatabasePath()));  // a folder where the file should be
    TfrmMain w;
    ASSERT_EQ(boxes.Count(), 1u);
    EXPECT_EQ(boxes.Last()->icon, MsgIcon::Error);
    EXPECT_TRUE(w.ComPort().Active());
    EXPECT_EQ(w.Form().cmbPorts->count(), 1);
}

TEST_F(MainWindowTest, PortNamesAndNumbers)
{
    EXPECT_EQ(TfrmMain::PortName(3), QStringLiteral("COM3"));
    EXPECT_EQ(TfrmMain::PortName(12), QStringLiteral("\\\\.\\COM12"));
    EXPECT_EQ(TfrmMain::PortNumber(QStringLiteral("\\\\.\\COM256")), 256);
    EXPECT_EQ(TfrmMain::PortNumber(QStringLiteral("COM1")), 1);
    EXPECT_EQ(TfrmMain::PortNumber(QStringLiteral("none")), 0);
}

TEST_F(MainWindowTest, ProgressBarFillsItsShareOfThePanel)
{
    const QRect panel(50, 0, 100, 19);
    EXPECT_EQ(TfrmMain::ProgressRect(panel, 0).width(), 0);
    EXPECT_EQ(TfrmMain::ProgressRect(panel, 100), QRect(52, 2, 96, 15));
    EXPECT_EQ(TfrmMain::ProgressRect(panel, 50).width(), 48);
    EXPECT_GT(TfrmMain::ProgressRect(panel, 150).right(), panel.right());
}

TEST_F(MainWindowTest, ScanWithoutDevicesTriesEachNumberThreeTimes)
{
    auto w = ManualWindow();
    StartScan(*w, 1, 3, 2, false);
    ASSERT_EQ(w->State(), stScan);
    const int expected[9][3] = {{1, 1, 0},  {1, 2, 0},  {1, 3, 0},   {2, 1, 50},  {2, 2, 50},
                                {2, 3, 50}, {3, 1, 100}, {3, 2, 100}, {3, 3, 100}};
    for (const auto& e : expected) {
        w->GlobalTimerTimer();
        EXPECT_EQ(w->ScanNumber(), e[0]);
        EXPECT_EQ(w->Tries(), e[1]);
        EXPECT_EQ(w->Progress(), e[2]);
        EXPECT_EQ(w->StatusText(),
                  QStringLiteral(" Сканирование (9600 бод/с) :   № %1 (%2)").arg(e[0]).arg(e[1]));
        EXPECT_EQ(w->Form().btnStartScan->text(), QStringLiteral("Стоп"));
    }
    w->GlobalTimerTimer();
    EXPECT_EQ(w->State(), stIdle);
    EXPECT_EQ(w->Progress(), 0);
    EXPECT_EQ(w->StatusText(), QString());
    ASSERT_TRUE(WaitFor([&] { return bus().RequestCount() >= 9; }));
    EXPECT_EQ(IdentifyNumbers(), (std::vector<int>{1, 1, 1, 2, 2, 2, 3, 3, 3}));
    EXPECT_EQ(bus().Requests().front(), MakeFrame(1, 1, 0, {}));
    EXPECT_EQ(w->FoundCount(), 0);
}

TEST_F(MainWindowTest, AnsweringDeviceMovesTheScanOnAtOnce)
{
    bus().AddDevice(sim::DeviceState::Factory(1, 2));
    auto w = ManualWindow();
    StartScan(*w, 1, 3, 2, false);
    w->GlobalTimerTimer();
    ASSERT_TRUE(WaitFor([&] { return w->ScanNumber() == 2; }));
    EXPECT_EQ(w->Tries(), 1);
    ASSERT_EQ(w->FoundCount(), 1);
    // The list announced the new device: it is selected and named, before any click.
    EXPECT_EQ(SelectedNumber, 1);
    EXPECT_EQ(w->Form().lblNum->text(), QStringLiteral("ВЕМОР  № 1"));
    auto* item = w->Form().lstScanVemor->topLevelItem(0);
    EXPECT_EQ(item->text(0), QStringLiteral("1"));
    EXPECT_EQ(item->text(1), QStringLiteral("9600"));
    const int expected[5][2] = {{2, 2}, {2, 3}, {3, 1}, {3, 2}, {3, 3}};
    for (const auto& e : expected) {
        w->GlobalTimerTimer();
        EXPECT_EQ(w->ScanNumber(), e[0]);
        EXPECT_EQ(w->Tries(), e[1]);
    }
    w->GlobalTimerTimer();
    EXPECT_EQ(w->State(), stIdle);
    ASSERT_TRUE(WaitFor([&] { return bus().RequestCount() >= 6; }));
    EXPECT_EQ(IdentifyNumbers(), (std::vector<int>{1, 2, 2, 3, 3, 3}));
    // The found device's speed is kept.
    EXPECT_EQ(Scalar(QStringLiteral("select fspeed from vemors where fid=1")), 2);

    // Picking it in the list selects it.
    w->Form().lstScanVemor->setCurrentItem(item);
    EXPECT_EQ(SelectedNumber, 1);
    EXPECT_EQ(w->Form().lblNum->text(), QStringLiteral("ВЕМОР  № 1"));
    w->GlobalTimerTimer();
    EXPECT_TRUE(w->Form().btnParams->isEnabled());
}

TEST_F(MainWindowTest, AutomaticSpeedMakesOnePassPerRemainingSpeed)
{
    auto w = ManualWindow();
    StartScan(*w, 1, 2, 7, true);
    ASSERT_TRUE(WaitFor([&] { return bus().LineSpeed() == 57600; }));
    for (int i = 0; i < 6; ++i)
        w->GlobalTimerTimer();
    // The pass's last request leaves the line before the port is reopened at the next speed.
    ASSERT_TRUE(WaitFor([&] { return bus().RequestCount() >= 6; }));
    w->GlobalTimerTimer();
    EXPECT_EQ(w->State(), stScan);
    EXPECT_EQ(w->Form().grpSpeed->ItemIndex(), 8);
    ASSERT_TRUE(WaitFor([&] { return bus().LineSpeed() == 115200; }));
    for (int i = 0; i < 6; ++i)
        w->GlobalTimerTimer();
    EXPECT_EQ(w->StatusText(), QStringLiteral(" Сканирование (115200 бод/с) :   № 2 (3)"));
    w->GlobalTimerTimer();
    EXPECT_EQ(w->State(), stIdle);
    EXPECT_EQ(w->Form().grpSpeed->ItemIndex(), 8);
    ASSERT_TRUE(WaitFor([&] { return bus().RequestCount() >= 12; }));
    EXPECT_EQ(IdentifyNumbers(), (std::vector<int>{1, 1, 1, 2, 2, 2, 1, 1, 1, 2, 2, 2}));
}

TEST_F(MainWindowTest, EmptyRangeIsRefusedWithoutTraffic)
{
    auto w = ManualWindow();
    StartScan(*w, 5, 5, 2, false);
    ASSERT_EQ(boxes.Count(), 1u);
    EXPECT_EQ(boxes.Last()->text, QStringLiteral("Конечный заводской номер меньше или равен начального !"));
    EXPECT_EQ(boxes.Last()->caption, QStringLiteral("  Дравик Ltd"));
    EXPECT_EQ(boxes.Last()->icon, MsgIcon::Error);
    EXPECT_EQ(w->State(), stIdle);
    for (int i = 0; i < 3; ++i)
        w->GlobalTimerTimer();
    EXPECT_EQ(w->Form().btnStartScan->text(), QStringLiteral("Сканировать"));
    // A known request as a fence: it must be the first thing on the line.
    SelectedNumber = 5;
    w->SetState(stReadParams);
    w->GlobalTimerTimer();
    ASSERT_TRUE(WaitFor([&] { return bus().RequestCount() >= 1; }));
    EXPECT_EQ(bus().Requests().front(), sim::FromHex("AA 01 00 05 02 00 00 B2"));
}

TEST_F(MainWindowTest, DeviceOnlyAtAHigherSpeedIsFoundByAutomaticSpeed)
{
    bus().AddDevice(sim::DeviceState::Factory(1, 4));
    TfrmMain w;
    StartScan(w, 1, 2, 2, true);
    ASSERT_TRUE(WaitFor([&] { return w.State() == stIdle; }, 60s));
    ASSERT_EQ(w.FoundCount(), 1);
    EXPECT_EQ(w.Form().lstScanVemor->topLevelItem(0)->text(0), QStringLiteral("1"));
    EXPECT_EQ(w.Form().lstScanVemor->topLevelItem(0)->text(1), QStringLiteral("19200"));
    EXPECT_EQ(boxes.Count(), 0u);
}

TEST_F(MainWindowTest, IdentifyWithAnUnknownSpeedCodeStopsTheScan)
{
    auto w = ManualWindow();
    StartScan(*w, 1, 3, 2, false);
    w->GlobalTimerTimer();
    w->AppendReceived(MakeFrame(1, 1, 0, QByteArray(1, '\x09')));
    w->DataTimerTimer();
    EXPECT_EQ(w->State(), stIdle);
    EXPECT_EQ(w->FoundCount(), 0);
    ASSERT_TRUE(WaitFor([&] { return boxes.Count() == 1; }));
    EXPECT_EQ(boxes.Last()->text, QStringLiteral("Ошибка ! Неверные данные :\nзав.№ = 1, скорость (код) = 9"));
    EXPECT_EQ(boxes.Last()->caption, QStringLiteral(" Дравик Ltd"));
}

TEST_F(MainWindowTest, ManualDeviceChoiceAcceptsOneToAThousand)
{
    TfrmMain w;
    for (const char* bad : {"0", "1001"}) {
        boxes.Clear();
        w.Form().edtNum->setText(QString::fromLatin1(bad));
        w.Button1Click();
        ASSERT_EQ(boxes.Count(), 1u) << bad;
        EXPECT_EQ(boxes.Last()->text, QStringLiteral("Неверный зав. № !"));
        EXPECT_EQ(boxes.Last()->icon, MsgIcon::Information);
        EXPECT_EQ(SelectedNumber, -1);
    }
    // Text that is no number is refused in Russian.
    w.Form().edtNum->setText(QStringLiteral("12a"));
    try {
        w.Button1Click();
        ADD_FAILURE() << "no error for 12a";
    } catch (const Exception& e) {
        EXPECT_EQ(e.Message(), QStringLiteral("'12a' - неверное целое число !"));
    }
    EXPECT_EQ(SelectedNumber, -1);
    StoreVemorSpeed(w.QryEdit(), 1000, 5);
    w.Form().edtNum->setText(QStringLiteral("1000"));
    w.Button1Click();
    EXPECT_EQ(SelectedNumber, 1000);
    EXPECT_EQ(w.Form().lblNum->text(), QStringLiteral("ВЕМОР  № 1000"));
    EXPECT_EQ(w.Form().cmbNewSpeed->currentIndex(), 5);
    EXPECT_EQ(w.Form().grpSpeed->ItemIndex(), 5);
}

TEST_F(MainWindowTest, SpeedChangeTellsTheDeviceAndIsKeptOnItsAcknowledgement)
{
    bus().AddDevice(sim::DeviceState::Factory(300, 2));
    auto w = ManualWindow();
    w->DataTimer.stop();
    StoreVemorSpeed(w->QryEdit(), 300, 2);
    Select(*w, 300);
    w->Form().cmbNewSpeed->setCurrentIndex(4);
    w->btnChangeClick();
    w->GlobalTimerTimer();
    ASSERT_TRUE(WaitFor([&] { return bus().Device(300).speedCode == 4; }));
    EXPECT_EQ(bus().Requests().back(), MakeFrame(1, 300, 0, QByteArray(1, '\x04')));
    // Sent but not yet acknowledged: nothing is stored or forgotten.
    EXPECT_EQ(SelectedNumber, 300);
    EXPECT_EQ(w->Form().grpSpeed->ItemIndex(), 2);
    EXPECT_EQ(Scalar(QStringLiteral("select fspeed from vemors where fid=300")), 2);
    // The device's answer is an identify reply: the speed is kept, and the device is listed
    // alone at its new speed and chosen.
    ASSERT_TRUE(WaitFor([&] { return w->RxBuffer().Data().size() >= 9; }));
    w->DataTimerTimer();
    EXPECT_EQ(Scalar(QStringLiteral("select fspeed from vemors where fid=300")), 4);
    EXPECT_EQ(w->Form().grpSpeed->ItemIndex(), 4);
    EXPECT_EQ(SelectedNumber, 300);
    ASSERT_EQ(w->FoundCount(), 1);
    EXPECT_EQ(w->Form().lstScanVemor->topLevelItem(0)->text(1), QStringLiteral("19200"));
    EXPECT_EQ(boxes.Count(), 0u);
}

TEST_F(MainWindowTest, EachContactTypeBelongsToOneContact)
{
    TfrmMain w;
    auto& f = w.Form();
    f.cmbKO1Type->setCurrentIndex(1);
    f.cmbKO3Type->setCurrentIndex(1);
    w.cmbKOTypeChange(3);
    EXPECT_EQ(f.cmbKO1Type->currentIndex(), 0);
    EXPECT_EQ(f.cmbKO3Type->currentIndex(), 1);
    f.cmbKO2Type->setCurrentIndex(0);
    f.cmbKO4Type->setCurrentIndex(0);
    w.cmbKOTypeChange(2);
    EXPECT_EQ(f.cmbKO3Type->currentIndex(), 1);
    EXPECT_EQ(f.cmbKO4Type->currentIndex(), 0);
}

TEST_F(MainWindowTest, EditsRefuseWhatDoesNotFitTheirField)
{
    bus().AddDevice(sim::DeviceState::Factory(5, 2));
    TfrmMain w;
    auto& f = w.Form();
    int pos = 0;
    QString t = QStringLiteral("256");
    EXPECT_EQ(f.edtTp->validator()->validate(t, pos), QValidator::Invalid);
    t = QStringLiteral("255");
    EXPECT_EQ(f.edtTp->validator()->validate(t, pos), QValidator::Acceptable);
    t = QStringLiteral("65536");
    EXPECT_EQ(f.edtUn->validator()->validate(t, pos), QValidator::Invalid);
    t = QStringLiteral("-1");
    EXPECT_EQ(f.edtUn->validator()->validate(t, pos), QValidator::Invalid);
    t = QStringLiteral("1a");
    EXPECT_EQ(f.edtUk->validator()->validate(t, pos), QValidator::Invalid);
    t = QStringLiteral("1,234");
    EXPECT_EQ(f.edtKoef->validator()->validate(t, pos), QValidator::Acceptable);
    t = QStringLiteral("1,2,");
    EXPECT_EQ(f.edtKoef->validator()->validate(t, pos), QValidator::Invalid);
    t = QStringLiteral("66");
    EXPECT_EQ(f.edtKoef->validator()->validate(t, pos), QValidator::Invalid);

    // A value set behind the edit's back is refused when the frame is built, not cut.
    Select(w, 5);
    w.btnSulmParamsReadClick();
    ASSERT_TRUE(WaitFor([&] { return HasBox(kParamsDone); }));
    bus().ClearHistory();
    f.edtUn->setText(QStringLiteral("70000"));
    try {
        w.SendCommand(3);
        ADD_FAILURE() << "70000 was sent";
    } catch (const Exception& e) {
        EXPECT_EQ(e.Message(), QStringLiteral("Значение '70000' вне пределов 0..65535 !"));
    }
    EXPECT_EQ(bus().RequestCount(), 0u);
}

TEST_F(MainWindowTest, ReadChainFillsThePageFromTheDevice)
{
    sim::DeviceState dev = sim::DeviceState::Factory(300, 2);
    dev.info = sim::InfoBytes(QStringLiteral("Насосная 1"));
    dev.version = sim::VersionBytes(QStringLiteral("v2.3"));
    sim::Params p = dev.ParamsDecoded();
    p.normalVoltage = 400;
    p.coefficient = 1001;
    p.clock = At(2007, 3, 5, 8, 4, 9);
    dev.params = p.Encode();
    dev.SetClock(At(2007, 3, 5, 8, 4, 9));
    bus().AddDevice(dev);
    bus().SetFaults(300, sim::Faults{.splitPieces = 3, .junkBefore = QByteArray("\x12\x34", 2)});
    TfrmMain w;
    Select(w, 300);
    w.btnParamsClick();
    EXPECT_EQ(w.FrontPage(), w.Form().pnlParams);
    w.btnSulmParamsReadClick();
    ASSERT_TRUE(WaitFor([&] { return HasBox(kParamsDone); }));
    EXPECT_EQ(boxes.Count(), 1u);
    EXPECT_EQ(boxes.Last()->icon, MsgIcon::Information);
    EXPECT_EQ(w.Form().edtUn->text(), QStringLiteral("400"));
    EXPECT_EQ(w.Form().edtKoef->text(), QStringLiteral("1,001"));
    EXPECT_EQ(w.Form().edtInformation->text(), QStringLiteral("Насосная 1").leftJustified(32, ' '));
    EXPECT_EQ(w.Form().lblTip->text(), QStringLiteral("Версия ПО ВЕМОР :  ") + QStringLiteral("v2.3").leftJustified(16, ' '));
    EXPECT_EQ(Scalar(QStringLiteral("select fureg from vemors where fid=300")), 400);
    EXPECT_EQ(Scalar(QStringLiteral("select ffiltrko from vemors_i where fid=300")), 50);
    EXPECT_EQ(Scalar(QStringLiteral("select fdelay1 from vemors_i where fid=300")), 100);
    EXPECT_EQ(w.State(), stIdle);
}

TEST_F(MainWindowTest, WriteChainStoresOnTheDeviceAndShowsWhatWasReadBack)
{
    bus().AddDevice(sim::DeviceState::Factory(300, 2));
    TfrmMain w;
    Select(w, 300);
    w.btnSulmParamsReadClick();
    ASSERT_TRUE(WaitFor([&] { return HasBox(kParamsDone); }));
    auto& f = w.Form();
    f.edtUn->setText(QStringLiteral("410"));
    f.edtUk->setText(QStringLiteral("300"));
    f.edtKoef->setText(QStringLiteral("1,5"));
    f.edtTb->setText(QStringLiteral("255"));
    f.cmbKO1Type->setCurrentIndex(2);
    f.cmbKO2Type->setCurrentIndex(0);
    f.chkInvertEngine->setChecked(true);
    f.edtDelayKO2->setValue(1000);
    f.edtInformation->setText(QStringLiteral("Котельная"));
    w.btnWriteParamsClick();
    ASSERT_TRUE(WaitFor([&] { return BoxCount(kParamsDone) == 2; }));
    const sim::DeviceState dev = bus().Device(300);
    EXPECT_EQ(dev.paramWrites, 1);
    EXPECT_EQ(dev.infoWrites, 1);
    const sim::Params p = dev.ParamsDecoded();
    EXPECT_EQ(p.normalVoltage, 410);
    EXPECT_EQ(p.criticalVoltage, 300);
    EXPECT_EQ(p.coefficient, 1500);
    EXPECT_EQ(p.selfStartBlock, 255);
    EXPECT_EQ(p.contactDelay[1], 50);
    EXPECT_EQ(p.inUseBits & 0x03, 0x01);
    EXPECT_TRUE(p.invertBits & 0x10);
    EXPECT_EQ(dev.info, sim::InfoBytes(QStringLiteral("Котельная")));
    // The page ends showing what the device reports.
    EXPECT_EQ(f.edtUn->text(), QStringLiteral("410"));
    EXPECT_EQ(f.edtKoef->text(), QStringLiteral("1,500"));
    EXPECT_EQ(f.edtInformation->text(), QStringLiteral("Котельная").leftJustified(32, ' '));
    EXPECT_EQ(f.cmbKO1Type->currentIndex(), 2);
    EXPECT_EQ(Scalar(QStringLiteral("select fbtn1 from vemors where fid=300")), 2);
    EXPECT_EQ(boxes.Count(), 2u);
}

TEST_F(MainWindowTest, ParametersReplyWithoutItsBlockIsDropped)
{
    bus().AddDevice(sim::DeviceState::Factory(300, 2));
    bus().SetFaults(300, sim::Faults{.shortData = 0, .command = 2});
    auto w = ManualWindow();
    w->DataTimer.stop();
    Select(*w, 300);
    w->btnSulmParamsReadClick();
    w->GlobalTimerTimer();
    ASSERT_TRUE(WaitFor([&] { return w->RxBuffer().Data().size() >= 8; }));
    w->DataTimerTimer();
    EXPECT_TRUE(w->RxBuffer().IsEmpty());
    EXPECT_EQ(w->State(), stIdle);  // no information request follows
    EXPECT_EQ(Scalar(QStringLiteral("select count(*) from vemors_i where fid=300 and fupko is not null")), 0);
}

TEST_F(MainWindowTest, DatabaseErrorInAReplyIsReportedOnce)
{
    bus().AddDevice(sim::DeviceState::Factory(300, 2));
    TfrmMain w;
    Select(w, 300);
    Exec(QStringLiteral("drop table vemors_i"));
    w.btnSulmParamsReadClick();
    ASSERT_TRUE(WaitFor([&] { return boxes.Count() >= 1; }));
    // A later reply is handled, so the failed frame is gone and was reported once.
    w.SendCommand(1);
    ASSERT_TRUE(WaitFor([&] { return w.Form().txtU->text().startsWith(QStringLiteral("U : 380")); }));
    EXPECT_EQ(boxes.Count(), 1u);
    EXPECT_EQ(w.State(), stIdle);
}

TEST_F(MainWindowTest, LiveViewOnAClosedPortIsReportedOnceAndEnds)
{
    auto w = ManualWindow();
    w->ComPort().Close();
    w->btnStartViewClick();
    ASSERT_EQ(w->State(), stLiveView);
    w->GlobalTimerTimer();
    EXPECT_EQ(w->State(), stIdle);
    w->GlobalTimerTimer();
    w->GlobalTimerTimer();
    EXPECT_EQ(w->Form().btnStartView->text(), QStringLiteral("СТАРТ"));
    ASSERT_TRUE(WaitFor([&] { return boxes.Count() >= 1; }));
    w->GlobalTimerTimer();
    EXPECT_EQ(boxes.Count(), 1u);
    // Said in the operator's words, not the port component's.
    EXPECT_EQ(boxes.Last()->text, QStringLiteral("Нет открытого порта ! Выберите порт в списке."));
}

TEST_F(MainWindowTest, LogDownloadWithTheAccountFilterStopsAtTheBegin)
{
    sim::DeviceState dev = sim::DeviceState::Factory(300, 2);
    dev.accountBegin = At(2007, 5, 10, 12, 0, 0);
    dev.externalStarts = 70000 % 65536;
    dev.selfStarts = 3;
    dev.log = {Rec(At(2007, 5, 9, 10, 0, 0)), Rec(At(2007, 5, 10, 11, 59, 59)), Rec(At(2007, 5, 10, 12, 30, 0, 460)),
               Rec(At(2007, 5, 11, 10, 0, 0))};
    bus().AddDevice(dev);
    TfrmMain w;
    Select(w, 300);
    w.btnProtokolClick();
    EXPECT_EQ(w.FrontPage(), w.Form().pnlProtokol);
    w.btnReadProtokolClick();
    ASSERT_TRUE(WaitFor([&] { return boxes.Count() >= 1; }));
    EXPECT_EQ(boxes.Last()->text, kDone.arg(2));
    EXPECT_EQ(Scalar(QStringLiteral("select count(*) from vprotokol where fid=300")), 2);
    EXPECT_EQ(Scalar(QStringLiteral("select count(*) from vprotokol where fid=300 and fdate='2007-05-10' "
                                    "and ftime='12:30:00' and fmilsec=460")), 1);
    EXPECT_EQ(Scalar(QStringLiteral("select fon from vemors where fid=300")), 70000 % 65536);
    EXPECT_EQ(Scalar(QStringLiteral("select fselfon from vemors where fid=300")), 3);

    // A second download adds nothing.
    w.btnReadProtokolClick();
    ASSERT_TRUE(WaitFor([&] { return boxes.Count() >= 2; }));
    EXPECT_EQ(boxes.Last()->text, kDone.arg(0));
    EXPECT_EQ(Scalar(QStringLiteral("select count(*) from vprotokol")), 2);

    // With every record wanted the rest comes too, once.
    w.Form().chkReadAllRecordsVemorProtokol->setChecked(true);
    w.btnReadProtokolClick();
    ASSERT_TRUE(WaitFor([&] { return boxes.Count() >= 3; }));
    EXPECT_EQ(boxes.Last()->text, kDone.arg(2));
    EXPECT_EQ(Scalar(QStringLiteral("select count(*) from vprotokol where fid=300")), 4);
}

TEST_F(MainWindowTest, LogDownloadRunsThroughSeveralBlocks)
{
    AddLoggedDevice(60);
    TfrmMain w;
    Select(w, 300);
    w.btnProtokolClick();
    w.btnReadProtokolClick();
    ASSERT_TRUE(WaitFor([&] { return boxes.Count() >= 1; }));
    EXPECT_EQ(boxes.Last()->text, kDone.arg(60));
    EXPECT_EQ(Scalar(QStringLiteral("select count(*) from vprotokol where fid=300")), 60);
    EXPECT_EQ(w.QryProtokol().RecordCount(), 60);
    int blocks = 0;
    for (const QByteArray& r : bus().Requests())
        blocks += sim::ParseFrame(r)->command == 6;
    EXPECT_EQ(blocks, 3);
}

TEST_F(MainWindowTest, LostLogBlockLeavesWhatWasStored)
{
    AddLoggedDevice(60);
    auto w = ManualWindow();
    w->DataTimer.stop();
    Select(*w, 300);
    w->btnProtokolClick();
    w->btnReadProtokolClick();
    w->GlobalTimerTimer();  // account request
    ASSERT_TRUE(WaitFor([&] { return w->RxBuffer().Data().size() >= 19; }));  // account reply
    w->DataTimerTimer();
    ASSERT_EQ(w->State(), stReadLog);
    w->GlobalTimerTimer();  // first block
    ASSERT_TRUE(WaitFor([&] { return w->RxBuffer().Data().size() >= 262; }));  // 23 records
    bus().SetFaults(300, sim::Faults{.silent = true});
    w->DataTimerTimer();  // stores the block and asks for the next one, which never comes
    ASSERT_TRUE(WaitFor([&] { return bus().RequestCount() == 3; }));
    EXPECT_EQ(bus().Requests().back(), MakeFrame(1, 300, 6, QByteArray(1, '\x01')));
    EXPECT_EQ(w->State(), stIdle);
    EXPECT_EQ(Scalar(QStringLiteral("select count(*) from vprotokol where fid=300")), 23);
    EXPECT_EQ(w->LogCount(), 23);
    EXPECT_EQ(boxes.Count(), 0u);
}

TEST_F(MainWindowTest, ClearingAsksFirstThenEmptiesTheLogAndReadsItAgain)
{
    AddLoggedDevice(5);
    TfrmMain w;
    Select(w, 300);
    w.btnProtokolClick();
    w.btnReadProtokolClick();
    ASSERT_TRUE(WaitFor([&] { return boxes.Count() >= 1; }));
    boxes.AnswerWith(mbNo);
    w.Button2Click();
    EXPECT_EQ(boxes.Last()->defaultButton, mbNo);
    EXPECT_EQ(w.State(), stIdle);
    EXPECT_EQ(Scalar(QStringLiteral("select count(*) from vprotokol")), 5);
    boxes.AnswerWith(mbYes);
    w.Button2Click();
    EXPECT_EQ(w.State(), stClearAccount);
    EXPECT_EQ(w.CountBefore(), 0);
    EXPECT_EQ(w.QryProtokol().RecordCount(), 0);
    // The device clears its account and log; the chain reads both again.
    ASSERT_TRUE(WaitFor([&] { return boxes.Count() >= 4; }));
    EXPECT_EQ(bus().Device(300).accountClears, 1);
}

TEST_F(MainWindowTest, ScanPageWithTwoFoundDevicesLooksRight)
{
    bus().AddDevice(sim::DeviceState::Factory(1, 2));
    bus().AddDevice(sim::DeviceState::Factory(3, 2));
    TfrmMain w;
    w.show();
    StartScan(w, 1, 3, 2, false);
    ASSERT_TRUE(WaitFor([&] { return w.State() == stIdle && w.FoundCount() >= 2; }, 20s));
    EXPECT_EQ(w.FoundCount(), 2);
    EXPECT_EQ(w.Form().lstScanVemor->findItems(QStringLiteral("1"), Qt::MatchExactly).size(), 1);
    EXPECT_EQ(w.Form().lstScanVemor->findItems(QStringLiteral("3"), Qt::MatchExactly).size(), 1);
    w.Form().lstScanVemor->setCurrentItem(w.Form().lstScanVemor->topLevelItem(1));
    w.GlobalTimerTimer();
    const QImage shot = w.grab().toImage();
    ASSERT_FALSE(shot.isNull());
    EXPECT_EQ(shot.size(), QSize(547, 313));
    shot.save(harness().Folder() + QStringLiteral("vemor_scan_page.png"));
    EXPECT_EQ(w.Form().lblNum->text(), QStringLiteral("ВЕМОР  № 3"));
    EXPECT_TRUE(w.Form().lblNum->isVisible());
    // The found list is not blank where its rows are drawn.
    const QRect list = w.Form().lstScanVemor->geometry().translated(w.Form().pnlScan->pos());
    const QColor bg = shot.pixelColor(list.right() - 4, list.bottom() - 4);
    bool rowInk = false;
    for (int y = list.top() + 22; y < list.top() + 60 && !rowInk; ++y)
        for (int x = list.left() + 4; x < list.left() + 40; ++x)
            if (shot.pixelColor(x, y) != bg) {
                rowInk = true;
                break;
            }
    EXPECT_TRUE(rowInk);

    // The other pages, for a look.
    w.btnParamsClick();
    EXPECT_EQ(w.FrontPage(), w.Form().pnlParams);
    EXPECT_FALSE(w.Form().pnlScan->isVisible());
    w.grab().save(harness().Folder() + QStringLiteral("vemor_params_page.png"));
    w.btnProtokolClick();
    w.grab().save(harness().Folder() + QStringLiteral("vemor_log_page.png"));
}

TEST_F(MainWindowTest, FailedReopenDuringAnAutomaticSpeedStepEndsTheScan)
{
    auto w = ManualWindow();
    StartScan(*w, 1, 2, 7, true);
    ASSERT_EQ(w->State(), stScan);
    qputenv("COMPORT_MAP", "1=/nonexistent/vemor-tty");
    for (int i = 0; i < 7; ++i)
        w->GlobalTimerTimer();
    EXPECT_EQ(w->State(), stIdle);
    ASSERT_TRUE(WaitFor([&] { return boxes.Count() >= 1; }));
    // The heading, then why.
    const QStringList lines = boxes.Last()->text.split(QLatin1Char('\n'));
    ASSERT_EQ(lines.size(), 2) << boxes.Last()->text.toStdString();
    EXPECT_EQ(lines[0], QStringLiteral("Ошибка открытия порта !"));
    EXPECT_FALSE(lines[1].trimmed().isEmpty());
    EXPECT_EQ(boxes.Last()->caption, QStringLiteral("  Дравик Ltd"));
    for (int i = 0; i < 3; ++i)
        w->GlobalTimerTimer();
    EXPECT_EQ(w->Form().grpSpeed->ItemIndex(), 8);
    EXPECT_EQ(boxes.Count(), 1u);
}

TEST_F(MainWindowTest, SplashClosesAfterTheWindowShows)
{
    frmSplash = new TfrmSplash;
    frmSplash->show();
    EXPECT_EQ(frmSplash->size(), QSize(225, 124));
    frmSplash->grab().save(harness().Folder() + QStringLiteral("vemor_splash.png"));
    TfrmMain w;
    w.show();
    EXPECT_TRUE(w.Timer1.isActive());
    EXPECT_EQ(w.Timer1.interval(), 2000);
    w.Timer1Timer();
    EXPECT_FALSE(w.Timer1.isActive());
    EXPECT_EQ(frmSplash, nullptr);
    // Closing is always allowed and only stops the exchange.
    w.SetState(stScan);
    bool canClose = false;
    w.FormCloseQuery(canClose);
    EXPECT_TRUE(canClose);
    EXPECT_EQ(w.State(), stIdle);
}

TEST_F(MainWindowTest, EndSignalsCloseThePortAsClosingTheWindowDoes)
{
    // The program runs from the test's folder, so its database and lock files stay there.
    const QString exe = harness().Folder() + QStringLiteral("vemor");
    ASSERT_TRUE(::link(VEMOR_EXE, QFile::encodeName(exe).constData()) == 0 ||
                QFile::copy(QStringLiteral(VEMOR_EXE), exe));
    const QString locks = harness().Folder() + QStringLiteral("lock");
    ASSERT_TRUE(QDir().mkpath(locks));
    const QString lock = locks + QLatin1Char('/') + ComPortLockName(bus().SlavePath());
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("COMPORT_LOCKDIR"), locks);
    // The line as the program finds it; held here to read it back.
    const int line = ::open(QFile::encodeName(bus().SlavePath()).constData(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    ASSERT_GE(line, 0);
    termios found{};
    ::tcgetattr(line, &found);
    ::cfsetspeed(&found, B4800);
    found.c_lflag |= ICANON;
    ::tcsetattr(line, TCSANOW, &found);
    const auto settings = [line] {
        termios t{};
        ::tcgetattr(line, &t);
        return t;
    };
    for (int sig : {SIGTERM, SIGINT, SIGHUP}) {
        SCOPED_TRACE(sig);
        QProcess program;
        program.setProcessEnvironment(env);
        program.setProcessChannelMode(QProcess::ForwardedChannels);
        program.start(exe, {});
        ASSERT_TRUE(program.waitForStarted());
        // Open: its lock file is there and the line has the program's settings.
        ASSERT_TRUE(WaitFor([&] { return QFile::exists(lock) && !(settings().c_lflag & ICANON); }, 60s));
        ASSERT_EQ(::kill(static_cast<pid_t>(program.processId()), sig), 0);
        ASSERT_TRUE(program.waitForFinished(60000));
        EXPECT_FALSE(QFile::exists(lock));
        const termios after = settings();
        EXPECT_EQ(cfgetospeed(&after), static_cast<speed_t>(B4800));
        EXPECT_TRUE(after.c_lflag & ICANON);
    }
    ::close(line);
}

TEST_F(MainWindowTest, SecondDeviceKindRepliesDriveItsPages)
{
    auto w = ManualWindow();
    auto& f = w->Form();
    f.cmbDevice->addItem(QStringLiteral("СУЛМ"));
    f.cmbDevice->setCurrentIndex(1);
    w->cmbDeviceChange();
    EXPECT_EQ(w->windowTitle(), QStringLiteral(" Дравик Ltd  -  СУЛМ  (настройка, диагностика)"));
    SelectedNumber = 7;
    // Live values: the channel mask, low byte first. Each reply answers its request.
    w->SendCommand(33);
    w->AppendReceived(MakeFrame(2, 7, 33, QByteArray("\x05\x80", 2)));
    w->DataTimerTimer();
    EXPECT_EQ(f.ledSulmView1->palette().color(QPalette::Window), QColor(255, 0, 0));
    EXPECT_NE(f.ledSulmView2->palette().color(QPalette::Window), QColor(255, 0, 0));
    EXPECT_EQ(f.ledSulmView3->palette().color(QPalette::Window), QColor(255, 0, 0));
    EXPECT_EQ(f.ledSulmView16->palette().color(QPalette::Window), QColor(255, 0, 0));
    // Parameters: mask, pause, clock.
    w->SendCommand(34);
    w->AppendReceived(MakeFrame(2, 7, 34, sim::FromHex("03 00 64 09 04 08 01 05 03 07")));
    w->DataTimerTimer();
    EXPECT_TRUE(f.chkSulmInvert1->isChecked());
    EXPECT_TRUE(f.chkSulmInvert2->isChecked());
    EXPECT_FALSE(f.chkSulmInvert3->isChecked());
    EXPECT_EQ(f.edtSulmDelay->text(), QStringLiteral("100"));
    EXPECT_TRUE(f.lblSulmDateTime->text().endsWith(QStringLiteral("05.03.2007  8:04:09")));
    ASSERT_TRUE(WaitFor([&] { return HasBox(kParamsDone); }));
    // Acknowledgements move the chains on.
    w->SendCommand(32);
    w->AppendReceived(MakeFrame(2, 7, 32, {}));
    w->DataTimerTimer();
    EXPECT_EQ(w->State(), stReadLog);
    w->SendCommand(35);
    w->AppendReceived(MakeFrame(2, 7, 35, {}));
    w->DataTimerTimer();
    EXPECT_EQ(w->State(), stReadParams);
    // The delay rule of the write button.
    w->SetState(stIdle);
    f.edtSulmDelay->setText(QStringLiteral("19"));
    w->btnWriteParamsClick();
    EXPECT_EQ(boxes.Last()->text, QStringLiteral("Задержка должна быть в пределах 20..255 мс !"));
    EXPECT_EQ(w->State(), stIdle);
    f.edtSulmDelay->setText(QStringLiteral("255"));
    w->btnWriteParamsClick();
    EXPECT_EQ(w->State(), stWriteParams);
}

TEST_F(MainWindowTest, RepliesBuiltByHandFillTheTablesAndThePage)
{
    auto w = ManualWindow();
    w->DataTimer.stop();
    SelectedNumber = 5;
    // Parameter block with the clock 05.03.07 08:04:09 (bytes 29..35).
    QByteArray block(30, '\0');
    block[0] = char(24);
    block[14] = char(0x01);  // Un = 400
    block[15] = char(0x90);
    block[20] = char(0x03);  // coefficient 1.001
    block[21] = char(0xE9);
    block[23] = char(0x09);
    block[24] = char(0x04);
    block[25] = char(0x08);
    block[27] = char(0x05);
    block[28] = char(0x03);
    block[29] = char(0x07);
    w->SendCommand(2);
    w->AppendReceived(QByteArray("\x12\x34", 2) + MakeFrame(1, 5, 2, block));
    w->DataTimerTimer();
    EXPECT_EQ(w->State(), stReadInfo);
    TQuery q;
    AttachQuery(q, harness().Folder() + QStringLiteral("bases/"));
    q.SetSQL(QStringLiteral("select fdatetime, fkoef, fureg from vemors where fid=5"));
    q.Open();
    EXPECT_EQ(q.FieldByName(QStringLiteral("fdatetime"))->AsString(), QStringLiteral("05.03.2007  8:04:09"));
    EXPECT_DOUBLE_EQ(q.FieldByName(QStringLiteral("fkoef"))->AsFloat(), 1.001);
    EXPECT_EQ(q.FieldByName(QStringLiteral("fureg"))->AsInteger(), 400);

    // Information reply shorter than its version: the version takes what is there.
    w->SetState(stIdle);
    w->SendCommand(7);
    w->AppendReceived(MakeFrame(1, 5, 7, sim::InfoBytes(QStringLiteral("Щит 2")) + "v1"));
    w->DataTimerTimer();
    EXPECT_EQ(w->Form().lblTip->text(), QStringLiteral("Версия ПО ВЕМОР :  v1"));
    EXPECT_EQ(w->Form().edtInformation->text(), QStringLiteral("Щит 2").leftJustified(32, ' '));
    EXPECT_EQ(w->Form().edtUn->text(), QStringLiteral("400"));  // the page is filled from the tables
    ASSERT_TRUE(WaitFor([&] { return HasBox(kParamsDone); }));

    // Two frames at once are handled on two ticks; unknown commands are dropped.
    w->SendCommand(3);
    w->AppendReceived(MakeFrame(1, 5, 20, {}) + MakeFrame(1, 5, 3, {}));
    w->DataTimerTimer();
    EXPECT_EQ(w->State(), stIdle);
    w->DataTimerTimer();
    EXPECT_EQ(w->State(), stWriteInfo);
    EXPECT_TRUE(w->RxBuffer().IsEmpty());

    // An account with an impossible date ends the download with the date message.
    w->SendCommand(4);
    w->AppendReceived(MakeFrame(1, 5, 4, sim::FromHex("00 01 00 02 00 00 00 00 31 02 07")));
    w->DataTimerTimer();
    EXPECT_EQ(w->State(), stIdle);
    ASSERT_TRUE(WaitFor([&] { return boxes.Count() >= 2; }));
    EXPECT_EQ(boxes.Last()->text, QStringLiteral("Ошибка ! Неверные данные (дата/время 31.2.7 0:0:0)"));
}

TEST_F(MainWindowTest, SpinEditsTakeNoTypedKeysAndEmptyEditsBecomeZero)
{
    TfrmMain w;
    auto& f = w.Form();
    QKeyEvent five(QEvent::KeyPress, Qt::Key_5, Qt::NoModifier, QStringLiteral("5"));
    QCoreApplication::sendEvent(f.edtDelayKO1, &five);
    EXPECT_EQ(f.edtDelayKO1->value(), 20);
    QKeyEvent up(QEvent::KeyPress, Qt::Key_Up, Qt::NoModifier);
    QCoreApplication::sendEvent(f.edtDelayKO1, &up);
    EXPECT_EQ(f.edtDelayKO1->value(), 40);
    // Editing characters are typed characters too: backspace and paste change nothing.
    f.edtDelayKO2->setValue(1000);
    QLineEdit* inner = f.edtDelayKO2->findChild<QLineEdit*>();
    ASSERT_NE(inner, nullptr);
    inner->end(false);
    QKeyEvent backspace(QEvent::KeyPress, Qt::Key_Backspace, Qt::NoModifier, QStringLiteral("\b"));
    QCoreApplication::sendEvent(inner, &backspace);
    EXPECT_EQ(inner->text(), QStringLiteral("1000"));
    EXPECT_EQ(f.edtDelayKO2->value(), 1000);
    QKeyEvent down(QEvent::KeyPress, Qt::Key_Down, Qt::NoModifier);
    QCoreApplication::sendEvent(inner, &down);
    EXPECT_EQ(f.edtDelayKO2->value(), 980);
    f.edtUn->clear();
    QFocusEvent out(QEvent::FocusOut);
    QCoreApplication::sendEvent(f.edtUn, &out);
    EXPECT_EQ(f.edtUn->text(), QStringLiteral("0"));
}

TEST_F(MainWindowTest, RowsAddedAreReportedRightBeyondSixteenBitCounts)
{
    AddLoggedDevice(3);
    TfrmMain w;
    Select(w, 300);
    // 70 000 older rows already stored for the device.
    Exec(QStringLiteral("with recursive n(x) as (select 0 union all select x + 1 from n where x < 69999) "
                        "insert into vprotokol (fid, fdate, ftime, fmilsec) "
                        "select 300, date('2002-01-01', '+' || (x / 86400) || ' days'), time(x % 86400, 'unixepoch'), 0 from n"));
    w.btnProtokolClick();
    ASSERT_EQ(w.QryProtokol().RecordCount(), 70000);
    w.btnReadProtokolClick();
    EXPECT_EQ(w.CountBefore(), 70000);
    ASSERT_TRUE(WaitFor([&] { return boxes.Count() >= 1; }, 30s));
    EXPECT_EQ(boxes.Last()->text, kDone.arg(3));
}

TEST_F(MainWindowTest, PortsThatCannotBeOpenedAreNotListedAndAFailedChangeIsReported)
{
    qputenv("COMPORT_MAP", ("1=" + bus().SlavePath() + ";12=/nonexistent/vemor-tty").toUtf8());
    TfrmMain w;
    ASSERT_EQ(w.Form().cmbPorts->count(), 1);
    w.Form().cmbPorts->addItem(TfrmMain::PortName(12));
    w.Form().cmbPorts->setCurrentIndex(1);
    w.cmbPortsChange();
    ASSERT_EQ(boxes.Count(), 1u);
    const QStringList lines = boxes.Last()->text.split(QLatin1Char('\n'));
    ASSERT_EQ(lines.size(), 2) << boxes.Last()->text.toStdString();
    EXPECT_EQ(lines[0], QStringLiteral("Ошибка открыти порта !"));
    EXPECT_FALSE(lines[1].trimmed().isEmpty());
    EXPECT_EQ(boxes.Last()->caption, QStringLiteral("  Дравик Ltd"));
    EXPECT_FALSE(w.ComPort().Active());
    // Back to the first port.
    w.Form().cmbPorts->setCurrentIndex(0);
    w.cmbPortsChange();
    EXPECT_TRUE(w.ComPort().Active());
    EXPECT_EQ(boxes.Count(), 1u);
}

TEST_F(MainWindowTest, FoundListColumnsCanNeitherBeClickedNorDragged)
{
    TfrmMain w;
    const QHeaderView* header = w.Form().lstScanVemor->header();
    EXPECT_FALSE(header->sectionsClickable());
    EXPECT_FALSE(header->sectionsMovable());
    EXPECT_EQ(header->sectionSize(0), 70);
    EXPECT_EQ(header->sectionSize(1), 90);
}

TEST_F(MainWindowTest, SecondKindPageShowsOnlyTheChosenDevice)
{
    auto w = ManualWindow();
    auto& f = w->Form();
    f.cmbDevice->addItem(QStringLiteral("СУЛМ"));
    f.cmbDevice->setCurrentIndex(1);
    w->cmbDeviceChange();
    StoreSulmParameters(w->QryEdit(), 7, 100, QStringLiteral("05.03.2007  8:04:09"),
                        QStringLiteral("1100000000000001"));
    Exec(QStringLiteral("insert into sulm_n (fid, fpin, fname) values (7, 2, 'Насос'), (7, 17, 'лишний')"));
    SelectedNumber = 7;
    w->btnParamsClick();
    EXPECT_TRUE(f.chkSulmInvert1->isChecked());
    EXPECT_TRUE(f.chkSulmInvert16->isChecked());
    EXPECT_EQ(f.edtSulmDelay->text(), QStringLiteral("100"));
    EXPECT_EQ(f.lblSulmDateTime->text(), QStringLiteral("Дата/время :  \n\n05.03.2007  8:04:09"));
    EXPECT_EQ(f.edtSulmCannel2Name->text(), QStringLiteral("Насос"));

    // The channel names are the library's data-aware edits, used unbound.
    for (int i = 1; i <= 16; ++i) {
        auto* edit = dynamic_cast<TDBEditEx*>(
            f.boxSulmNames->findChild<QLineEdit*>(QStringLiteral("edtSulmCannel%1Name").arg(i)));
        ASSERT_NE(edit, nullptr) << i;
        EXPECT_TRUE(edit->DataIndependent());
        EXPECT_TRUE(edit->Flat());
        EXPECT_TRUE(edit->AlwaysShowBorder());
        EXPECT_EQ(edit->MaxLength(), 75);
        EXPECT_EQ(edit->ButtonsWidth(), 0);
    }
    EXPECT_EQ(f.edtSulmCannel2Name->maxLength(), 75);

    // A device without its row shows empty values, not those of the device shown before.
    SelectedNumber = 8;
    w->btnParamsClick();
    for (QCheckBox* c : {f.chkSulmInvert1, f.chkSulmInvert2, f.chkSulmInvert16})
        EXPECT_FALSE(c->isChecked());
    EXPECT_EQ(f.edtSulmDelay->text(), QString());
    EXPECT_EQ(f.lblSulmDateTime->text(), QStringLiteral("Дата/время :  \n\n"));
}

TEST_F(MainWindowTest, LateIdentifyRepliesNeitherSkipNumbersNorListADeviceTwice)
{
    // Both answer every try, each answer arriving after the next try went out.
    for (int number : {1, 4}) {
        bus().AddDevice(sim::DeviceState::Factory(uint16_t(number), 2));
        bus().SetFaults(uint16_t(number), sim::Faults{.delayMs = 150});
    }
    TfrmMain w;
    StartScan(w, 1, 4, 2, false);
    ASSERT_TRUE(WaitFor([&] { return w.State() == stIdle && bus().Idle(); }, 20s));
    const std::vector<int> asked = IdentifyNumbers();
    ASSERT_FALSE(asked.empty());
    EXPECT_TRUE(std::is_sorted(asked.begin(), asked.end()));
    EXPECT_EQ(std::set<int>(asked.begin(), asked.end()), (std::set<int>{1, 2, 3, 4}));
    // The number after a found device keeps its remaining tries; a silent one gets all three.
    EXPECT_GE(std::count(asked.begin(), asked.end(), 2), 2);
    EXPECT_EQ(std::count(asked.begin(), asked.end(), 3), 3);
    ASSERT_TRUE(WaitFor([&] { return w.RxBuffer().IsEmpty(); }));
    ASSERT_EQ(w.FoundCount(), 2);
    EXPECT_EQ(w.Form().lstScanVemor->topLevelItem(0)->text(0), QStringLiteral("1"));
    EXPECT_EQ(w.Form().lstScanVemor->topLevelItem(1)->text(0), QStringLiteral("4"));
    EXPECT_EQ(SelectedNumber, 4);
    EXPECT_EQ(w.Form().lblNum->text(), QStringLiteral("ВЕМОР  № 4"));
    EXPECT_EQ(boxes.Count(), 0u);
}

TEST_F(MainWindowTest, LateIdentifyReplyFromAnEarlierNumberOnlyListsItsDevice)
{
    bus().AddDevice(sim::DeviceState::Factory(2, 2));
    auto w = ManualWindow();
    w->DataTimer.stop();
    StartScan(*w, 1, 3, 2, false);
    for (int i = 0; i < 4; ++i)
        w->GlobalTimerTimer();  // 1 (1, 2, 3), 2 (1)
    ASSERT_EQ(w->ScanNumber(), 2);
    ASSERT_TRUE(WaitFor([&] { return w->RxBuffer().Data().size() >= 9; }));
    w->GlobalTimerTimer();  // 2 (2): device 2's first answer is now late
    w->GlobalTimerTimer();  // 2 (3)
    w->GlobalTimerTimer();  // 3 (1)
    ASSERT_EQ(w->ScanNumber(), 3);
    ASSERT_TRUE(WaitFor([&] { return w->RxBuffer().Data().size() >= 27; }));
    while (!w->RxBuffer().IsEmpty())
        w->DataTimerTimer();
    EXPECT_EQ(w->ScanNumber(), 3);
    EXPECT_EQ(w->Tries(), 1);
    ASSERT_EQ(w->FoundCount(), 1);
    // Late, it answers no request that is waiting: the device is listed, not chosen.
    EXPECT_EQ(SelectedNumber, -1);
    // An identify reply from a number this scan never asked is nobody's answer.
    w->AppendReceived(MakeFrame(1, 7, 0, QByteArray(1, '\x02')));
    w->DataTimerTimer();
    EXPECT_EQ(w->FoundCount(), 1);
    EXPECT_EQ(SelectedNumber, -1);
}

TEST_F(MainWindowTest, ReplyFromAnotherAddressIsDroppedAndTheReadEndsUnanswered)
{
    sim::DeviceState dev = sim::DeviceState::Factory(300, 2);
    bus().AddDevice(dev);
    bus().SetFaults(300, sim::Faults{.otherAddress = 999, .command = 2});
    TfrmMain w;
    Select(w, 300);
    w.btnSulmParamsReadClick();
    ASSERT_TRUE(WaitFor([&] { return HasBox(kNoReply); }));
    EXPECT_EQ(boxes.Last()->caption, QStringLiteral(" Дравик Ltd"));
    EXPECT_EQ(boxes.Last()->icon, MsgIcon::Error);
    EXPECT_FALSE(w.AwaitingReply());
    EXPECT_EQ(Scalar(QStringLiteral("select count(*) from vemors where fureg is not null")), 0);
    EXPECT_EQ(Scalar(QStringLiteral("select count(*) from vemors_i where fupko is not null")), 0);
    EXPECT_EQ(RequestsWith(7), 0);

    // The device answers rightly again: the read goes through, and the silence was said once.
    bus().ClearFaults(300);
    w.btnSulmParamsReadClick();
    ASSERT_TRUE(WaitFor([&] { return HasBox(kParamsDone); }));
    EXPECT_EQ(BoxCount(kNoReply), 1);
    EXPECT_EQ(boxes.Count(), 2u);
    EXPECT_EQ(Scalar(QStringLiteral("select fureg from vemors where fid=300")), dev.ParamsDecoded().normalVoltage);
}

TEST_F(MainWindowTest, UnaskedAcknowledgementWritesNothingIntoTheDevice)
{
    bus().AddDevice(sim::DeviceState::Factory(300, 2));
    TfrmMain w;
    Select(w, 300);
    w.Form().edtInformation->setText(QStringLiteral("Котельная"));
    bus().Send(MakeFrame(1, 300, 3, {}) + MakeFrame(1, 300, 8, {}) + MakeFrame(1, 300, 5, {}));
    // A read as a fence: its reply follows the unasked frames on the line.
    w.btnSulmParamsReadClick();
    ASSERT_TRUE(WaitFor([&] { return HasBox(kParamsDone); }));
    EXPECT_EQ(RequestsWith(8), 0);
    EXPECT_EQ(RequestsWith(4), 0);
    EXPECT_EQ(RequestsWith(2), 1);
    EXPECT_EQ(bus().Device(300).infoWrites, 0);
    EXPECT_EQ(boxes.Count(), 1u);
}

TEST_F(MainWindowTest, LateParameterReplyOfTheDeviceLeftIsNotTakenForTheNextOne)
{
    bus().AddDevice(sim::DeviceState::Factory(5, 2));
    bus().AddDevice(sim::DeviceState::Factory(7, 2));
    bus().SetFaults(5, sim::Faults{.hold = true, .command = 2});
    auto w = ManualWindow();
    w->DataTimer.stop();
    Select(*w, 5);
    w->btnSulmParamsReadClick();
    w->GlobalTimerTimer();
    ASSERT_TRUE(WaitFor([&] { return bus().HeldCount() == 1; }));
    // The operator chooses device 7 before device 5's reply comes.
    Select(*w, 7);
    ASSERT_EQ(bus().ReleaseHeld(), 1u);
    ASSERT_TRUE(WaitFor([&] { return w->RxBuffer().Data().size() >= 38; }));
    w->DataTimerTimer();
    EXPECT_TRUE(w->RxBuffer().IsEmpty());
    EXPECT_EQ(w->State(), stIdle);  // no information request follows
    EXPECT_EQ(Scalar(QStringLiteral("select count(*) from vemors where fureg is not null")), 0);
    // So the page shows nothing of device 5 under device 7's number.
    w->btnParamsClick();
    EXPECT_EQ(w->Form().edtUn->text(), QString());
}

TEST_F(MainWindowTest, ForeignLogBlockIsNotStoredUnderTheDeviceBeingDownloaded)
{
    AddLoggedDevice(60);
    // From the second block on, the blocks name another device.
    bus().SetFaults(300, sim::Faults{.otherAddress = 999, .command = 6, .after = 1});
    TfrmMain w;
    Select(w, 300);
    w.btnProtokolClick();
    w.btnReadProtokolClick();
    ASSERT_TRUE(WaitFor([&] { return HasBox(kNoReply); }));
    EXPECT_EQ(Scalar(QStringLiteral("select count(*) from vprotokol")), 23);
    EXPECT_EQ(RequestsWith(6), 2);
    EXPECT_EQ(boxes.Count(), 1u);
}

TEST_F(MainWindowTest, StalledDownloadEndsWithOneMessageAndTheNextCountsWhatItAdded)
{
    AddLoggedDevice(60);
    // The device goes mute after its first log block.
    bus().SetFaults(300, sim::Faults{.silent = true, .command = 6, .after = 1});
    TfrmMain w;
    Select(w, 300);
    w.btnProtokolClick();
    w.btnReadProtokolClick();
    ASSERT_TRUE(WaitFor([&] { return HasBox(kNoReply); }));
    EXPECT_EQ(Scalar(QStringLiteral("select count(*) from vprotokol where fid=300")), 23);
    EXPECT_EQ(w.State(), stIdle);
    EXPECT_FALSE(w.AwaitingReply());

    // The page was not refreshed; the next download still says what it really added.
    bus().ClearFaults(300);
    w.btnReadProtokolClick();
    ASSERT_TRUE(WaitFor([&] { return HasBox(kDone.arg(37)); }));
    EXPECT_EQ(Scalar(QStringLiteral("select count(*) from vprotokol where fid=300")), 60);
    EXPECT_EQ(BoxCount(kNoReply), 1);
    EXPECT_EQ(boxes.Count(), 2u);
}

TEST_F(MainWindowTest, UnansweredWriteEndsWithOneMessage)
{
    bus().AddDevice(sim::DeviceState::Factory(300, 2));
    TfrmMain w;
    Select(w, 300);
    w.btnSulmParamsReadClick();
    ASSERT_TRUE(WaitFor([&] { return HasBox(kParamsDone); }));
    bus().SetFaults(300, sim::Faults{.silent = true, .command = 8});
    w.btnWriteParamsClick();
    ASSERT_TRUE(WaitFor([&] { return HasBox(kNoReply); }));
    EXPECT_EQ(bus().Device(300).paramWrites, 1);
    EXPECT_EQ(RequestsWith(8), 1);
    EXPECT_EQ(RequestsWith(2), 1);  // the read-back never starts
    EXPECT_EQ(boxes.Count(), 2u);
}

TEST_F(MainWindowTest, StoredRecordOnTheAccountBeginDayIsSkippedNotTheEnd)
{
    sim::DeviceState dev = sim::DeviceState::Factory(300, 2);
    dev.accountBegin = At(2007, 5, 10, 12, 0, 0);
    dev.log = {Rec(At(2007, 5, 10, 11, 0, 0)), Rec(At(2007, 5, 10, 12, 10, 0)), Rec(At(2007, 5, 10, 12, 20, 0)),
               Rec(At(2007, 5, 10, 12, 30, 0)), Rec(At(2007, 5, 11, 10, 0, 0))};
    bus().AddDevice(dev);
    TfrmMain w;
    Select(w, 300);
    // A download cut on the begin day stored the newest record of that day.
    VemorLogRecord stored;
    stored.fid = 300;
    stored.u = 380;
    stored.vemorOn = true;
    stored.date = EncodeDate(2007, 5, 10);
    stored.time = EncodeTime(12, 30, 0, 0);
    ASSERT_TRUE(AddVemorLogRecord(w.QryEdit(), stored));
    w.btnProtokolClick();
    w.btnReadProtokolClick();
    ASSERT_TRUE(WaitFor([&] { return boxes.Count() >= 1; }));
    EXPECT_EQ(boxes.Last()->text, kDone.arg(3));
    EXPECT_EQ(Scalar(QStringLiteral("select count(*) from vprotokol where fid=300 and fdate='2007-05-10'")), 3);
    EXPECT_EQ(Scalar(QStringLiteral("select count(*) from vprotokol where fid=300")), 4);
}

TEST_F(MainWindowTest, ParameterPageOfADeviceWithoutStoredRowsIsEmpty)
{
    sim::DeviceState dev = sim::DeviceState::Factory(300, 2);
    dev.info = sim::InfoBytes(QStringLiteral("Насосная 1"));
    sim::Params p = dev.ParamsDecoded();
    p.invertBits = 0x11;
    p.inUseBits = 0x01;
    dev.params = p.Encode();
    bus().AddDevice(dev);
    TfrmMain w;
    auto& f = w.Form();
    Select(w, 300);
    w.btnParamsClick();
    f.cmbKO1Type->setCurrentIndex(2);
    w.btnSulmParamsReadClick();
    ASSERT_TRUE(WaitFor([&] { return HasBox(kParamsDone); }));
    ASSERT_EQ(f.edtUn->text(), QString::number(p.normalVoltage));
    ASSERT_TRUE(f.chkKo1Invert->isChecked());
    ASSERT_EQ(f.edtInformation->text().trimmed(), QStringLiteral("Насосная 1"));

    Select(w, 301);
    w.btnParamsClick();
    for (QLineEdit* e : {f.edtUn, f.edtUk, f.edtUpKO, f.edtTp, f.edtTb, f.edtKoef, f.edtInformation})
        EXPECT_EQ(e->text(), QString()) << e->objectName().toStdString();
    EXPECT_FALSE(f.chkKo1Invert->isChecked());
    EXPECT_FALSE(f.chkInvertEngine->isChecked());
    EXPECT_EQ(f.cmbKO1Type->currentIndex(), 0);
    EXPECT_EQ(f.edtDelayKO1->value(), 20);
    EXPECT_EQ(f.edtFiltrKO->value(), 1);
    EXPECT_EQ(f.lblDateTime->text(), QString());
    EXPECT_EQ(f.lblTip->text(), QStringLiteral("Версия ПО ВЕМОР :"));
    // "Записать" cannot send the emptied page.
    bus().ClearHistory();
    EXPECT_THROW(w.SendCommand(3), Exception);
    EXPECT_EQ(bus().RequestCount(), 0u);

    // Back to device 300: its stored values come back.
    Select(w, 300);
    w.btnParamsClick();
    EXPECT_EQ(f.edtUn->text(), QString::number(p.normalVoltage));
    EXPECT_TRUE(f.chkKo1Invert->isChecked());
}

TEST_F(MainWindowTest, BytesLeftInTheLineBeforeThePortOpensAreDiscarded)
{
    sim::DeviceState dev = sim::DeviceState::Factory(300, 2);
    bus().AddDevice(dev);
    // A parameters reply of the same device with other values, left in the line from before.
    sim::Params old = dev.ParamsDecoded();
    old.normalVoltage = 123;
    const auto block = old.Encode();
    bus().Send(MakeFrame(1, 300, 2, QByteArray(reinterpret_cast<const char*>(block.data()), sim::kParamBlockSize)));
    ASSERT_TRUE(WaitFor([&] { return bus().Idle(); }));
    auto w = ManualWindow();
    w->DataTimer.stop();
    Select(*w, 300);
    w->btnSulmParamsReadClick();
    w->GlobalTimerTimer();
    ASSERT_TRUE(WaitFor([&] { return bus().ReplyCount() == 1 && w->RxBuffer().Data().size() >= 38; }));
    while (!w->RxBuffer().IsEmpty())
        w->DataTimerTimer();
    EXPECT_EQ(Scalar(QStringLiteral("select fureg from vemors where fid=300")), dev.ParamsDecoded().normalVoltage);
    EXPECT_EQ(w->State(), stReadInfo);
}

TEST_F(MainWindowTest, WithoutAPortRequestsAndScansSayThatNoPortIsOpen)
{
    qputenv("COMPORT_MAP", "1=/nonexistent/vemor-tty");
    TfrmMain w;
    ASSERT_EQ(w.Form().cmbPorts->count(), 0);
    EXPECT_EQ(boxes.Count(), 0u);
    Select(w, 300);
    w.btnSulmParamsReadClick();
    ASSERT_TRUE(WaitFor([&] { return boxes.Count() >= 1; }));
    EXPECT_EQ(boxes.Last()->text, QStringLiteral("Нет открытого порта ! Выберите порт в списке."));
    EXPECT_EQ(w.State(), stIdle);
    StartScan(w, 1, 2, 2, false);
    ASSERT_EQ(boxes.Count(), 2u);
    EXPECT_EQ(boxes.Last()->text,
              QStringLiteral("Ошибка открытия порта !\nНет открытого порта ! Выберите порт в списке."));
    EXPECT_NE(w.State(), stScan);
}

TEST_F(MainWindowTest, LiveViewOfADeviceGoneMuteEndsWithOneMessage)
{
    sim::DeviceState dev = sim::DeviceState::Factory(300, 2);
    dev.live.voltage = 396;
    bus().AddDevice(dev);
    TfrmMain w;
    Select(w, 300);
    w.btnViewClick();
    w.btnStartViewClick();
    ASSERT_TRUE(WaitFor([&] { return w.Form().txtU->text() == QStringLiteral("U : 396 В"); }));
    bus().SetFaults(300, sim::Faults{.silent = true});
    ASSERT_TRUE(WaitFor([&] { return HasBox(kNoReply); }));
    EXPECT_EQ(w.State(), stIdle);
    EXPECT_EQ(w.Form().btnStartView->text(), QStringLiteral("СТАРТ"));
    EXPECT_EQ(w.Form().txtU->text(), QStringLiteral("U : 0 В"));
    // Started again it shows live values; stopped by the operator, nothing waits for a reply.
    bus().ClearFaults(300);
    w.btnStartViewClick();
    ASSERT_TRUE(WaitFor([&] { return w.Form().txtU->text() == QStringLiteral("U : 396 В"); }));
    EXPECT_TRUE(w.AwaitingReply());
    w.btnStartViewClick();
    EXPECT_FALSE(w.AwaitingReply());
    EXPECT_EQ(boxes.Count(), 1u);
}

TEST_F(MainWindowTest, LostPortIsSaidOnceAndTheLiveViewStopsShowingValues)
{
    sim::DeviceState dev = sim::DeviceState::Factory(300, 2);
    dev.live.voltage = 396;
    bus().AddDevice(dev);
    TfrmMain w;
    Select(w, 300);
    w.btnViewClick();
    w.btnStartViewClick();
    ASSERT_TRUE(WaitFor([&] { return w.Form().txtU->text() == QStringLiteral("U : 396 В"); }));
    bus().Unplug();
    ASSERT_TRUE(WaitFor([&] { return boxes.Count() >= 1; }));
    EXPECT_EQ(boxes.Last()->text, QStringLiteral("Связь с портом COM1 потеряна !"));
    EXPECT_EQ(boxes.Last()->caption, QStringLiteral("  Дравик Ltd"));
    EXPECT_EQ(boxes.Last()->icon, MsgIcon::Error);
    EXPECT_EQ(w.State(), stIdle);
    EXPECT_EQ(w.Form().btnStartView->text(), QStringLiteral("СТАРТ"));
    EXPECT_EQ(w.Form().txtU->text(), QStringLiteral("U : 0 В"));
    ASSERT_TRUE(WaitFor([&] { return !w.ComPort().Active(); }));
    // What the operator does next is told that no port is open; the loss is not said again.
    w.btnSulmParamsReadClick();
    ASSERT_TRUE(WaitFor([&] { return boxes.Count() >= 2; }));
    EXPECT_EQ(boxes.Last()->text, QStringLiteral("Нет открытого порта ! Выберите порт в списке."));
    EXPECT_EQ(boxes.Count(), 2u);
}

TEST_F(MainWindowTest, PortLostDuringADownloadEndsItKeepingWhatWasStored)
{
    AddLoggedDevice(60);
    // The adapter is pulled while the device would send its second block.
    bus().SetFaults(300, sim::Faults{.unplug = true, .command = 6, .after = 1});
    TfrmMain w;
    Select(w, 300);
    w.btnProtokolClick();
    w.btnReadProtokolClick();
    ASSERT_TRUE(WaitFor([&] { return boxes.Count() >= 1; }));
    EXPECT_EQ(boxes.Last()->text, QStringLiteral("Связь с портом COM1 потеряна !"));
    EXPECT_EQ(Scalar(QStringLiteral("select count(*) from vprotokol where fid=300")), 23);
    EXPECT_EQ(w.State(), stIdle);
    EXPECT_FALSE(w.AwaitingReply());
    ASSERT_TRUE(WaitFor([&] { return !w.ComPort().Active(); }));
    EXPECT_EQ(boxes.Count(), 1u);
}

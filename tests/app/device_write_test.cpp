// What goes into a device, on the operator's path over the simulated bus: a scan, the choice in
// the found list, the parameter page and its buttons; and the ports offered at start-up.
#include "app/fmain.h"
#include "app/savedialog.h"
#include "app/tables.h"
#include "platform/comports.h"
#include "platform/document.h"
#include "platform/query.h"
#include "serial/comport.h"
#include "tests/app/app_fixture.h"
#include "tests/support/e2e_fixture.h"
#include "app/fmain_ui.h"

#include <QDir>
#include <QFile>
#include <QKeyEvent>
#include <QTest>

#include <random>

#include <fcntl.h>
#include <linux/capability.h>
#include <pty.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

using namespace std::chrono_literals;

namespace {

const QString kParamsDone = QStringLiteral("Параметры считаны (записаны) !");
const QString kNoReply = QStringLiteral("Устройство не отвечает !");

class DeviceWriteTest : public e2e::AppTest {
protected:
    Ui::TfrmMain& Form() { return Window().Form(); }

    int Boxes(const QString& text)
    {
        int n = 0;
        for (const auto& b : boxes.Boxes())
            n += b.text == text;
        return n;
    }

    // Requests of a command the bus received for a device.
    int Sent(int number, int command)
    {
        int n = 0;
        for (const QByteArray& r : bus().Requests()) {
            const auto f = sim::ParseFrame(r);
            n += f && f->number == number && f->command == command;
        }
        return n;
    }

    // "Сканировать" over a range at a speed, until the pass is over.
    void Scan(int from, int to, int speedIndex = 2)
    {
        auto& f = Form();
        f.btnScan->click();
        f.edtScanStartNum->setValue(from);
        f.edtScanEndNum->setValue(to);
        f.grpSpeed->SetItemIndex(speedIndex);
        f.chkAutoSpeed->setChecked(false);
        f.btnStartScan->click();
        ASSERT_TRUE(WaitFor([&] { return Window().State() == stIdle && f.btnStartScan->text() == QStringLiteral("Сканировать"); }, 30s));
    }

    // A click on the device's line of the found list.
    void Choose(int number)
    {
        auto* list = Form().lstScanVemor;
        const auto items = list->findItems(QString::number(number), Qt::MatchExactly, 0);
        ASSERT_EQ(items.size(), 1) << number;
        const QRect r = list->visualItemRect(items.front());
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, r.center());
        ASSERT_EQ(SelectedNumber, number);
    }

    // "Параметры", once the request timer has enabled it for the chosen device.
    void OpenParams()
    {
        ASSERT_TRUE(WaitFor([&] { return Form().btnParams->isEnabled(); }));
        Form().btnParams->click();
        ASSERT_EQ(Window().FrontPage(), Form().pnlParams);
    }

    // "Считать", until the device's values are on the page.
    void ReadParams()
    {
        const int before = Boxes(kParamsDone);
        Form().btnReadParams->click();
        ASSERT_TRUE(WaitFor([&] { return Boxes(kParamsDone) > before; }));
    }

    // Keys typed into an edit, over what it held (Cyrillic too, as the operator types it).
    static void Type(QLineEdit* edit, const QString& text)
    {
        edit->setFocus();
        edit->selectAll();
        for (QChar ch : text) {
            QKeyEvent press(QEvent::KeyPress, Qt::Key_unknown, Qt::NoModifier, QString(ch));
            QKeyEvent release(QEvent::KeyRelease, Qt::Key_unknown, Qt::NoModifier, QString(ch));
            QCoreApplication::sendEvent(edit, &press);
            QCoreApplication::sendEvent(edit, &release);
        }
    }

};

// A device at its factory values: Uн 380, Uк 342, Тп 5, Тб 30, with its own information text.
sim::DeviceState Device(uint16_t number, const QString& info)
{
    sim::DeviceState d = sim::DeviceState::Factory(number, 2);
    d.info = sim::InfoBytes(info);
    return d;
}

bool EmptyPage(Ui::TfrmMain& f)
{
    for (QLineEdit* e : {f.edtUn, f.edtUk, f.edtUpKO, f.edtTp, f.edtTb, f.edtKoef, f.edtInformation})
        if (!e->text().isEmpty())
            return false;
    return f.lblDateTime->text().isEmpty();
}

}  // namespace

TEST_F(DeviceWriteTest, ScannedDeviceNeverReadShowsNothingAndWritesNothing)
{
    bus().AddDevice(Device(300, QStringLiteral("Насосная 1")));
    Scan(299, 301);
    ASSERT_EQ(Window().FoundCount(), 1);
    Choose(300);
    OpenParams();
    auto& f = Form();
    // The scan stored the speed only: nothing on the page claims to be the device's.
    EXPECT_EQ(Stored(QStringLiteral("select fspeed from vemors where fid=300")), QStringLiteral("2"));
    EXPECT_TRUE(EmptyPage(f));

    // The operator fills in one value and presses "Записать": nothing goes out, and he is told why.
    Type(f.edtUn, QStringLiteral("400"));
    f.btnWriteParams->click();
    ASSERT_EQ(boxes.Count(), 1u);
    EXPECT_EQ(boxes.Last()->text, QStringLiteral("Параметры устройства № 300 не считаны с него, записывать нечего !\n"
                                                 "Нажмите «Считать», измените значения и нажмите «Записать»."));
    EXPECT_EQ(boxes.Last()->caption, QStringLiteral(" Дравик Ltd"));
    EXPECT_EQ(Window().State(), stIdle);

    // A read as a fence: it follows anything the button might have started.
    ReadParams();
    EXPECT_EQ(Sent(300, 3), 0);
    EXPECT_EQ(Sent(300, 8), 0);
    const sim::DeviceState dev = bus().Device(300);
    EXPECT_EQ(dev.paramWrites, 0);
    EXPECT_EQ(dev.infoWrites, 0);
    // Now the page is the device's, and a change goes in with the rest of what was read.
    EXPECT_EQ(f.edtUk->text(), QStringLiteral("342"));
    EXPECT_EQ(f.edtTp->text(), QStringLiteral("5"));
    EXPECT_EQ(f.edtTb->text(), QStringLiteral("30"));
    Type(f.edtUn, QStringLiteral("400"));
    f.btnWriteParams->click();
    ASSERT_TRUE(WaitFor([&] { return Boxes(kParamsDone) == 2; }));
    const sim::Params p = bus().Device(300).ParamsDecoded();
    EXPECT_EQ(p.normalVoltage, 400);
    EXPECT_EQ(p.criticalVoltage, 342);
    EXPECT_EQ(p.selfStartPause, 5);
    EXPECT_EQ(p.selfStartBlock, 30);
    EXPECT_EQ(bus().Device(300).info, sim::InfoBytes(QStringLiteral("Насосная 1")));
    EXPECT_EQ(boxes.Count(), 3u);
}

TEST_F(DeviceWriteTest, ChoosingANeverReadDeviceAfterAReadOneShowsAndWritesNothingOfEither)
{
    bus().AddDevice(Device(1, QStringLiteral("Первый")));
    bus().AddDevice(Device(2, QStringLiteral("Второй")));
    Scan(1, 2);
    ASSERT_EQ(Window().FoundCount(), 2);
    Choose(1);
    OpenParams();
    ReadParams();
    auto& f = Form();
    ASSERT_EQ(f.edtUk->text(), QStringLiteral("342"));
    ASSERT_EQ(f.edtInformation->text().trimmed(), QStringLiteral("Первый"));

    f.btnScan->click();
    Choose(2);
    OpenParams();
    EXPECT_TRUE(EmptyPage(f));
    EXPECT_EQ(f.lblTip->text(), QStringLiteral("Версия ПО ВЕМОР :"));
    Type(f.edtUk, QStringLiteral("300"));
    Type(f.edtInformation, QStringLiteral("Чужой"));
    f.btnWriteParams->click();
    ASSERT_EQ(boxes.Count(), 2u);
    EXPECT_TRUE(boxes.Last()->text.startsWith(QStringLiteral("Параметры устройства № 2 не считаны")))
        << boxes.Last()->text.toStdString();
    ReadParams();
    for (int number : {1, 2}) {
        EXPECT_EQ(Sent(number, 3), 0) << number;
        EXPECT_EQ(Sent(number, 8), 0) << number;
        EXPECT_EQ(bus().Device(uint16_t(number)).paramWrites, 0) << number;
    }
    EXPECT_EQ(bus().Device(2).info, sim::InfoBytes(QStringLiteral("Второй")));
}

TEST_F(DeviceWriteTest, StoredParametersAreShownAfterARestartButTheTextMustBeReadBeforeAWrite)
{
    bus().AddDevice(Device(300, QStringLiteral("Насосная 1")));
    Scan(299, 301);
    Choose(300);
    OpenParams();
    ReadParams();
    CloseWindow();
    boxes.Clear();

    // The next day: the stored read is shown; the information text is not stored, so the
    // page cannot say what the device holds there and "Записать" would blank it.
    Scan(299, 301);
    Choose(300);
    OpenParams();
    auto& f = Form();
    EXPECT_EQ(f.edtUk->text(), QStringLiteral("342"));
    EXPECT_FALSE(f.lblDateTime->text().isEmpty());
    EXPECT_EQ(f.edtInformation->text(), QString());
    Type(f.edtUn, QStringLiteral("400"));
    f.btnWriteParams->click();
    ASSERT_EQ(boxes.Count(), 1u);
    EXPECT_EQ(boxes.Last()->text, QStringLiteral("Пользовательские данные устройства № 300 не считаны с него !\n"
                                                 "Нажмите «Считать», измените значения и нажмите «Записать»."));
    ReadParams();
    EXPECT_EQ(Sent(300, 3), 0);
    EXPECT_EQ(Sent(300, 8), 0);
    EXPECT_EQ(bus().Device(300).info, sim::InfoBytes(QStringLiteral("Насосная 1")));
}

TEST_F(DeviceWriteTest, RowsOfEarlierVersionsAreReadAsTheyAre)
{
    // An earlier version made rows of defaults for a device it only found (7) and stored a
    // read of another (8).
    const QString bases = harness().Folder() + QStringLiteral("bases/");
    OpenBases(bases);
    {
        TQuery q;
        AttachQuery(q, bases);
        q.SetSQL(QStringLiteral("insert into vemors (fid, fspeed) values (7, 2);"
                                "insert into vemors_i (fid) values (7);"
                                "insert into vemors (fid, fspeed, fureg, fualert, ftpause, ftblock, fkoef, fdatetime)"
                                " values (8, 2, 400, 342, 5, 30, 1.001, '05.03.2007  8:04:09');"
                                "insert into vemors_i (fid, fupko, finvert1) values (8, 24, 1);"));
        q.ExecSQL();
    }
    auto& f = Form();
    f.edtNum->setText(QStringLiteral("8"));
    f.Button1->click();
    OpenParams();
    EXPECT_EQ(f.edtUn->text(), QStringLiteral("400"));
    EXPECT_EQ(f.edtUpKO->text(), QStringLiteral("24"));
    EXPECT_EQ(f.edtKoef->text(), QStringLiteral("1,001"));
    EXPECT_TRUE(f.chkKo1Invert->isChecked());
    EXPECT_EQ(f.lblDateTime->text(), QStringLiteral("05.03.2007  8:04:09"));

    f.btnScan->click();
    f.edtNum->setText(QStringLiteral("7"));
    f.Button1->click();
    OpenParams();
    EXPECT_TRUE(EmptyPage(f));
    EXPECT_FALSE(f.chkKo1Invert->isChecked());
    EXPECT_EQ(boxes.Count(), 0u);
}

TEST_F(DeviceWriteTest, SecondKindPageShowsOnlyWhatWasReadAndWritesOnlyThat)
{
    auto& f = Form();
    Window().GlobalTimer.stop();
    Window().DataTimer.stop();
    f.cmbDevice->addItem(QStringLiteral("СУЛМ"));
    f.cmbDevice->setCurrentIndex(1);
    Window().cmbDeviceChange();
    // A scan of that kind finds device 7: its speed is stored, nothing else.
    f.edtScanStartNum->setValue(7);
    f.edtScanEndNum->setValue(8);
    f.btnStartScan->click();
    Window().GlobalTimerTimer();
    Window().AppendReceived(sim::MakeFrame(2, 7, 0, QByteArray(1, '\x02')));
    Window().DataTimerTimer();
    ASSERT_EQ(SelectedNumber, 7);
    EXPECT_EQ(Stored(QStringLiteral("select fspeed from sulm where fid=7")), QStringLiteral("2"));
    f.btnScan->click();
    Window().GlobalTimerTimer();
    f.btnParams->click();
    ASSERT_EQ(Window().FrontPage(), f.pnlSulmParams);
    EXPECT_EQ(f.edtSulmDelay->text(), QString());
    EXPECT_EQ(f.lblSulmDateTime->text(), QStringLiteral("Дата/время :  \n\n"));
    Type(f.edtSulmDelay, QStringLiteral("100"));
    f.btnSulmParamsWrite->click();
    ASSERT_EQ(boxes.Count(), 1u);
    EXPECT_TRUE(boxes.Last()->text.startsWith(QStringLiteral("Параметры устройства № 7 не считаны")));
    EXPECT_EQ(Window().State(), stIdle);

    // Read from the device, the page is its own and may be written.
    f.btnSulmParamsRead->click();
    Window().GlobalTimerTimer();
    Window().AppendReceived(sim::MakeFrame(2, 7, 34, sim::FromHex("03 00 64 09 04 08 01 05 03 07")));
    Window().DataTimerTimer();
    EXPECT_EQ(f.edtSulmDelay->text(), QStringLiteral("100"));
    f.btnSulmParamsWrite->click();
    EXPECT_EQ(Window().State(), stWriteParams);
}

TEST_F(DeviceWriteTest, AnUnchangedWriteSendsBackEverySettingAsRead)
{
    // Device blocks at the edges (all clear, all set, what the page cannot show: a filter of 0 %,
    // delays of 0 and 1 200 ms, contacts in use of types never stored here) and at random, each
    // with contact types stored here at random: read, "Записать" with nothing or Uн alone
    // changed, and the device is sent back what it holds but that and the bits the request
    // defines as 0.
    std::vector<std::array<uint8_t, sim::kParamBlockSize>> blocks;
    blocks.push_back({});
    blocks.emplace_back().fill(0xFF);
    blocks.push_back(sim::DeviceState::Factory(300).params);
    blocks.push_back(blocks.back());
    blocks.back()[4] = 0x25;
    blocks.back()[5] = 0;
    blocks.back()[6] = 0;
    blocks.back()[7] = 60;
    std::mt19937 random(20261207);
    while (blocks.size() < 40)
        for (uint8_t& byte : blocks.emplace_back())
            byte = uint8_t(random());
    QByteArray info(sim::kInfoSize, '\0');

    bus().AddDevice(sim::DeviceState::Factory(300, 8));
    Scan(299, 301, 8);
    Choose(300);
    OpenParams();
    for (std::size_t n = 0; n < blocks.size(); ++n) {
        SCOPED_TRACE(n);
        for (char& c : info)
            c = char(random());
        bus().Modify(300, [&](sim::DeviceState& d) {
            d.params = blocks[n];
            d.info = info;
        });
        Exec(QStringLiteral("update vemors set fbtn1=%1, fbtn2=%2, fbtn3=%3, fbtn4=%4 where fid=300")
                 .arg(random() % 6).arg(random() % 6).arg(random() % 6).arg(random() % 6));
        ReadParams();
        auto& f = Form();
        const std::array<QComboBox*, 4> types{f.cmbKO1Type, f.cmbKO2Type, f.cmbKO3Type, f.cmbKO4Type};
        for (int k = 0; k < 4; ++k) {
            if (blocks[n][4] & (1 << k)) {
                EXPECT_NE(types[std::size_t(k)]->currentText(), QStringLiteral("НЕТ")) << k;
            }
        }
        // Every other time the operator changes Uн alone, and only Uн changes.
        if (n % 2)
            Type(f.edtUn, QStringLiteral("400"));
        const int done = Boxes(kParamsDone);
        f.btnWriteParams->click();
        ASSERT_TRUE(WaitFor([&] { return Boxes(kParamsDone) > done; }));
        std::optional<sim::Frame> params, text;
        for (const QByteArray& r : bus().Requests())
            if (auto f = sim::ParseFrame(r); f && f->command == 3)
                params = f;
            else if (f && f->command == 8)
                text = f;
        ASSERT_TRUE(params && text);
        std::array<uint8_t, 23> held{}, sent{};
        for (std::size_t i = 0; i < held.size(); ++i) {
            held[i] = blocks[n][i];
            sent[i] = uint8_t(params->data[int(i)]);
        }
        held[2] &= 0xEF;
        held[3] &= 0xEF;
        held[4] &= 0x2F;
        held[22] = 0x80;
        if (n % 2) {
            held[14] = 400 >> 8;
            held[15] = 400 & 0xFF;
        }
        EXPECT_EQ(sent, held);
        EXPECT_EQ(text->data, info);
    }
}

TEST_F(DeviceWriteTest, LateIdentifyReplyAfterTheScanNeitherChoosesItsDeviceNorTakesTheWrite)
{
    bus().AddDevice(Device(1, QStringLiteral("Первый")));
    bus().AddDevice(Device(2, QStringLiteral("Второй")));
    auto& f = Form();
    // Device 2 was read earlier in the session.
    f.edtNum->setText(QStringLiteral("2"));
    f.Button1->click();
    OpenParams();
    ReadParams();
    // Device 1's answers to the scan come only after it has ended.
    bus().SetFaults(1, sim::Faults{.hold = true, .command = 0});
    Scan(1, 2);
    ASSERT_TRUE(WaitFor([&] { return bus().HeldCount() == 3; }));
    ASSERT_EQ(Window().FoundCount(), 1);
    Choose(2);
    OpenParams();
    ASSERT_EQ(f.edtInformation->text().trimmed(), QStringLiteral("Второй"));

    ASSERT_EQ(bus().ReleaseHeld(), 3u);
    ASSERT_TRUE(WaitFor([&] { return Window().FoundCount() == 2 && Window().RxBuffer().IsEmpty(); }));
    // Device 1 is listed; the choice, the label and the page stay with device 2.
    EXPECT_EQ(SelectedNumber, 2);
    EXPECT_EQ(f.lblNum->text(), QStringLiteral("ВЕМОР  № 2"));
    EXPECT_EQ(f.lstScanVemor->currentItem()->text(0), QStringLiteral("2"));
    Type(f.edtUn, QStringLiteral("410"));
    f.btnWriteParams->click();
    ASSERT_TRUE(WaitFor([&] { return Boxes(kParamsDone) == 2; }));
    EXPECT_EQ(bus().Device(2).paramWrites, 1);
    EXPECT_EQ(bus().Device(2).ParamsDecoded().normalVoltage, 410);
    EXPECT_EQ(bus().Device(1).paramWrites, 0);
    EXPECT_EQ(bus().Device(1).infoWrites, 0);
    EXPECT_EQ(Sent(1, 3), 0);
    EXPECT_EQ(boxes.Count(), 2u);
}

TEST_F(DeviceWriteTest, UnansweredSpeedChangeChangesNothingButTheMessage)
{
    bus().AddDevice(Device(300, QString()));
    Scan(299, 301);
    ASSERT_EQ(Window().FoundCount(), 1);
    Choose(300);
    auto& f = Form();
    // The device is gone from the line when the operator asks it to change its speed.
    bus().RemoveDevice(300);
    ASSERT_TRUE(WaitFor([&] { return f.btnChange->isEnabled(); }));
    f.cmbNewSpeed->setCurrentIndex(4);
    f.btnChange->click();
    ASSERT_TRUE(WaitFor([&] { return Boxes(kNoReply) == 1; }));
    EXPECT_EQ(bus().Requests().back(), sim::MakeFrame(1, 300, 0, QByteArray(1, '\x04')));
    EXPECT_EQ(Stored(QStringLiteral("select fspeed from vemors where fid=300")), QStringLiteral("2"));
    ASSERT_EQ(Window().FoundCount(), 1);
    EXPECT_EQ(f.lstScanVemor->topLevelItem(0)->text(1), QStringLiteral("9600"));
    EXPECT_EQ(SelectedNumber, 300);
    EXPECT_EQ(f.lblNum->text(), QStringLiteral("ВЕМОР  № 300"));
    EXPECT_EQ(f.grpSpeed->ItemIndex(), 2);
    EXPECT_EQ(boxes.Count(), 1u);

    // Back on the line it is found again at the speed the table holds, and a change it
    // acknowledges is kept: the list shows it alone at its new speed.
    bus().AddDevice(Device(300, QString()));
    Scan(299, 301, f.grpSpeed->ItemIndex());
    ASSERT_EQ(Window().FoundCount(), 1);
    Choose(300);
    f.btnChange->click();
    ASSERT_TRUE(WaitFor([&] { return Stored(QStringLiteral("select fspeed from vemors where fid=300")) == QStringLiteral("4"); }));
    ASSERT_TRUE(WaitFor([&] { return Window().FoundCount() == 1 && f.lstScanVemor->topLevelItem(0)->text(1) == QStringLiteral("19200"); }));
    EXPECT_EQ(f.grpSpeed->ItemIndex(), 4);
    EXPECT_EQ(SelectedNumber, 300);
    EXPECT_EQ(bus().Device(300).speedCode, 4);
    Scan(299, 301, f.grpSpeed->ItemIndex());
    EXPECT_EQ(Window().FoundCount(), 1);
    EXPECT_EQ(boxes.Count(), 1u);
}

namespace {

// A pseudo-terminal that nobody uses yet: its slave is a port that exists.
struct SparePty {
    SparePty()
    {
        char name[64] = {};
        if (openpty(&master, &slave, name, nullptr, nullptr) == 0)
            path = QString::fromLocal8Bit(name);
        // Only the master stays: the slave is the port.
        if (slave >= 0)
            ::close(slave);
    }
    ~SparePty()
    {
        if (master >= 0)
            ::close(master);
    }
    int master = -1;
    int slave = -1;
    QString path;
};

// Another program's way of holding a port: a descriptor on it.
struct Holder {
    explicit Holder(const QString& path) : fd(::open(QFile::encodeName(path).constData(), O_RDWR | O_NOCTTY | O_NONBLOCK)) {}
    ~Holder()
    {
        if (fd >= 0)
            ::close(fd);
    }
    int fd;
};

// While it lives, this thread opens files as a user without the right to override their
// permissions (as the operator's own account does); a no-op for a user who never had it.
class WithoutFileOverride {
public:
    WithoutFileOverride()
    {
        if (::syscall(SYS_capget, &header_, saved_) != 0)
            return;
        __user_cap_data_struct reduced[2] = {saved_[0], saved_[1]};
        reduced[0].effective &= ~((1u << CAP_DAC_OVERRIDE) | (1u << CAP_DAC_READ_SEARCH));
        dropped_ = ::syscall(SYS_capset, &header_, reduced) == 0;
    }
    ~WithoutFileOverride()
    {
        if (dropped_)
            ::syscall(SYS_capset, &header_, saved_);
    }

private:
    __user_cap_header_struct header_{_LINUX_CAPABILITY_VERSION_3, 0};
    __user_cap_data_struct saved_[2]{};
    bool dropped_ = false;
};

}  // namespace

TEST_F(DeviceWriteTest, PortsThatAreThereButCannotBeHeldAreNamedOnceAtStartUp)
{
    SparePty locked, flocked, exclusive, forbidden;
    for (const SparePty* p : {&locked, &flocked, &exclusive, &forbidden})
        ASSERT_FALSE(p->path.isEmpty());
    // COM2: a live lock file of another program (the init process is always there).
    const QString lock = QDir(qEnvironmentVariable("COMPORT_LOCKDIR")).filePath(ComPortLockName(locked.path));
    {
        QFile f(lock);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("         1\n");
    }
    // COM3: a second holder with the flock; COM4: one in exclusive mode without it.
    Holder flockHolder(flocked.path);
    ASSERT_EQ(::flock(flockHolder.fd, LOCK_EX | LOCK_NB), 0);
    Holder exclusiveHolder(exclusive.path);
    ASSERT_EQ(::ioctl(exclusiveHolder.fd, TIOCEXCL), 0);
    // COM5: not the operator's to open. COM6: no such device, nothing to say.
    ASSERT_EQ(::chmod(QFile::encodeName(forbidden.path).constData(), 0), 0);
    qputenv("COMPORT_MAP", QStringLiteral("1=%1;2=%2;3=%3;4=%4;5=%5;6=%6")
                               .arg(bus().SlavePath(), locked.path, flocked.path, exclusive.path, forbidden.path,
                                    harness().Folder() + QStringLiteral("ttyUSB9"))
                               .toLocal8Bit());
    {
        WithoutFileOverride user;
        Window();
    }
    QFile::remove(lock);
    auto& f = Form();
    ASSERT_EQ(f.cmbPorts->count(), 1);
    EXPECT_EQ(f.cmbPorts->itemText(0), QStringLiteral("COM1"));
    EXPECT_TRUE(Window().ComPort().Active());

    ASSERT_EQ(boxes.Count(), 1u);
    EXPECT_EQ(boxes.Last()->caption, QStringLiteral("  Дравик Ltd"));
    const QStringList lines = boxes.Last()->text.split(QLatin1Char('\n'));
    ASSERT_EQ(lines.size(), 5) << boxes.Last()->text.toStdString();
    EXPECT_EQ(lines[0], QStringLiteral("Порты, которые нельзя открыть, в список не включены :"));
    auto line = [&](int com, const QString& path) {
        for (const QString& l : lines)
            if (l.contains(QStringLiteral("COM%1 (%2)").arg(com).arg(path)))
                return l;
        return QString();
    };
    EXPECT_TRUE(line(2, locked.path).contains(QStringLiteral("занято другой программой (процесс 1")))
        << line(2, locked.path).toStdString();
    EXPECT_TRUE(line(3, flocked.path).contains(QStringLiteral("занято другой программой (процесс %1").arg(getpid())))
        << line(3, flocked.path).toStdString();
    EXPECT_TRUE(line(4, exclusive.path).contains(QStringLiteral("занято другой программой")))
        << line(4, exclusive.path).toStdString();
    const QString denied = line(5, forbidden.path);
    EXPECT_TRUE(denied.startsWith(QStringLiteral("Нет доступа к устройству"))) << denied.toStdString();
    // Mode 0: no group to join would help.
    EXPECT_TRUE(denied.contains(QStringLiteral("только владелец устройства"))) << denied.toStdString();
    EXPECT_FALSE(boxes.Last()->text.contains(QStringLiteral("COM6")));

    // Said once: the work on the port that is offered goes on without another word.
    bus().AddDevice(Device(300, QString()));
    Scan(299, 301);
    EXPECT_EQ(Window().FoundCount(), 1);
    EXPECT_EQ(boxes.Count(), 1u);
}

TEST_F(DeviceWriteTest, ReportOfADeviceNeverReadLeavesItsParametersBlank)
{
    sim::DeviceState dev = Device(300, QStringLiteral("Насосная 1"));
    dev.log = sim::GenerateLog(3, sim::Naive(2007, 5, 10, 12));
    bus().AddDevice(dev);
    Scan(299, 301);
    Choose(300);
    auto& f = Form();
    ASSERT_TRUE(WaitFor([&] { return f.btnProtokol->isEnabled(); }));
    f.btnProtokol->click();
    const auto logRead = [&] {
        for (const auto& b : boxes.Boxes())
            if (b.text.startsWith(QStringLiteral("Протокол считан.")))
                return true;
        return false;
    };
    f.btnReadProtokol->click();
    ASSERT_TRUE(WaitFor(logRead));

    const QString out = harness().Folder() + QStringLiteral("out/");
    QDir().mkpath(out);
    QString target;
    const auto previous = TSaveDialog::SetHook([&](TSaveDialog& d) {
        d.FileName = target;
        return true;
    });
    const auto params = [&](const QString& name) {
        target = out + name;
        f.btnSaveProtokol->click();
        TWordDocument doc;
        doc.Open(target);
        return doc.TableAtBookmark(QStringLiteral("tab2"));
    };

    // Only scanned: the rows the scan made hold zeros, which the report must not present as the device's.
    const auto blank = params(QStringLiteral("scanned.docx"));
    ASSERT_EQ(blank.size(), 46u);
    EXPECT_EQ(blank[1], (QStringList{"    -  Контакт 1", ""}));
    EXPECT_EQ(blank[42], (QStringList{"Напряжение критическое, В :", ""}));
    EXPECT_EQ(blank[45], (QStringList{"Калибровочный коэффициент :", ""}));

    // Once read, the report carries the device's values.
    OpenParams();
    ReadParams();
    f.btnProtokol->click();
    const auto read = params(QStringLiteral("read.docx"));
    TSaveDialog::SetHook(previous);
    ASSERT_EQ(read.size(), 46u);
    EXPECT_EQ(read[42], (QStringList{"Напряжение критическое, В :", "342"}));
    EXPECT_FALSE(read[45][1].isEmpty());
}

// Replies through the real main window, each answering a request the window itself put on its
// port. The port is COM1 mapped to a pseudo-terminal whose other end a thread of the target drains;
// the program's request timer sends the request of an exchange state (as the operator's buttons
// set it, or as the previous reply left it), then the reply's bytes go in as the port's
// received-data event puts them and the reply timer's tick parses and acts on them: the actions
// and the table writes they make. The window, its database and its exchange state live for the
// whole run, as they do in the program.
#include "tests/fuzz/fuzz_support.h"

#include "app/fmain.h"
#include "app/fmain_ui.h"
#include "app/protocol.h"
#include "platform/application.h"
#include "serial/comport.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QPushButton>
#include <QSpinBox>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <thread>
#include <unistd.h>

namespace {

// The bus: the program holds the pseudo-terminal's device end as COM1; the target reads and
// drops whatever the program writes, so that its output never backs up.
class Line {
public:
    Line()
    {
        char name[256] = {};
        if (openpty(&master_, &device_, name, nullptr, nullptr) != 0) {
            std::perror("fuzz: openpty");
            std::abort();
        }
        name_ = QFile::decodeName(name);
        drain_ = std::thread([this] {
            char discard[4096];
            while (!stop_) {
                pollfd p{master_, POLLIN, 0};
                if (poll(&p, 1, 50) > 0 && read(master_, discard, sizeof discard) < 0)
                    usleep(1000);  // no device end open for a moment (the port reopening)
            }
        });
    }
    ~Line()
    {
        stop_ = true;
        drain_.join();
        close(master_);
        close(device_);  // kept open so that the program's reopening never hangs the line up
    }
    QString Name() const { return name_; }

private:
    int master_ = -1;
    int device_ = -1;
    QString name_;
    std::atomic<bool> stop_{false};
    std::thread drain_;
};

Line* line = nullptr;
TfrmMain* window = nullptr;
constexpr int kScanEnd = 1000;  // the number box's largest number

// What the request just sent waits for: its device type, address and command.
struct Asked {
    int type = 1;
    int number = 0;
    int command = 0;
};
Asked asked;

int DeviceKind()
{
    return window->Form().cmbDevice->currentIndex();
}

// The reply command that answers the request an exchange state sends, for the device kind.
int CommandOf(std::uint8_t state)
{
    const bool sulm = DeviceKind() == 1;
    switch (state) {
    case stLiveView: return sulm ? 33 : 1;
    case stReadParams: return sulm ? 34 : 2;
    case stWriteParams: return sulm ? 35 : 3;
    case stReadLog: return sulm ? 30 : 6;
    case stReadAccount: return sulm ? 31 : 4;
    case stClearAccount: return sulm ? 32 : 5;
    case stReadInfo: return 7;
    case stWriteInfo: return 8;
    default: return 0;  // the scan's identify and the speed change
    }
}

// One tick of the request timer: whatever the state asks goes on the line, and the target notes
// what its reply has to carry.
void RequestTick()
{
    const std::uint8_t state = window->State();
    if (state == stScan && window->ScanNumber() >= kScanEnd && window->Tries() >= 3) {
        // A scan past the last number asks nothing more: the operator starts it again (a button
        // that still reads "Стоп" takes a click to stop first).
        for (int click = 0; click < 2 && window->ScanNumber() >= kScanEnd; ++click)
            Guarded([] { window->btnStartScanClick(); });
        if (window->State() != stScan)
            return;
    }
    const int selected = SelectedNumber;
    Guarded([] { window->GlobalTimerTimer(); });
    if (state == stIdle)
        return;
    const int command = CommandOf(state);
    const int kind = DeviceKind();
    asked.command = command;
    asked.type = command >= 30 ? 2 : command == 0 ? kind + 1 : 1;
    asked.number = state == stScan ? window->ScanNumber() : selected;
}

void DataTicks(int ticks)
{
    for (int tick = 0; tick < ticks; ++tick)
        Guarded([] { window->DataTimerTimer(); });
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    fuzz::InitApplication();
    const QString folder = fuzz::ExeFolder();
    line = new Line;
    qputenv("COMPORT_MAP", "1=" + QFile::encodeName(line->Name()));
    qputenv("COMPORT_LOCKDIR", QFile::encodeName(folder));
    window = new TfrmMain;  // lives for the run, like the program's window; opens COM1
    fuzz::AtShutdown([] {
        delete window;
        window = nullptr;
        delete line;
        line = nullptr;
    });
    window->GlobalTimer.stop();
    window->DataTimer.stop();
    window->Timer1.stop();
    if (!window->ComPort().Active()) {
        std::fprintf(stderr, "fuzz: the window did not open the pseudo-terminal %s\n", qPrintable(line->Name()));
        std::abort();
    }
    window->Form().edtScanEndNum->setValue(kScanEnd);
    // The layout offers only the first device kind, yet the second kind's exchange stays in the
    // program, chosen by the selector's second item: the target offers that item too.
    window->Form().cmbDevice->addItem(QStringLiteral("СУЛМ"));
    return 0;
}

// Input: a set-up byte (device kind, "all records", the new speed), the chosen device's number,
// then steps, each a control byte (top two bits the kind of step) and its bytes:
//   00 len:6          raw bytes (noise, frame pieces), then a tick of the reply timer
//   01 set:1 state:5  a tick of the request timer, in the state given (set) or in the one it is in
//   10 flags:6 state  a request timer tick in the state given, then a reply to what it sent
//   11 flags:6        a reply to the request sent last (the program's own next request)
// A reply is a length byte and that many data bytes, framed with the device type, address and
// command the request waits for; flags: 1 breaks its sum, 2 names the next address, 4 comes in
// two pieces with a tick between, 8..32 extra ticks of the reply timer.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    fuzz::Input in(data, size);
    const std::uint8_t setup = in.Byte();
    Ui::TfrmMain& ui = window->Form();
    Guarded([&] {
        if (ui.cmbDevice->currentIndex() != setup >> 7) {  // as the operator's pick of the kind
            ui.cmbDevice->setCurrentIndex(setup >> 7);
            window->cmbDeviceChange();
        }
        ui.chkReadAllRecordsVemorProtokol->setChecked(setup & 0x40);
        ui.cmbNewSpeed->setCurrentIndex((setup & 0x07) % ui.cmbNewSpeed->count());
    });
    SelectedNumber = in.Byte() % 8;
    while (!in.Empty()) {
        const std::uint8_t control = in.Byte();
        switch (control >> 6) {
        case 0:
            window->AppendReceived(in.Bytes(control & 0x3F));
            DataTicks(1);
            continue;
        case 1:
            if (control & 0x20)
                window->SetState(std::uint8_t((control & 0x1F) % (stSetSpeed + 1)));
            RequestTick();
            continue;
        case 2:
            window->SetState(std::uint8_t(in.Byte() % (stSetSpeed + 1)));
            RequestTick();
            break;
        default: break;
        }
        const int flags = control & 0x3F;
        const QByteArray body = in.Bytes(in.Byte());
        QByteArray frame =
            vemor::MakeFrame(std::uint8_t(asked.type), asked.number + (flags & 2 ? 1 : 0), std::uint8_t(asked.command), body);
        if (flags & 1)
            frame[frame.size() - 1] = char(frame.back() ^ 0x5A);
        if (flags & 4) {
            window->AppendReceived(frame.left(frame.size() / 2));
            DataTicks(1);
            frame.remove(0, frame.size() / 2);
        }
        window->AppendReceived(frame);
        DataTicks(1 + (flags >> 3));
    }
    // Whatever is left is handled now. When a tick takes nothing, zeros complete the partial
    // frame at the front (which then fails its sum), so the next input starts with an empty buffer.
    bool padded = false;
    for (int guard = 0; guard < 1000 && !window->RxBuffer().IsEmpty(); ++guard) {
        const qsizetype before = window->RxBuffer().Data().size();
        DataTicks(1);
        if (window->RxBuffer().Data().size() == before && !padded) {
            window->AppendReceived(QByteArray(300, '\0'));
            padded = true;
        }
    }
    ProcessMessages();  // the boxes the replies asked for
    return 0;
}

// Replies through the real main window: the received bytes go in as the port's received-data
// event puts them, and the reply timer's tick parses and acts on them, in any exchange state and
// for either device kind. The window, its database and its exchange state live for the whole run,
// as they do in the program.
#include "tests/fuzz/fuzz_support.h"

#include "app/fmain.h"
#include "app/fmain_ui.h"
#include "platform/application.h"

#include <QComboBox>

namespace {

TfrmMain* window = nullptr;

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    fuzz::InitApplication();
    fuzz::ExeFolder();
    window = new TfrmMain;  // lives for the run, like the program's window
    fuzz::AtShutdown([] {
        delete window;
        window = nullptr;
    });
    window->GlobalTimer.stop();
    window->DataTimer.stop();
    window->Timer1.stop();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    fuzz::Input in(data, size);
    const std::uint8_t setup = in.Byte();
    Guarded([&] { window->Form().cmbDevice->setCurrentIndex(setup >> 7); });
    window->SetState(std::uint8_t((setup & 0x7F) % (stSetSpeed + 1)));
    SelectedNumber = in.Byte() % 8;
    while (!in.Empty()) {
        // One control byte: the chunk's length (0..63), then ticks of the reply timer (0..3).
        const std::uint8_t control = in.Byte();
        window->AppendReceived(in.Bytes(control & 0x3F));
        for (int tick = 0; tick < (control >> 6); ++tick)
            Guarded([] { window->DataTimerTimer(); });
    }
    // Whatever is left is handled now. When a tick takes nothing, zeros complete the partial
    // frame at the front (which then fails its sum), so the next input starts with an empty buffer.
    bool padded = false;
    for (int guard = 0; guard < 1000 && !window->RxBuffer().IsEmpty(); ++guard) {
        const qsizetype before = window->RxBuffer().Data().size();
        Guarded([] { window->DataTimerTimer(); });
        if (window->RxBuffer().Data().size() == before && !padded) {
            window->AppendReceived(QByteArray(300, '\0'));
            padded = true;
        }
    }
    ProcessMessages();  // the boxes the replies asked for
    return 0;
}

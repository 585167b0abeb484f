// Scheme documents as the program reads its scheme at start-up: the live view loads the file
// into the main window's panel, binds its objects, shows a reply and the panel paints.
#include "tests/fuzz/fuzz_support.h"

#include "app/liveview.h"
#include "platform/application.h"
#include "scheme/drawpanel.h"

#include <QFile>
#include <QLabel>

namespace {

struct View {
    TDrawPanel panel;
    QLabel txtU, txtN, txtT;
    std::unique_ptr<TLiveView> live;
    View()
    {
        panel.resize(344, 244);  // the main window's scheme panel
        live = std::make_unique<TLiveView>(panel, txtU, txtN, txtT);
    }
};

View* view = nullptr;
QString file;

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    fuzz::InitApplication();
    file = fuzz::ExeFolder() + QStringLiteral("schemes/vemor.sch");
    view = new View;  // one panel for the run, as the program has
    fuzz::AtShutdown([] {
        delete view;
        view = nullptr;
    });
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    QFile out(file);
    if (!out.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return 0;
    out.write(reinterpret_cast<const char*>(data), qint64(size));
    out.close();
    Guarded([] { view->live->LoadScheme(file); });
    Guarded([] { view->live->Bind({1, 2, 3, 0}); });
    Guarded([] { view->live->Reply(0x0F, 380, 75); });
    (void)view->panel.RenderClient();
    Guarded([] { view->live->Stop(); });
    return 0;
}

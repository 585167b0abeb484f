// Entry point of the service tool: splash, application title, main window, message loop.
#include "app/fmain.h"
#include "app/fspalsh.h"
#include "app/widgets.h"
#include "grid/dbgridexiexp.h"
#include "grid/propstorage.h"
#include "platform/application.h"

#include <QApplication>
#include <QScreen>

namespace {

void CenterOnScreen(QWidget& w)
{
    if (const QScreen* screen = QGuiApplication::primaryScreen())
        w.move(screen->availableGeometry().center() - w.rect().center());
}

}  // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    // The operator's desktop is Russian: so are Qt's own buttons and dialogs.
    InstallInterfaceTranslations();
    // The grid's clipboard formats and edit keys; nothing else reaches that unit at start-up.
    InitDBGridExImpExp();
    InitPropFilerEx();  // windows saved and restored through the property store
    frmSplash = new TfrmSplash;
    CenterOnScreen(*frmSplash);
    frmSplash->show();
    frmSplash->repaint();
    QApplication::processEvents();

    QApplication::setApplicationName(QStringLiteral("ВЕМОР"));
    SetApplicationTitle(QStringLiteral("ВЕМОР"));
    TfrmMain window;
    CenterOnScreen(window);
    window.show();
    const int rc = QApplication::exec();
    delete frmSplash;
    return rc;
}

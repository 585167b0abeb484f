#include "app/fspalsh.h"

#include "app/widgets.h"
#include "ui_fspalsh.h"

#include <QPixmap>

TfrmSplash* frmSplash = nullptr;

static void InitAppResources()
{
    // The resources live in a static library: register them before the first use.
    Q_INIT_RESOURCE(app);
}

TfrmSplash::TfrmSplash(QWidget* parent)
    : QWidget(parent, Qt::SplashScreen | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint), ui(new Ui::TfrmSplash)
{
    InitAppResources();
    InstallFontSubstitutes();
    ui->setupUi(this);
    setFixedSize(225, 124);
    ui->Image1->setPixmap(QPixmap(QStringLiteral(":/images/vemor32.xpm")));
}

TfrmSplash::~TfrmSplash()
{
    if (frmSplash == this)
        frmSplash = nullptr;
    delete ui;
}

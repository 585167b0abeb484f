#include "app/fmain.h"

#include "app/fselect.h"
#include "app/liveview.h"
#include "app/fspalsh.h"
#include "app/tables.h"
#include "app/widgets.h"
#include "grid/dbctrlsex.h"
#include "platform/application.h"
#include "platform/comports.h"
#include "platform/datasource.h"
#include "platform/imagelist.h"
#include "platform/datetime.h"
#include "platform/exceptions.h"
#include "platform/query.h"
#include "platform/text.h"
#include "platform/types.h"
#include "serial/comport.h"
#include "serial/serialexcept.h"
#include "app/fmain_ui.h"

#include <QCloseEvent>
#include <QDir>
#include <QFileInfo>
#include <QFocusEvent>
#include <QHeaderView>
#include <QKeyEvent>
#include <QPainter>
#include <QScopedValueRollback>
#include <QShowEvent>
#include <QStyle>
#include <QTabBar>
#include <QThread>
#include <QValidator>
#include <cmath>

int SelectedNumber = -1;
TfrmMain* frmMain = nullptr;

namespace {

const QString kCaption = QStringLiteral(" Дравик Ltd");
const QString kPortCaption = QStringLiteral("  Дравик Ltd");
const QString kScanIdle = QStringLiteral("Сканировать");
const QString kScanRunning = QStringLiteral("Стоп");
const QString kViewStopped = QStringLiteral("СТАРТ");
const QString kViewRunning = QStringLiteral("СТОП");
const QString kNoReply = QStringLiteral("Устройство не отвечает !");
const QString kOpenFailed = QStringLiteral("Ошибка открыти порта !");
const QString kNoPortOpen = QStringLiteral("Нет открытого порта ! Выберите порт в списке.");
const QString kPortsRefused = QStringLiteral("Порты, которые нельзя открыть, в список не включены :");
const QString kReadFirst = QStringLiteral("Нажмите «Считать», измените значения и нажмите «Записать».");

// Why a port that is there cannot be held, in the serial library's words (access denied
// naming the group, in use naming the holder). Nothing when it can be held after all; an
// empty text when there is nothing to say (no such device).
std::optional<QString> PortRefusal(int number)
{
    TComPort probe;
    probe.SetComNumber(std::uint16_t(number));
    probe.SetPromptForPort(false);
    probe.SetAutoOpen(false);
    try {
        probe.SetOpen(true);
        probe.SetOpen(false);
        return std::nullopt;
    } catch (const EPortAccessDenied& e) {
        return e.Message();
    } catch (const EAlreadyOpen& e) {
        return e.Message();
    } catch (...) {
        return QString();
    }
}

// The live view's requests: asked again every tick.
bool IsPoll(int code)
{
    return code == vemor::rqLiveValues || code == 33;
}

// The requests of a log download (both device kinds): one left unanswered ends the download.
bool IsLogDownload(int code)
{
    return code == vemor::rqReadLogFirst || code == vemor::rqReadLogNext || code == 30 || code == 31;
}

// A failure's text under the heading that names what failed.
QString WithReason(const QString& heading, std::exception_ptr e)
{
    const QString reason = ExceptionText(e);
    return reason.isEmpty() ? heading : heading + QLatin1Char('\n') + reason;
}
// A request waits this many request ticks past the wire time of its request and longest reply.
constexpr int kReplyTicks = 5;

// Digits only, and a value that fits the field it feeds on the wire.
class DigitsValidator : public QValidator {
public:
    DigitsValidator(int max, QObject* parent) : QValidator(parent), max_(max) {}
    State validate(QString& input, int&) const override
    {
        if (input.isEmpty())
            return Intermediate;
        qint64 v = 0;
        for (QChar ch : input) {
            if (ch < QLatin1Char('0') || ch > QLatin1Char('9'))
                return Invalid;
            v = v * 10 + (ch.unicode() - '0');
            if (v > max_)
                return Invalid;
        }
        return Acceptable;
    }

private:
    int max_;
};

// Digits and one decimal separator, a value that fits 16 bits in thousandths.
class KoefValidator : public QValidator {
public:
    explicit KoefValidator(QObject* parent) : QValidator(parent) {}
    State validate(QString& input, int&) const override
    {
        const QChar sep = FormatSettings().DecimalSeparator;
        if (input.isEmpty() || input == QString(sep))
            return Intermediate;
        for (QChar ch : input)
            if (!(ch.isDigit() && ch.unicode() < 128) && ch != sep)
                return Invalid;
        if (input.count(sep) > 1)
            return Invalid;
        std::uint16_t v = 0;
        return vemor::TryKoefToThousandths(input, v) ? Acceptable : Invalid;
    }
};

QPalette FacePalette()
{
    return QPalette(ToQColor(clBtnFace), ToQColor(clBtnFace));
}

int SecondsOfDay(TDateTime t)
{
    return int(std::lround(TimeOf(t) * SecsPerDay)) % 86400;
}

int Byte(const QByteArray& f, int i)
{
    return static_cast<std::uint8_t>(f[i]);
}

// An integer typed by the operator; what is not one is said in Russian.
int IntFromText(const QString& text)
{
    int v = 0;
    if (!TryStrToInt(text, v))
        throw EConvertError(QStringLiteral("'%1' - неверное целое число !").arg(text));
    return v;
}

int IntFromEdit(const QLineEdit* edit, int max)
{
    const int v = IntFromText(edit->text());
    if (v < 0 || v > max)
        throw EConvertError(QStringLiteral("Значение '%1' вне пределов 0..%2 !").arg(edit->text()).arg(max));
    return v;
}

}  // namespace

template <class F>
void TfrmMain::Tick(F&& f)
{
    try {
        f();
    } catch (...) {
        ReportLater(std::current_exception());
    }
}

TfrmMain::TfrmMain(QWidget* parent)
    : QWidget(parent),
      ui(new Ui::TfrmMain),
      comPort_(std::make_unique<TComPort>()),
      qryEdit_(std::make_unique<TQuery>()),
      qryProtokol_(std::make_unique<TQuery>()),
      qryCProtokol_(std::make_unique<TQuery>())
{
    frmMain = this;
    clock_.start();
    comPort_->SetBaud(9600);
    comPort_->SetPromptForPort(false);
    comPort_->SetAutoOpen(false);
    comPort_->SetRTS(false);
    comPort_->SetRS485Mode(true);
    comPort_->SetTraceName(QStringLiteral("SERIAL.TRC"));
    comPort_->SetLogName(QStringLiteral("SERIAL.LOG"));
    InstallFontSubstitutes();
    ui->setupUi(this);
    SetupLayout();
    SetupLogGrids();
    ConnectHandlers();
    liveView_ = std::make_unique<TLiveView>(*ui->SchemePanel, *ui->txtU, *ui->txtN, *ui->txtT);
    GlobalTimer.setInterval(100);
    DataTimer.setInterval(10);
    Timer1.setInterval(2000);
    Timer1.setSingleShot(false);
    FormCreate();
    GlobalTimer.start();
    DataTimer.start();
}

TfrmMain::~TfrmMain()
{
    GlobalTimer.stop();
    DataTimer.stop();
    Timer1.stop();
    comPort_->SetOnTriggerAvail(nullptr);
    comPort_.reset();
    DestroyLogGrids();
    if (frmMain == this)
        frmMain = nullptr;
    delete ui;
}

void TfrmMain::SetExchangeTimersEnabled(bool enabled)
{
    if (enabled) {
        GlobalTimer.start();
        DataTimer.start();
    } else {
        GlobalTimer.stop();
        DataTimer.stop();
    }
}

void TfrmMain::SetupLayout()
{
    setFixedSize(547, 313);
    // The window face is the classic button face that the grids and the scheme paint with too.
    setPalette(FacePalette());
    QPalette scan = ui->btnStartScan->palette();
    scan.setColor(QPalette::ButtonText, ToQColor(clNavy));
    ui->btnStartScan->setPalette(scan);
    setWindowFlags(Qt::Window | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowSystemMenuHint |
                   Qt::WindowCloseButtonHint | Qt::WindowTitleHint);

    ui->sbrMain->SetPanels({{QStringLiteral(" ВЕМОР"), 50, false},
                            {QString(), 100, true},
                            {QString(), 250, false},
                            {QStringLiteral(" © Дравик Ltd"), 50, false}});
    ui->sbrMain->OnDrawPanel = [this](QPainter& p, int index, const QRect& r) { sbrMainDrawPanel(p, index, r); };

    // Six tabs share the page control's width.
    ui->pgcVemor->tabBar()->setStyleSheet(QStringLiteral("QTabBar::tab { padding: 3px 5px; }"));
    ui->grpSpeed->SetItems(vemor::SpeedList(), 5);
    ui->grpSpeed->SetItemIndex(2);
    ui->lstScanVemor->setColumnWidth(0, 70);
    ui->lstScanVemor->setColumnWidth(1, 90);
    ui->lstScanVemor->setSelectionMode(QAbstractItemView::SingleSelection);
    // A plain report list: its columns stay where they are and take no clicks.
    ui->lstScanVemor->header()->setSectionsMovable(false);
    ui->lstScanVemor->header()->setSectionsClickable(false);

    ui->btnScan->setIcon(style()->standardIcon(QStyle::SP_FileDialogContentsView));
    ui->btnParams->setIcon(style()->standardIcon(QStyle::SP_FileDialogDetailedView));
    ui->btnView->setIcon(style()->standardIcon(QStyle::SP_MediaPlay));
    ui->btnProtokol->setIcon(style()->standardIcon(QStyle::SP_FileDialogListView));

    // Entries that feed one byte or one 16-bit word take only what fits.
    ui->edtUn->setValidator(new DigitsValidator(65535, this));
    ui->edtUk->setValidator(new DigitsValidator(65535, this));
    ui->edtTp->setValidator(new DigitsValidator(255, this));
    ui->edtTb->setValidator(new DigitsValidator(255, this));
    ui->edtUpKO->setValidator(new DigitsValidator(255, this));
    ui->edtKoef->setValidator(new KoefValidator(this));
    for (QLineEdit* e : {ui->edtUn, ui->edtUk, ui->edtTp, ui->edtTb, ui->edtKoef, ui->edtUpKO})
        e->installEventFilter(this);
    // The channel names: unbound data-aware edits, flat with their border always drawn.
    for (QLineEdit* edit : ui->boxSulmNames->findChildren<QLineEdit*>()) {
        auto* name = dynamic_cast<TDBEditEx*>(edit);
        if (!name)
            continue;
        name->SetFlat(true);
        name->SetAlwaysShowBorder(true);
        name->SetMaxLength(75);
    }
    // A contact that the device has in use, of a type not stored on this computer.
    for (QComboBox* c : Contacts().type)
        c->setPlaceholderText(QStringLiteral("задействован"));
    // Spin edits change only by their buttons and arrow keys.
    for (QSpinBox* s : {ui->edtDelayKO1, ui->edtDelayKO2, ui->edtDelayKO3, ui->edtDelayKO4, ui->edtDelayEngine,
                        ui->edtDelayRazr, ui->edtDelayUn, ui->edtDelayUk, ui->edtFiltrKO}) {
        s->installEventFilter(this);
        for (QLineEdit* inner : s->findChildren<QLineEdit*>())
            inner->installEventFilter(this);
    }
}

void TfrmMain::ConnectHandlers()
{
    auto click = [this](QAbstractButton* b, void (TfrmMain::*h)()) {
        connect(b, &QAbstractButton::clicked, this, MakeGuarded([this, h] { (this->*h)(); }));
    };
    connect(ui->cmbPorts, &QComboBox::activated, this, MakeGuarded([this](int) { cmbPortsChange(); }));
    connect(ui->cmbDevice, &QComboBox::activated, this, MakeGuarded([this](int) { cmbDeviceChange(); }));
    click(ui->btnScan, &TfrmMain::btnScanClick);
    click(ui->btnParams, &TfrmMain::btnParamsClick);
    click(ui->btnView, &TfrmMain::btnViewClick);
    click(ui->btnProtokol, &TfrmMain::btnProtokolClick);
    click(ui->btnStartScan, &TfrmMain::btnStartScanClick);
    click(ui->btnChange, &TfrmMain::btnChangeClick);
    click(ui->Button1, &TfrmMain::Button1Click);
    click(ui->btnReadParams, &TfrmMain::btnSulmParamsReadClick);
    click(ui->btnSulmParamsRead, &TfrmMain::btnSulmParamsReadClick);
    click(ui->btnWriteParams, &TfrmMain::btnWriteParamsClick);
    click(ui->btnSulmParamsWrite, &TfrmMain::btnWriteParamsClick);
    click(ui->btnReadProtokol, &TfrmMain::btnReadProtokolClick);
    click(ui->Button3, &TfrmMain::btnReadProtokolClick);
    click(ui->Button2, &TfrmMain::Button2Click);
    click(ui->Button6, &TfrmMain::Button2Click);
    click(ui->btnSelectProtokol, &TfrmMain::btnSelectProtokolClick);
    click(ui->Button4, &TfrmMain::btnSelectProtokolClick);
    click(ui->btnSaveProtokol, &TfrmMain::btnSaveProtokolClick);
    click(ui->Button5, &TfrmMain::btnSaveProtokolClick);
    qryProtokol_->BeforeOpen.Add([this](TDataSet&) { qryProtokolBeforeOpen(); });
    qryProtokol_->AfterOpen.Add([this](TDataSet&) { qryProtokolAfterOpen(); });
    qryProtokol_->OnCalcFields.Add([this](TDataSet& ds) { qryProtokolCalcFields(ds); });
    qryCProtokol_->BeforeOpen.Add([this](TDataSet&) { qryCProtokolBeforeOpen(); });
    qryCProtokol_->AfterOpen.Add([this](TDataSet&) { qryCProtokolAfterOpen(); });
    click(ui->btnStartView, &TfrmMain::btnStartViewClick);
    click(ui->btnSulmViewStart, &TfrmMain::btnStartViewClick);
    const auto types = Contacts().type;
    for (int i = 0; i < 4; ++i)
        connect(types[std::size_t(i)], &QComboBox::activated, this,
                MakeGuarded([this, i](int) { cmbKOTypeChange(i + 1); }));
    WatchParamEdits();
    connect(ui->lstScanVemor, &QTreeWidget::currentItemChanged, this,
            MakeGuarded([this](QTreeWidgetItem* current, QTreeWidgetItem*) { lstScanVemorChanging(current); }));
    connect(&GlobalTimer, &QTimer::timeout, this, [this] { Tick([this] { GlobalTimerTimer(); }); });
    connect(&DataTimer, &QTimer::timeout, this, [this] { Tick([this] { DataTimerTimer(); }); });
    connect(&Timer1, &QTimer::timeout, this, MakeGuarded([this] { Timer1Timer(); }));
    comPort_->SetOnTriggerAvail([this](TCustomComPort*, uint16_t count) { ComPortTriggerAvail(count); });
    comPort_->SetOnPortLost([this](TCustomComPort*) { Guarded([this] { ComPortLost(); }); });
}

// ---- Start-up and window events ----------------------------------------------------------

QString TfrmMain::PortName(int number)
{
    return number <= 9 ? QStringLiteral("COM%1").arg(number) : QStringLiteral("\\\\.\\COM%1").arg(number);
}

int TfrmMain::PortNumber(const QString& name)
{
    const qsizetype at = name.lastIndexOf(QStringLiteral("COM"));
    if (at < 0)
        return 0;
    return name.mid(at + 3).toInt();
}

void TfrmMain::FormCreate()
{
    SelectedNumber = -1;
    FScanNumber = 1;
    FState = stIdle;
    FRxBuffer.Clear();
    ui->cmbNewSpeed->setCurrentIndex(2);
    ui->cmbDevice->setCurrentIndex(0);
    for (QWidget* page : {ui->pnlScan, ui->pnlParams, ui->pnlVemorView, ui->pnlProtokol, ui->pnlSulmParams,
                          ui->pnlSulmView, ui->pnlCProtokol})
        page->setGeometry(0, 31, 547, 263);
    BringToFront(ui->pnlScan);
    for (int i = 1; i <= 16; ++i) {
        FSulmInvert[std::size_t(i - 1)] = ui->grpSulmInvert->findChild<QCheckBox*>(QStringLiteral("chkSulmInvert%1").arg(i));
        FSulmLeds[std::size_t(i - 1)] = ui->pnlSulmView->findChild<QLabel*>(QStringLiteral("ledSulmView%1").arg(i));
    }

    // Port probe: every port the resolver offers that can be held right now. One that is there
    // but cannot be held is left out, and why is said once, here.
    QStringList refused;
    for (int n : AvailableComPorts()) {
        const std::optional<QString> why = ComPortFree(n) ? std::nullopt : PortRefusal(n);
        if (!why)
            ui->cmbPorts->addItem(PortName(n));
        else if (!why->isEmpty())
            refused << *why;
    }
    if (!refused.isEmpty())
        MessageBox(kPortCaption, kPortsRefused + QLatin1Char('\n') + refused.join(QLatin1Char('\n')), MsgIcon::Warning);
    if (ui->cmbPorts->count() > 0) {
        ui->cmbPorts->setCurrentIndex(0);
        comPort_->SetComNumber(PortNumber(ui->cmbPorts->itemText(0)));
        try {
            comPort_->SetOpen(true);
            BringToFront(ui->pnlScan);
        } catch (...) {
            MessageBox(kPortCaption, WithReason(kOpenFailed, std::current_exception()), MsgIcon::Error);
            Guarded([this] { comPort_->SetOpen(false); });
        }
    }

    SetupVemorLogQuery(*qryProtokol_);
    SetupSulmLogQuery(*qryCProtokol_);
    // A database that cannot be opened is reported; the window still comes up.
    Guarded([this] {
        const QString bases = ExeDir() + QStringLiteral("bases/");
        AttachQuery(*qryEdit_, bases);
        AttachQuery(*qryProtokol_, bases);
        AttachQuery(*qryCProtokol_, bases);
        OpenBases(bases);
        SelectVemorIds(*qryEdit_);
    });
    // The live view's scheme; a missing document is reported and the page stays empty.
    Guarded([this] { liveView_->LoadScheme(ExeDir() + QStringLiteral("schemes/vemor.sch")); });
}

void TfrmMain::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    if (!event->spontaneous())
        Guarded([this] { FormShow(); });
}

void TfrmMain::FormShow()
{
    if (frmSplash)
        Timer1.start();
}

void TfrmMain::Timer1Timer()
{
    Timer1.stop();
    if (frmSplash) {
        frmSplash->close();
        frmSplash->deleteLater();
        frmSplash = nullptr;
    }
}

void TfrmMain::closeEvent(QCloseEvent* event)
{
    bool canClose = true;
    Guarded([&] { FormCloseQuery(canClose); });
    if (canClose)
        event->accept();
    else
        event->ignore();
}

void TfrmMain::FormCloseQuery(bool& canClose)
{
    FState = stIdle;
    canClose = true;
}

bool TfrmMain::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::KeyPress && (qobject_cast<QSpinBox*>(watched) ||
                                              qobject_cast<QSpinBox*>(watched->parent()))) {
        // Every typed character goes, backspace and the editing shortcuts included; keys that
        // move the focus or the cursor, or finish the entry, stay.
        const auto* key = static_cast<QKeyEvent*>(event);
        static const QList<int> kept{Qt::Key_Tab, Qt::Key_Backtab, Qt::Key_Delete, Qt::Key_Return,
                                     Qt::Key_Enter, Qt::Key_Escape};
        if (!key->text().isEmpty() && !kept.contains(key->key()))
            return true;
    }
    if (event->type() == QEvent::FocusOut) {
        if (auto* edit = qobject_cast<QLineEdit*>(watched); edit && edit->text().isEmpty() &&
                                                             !qobject_cast<QSpinBox*>(edit->parent()))
            edit->setText(QStringLiteral("0"));
    }
    return QWidget::eventFilter(watched, event);
}

void TfrmMain::cmbPortsChange()
{
    const int number = PortNumber(ui->cmbPorts->currentText());
    try {
        comPort_->SetOpen(false);
        comPort_->SetComNumber(number);
        comPort_->SetOpen(true);
    } catch (...) {
        MessageBox(kPortCaption, WithReason(kOpenFailed, std::current_exception()), MsgIcon::Error);
        Guarded([this] { comPort_->SetOpen(false); });
    }
}

void TfrmMain::cmbDeviceChange()
{
    SelectedNumber = -1;
    ui->lblNum->clear();
    FProgress = 0;
    ui->lstScanVemor->clear();
    BringToFront(ui->pnlScan);
    if (DeviceKind() == 0) {
        setWindowTitle(QStringLiteral(" Дравик Ltd  -  ВЕМОР  (настройка, диагностика)"));
        ui->sbrMain->SetPanelText(0, QStringLiteral(" ВЕМОР"));
    } else if (DeviceKind() == 1) {
        setWindowTitle(QStringLiteral(" Дравик Ltd  -  СУЛМ  (настройка, диагностика)"));
        ui->sbrMain->SetPanelText(0, QStringLiteral(" СУЛМ"));
    }
}

void TfrmMain::lstScanVemorChanging(QTreeWidgetItem* item)
{
    if (!item)
        return;
    SelectedNumber = item->text(0).toInt();
    if (DeviceKind() == 0)
        ui->lblNum->setText(QStringLiteral("ВЕМОР  № ") + item->text(0));
    else if (DeviceKind() == 1)
        ui->lblNum->setText(QStringLiteral("СУЛМ  № ") + item->text(0));
}

int TfrmMain::FoundCount() const
{
    return ui->lstScanVemor->topLevelItemCount();
}

void TfrmMain::BringToFront(QWidget* page)
{
    front_ = page;
    // Only the front page is shown, so the covered ones take no input and no painting.
    for (QWidget* p : {ui->pnlScan, ui->pnlParams, ui->pnlVemorView, ui->pnlProtokol, ui->pnlSulmParams,
                       ui->pnlSulmView, ui->pnlCProtokol})
        p->setVisible(p == page);
    page->raise();
    // The status bar and the top bar stay above the pages.
    ui->Panel1->raise();
    ui->sbrMain->raise();
}

int TfrmMain::DeviceKind() const
{
    return ui->cmbDevice->currentIndex();
}

// ---- Status bar --------------------------------------------------------------------------

QString TfrmMain::StatusText() const
{
    return ui->sbrMain->PanelText(2);
}

void TfrmMain::SetStatus(const QString& text)
{
    ui->sbrMain->SetPanelText(2, text);
}

void TfrmMain::RepaintStatus()
{
    ui->sbrMain->repaint();
}

QRect TfrmMain::ProgressRect(const QRect& panel, int progress)
{
    const QRect r = panel.adjusted(2, 2, -2, -2);
    const int right = r.left() + int(std::lround(progress / 100.0 * r.width()));
    return QRect(QPoint(r.left(), r.top()), QSize(right - r.left(), r.height()));
}

void TfrmMain::sbrMainDrawPanel(QPainter& painter, int index, const QRect& rect)
{
    if (index != 1)
        return;
    const QRect r = ProgressRect(rect, FProgress);
    if (r.width() <= 0)
        return;
    // A hatch brush paints its lines over an opaque white background.
    painter.fillRect(r, Qt::white);
    painter.fillRect(r, QBrush(ToQColor(clBtnFace), Qt::VerPattern));
}

// ---- Reporting from timer ticks ----------------------------------------------------------

void TfrmMain::ReportLater(std::exception_ptr e)
{
    QTimer::singleShot(0, this, [e] { HandleException(e); });
}

void TfrmMain::MessageLater(const QString& caption, const QString& text, int icon)
{
    QTimer::singleShot(0, this, [caption, text, icon] {
        Guarded([&] { MessageBox(caption, text, static_cast<MsgIcon>(icon)); });
    });
}

// ---- Request side ------------------------------------------------------------------------

void TfrmMain::GlobalTimerTimer()
{
    std::exception_ptr failure;
    CheckReplyTime();
    const std::uint8_t state = FState;
    try {
        switch (state) {
        case stIdle:
            ui->btnStartScan->setText(kScanIdle);
            FProgress = 0;
            SetStatus(QString());
            RepaintStatus();
            if (ui->btnStartView->text() != kViewStopped)
                btnStartViewClick();
            break;
        case stScan:
            ScanTick();
            break;
        case stLiveView:
            SendCommand(DeviceKind() == 0 ? vemor::rqLiveValues : 33);
            break;
        case stReadParams:
            SetStatus(QStringLiteral(" Считывание параметров ..."));
            FState = stIdle;
            SendCommand(DeviceKind() == 0 ? vemor::rqReadParams : 34);
            break;
        case stWriteParams:
            SetStatus(QStringLiteral(" Запись параметров ..."));
            FState = stIdle;
            SendCommand(DeviceKind() == 0 ? vemor::rqWriteParams : 35);
            break;
        case stReadLog:
            FState = stIdle;
            SendCommand(DeviceKind() == 0 ? vemor::rqReadLogFirst : 30);
            break;
        case stReadAccount:
            SetStatus(QStringLiteral(" Считывание учетной записи ..."));
            FState = stIdle;
            SendCommand(DeviceKind() == 0 ? vemor::rqReadAccount : 31);
            break;
        case stClearAccount:
            SetStatus(QStringLiteral(" Обнуление учетной записи ..."));
            FState = stIdle;
            SendCommand(DeviceKind() == 0 ? vemor::rqClearAccount : 32);
            break;
        case stReadInfo:
            SetStatus(QStringLiteral(" Считывание информации ..."));
            FState = stIdle;
            SendCommand(vemor::rqReadInfo);
            break;
        case stWriteInfo:
            SetStatus(QStringLiteral(" Запись информации ..."));
            FState = stIdle;
            SendCommand(vemor::rqWriteInfo);
            break;
        case stSetSpeed:
            FState = stIdle;
            SendCommand(vemor::rqSetSpeed);
            break;
        default:
            break;
        }
    } catch (...) {
        failure = std::current_exception();
        // A scan or live view on a failing port ends here, reported once.
        if (state == stScan || state == stLiveView)
            EndScan();
    }
    const bool selected = SelectedNumber > 0;
    for (QWidget* w : std::initializer_list<QWidget*>{ui->btnView, ui->btnParams, ui->btnProtokol, ui->btnChange})
        w->setEnabled(selected);
    ui->lblNum->setVisible(selected);
    if (failure)
        ReportLater(failure);
    ProcessMessages();
}

void TfrmMain::ScanTick()
{
    const int s = ui->edtScanStartNum->value();
    const int e = ui->edtScanEndNum->value();
    auto showProgress = [this] {
        SetStatus(QStringLiteral(" Сканирование (") + ui->grpSpeed->Items().value(FSpeedIndex) +
                  QStringLiteral(" бод/с) :   № ") + QString::number(FScanNumber) + QStringLiteral(" (") +
                  QString::number(FTries) + QStringLiteral(")"));
        RepaintStatus();
    };
    if (e > FScanNumber) {
        if (FTries >= 3) {
            ++FScanNumber;
            FTries = 1;
        } else {
            ++FTries;
        }
        // The range can be edited while the scan runs: keep the bar within a byte.
        FProgress = e > s ? std::clamp((FScanNumber - s) * 100 / (e - s), 0, 255) : 0;
        showProgress();
        SendCommand(vemor::rqIdentify);
    } else if (FTries < 3) {
        ++FTries;
        showProgress();
        SendCommand(vemor::rqIdentify);
    } else {
        ui->btnStartScan->setText(kScanIdle);
        if (FAutoSpeed && ui->grpSpeed->Items().size() - 1 > FSpeedIndex) {
            ui->grpSpeed->SetItemIndex(ui->grpSpeed->ItemIndex() + 1);
            // A failed reopen at the next speed ends the scan instead of stepping on.
            if (!StartScan())
                EndScan();
        } else {
            EndScan();
        }
    }
}

void TfrmMain::EndScan()
{
    FState = stIdle;
    FProgress = 0;
    SetStatus(QString());
    RepaintStatus();
}

void TfrmMain::btnStartScanClick()
{
    ui->lstScanVemor->clear();
    FScanAsked.clear();
    StartStopScan();
}

QString TfrmMain::OpenPortAtScanSpeed()
{
    comPort_->SetOpen(false);
    if (ui->cmbPorts->count() == 0)
        return kNoPortOpen;
    // The line settles before it is opened at the new speed.
    QThread::msleep(300);
    comPort_->SetBaud(vemor::SpeedBaud(ui->grpSpeed->ItemIndex()));
    try {
        comPort_->SetOpen(true);
        return QString();
    } catch (...) {
        return ExceptionText(std::current_exception());
    }
}

void TfrmMain::StartStopScan()
{
    if (ui->btnStartScan->text() == kScanIdle)
        StartScan();
    else
        EndScan();
}

bool TfrmMain::StartScan()
{
    // Inside a request tick the boxes wait until the tick is over.
    const bool inTick = FState == stScan;
    auto report = [&](const QString& text) {
        if (inTick)
            MessageLater(kPortCaption, text, int(MsgIcon::Error));
        else
            MessageBox(kPortCaption, text, MsgIcon::Error);
    };
    ui->btnStartScan->setText(kScanRunning);
    if (const QString reason = OpenPortAtScanSpeed(); !reason.isNull()) {
        const QString heading = QStringLiteral("Ошибка открытия порта !");
        report(reason.isEmpty() ? heading : heading + QLatin1Char('\n') + reason);
        return false;
    }
    if (ui->edtScanStartNum->value() >= ui->edtScanEndNum->value()) {
        report(QStringLiteral("Конечный заводской номер меньше или равен начального !"));
        return false;
    }
    SelectedNumber = -1;
    ui->lblNum->clear();
    FProgress = 0;
    SetStatus(QString());
    FScanNumber = ui->edtScanStartNum->value();
    FSpeedIndex = std::uint8_t(ui->grpSpeed->ItemIndex());
    FAutoSpeed = ui->chkAutoSpeed->isChecked();
    FTries = 0;
    FState = stScan;
    return true;
}

void TfrmMain::btnChangeClick()
{
    FState = stSetSpeed;
}

void TfrmMain::btnSulmParamsReadClick()
{
    FState = stReadParams;
}

TfrmMain::ContactControls TfrmMain::Contacts() const
{
    return {{ui->cmbKO1Type, ui->cmbKO2Type, ui->cmbKO3Type, ui->cmbKO4Type},
            {ui->chkKo1Invert, ui->chkKo2Invert, ui->chkKo3Invert, ui->chkKo4Invert},
            {ui->chkWriteEngineOn1, ui->chkWriteEngineOn2, ui->chkWriteEngineOn3, ui->chkWriteEngineOn4},
            {ui->chkWriteEngineOff1, ui->chkWriteEngineOff2, ui->chkWriteEngineOff3, ui->chkWriteEngineOff4},
            {ui->edtDelayKO1, ui->edtDelayKO2, ui->edtDelayKO3, ui->edtDelayKO4}};
}

vemor::ParamBlock TfrmMain::ParamsFromPage()
{
    // What was read, with what the operator changed on top: a value that a control cannot show
    // (a filter of 0 %, a delay of 1 200 ms, a contact in use of a type not known here) goes back
    // as the device holds it.
    vemor::ParamBlock p = FParamsAsRead;
    auto edited = [this](const QObject* c) { return FParamsEdited.contains(c); };
    auto check = [&](const QCheckBox* c, bool& value) {
        if (edited(c))
            value = c->isChecked();
    };
    auto spin = [&](const QSpinBox* s, auto& value) {
        if (edited(s))
            value = std::remove_reference_t<decltype(value)>(s->value());
    };
    auto number = [&](const QLineEdit* e, auto& value, int max) {
        if (edited(e))
            value = std::remove_reference_t<decltype(value)>(IntFromEdit(e, max));
    };
    number(ui->edtUpKO, p.upKO, 255);
    const ContactControls c = Contacts();
    for (std::size_t i = 0; i < 4; ++i) {
        check(c.invert[i], p.invert[i]);
        check(c.writeOn[i], p.writeOn[i]);
        check(c.writeOff[i], p.writeOff[i]);
        if (edited(c.type[i]) && c.type[i]->currentIndex() >= 0)
            p.isBtn[i] = c.type[i]->currentIndex() > 0;
        spin(c.delay[i], p.delay[i]);
    }
    check(ui->chkInvertEngine, p.invertEngine);
    check(ui->chkInvertRazr, p.invertRazr);
    check(ui->chkPersonalKontrolKO, p.personalKontrolKO);
    check(ui->chkRazrSelfOn, p.razrSelfOn);
    check(ui->chkWriteEngineOnRazr, p.writeOnRazr);
    check(ui->chkWriteEngineOnUn, p.writeOnUn);
    check(ui->chkWriteEngineOnUk, p.writeOnUk);
    check(ui->chkWriteEngineOffRazr, p.writeOffRazr);
    check(ui->chkWriteEngineOffUn, p.writeOffUn);
    check(ui->chkWriteEngineOffUk, p.writeOffUk);
    check(ui->chkRazr, p.razr);
    spin(ui->edtFiltrKO, p.filtrKO);
    spin(ui->edtDelayEngine, p.delayEngine);
    spin(ui->edtDelayRazr, p.delayRazr);
    spin(ui->edtDelayUn, p.delayUn);
    spin(ui->edtDelayUk, p.delayUk);
    number(ui->edtUn, p.un, 65535);
    number(ui->edtUk, p.uk, 65535);
    number(ui->edtTp, p.tp, 255);
    number(ui->edtTb, p.tb, 255);
    if (ui->chkZavUst->isChecked()) {
        p.koef = 0;
    } else if (edited(ui->edtKoef) && !vemor::TryKoefToThousandths(ui->edtKoef->text(), p.koef)) {
        throw EConvertError(QStringLiteral("'%1' - неверное число !").arg(ui->edtKoef->text()));
    }
    int y = 0, mo = 0, d = 0, h = 0, mi = 0, s = 0, ms = 0;
    DecodeDateTime(Now(), y, mo, d, h, mi, s, ms);
    p.clock = {s, mi, h, d, mo, y % 100};
    return p;
}

void TfrmMain::WatchParamEdits()
{
    auto note = [this](const QObject* c) {
        if (!FFillingParams)
            FParamsEdited.insert(c);
    };
    for (QCheckBox* c : ui->pnlParams->findChildren<QCheckBox*>())
        connect(c, &QCheckBox::toggled, this, [note, c] { note(c); });
    for (QSpinBox* c : ui->pnlParams->findChildren<QSpinBox*>())
        connect(c, &QSpinBox::valueChanged, this, [note, c] { note(c); });
    for (QComboBox* c : ui->pnlParams->findChildren<QComboBox*>())
        connect(c, &QComboBox::currentIndexChanged, this, [note, c] { note(c); });
    for (QLineEdit* c : {ui->edtUn, ui->edtUk, ui->edtUpKO, ui->edtTp, ui->edtTb, ui->edtKoef})
        connect(c, &QLineEdit::textChanged, this, [note, c] { note(c); });
    connect(ui->edtInformation, &QLineEdit::textChanged, this, [this] { FInfoEdited = true; });
}

void TfrmMain::SendCommand(int code)
{
    // The port component's own words for this are no help to the operator.
    if (!comPort_->Active())
        throw Exception(kNoPortOpen);
    vemor::RequestContext ctx;
    ctx.deviceKind = DeviceKind();
    ctx.scanNumber = FScanNumber;
    ctx.selectedNumber = SelectedNumber;
    ctx.newSpeedCode = ui->cmbNewSpeed->currentIndex();
    if (const QString why = WriteRefusal(code); !why.isNull())
        throw Exception(why);
    if (code == vemor::rqWriteParams) {
        ctx.params = ParamsFromPage();
        // A contact whose type is not known here keeps what this computer stored for it.
        std::array<int, 4> types = FContactTypesStored;
        const auto combos = Contacts().type;
        for (std::size_t i = 0; i < 4; ++i)
            if (combos[i]->currentIndex() >= 0)
                types[i] = combos[i]->currentIndex();
        StoreVemorContactTypes(*qryEdit_, SelectedNumber, types);
    }
    if (code == vemor::rqWriteInfo) {
        // Unedited, the device gets back its own bytes, whatever the edit made of them.
        const bool edited = FInfoEdited;
        QString text = ui->edtInformation->text().left(vemor::kInformationSize);
        text = text.leftJustified(vemor::kInformationSize, QLatin1Char(' '));
        ui->edtInformation->setText(text);
        ctx.information = edited ? vemor::InformationBytes(text) : FInfoAsRead;
    }
    // A speed change is stored when the device acknowledges it (ReplyIdentify), not before.
    const QByteArray frame = vemor::BuildRequest(code, ctx);
    comPort_->PutString(frame);
    Expect(code, ctx, int(frame.size()));
}

void TfrmMain::Expect(int code, const vemor::RequestContext& ctx, int frameSize)
{
    const auto expected = vemor::ExpectedReply(code, ctx);
    if (!expected) {
        FPending.reset();
        return;
    }
    const int wire = vemor::WireMs(frameSize + vemor::MaxReplyLength(expected->command), comPort_->Baud());
    const std::int64_t deadline = clock_.elapsed() + wire + kReplyTicks * GlobalTimer.interval();
    // A poll keeps the time of the oldest one not answered yet: a device gone mute is noticed.
    if (IsPoll(code) && FPending && FPending->code == code && FPending->expected.number == expected->number) {
        FPending->span = deadline - clock_.elapsed();
        return;
    }
    FPending = Pending{code, *expected, deadline, deadline - clock_.elapsed()};
    if (code == vemor::rqIdentify)
        FScanAsked.insert(ctx.scanNumber);
}

void TfrmMain::CheckReplyTime()
{
    // A silent number is what a scan expects.
    if (!FPending || FPending->code == vemor::rqIdentify || clock_.elapsed() <= FPending->deadlineMs)
        return;
    const bool poll = IsPoll(FPending->code);
    // A download that ends here leaves no write-ahead log behind either.
    if (IsLogDownload(FPending->code))
        EndLogDownloadWrites(*qryEdit_);
    FPending.reset();
    if (poll) {
        if (ui->btnStartView->text() == kViewStopped)
            return;
        // The live view does not go on showing the last values as if they were live.
        btnStartViewClick();
    }
    FProgress = 0;
    SetStatus(QString());
    RepaintStatus();
    MessageLater(kCaption, kNoReply, int(MsgIcon::Error));
}

std::optional<int> TfrmMain::TakeReply(const QByteArray& f)
{
    if (!FPending)
        return std::nullopt;
    const int code = FPending->code;
    vemor::Expectation expected = FPending->expected;
    if (code == vemor::rqIdentify) {
        // Any number the scan asked may answer, also after the scan has moved on.
        expected.number = Byte(f, 2) * 256 + Byte(f, 3);
        if (FScanAsked.contains(expected.number) && vemor::Answers(f, expected))
            return code;
        return std::nullopt;
    }
    if (!vemor::Answers(f, expected))
        return std::nullopt;
    // The operator has chosen another device since: its answer is no longer wanted.
    if (code != vemor::rqSetSpeed && expected.number != SelectedNumber)
        return std::nullopt;
    // The live view polls: each of its replies answers it, and it waits again from now.
    if (IsPoll(code))
        FPending->deadlineMs = clock_.elapsed() + FPending->span;
    else
        FPending.reset();
    return code;
}

// ---- Reply side --------------------------------------------------------------------------

void TfrmMain::ComPortTriggerAvail(int count)
{
    QByteArray bytes;
    bytes.reserve(count);
    for (int i = 0; i < count; ++i)
        bytes.append(comPort_->GetChar());
    AppendReceived(bytes);
}

void TfrmMain::ComPortLost()
{
    // Whatever ran on the port ends here, and it is said once: the port is closed, so later
    // requests say that no port is open.
    if (FPending && IsLogDownload(FPending->code))
        EndLogDownloadWrites(*qryEdit_);
    FPending.reset();
    if (ui->btnStartView->text() != kViewStopped)
        btnStartViewClick();
    FState = stIdle;
    FProgress = 0;
    SetStatus(QString());
    RepaintStatus();
    const int port = comPort_->ComNumber();
    QTimer::singleShot(0, this, [this] { Guarded([this] { comPort_->SetOpen(false); }); });
    MessageLater(kPortCaption, QStringLiteral("Связь с портом COM%1 потеряна !").arg(port), int(MsgIcon::Error));
}

void TfrmMain::AppendReceived(const QByteArray& bytes)
{
    FRxBuffer.Append(bytes, clock_.elapsed());
}

void TfrmMain::DataTimerTimer()
{
    if (FRxBuffer.IsEmpty())
        return;
    // No partial frame is waited for past the time the reply awaited is given up (a scan's is never).
    const bool timed = FPending && FPending->code != vemor::rqIdentify;
    const int len = FRxBuffer.FrontFrame(clock_.elapsed(), timed ? FPending->deadlineMs : vemor::RxBuffer::kNoDeadline);
    if (len == 0)
        return;
    // The frame leaves the buffer before its action runs, so a failing action is not repeated.
    const QByteArray frame = FRxBuffer.Data().left(len);
    FRxBuffer.Remove(len);
    DispatchReply(frame);
}

void TfrmMain::DispatchReply(const QByteArray& f)
{
    const int command = Byte(f, 4);
    const int n = Byte(f, 5);
    const int need = vemor::MinReplyData(command);
    // Commands without an action, replies too short for their layout, and frames that do not
    // answer what was asked are dropped.
    if (need < 0 || n < need)
        return;
    const std::optional<int> answered = TakeReply(f);
    if (!answered)
        return;
    switch (command) {
    case 0: ReplyIdentify(f, *answered); break;
    case 1: ReplyLive(f); break;
    case 2: ReplyParams(f); break;
    case 3: FState = stWriteInfo; break;
    case 4: ReplyAccount(f); break;
    case 5: FState = stReadAccount; break;
    case 6: ReplyLogBlock(f); break;
    case 7: ReplyInfo(f); break;
    case 8:
        // The page no longer shows the device's text: nothing of it can be written back
        // until the read that follows has shown it again.
        ui->edtInformation->clear();
        FInfoNumber = -1;
        FState = stReadParams;
        break;
    case 30: ReplySulmLog(f); break;
    case 31: ReplySulmAccount(f); break;
    case 32: FState = stReadLog; break;
    case 33: ReplySulmLive(f); break;
    case 34: ReplySulmParams(f); break;
    case 35: FState = stReadParams; break;
    default: break;
    }
}

void TfrmMain::ReplyIdentify(const QByteArray& f, int answered)
{
    const int number = Byte(f, 2) * 256 + Byte(f, 3);
    const bool speedChange = answered == vemor::rqSetSpeed;
    const bool scanned = FState == stScan && number == FScanNumber;
    // Only the number being asked moves the scan on; past the last number the pass is over.
    if (scanned) {
        if (FScanNumber < ui->edtScanEndNum->value()) {
            ++FScanNumber;
            FTries = 1;
        } else {
            FTries = 3;
        }
    }
    // A device is listed once, however many of its answers come; a speed change lists it anew.
    if (!speedChange && !ui->lstScanVemor->findItems(QString::number(number), Qt::MatchExactly, 0).isEmpty())
        return;
    FSpeedCode = std::uint8_t(Byte(f, 6));
    if (FSpeedCode >= ui->grpSpeed->Items().size()) {
        FState = stIdle;
        FProgress = 0;
        RepaintStatus();
        MessageLater(kCaption,
                     QStringLiteral("Ошибка ! Неверные данные :\nзав.№ = %1, скорость (код) = %2")
                         .arg(number)
                         .arg(FSpeedCode),
                     int(MsgIcon::Error));
        ui->lstScanVemor->clear();
        return;
    }
    if (speedChange) {
        // The device took its new speed: what was found at the old one is gone from the line.
        ui->lstScanVemor->clear();
        ui->grpSpeed->SetItemIndex(FSpeedCode);
    }
    auto* item = new QTreeWidgetItem(ui->lstScanVemor);
    item->setText(0, QString::number(number));
    item->setText(1, ui->grpSpeed->Items().at(FSpeedCode));
    // Only an answer to the operator's own request for this number (the scan's current
    // number, the speed change) selects the device, as a click on it does; any other only
    // lists it, so the page and "Записать" stay with the device the operator chose.
    if (scanned || speedChange)
        lstScanVemorChanging(item);
    const int type = Byte(f, 1);
    if (type == 1)
        StoreVemorSpeed(*qryEdit_, number, FSpeedCode);
    else if (type == 2)
        StoreSulmSpeed(*qryEdit_, number, FSpeedCode);
}

void TfrmMain::ReplyLive(const QByteArray& f)
{
    const int s = Byte(f, 6);
    const int u = Byte(f, 7) * 256 + Byte(f, 8);
    const int t = Byte(f, 9);
    liveView_->Reply(s, u, t);
}

void TfrmMain::ReplyParams(const QByteArray& f)
{
    const vemor::ParamBlock p = vemor::DecodeParamBlock(f.constData() + 6);
    VemorParameters v;
    v.upko = p.upKO;
    v.invert = p.invert;
    v.invertEngine = p.invertEngine;
    v.invertRazr = p.invertRazr;
    v.personalKontrolKO = p.personalKontrolKO;
    v.writeEngineOn = p.writeOn;
    v.writeEngineOnRazr = p.writeOnRazr;
    v.writeEngineOnUn = p.writeOnUn;
    v.writeEngineOnUk = p.writeOnUk;
    v.writeEngineOff = p.writeOff;
    v.writeEngineOffRazr = p.writeOffRazr;
    v.writeEngineOffUn = p.writeOffUn;
    v.writeEngineOffUk = p.writeOffUk;
    v.filtrKO = p.filtrKO;
    v.delay = p.delay;
    v.delayEngine = p.delayEngine;
    v.delayRazr = p.delayRazr;
    v.delayUn = p.delayUn;
    v.delayUk = p.delayUk;
    v.razrSelfOn = p.razrSelfOn;
    v.isBtn = p.isBtn;
    v.razr = p.razr;
    v.ureg = p.un;
    v.ualert = p.uk;
    v.tpause = p.tp;
    v.tblock = p.tb;
    v.koef = p.koef / 1000.0;
    v.clockText = DeviceClockText(p.clock.day, p.clock.month, p.clock.year, p.clock.hour, p.clock.minute,
                                  p.clock.second);
    StoreVemorParameters(*qryEdit_, SelectedNumber, v);
    ui->chkZavUst->setChecked(false);
    FState = stReadInfo;
}

void TfrmMain::ReplyInfo(const QByteArray& f)
{
    const int n = Byte(f, 5);
    FInfoAsRead = f.mid(6, vemor::kInformationSize).leftJustified(vemor::kInformationSize, ' ');
    ui->edtInformation->setText(FromCp1251(FInfoAsRead));
    FInfoEdited = false;
    // The version takes what the frame holds of it, never bytes beyond its data.
    const int versionBytes = std::clamp(6 + n - 38, 0, vemor::kVersionSize);
    ui->lblTip->setText(QStringLiteral("Версия ПО ВЕМОР :  ") + FromCp1251(f.mid(38, versionBytes)));
    FInfoNumber = SelectedNumber;
    RefreshParams();
    MessageLater(kCaption, QStringLiteral("Параметры считаны (записаны) !"), int(MsgIcon::Information));
}

void TfrmMain::ShowDateError(int day, int month, int year, int hour, int minute, int second)
{
    // It ends the download.
    EndLogDownloadWrites(*qryEdit_);
    FState = stIdle;
    FProgress = 0;
    RepaintStatus();
    MessageLater(kCaption,
                 QStringLiteral("Ошибка ! Неверные данные (дата/время %1.%2.%3 %4:%5:%6)")
                     .arg(day)
                     .arg(month)
                     .arg(year)
                     .arg(hour)
                     .arg(minute)
                     .arg(second),
                 int(MsgIcon::Error));
}

void TfrmMain::ReplyAccount(const QByteArray& f)
{
    const int second = vemor::FromBcd(std::uint8_t(f[10]));
    const int minute = vemor::FromBcd(std::uint8_t(f[11]));
    const int hour = vemor::FromBcd(std::uint8_t(f[12]));
    const int day = vemor::FromBcd(std::uint8_t(f[14]));
    const int month = vemor::FromBcd(std::uint8_t(f[15]));
    const int year = vemor::FromBcdYear(std::uint8_t(f[16]));
    TDateTime date = 0, time = 0;
    if (!TryEncodeDate(2000 + year, month, day, date) || !TryEncodeTime(hour, minute, second, 0, time)) {
        ShowDateError(day, month, year, hour, minute, second);
        return;
    }
    FBeginDate = date;
    FBeginTime = time;
    StoreVemorAccount(*qryEdit_, SelectedNumber, Byte(f, 6) * 256 + Byte(f, 7), Byte(f, 8) * 256 + Byte(f, 9),
                      date + time);
    FState = stReadLog;
}

void TfrmMain::CountLogRecord()
{
    ++FLogCount;
    FProgress = FLogCount * 100 / 40;
    SetStatus(QStringLiteral(" Считывание протокола - запись :  ") + QString::number(FLogCount));
    RepaintStatus();
}

void TfrmMain::ReplyLogBlock(const QByteArray& f)
{
    const int n = Byte(f, 5);
    const bool lastBlock = Byte(f, 6) != 0;
    const int records = (n - 1) / vemor::kLogRecordSize;
    const bool filter = !ui->chkReadAllRecordsVemorProtokol->isChecked();
    const int beginDay = int(FBeginDate);
    const int beginSecs = SecondsOfDay(FBeginTime);
    LogBlockTransaction block(*qryEdit_);
    for (int i = 0; i < records; ++i) {
        const char* r = f.constData() + 7 + i * vemor::kLogRecordSize;
        auto at = [r](int k) { return static_cast<std::uint8_t>(r[k]); };
        const int ms = vemor::FromBcd(at(4)) * 20;
        const int second = vemor::FromBcd(at(5));
        const int minute = vemor::FromBcd(at(6));
        const int hour = vemor::FromBcd(at(7));
        const int day = vemor::FromBcd(at(8));
        const int month = vemor::FromBcd(at(9));
        const int year = vemor::FromBcdYear(at(10));
        TDateTime date = 0, time = 0;
        if (!TryEncodeDate(2000 + year, month, day, date) || !TryEncodeTime(hour, minute, second, 0, time)) {
            block.Commit();
            ShowDateError(day, month, year, hour, minute, second);
            return;
        }
        VemorLogRecord rec;
        rec.fid = SelectedNumber;
        rec.u = at(2) * 256 + at(3);
        rec.milSec = ms;
        rec.vemorOn = at(0) & 0x01;
        rec.selfOn = at(0) & 0x02;
        for (int b = 0; b < 4; ++b)
            rec.btn[std::size_t(b)] = (at(1) >> b) & 1;
        rec.engine = at(1) & 0x10;
        rec.razr = at(1) & 0x20;
        rec.un = at(1) & 0x40;
        rec.uk = at(1) & 0x80;
        rec.date = date;
        rec.time = time;
        const int recDay = int(date);
        if (filter && recDay < beginDay)
            continue;
        // Records come newest first: one from before the account began ends the download.
        if (filter && recDay == beginDay && SecondsOfDay(time) < beginSecs) {
            block.Commit();
            EndLogDownload();
            return;
        }
        // A record already stored is skipped; the older ones behind it may still be missing.
        if (AddVemorLogRecord(*qryEdit_, rec))
            ++FLogAdded;
        CountLogRecord();
    }
    block.Commit();
    FState = stIdle;
    if (lastBlock)
        EndLogDownload();
    else
        SendCommand(vemor::rqReadLogNext);
}

void TfrmMain::ReopenLogQuery(TQuery& qry)
{
    if (!qry.Active())
        SetLogQueryRange(qry, SelectedNumber, LogRangeAllStart(), LogRangeAllEnd());
    qry.Close();
    qry.Open();
}

void TfrmMain::EndLogDownload()
{
    FState = stIdle;
    EndLogDownloadWrites(*qryEdit_);
    ReopenLogQuery(*qryProtokol_);
    MessageLater(kCaption, QStringLiteral("Протокол считан. Добавлено записей :  %1 !").arg(FLogAdded),
                 int(MsgIcon::Information));
}

void TfrmMain::ReplySulmLog(const QByteArray& f)
{
    const int n = Byte(f, 5);
    const int records = n / vemor::kSulmLogRecordSize;
    LogBlockTransaction block(*qryEdit_);
    for (int i = records - 1; i >= 0; --i) {
        const char* r = f.constData() + 6 + i * vemor::kSulmLogRecordSize;
        auto at = [r](int k) { return static_cast<std::uint8_t>(r[k]); };
        const std::uint16_t mask = std::uint16_t(at(0) | (at(1) << 8));
        const int num = at(2);
        const int second = vemor::FromBcd(at(3));
        const int minute = vemor::FromBcd(at(4));
        const int hour = vemor::FromBcd(at(5));
        const int day = vemor::FromBcd(at(6));
        const int month = vemor::FromBcd(at(7));
        const int year = vemor::FromBcdYear(at(8));
        TDateTime date = 0, time = 0;
        if (!TryEncodeDate(2000 + year, month, day, date) || !TryEncodeTime(hour, minute, second, 0, time)) {
            block.Commit();
            ShowDateError(day, month, 2000 + year, hour, minute, second);
            return;
        }
        if (AddSulmLogRecord(*qryEdit_, SelectedNumber, date, time, num, mask))
            ++FLogAdded;
        ++FLogCount;
        FProgress = FLogCount * 100 / 22;
        SetStatus(QStringLiteral(" Считывание протокола - запись :  ") + QString::number(FLogCount));
        RepaintStatus();
    }
    block.Commit();
    FProgress = 0;
    RepaintStatus();
    FState = stReadAccount;
}

void TfrmMain::ReplySulmAccount(const QByteArray& f)
{
    const QString begin = DeviceClockText(vemor::FromBcd(std::uint8_t(f[40])), vemor::FromBcd(std::uint8_t(f[41])),
                                          vemor::FromBcdYear(std::uint8_t(f[42])), vemor::FromBcd(std::uint8_t(f[38])),
                                          vemor::FromBcd(std::uint8_t(f[37])), vemor::FromBcd(std::uint8_t(f[36])));
    StoreSulmAccount(*qryEdit_, SelectedNumber, begin);
    EndLogDownloadWrites(*qryEdit_);
    ReopenLogQuery(*qryCProtokol_);
    MessageLater(kCaption, QStringLiteral("Протокол считан. Добавлено записей :  %1 !").arg(FLogAdded),
                 int(MsgIcon::Information));
}

void TfrmMain::ReplySulmLive(const QByteArray& f)
{
    // The channel mask is the first two data bytes, low byte first.
    const int mask = Byte(f, 6) | (Byte(f, 7) << 8);
    for (int i = 0; i < 16; ++i) {
        QLabel* led = FSulmLeds[std::size_t(i)];
        if (!led)
            continue;
        const QColor c = ToQColor((mask >> i) & 1 ? clRed : clBtnFace);
        QPalette pal = led->palette();
        pal.setColor(QPalette::Window, c);
        led->setPalette(pal);
    }
}

void TfrmMain::ReplySulmParams(const QByteArray& f)
{
    // Data: inversion mask (low, high), pause, then the clock: seconds, minutes, hours,
    // day of week (not read), day, month, year.
    const int mask = Byte(f, 6) | (Byte(f, 7) << 8);
    const int pause = Byte(f, 8);
    const QString clock = DeviceClockText(vemor::FromBcd(std::uint8_t(f[13])), vemor::FromBcd(std::uint8_t(f[14])),
                                          vemor::FromBcdYear(std::uint8_t(f[15])), vemor::FromBcd(std::uint8_t(f[11])),
                                          vemor::FromBcd(std::uint8_t(f[10])), vemor::FromBcd(std::uint8_t(f[9])));
    QString inversion;
    for (int i = 0; i < 16; ++i)
        inversion += (mask >> i) & 1 ? QLatin1Char('1') : QLatin1Char('0');
    StoreSulmParameters(*qryEdit_, SelectedNumber, pause, clock, inversion);
    MessageLater(kCaption, QStringLiteral("Параметры считаны (записаны) !"), int(MsgIcon::Information));
    RefreshParams();
}

// ---- Pages -------------------------------------------------------------------------------

void TfrmMain::btnScanClick()
{
    FState = stIdle;
    BringToFront(ui->pnlScan);
}

void TfrmMain::btnParamsClick()
{
    FState = stIdle;
    if (DeviceKind() == 0) {
        RefreshParams();
        BringToFront(ui->pnlParams);
    } else if (DeviceKind() == 1) {
        BringToFront(ui->pnlSulmParams);
        RefreshParams();
    }
}

void TfrmMain::btnViewClick()
{
    FState = stIdle;
    if (DeviceKind() == 0) {
        liveView_->Bind(*qryEdit_, SelectedNumber);
        BringToFront(ui->pnlVemorView);
    } else if (DeviceKind() == 1) {
        BringToFront(ui->pnlSulmView);
    }
}

void TfrmMain::btnStartViewClick()
{
    if (ui->btnStartView->text() == kViewStopped) {
        ui->btnStartView->setText(kViewRunning);
        SetStatus(QStringLiteral(" Просмотр текущих значений ..."));
        FState = stLiveView;
    } else {
        ui->btnStartView->setText(kViewStopped);
        FState = stIdle;
        liveView_->Stop();
        // Polls stop here: none of them waits any more.
        if (FPending && IsPoll(FPending->code))
            FPending.reset();
    }
    ui->btnSulmViewStart->setText(ui->btnStartView->text());
}

void TfrmMain::btnProtokolClick()
{
    FState = stIdle;
    if (DeviceKind() == 0) {
        qryProtokol_->Close();
        SetLogQueryRange(*qryProtokol_, SelectedNumber, LogRangeAllStart(), LogRangeAllEnd());
        qryProtokol_->Open();
        BringToFront(ui->pnlProtokol);
    } else if (DeviceKind() == 1) {
        qryCProtokol_->Close();
        SetLogQueryRange(*qryCProtokol_, SelectedNumber, LogRangeAllStart(), LogRangeAllEnd());
        qryCProtokol_->Open();
        BringToFront(ui->pnlCProtokol);
    }
}

void TfrmMain::btnReadProtokolClick()
{
    TQuery& qry = DeviceKind() == 1 ? *qryCProtokol_ : *qryProtokol_;
    if (!qry.Active()) {
        SetLogQueryRange(qry, SelectedNumber, LogRangeAllStart(), LogRangeAllEnd());
        qry.Open();
    }
    FLogCount = 0;
    FLogAdded = 0;
    FCountBefore = qry.RecordCount();
    FState = stReadAccount;
}

void TfrmMain::Button2Click()
{
    if (MessageBox(kCaption, QStringLiteral("Вы действительно хотите обнулить протокол и учетную запись ?"),
                   MsgIcon::Question, mbYesNo, mbNo) != mbYes)
        return;
    TQuery& qry = DeviceKind() == 1 ? *qryCProtokol_ : *qryProtokol_;
    if (DeviceKind() == 1)
        DeleteSulmLog(*qryEdit_, SelectedNumber);
    else
        DeleteVemorLog(*qryEdit_, SelectedNumber);
    ReopenLogQuery(qry);
    FLogCount = 0;
    FLogAdded = 0;
    FCountBefore = qry.RecordCount();
    FState = stClearAccount;
}

void TfrmMain::Button1Click()
{
    const int n = IntFromText(ui->edtNum->text());
    if (n < 1 || n > 1000) {
        MessageBox(kCaption, QStringLiteral("Неверный зав. № !"), MsgIcon::Information);
        return;
    }
    SelectedNumber = n;
    if (DeviceKind() == 0) {
        SelectVemorSpeed(*qryEdit_, n);
        ui->lblNum->setText(QStringLiteral("ВЕМОР  № ") + ui->edtNum->text());
    } else if (DeviceKind() == 1) {
        SelectSulmSpeed(*qryEdit_, n);
        ui->lblNum->setText(QStringLiteral("СУЛМ  № ") + ui->edtNum->text());
    } else {
        return;
    }
    // A number without a row has no stored speed: both lists show the first item.
    const int speed = qryEdit_->Eof() ? 0 : qryEdit_->FieldByName(QStringLiteral("fspeed"))->AsInteger();
    ui->cmbNewSpeed->setCurrentIndex(speed >= 0 && speed < ui->cmbNewSpeed->count() ? speed : 0);
    ui->grpSpeed->SetItemIndex(ui->cmbNewSpeed->currentIndex());
}

void TfrmMain::cmbKOTypeChange(int contact)
{
    const auto types = Contacts().type;
    QComboBox* sender = types[std::size_t(contact - 1)];
    if (sender->currentIndex() == 0)
        return;
    for (QComboBox* other : types)
        if (other != sender && other->currentIndex() == sender->currentIndex())
            other->setCurrentIndex(0);
}

void TfrmMain::RefreshParams()
{
    TQuery& q = *qryEdit_;
    if (DeviceKind() == 0) {
        // The information text and version belong to the device they were read from.
        if (FInfoNumber != SelectedNumber) {
            ui->edtInformation->clear();
            ui->lblTip->setText(QStringLiteral("Версия ПО ВЕМОР :"));
            FInfoNumber = -1;
        }
        SelectVemorParamsRow(q, SelectedNumber);
        // A device whose parameters were never read from it shows an empty page, never
        // defaults or the values of the device before.
        if (q.Eof()) {
            ClearVemorParams();
            FParamsNumber = -1;
            return;
        }
        FParamsNumber = SelectedNumber;
        auto i = [&q](const QString& name) { return q.FieldByName(name)->AsInteger(); };
        auto b = [&q](const QString& name) { return q.FieldByName(name)->AsBoolean(); };
        // The stored row is what the device last reported: it becomes the block an unchanged
        // page writes back.
        vemor::ParamBlock p;
        std::array<int, 4> types{};
        for (std::size_t k = 0; k < 4; ++k) {
            const QString n = QString::number(k + 1);
            types[k] = i(QStringLiteral("fbtn") + n);
            p.isBtn[k] = b(QStringLiteral("fisbtn") + n);
            p.invert[k] = b(QStringLiteral("finvert") + n);
            p.delay[k] = i(QStringLiteral("fdelay") + n);
            p.writeOn[k] = b(QStringLiteral("fwriteengineon") + n);
            p.writeOff[k] = b(QStringLiteral("fwriteengineoff") + n);
        }
        p.personalKontrolKO = b(QStringLiteral("fpersonalkontrolko"));
        p.filtrKO = std::uint8_t(i(QStringLiteral("ffiltrko")));
        p.delayEngine = i(QStringLiteral("fdelayengine"));
        p.delayUn = i(QStringLiteral("fdelayun"));
        p.delayUk = i(QStringLiteral("fdelayuk"));
        p.delayRazr = i(QStringLiteral("fdelayrazr"));
        p.un = std::uint16_t(i(QStringLiteral("fureg")));
        p.uk = std::uint16_t(i(QStringLiteral("fualert")));
        p.upKO = std::uint8_t(i(QStringLiteral("fupko")));
        p.tp = std::uint8_t(i(QStringLiteral("ftpause")));
        p.tb = std::uint8_t(i(QStringLiteral("ftblock")));
        const double koef = std::round(q.FieldByName(QStringLiteral("fkoef"))->AsFloat() * 1000);
        p.koef = std::uint16_t(std::clamp(koef, 0.0, 65535.0));
        p.razr = b(QStringLiteral("frazr"));
        p.razrSelfOn = b(QStringLiteral("frazrselfon"));
        p.invertEngine = b(QStringLiteral("finvertengine"));
        p.invertRazr = b(QStringLiteral("finvertrazr"));
        p.writeOnRazr = b(QStringLiteral("fwriteengineonrazr"));
        p.writeOffRazr = b(QStringLiteral("fwriteengineoffrazr"));
        p.writeOnUn = b(QStringLiteral("fwriteengineonun"));
        p.writeOffUn = b(QStringLiteral("fwriteengineoffun"));
        p.writeOnUk = b(QStringLiteral("fwriteengineonuk"));
        p.writeOffUk = b(QStringLiteral("fwriteengineoffuk"));
        ShowVemorParams(p, types, q.FieldByName(QStringLiteral("fdatetime"))->AsString());
    } else if (DeviceKind() == 1) {
        SelectSulmParamsRow(q, SelectedNumber);
        // A device without parameters read from it shows empty values rather than defaults
        // or those of the device before.
        const bool row = !q.Eof();
        FParamsNumber = row ? SelectedNumber : -1;
        auto text = [&q, row](const char* name) {
            return row ? q.FieldByName(QString::fromLatin1(name))->AsString() : QString();
        };
        const QString inv = text("finvert");
        for (int k = 0; k < 16; ++k)
            if (QCheckBox* c = FSulmInvert[std::size_t(k)])
                c->setChecked(k < inv.size() && inv.at(k) == QLatin1Char('1'));
        ui->edtSulmDelay->setText(text("fpause"));
        ui->lblSulmDateTime->setText(QStringLiteral("Дата/время :  \n\n") + text("fdatetime"));
        for (QLineEdit* edit : ui->boxSulmNames->findChildren<QLineEdit*>())
            edit->clear();
        SelectSulmNames(q, SelectedNumber);
        for (; !q.Eof(); q.Next()) {
            const QString name = QStringLiteral("edtSulmCannel%1Name").arg(q.FieldByName(QStringLiteral("fpin"))->AsInteger());
            if (auto* edit = ui->boxSulmNames->findChild<QLineEdit*>(name))
                edit->setText(q.FieldByName(QStringLiteral("fname"))->AsString());
        }
    }
}

void TfrmMain::ShowVemorParams(const vemor::ParamBlock& p, const std::array<int, 4>& types, const QString& clockText)
{
    const QScopedValueRollback<bool> filling(FFillingParams, true);
    FParamsEdited.clear();
    FParamsAsRead = p;
    FContactTypesStored = types;
    const ContactControls c = Contacts();
    for (std::size_t k = 0; k < 4; ++k) {
        // The device says whether a contact is in use; its type is known only here. A contact in
        // use of a type not known shows no type rather than "НЕТ".
        QComboBox* type = c.type[k];
        if (!p.isBtn[k])
            type->setCurrentIndex(0);
        else if (types[k] > 0 && types[k] < type->count())
            type->setCurrentIndex(types[k]);
        else
            type->setCurrentIndex(-1);
        c.invert[k]->setChecked(p.invert[k]);
        c.delay[k]->setValue(p.delay[k]);
        c.writeOn[k]->setChecked(p.writeOn[k]);
        c.writeOff[k]->setChecked(p.writeOff[k]);
    }
    ui->chkPersonalKontrolKO->setChecked(p.personalKontrolKO);
    ui->edtFiltrKO->setValue(p.filtrKO);
    ui->edtDelayEngine->setValue(p.delayEngine);
    ui->edtDelayUn->setValue(p.delayUn);
    ui->edtDelayUk->setValue(p.delayUk);
    ui->edtDelayRazr->setValue(p.delayRazr);
    ui->edtUn->setText(QString::number(p.un));
    ui->edtUk->setText(QString::number(p.uk));
    ui->edtUpKO->setText(QString::number(p.upKO));
    ui->edtTp->setText(QString::number(p.tp));
    ui->edtTb->setText(QString::number(p.tb));
    ui->edtKoef->setText(FormatFloat(QStringLiteral("0.000"), p.koef / 1000.0));
    ui->chkRazr->setChecked(p.razr);
    ui->chkRazrSelfOn->setChecked(p.razrSelfOn);
    ui->chkInvertEngine->setChecked(p.invertEngine);
    ui->chkInvertRazr->setChecked(p.invertRazr);
    ui->lblDateTime->setText(clockText);
    ui->chkWriteEngineOnRazr->setChecked(p.writeOnRazr);
    ui->chkWriteEngineOffRazr->setChecked(p.writeOffRazr);
    ui->chkWriteEngineOnUn->setChecked(p.writeOnUn);
    ui->chkWriteEngineOffUn->setChecked(p.writeOffUn);
    ui->chkWriteEngineOnUk->setChecked(p.writeOnUk);
    ui->chkWriteEngineOffUk->setChecked(p.writeOffUk);
}

void TfrmMain::ClearVemorParams()
{
    const QScopedValueRollback<bool> filling(FFillingParams, true);
    FParamsEdited.clear();
    for (QComboBox* c : Contacts().type)
        c->setCurrentIndex(0);
    for (QCheckBox* c : ui->pnlParams->findChildren<QCheckBox*>())
        if (c != ui->chkZavUst)
            c->setChecked(false);
    for (QSpinBox* s : ui->pnlParams->findChildren<QSpinBox*>())
        s->setValue(s->minimum());
    for (QLineEdit* e : {ui->edtUn, ui->edtUk, ui->edtUpKO, ui->edtTp, ui->edtTb, ui->edtKoef})
        e->clear();
    ui->lblDateTime->clear();
}

QString TfrmMain::WriteRefusal(int code) const
{
    const bool params = code == vemor::rqWriteParams || code == 35;
    const bool info = code == vemor::rqWriteParams || code == vemor::rqWriteInfo;
    if (!params && !info)
        return QString();
    if (SelectedNumber <= 0)
        return QStringLiteral("Устройство не выбрано !");
    if (params && FParamsNumber != SelectedNumber)
        return QStringLiteral("Параметры устройства № %1 не считаны с него, записывать нечего !\n").arg(SelectedNumber) +
               kReadFirst;
    // The information text goes with the parameters: a blank one would overwrite the device's.
    if (info && FInfoNumber != SelectedNumber)
        return QStringLiteral("Пользовательские данные устройства № %1 не считаны с него !\n").arg(SelectedNumber) +
               kReadFirst;
    return QString();
}

void TfrmMain::btnWriteParamsClick()
{
    // Nothing goes into the device but what the page shows as read from it.
    if (const QString why = WriteRefusal(DeviceKind() == 1 ? 35 : vemor::rqWriteParams); !why.isNull()) {
        MessageBox(kCaption, why, MsgIcon::Warning);
        return;
    }
    if (DeviceKind() == 0) {
        FState = stWriteParams;
    } else if (DeviceKind() == 1) {
        const int d = IntFromText(ui->edtSulmDelay->text());
        if (d >= 20 && d <= 255)
            FState = stWriteParams;
        else
            MessageBox(kCaption, QStringLiteral("Задержка должна быть в пределах 20..255 мс !"), MsgIcon::Error);
    }
}

// The main window: pages, the device exchange (100 ms request timer, 10 ms reply timer),
// the bus scan, parameters, information, account and log download.
#pragma once

#include "app/protocol.h"
#include "app/savedialog.h"
#include "platform/currency.h"
#include "platform/datetime.h"
#include "platform/document.h"
#include "platform/variant.h"

#include <QElapsedTimer>
#include <QHash>
#include <QTimer>
#include <QWidget>
#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <QSet>

class QComboBox;
class QCheckBox;
class QLabel;
class QLineEdit;
class QPainter;
class QSpinBox;
class QTreeWidgetItem;
class TComPort;
class TDataSet;
class TDataSource;
class TDBGridEx;
class TImageList;
class TQuery;
class TfrmSelect;
class TLiveView;

namespace Ui {
class TfrmMain;
}

// Factory number of the chosen device, -1 for none.
extern int SelectedNumber;

// Exchange states of the request timer.
enum : std::uint8_t {
    stIdle = 0,
    stScan = 1,
    stLiveView = 2,
    stReadParams = 3,
    stWriteParams = 4,
    stReadLog = 5,
    stReadAccount = 6,
    stClearAccount = 7,
    stReadInfo = 8,
    stWriteInfo = 9,
    stSetSpeed = 10,
};

class TfrmMain : public QWidget {
    Q_OBJECT
public:
    explicit TfrmMain(QWidget* parent = nullptr);
    ~TfrmMain() override;

    Ui::TfrmMain& Form() { return *ui; }
    TComPort& ComPort() { return *comPort_; }
    TQuery& QryEdit() { return *qryEdit_; }
    TQuery& QryProtokol() { return *qryProtokol_; }
    TQuery& QryCProtokol() { return *qryCProtokol_; }
    // The scheme panel's live view.
    TLiveView& LiveView() { return *liveView_; }
    // The log query of the chosen device kind.
    TQuery& LogQuery();
    // The date-range dialog, created on first use with this window as owner.
    TfrmSelect* SelectDialog();
    // The log grids of the two pages.
    TDBGridEx& GrdProtokol();
    TDBGridEx& GrdCProtokol();
    // The report document and its save dialog.
    TWordDocument& Wd() { return wd; }
    TSaveDialog& DlgSave() { return dlgSave; }

    // Timers: tests stop them to drive ticks one by one.
    QTimer GlobalTimer;
    QTimer DataTimer;
    QTimer Timer1;
    void SetExchangeTimersEnabled(bool enabled);

    // Window events and handlers (public so that tests can drive them like the operator).
    void FormCreate();
    void FormShow();
    void Timer1Timer();
    void FormCloseQuery(bool& canClose);
    void cmbPortsChange();
    void cmbDeviceChange();
    void btnScanClick();
    void btnParamsClick();
    void btnViewClick();
    void btnProtokolClick();
    void btnStartScanClick();
    void StartStopScan();
    void btnChangeClick();
    void btnSulmParamsReadClick();
    void btnWriteParamsClick();
    void btnReadProtokolClick();
    void Button1Click();
    void Button2Click();
    void btnSelectProtokolClick();
    void btnSaveProtokolClick();
    void qryProtokolBeforeOpen();
    void qryProtokolAfterOpen();
    void qryProtokolCalcFields(TDataSet& ds);
    void qryCProtokolBeforeOpen();
    void qryCProtokolAfterOpen();
    // Report steps: the cursor to a bookmark, text at the cursor, one table cell on.
    void GoToBookmark(const QString& name);
    void WordTypeText(const QString& text);
    void WordNextCell();
    void btnStartViewClick();
    void cmbKOTypeChange(int contact);
    void lstScanVemorChanging(QTreeWidgetItem* item);

    void GlobalTimerTimer();
    void DataTimerTimer();
    void ComPortTriggerAvail(int count);
    // The port's device went away (adapter unplugged, line hung up).
    void ComPortLost();
    void SendCommand(int code);
    void RefreshParams();

    // Draws the progress bar into status panel 1.
    void sbrMainDrawPanel(QPainter& painter, int index, const QRect& rect);
    // The filled part of the progress bar for a panel rectangle.
    static QRect ProgressRect(const QRect& panel, int progress);

    // Exchange state, for tests and the pages.
    std::uint8_t State() const { return FState; }
    void SetState(std::uint8_t state) { FState = state; }
    int Progress() const { return FProgress; }
    int ScanNumber() const { return FScanNumber; }
    int Tries() const { return FTries; }
    int LogCount() const { return FLogCount; }
    int CountBefore() const { return FCountBefore; }
    // Rows the running (or last) download really added.
    int LogAdded() const { return FLogAdded; }
    // True while a request waits for its reply.
    bool AwaitingReply() const { return FPending.has_value(); }
    QString StatusText() const;
    // Devices in the found list.
    int FoundCount() const;
    QWidget* FrontPage() const { return front_; }
    const vemor::RxBuffer& RxBuffer() const { return FRxBuffer; }
    // Feeds received bytes as the port's received-data event does.
    void AppendReceived(const QByteArray& bytes);

    // The contact type name of a code 0..4 ("НЕТ", "СТОП1", "СТОП2", "ГАО", "ТРЗ"); empty for others.
    static QString ContactTypeName(int code);
    // The name the report proposes: prefix + number + "_" + the day as dd_mm_yyyy + ".docx".
    static QString ReportFileName(const QString& prefix, int number, TDateTime day);
    // A sum of the Sulm log's channel 1..16 over the shown records, in the summary's Currency.
    Currency ChannelSum(int channel) const;

    // The candidate port names offered at start-up ("COM1" .. "COM9", "\\.\COM10" ..).
    static QString PortName(int number);
    // The number in a port name; 0 when the name holds none.
    static int PortNumber(const QString& name);

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void SetupLayout();
    void SetupLogGrids();
    void DestroyLogGrids();
    void ConnectHandlers();
    void SetStatus(const QString& text);
    void RepaintStatus();
    void BringToFront(QWidget* page);
    // Reopens the port at the scan's speed: a null text when it opened, else why not.
    QString OpenPortAtScanSpeed();
    bool StartScan();
    void ScanTick();
    void EndScan();
    // Runs a timer tick: an exception is reported after the tick returns, so the box
    // never holds up the timers.
    template <class F>
    void Tick(F&& f);
    void ReportLater(std::exception_ptr e);
    void MessageLater(const QString& caption, const QString& text, int icon);

    // Remembers what the request just written waits for.
    void Expect(int code, const vemor::RequestContext& ctx, int frameSize);
    // Ends a request that went unanswered for too long, with one message.
    void CheckReplyTime();
    // The code of the waiting request that the frame answers (it stops waiting, unless it
    // polls); nothing when the frame answers no request.
    std::optional<int> TakeReply(const QByteArray& frame);
    void DispatchReply(const QByteArray& frame);
    // answered: the request code the reply answers (identify or speed change).
    void ReplyIdentify(const QByteArray& f, int answered);
    // Empties the Vemor parameter page (a device without stored parameters).
    void ClearVemorParams();
    void ReplyLive(const QByteArray& f);
    void ReplyParams(const QByteArray& f);
    void ReplyInfo(const QByteArray& f);
    void ReplyAccount(const QByteArray& f);
    void ReplyLogBlock(const QByteArray& f);
    void ReplySulmLog(const QByteArray& f);
    void ReplySulmAccount(const QByteArray& f);
    void ReplySulmLive(const QByteArray& f);
    void ReplySulmParams(const QByteArray& f);
    void EndLogDownload();
    void ShowDateError(int day, int month, int year, int hour, int minute, int second);
    void CountLogRecord();
    void ReopenLogQuery(TQuery& qry);
    void ReportVemor();
    void ReportSulm();
    void ReportBegin(const QString& templateName);
    void ReportEnd(const QString& prefix);
    // Copies qryEdit's current row (none at its end) into row.
    void KeepAccountRow(QHash<QString, Variant>& row);
    // Status panel 2 at once: the report does not return to the message loop between steps.
    void ShowStatus(const QString& text);
    // A value of the account row read before the log opened (Null when the row is missing).
    // second: the second device kind's row.
    Variant AccountValue(const QString& name, bool second = false) const;
    QString AccountText(const QString& name) const;
    QString AccountBeginText(bool second = false) const;

    // The controls of the four contact tabs, contact 1 first.
    struct ContactControls {
        std::array<QComboBox*, 4> type;
        std::array<QCheckBox*, 4> invert, writeOn, writeOff;
        std::array<QSpinBox*, 4> delay;
    };
    ContactControls Contacts() const;
    vemor::ParamBlock ParamsFromPage();
    // Shows a parameter block on the page (contact types: what this computer stored for each).
    void ShowVemorParams(const vemor::ParamBlock& p, const std::array<int, 4>& types, const QString& clockText);
    // Notes the operator's changes of the parameter page's controls.
    void WatchParamEdits();
    // Why the write request of this code (parameters, information, the second kind's
    // parameters) may not go to the chosen device now; a null text when it may. Only what the
    // pages show as read from that device is written back into it.
    QString WriteRefusal(int code) const;
    int DeviceKind() const;

    Ui::TfrmMain* ui;
    std::unique_ptr<TComPort> comPort_;
    std::unique_ptr<TQuery> qryEdit_;
    std::unique_ptr<TQuery> qryProtokol_;
    std::unique_ptr<TQuery> qryCProtokol_;
    std::unique_ptr<TLiveView> liveView_;
    QWidget* front_ = nullptr;
    QElapsedTimer clock_;

    std::uint8_t FState = 0;
    int FProgress = 0;
    std::uint8_t FSpeedCode = 0;
    bool FAutoSpeed = false;
    int FScanNumber = 1;
    std::uint8_t FSpeedIndex = 0;
    std::uint8_t FTries = 0;
    vemor::RxBuffer FRxBuffer;
    // Wide enough for any log: the counters only feed the progress and the final message.
    int FLogCount = 0;
    int FCountBefore = 0;
    int FLogAdded = 0;
    // The request waiting for its reply: the reply that answers it and until when it may come.
    struct Pending {
        int code = 0;
        vemor::Expectation expected;
        std::int64_t deadlineMs = 0;
        std::int64_t span = 0;  // how long it waits
    };
    std::optional<Pending> FPending;
    // Numbers asked by the running scan: a late answer from one of them still lists its device.
    QSet<int> FScanAsked;
    // The device whose information text and version the parameter page shows (-1: none).
    int FInfoNumber = -1;
    // The device whose parameters, as read from it, the parameter page shows (-1: none).
    int FParamsNumber = -1;
    // The page's parameters as read from the device, and the controls the operator has changed
    // since: an unchanged control goes back into the device as it was read, whatever it can show.
    vemor::ParamBlock FParamsAsRead;
    std::array<int, 4> FContactTypesStored{};
    QSet<const QObject*> FParamsEdited;
    bool FFillingParams = false;
    // The information text as the device sent it; written back as it was unless edited.
    QByteArray FInfoAsRead;
    bool FInfoEdited = false;
    std::array<QCheckBox*, 16> FSulmInvert{};
    std::array<QLabel*, 16> FSulmLeds{};
    double FBeginDate = 0;
    double FBeginTime = 0;
    // The device's row as it was when the log query last opened (lower-case names): the
    // account label, the contact titles and the report read it while the log is shown.
    QHash<QString, Variant> FAccountRow;
    QHash<QString, Variant> FCAccountRow;
    TWordDocument wd;
    TSaveDialog dlgSave;
    // The channel cells' pictures for the values 0 and 1.
    std::unique_ptr<TImageList> imgChannels_;
    // Declared last so that they go before the queries they show.
    std::unique_ptr<TDataSource> dsProtokol_;
    std::unique_ptr<TDataSource> dsCProtokol_;
};

class TfrmSplash;
extern TfrmMain* frmMain;
extern TfrmSplash* frmSplash;

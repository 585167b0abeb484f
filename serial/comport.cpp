#include "serial/comport.h"

#include "platform/application.h"
#include "platform/comports.h"
#include "serial/portselect.h"
#include "serial/serialexcept.h"

#include <QCoreApplication>
#include <QMetaObject>
#include <QPointer>
#include <QSocketNotifier>

#include <deque>
#include <mutex>
#include <system_error>

#include <sys/eventfd.h>
#include <unistd.h>

// The hidden notification object: lives on the component's thread and runs deliveries there.
// Worker threads only push onto a locked queue and write an eventfd; no Qt object crosses threads,
// so the hand-off is visible to the thread checker as well as correct.
class TComPortWindow : public QObject, public INotifyTarget {
public:
    explicit TComPortWindow(TCustomComPort* port)
        : port_(port), wakeFd_(::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC))
    {
        if (wakeFd_ < 0)
            throw std::system_error(errno, std::generic_category(), "eventfd");
        notifier_ = std::make_unique<QSocketNotifier>(wakeFd_, QSocketNotifier::Read);
        QObject::connect(notifier_.get(), &QSocketNotifier::activated, this, [this] { Drain(); });
    }
    ~TComPortWindow() override
    {
        notifier_.reset();
        ::close(wakeFd_);
    }

    // Closing from inside a delivery must not destroy the object whose slot is running: it is
    // orphaned then and deletes itself once the drain has unwound.
    static void Dispose(std::unique_ptr<TComPortWindow> w)
    {
        if (w->draining_ > 0) {
            w->port_ = nullptr;
            w.release();
        }
    }

    void PostNotification(std::shared_ptr<TDelivery> delivery) override
    {
        {
            std::lock_guard lock(queueLock_);
            queue_.push_back(std::move(delivery));
        }
        const uint64_t one = 1;
        [[maybe_unused]] ssize_t n = ::write(wakeFd_, &one, sizeof one);
    }

private:
    void Drain()
    {
        uint64_t count = 0;
        [[maybe_unused]] ssize_t n = ::read(wakeFd_, &count, sizeof count);
        // Counted: a handler's exception box runs a nested loop that may drain again.
        ++draining_;
        while (port_) {
            std::shared_ptr<TDelivery> d;
            {
                std::lock_guard lock(queueLock_);
                if (queue_.empty())
                    break;
                d = std::move(queue_.front());
                queue_.pop_front();
            }
            port_->NotifyWindowProc(d);
        }
        --draining_;
        if (!port_ && draining_ == 0) {
            notifier_->setEnabled(false);
            deleteLater();
        }
    }

    TCustomComPort* port_;
    int draining_ = 0;
    int wakeFd_;
    std::unique_ptr<QSocketNotifier> notifier_;
    std::mutex queueLock_;
    std::deque<std::shared_ptr<TDelivery>> queue_;
};

TCustomComPort::TCustomComPort(QObject* owner) : TBaseComponent(owner) {}

TCustomComPort::~TCustomComPort()
{
    // A destructor must not throw: a dump that could not be written is reported instead.
    if (state_ == State::Open) {
        try {
            ClosePortSequence();
        } catch (...) {
            HandleException(std::current_exception());
        }
    }
    if (state_ == State::Closing && dispatcher_) {
        // Freed inside its own handler: that delivery ends here, so the threads can be joined.
        dispatcher_->EndRunningDelivery();
        dispatcher_->FinishDeferredClose();
        ReleaseDispatcher();
    }
}

// ---- Open and close ---------------------------------------------------------------------------

void TCustomComPort::SetOpen(bool value)
{
    // The last request wins: a close asked for after a reopen was asked for during a
    // deferred close cancels the reopen.
    if (!value)
        reopenPending_ = false;
    if (value == open_)
        return;
    if (loading_) {
        open_ = value;
        if (value)
            openOnLoad_ = true;
        return;
    }
    if (value) {
        if (state_ == State::Closed)
            OpenPortSequence();
        else if (state_ == State::Closing)
            reopenPending_ = true;
    } else {
        ClosePortSequence();
    }
}

void TCustomComPort::Loaded()
{
    loading_ = false;
    if (openOnLoad_)
        open_ = true;
    if (open_) {
        openOnLoad_ = false;
        open_ = false;
        SetOpen(true);
    }
}

void TCustomComPort::CheckPortNumber()
{
    if (comNumber_ != 0)
        return;
    if (!promptForPort_)
        RaiseForErrorCode(ecode::NoPortSelected);
    TComSelectForm form;
    if (form.exec() != QDialog::Accepted)
        RaiseForErrorCode(ecode::NoPortSelected);
    comNumber_ = static_cast<uint16_t>(form.SelectedComNumber());
}

std::unique_ptr<TBaseDispatcher> TCustomComPort::CreateDispatcher()
{
    if (customDispatcher_)
        return customDispatcher_(this);
    if (deviceLayer_ != dlWin32)
        RaiseForErrorCode(ecode::NullApi);
    if (tapiMode_ == TTapiMode::tmOn)
        return std::make_unique<TAdoptDispatcher>(this, tapiHandle_);
    return std::make_unique<TPosixDispatcher>(this);
}

int TCustomComPort::OpenDispatcher()
{
    const QString name = tapiMode_ == TTapiMode::tmOn ? QString() : ComPortPath(comNumber_);
    devicePath_ = name;
    uint32_t options = 0;
    if (dtr_)
        options |= 1;
    if (rts_)
        options |= 2;
    if (hwFlow_ & hwfUseDTR)
        options |= 0x10;
    if (hwFlow_ & hwfUseRTS)
        options |= 0x20;
    if (tapiMode_ == TTapiMode::tmOn) {
        // An adopted port keeps the line settings it has; they are read back afterwards.
        return dispatcher_->OpenDispatcherPort(name, 0, options, outSize_, inSize_, 3, 9, 5);
    }
    return dispatcher_->OpenDispatcherPort(name, baud_, options, outSize_, inSize_, stopBits_, dataBits_, parity_);
}

void TCustomComPort::OpenPortSequence()
{
    if (tapiMode_ != TTapiMode::tmOn)
        CheckPortNumber();
    dispatcher_ = CreateDispatcher();
    if (tapiMode_ == TTapiMode::tmOn && tapiHandle_ <= 0) {
        dispatcher_.reset();
        RaiseForErrorCode(ecode::NotOpenedByTapi);
    }
    const int r = OpenDispatcher();
    if (r != 0)
        RaiseOpenFailure(r);
    state_ = State::Open;
    if (tapiMode_ == TTapiMode::tmOn) {
        int32_t baud;
        uint8_t parity;
        uint16_t dataBits, stopBits;
        dispatcher_->GetLineParameters(baud, parity, dataBits, stopBits);
        baud_ = baud;
        parity_ = static_cast<TParity>(parity);
        dataBits_ = dataBits;
        stopBits_ = stopBits;
        uint32_t hw, sw;
        uint8_t xon, xoff;
        dispatcher_->GetFlowOptions(hw, sw, xon, xoff);
        hwFlow_ = static_cast<THWFlowOptions>(hw);
        swFlow_ = static_cast<TSWFlowOptions>(sw);
        xon_ = static_cast<char>(xon);
        xoff_ = static_cast<char>(xoff);
    }
    try {
        UpdateHandlerFlags();
        force_ = true;
        SetTracing(tracing_);
        SetLogging(logging_);
        SetHWFlowOptions(hwFlow_);
        SetSWFlowOptions(swFlow_);
        SetXOnChar(xon_);
        SetXOffChar(xoff_);
        SetAvailThreshold(availThreshold_);
        SetDTR(dtr_);
        if (deviceLayer_ != dlFossil)
            SetRTS(rts_);
        SetUseMSRShadow(true);
        SetUseEventWord(useEventWord_);
        SetCommNotificationLevel(commNotificationLevel_);
        SetRS485Mode(rs485Mode_);
        SetThreadBoost(threadBoost_);
        force_ = false;
    } catch (...) {
        // A setting the device refused: no half-open port is left behind.
        force_ = false;
        dispatcher_->CloseDispatcherPort();
        dispatcher_.reset();
        state_ = State::Closed;
        throw;
    }
    open_ = true;
    RegisterNotifyWindow(true);
    if (triggersSaved_) {
        triggersSaved_ = false;
        dispatcher_->RestoreTriggers(savedTriggers_);
    }
    NotifyPortOpen();
}

void TCustomComPort::ClosePortSequence()
{
    open_ = false;
    if (state_ != State::Open)
        return;
    // A dump that fails must not leave the port open while Open reads False (it could then
    // never be closed): the close goes on and the failure is raised at its end.
    std::exception_ptr dumpFailure;
    try {
        SetTracing(tlDump);
    } catch (...) {
        dumpFailure = std::current_exception();
    }
    try {
        SetLogging(tlDump);
    } catch (...) {
        if (!dumpFailure)
            dumpFailure = std::current_exception();
    }
    state_ = State::Closing;
    NotifyPortClose();
    dispatcher_->SaveTriggers(savedTriggers_);
    triggersSaved_ = true;
    dispatcher_->CloseDispatcherPort();
    if (dispatcher_->ClosePending())
        PostClosePending();
    else
        ReleaseDispatcher();
    if (dumpFailure)
        std::rethrow_exception(dumpFailure);
}

void TCustomComPort::ReleaseDispatcher()
{
    RegisterNotifyWindow(false);
    {
        std::lock_guard lock(TBaseDispatcher::RegistryLock());
        dispatcher_.reset();
    }
    state_ = State::Closed;
}

void TCustomComPort::PostClosePending()
{
    QMetaObject::invokeMethod(
        this, [this] { Guarded([this] { ClosePendingProc(); }); }, Qt::QueuedConnection);
}

void TCustomComPort::ClosePendingProc()
{
    if (state_ != State::Closing || !dispatcher_)
        return;
    if (dispatcher_->DeliveryRunning())
        return;  // the handler that closed is still on the stack; its end posts this again
    dispatcher_->FinishDeferredClose();
    ReleaseDispatcher();
    if (reopenPending_) {
        reopenPending_ = false;
        OpenPortSequence();
    }
}

void TCustomComPort::RegisterNotifyWindow(bool on)
{
    if (on) {
        window_ = std::make_unique<TComPortWindow>(this);
        dispatcher_->RegisterWindowHandler(window_.get());
    } else if (window_) {
        if (dispatcher_)
            dispatcher_->DeregisterWindowHandler(window_.get());
        TComPortWindow::Dispose(std::move(window_));
    }
}

void TCustomComPort::NotifyPortOpen()
{
    for (auto it = users_.rbegin(); it != users_.rend(); ++it)
        (*it)(this, true);
    if (onPortOpen_)
        onPortOpen_(this);
}

void TCustomComPort::NotifyPortClose()
{
    for (auto it = users_.rbegin(); it != users_.rend(); ++it)
        (*it)(this, false);
    if (onPortClose_)
        onPortClose_(this);
}

// ---- Notifications ----------------------------------------------------------------------------

void TCustomComPort::NotifyWindowProc(const std::shared_ptr<TDelivery>& d)
{
    if (!d->Begin())
        return;  // timed out or cancelled: never run late
    // A handler may free the component; nothing of it is touched after that.
    const QPointer<TCustomComPort> self(this);
    std::exception_ptr failure;
    {
        std::lock_guard lock(TBaseDispatcher::RegistryLock());
        TBaseDispatcher* disp = TBaseDispatcher::FromHandle(d->LParam >> 16);
        if (disp && disp->Owner() == this && d->Msg == PortLostMsg) {
            try {
                DoPortLost();
            } catch (...) {
                failure = std::current_exception();
            }
        } else if (disp && disp->Owner() == this) {
            try {
                const uint16_t data = d->Msg == TriggerAvailMsg ? d->WParam : static_cast<uint16_t>(d->LParam & 0xFFFF);
                DoTrigger(d->Msg, d->WParam, data);
                switch (self ? d->Msg : 0) {
                case TriggerAvailMsg:
                    // Bytes that GetChar took outside a handler meanwhile are no longer there.
                    DoTriggerAvail(static_cast<uint16_t>(std::min<uint32_t>(d->WParam, disp->InBuffUsed())));
                    break;
                case TriggerDataMsg:
                    DoTriggerData(d->WParam);
                    break;
                case TriggerTimerMsg:
                    DoTriggerTimer(d->WParam);
                    break;
                case TriggerStatusMsg:
                    DoTriggerStatus(d->WParam);
                    switch (self ? d->WParam & 7 : 0) {
                    case 1:
                        DoTriggerModemStatus();
                        break;
                    case 2: {
                        const bool brk = LineBreak();
                        DoTriggerLineError(static_cast<uint16_t>(LineError()), brk);
                        break;
                    }
                    case 3:
                        DoTriggerOutbuffFree();
                        break;
                    case 4:
                        DoTriggerOutbuffUsed();
                        break;
                    case 5:
                        DoTriggerOutSent();
                        break;
                    default:
                        break;
                    }
                    break;
                default:
                    break;
                }
            } catch (...) {
                failure = std::current_exception();
            }
        }
        // The handler may have freed the dispatcher; the registry says whether it is still there.
        if (TBaseDispatcher* now = TBaseDispatcher::FromHandle(d->LParam >> 16))
            now->FinishDelivery(d);
        else
            d->Finish();
    }
    if (self) {
        if (d->Msg == PortLostMsg)
            PostReleaseLost();
        // A close made inside the handler completes now that the handler has returned.
        if (state_ == State::Closing && dispatcher_ && dispatcher_->ClosePending())
            PostClosePending();
    }
    // Reported only after the delivery has completed, so the port goes on meanwhile.
    if (failure)
        HandleException(failure);
}

void TCustomComPort::PostReleaseLost()
{
    QMetaObject::invokeMethod(
        this,
        [this] {
            // The handler may have closed the port meanwhile; then the close lets go of it.
            if (state_ == State::Open && dispatcher_ && dispatcher_->Lost() && !dispatcher_->DeliveryRunning())
                dispatcher_->ReleaseLostPort();
        },
        Qt::QueuedConnection);
}

QString TCustomComPort::PortTitle() const
{
    const QString com = QStringLiteral("COM%1").arg(comNumber_);
    return devicePath_.isEmpty() ? com : QStringLiteral("%1 (%2)").arg(com, devicePath_);
}

void TCustomComPort::RaiseOpenFailure(int r)
{
    const TOpenFailure why = dispatcher_->OpenFailure();
    const int pid = dispatcher_->OpenFailurePid();
    dispatcher_.reset();
    state_ = State::Closed;
    const QString title = PortTitle();
    switch (why) {
    case TOpenFailure::NoDevice:
        if (devicePath_.isEmpty() && tapiMode_ != TTapiMode::tmOn)
            throw EBadId(ecode::BadId, QStringLiteral("Порт COM%1 не найден: такого последовательного порта в системе нет.")
                                           .arg(comNumber_));
        throw EBadId(ecode::BadId,
                     QStringLiteral("Устройство %1 не найдено: нет такого устройства (адаптер не подключён?).").arg(title));
    case TOpenFailure::NotSerial:
        throw EBadId(ecode::BadId, QStringLiteral("Устройство %1 не является последовательным портом.").arg(title));
    case TOpenFailure::AccessDenied: {
        const DeviceOwners owners = DeviceOwnership(devicePath_);
        // Joining a group helps only when the group may read and write the device.
        if (!owners.user.isEmpty() && !owners.groupReadWrite)
            throw EPortAccessDenied(ecode::AccessDenied,
                                    QStringLiteral("Нет доступа к устройству %1: открыть его может только владелец "
                                                   "устройства, пользователь «%2».")
                                        .arg(title, owners.user));
        const QString whom = owners.group.isEmpty()
                                 ? QStringLiteral("в группу, которой принадлежит устройство")
                                 : QStringLiteral("в группу «%1», которой принадлежит устройство").arg(owners.group);
        throw EPortAccessDenied(ecode::AccessDenied,
                                QStringLiteral("Нет доступа к устройству %1: пользователя нужно включить %2, "
                                               "затем войти в систему заново.")
                                    .arg(title, whom));
    }
    case TOpenFailure::InUse: {
        QString holder;
        if (pid > 0) {
            const QString name = ProcessName(pid);
            holder = name.isEmpty() ? QStringLiteral(" (процесс %1)").arg(pid)
                                    : QStringLiteral(" (процесс %1, %2)").arg(pid).arg(name);
        }
        throw EAlreadyOpen(ecode::AlreadyOpen,
                           QStringLiteral("Устройство %1 занято другой программой%2.").arg(title, holder));
    }
    case TOpenFailure::Console:
        throw ESystemConsole(ecode::SystemConsole,
                             QStringLiteral("Устройство %1 — системная консоль; программа её не открывает.").arg(title));
    case TOpenFailure::None:
    case TOpenFailure::Other:
        break;
    }
    // Failures without a reason of their own keep the codes the library always gave.
    RaiseForErrorCode(r == -5 ? ecode::AlreadyOpen : (r == -2 || r == -3) ? ecode::BadId : r);
    throw ESerialException(r);  // not reached: r is negative
}

int TCustomComPort::RaisePortError(int code)
{
    if (code == ecode::PortLost && !loading_)
        throw EPortLost(code, QStringLiteral("Порт %1 потерян: устройство отключено или больше не отвечает.")
                                  .arg(PortTitle()));
    return RaiseForErrorCode(code, loading_);
}

void TCustomComPort::DoTrigger(uint16_t msg, uint16_t triggerHandle, uint16_t data)
{
    if (onTrigger_)
        onTrigger_(this, msg, triggerHandle, data);
}

void TCustomComPort::DoTriggerAvail(uint16_t count)
{
    if (onTriggerAvail_)
        onTriggerAvail_(this, count);
}

void TCustomComPort::DoTriggerData(uint16_t h)
{
    if (onTriggerData_)
        onTriggerData_(this, h);
}

void TCustomComPort::DoTriggerStatus(uint16_t h)
{
    if (onTriggerStatus_)
        onTriggerStatus_(this, h);
}

void TCustomComPort::DoTriggerTimer(uint16_t h)
{
    if (onTriggerTimer_)
        onTriggerTimer_(this, h);
}

void TCustomComPort::DoTriggerLineError(uint16_t error, bool lineBreak)
{
    if (onTriggerLineError_)
        onTriggerLineError_(this, error, lineBreak);
}

void TCustomComPort::DoTriggerModemStatus()
{
    if (onTriggerModemStatus_)
        onTriggerModemStatus_(this);
}

void TCustomComPort::DoTriggerOutbuffFree()
{
    if (onTriggerOutbuffFree_)
        onTriggerOutbuffFree_(this);
}

void TCustomComPort::DoTriggerOutbuffUsed()
{
    if (onTriggerOutbuffUsed_)
        onTriggerOutbuffUsed_(this);
}

void TCustomComPort::DoTriggerOutSent()
{
    if (onTriggerOutSent_)
        onTriggerOutSent_(this);
}

void TCustomComPort::DoWaitChar(char c)
{
    if (onWaitChar_)
        onWaitChar_(this, c);
}

void TCustomComPort::DoPortLost()
{
    if (OnPortLost)
        OnPortLost(this);
}

void TCustomComPort::UpdateHandlerFlags()
{
    if (state_ != State::Open || !dispatcher_)
        return;
    const bool any = onTrigger_ || onTriggerAvail_ || onTriggerData_ || onTriggerStatus_ || onTriggerTimer_ ||
                     onTriggerLineError_ || onTriggerModemStatus_ || onTriggerOutbuffFree_ ||
                     onTriggerOutbuffUsed_ || onTriggerOutSent_;
    dispatcher_->UpdateHandlerFlags(any ? 1 : 2);
}

#define COMPORT_EVENT_SETTER(Name, Type, field) \
    void TCustomComPort::Name(Type e)           \
    {                                           \
        field = std::move(e);                   \
        UpdateHandlerFlags();                   \
    }
COMPORT_EVENT_SETTER(SetOnTrigger, TTriggerEvent, onTrigger_)
COMPORT_EVENT_SETTER(SetOnTriggerAvail, TTriggerAvailEvent, onTriggerAvail_)
COMPORT_EVENT_SETTER(SetOnTriggerData, TTriggerHandleEvent, onTriggerData_)
COMPORT_EVENT_SETTER(SetOnTriggerStatus, TTriggerHandleEvent, onTriggerStatus_)
COMPORT_EVENT_SETTER(SetOnTriggerTimer, TTriggerHandleEvent, onTriggerTimer_)
COMPORT_EVENT_SETTER(SetOnTriggerLineError, TTriggerLineErrorEvent, onTriggerLineError_)
COMPORT_EVENT_SETTER(SetOnTriggerModemStatus, TPortEvent, onTriggerModemStatus_)
COMPORT_EVENT_SETTER(SetOnTriggerOutbuffFree, TPortEvent, onTriggerOutbuffFree_)
COMPORT_EVENT_SETTER(SetOnTriggerOutbuffUsed, TPortEvent, onTriggerOutbuffUsed_)
COMPORT_EVENT_SETTER(SetOnTriggerOutSent, TPortEvent, onTriggerOutSent_)
#undef COMPORT_EVENT_SETTER

// ---- Bytes ------------------------------------------------------------------------------------

TBaseDispatcher* TCustomComPort::DispatcherOrAutoOpen()
{
    if (!dispatcher_ && !loading_ && state_ != State::Open && autoOpen_)
        SetOpen(true);
    return dispatcher_.get();
}

TBaseDispatcher* TCustomComPort::ValidDispatcher()
{
    TBaseDispatcher* d = DispatcherOrAutoOpen();
    if (!d)
        RaiseForErrorCode(ecode::CommNotOpen);
    return d;
}

char TCustomComPort::GetChar()
{
    if (state_ == State::Closing)
        return 0;
    const int c = ValidDispatcher()->GetReceivedChar();
    RaiseForErrorCode(c);
    return static_cast<char>(c);
}

void TCustomComPort::PutString(const QByteArray& s)
{
    if (state_ == State::Closing)
        return;
    RaisePortError(ValidDispatcher()->PutOutputBlock(s.constData(), static_cast<uint32_t>(s.size())));
}

void TCustomComPort::PortIdle()
{
    if (state_ != State::Closing)
        RaiseForErrorCode(ValidDispatcher()->PortIdle());
}

int TCustomComPort::LineError()
{
    if (state_ != State::Open)
        return 0;
    return RaiseForErrorCode(dispatcher_->GetLineError());
}

bool TCustomComPort::LineBreak() { return state_ == State::Open && dispatcher_->CheckLineBreak(); }

uint32_t TCustomComPort::InBuffUsed() { return state_ == State::Open ? dispatcher_->InBuffUsed() : 0; }
uint32_t TCustomComPort::OutBuffUsed() { return state_ == State::Open ? dispatcher_->OutBuffUsed() : 0; }
uint32_t TCustomComPort::OutBuffFree() { return state_ == State::Open ? dispatcher_->OutBuffFree() : 0; }

void TCustomComPort::FlushInBuffer()
{
    if (state_ == State::Open)
        dispatcher_->FlushInBuffer();
}

void TCustomComPort::FlushOutBuffer()
{
    if (state_ == State::Open)
        dispatcher_->FlushOutBuffer();
}

// ---- Setters ----------------------------------------------------------------------------------

void TCustomComPort::SetDeviceLayer(TDeviceLayer v)
{
    if (state_ != State::Closed || v != dlWin32)
        return;
    deviceLayer_ = v;
    DeviceLayerChanged();
}

void TCustomComPort::SetComNumber(uint16_t v)
{
    if (v == comNumber_ && !force_)
        return;
    if (state_ != State::Open) {
        comNumber_ = v;
        return;
    }
    TSavedTriggers saved;
    dispatcher_->SaveTriggers(saved);
    const TTraceLogState tracing = tracing_;
    const TTraceLogState logging = logging_;
    SetOpen(false);
    comNumber_ = v;
    // Through the setters: a closed port keeps on and off, so a paused trace comes back off.
    SetTracing(tracing);
    SetLogging(logging);
    triggersSaved_ = false;
    SetOpen(true);
    if (state_ == State::Open)
        dispatcher_->RestoreTriggers(saved);
}

void TCustomComPort::ApplyLineParameters()
{
    if (state_ == State::Open)
        RaisePortError(dispatcher_->SetLineParameters(baud_, parity_, stopBits_, dataBits_));
}

void TCustomComPort::SetBaud(int32_t v)
{
    if (v == baud_)
        return;
    baud_ = v;
    ApplyLineParameters();
}

void TCustomComPort::SetParity(TParity v)
{
    if (v == parity_)
        return;
    parity_ = v;
    ApplyLineParameters();
}

void TCustomComPort::SetDataBits(uint16_t v)
{
    if (v == dataBits_)
        return;
    dataBits_ = v;
    ApplyLineParameters();
}

void TCustomComPort::SetStopBits(uint16_t v)
{
    if (v == stopBits_)
        return;
    stopBits_ = v;
    ApplyLineParameters();
}

void TCustomComPort::SetInSize(uint16_t v)
{
    if (v == inSize_ && !force_)
        return;
    inSize_ = v;
    if (state_ == State::Open)
        dispatcher_->SetCommBuffers(inSize_, outSize_);
}

void TCustomComPort::SetOutSize(uint16_t v)
{
    if (v == outSize_ && !force_)
        return;
    outSize_ = v;
    if (state_ == State::Open)
        dispatcher_->SetCommBuffers(inSize_, outSize_);
}

void TCustomComPort::SetDTR(bool v)
{
    if (v == dtr_ && !force_)
        return;
    if (state_ == State::Open) {
        if (RaiseForErrorCode(dispatcher_->SetDTR(v)) != 0)
            return;  // owned by hardware flow control
    }
    dtr_ = v;
}

void TCustomComPort::SetRTS(bool v)
{
    if (v == rts_ && !force_)
        return;
    if (state_ == State::Open) {
        if (RaiseForErrorCode(dispatcher_->SetRTS(v)) != 0)
            return;  // owned by flow or direction control
    }
    rts_ = v;
}

void TCustomComPort::SetHWFlowOptions(THWFlowOptions v)
{
    if (v == hwFlow_ && !force_)
        return;
    // Refused before anything is stored: the port keeps the handshake it has. A closed port
    // stores it (a layout may hold it) and refuses it when it opens.
    if (state_ == State::Open && RtsHandshakeWithoutCts(v)) {
        RaisePortError(ecode::RtsHandshakeWithoutCts);
        return;
    }
    if (v != 0) {
        if (bufferFull_ == 0 || bufferFull_ > inSize_)
            bufferFull_ = static_cast<uint16_t>(inSize_ * 0.9);
        if (bufferResume_ == 0 || bufferResume_ > bufferFull_)
            bufferResume_ = static_cast<uint16_t>(inSize_ * 0.1);
    }
    hwFlow_ = v;
    if (state_ == State::Open)
        RaiseForErrorCode(dispatcher_->SetHWFlowControl(bufferFull_, bufferResume_, v));
    // Through the setter, so that an open port's direction control goes too.
    if ((v & (hwfUseRTS | hwfRequireCTS)) && rs485Mode_)
        SetRS485Mode(false);
}

void TCustomComPort::SetSWFlowOptions(TSWFlowOptions v)
{
    if (v == swFlow_ && !force_)
        return;
    if (v != swfNone) {
        if (bufferFull_ == 0 || bufferFull_ > inSize_)
            bufferFull_ = static_cast<uint16_t>(inSize_ * 0.75);
        if (bufferResume_ == 0 || bufferResume_ > bufferFull_)
            bufferResume_ = static_cast<uint16_t>(inSize_ * 0.25);
    }
    swFlow_ = v;
    if (state_ == State::Open) {
        if (v == swfNone) {
            RaiseForErrorCode(dispatcher_->ClearSWFlowControl());
        } else {
            RaiseForErrorCode(dispatcher_->SetSWFlowControl(bufferFull_, bufferResume_, v));
            // The dispatcher starts from the usual characters; the line keeps the port's own.
            if (xon_ != 17 || xoff_ != 19)
                RaiseForErrorCode(dispatcher_->SetFlowChars(static_cast<uint8_t>(xon_), static_cast<uint8_t>(xoff_)));
        }
    }
}

void TCustomComPort::SetXOnChar(char v)
{
    if (v == xon_ && !force_)
        return;
    xon_ = v;
    if (state_ == State::Open)
        RaiseForErrorCode(dispatcher_->SetFlowChars(static_cast<uint8_t>(xon_), static_cast<uint8_t>(xoff_)));
}

void TCustomComPort::SetXOffChar(char v)
{
    if (v == xoff_ && !force_)
        return;
    xoff_ = v;
    if (state_ == State::Open)
        RaiseForErrorCode(dispatcher_->SetFlowChars(static_cast<uint8_t>(xon_), static_cast<uint8_t>(xoff_)));
}

void TCustomComPort::SetBufferFull(uint16_t v)
{
    if (v == bufferFull_ && !force_)
        return;
    bufferFull_ = v > inSize_ ? static_cast<uint16_t>(inSize_ * 0.9) : v;
    const bool saved = force_;
    force_ = true;
    SetHWFlowOptions(hwFlow_);
    SetSWFlowOptions(swFlow_);
    force_ = saved;
}

void TCustomComPort::SetBufferResume(uint16_t v)
{
    if (v == bufferResume_ && !force_)
        return;
    bufferResume_ = v > bufferFull_ ? static_cast<uint16_t>(bufferFull_ * 0.1) : v;
    const bool saved = force_;
    force_ = true;
    SetHWFlowOptions(hwFlow_);
    SetSWFlowOptions(swFlow_);
    force_ = saved;
}

void TCustomComPort::SetRS485Mode(bool v)
{
    if (v == rs485Mode_ && !force_)
        return;
    rs485Mode_ = v;
    if (state_ == State::Open)
        dispatcher_->SetRS485Mode(v);
    if (v) {
        const bool saved = force_;
        force_ = true;
        SetHWFlowOptions(hwFlow_ & ~(hwfUseRTS | hwfRequireCTS));
        force_ = saved;
        SetRTS(false);
    } else if (state_ == State::Open) {
        // Direction control goes at once: the line settings are written again without it.
        const bool saved = force_;
        force_ = true;
        SetHWFlowOptions(hwFlow_);
        force_ = saved;
    }
}

void TCustomComPort::SetUseEventWord(bool v)
{
    if (v == useEventWord_ && !force_)
        return;
    useEventWord_ = v;
    if (state_ == State::Open) {
        if (v)
            dispatcher_->SetFlagBits(0x10);
        else
            dispatcher_->ClearFlagBits(0x10);
    }
}

void TCustomComPort::SetAvailThreshold(uint16_t v)
{
    if (v == availThreshold_ && !force_)
        return;
    availThreshold_ = v;
    if (state_ == State::Open)
        dispatcher_->SetAvailThreshold(v);
}

void TCustomComPort::SetThreadBoost(uint8_t v)
{
    if (v == threadBoost_ && !force_)
        return;
    threadBoost_ = v;
    if (state_ == State::Open)
        dispatcher_->SetThreadBoost(v);
}

// ---- Trace and log ----------------------------------------------------------------------------

void TCustomComPort::SetTraceSize(uint32_t v)
{
    traceSize_ = std::min(v, MaxTraceSize);
    RestartTraceLog(true);
}

void TCustomComPort::SetLogSize(uint32_t v)
{
    logSize_ = std::min(v, MaxLogSize);
    RestartTraceLog(false);
}

void TCustomComPort::RestartTraceLog(bool trace)
{
    const TTraceLogState previous = trace ? tracing_ : logging_;
    if (state_ != State::Open || (previous != tlOn && previous != tlPause))
        return;
    ApplyTraceLog(trace, tlOff);
    ApplyTraceLog(trace, tlOn);
    // A new buffer starts running; a paused one stays paused.
    if (previous == tlPause)
        ApplyTraceLog(trace, tlPause);
}

void TCustomComPort::SetTracing(TTraceLogState v) { ApplyTraceLog(true, v); }

void TCustomComPort::SetLogging(TTraceLogState v) { ApplyTraceLog(false, v); }

void TCustomComPort::ApplyTraceLog(bool trace, TTraceLogState v)
{
    TTraceLogState& state = trace ? tracing_ : logging_;
    if (v == state && !force_)
        return;  // on again must not empty a running trace
    if (state_ != State::Open) {
        // Closed: tlOn and tlOff are kept for the next open, the one-shot requests are not.
        state = (v == tlOn || v == tlOff) ? v : tlOff;
        return;
    }
    TBaseDispatcher* d = dispatcher_.get();
    const bool active = state == tlOn || state == tlPause;
    // While the open applies the stored state, "on" means: start a buffer.
    const bool starting = force_ && v == tlOn;
    switch (v) {
    case tlOff:
        if (active) {
            trace ? d->TraceOff() : d->LogOff();
            state = tlOff;
        }
        break;
    case tlOn:
        if (state == tlPause && !starting) {
            trace ? d->TraceResume() : d->LogResume();
        } else {
            RaiseForErrorCode(trace ? d->SetupTraceBuffer(traceSize_) : d->SetupLogBuffer(logSize_));
        }
        state = tlOn;
        break;
    case tlDump:
    case tlAppend:
        if (active) {
            const bool append = v == tlAppend;
            state = tlOff;
            if (trace) {
                d->TraceResume();
                RaiseForErrorCode(d->TraceDump(traceName_, traceHex_, traceAllHex_, append));
            } else {
                d->LogResume();
                RaiseForErrorCode(d->LogDump(logName_, logHex_, logAllHex_, append));
            }
        }
        break;
    case tlClear:
        if (active)
            trace ? d->TraceClear() : d->LogClear();
        break;
    case tlPause:
        if (state == tlOn) {
            trace ? d->TracePause() : d->LogPause();
            state = tlPause;
        }
        break;
    }
}

// ---- Assign -----------------------------------------------------------------------------------

void TCustomComPort::Assign(const TCustomComPort& s)
{
    users_ = s.users_;
    if (s.state_ == State::Open && s.dispatcher_) {
        s.dispatcher_->SaveTriggers(savedTriggers_);
        triggersSaved_ = true;
    }
    force_ = s.force_;
    deviceLayer_ = s.deviceLayer_;
    comNumber_ = s.comNumber_;
    baud_ = s.baud_;
    parity_ = s.parity_;
    dataBits_ = s.dataBits_;
    stopBits_ = s.stopBits_;
    inSize_ = s.inSize_;
    outSize_ = s.outSize_;
    autoOpen_ = s.autoOpen_;
    promptForPort_ = s.promptForPort_;
    rs485Mode_ = s.rs485Mode_;
    threadBoost_ = s.threadBoost_;
    dtr_ = s.dtr_;
    rts_ = s.rts_;
    bufferFull_ = s.bufferFull_;
    bufferResume_ = s.bufferResume_;
    hwFlow_ = s.hwFlow_;
    swFlow_ = s.swFlow_;
    xon_ = s.xon_;
    xoff_ = s.xoff_;
    tracing_ = s.tracing_;
    traceSize_ = s.traceSize_;
    traceName_ = s.traceName_;
    traceHex_ = s.traceHex_;
    traceAllHex_ = s.traceAllHex_;
    logging_ = s.logging_;
    logSize_ = s.logSize_;
    logName_ = s.logName_;
    logHex_ = s.logHex_;
    logAllHex_ = s.logAllHex_;
    availThreshold_ = s.availThreshold_;
    SetOnTrigger(s.onTrigger_);
    SetOnTriggerAvail(s.onTriggerAvail_);
    SetOnTriggerData(s.onTriggerData_);
    SetOnTriggerStatus(s.onTriggerStatus_);
    SetOnTriggerTimer(s.onTriggerTimer_);
    onPortOpen_ = s.onPortOpen_;
    onPortClose_ = s.onPortClose_;
    OnPortLost = s.OnPortLost;
    tapiMode_ = s.tapiMode_;
    open_ = false;
}

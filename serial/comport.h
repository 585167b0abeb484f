// The port component: one COM port with its line settings, RS-485 direction control, an output
// ring that PutString fills without waiting, and received bytes announced on the UI thread.
//
// Usage (on the UI thread):
//   auto* port = new TComPort(window);          // a QObject child of the window
//   port->SetComNumber(1);                      // COM1 = the first device of the port map
//   port->SetBaud(9600);                        // SetBaudRate is the same property
//   port->SetRS485Mode(true);
//   port->SetOnTriggerAvail([](TCustomComPort* cp, uint16_t count) {
//       for (uint16_t i = 0; i < count; ++i) buffer.append(cp->GetChar());
//   });
//   port->Open();                               // raises ESerialException descendants
//   port->PutString(frame);                     // queues the whole frame or raises
//   port->Close();
// Inside OnTriggerAvail, GetChar reads ahead; the bytes read count as taken when the handler
// returns. Bytes not read are announced again with the next arrival. A handler may close the
// port; the close then completes after the handler returns. Exceptions from handlers go to the
// application's exception handler after the delivery has completed.
#pragma once

#include "serial/dispatcher.h"
#include "serial/serialmisc.h"

#include <QByteArray>
#include <QPointer>
#include <QString>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

class TCustomComPort;
class TComPortWindow;

enum TDeviceLayer { dlWin16, dlFossil, dlWin32, dlWinsock };
enum TParity : uint8_t { pNone, pOdd, pEven, pMark, pSpace };
enum THWFlowOption : uint8_t { hwfUseDTR = 1, hwfUseRTS = 2, hwfRequireDSR = 4, hwfRequireCTS = 8 };
using THWFlowOptions = uint8_t;  // set of THWFlowOption bits
enum TSWFlowOptions : uint8_t { swfNone = 0, swfTransmit = 1, swfReceive = 2, swfBoth = 3 };
enum TTraceLogState { tlOff, tlOn, tlDump, tlAppend, tlClear, tlPause };
// Scoped: the picture classes have a tmAuto of their own.
enum class TTapiMode { tmNone, tmAuto, tmOn, tmOff };

using TTriggerEvent = std::function<void(TCustomComPort* cp, uint16_t msg, uint16_t triggerHandle, uint16_t data)>;
using TTriggerAvailEvent = std::function<void(TCustomComPort* cp, uint16_t count)>;
using TTriggerHandleEvent = std::function<void(TCustomComPort* cp, uint16_t triggerHandle)>;
using TTriggerLineErrorEvent = std::function<void(TCustomComPort* cp, uint16_t error, bool lineBreak)>;
using TPortEvent = std::function<void(TCustomComPort* cp)>;
using TWaitCharEvent = std::function<void(TCustomComPort* cp, char c)>;
using TPortUserCallback = std::function<void(TCustomComPort* cp, bool opening)>;
using TCustomDispatcherHook = std::function<std::unique_ptr<TBaseDispatcher>(TCustomComPort* cp)>;

class TCustomComPort : public TBaseComponent {
    Q_OBJECT
public:
    explicit TCustomComPort(QObject* owner = nullptr);
    ~TCustomComPort() override;

    // Opening and closing.
    bool Active() const { return open_; }
    void SetOpen(bool value);
    void Open() { SetOpen(true); }
    void Close() { SetOpen(false); }
    bool IsOpen() const { return state_ == State::Open; }
    bool IsClosing() const { return state_ == State::Closing; }

    // Layout loading: values are only stored until Loaded().
    void BeginLoading() { loading_ = true; }
    void Loaded();
    bool Loading() const { return loading_; }

    // Moving bytes.
    char GetChar();
    void PutString(const QByteArray& s);
    void PortIdle();
    // Line error (0 none, 1 queue overrun, 2 overrun, 3 parity, 4 framing, 9 break) and break.
    int LineError();
    bool LineBreak();
    uint32_t InBuffUsed();
    uint32_t OutBuffUsed();
    uint32_t OutBuffFree();
    void FlushInBuffer();
    void FlushOutBuffer();

    // Properties.
    TDeviceLayer DeviceLayer() const { return deviceLayer_; }
    void SetDeviceLayer(TDeviceLayer v);
    uint16_t ComNumber() const { return comNumber_; }
    void SetComNumber(uint16_t v);
    int32_t Baud() const { return baud_; }
    void SetBaud(int32_t v);
    int32_t BaudRate() const { return baud_; }
    void SetBaudRate(int32_t v) { SetBaud(v); }
    TParity Parity() const { return parity_; }
    void SetParity(TParity v);
    uint16_t DataBits() const { return dataBits_; }
    void SetDataBits(uint16_t v);
    uint16_t StopBits() const { return stopBits_; }
    void SetStopBits(uint16_t v);
    uint16_t InSize() const { return inSize_; }
    void SetInSize(uint16_t v);
    uint16_t OutSize() const { return outSize_; }
    void SetOutSize(uint16_t v);
    bool PromptForPort() const { return promptForPort_; }
    void SetPromptForPort(bool v) { promptForPort_ = v; }
    bool AutoOpen() const { return autoOpen_; }
    void SetAutoOpen(bool v) { autoOpen_ = v; }
    bool DTR() const { return dtr_; }
    void SetDTR(bool v);
    bool RTS() const { return rts_; }
    void SetRTS(bool v);
    THWFlowOptions HWFlowOptions() const { return hwFlow_; }
    void SetHWFlowOptions(THWFlowOptions v);
    TSWFlowOptions SWFlowOptions() const { return swFlow_; }
    void SetSWFlowOptions(TSWFlowOptions v);
    char XOnChar() const { return xon_; }
    void SetXOnChar(char v);
    char XOffChar() const { return xoff_; }
    void SetXOffChar(char v);
    uint16_t BufferFull() const { return bufferFull_; }
    void SetBufferFull(uint16_t v);
    uint16_t BufferResume() const { return bufferResume_; }
    void SetBufferResume(uint16_t v);
    TTraceLogState Tracing() const { return tracing_; }
    void SetTracing(TTraceLogState v);
    uint32_t TraceSize() const { return traceSize_; }
    void SetTraceSize(uint32_t v);
    QString TraceName() const { return traceName_; }
    void SetTraceName(const QString& v) { traceName_ = v.left(255); }
    bool TraceHex() const { return traceHex_; }
    void SetTraceHex(bool v) { traceHex_ = v; }
    bool TraceAllHex() const { return traceAllHex_; }
    void SetTraceAllHex(bool v) { traceAllHex_ = v; }
    TTraceLogState Logging() const { return logging_; }
    void SetLogging(TTraceLogState v);
    uint32_t LogSize() const { return logSize_; }
    void SetLogSize(uint32_t v);
    QString LogName() const { return logName_; }
    void SetLogName(const QString& v) { logName_ = v.left(255); }
    bool LogHex() const { return logHex_; }
    void SetLogHex(bool v) { logHex_ = v; }
    bool LogAllHex() const { return logAllHex_; }
    void SetLogAllHex(bool v) { logAllHex_ = v; }
    bool UseMSRShadow() const { return true; }
    virtual void SetUseMSRShadow(bool) {}
    bool UseEventWord() const { return useEventWord_; }
    void SetUseEventWord(bool v);
    uint16_t CommNotificationLevel() const { return commNotificationLevel_; }
    void SetCommNotificationLevel(uint16_t v) { commNotificationLevel_ = v; }
    TTapiMode TapiMode() const { return tapiMode_; }
    void SetTapiMode(TTapiMode v) { tapiMode_ = v; }
    // The descriptor adopted with TapiMode tmOn.
    void SetTapiHandle(int fd) { tapiHandle_ = fd; }
    bool RS485Mode() const { return rs485Mode_; }
    void SetRS485Mode(bool v);
    int32_t Tag() const { return tag_; }
    void SetTag(int32_t v) { tag_ = v; }
    uint16_t AvailThreshold() const { return availThreshold_; }
    void SetAvailThreshold(uint16_t v);
    uint8_t ThreadBoost() const { return threadBoost_; }
    void SetThreadBoost(uint8_t v);
    void SetCustomDispatcher(TCustomDispatcherHook hook) { customDispatcher_ = std::move(hook); }

    // Events.
    void SetOnTrigger(TTriggerEvent e);
    void SetOnTriggerAvail(TTriggerAvailEvent e);
    const TTriggerAvailEvent& OnTriggerAvail() const { return onTriggerAvail_; }
    void SetOnTriggerData(TTriggerHandleEvent e);
    void SetOnTriggerStatus(TTriggerHandleEvent e);
    void SetOnTriggerTimer(TTriggerHandleEvent e);
    void SetOnTriggerLineError(TTriggerLineErrorEvent e);
    void SetOnTriggerModemStatus(TPortEvent e);
    void SetOnTriggerOutbuffFree(TPortEvent e);
    void SetOnTriggerOutbuffUsed(TPortEvent e);
    void SetOnTriggerOutSent(TPortEvent e);
    void SetOnWaitChar(TWaitCharEvent e) { onWaitChar_ = std::move(e); }
    void SetOnPortOpen(TPortEvent e) { onPortOpen_ = std::move(e); }
    void SetOnPortClose(TPortEvent e) { onPortClose_ = std::move(e); }
    // The device went away while the port was open (adapter unplugged, line hung up). Runs
    // once per open, on the UI thread, after the bytes received before the loss were
    // announced; not after the program closed the port. The line is no longer used: writes
    // and speed changes raise EPortLost until the port is closed (and opened again).
    TPortEvent OnPortLost;
    void SetOnPortLost(TPortEvent e) { OnPortLost = std::move(e); }
    // Whether the device of the open port went away.
    bool PortLost() const { return dispatcher_ && dispatcher_->Lost(); }
    // The device path the port was opened on ("" before the first open).
    const QString& DevicePath() const { return devicePath_; }

    // Users told after open and at close (last registered first).
    void RegisterUser(TPortUserCallback callback) { users_.push_back(std::move(callback)); }

    // Copies the settings and the events that a second component takes over.
    void Assign(const TCustomComPort& source);

    // The dispatcher (opens the port first when AutoOpen allows), or null.
    TBaseDispatcher* DispatcherOrAutoOpen();
    // The dispatcher, or raises ECommNotOpen.
    TBaseDispatcher* ValidDispatcher();

protected:
    enum class State { Closed, Closing, Open };

    virtual std::unique_ptr<TBaseDispatcher> CreateDispatcher();
    virtual void DeviceLayerChanged() {}
    virtual int OpenDispatcher();
    virtual void RegisterNotifyWindow(bool on);
    virtual void CheckPortNumber();
    virtual void DoTrigger(uint16_t msg, uint16_t triggerHandle, uint16_t data);
    virtual void DoTriggerAvail(uint16_t count);
    virtual void DoTriggerData(uint16_t triggerHandle);
    virtual void DoTriggerStatus(uint16_t triggerHandle);
    virtual void DoTriggerTimer(uint16_t triggerHandle);
    virtual void UpdateHandlerFlags();
    virtual void DoTriggerLineError(uint16_t error, bool lineBreak);
    virtual void DoTriggerModemStatus();
    virtual void DoTriggerOutbuffFree();
    virtual void DoTriggerOutbuffUsed();
    virtual void DoTriggerOutSent();
    virtual void DoWaitChar(char c);
    virtual void DoPortLost();
    virtual void ClosePortSequence();
    virtual void OpenPortSequence();
    void NotifyPortOpen();
    void NotifyPortClose();

private:
    friend class TComPortWindow;
    // Runs one notification on the UI thread.
    void NotifyWindowProc(const std::shared_ptr<TDelivery>& delivery);
    // Completes a close made during a delivery.
    void ClosePendingProc();
    void PostClosePending();
    // After the loss was delivered: lets go of the device.
    void PostReleaseLost();
    // Raises the exception of a negative code, with the device named where the code is ours.
    int RaisePortError(int code);
    // "COM1 (/dev/ttyUSB0)".
    QString PortTitle() const;
    // Raises what the failed open of the dispatcher stands for, in the operator's words.
    [[noreturn]] void RaiseOpenFailure(int code);
    // Releases the dispatcher and the window; state closed.
    void ReleaseDispatcher();
    bool Applying() const { return force_; }
    void ApplyTraceLog(bool trace, TTraceLogState v);
    // A new size on an open port: a new, empty buffer in the state the old one had.
    void RestartTraceLog(bool trace);
    // Speed, parity, data and stop bits take effect at once on an open port.
    void ApplyLineParameters();

    State state_ = State::Closed;
    bool force_ = false;
    bool reopenPending_ = false;
    bool openOnLoad_ = false;
    bool loading_ = false;
    bool open_ = false;
    bool triggersSaved_ = false;
    TSavedTriggers savedTriggers_;
    std::unique_ptr<TComPortWindow> window_;
    std::unique_ptr<TBaseDispatcher> dispatcher_;
    QString devicePath_;
    std::vector<TPortUserCallback> users_;
    TCustomDispatcherHook customDispatcher_;

    TDeviceLayer deviceLayer_ = dlWin32;
    uint16_t comNumber_ = 0;
    int32_t baud_ = 19200;
    TParity parity_ = pNone;
    uint16_t dataBits_ = 8;
    uint16_t stopBits_ = 1;
    uint16_t inSize_ = 4096;
    uint16_t outSize_ = 4096;
    bool promptForPort_ = true;
    bool autoOpen_ = true;
    bool dtr_ = true;
    bool rts_ = true;
    THWFlowOptions hwFlow_ = 0;
    TSWFlowOptions swFlow_ = swfNone;
    char xon_ = 17;
    char xoff_ = 19;
    uint16_t bufferFull_ = 0;
    uint16_t bufferResume_ = 0;
    TTraceLogState tracing_ = tlOff;
    uint32_t traceSize_ = 10000;
    QString traceName_ = QStringLiteral("SERIAL.TRC");
    bool traceHex_ = true;
    bool traceAllHex_ = false;
    TTraceLogState logging_ = tlOff;
    uint32_t logSize_ = 10000;
    QString logName_ = QStringLiteral("SERIAL.LOG");
    bool logHex_ = true;
    bool logAllHex_ = false;
    bool useEventWord_ = true;
    uint16_t commNotificationLevel_ = 10;
    TTapiMode tapiMode_ = TTapiMode::tmAuto;
    int tapiHandle_ = -1;
    bool rs485Mode_ = false;
    int32_t tag_ = 0;
    uint16_t availThreshold_ = 1;
    uint8_t threadBoost_ = 0;

    TTriggerEvent onTrigger_;
    TTriggerAvailEvent onTriggerAvail_;
    TTriggerHandleEvent onTriggerData_;
    TTriggerHandleEvent onTriggerStatus_;
    TTriggerHandleEvent onTriggerTimer_;
    TTriggerLineErrorEvent onTriggerLineError_;
    TPortEvent onTriggerModemStatus_;
    TPortEvent onTriggerOutbuffFree_;
    TPortEvent onTriggerOutbuffUsed_;
    TPortEvent onTriggerOutSent_;
    TWaitCharEvent onWaitChar_;
    TPortEvent onPortOpen_;
    TPortEvent onPortClose_;
};

class TComPort : public TCustomComPort {
    Q_OBJECT
public:
    using TCustomComPort::TCustomComPort;
};

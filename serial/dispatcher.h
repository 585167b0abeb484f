// The engine behind one open COM port: the 8192-byte dispatch buffer filled by the dispatch
// thread, the output ring drained by the output thread, the line settings, flow control,
// RS-485 direction control, the avail trigger and the handlers it notifies.
//
// Results are integers: 0 or positive for success, a negative library code for failure. The
// platform operations are virtual; TPosixDispatcher supplies them for Linux serial devices.
#pragma once

#include "serial/serialsys.h"
#include "serial/tracelog.h"

#include <QString>
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

class QObject;

// Notification messages (the same numbers the handlers receive).
constexpr uint16_t TriggerAvailMsg = 0x7E01;
constexpr uint16_t TriggerDataMsg = 0x7E02;
constexpr uint16_t TriggerTimerMsg = 0x7E03;
constexpr uint16_t TriggerStatusMsg = 0x7E04;
constexpr uint16_t PortOpenMsg = 0x7E08;
constexpr uint16_t PortCloseMsg = 0x7E09;
constexpr uint16_t ClosePendingMsg = 0x7E0A;
// The device went away (unplugged, hung up); sent once per open port.
constexpr uint16_t PortLostMsg = 0x7E0B;

constexpr uint32_t DispatchBufferSize = 8192;

// Control fields of the line settings.
enum : uint8_t { DtrControlDisable = 0, DtrControlEnable = 1, DtrControlHandshake = 2 };
enum : uint8_t { RtsControlDisable = 0, RtsControlEnable = 1, RtsControlHandshake = 2, RtsControlToggle = 3 };
enum : uint8_t { OneStopBit = 0, One5StopBits = 1, TwoStopBits = 2 };

// Line settings block.
struct TDCB {
    uint32_t BaudRate = 9600;
    bool fBinary = true;
    bool fParity = false;
    bool fOutxCtsFlow = false;
    bool fOutxDsrFlow = false;
    uint8_t fDtrControl = DtrControlEnable;
    bool fDsrSensitivity = false;
    bool fTXContinueOnXoff = true;
    bool fOutX = false;
    bool fInX = false;
    bool fNull = false;
    uint8_t fRtsControl = RtsControlEnable;
    uint32_t XonLim = 0;
    uint32_t XoffLim = 0;
    uint8_t ByteSize = 8;
    uint8_t Parity = 0;  // 0 none, 1 odd, 2 even, 3 mark, 4 space
    uint8_t StopBits = OneStopBit;
    uint8_t XonChar = 17;
    uint8_t XoffChar = 19;
};

// How RS-485 direction is switched on this device.
enum class TRS485Method {
    None,      // nothing to switch (pseudo-terminals, adapters with automatic direction)
    Kernel,    // the driver raises RTS while it sends
    Software,  // the library raises RTS before a frame and drops it when the transmitter is empty
};

// Why the last open of a device failed.
enum class TOpenFailure {
    None,
    NoDevice,      // no such device (not plugged in, wrong name)
    NotSerial,     // opens, but is not a serial device
    AccessDenied,  // no permission on the device node
    InUse,         // another program holds it (lock file, flock or exclusive mode)
    Console,       // the system console: never opened
    Other,
};

// Triggers kept by the port component across a close.
struct TSavedTriggers {
    uint32_t AvailThreshold = 0;
};

// One notification on its way to the user-interface thread. The dispatch thread waits for it
// to be done; a delivery that is cancelled (time-out, close) is never run later.
struct TDelivery {
    enum State { Pending, Running, Done, Cancelled };
    std::mutex Mutex;
    std::condition_variable Changed;
    State St = Pending;
    uint16_t Msg = 0;
    uint16_t WParam = 0;
    uint32_t LParam = 0;

    // Called on the receiving thread: true when the delivery may run now (it is then Running).
    bool Begin();
    void Finish();
    // Pending -> Cancelled; false when it already runs or ended.
    bool Cancel();
};

// Something a dispatcher notifies (the port component's notification object).
class INotifyTarget {
public:
    virtual ~INotifyTarget() = default;
    // Queues the delivery to the target's thread and returns at once.
    virtual void PostNotification(std::shared_ptr<TDelivery> delivery) = 0;
};

class TBaseDispatcher {
public:
    explicit TBaseDispatcher(QObject* owner);
    virtual ~TBaseDispatcher();
    TBaseDispatcher(const TBaseDispatcher&) = delete;
    TBaseDispatcher& operator=(const TBaseDispatcher&) = delete;

    // Registry of live dispatchers; a handle is an index in it.
    static std::recursive_mutex& RegistryLock();
    // The dispatcher of a handle, or null (take RegistryLock around the use).
    static TBaseDispatcher* FromHandle(uint32_t handle);

    QObject* Owner() const { return owner_; }
    uint32_t Handle() const { return handle_; }
    bool PortIsOpen() const { return fd_ >= 0; }

    int OpenDispatcherPort(const QString& name, int32_t baud, uint32_t options, uint32_t outSize, uint32_t inSize,
                           uint16_t stopBits, uint16_t dataBits, uint8_t parity);
    // Closes the port. Outside a delivery the threads are joined and the descriptor closed;
    // during a delivery only close-requested is set and FinishDeferredClose completes it.
    void CloseDispatcherPort();
    // Whether a close was requested during a delivery and still waits for FinishDeferredClose.
    bool ClosePending() const { return closeRequested_.load(); }
    // Joins the threads and closes the descriptor after a close made during a delivery.
    void FinishDeferredClose();
    // True while a notification runs on the receiving thread.
    bool DeliveryRunning() { return DeliveryIn(TDelivery::Running); }
    // True while a notification waits for the receiving thread.
    bool DeliveryQueued() { return DeliveryIn(TDelivery::Pending); }
    // Marks the running notification done (its handler freed the receiver); the dispatch
    // thread then goes on and can end.
    void EndRunningDelivery();
    // Marks a delivery done once its handler returned. What the handler read ahead counts as
    // taken from then on, for every read that follows (not only once the dispatch ends).
    void FinishDelivery(const std::shared_ptr<TDelivery>& delivery);
    // Whether the device went away while open. The line is then left alone: nothing more is
    // read or written, and writes fail with ecode::PortLost.
    bool Lost() const { return lost_.load(); }
    // After the loss was announced: ends the threads and lets go of the descriptor, so that
    // the device can come back under its name. Not from inside a delivery.
    void ReleaseLostPort();

    int SetCommBuffers(uint32_t inSize, uint32_t outSize);
    int SetLineParameters(int32_t baud, uint8_t parity, uint16_t stopBits, uint16_t dataBits);
    void GetLineParameters(int32_t& baud, uint8_t& parity, uint16_t& dataBits, uint16_t& stopBits);
    int SetDTR(bool on);
    int SetRTS(bool on);
    bool DTR() const { return dtrState_; }
    bool RTS() const { return rtsState_; }

    uint8_t GetModemStatus(uint8_t mask);
    void RefreshModemStatus();
    void RefreshComError();
    int GetLineError();
    bool CheckLineBreak();

    // The n-th byte the caller has not read yet (1-based); a handler of an avail or data
    // notification reads ahead of the others.
    int PeekChar(uint32_t n);
    int GetReceivedChar();
    int PutOutputBlock(const char* bytes, uint32_t count);
    uint32_t InBuffUsed();
    uint32_t OutBuffUsed();
    uint32_t OutBuffFree();
    void FlushOutBuffer();
    void FlushInBuffer();

    int SetHWFlowControl(uint32_t bufferFull, uint32_t bufferResume, uint32_t options);
    int SetSWFlowControl(uint32_t bufferFull, uint32_t bufferResume, uint32_t options);
    int ClearSWFlowControl();
    int SetFlowChars(uint8_t xon, uint8_t xoff);
    void GetFlowOptions(uint32_t& hwOptions, uint32_t& swOptions, uint8_t& xon, uint8_t& xoff);

    void SetRS485Mode(bool on);
    bool RS485Mode();
    TRS485Method RS485Method() const { return rs485Method_; }

    void SetAvailThreshold(uint32_t n);
    uint32_t AvailThreshold();
    void SaveTriggers(TSavedTriggers& saved);
    void RestoreTriggers(const TSavedTriggers& saved);
    void ClearTriggers();

    void RegisterWindowHandler(INotifyTarget* target);
    void DeregisterWindowHandler(INotifyTarget* target);
    // 1: the owner has events; 2: it has none; 0: recompute.
    void UpdateHandlerFlags(int kind);
    void EndDispatching();
    void SetThreadBoost(uint8_t boost);
    void SetFlagBits(uint32_t bits);
    void ClearFlagBits(uint32_t bits);
    uint32_t FlagWord();

    // Trace and dispatch log.
    int SetupTraceBuffer(uint32_t entries);
    void TraceClear();
    void TracePause();
    void TraceResume();
    void TraceOff();
    int TraceDump(const QString& fileName, bool hex, bool allHex, bool append);
    int SetupLogBuffer(uint32_t size);
    void LogClear();
    void LogPause();
    void LogResume();
    void LogOff();
    int LogDump(const QString& fileName, bool hex, bool allHex, bool append);

    // The last system error (Windows-style number) of a failed platform call.
    int LastSystemError() const { return lastSystemError_; }
    // Why the last PortOpen failed, and the process that holds the device (0 when unknown).
    TOpenFailure OpenFailure() const { return openFailure_; }
    int OpenFailurePid() const { return openFailurePid_; }

    // Replaces the system calls made on the device (tests); before the open.
    void SetSystem(std::shared_ptr<TSerialSystem> system) { sys_ = std::move(system); }
    TSerialSystem& System() const { return *sys_; }

    // Platform operations.
    virtual int PortEscape(int function) = 0;
    virtual int PortFlush(int which) = 0;
    // Line-error bits since the last call; fills the driver's input count.
    virtual uint32_t PortGetErrors(uint32_t& inQueue) = 0;
    virtual int PortGetState(TDCB& dcb) = 0;
    virtual int PortRead(char* buffer, uint32_t count) = 0;
    virtual int PortSetState(const TDCB& dcb) = 0;
    virtual int PortWrite(const char* bytes, uint32_t count);
    virtual bool PortSetupQueues(uint32_t inSize, uint32_t outSize) = 0;
    virtual int PortOpen(const QString& name, uint32_t inSize, uint32_t outSize) = 0;
    virtual int PortClose() = 0;
    virtual int PortIdle() = 0;
    virtual uint8_t PortModemStatus() = 0;
    // After a successful PortOpen: raw line settings, read the current ones into the block.
    virtual void PortPrepare() {}
    // Switches the direction control on or off; returns how it is done on this device.
    virtual TRS485Method PortSetRS485(bool) { return TRS485Method::None; }
    // Waits until the driver has sent what it holds.
    virtual int PortDrain() { return 0; }

protected:
    bool DeliveryIn(int state);
    // Threads.
    void StartThreads();
    void WaitThreadsStarted();
    void StopThreads();
    void ComThreadBody();
    void DispThreadBody();
    void OutThreadBody();
    void ProcessCommEvent();
    bool ReadPortIntoBuffer();
    bool CheckReceiveTriggers();
    // Delivers to the handlers; false when the handlers did not read what was announced.
    bool DispatchToHandlers(uint16_t msg, uint16_t wParam, uint16_t data);
    void WriteOutputRing();
    // Writes len bytes of the ring from `from`; false when a flush, a close or a loss stopped it.
    bool WriteRingPart(uint32_t from, uint32_t len);
    void WakeComThread();
    void WakeOutThread();
    // A thread notes its id as it starts and takes its priority; the id goes when it ends.
    struct ThreadTag {
        TBaseDispatcher* Owner;
        pid_t* Tid;
        ~ThreadTag();
    };
    [[nodiscard]] ThreadTag EnterThread(pid_t& tid);
    // Priorities from the boost and the RS-485 mode (line lock).
    void ApplyThreadPriorities();
    // Called by whichever thread notices that the device is gone.
    void MarkLost();
    // Hands the loss to the handlers, waiting as long as it takes (a close cancels it); false
    // when there was nobody to tell yet.
    bool DeliverPortLost();
    // Posts one delivery and waits for it; the time-out applies only while it is still queued.
    // Returns the delivery's final state; Cancelled without posting when deliveries stopped.
    TDelivery::State PostAndWait(INotifyTarget* target, uint16_t msg, uint16_t wParam, uint32_t lParam,
                                 bool timeLimit);
    // Software RS-485: waits for the transmitter to be empty.
    virtual void WaitTransmitterEmpty() {}
    virtual void ClosePortDescriptor() = 0;

    uint32_t RingUsedLocked() const;
    uint32_t BufferCountLocked() const;
    // Input lock held. How many bytes past the tail the caller has already read: the running
    // handler its own read-ahead, anybody else what the finished handlers of the dispatch read.
    uint32_t ReadOffsetLocked();
    // The byte `offset` places past the tail, or ecode::BufferIsEmpty.
    int ByteAtLocked(uint32_t offset) const;
    void AdvanceTailLocked(uint32_t count);
    // A read outside the handlers during a dispatch: what they read is taken first.
    void TakeReadAheadLocked();
    int ApplyCommState(TDCB& dcb);
    void DrainOutput();

    QObject* owner_ = nullptr;
    uint32_t handle_ = 0;
    int fd_ = -1;
    int comWakeFd_ = -1;
    int outWakeFd_ = -1;
    int lastSystemError_ = 0;
    TOpenFailure openFailure_ = TOpenFailure::None;
    int openFailurePid_ = 0;
    std::shared_ptr<TSerialSystem> sys_ = TSerialSystem::Real();

    std::recursive_mutex lineLock_;
    std::recursive_mutex outputLock_;
    std::recursive_mutex inputLock_;

    // Line state (line lock).
    std::atomic<uint32_t> errorWord_{0};
    uint8_t modemStatus_ = 0;
    TDCB dcb_;
    uint32_t lastBaud_ = 115200;
    uint32_t flagWord_ = 0;
    bool dtrState_ = false;
    bool dtrOwned_ = false;
    bool rtsState_ = false;
    bool rtsOwned_ = false;
    std::atomic<bool> rs485_{false};
    std::atomic<TRS485Method> rs485Method_{TRS485Method::None};  // read by the output thread
    uint32_t inQue_ = 0;
    uint32_t outQue_ = 0;
    uint8_t threadBoost_ = 0;
    int baseNice_ = 0;
    pid_t comTid_ = 0;
    pid_t dispTid_ = 0;
    pid_t outTid_ = 0;

    // Handlers (line lock).
    struct WindowHandler {
        INotifyTarget* Target;
        bool Deleted;
    };
    std::vector<WindowHandler> windowHandlers_;
    bool ownerHasEvents_ = false;
    std::atomic<bool> handlersPresent_{false};
    std::atomic<bool> dispatching_{false};
    bool deferredDeletions_ = false;
    std::atomic<bool> closeRequested_{false};
    uint32_t availThreshold_ = 0;

    // Dispatch buffer (input lock).
    std::vector<char> buffer_;
    uint32_t head_ = 0;
    uint32_t tail_ = 0;
    bool bufferFull_ = false;
    uint64_t receivedTotal_ = 0;   // bytes ever read into the buffer
    uint64_t lastAvailTotal_ = 0;  // receivedTotal_ at the last avail notification
    bool reannounce_ = false;
    bool readAheadMode_ = false;
    uint32_t readAheadCount_ = 0;  // the running handler's
    uint32_t largestRead_ = 0;     // of the handlers that returned, from the tail
    uint32_t takenInDispatch_ = 0; // moved past the tail already during the dispatch

    // Output ring (output lock).
    std::vector<char> ring_;
    uint32_t ringHead_ = 0;
    uint32_t ringTail_ = 0;
    bool ringFull_ = false;
    bool outputWritten_ = false;

    // Threads.
    std::thread comThread_;
    std::thread dispThread_;
    std::thread outThread_;
    std::atomic<bool> kill_{false};
    std::atomic<bool> threadsRunning_{false};
    std::atomic<bool> outputRequested_{false};
    std::atomic<bool> flushRequested_{false};
    std::atomic<bool> comEnded_{false};
    std::atomic<bool> lost_{false};
    std::atomic<bool> lostPending_{false};

    // Wakes the dispatch thread after a port event; tells the event thread a cycle ended.
    std::mutex eventMutex_;
    std::condition_variable eventChanged_;
    bool commEvent_ = false;
    bool ready_ = false;
    bool flushAck_ = false;
    int threadsStarted_ = 0;

    // The delivery in flight (deliveryMutex_).
    std::mutex deliveryMutex_;
    std::shared_ptr<TDelivery> currentDelivery_;
    bool stopDeliveries_ = false;

    // Trace and log (line lock).
    std::unique_ptr<TTraceRing> trace_;
    std::unique_ptr<TDispatchLog> log_;
    uint32_t openTime_ = 0;
};

// Linux serial devices, pseudo-terminals included: raw termios, exclusive by flock.
class TPosixDispatcher : public TBaseDispatcher {
public:
    explicit TPosixDispatcher(QObject* owner);
    ~TPosixDispatcher() override;

    int PortEscape(int function) override;
    int PortFlush(int which) override;
    uint32_t PortGetErrors(uint32_t& inQueue) override;
    int PortGetState(TDCB& dcb) override;
    int PortRead(char* buffer, uint32_t count) override;
    int PortSetState(const TDCB& dcb) override;
    bool PortSetupQueues(uint32_t inSize, uint32_t outSize) override;
    int PortOpen(const QString& name, uint32_t inSize, uint32_t outSize) override;
    int PortClose() override;
    int PortIdle() override;
    uint8_t PortModemStatus() override;

protected:
    void PortPrepare() override;
    TRS485Method PortSetRS485(bool on) override;
    int PortDrain() override;
    void WaitTransmitterEmpty() override;
    void ClosePortDescriptor() override;
    // Makes the wake descriptors; false when that fails.
    bool MakeWakeFds();
    // Records why the open failed; returns -1.
    int FailOpen(TOpenFailure why, int err, int pid = 0);
    // Ownership checks made before the open, and the exclusive hold after it.
    bool PortIsFree(const QString& name);
    int HoldExclusively(int fd, const QString& name);
    // Puts back the line settings and RS-485 configuration found at the open.
    void RestoreLine();

    bool haveIcount_ = false;
    int lastIcount_[5] = {};  // frame, parity, overrun, buffer overrun, break
    bool rtsDrivable_ = false;
    bool haveLsr_ = false;
    // The line settings and RS-485 configuration found at the open, put back at the close.
    struct SavedLine;
    std::unique_ptr<SavedLine> saved_;
    QString lockPath_;
};

// Adopts a descriptor that somebody else opened (no name, no lock of its own).
class TAdoptDispatcher : public TPosixDispatcher {
public:
    TAdoptDispatcher(QObject* owner, int adoptedFd) : TPosixDispatcher(owner), adopted_(adoptedFd) {}
    int PortOpen(const QString& name, uint32_t inSize, uint32_t outSize) override;

private:
    int adopted_;
};

// Whether hardware flow-control options ask for RTS on receive without CTS on send. Linux
// switches the two only together (CRTSCTS): the sender would then wait for a CTS that a cable
// without that line never gives, so such options are refused.
inline bool RtsHandshakeWithoutCts(uint32_t options) { return (options & 2) && !(options & 8); }

// The rate a legacy speed code stands for (0xFEFF, 0xFF10 to 0xFF27; 0 for an unused code);
// any other value is the rate itself.
uint32_t BaudFromLegacyCode(uint32_t baud);

// The pause after the output drained before new line settings: 18 character times
// (36 when that is below a millisecond), in milliseconds rounded up.
uint32_t DrainPauseMs(uint32_t baud, uint8_t byteSize, uint8_t parity, uint8_t stopBits);

// Whether a failed read, write or ioctl says that the device is gone (unplugged, hung up).
bool DeviceGoneError(int err);

// Whether COM port n exists: it opens, or another program holds it.
bool ProbePortPresent(int n);

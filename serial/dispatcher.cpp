#include "serial/dispatcher.h"

#include "serial/serialexcept.h"
#include "serial/serialmisc.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <poll.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <sys/eventfd.h>
#include <unistd.h>

using namespace std::chrono_literals;

namespace {

std::vector<TBaseDispatcher*>& Registry()
{
    static std::vector<TBaseDispatcher*> list;
    return list;
}

constexpr auto DeliveryTimeout = 3000ms;
constexpr auto DispatchCycle = 50ms;

}  // namespace

bool DeviceGoneError(int err) { return err == EIO || err == ENXIO || err == ENODEV; }

namespace {

void SignalFd(int fd)
{
    if (fd < 0)
        return;
    const uint64_t one = 1;
    ssize_t r;
    do {
        r = write(fd, &one, sizeof one);
    } while (r < 0 && errno == EINTR);
}

void DrainFd(int fd)
{
    uint64_t v;
    while (read(fd, &v, sizeof v) > 0) {
    }
}

}  // namespace

// ---- Delivery state ---------------------------------------------------------------------------

bool TDelivery::Begin()
{
    std::lock_guard lock(Mutex);
    if (St != Pending)
        return false;
    St = Running;
    return true;
}

void TDelivery::Finish()
{
    {
        std::lock_guard lock(Mutex);
        St = Done;
    }
    Changed.notify_all();
}

bool TDelivery::Cancel()
{
    {
        std::lock_guard lock(Mutex);
        if (St != Pending)
            return false;
        St = Cancelled;
    }
    Changed.notify_all();
    return true;
}

// ---- Creation and registry --------------------------------------------------------------------

std::recursive_mutex& TBaseDispatcher::RegistryLock()
{
    static std::recursive_mutex lock;
    return lock;
}

TBaseDispatcher* TBaseDispatcher::FromHandle(uint32_t handle)
{
    std::lock_guard lock(RegistryLock());
    auto& list = Registry();
    return handle < list.size() ? list[handle] : nullptr;
}

TBaseDispatcher::TBaseDispatcher(QObject* owner) : owner_(owner)
{
    // "Normal" is the priority of the thread that makes the dispatcher.
    errno = 0;
    const int nice = ::getpriority(PRIO_PROCESS, 0);
    baseNice_ = errno == 0 ? nice : 0;
    std::lock_guard lock(RegistryLock());
    auto& list = Registry();
    const auto it = std::find(list.begin(), list.end(), nullptr);
    if (it != list.end()) {
        *it = this;
        handle_ = static_cast<uint32_t>(it - list.begin());
    } else {
        handle_ = static_cast<uint32_t>(list.size());
        list.push_back(this);
    }
}

TBaseDispatcher::~TBaseDispatcher()
{
    std::lock_guard lock(RegistryLock());
    auto& list = Registry();
    list[handle_] = nullptr;
    while (!list.empty() && list.back() == nullptr)
        list.pop_back();
}

// ---- Open and close ---------------------------------------------------------------------------

int TBaseDispatcher::OpenDispatcherPort(const QString& name, int32_t baud, uint32_t options, uint32_t outSize,
                                        uint32_t inSize, uint16_t stopBits, uint16_t dataBits, uint8_t parity)
{
    closeRequested_ = false;
    kill_ = false;
    const int h = PortOpen(name, inSize, outSize);
    if (h < 0) {
        const int err = h == ecode::OutOfMemory ? ecode::OutOfMemory : -lastSystemError_;
        CloseDispatcherPort();
        return err;
    }
    PortPrepare();
    if (const int r = SetCommBuffers(inSize, outSize); r < 0) {
        CloseDispatcherPort();
        return r;
    }
    {
        std::lock_guard in(inputLock_);
        std::lock_guard out(outputLock_);
        buffer_.assign(DispatchBufferSize, 0);
        ring_.assign(std::max<uint32_t>(outSize, 1), 0);
        ringHead_ = ringTail_ = 0;
        ringFull_ = false;
        outputWritten_ = false;
        readAheadMode_ = false;
        readAheadCount_ = 0;
        head_ = tail_ = 0;
        bufferFull_ = false;
        receivedTotal_ = lastAvailTotal_ = 0;
        reannounce_ = false;
    }
    errorWord_ = 0;
    {
        std::lock_guard line(lineLock_);
        rs485_ = false;
        inQue_ = inSize;
        outQue_ = static_cast<uint32_t>(ring_.size());
        PortGetState(dcb_);
        if (options & 0x10) {
            dtrOwned_ = true;
        } else {
            dtrOwned_ = false;
            SetDTR(options & 1);
        }
        if (options & 0x20) {
            rtsOwned_ = true;
        } else {
            rtsOwned_ = false;
            SetRTS(options & 2);
        }
        availThreshold_ = 0;
        modemStatus_ = 0;
        GetModemStatus(0xF0);
        lastBaud_ = 115200;
    }
    if (const int r = SetLineParameters(baud, parity, stopBits, dataBits); r < 0) {
        CloseDispatcherPort();
        return r;
    }
    RefreshComError();
    {
        std::lock_guard line(lineLock_);
        trace_.reset();
        log_.reset();
        openTime_ = GetTimeMs();
    }
    // Bytes waiting in the line from before the open answer nothing asked through this port.
    PortFlush(1);
    StartThreads();
    WaitThreadsStarted();
    return 0;
}

void TBaseDispatcher::CloseDispatcherPort()
{
    if (fd_ >= 0 && !closeRequested_) {
        FlushOutBuffer();
        FlushInBuffer();
    }
    if (threadsRunning_ && DeliveryRunning()) {
        // Closed from inside a handler: the delivery finishes first, then FinishDeferredClose.
        closeRequested_ = true;
        kill_ = true;
        WakeComThread();
        WakeOutThread();
        {
            std::lock_guard lock(eventMutex_);
            ready_ = true;
        }
        eventChanged_.notify_all();
        return;
    }
    StopThreads();
    ClosePortDescriptor();
}

void TBaseDispatcher::FinishDeferredClose()
{
    StopThreads();
    ClosePortDescriptor();
    closeRequested_ = false;
}

bool TBaseDispatcher::DeliveryIn(int state)
{
    std::lock_guard lock(deliveryMutex_);
    if (!currentDelivery_)
        return false;
    std::lock_guard dl(currentDelivery_->Mutex);
    return currentDelivery_->St == state;
}

void TBaseDispatcher::EndRunningDelivery()
{
    std::shared_ptr<TDelivery> d;
    {
        std::lock_guard lock(deliveryMutex_);
        d = currentDelivery_;
    }
    if (!d)
        return;
    {
        std::lock_guard dl(d->Mutex);
        if (d->St != TDelivery::Running)
            return;
    }
    FinishDelivery(d);
}

void TBaseDispatcher::FinishDelivery(const std::shared_ptr<TDelivery>& d)
{
    // Under the input lock, so that no read sees the delivery done but its bytes not yet taken.
    std::lock_guard in(inputLock_);
    bool current;
    {
        std::lock_guard lock(deliveryMutex_);
        current = currentDelivery_ == d;
    }
    if (current && readAheadMode_) {
        largestRead_ = std::max(largestRead_, readAheadCount_);
        readAheadCount_ = 0;
    }
    d->Finish();
}

int TBaseDispatcher::SetCommBuffers(uint32_t inSize, uint32_t outSize)
{
    return PortSetupQueues(inSize, outSize) ? 0 : -lastSystemError_;
}

// ---- Threads ----------------------------------------------------------------------------------

void TBaseDispatcher::StartThreads()
{
    std::lock_guard line(lineLock_);
    if (threadsRunning_)
        throw Exception(QStringLiteral("Dispatcher already started"));
    threadsRunning_ = true;
    kill_ = false;
    {
        std::lock_guard lock(deliveryMutex_);
        stopDeliveries_ = false;
    }
    {
        std::lock_guard lock(eventMutex_);
        threadsStarted_ = 0;
    }
    comThread_ = std::thread([this] { ComThreadBody(); });
    dispThread_ = std::thread([this] { DispThreadBody(); });
    outThread_ = std::thread([this] { OutThreadBody(); });
}

void TBaseDispatcher::WaitThreadsStarted()
{
    // Each thread has its id and priority once this returns.
    std::unique_lock lock(eventMutex_);
    eventChanged_.wait_for(lock, 3 * DeliveryTimeout, [this] { return threadsStarted_ == 3; });
}

void TBaseDispatcher::StopThreads()
{
    if (!threadsRunning_)
        return;
    {
        std::lock_guard lock(deliveryMutex_);
        stopDeliveries_ = true;
        if (currentDelivery_)
            currentDelivery_->Cancel();
    }
    kill_ = true;
    WakeComThread();
    WakeOutThread();
    {
        std::lock_guard lock(eventMutex_);
        ready_ = true;
        commEvent_ = true;
    }
    eventChanged_.notify_all();
    // No lock of ours is held here, so a thread that still needs one can finish.
    for (std::thread* t : {&outThread_, &comThread_, &dispThread_}) {
        if (t->joinable())
            t->join();
    }
    threadsRunning_ = false;
}

void TBaseDispatcher::WakeComThread() { SignalFd(comWakeFd_); }

void TBaseDispatcher::WakeOutThread() { SignalFd(outWakeFd_); }

void TBaseDispatcher::ComThreadBody()
{
    const ThreadTag tag = EnterThread(comTid_);
    while (!kill_) {
        bool full;
        {
            std::lock_guard in(inputLock_);
            full = bufferFull_;
        }
        // With the dispatch buffer full, only the wake descriptor is watched until room appears.
        pollfd fds[2] = {{fd_, static_cast<short>(full ? 0 : POLLIN), 0}, {comWakeFd_, POLLIN, 0}};
        const int r = poll(fds, 2, -1);
        if (r < 0) {
            if (errno == EINTR)
                continue;
            break;
        }
        if (fds[1].revents & POLLIN)
            DrainFd(comWakeFd_);
        if (kill_)
            break;
        if (fds[0].revents & (POLLHUP | POLLERR | POLLNVAL)) {
            MarkLost();  // unplugged or hung up: nothing more will come
            break;
        }
        if (fds[0].revents & POLLIN) {
            std::unique_lock lock(eventMutex_);
            ready_ = false;
            commEvent_ = true;
            eventChanged_.notify_all();
            eventChanged_.wait(lock, [this] { return ready_ || kill_; });
        }
    }
}

void TBaseDispatcher::DispThreadBody()
{
    const ThreadTag tag = EnterThread(dispTid_);
    for (;;) {
        {
            std::unique_lock lock(eventMutex_);
            eventChanged_.wait_for(lock, DispatchCycle, [this] { return commEvent_ || kill_; });
            commEvent_ = false;
        }
        if (kill_)
            break;
        ProcessCommEvent();
        if (kill_ || closeRequested_)
            break;
        // The bytes that came before the loss were announced above; then the loss, once.
        if (lostPending_ && DeliverPortLost()) {
            lostPending_ = false;
            break;
        }
    }
}

void TBaseDispatcher::ProcessCommEvent()
{
    ReadPortIntoBuffer();
    if (!dispatching_) {
        while (CheckReceiveTriggers()) {
            if (closeRequested_ || kill_)
                return;
        }
        if (closeRequested_ || kill_)
            return;
    }
    {
        std::lock_guard lock(eventMutex_);
        ready_ = true;
    }
    eventChanged_.notify_all();
}

bool TBaseDispatcher::ReadPortIntoBuffer()
{
    std::lock_guard in(inputLock_);
    if (bufferFull_ || buffer_.empty() || lost_)
        return false;
    uint32_t waiting = 0;
    errorWord_ |= PortGetErrors(waiting) & 0x1F;
    if (waiting == 0)
        return false;
    const uint32_t free = tail_ == head_ ? DispatchBufferSize
                          : tail_ < head_ ? tail_ + DispatchBufferSize - head_
                                          : tail_ - head_;
    const uint32_t contiguous = tail_ <= head_ ? DispatchBufferSize - head_ : tail_ - head_;
    const uint32_t toRead = std::min(free, waiting);
    auto readAt = [this](uint32_t size) {
        const int n = std::max(0, PortRead(buffer_.data() + head_, size));
        if (n > 0) {
            {
                std::lock_guard line(lineLock_);
                if (log_)
                    log_->Add(LogDispatch, LogReadCom, GetTimeMs() - openTime_, static_cast<uint32_t>(n),
                              buffer_.data() + head_, static_cast<uint32_t>(n));
            }
            head_ = (head_ + static_cast<uint32_t>(n)) % DispatchBufferSize;
            receivedTotal_ += static_cast<uint32_t>(n);
            bufferFull_ = head_ == tail_;
        }
        return static_cast<uint32_t>(n);
    };
    const uint32_t first = readAt(contiguous);
    if (first == contiguous && toRead > contiguous && !bufferFull_)
        readAt(toRead - contiguous);
    return true;
}

bool TBaseDispatcher::CheckReceiveTriggers()
{
    uint32_t threshold;
    {
        std::lock_guard line(lineLock_);
        threshold = availThreshold_;
    }
    uint32_t unread;
    {
        std::lock_guard in(inputLock_);
        // Counting the bytes (not comparing positions) also sees a whole buffer's worth that
        // brought the head round to where it was.
        if (threshold == 0 || (receivedTotal_ == lastAvailTotal_ && !reannounce_))
            return false;
        unread = BufferCountLocked() - ReadOffsetLocked();
        if (unread < threshold)
            return false;
        lastAvailTotal_ = receivedTotal_;
        reannounce_ = false;
    }
    {
        std::lock_guard line(lineLock_);
        if (log_)
            log_->Add(LogTrigger, LogAvail, GetTimeMs() - openTime_, unread, nullptr, 0);
    }
    return DispatchToHandlers(TriggerAvailMsg, static_cast<uint16_t>(std::min(unread, DispatchBufferSize)), 0);
}

bool TBaseDispatcher::DispatchToHandlers(uint16_t msg, uint16_t wParam, uint16_t data)
{
    if (!handlersPresent_)
        return true;
    std::vector<INotifyTarget*> targets;
    {
        std::lock_guard line(lineLock_);
        dispatching_ = true;
        if (windowHandlers_.size() >= 2 || ownerHasEvents_) {
            for (const WindowHandler& h : windowHandlers_) {
                if (!h.Deleted)
                    targets.push_back(h.Target);
            }
        }
    }
    {
        std::lock_guard in(inputLock_);
        largestRead_ = 0;
        takenInDispatch_ = 0;
        readAheadMode_ = msg == TriggerAvailMsg || msg == TriggerDataMsg;
    }
    const uint32_t lParam = (handle_ << 16) + data;
    bool aborted = false;
    bool timedOut = false;
    for (INotifyTarget* target : targets) {
        {
            std::lock_guard in(inputLock_);
            readAheadCount_ = 0;
        }
        const TDelivery::State st = PostAndWait(target, msg, wParam, lParam, true);
        if (st == TDelivery::Pending)
            timedOut = true;
        else if (st == TDelivery::Cancelled)
            aborted = true;
        if (closeRequested_ || kill_ || aborted) {
            aborted = true;
            break;
        }
    }
    bool result = true;
    {
        std::lock_guard in(inputLock_);
        if (readAheadMode_) {
            readAheadMode_ = false;
            if (!aborted) {
                // Each handler's read-ahead was counted as it returned (FinishDelivery).
                AdvanceTailLocked(largestRead_);
                if (msg == TriggerAvailMsg && takenInDispatch_ + largestRead_ != wParam)
                    result = false;
                // A delivery that never ran leaves its bytes to be announced again.
                if (timedOut && BufferCountLocked() > 0)
                    reannounce_ = true;
            }
        }
        readAheadCount_ = 0;
        largestRead_ = 0;
        takenInDispatch_ = 0;
    }
    EndDispatching();
    return aborted ? false : result;
}

TDelivery::State TBaseDispatcher::PostAndWait(INotifyTarget* target, uint16_t msg, uint16_t wParam, uint32_t lParam,
                                              bool timeLimit)
{
    auto d = std::make_shared<TDelivery>();
    d->Msg = msg;
    d->WParam = wParam;
    d->LParam = lParam;
    {
        std::lock_guard lock(deliveryMutex_);
        if (stopDeliveries_)
            return TDelivery::Cancelled;
        currentDelivery_ = d;
    }
    target->PostNotification(d);
    TDelivery::State result;
    {
        std::unique_lock lock(d->Mutex);
        const auto finished = [&] { return d->St == TDelivery::Done || d->St == TDelivery::Cancelled; };
        bool expired = false;
        if (!timeLimit) {
            d->Changed.wait(lock, finished);
        } else if (!d->Changed.wait_for(lock, DeliveryTimeout, finished)) {
            if (d->St == TDelivery::Pending) {
                d->St = TDelivery::Cancelled;  // never run late
                expired = true;
            } else {
                d->Changed.wait(lock, finished);  // already running: let it finish
            }
        }
        result = expired ? TDelivery::Pending : d->St;
    }
    {
        std::lock_guard lock(deliveryMutex_);
        currentDelivery_.reset();
    }
    return result;
}

bool TBaseDispatcher::DeliverPortLost()
{
    std::vector<INotifyTarget*> targets;
    {
        std::lock_guard line(lineLock_);
        for (const WindowHandler& h : windowHandlers_) {
            if (!h.Deleted)
                targets.push_back(h.Target);
        }
        if (targets.empty())
            return false;  // the open has not registered its window yet: tell it later
        dispatching_ = true;
    }
    for (INotifyTarget* target : targets) {
        PostAndWait(target, PortLostMsg, 0, handle_ << 16, false);
        if (closeRequested_ || kill_)
            break;
    }
    EndDispatching();
    return true;
}

// Handlers removed while a dispatch ran are dropped once it is over.
void TBaseDispatcher::EndDispatching()
{
    std::lock_guard line(lineLock_);
    dispatching_ = false;
    if (deferredDeletions_) {
        deferredDeletions_ = false;
        std::erase_if(windowHandlers_, [](const WindowHandler& h) { return h.Deleted; });
        UpdateHandlerFlags(0);
    }
}

void TBaseDispatcher::MarkLost()
{
    if (lost_.exchange(true))
        return;
    {
        // Nobody will ever take what waits to be sent.
        std::lock_guard out(outputLock_);
        ringHead_ = ringTail_ = 0;
        ringFull_ = false;
    }
    lostPending_ = true;
    {
        std::lock_guard lock(eventMutex_);
        commEvent_ = true;
    }
    eventChanged_.notify_all();
    WakeOutThread();
}

void TBaseDispatcher::ReleaseLostPort()
{
    StopThreads();
    ClosePortDescriptor();
}

// ---- Input ------------------------------------------------------------------------------------

uint32_t TBaseDispatcher::BufferCountLocked() const
{
    if (head_ > tail_)
        return head_ - tail_;
    if (head_ < tail_)
        return head_ + DispatchBufferSize - tail_;
    return bufferFull_ ? DispatchBufferSize : 0;
}

uint32_t TBaseDispatcher::ReadOffsetLocked()
{
    if (!readAheadMode_)
        return 0;
    return DeliveryRunning() ? readAheadCount_ : largestRead_;
}

int TBaseDispatcher::ByteAtLocked(uint32_t offset) const
{
    if (buffer_.empty() || offset >= BufferCountLocked())
        return ecode::BufferIsEmpty;
    return static_cast<uint8_t>(buffer_[(tail_ + offset) % DispatchBufferSize]);
}

void TBaseDispatcher::AdvanceTailLocked(uint32_t count)
{
    if (count == 0)
        return;
    tail_ = (tail_ + count) % DispatchBufferSize;
    if (bufferFull_) {
        bufferFull_ = false;
        WakeComThread();  // it stopped watching the port while there was no room
    }
}

void TBaseDispatcher::TakeReadAheadLocked()
{
    if (!readAheadMode_)
        return;
    AdvanceTailLocked(largestRead_);
    takenInDispatch_ += largestRead_;
    largestRead_ = 0;
}

uint32_t TBaseDispatcher::InBuffUsed()
{
    std::lock_guard in(inputLock_);
    return BufferCountLocked() - ReadOffsetLocked();
}

int TBaseDispatcher::PeekChar(uint32_t n)
{
    std::lock_guard in(inputLock_);
    if (n == 0)
        return ecode::BufferIsEmpty;
    return ByteAtLocked(ReadOffsetLocked() + n - 1);
}

int TBaseDispatcher::GetReceivedChar()
{
    int c;
    {
        std::lock_guard in(inputLock_);
        // Only the handler of the running delivery reads ahead. Anybody else (before that
        // delivery runs, or after its handler returned) takes the byte for good, after what
        // the handlers read.
        if (readAheadMode_ && DeliveryRunning()) {
            c = ByteAtLocked(readAheadCount_);
            if (c >= 0)
                ++readAheadCount_;
        } else {
            TakeReadAheadLocked();
            c = ByteAtLocked(0);
            if (c >= 0)
                AdvanceTailLocked(1);
        }
    }
    if (c >= 0) {
        std::lock_guard line(lineLock_);
        if (trace_)
            trace_->Add(TraceReceive, static_cast<uint8_t>(c));
    }
    return c;
}

void TBaseDispatcher::FlushInBuffer()
{
    std::lock_guard in(inputLock_);
    if (fd_ >= 0)
        PortFlush(1);
    // Everything unread is gone at once, also for a handler that reads on after the flush.
    if (readAheadMode_)
        takenInDispatch_ += BufferCountLocked();
    AdvanceTailLocked(BufferCountLocked());
    readAheadCount_ = 0;
    largestRead_ = 0;
}

// ---- Output -----------------------------------------------------------------------------------

uint32_t TBaseDispatcher::RingUsedLocked() const
{
    if (ringFull_)
        return outQue_;
    if (ringTail_ < ringHead_)
        return ringHead_ - ringTail_;
    if (ringTail_ > ringHead_)
        return outQue_ - ringTail_ + ringHead_;
    return 0;
}

int TBaseDispatcher::PutOutputBlock(const char* bytes, uint32_t count)
{
    if (count == 0)
        return 0;
    int result = 0;
    {
        std::lock_guard out(outputLock_);
        if (lost_)
            return ecode::PortLost;
        if (ring_.empty())
            return ecode::CommNotOpen;
        uint32_t inQueue = 0;
        // Added to what the dispatch thread counted: the application has not read that yet.
        errorWord_ |= PortGetErrors(inQueue) & 0x1F;
        if (lost_)
            return ecode::PortLost;  // found gone just now: nothing is queued for nobody
        const uint32_t free = outQue_ - RingUsedLocked();
        if (count > free)
            return ecode::OutputBufferTooSmall;
        // Software direction control: the driver goes on before the frame is queued.
        if (rs485_ && rs485Method_ == TRS485Method::Software)
            SetRTS(true);
        if (count == free)
            ringFull_ = true;
        if (PortWrite(bytes, count) < 1) {
            errorWord_ |= PortGetErrors(inQueue) & 0x1F;
            result = ecode::PutBlockFail;
        }
        outputWritten_ = true;
    }
    std::lock_guard line(lineLock_);
    if (log_)
        log_->Add(LogDispatch, LogWriteCom, GetTimeMs() - openTime_, count, bytes, count);
    if (trace_) {
        for (uint32_t i = 0; i < count; ++i)
            trace_->Add(TraceTransmit, static_cast<uint8_t>(bytes[i]));
    }
    return result;
}

int TBaseDispatcher::PortWrite(const char* bytes, uint32_t count)
{
    {
        std::lock_guard out(outputLock_);
        const uint32_t size = static_cast<uint32_t>(ring_.size());
        const uint32_t first = std::min(count, size - ringHead_);
        std::copy(bytes, bytes + first, ring_.begin() + ringHead_);
        std::copy(bytes + first, bytes + count, ring_.begin());
        ringHead_ = (ringHead_ + count) % size;
    }
    outputRequested_ = true;
    WakeOutThread();
    return static_cast<int>(count);
}

uint32_t TBaseDispatcher::OutBuffUsed()
{
    std::lock_guard out(outputLock_);
    return RingUsedLocked();
}

uint32_t TBaseDispatcher::OutBuffFree()
{
    std::lock_guard out(outputLock_);
    return outQue_ - RingUsedLocked();
}

void TBaseDispatcher::FlushOutBuffer() { PortFlush(0); }

void TBaseDispatcher::OutThreadBody()
{
    const ThreadTag tag = EnterThread(outTid_);
    while (!kill_) {
        if (flushRequested_.exchange(false)) {
            {
                std::lock_guard out(outputLock_);
                ringHead_ = ringTail_ = 0;
                ringFull_ = false;
            }
            {
                std::lock_guard lock(eventMutex_);
                flushAck_ = true;
            }
            eventChanged_.notify_all();
            continue;
        }
        if (outputRequested_.exchange(false)) {
            WriteOutputRing();
            continue;
        }
        pollfd p{outWakeFd_, POLLIN, 0};
        if (poll(&p, 1, -1) > 0)
            DrainFd(outWakeFd_);
    }
}

void TBaseDispatcher::WriteOutputRing()
{
    for (;;) {
        uint32_t from, len;
        {
            std::lock_guard out(outputLock_);
            const uint32_t used = RingUsedLocked();
            if (used == 0 || lost_) {
                ringHead_ = ringTail_ = 0;
                ringFull_ = false;
                break;
            }
            // Data that wraps is turned round to start at 0, so that it goes out in one write.
            if (ringTail_ != 0 && (ringFull_ || ringHead_ <= ringTail_) && ringHead_ != 0) {
                std::rotate(ring_.begin(), ring_.begin() + ringTail_, ring_.end());
                ringTail_ = 0;
                ringHead_ = used % outQue_;
            }
            from = ringTail_;
            len = std::min(used, outQue_ - from);
        }
        if (!WriteRingPart(from, len) && !lost_)
            break;  // a flush or a close; after a loss the top of the loop drops the rest
    }
    if (rs485_ && rs485Method_ == TRS485Method::Software && !lost_) {
        // The frame must have left the wire, not only our ring, before the driver goes off:
        // the kernel's queue first, then the transmitter itself.
        PortDrain();
        WaitTransmitterEmpty();
        // Only an empty ring drops the driver: a frame queued meanwhile still needs it. A flush
        // or a close empties it too, and a driver left on would hold the bus.
        std::lock_guard out(outputLock_);
        if ((RingUsedLocked() == 0 || flushRequested_ || kill_) && rs485_)
            SetRTS(false);
    }
}

bool TBaseDispatcher::WriteRingPart(uint32_t from, uint32_t len)
{
    // Bytes that the device refuses are dropped so that the ring never stalls.
    uint32_t done = 0;
    while (done < len) {
        if (kill_ || flushRequested_ || lost_)
            return false;
        const ssize_t n = sys_->Write(fd_, ring_.data() + from + done, len - done);
        if (n > 0) {
            done += static_cast<uint32_t>(n);
            std::lock_guard out(outputLock_);
            if (lost_)
                return false;  // the ring was emptied meanwhile
            ringTail_ = (ringTail_ + static_cast<uint32_t>(n)) % outQue_;
            ringFull_ = false;
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && DeviceGoneError(errno)) {
            MarkLost();
            return false;
        }
        if (n < 0 && errno == EAGAIN) {
            pollfd fds[2] = {{fd_, POLLOUT, 0}, {outWakeFd_, POLLIN, 0}};
            if (poll(fds, 2, -1) < 0 && errno != EINTR)
                break;
            if (fds[1].revents & POLLIN)
                DrainFd(outWakeFd_);
            if (!(fds[0].revents & (POLLHUP | POLLERR | POLLNVAL)))
                continue;
            MarkLost();
            return false;
        }
        break;  // the device failed: drop the rest of this block
    }
    if (done < len) {
        std::lock_guard out(outputLock_);
        if (lost_)
            return false;
        ringTail_ = (ringTail_ + (len - done)) % outQue_;
        ringFull_ = false;
    }
    return true;
}

// ---- Line settings ----------------------------------------------------------------------------

uint32_t BaudFromLegacyCode(uint32_t baud)
{
    static const uint32_t legacy[24] = {110, 300, 600, 1200, 2400, 4800, 9600, 14400, 19200, 0, 0, 38400,
                                        0,   0,   0,   56000, 0,   0,    0,    128000, 0, 0,  0, 256000};
    if (baud == 0xFEFF)
        return 115200;
    if (baud >= 0xFF10 && baud <= 0xFF27)
        return legacy[baud - 0xFF10];
    return baud;
}

uint32_t DrainPauseMs(uint32_t baud, uint8_t byteSize, uint8_t parity, uint8_t stopBits)
{
    baud = BaudFromLegacyCode(baud);
    if (baud == 0)
        return 0;
    uint32_t bits = byteSize + 2u;
    if (parity != 0)
        ++bits;
    if (stopBits != OneStopBit)
        ++bits;
    const uint64_t t = uint64_t(10000000 / baud) * bits;
    uint64_t x = 18 * t;
    if (x < 10000)
        x = 36 * t;
    return static_cast<uint32_t>((x + 9999) / 10000);
}

void TBaseDispatcher::DrainOutput()
{
    for (int i = 0; i < 5000 && OutBuffUsed() != 0; ++i)
        std::this_thread::sleep_for(2ms);
    // Our ring is empty; the driver may still hold the frame's tail.
    PortDrain();
    uint8_t byteSize, parity, stop;
    uint32_t baud;
    {
        std::lock_guard line(lineLock_);
        byteSize = dcb_.ByteSize;
        parity = dcb_.Parity;
        stop = dcb_.StopBits;
        baud = lastBaud_;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(DrainPauseMs(baud, byteSize, parity, stop)));
}

int TBaseDispatcher::SetLineParameters(int32_t baud, uint8_t parity, uint16_t stopBits, uint16_t dataBits)
{
    if (lost_)
        return ecode::PortLost;
    TDCB dcb;
    auto prepare = [&] {
        PortGetState(dcb);
        dcb.fBinary = true;
        dcb.fParity = false;
        dcb.fDsrSensitivity = false;
        dcb.fTXContinueOnXoff = true;
        dcb.fNull = false;
        if (baud != 0)
            dcb.BaudRate = static_cast<uint32_t>(baud);
        if (parity != 5)
            dcb.Parity = parity;
        if (dataBits != 9)
            dcb.ByteSize = static_cast<uint8_t>(dataBits);
        if (stopBits != 3) {
            const uint16_t s = stopBits == 0 ? 1 : stopBits > 3 ? 2 : stopBits;
            dcb.StopBits = s == 1 ? OneStopBit : TwoStopBits;
            // Five data bits cannot have two stop bits: the line uses one and a half.
            if (dcb.ByteSize == 5 && dcb.StopBits == TwoStopBits)
                dcb.StopBits = One5StopBits;
        }
    };
    {
        std::lock_guard line(lineLock_);
        prepare();
        if (dcb.BaudRate == dcb_.BaudRate && dcb.Parity == dcb_.Parity && dcb.ByteSize == dcb_.ByteSize &&
            dcb.StopBits == dcb_.StopBits)
            return 0;
    }
    DrainOutput();
    int r;
    {
        std::lock_guard line(lineLock_);
        prepare();
        r = ApplyCommState(dcb);
    }
    if (r < 0) {
        RefreshComError();  // a device that went away shows there (outside the line lock)
        if (lost_)
            return ecode::PortLost;
    }
    return r;
}

void TBaseDispatcher::GetLineParameters(int32_t& baud, uint8_t& parity, uint16_t& dataBits, uint16_t& stopBits)
{
    std::lock_guard line(lineLock_);
    const uint32_t rate = BaudFromLegacyCode(dcb_.BaudRate);
    baud = static_cast<int32_t>(rate != 0 ? rate : dcb_.BaudRate);
    parity = dcb_.Parity;
    dataBits = dcb_.ByteSize;
    stopBits = dcb_.StopBits == OneStopBit ? 1 : 2;
}

int TBaseDispatcher::ApplyCommState(TDCB& dcb)
{
    std::lock_guard line(lineLock_);
    if (!dtrOwned_)
        dcb.fDtrControl = dtrState_ ? DtrControlEnable : DtrControlDisable;
    if (!rtsOwned_)
        dcb.fRtsControl = rtsState_ ? RtsControlEnable : RtsControlDisable;
    const int r = PortSetState(dcb);
    if (r == 0) {
        dcb_ = dcb;
        lastBaud_ = dcb.BaudRate;
    }
    SetDTR(dtrState_);
    if (!rs485_)
        SetRTS(rtsState_);
    return r;
}

int TBaseDispatcher::SetDTR(bool on)
{
    std::lock_guard line(lineLock_);
    if (dtrOwned_)
        return 1;
    const int r = PortEscape(on ? 5 : 6);
    dtrState_ = on;
    return r < 0 ? ecode::BadArgument : r;
}

int TBaseDispatcher::SetRTS(bool on)
{
    std::lock_guard line(lineLock_);
    if (rtsOwned_)
        return 1;
    const int r = PortEscape(on ? 3 : 4);
    rtsState_ = on;
    return r < 0 ? ecode::BadArgument : r;
}

int TBaseDispatcher::SetHWFlowControl(uint32_t bufferFull, uint32_t bufferResume, uint32_t options)
{
    std::lock_guard line(lineLock_);
    if (RtsHandshakeWithoutCts(options))
        return ecode::RtsHandshakeWithoutCts;
    if (bufferFull < bufferResume || bufferFull > inQue_)
        return ecode::BadArgument;
    TDCB dcb;
    PortGetState(dcb);
    dcb.fOutxCtsFlow = false;
    dcb.fOutxDsrFlow = false;
    dcb.fDtrControl = DtrControlDisable;
    dcb.fRtsControl = RtsControlDisable;
    dtrOwned_ = rtsOwned_ = false;
    if (options & 1) {
        dcb.fDtrControl = DtrControlHandshake;
        dtrOwned_ = true;
    } else if (dtrState_) {
        dcb.fDtrControl = DtrControlEnable;
    }
    if (options & 2) {
        dcb.fRtsControl = RtsControlHandshake;
        rtsOwned_ = true;
    } else if (rtsState_) {
        dcb.fRtsControl = RtsControlEnable;
    }
    if (rs485_ && rs485Method_ == TRS485Method::Kernel) {
        dcb.fRtsControl = RtsControlToggle;
        rtsOwned_ = true;
    }
    dcb.XoffLim = inQue_ - bufferFull;
    dcb.XonLim = bufferResume;
    if (options & 4)
        dcb.fOutxDsrFlow = true;
    if (options & 8)
        dcb.fOutxCtsFlow = true;
    return ApplyCommState(dcb);
}

int TBaseDispatcher::SetSWFlowControl(uint32_t bufferFull, uint32_t bufferResume, uint32_t options)
{
    std::lock_guard line(lineLock_);
    if (bufferFull < bufferResume || bufferFull > inQue_)
        return ecode::BadArgument;
    TDCB dcb;
    PortGetState(dcb);
    // Both directions are set each time: a direction dropped from the options goes off.
    dcb.fInX = options & 2;
    dcb.fOutX = options & 1;
    if (options & 2) {
        dcb.XoffLim = inQue_ - bufferFull;
        dcb.XonLim = bufferResume;
    }
    if (options & 3) {
        dcb.XonChar = 17;
        dcb.XoffChar = 19;
    }
    return ApplyCommState(dcb);
}

int TBaseDispatcher::ClearSWFlowControl()
{
    std::lock_guard line(lineLock_);
    TDCB dcb;
    PortGetState(dcb);
    dcb.fInX = dcb.fOutX = false;
    return ApplyCommState(dcb);
}

int TBaseDispatcher::SetFlowChars(uint8_t xon, uint8_t xoff)
{
    std::lock_guard line(lineLock_);
    TDCB dcb;
    PortGetState(dcb);
    dcb.XonChar = xon;
    dcb.XoffChar = xoff;
    return ApplyCommState(dcb);
}

void TBaseDispatcher::GetFlowOptions(uint32_t& hwOptions, uint32_t& swOptions, uint8_t& xon, uint8_t& xoff)
{
    std::lock_guard line(lineLock_);
    hwOptions = (dcb_.fDtrControl == DtrControlHandshake ? 1 : 0) | (dcb_.fRtsControl == RtsControlHandshake ? 2 : 0) |
                (dcb_.fOutxDsrFlow ? 4 : 0) | (dcb_.fOutxCtsFlow ? 8 : 0);
    swOptions = (dcb_.fInX ? 2 : 0) | (dcb_.fOutX ? 1 : 0);
    xon = dcb_.XonChar;
    xoff = dcb_.XoffChar;
}

void TBaseDispatcher::SetRS485Mode(bool on)
{
    std::lock_guard line(lineLock_);
    const bool changed = rs485_ != on;
    rs485_ = on;
    rs485Method_ = PortSetRS485(on);
    if (changed)
        ApplyThreadPriorities();
}

bool TBaseDispatcher::RS485Mode() { return rs485_; }

// ---- Modem and line status --------------------------------------------------------------------

uint8_t TBaseDispatcher::GetModemStatus(uint8_t mask)
{
    std::lock_guard line(lineLock_);
    const uint8_t status = static_cast<uint8_t>(PortModemStatus() | (modemStatus_ & 0x0F));
    modemStatus_ = status & mask;
    return status;
}

void TBaseDispatcher::RefreshModemStatus()
{
    std::lock_guard line(lineLock_);
    const uint8_t before = modemStatus_;
    const uint8_t now = GetModemStatus(0xFF);
    const uint8_t changed = static_cast<uint8_t>(((before ^ now) & 0xF0) >> 4);
    modemStatus_ = static_cast<uint8_t>(now | changed);
}

void TBaseDispatcher::RefreshComError()
{
    std::lock_guard in(inputLock_);
    uint32_t inQueue = 0;
    errorWord_ |= PortGetErrors(inQueue) & 0x1F;
}

int TBaseDispatcher::GetLineError()
{
    std::lock_guard line(lineLock_);
    static const std::pair<uint32_t, int> order[] = {{1, 1}, {2, 2}, {4, 3}, {8, 4}, {16, 9}};
    // The dispatch thread and writes add bits without the line lock: only the bits read here
    // are cleared, so one that comes in meanwhile is kept for the next call.
    uint32_t w = errorWord_;
    for (;;) {
        int code = 0;
        for (const auto& [bit, c] : order) {
            if (w & bit) {
                code = c;
                break;
            }
        }
        if (code == 0)
            return 0;
        if (errorWord_.compare_exchange_weak(w, w & ~0x0Fu))
            return code;
    }
}

bool TBaseDispatcher::CheckLineBreak()
{
    std::lock_guard line(lineLock_);
    return errorWord_.fetch_and(~16u) & 16;
}

// ---- Triggers and handlers --------------------------------------------------------------------

void TBaseDispatcher::SetAvailThreshold(uint32_t n)
{
    std::lock_guard line(lineLock_);
    availThreshold_ = n;
    if (log_)
        log_->Add(LogTrDatChg, LogAvailThreshold, GetTimeMs() - openTime_, n, nullptr, 0);
}

uint32_t TBaseDispatcher::AvailThreshold()
{
    std::lock_guard line(lineLock_);
    return availThreshold_;
}

void TBaseDispatcher::SaveTriggers(TSavedTriggers& saved)
{
    std::lock_guard line(lineLock_);
    saved.AvailThreshold = availThreshold_;
}

void TBaseDispatcher::RestoreTriggers(const TSavedTriggers& saved)
{
    std::lock_guard line(lineLock_);
    availThreshold_ = saved.AvailThreshold;
}

void TBaseDispatcher::ClearTriggers()
{
    std::lock_guard line(lineLock_);
    availThreshold_ = 0;
}

void TBaseDispatcher::RegisterWindowHandler(INotifyTarget* target)
{
    std::lock_guard line(lineLock_);
    windowHandlers_.push_back({target, false});
    handlersPresent_ = true;
    if (log_)
        log_->Add(LogTrgHdAlc, LogWindow, GetTimeMs() - openTime_, 0, nullptr, 0);
}

void TBaseDispatcher::DeregisterWindowHandler(INotifyTarget* target)
{
    std::lock_guard line(lineLock_);
    for (auto it = windowHandlers_.begin(); it != windowHandlers_.end(); ++it) {
        if (it->Target != target)
            continue;
        if (dispatching_) {
            it->Deleted = true;
            deferredDeletions_ = true;
        } else {
            windowHandlers_.erase(it);
        }
        if (log_)
            log_->Add(LogTrgHdDsp, LogWindow, GetTimeMs() - openTime_, 0, nullptr, 0);
        break;
    }
}

void TBaseDispatcher::UpdateHandlerFlags(int kind)
{
    std::lock_guard line(lineLock_);
    const auto live = std::count_if(windowHandlers_.begin(), windowHandlers_.end(),
                                    [](const WindowHandler& h) { return !h.Deleted; });
    const bool any = live >= 2;
    if (kind == 1) {
        ownerHasEvents_ = true;
        handlersPresent_ = true;
    } else if (kind == 2) {
        ownerHasEvents_ = false;
        handlersPresent_ = any;
    } else {
        handlersPresent_ = any || ownerHasEvents_;
    }
}

void TBaseDispatcher::SetThreadBoost(uint8_t boost)
{
    std::lock_guard line(lineLock_);
    if (boost == threadBoost_)
        return;
    threadBoost_ = boost;
    ApplyThreadPriorities();
}

TBaseDispatcher::ThreadTag TBaseDispatcher::EnterThread(pid_t& tid)
{
    {
        std::lock_guard line(lineLock_);
        tid = static_cast<pid_t>(::syscall(SYS_gettid));
        ApplyThreadPriorities();
    }
    {
        std::lock_guard lock(eventMutex_);
        ++threadsStarted_;
    }
    eventChanged_.notify_all();
    return {this, &tid};
}

TBaseDispatcher::ThreadTag::~ThreadTag()
{
    std::lock_guard line(Owner->lineLock_);
    *Tid = 0;  // the id may be given to another thread now
}

void TBaseDispatcher::ApplyThreadPriorities()
{
    // A boost is a lower nice value of the thread. Raising a priority takes CAP_SYS_NICE or a
    // nice limit (RLIMIT_NICE) that allows it; without either the threads stay at normal.
    auto apply = [this](pid_t tid, int boost) {
        if (tid > 0)
            ::setpriority(PRIO_PROCESS, static_cast<id_t>(tid), std::max(baseNice_ - boost, -20));
    };
    apply(comTid_, threadBoost_);
    apply(dispTid_, threadBoost_);
    // The output thread one step higher in RS-485 mode, so that the direction is switched back
    // to receive in time.
    apply(outTid_, threadBoost_ + (rs485_ ? 1 : 0));
}

void TBaseDispatcher::SetFlagBits(uint32_t bits)
{
    std::lock_guard line(lineLock_);
    flagWord_ |= bits;
}

void TBaseDispatcher::ClearFlagBits(uint32_t bits)
{
    std::lock_guard line(lineLock_);
    flagWord_ &= ~bits;
}

uint32_t TBaseDispatcher::FlagWord()
{
    std::lock_guard line(lineLock_);
    return flagWord_;
}

// ---- Trace and log ----------------------------------------------------------------------------

int TBaseDispatcher::SetupTraceBuffer(uint32_t entries)
{
    std::lock_guard line(lineLock_);
    if (entries > MaxTraceSize)
        return ecode::BadArgument;
    if (trace_)
        trace_->Clear();
    else
        trace_ = std::make_unique<TTraceRing>(entries);
    trace_->Active = true;
    return 0;
}

void TBaseDispatcher::TraceClear()
{
    std::lock_guard line(lineLock_);
    if (trace_)
        trace_->Clear();
}

void TBaseDispatcher::TracePause()
{
    std::lock_guard line(lineLock_);
    if (trace_)
        trace_->Active = false;
}

void TBaseDispatcher::TraceResume()
{
    std::lock_guard line(lineLock_);
    if (trace_)
        trace_->Active = true;
}

void TBaseDispatcher::TraceOff()
{
    std::lock_guard line(lineLock_);
    trace_.reset();
}

int TBaseDispatcher::TraceDump(const QString& fileName, bool hex, bool allHex, bool append)
{
    std::lock_guard line(lineLock_);
    if (!trace_)
        return 0;
    const QString text = trace_->Format(hex, allHex);
    trace_.reset();
    return WriteDumpFile(fileName, text, append);
}

int TBaseDispatcher::SetupLogBuffer(uint32_t size)
{
    std::lock_guard line(lineLock_);
    if (log_)
        log_->Clear();
    else
        log_ = std::make_unique<TDispatchLog>(size);
    log_->Active = true;
    return 0;
}

void TBaseDispatcher::LogClear()
{
    std::lock_guard line(lineLock_);
    if (log_)
        log_->Clear();
}

void TBaseDispatcher::LogPause()
{
    std::lock_guard line(lineLock_);
    if (log_)
        log_->Active = false;
}

void TBaseDispatcher::LogResume()
{
    std::lock_guard line(lineLock_);
    if (log_)
        log_->Active = true;
}

void TBaseDispatcher::LogOff()
{
    std::lock_guard line(lineLock_);
    log_.reset();
}

int TBaseDispatcher::LogDump(const QString& fileName, bool hex, bool allHex, bool append)
{
    std::lock_guard line(lineLock_);
    if (!log_)
        return 0;
    const QString text = log_->Format(hex, allHex);
    log_.reset();
    return WriteDumpFile(fileName, text, append);
}

// Buffer and ring arithmetic of the dispatcher, driven directly without its threads.
#include "pty.h"
#include "recsys.h"
#include "serial/dispatcher.h"
#include "serial/serialexcept.h"

#include <gtest/gtest.h>
#include <fcntl.h>
#include <unistd.h>

namespace {

// Opens up the dispatcher's state so that positions can be set up exactly.
struct Probe : TPosixDispatcher {
    Probe() : TPosixDispatcher(nullptr)
    {
        buffer_.assign(DispatchBufferSize, 0);
        for (uint32_t i = 0; i < DispatchBufferSize; ++i)
            buffer_[i] = static_cast<char>(i);
        inQue_ = 4096;
    }
    ~Probe() override { fd_ = -1; }
    void Ring(uint32_t size, uint32_t head, uint32_t tail, bool full)
    {
        ring_.assign(size, 0);
        outQue_ = size;
        ringHead_ = head;
        ringTail_ = tail;
        ringFull_ = full;
    }
    void Input(uint32_t head, uint32_t tail, bool full)
    {
        head_ = head;
        tail_ = tail;
        bufferFull_ = full;
    }
    using TBaseDispatcher::fd_;
    using TBaseDispatcher::ring_;
    using TBaseDispatcher::ringHead_;
    using TBaseDispatcher::ringTail_;
    using TBaseDispatcher::ringFull_;
    using TBaseDispatcher::tail_;
    using TBaseDispatcher::errorWord_;
    using TBaseDispatcher::dtrOwned_;
    using TBaseDispatcher::WriteOutputRing;
    using TPosixDispatcher::PortPrepare;
};

}  // namespace

TEST(DispatchBuffer, FullBufferCountsAllAndWrapsItsTail)
{
    Probe p;
    p.Input(100, 100, true);
    EXPECT_EQ(p.InBuffUsed(), DispatchBufferSize);
    EXPECT_EQ(p.PeekChar(DispatchBufferSize), static_cast<uint8_t>(99)) << "the byte before the tail";
    EXPECT_EQ(p.PeekChar(DispatchBufferSize + 1), ecode::BufferIsEmpty);

    p.Input(2, 8191, false);
    EXPECT_EQ(p.InBuffUsed(), 3u);
    EXPECT_EQ(p.GetReceivedChar(), static_cast<uint8_t>(8191 & 0xFF));
    EXPECT_EQ(p.tail_, 0u);
    EXPECT_EQ(p.GetReceivedChar(), 0);
    EXPECT_EQ(p.GetReceivedChar(), 1);
    EXPECT_EQ(p.GetReceivedChar(), ecode::BufferIsEmpty);
}

TEST(OutputRing, ExactFitFillsTheRingAndNothingMoreGoesIn)
{
    Probe p;
    p.Ring(16, 4, 4, false);
    EXPECT_EQ(p.PutOutputBlock("0123456789abcdef", 16), 0);
    EXPECT_TRUE(p.ringFull_);
    EXPECT_EQ(p.OutBuffFree(), 0u);
    EXPECT_EQ(p.OutBuffUsed(), 16u);
    EXPECT_EQ(p.PutOutputBlock("x", 1), ecode::OutputBufferTooSmall);
    EXPECT_EQ(p.PutOutputBlock("", 0), 0);
    EXPECT_EQ(QByteArray(p.ring_.data(), 16), "cdef0123456789ab") << "wrapped at the end";
}

TEST(OutputRing, TooLargeBlockQueuesNothing)
{
    Probe p;
    p.Ring(8, 2, 0, false);
    EXPECT_EQ(p.PutOutputBlock("1234567", 7), ecode::OutputBufferTooSmall);
    EXPECT_EQ(p.OutBuffUsed(), 2u);
    EXPECT_EQ(p.ringHead_, 2u);
}

TEST(OutputRing, BlockAcrossTheEndLeavesHeadAtTheRestsLength)
{
    Probe p;
    p.Ring(10, 8, 8, false);
    EXPECT_EQ(p.PutOutputBlock("abcde", 5), 0);
    EXPECT_EQ(p.ringHead_, 3u);
    EXPECT_EQ(p.OutBuffUsed(), 5u);
}

TEST(OutputRing, FullWrappedRingIsSentOnceAndInOrder)
{
    PtyPair pty;
    Probe p;
    p.fd_ = open(pty.SlavePath().toLocal8Bit().constData(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    ASSERT_GE(p.fd_, 0);
    p.PortPrepare();
    p.Ring(8, 5, 5, false);
    ASSERT_EQ(p.PutOutputBlock("ABCDEFGH", 8), 0);
    ASSERT_TRUE(p.ringFull_);
    p.WriteOutputRing();
    EXPECT_EQ(pty.Read(8), "ABCDEFGH");
    EXPECT_EQ(pty.Read(1, std::chrono::milliseconds(100)), "") << "nothing is sent twice";
    EXPECT_EQ(p.OutBuffUsed(), 0u);
    close(p.fd_);
}

TEST(OutputRing, WrappedDataIsTurnedRoundAndGoesOutInOneWrite)
{
    PtyPair pty;
    auto sys = std::make_shared<RecordingSystem>();
    Probe p;
    p.SetSystem(sys);
    p.fd_ = open(pty.SlavePath().toLocal8Bit().constData(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    ASSERT_GE(p.fd_, 0);
    p.PortPrepare();
    p.Ring(10, 6, 6, false);
    ASSERT_EQ(p.PutOutputBlock("abcdefg", 7), 0);
    ASSERT_EQ(p.ringHead_, 3u) << "the block wraps";
    sys->Clear();
    p.WriteOutputRing();
    EXPECT_EQ(sys->Calls(), QStringList{"write 7"});
    EXPECT_EQ(pty.Read(7), "abcdefg");
    EXPECT_EQ(p.OutBuffUsed(), 0u);
    close(p.fd_);
}

TEST(LineState, ErrorsComeOutInOrderAndBreakLast)
{
    Probe p;
    p.errorWord_ = 4 | 16;
    EXPECT_EQ(p.GetLineError(), 3);
    EXPECT_EQ(p.GetLineError(), 9);
    EXPECT_TRUE(p.CheckLineBreak());
    EXPECT_FALSE(p.CheckLineBreak());
    EXPECT_EQ(p.GetLineError(), 0);
}

TEST(LineState, FlowLimitsOutOfRangeAndOwnedLines)
{
    Probe p;
    EXPECT_EQ(p.SetHWFlowControl(100, 200, 1), ecode::BadArgument);
    EXPECT_EQ(p.SetHWFlowControl(5000, 100, 1), ecode::BadArgument);
    EXPECT_EQ(p.SetSWFlowControl(100, 200, 1), ecode::BadArgument);
    p.dtrOwned_ = true;
    const bool before = p.DTR();
    EXPECT_EQ(p.SetDTR(!before), 1);
    EXPECT_EQ(p.DTR(), before);
}

// End-to-end harness: the program over a simulated bus in a folder of its own.
//
//     class ScanTest : public e2e::EndToEndTest {};
//     TEST_F(ScanTest, FindsTheDevice) {
//         bus().AddDevice(sim::DeviceState::Factory(300, 2));   // COM1 is the simulated bus
//         TfrmMain window;                                        // finds COM1, uses ExeDir()
//         ... press buttons ...
//         ASSERT_TRUE(WaitFor([&] { return window.FoundCount() == 1; }));
//         EXPECT_EQ(boxes.Count(), 0u);
//     }
//
// ExeDir() is a fresh temporary folder holding bases/, schemes/ and docs/ as beside the real
// executable; COMPORT_MAP maps COM1 to the simulator's pty. Message boxes are answered by the
// recorder (the default button unless told otherwise) and never shown.
#pragma once

#include "platform/application.h"
#include "tests/support/sim/device_sim.h"

#include <gtest/gtest.h>

#include <QTemporaryDir>

#include <chrono>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

namespace e2e {

using namespace std::chrono_literals;

// Runs the Qt event loop until the predicate holds (true) or the deadline passes (false).
bool WaitFor(const std::function<bool()>& predicate, std::chrono::milliseconds deadline = 10s);

// A box the program asked for, and the button the recorder pressed.
struct RecordedBox : MessageBoxRequest {
    MsgButton answer = mbNone;
};

// Answers message boxes instead of showing them and records them; installed while it lives.
class MessageBoxRecorder {
public:
    MessageBoxRecorder();
    ~MessageBoxRecorder();
    MessageBoxRecorder(const MessageBoxRecorder&) = delete;
    MessageBoxRecorder& operator=(const MessageBoxRecorder&) = delete;

    // The button pressed from now on. mbNone, or a button the box does not offer: its default
    // button, else its first one.
    void AnswerWith(MsgButton button);
    // Answers for the next boxes, in order, before falling back to AnswerWith.
    void QueueAnswer(MsgButton button);

    std::vector<RecordedBox> Boxes() const;
    size_t Count() const;
    std::optional<RecordedBox> Last() const;
    void Clear();

private:
    MsgButton Answer(const MessageBoxRequest& request);

    mutable std::mutex mutex_;
    std::vector<RecordedBox> boxes_;
    std::deque<MsgButton> queued_;
    MsgButton answer_ = mbNone;
    MessageBoxHook previous_;
};

// A simulated bus on COMn and a fresh executable folder; undone when it goes.
class Harness {
public:
    explicit Harness(int comPort = 1);
    ~Harness();
    Harness(const Harness&) = delete;
    Harness& operator=(const Harness&) = delete;

    sim::Bus& Bus() { return *bus_; }
    // The executable folder, ending in '/'.
    QString Folder() const;
    QString DatabasePath() const { return Folder() + "bases/vemor.db"; }

private:
    std::unique_ptr<sim::Bus> bus_;
    QTemporaryDir dir_;
    QByteArray oldComportMap_;
    bool hadComportMap_ = false;
};

class EndToEndTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    sim::Bus& bus() { return harness_->Bus(); }
    Harness& harness() { return *harness_; }
    static bool WaitFor(const std::function<bool()>& predicate, std::chrono::milliseconds deadline = 10s)
    {
        return e2e::WaitFor(predicate, deadline);
    }

    MessageBoxRecorder boxes;

private:
    std::unique_ptr<Harness> harness_;
};

}  // namespace e2e

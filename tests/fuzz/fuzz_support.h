// What every fuzz target shares: the libFuzzer entry points, the offscreen application, quiet
// message boxes and exception handler, and a reader that splits the input into the parts a target
// needs. A target defines LLVMFuzzerTestOneInput and, when it needs set-up, calls FuzzInitOnce.
#pragma once

#include "platform/application.h"

#include <QByteArray>
#include <QString>
#include <cstddef>
#include <cstdint>
#include <functional>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);
extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv);

namespace fuzz {

// Creates the offscreen QApplication (once) and answers every message box with its default
// button. The application's exception handler passes our own exceptions silently (the program
// would show them: its answer to a bad input) and aborts on any other, which is a fault.
void InitApplication();
// The button the boxes are answered with: the default one, else the first one offered.
MsgButton DefaultAnswer(const MessageBoxRequest& r);

// Runs f when the run ends (last registered first), before the application goes: targets free
// what they keep for the run here, so that leak checking sees only what an input leaked.
void AtShutdown(std::function<void()> f);
// Frees what the targets registered, then the application. The corpus runner calls it at the end.
void Shutdown();

// A temporary folder laid out like the executable's (bases/, schemes/, docs/ from the source
// tree's data/), made the executable folder for the rest of the run; '/'-terminated.
QString ExeFolder();

// Takes the input apart from the front: selector bytes first, the rest as the parser's data.
class Input {
public:
    Input(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}
    // One byte (0 once the input is used up).
    std::uint8_t Byte();
    // Up to n bytes.
    QByteArray Bytes(std::size_t n);
    // Everything not taken yet.
    QByteArray Rest();
    bool Empty() const { return pos_ >= size_; }

private:
    const std::uint8_t* data_;
    std::size_t size_;
    std::size_t pos_ = 0;
};

}  // namespace fuzz

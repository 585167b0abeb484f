// The receive buffer of the reply side: bytes arrive in chunks, time passes between them, and
// every frame the buffer hands out must be a whole, well-summed frame of the bytes it holds.
#include "tests/fuzz/fuzz_support.h"

#include "app/protocol.h"

#include <cstdio>
#include <cstdlib>

namespace {

void Check(bool ok, const char* what)
{
    if (!ok) {
        std::fprintf(stderr, "receive buffer: %s\n", what);
        std::abort();
    }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    fuzz::Input in(data, size);
    vemor::RxBuffer rx;
    std::int64_t now = 0;
    static const std::int64_t steps[4] = {0, 3, vemor::RxBuffer::kStaleMs - 1, vemor::RxBuffer::kStaleMs};
    while (!in.Empty()) {
        // One control byte: the chunk's length (0..63) and how much time passed before it came.
        const std::uint8_t control = in.Byte();
        now += steps[control >> 6];
        rx.Append(in.Bytes(control & 0x3F), now);
        for (;;) {
            const int len = rx.FrontFrame(now);
            if (len == 0)
                break;
            const QByteArray& d = rx.Data();
            Check(len <= d.size(), "frame longer than the buffer");
            Check(std::uint8_t(d[0]) == vemor::kFrameStart, "frame without its start byte");
            Check(len == std::uint8_t(d[5]) + vemor::kFrameOverhead, "frame length not from its length byte");
            unsigned sum = 0;
            for (int i = 0; i < len - 2; ++i)
                sum += std::uint8_t(d[i]);
            Check((sum & 0xFFFF) == std::uint8_t(d[len - 2]) * 256u + std::uint8_t(d[len - 1]), "frame with a bad sum");
            (void)vemor::MinReplyData(std::uint8_t(d[4]));
            rx.Remove(len);
        }
    }
    return 0;
}

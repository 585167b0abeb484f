// The serial library's string tables: a table read from bytes, then looked up by the ids the
// input names and by every entry's position.
#include "tests/fuzz/fuzz_support.h"

#include "platform/application.h"
#include "serial/strresmgr.h"

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    fuzz::Input in(data, size);
    std::uint32_t id = 0;
    for (int i = 0; i < 4; ++i)
        id = id << 8 | in.Byte();
    const QByteArray bytes = in.Rest();
    try {
        TAdStringResource table(QStringLiteral("fuzz"), bytes);
        (void)table.GetStringById(id);
        for (std::uint32_t i = 0; i < table.Count() && i < 64; ++i)
            (void)table.GetStringById(i);
        table.RaiseIfMissing = true;
        (void)table.GetStringById(id);
    } catch (const Exception&) {
        // a damaged table or a missing id is refused with the reader's error
    }
    return 0;
}

// Column filter texts, as the filter row stores what was typed into a column of each kind, then
// shows the parsed expression back.
#include "tests/fuzz/fuzz_support.h"
#include "tests/fuzz/fuzz_grid.h"

#include "grid/dbgridexdataservice.h"
#include "platform/application.h"

namespace {

fuzz::Grid* g = nullptr;

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    fuzz::InitApplication();
    g = new fuzz::Grid;  // one grid for the run
    fuzz::AtShutdown([] {
        delete g;
        g = nullptr;
    });
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    fuzz::Input in(data, size);
    TDBGridColumnsEx& columns = g->grid->Columns();
    TColumnEx& column = *columns.Items(in.Byte() % columns.Count());
    const QString text = QString::fromUtf8(in.Rest());
    Guarded([&] { column.STFilter().SetFilterText(text); });
    // What the filter row shows when it comes back to the column (through the event guard, as there).
    Guarded([&] { (void)column.STFilter().GetExpressionAsString(); });
    column.STFilter().Clear();
    return 0;
}

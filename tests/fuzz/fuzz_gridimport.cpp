// The grid's import formats and pasted clipboard data: tab-separated text and the typed record
// format, read from a stream or pasted from the clipboard, into a grid with or without a
// selection, loading into the selection or everything, with or without appending allowed, with
// the dataset browsing or inserting a record, and a value that does not fit answered "ignore" or
// "ignore all".
#include "tests/fuzz/fuzz_support.h"
#include "tests/fuzz/fuzz_grid.h"

#include "grid/dbgridexiexp.h"
#include "grid/dbgridexselection.h"
#include "platform/application.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QMimeData>

namespace {

fuzz::Grid* g = nullptr;
bool ignoreAll = false;  // the answer to "Ignore error?" offered with "All"

void Select(std::uint8_t how)
{
    TDBGridEx& grid = *g->grid;
    switch (how) {
    case 1:  // records 1 and 3
        grid.SetOptions(grid.Options() + TDBGridOptions{dgMultiSelect});
        for (int n : {1, 3}) {
            g->ds.SetRecNo(n);
            grid.SelectedRows().SetCurrentRowSelected(true);
        }
        break;
    case 2:  // columns 1..3 of records 2..3
        g->ds.SetRecNo(2);
        grid.Selection().Rect().Select(1, g->ds.GetBookmark(), false);
        g->ds.SetRecNo(3);
        grid.Selection().Rect().Select(3, g->ds.GetBookmark(), true);
        break;
    case 3:  // from the second column of the last record
        g->ds.Last();
        grid.SetSelectedIndex(1);
        break;
    default: break;
    }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    fuzz::InitApplication();
    InitDBGridExImpExp();
    SetMessageBoxHook([](const MessageBoxRequest& r) {
        return ignoreAll && (r.buttons & mbAll) ? mbAll : fuzz::DefaultAnswer(r);
    });
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
    const std::uint8_t setup = in.Byte();
    const QByteArray bytes = in.Rest();
    Guarded([&] {
        g->Reset();
        g->grid->Selection().Clear();
        g->grid->SelectedRows().Clear();
        g->grid->SetSelectedIndex(0);
        g->grid->SetAllowedOperations(setup & 0x10 ? TDBGridExAllowedOperations{alopUpdateEx}
                                                   : TDBGridExAllowedOperations{alopInsertEx, alopUpdateEx,
                                                                                alopDeleteEx, alopAppendEx});
        Select((setup >> 2) & 3);
        if (setup & 0x40)  // a new record being typed when the data comes in
            g->ds.Insert();
    });
    ignoreAll = setup & 0x80;
    const bool loadAll = setup & 0x20;
    Guarded([&] {
        switch (setup & 3) {
        case 0: {
            TMemoryStream stream(bytes);
            DBGridExImportFromStream<TDBGridExImportAsText>(*g->grid, stream, loadAll);
            break;
        }
        case 1: {
            TMemoryStream stream(bytes);
            DBGridExImportFromStream<TDBGridExImportAsGRIDREC>(*g->grid, stream, loadAll);
            break;
        }
        case 2: {  // text another program copied
            auto* mime = new QMimeData;
            mime->setData(QStringLiteral("text/plain"), bytes);
            QGuiApplication::clipboard()->setMimeData(mime);
            DBGridExPasteFromClipboard(*g->grid, loadAll);
            break;
        }
        default: {  // records a grid copied
            auto* mime = new QMimeData;
            mime->setData(ClipboardFormatMimeType(CF_GRIDREC()), bytes);
            QGuiApplication::clipboard()->setMimeData(mime);
            DBGridExPasteFromClipboard(*g->grid, loadAll);
            break;
        }
        }
    });
    Guarded([] { g->ds.CheckBrowseMode(); });
    return 0;
}

// A grid over a small in-memory dataset, and helpers to read what the exporters write.
#pragma once

#include "grid/dbgridexiexp.h"

#include "platform/application.h"
#include "platform/datasource.h"
#include "platform/memdataset.h"
#include "platform/text.h"

#include <QByteArray>
#include <gtest/gtest.h>
#include <QString>
#include <memory>
#include <vector>

// Records: ID i, Name "Name<i>", Amount i * 1.5, Flag (odd ids).
inline std::unique_ptr<TMemDataSet> MakeDataSet(int records)
{
    auto ds = std::make_unique<TMemDataSet>();
    ds->SetFormatSettings(InvariantFormatSettings());
    ds->AddField(ftInteger, "ID");
    ds->AddField(ftString, "Name", 20);
    ds->AddField(ftFloat, "Amount");
    ds->AddField(ftBoolean, "Flag");
    ds->Open();
    for (int i = 1; i <= records; ++i)
        ds->AppendRecord({Variant(i), Variant(QString("Name%1").arg(i)), Variant(i * 1.5), Variant(i % 2 == 1)});
    ds->First();
    return ds;
}

struct ExportGrid {
    std::unique_ptr<TMemDataSet> ds;
    TDataSource source;
    std::unique_ptr<TDBGridEx> grid;

    explicit ExportGrid(int records = 3) : ExportGrid(MakeDataSet(records)) {}
    explicit ExportGrid(std::unique_ptr<TMemDataSet> data) : ds(std::move(data))
    {
        source.SetDataSet(ds.get());
        grid = std::make_unique<TDBGridEx>();
        grid->resize(400, 200);
        grid->SetDataSource(&source);
    }
    ~ExportGrid() { grid.reset(); }

    TColumnEx& Column(int i) { return *grid->Columns()[i]; }

    template <class TExport>
    QByteArray Export(bool saveAll = true)
    {
        TMemoryStream stream;
        DBGridExExportToStream<TExport>(*grid, stream, saveAll);
        return stream.Bytes();
    }
    template <class TImport>
    void Import(const QByteArray& bytes, bool loadAll = false)
    {
        TMemoryStream stream(bytes);
        DBGridExImportFromStream<TImport>(*grid, stream, loadAll);
    }
    // Selects records by their 1-based numbers.
    void SelectRecords(const std::vector<int>& recNos)
    {
        for (int n : recNos) {
            ds->SetRecNo(n);
            grid->SelectedRows().SetCurrentRowSelected(true);
        }
    }
    // A rectangle from (column, record) to (column, record), records 1-based.
    void SelectRect(int leftCol, int topRec, int rightCol, int bottomRec)
    {
        ds->SetRecNo(topRec);
        grid->Selection().Rect().Select(leftCol, ds->GetBookmark(), false);
        ds->SetRecNo(bottomRec);
        grid->Selection().Rect().Select(rightCol, ds->GetBookmark(), true);
    }
    QString Value(int recNo, const char* field)
    {
        ds->SetRecNo(recNo);
        return ds->FieldByName(field)->AsString();
    }
};

// Answers message boxes with a fixed button and records their texts.
struct BoxRecorder {
    std::vector<QString> texts;
    MsgButton answer;
    MessageBoxHook previous;
    explicit BoxRecorder(MsgButton a) : answer(a)
    {
        previous = SetMessageBoxHook([this](const MessageBoxRequest& r) {
            texts.push_back(r.text);
            return answer;
        });
    }
    ~BoxRecorder() { SetMessageBoxHook(previous); }
};

// Fails a test that shows a message box it did not expect, instead of blocking on a modal box.
class NoUnexpectedBoxes : public ::testing::Environment {
public:
    void SetUp() override
    {
        SetMessageBoxHook([](const MessageBoxRequest& r) {
            ADD_FAILURE() << "unexpected message box: " << r.text.toStdString();
            return r.defaultButton == mbNone ? mbCancel : r.defaultButton;
        });
    }
    void TearDown() override { SetMessageBoxHook(nullptr); }
};

// A code list (10 "Ten", 20 "Twenty") for lookup columns.
inline void FillCodeList(TMemDataSet& list)
{
    list.AddField(ftInteger, "Code");
    list.AddField(ftString, "Title", 20);
    list.Open();
    list.AppendRecord({Variant(10), Variant("Ten")});
    list.AppendRecord({Variant(20), Variant("Twenty")});
}

// Adds the lookup field "RefName" that shows the code list's title for the field "Ref".
inline void AddRefLookup(TMemDataSet& ds, TMemDataSet& list)
{
    ds.AddField(ftInteger, "Ref");
    TField* lookup = ds.AddField(ftString, "RefName", 20, fkLookup);
    lookup->SetLookupDataSet(&list);
    lookup->SetKeyFields("Ref");
    lookup->SetLookupKeyFields("Code");
    lookup->SetLookupResultField("Title");
}

inline QByteArray Crlf(const char* text) { return QByteArray(text).replace("\n", "\r\n"); }

// The grid both grid targets work on: a data-aware grid over a dataset with a column of every kind
// the grids show (a lookup column and a pick list among them), refilled with the same three records
// before each input.
#pragma once

#include "grid/dbgridex.h"
#include "grid/dbgridexcolumns.h"
#include "platform/datasource.h"
#include "platform/datetime.h"
#include "platform/memdataset.h"

#include <memory>

namespace fuzz {

struct Grid {
    TMemDataSet codes;  // the lookup column's list; goes after the dataset that looks into it
    TMemDataSet ds;
    TDataSource source;
    std::unique_ptr<TDBGridEx> grid;

    Grid()
    {
        ds.AddField(ftInteger, QStringLiteral("ID"));
        ds.AddField(ftString, QStringLiteral("Name"), 12);
        ds.AddField(ftFloat, QStringLiteral("Amount"));
        ds.AddField(ftBoolean, QStringLiteral("Flag"));
        ds.AddField(ftDate, QStringLiteral("Day"));
        ds.AddField(ftTime, QStringLiteral("Hour"));
        ds.AddField(ftDateTime, QStringLiteral("Stamp"));
        ds.AddField(ftCurrency, QStringLiteral("Money"));
        ds.AddField(ftSmallint, QStringLiteral("Small"));
        ds.AddField(ftLargeint, QStringLiteral("Big"));
        ds.AddField(ftBCD, QStringLiteral("Rate"));
        ds.AddField(ftWord, QStringLiteral("Count"));
        ds.AddField(ftMemo, QStringLiteral("Note"));
        ds.AddField(ftBlob, QStringLiteral("Data"));
        ds.AddField(ftInteger, QStringLiteral("Ref"));
        codes.AddField(ftInteger, QStringLiteral("Code"));
        codes.AddField(ftString, QStringLiteral("Title"), 20);
        codes.Open();
        codes.AppendRecord({Variant(10), Variant(QStringLiteral("Десять"))});
        codes.AppendRecord({Variant(20), Variant(QStringLiteral("Двадцать"))});
        TField* lookup = ds.AddField(ftString, QStringLiteral("RefName"), 20, fkLookup);
        lookup->SetLookupDataSet(&codes);
        lookup->SetKeyFields(QStringLiteral("Ref"));
        lookup->SetLookupKeyFields(QStringLiteral("Code"));
        lookup->SetLookupResultField(QStringLiteral("Title"));
        ds.Open();
        source.SetDataSet(&ds);
        grid = std::make_unique<TDBGridEx>();
        grid->resize(400, 200);
        grid->SetDataSource(&source);
        TStringList& picks = grid->Columns().FindColumnByName(QStringLiteral("Name"))->PickList();
        picks.Add(QStringLiteral("Имя1"));
        picks.Add(QStringLiteral("Другое"));
    }
    ~Grid() { grid.reset(); }

    void Reset()
    {
        if (ds.State() != dsBrowse)
            ds.Cancel();
        ds.EmptyDataSet();
        for (int i = 1; i <= 3; ++i)
            ds.AppendRecord({Variant(i), Variant(QStringLiteral("Имя%1").arg(i)), Variant(i * 1.5), Variant(i % 2 == 1),
                             Variant::FromDateTime(EncodeDate(2007, 3, i)), Variant::FromDateTime(EncodeTime(i, 30, 0, 0)),
                             Variant::FromDateTime(EncodeDateTime(2007, 3, i, 8, 4, 9, 0)), Variant(Currency::FromInt(i)),
                             Variant(-i), Variant::FromInt64(std::int64_t(i) << 40), Variant(Currency::FromInt(i * 7)),
                             Variant(i * 20000), Variant(QStringLiteral("Строка %1\nи ещё").arg(i)),
                             Variant(QByteArray(i, char(i))), Variant(i * 10)});
        ds.First();
    }
};

}  // namespace fuzz

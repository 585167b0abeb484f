// A grid over a small in-memory dataset with a lookup list, shown offscreen and focused.
#pragma once

#include "grid/dbgridex.h"
#include "grid/dbgridexinplace.h"

#include "platform/application.h"
#include "platform/datasource.h"
#include "platform/memdataset.h"
#include "tests/support/error_recorder.h"

#include <QApplication>
#include <QKeyEvent>
#include <QTest>
#include <memory>

// Types text as a keyboard with a Russian layout sends it: the key code of a letter is its
// upper-case code point, punctuation keeps its own code.
inline void Type(QWidget* w, const QString& text)
{
    for (const QChar c : text) {
        const int key = c.isLetter() ? int(c.toUpper().unicode()) : int(c.unicode());
        QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier, QString(c));
        QApplication::sendEvent(w, &press);
        QKeyEvent release(QEvent::KeyRelease, key, Qt::NoModifier, QString(c));
        QApplication::sendEvent(w, &release);
    }
}

// Cities: key CID 1..4, names "Amsterdam", "Berlin", "Bern", "Cairo".
inline std::unique_ptr<TMemDataSet> MakeCities()
{
    auto ds = std::make_unique<TMemDataSet>();
    ds->AddField(ftInteger, "CID");
    ds->AddField(ftString, "CName", 20);
    ds->Open();
    const char* names[] = {"Amsterdam", "Berlin", "Bern", "Cairo"};
    for (int i = 0; i < 4; ++i)
        ds->AppendRecord({Variant(i + 1), Variant(QString::fromLatin1(names[i]))});
    ds->First();
    return ds;
}

// Records: ID, Name, Amount, Day (date), At (time), Stamp (date-time), Code (string key), City
// (lookup of CityID into the cities).
struct EditFixture {
    std::unique_ptr<TMemDataSet> cities;
    std::unique_ptr<TMemDataSet> ds;
    TDataSource source;
    std::unique_ptr<TDBGridEx> grid;

    explicit EditFixture(int records = 3)
    {
        cities = MakeCities();
        ds = std::make_unique<TMemDataSet>();
        ds->AddField(ftInteger, "ID");
        ds->AddField(ftString, "Name", 20);
        ds->AddField(ftFloat, "Amount");
        ds->AddField(ftDate, "Day");
        ds->AddField(ftTime, "At");
        ds->AddField(ftDateTime, "Stamp");
        ds->AddField(ftString, "Code", 5);
        ds->AddField(ftInteger, "CityID");
        TField* city = ds->AddField(ftString, "City", 20, fkLookup);
        city->SetLookupDataSet(cities.get());
        city->SetKeyFields("CityID");
        city->SetLookupKeyFields("CID");
        city->SetLookupResultField("CName");
        ds->Open();
        for (int i = 1; i <= records; ++i)
            ds->AppendRecord({Variant(i), Variant(QString("Name%1").arg(i)), Variant(i * 1.5),
                              Variant::FromDateTime(45000 + i), Variant::FromDateTime(0.5),
                              Variant::FromDateTime(45000.25), Variant(QString("K%1").arg(i)), Variant(i)});
        ds->SetFormatSettings(RussianFormatSettings());
        ds->First();
        source.SetDataSet(ds.get());
        grid = std::make_unique<TDBGridEx>();
        grid->resize(700, 220);
        grid->SetDataSource(&source);
        grid->show();
        QApplication::setActiveWindow(grid.get());
        grid->setFocus();
    }
    ~EditFixture() { grid.reset(); }

    TColumnEx& Col(const QString& field) { return *grid->Columns().FindColumnByName(field); }
    void Select(const QString& field) { grid->SetSelectedIndex(Col(field).Index()); }
    TDBGridInplaceEdit& Editor() { return *grid->InplaceEditor(); }
    TDBGridInplaceEdit& Edit(const QString& field)
    {
        Select(field);
        grid->ShowEditor();
        return Editor();
    }
};

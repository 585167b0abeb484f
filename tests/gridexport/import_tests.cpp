// Text and GRIDREC import into the grid's dataset: targets, appending, errors.
#include "exportfixture.h"

#include <gtest/gtest.h>

namespace {

// Three string columns C1..C3 with two records.
std::unique_ptr<TMemDataSet> ThreeColumns()
{
    auto ds = std::make_unique<TMemDataSet>();
    ds->AddField(ftString, "C1", 10);
    ds->AddField(ftString, "C2", 10);
    ds->AddField(ftString, "C3", 10);
    ds->Open();
    ds->AppendRecord({Variant("a1"), Variant("b1"), Variant("c1")});
    ds->AppendRecord({Variant("a2"), Variant("b2"), Variant("c2")});
    ds->First();
    return ds;
}

std::unique_ptr<TMemDataSet> EmptyLike()
{
    auto ds = MakeDataSet(0);
    return ds;
}

} // namespace

TEST(TextImport, FillsFromTheCurrentColumnAndDropsExtraCells)
{
    ExportGrid g(ThreeColumns());
    g.grid->SetSelectedIndex(1);
    g.Import<TDBGridExImportAsText>(Crlf("x\ty\tz"));
    g.ds->CheckBrowseMode();
    EXPECT_EQ(g.Value(1, "C1"), "a1");
    EXPECT_EQ(g.Value(1, "C2"), "x");
    EXPECT_EQ(g.Value(1, "C3"), "y");
    EXPECT_EQ(g.ds->RecordCount(), 2);
}

TEST(TextImport, EmptyCellsAndCyrillicText)
{
    ExportGrid g(ThreeColumns());
    g.Import<TDBGridExImportAsText>(QByteArray("\t\xC4\xE0\tq\r\n"));
    g.ds->CheckBrowseMode();
    EXPECT_EQ(g.Value(1, "C1"), "");
    EXPECT_EQ(g.Value(1, "C2"), QStringLiteral("Да"));
    EXPECT_EQ(g.Value(1, "C3"), "q");
}

TEST(TextImport, ExtraLinesAppendOnlyWhenAppendingIsAllowed)
{
    ExportGrid g(ThreeColumns());
    g.ds->Last();
    g.grid->SetAllowedOperations({alopUpdateEx});
    g.Import<TDBGridExImportAsText>(Crlf("p\nq\nr"));
    EXPECT_EQ(g.ds->RecordCount(), 2);
    EXPECT_EQ(g.Value(2, "C1"), "p");

    ExportGrid h(ThreeColumns());
    h.ds->Last();
    h.Import<TDBGridExImportAsText>(Crlf("p\nq\nr\n"));
    ASSERT_EQ(h.ds->RecordCount(), 4);
    EXPECT_EQ(h.Value(1, "C1"), "a1");
    EXPECT_EQ(h.Value(2, "C1"), "p");
    EXPECT_EQ(h.Value(3, "C1"), "q");
    EXPECT_EQ(h.Value(4, "C1"), "r");
    EXPECT_FALSE(h.ds->ControlsDisabled());
}

TEST(TextImport, LoadToAllStartsAtTheFirstRecordAndColumn)
{
    ExportGrid g(ThreeColumns());
    g.ds->Last();
    g.grid->SetSelectedIndex(2);
    g.Import<TDBGridExImportAsText>(Crlf("1\t2\n3\t4"), true);
    g.ds->CheckBrowseMode();
    EXPECT_EQ(g.Value(1, "C1"), "1");
    EXPECT_EQ(g.Value(1, "C2"), "2");
    EXPECT_EQ(g.Value(2, "C1"), "3");
    EXPECT_EQ(g.Value(2, "C3"), "c2");
}

TEST(TextImport, RectangleSelectionBoundsTheTargets)
{
    ExportGrid g(ThreeColumns());
    g.SelectRect(1, 1, 2, 1);
    g.Import<TDBGridExImportAsText>(Crlf("x\ty\tq\nz\tw"));
    g.ds->CheckBrowseMode();
    EXPECT_EQ(g.Value(1, "C1"), "a1");
    EXPECT_EQ(g.Value(1, "C2"), "x");
    EXPECT_EQ(g.Value(1, "C3"), "y");
    EXPECT_EQ(g.Value(2, "C2"), "b2");
    EXPECT_EQ(g.ds->RecordCount(), 2);
}

TEST(TextImport, CarriageReturnWithoutLineFeedIsRefused)
{
    ExportGrid g(ThreeColumns());
    try {
        g.Import<TDBGridExImportAsText>(QByteArray("x\ry"));
        FAIL() << "no error";
    } catch (const Exception& e) {
        EXPECT_EQ(e.Message(), "TDBGridExImportAsText.CheckState: Invalid text format");
    }
    EXPECT_FALSE(g.ds->ControlsDisabled());
}

TEST(TextImport, KeyListAndLookupColumnsTranslateTheText)
{
    TMemDataSet list;
    FillCodeList(list);

    auto ds = std::make_unique<TMemDataSet>();
    ds->AddField(ftInteger, "Kind");
    AddRefLookup(*ds, list);
    ds->Open();
    ds->AppendRecord({Variant(1), Variant(10)});
    ExportGrid g(std::move(ds));
    g.Column(0).PickList().Add("One");
    g.Column(0).PickList().Add("Two");
    g.Column(0).KeyList().Add("1");
    g.Column(0).KeyList().Add("2");
    g.Column(1).SetVisible(false);

    g.Import<TDBGridExImportAsText>(QByteArray("Two\ttw"));
    g.ds->CheckBrowseMode();
    EXPECT_EQ(g.ds->FieldByName("Kind")->AsInteger(), 2);
    EXPECT_EQ(g.ds->FieldByName("Ref")->AsInteger(), 20);

    // An unknown pick-list text clears the field; an unknown lookup text changes nothing.
    g.Import<TDBGridExImportAsText>(QByteArray("Three\tnone"));
    g.ds->CheckBrowseMode();
    EXPECT_TRUE(g.ds->FieldByName("Kind")->IsNull());
    EXPECT_EQ(g.ds->FieldByName("Ref")->AsInteger(), 20);
}

TEST(ImportErrors, YesSkipsAllStopsAskingNoEndsSilently)
{
    {
        ExportGrid g(3);
        BoxRecorder boxes(mbYes);
        g.Import<TDBGridExImportAsText>(Crlf("x\tA\ny\tB"));
        g.ds->CheckBrowseMode();
        ASSERT_EQ(boxes.texts.size(), 2u);
        EXPECT_TRUE(boxes.texts[0].startsWith("Error during insert value:\n"));
        EXPECT_TRUE(boxes.texts[0].endsWith("\n\nIgnore error?"));
        EXPECT_EQ(g.Value(1, "Name"), "A");
        EXPECT_EQ(g.Value(2, "Name"), "B");
        EXPECT_EQ(g.Value(1, "ID"), "1");
    }
    {
        ExportGrid g(3);
        BoxRecorder boxes(mbAll);
        g.Import<TDBGridExImportAsText>(Crlf("x\tA\ny\tB"));
        g.ds->CheckBrowseMode();
        EXPECT_EQ(boxes.texts.size(), 1u);
        EXPECT_EQ(g.Value(2, "Name"), "B");
    }
    {
        ExportGrid g(3);
        BoxRecorder boxes(mbNo);
        EXPECT_THROW(g.Import<TDBGridExImportAsText>(Crlf("x\tA\ny\tB")), EAbort);
        EXPECT_FALSE(g.ds->ControlsDisabled());
        g.ds->Cancel();
        EXPECT_EQ(g.Value(1, "Name"), "Name1");
        EXPECT_EQ(g.Value(2, "Name"), "Name2");
    }
}

TEST(GridrecImport, RoundTripKeepsTypedValues)
{
    ExportGrid source(3);
    source.ds->SetRecNo(2);
    source.ds->Edit();
    source.ds->FieldByName("Amount")->Clear();
    source.ds->Post();
    const QByteArray data = source.Export<TDBGridExExportAsGRIDREC>();

    ExportGrid target(EmptyLike());
    target.Import<TDBGridExImportAsGRIDREC>(data, true);
    ASSERT_EQ(target.ds->RecordCount(), 3);
    for (int rec = 1; rec <= 3; ++rec) {
        target.ds->SetRecNo(rec);
        source.ds->SetRecNo(rec);
        for (const char* f : {"ID", "Name", "Amount", "Flag"}) {
            EXPECT_EQ(target.ds->FieldByName(f)->IsNull(), source.ds->FieldByName(f)->IsNull()) << rec << f;
            EXPECT_EQ(target.ds->FieldByName(f)->AsString(), source.ds->FieldByName(f)->AsString()) << rec << f;
        }
    }
}

TEST(GridrecImport, ColumnListAndDroppedCells)
{
    ExportGrid source(2);
    const QByteArray data = source.Export<TDBGridExExportAsGRIDREC>();
    ExportGrid target(2);
    target.grid->SetSelectedIndex(2);   // Amount, Flag get ID, Name; the rest is dropped
    TDBGridExImportAsGRIDREC importer;
    importer.SetDBGridEx(target.grid.get());
    TMemoryStream stream(data);
    BoxRecorder boxes(mbAll);   // "1" into a float is fine, "Name1" into a Boolean is not
    importer.ImportFromStream(stream, false);
    target.ds->CheckBrowseMode();
    EXPECT_EQ(importer.DataColumns().size(), 4);
    EXPECT_FALSE(importer.HasFieldNames());
    EXPECT_EQ(target.Value(2, "Amount"), "2");
    EXPECT_EQ(target.Value(2, "ID"), "2");
    EXPECT_EQ(target.Value(2, "Name"), "Name2");
}

TEST(GridrecImport, MalformedStreamsAreRefusedBeforeAnyChange)
{
    ExportGrid source(2);
    const QByteArray good = source.Export<TDBGridExExportAsGRIDREC>();
    const QByteArray bad[] = {
        QByteArray("GRIDRAC").append(good.mid(7)),       // wrong signature
        good.left(10),                                   // short header
        good.left(good.size() - 6),                      // value cut short
        good.left(12) + QByteArray("\x01\x00", 2),       // column list cut short
        good.left(20) + QByteArray("\x05\xff\xff\xff\x7f", 5),   // length beyond the data
        QByteArray("GRIDREC\x01\xff\xff\xff\xff", 12),   // negative column count
    };
    for (const QByteArray& data : bad) {
        ExportGrid g(2);
        g.ds->Edit();
        g.ds->FieldByName("Name")->SetAsString("kept");
        g.ds->Post();
        try {
            g.Import<TDBGridExImportAsGRIDREC>(data);
            ADD_FAILURE() << "accepted " << data.toHex().constData();
        } catch (const Exception& e) {
            EXPECT_EQ(e.Message(), "TDBGridExImportAsGRIDREC.ReadPrefix: Invalid GRIDREC format");
        }
        EXPECT_FALSE(g.ds->ControlsDisabled());
        if (data.startsWith("GRIDRAC")) {
            g.ds->Cancel();
            EXPECT_EQ(g.Value(1, "Name"), "kept");
            EXPECT_EQ(g.Value(1, "ID"), "1");
        }
    }
}

TEST(GridrecImport, InsertStateAddsRecordsWithoutOverwritingTheNextOnes)
{
    ExportGrid source(2);
    const QByteArray data = source.Export<TDBGridExExportAsGRIDREC>();
    ExportGrid g(3);
    g.ds->SetRecNo(2);
    g.ds->Insert();
    g.Import<TDBGridExImportAsGRIDREC>(data);
    ASSERT_EQ(g.ds->RecordCount(), 5);
    EXPECT_EQ(g.Value(1, "Name"), "Name1");
    EXPECT_EQ(g.Value(2, "Name"), "Name1");
    EXPECT_EQ(g.Value(3, "Name"), "Name2");
    EXPECT_EQ(g.Value(4, "Name"), "Name2");
    EXPECT_EQ(g.Value(5, "Name"), "Name3");
}

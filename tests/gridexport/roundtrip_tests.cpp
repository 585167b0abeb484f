// Awkward cell contents through every format: what comes back, and what the bytes look like.
#include "exportfixture.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QMimeData>
#include <QTemporaryDir>
#include <QtEndian>
#include <cmath>
#include <gtest/gtest.h>

namespace {

// The texts that break naive formats, one record each, with a number, a sum and a date beside.
const std::vector<QString>& AwkwardTexts()
{
    static const std::vector<QString> texts = {
        QStringLiteral("a\tb"),
        QStringLiteral("line1\r\nline2"),
        QStringLiteral("lone\rCR"),
        QStringLiteral("lone\nLF"),
        QStringLiteral("say \"hi\""),
        QStringLiteral("\"quoted\""),
        QStringLiteral("semi;colon,comma"),
        QStringLiteral("Иван Петров"),
        QStringLiteral("Müller € ✓"),
        QString(),
        QStringLiteral("\t"),
        QStringLiteral("plain"),
    };
    return texts;
}

constexpr std::int64_t kMaxCurrencyRaw = std::numeric_limits<std::int64_t>::max();

std::unique_ptr<TMemDataSet> AwkwardShape()
{
    auto ds = std::make_unique<TMemDataSet>();
    ds->SetFormatSettings(InvariantFormatSettings());
    ds->AddField(ftInteger, "ID");
    ds->AddField(ftString, "Text", 40);
    ds->AddField(ftBCD, "Sum");
    ds->AddField(ftDate, "Day");
    ds->AddField(ftFloat, "Real");
    ds->Open();
    return ds;
}

std::unique_ptr<TMemDataSet> AwkwardData()
{
    auto ds = AwkwardShape();
    const std::vector<QString>& texts = AwkwardTexts();
    for (int i = 0; i < int(texts.size()); ++i) {
        const Variant text = texts[std::size_t(i)].isNull() ? Variant::Null() : Variant(texts[std::size_t(i)]);
        const Variant sum = i == 0   ? Variant(Currency::FromRaw(kMaxCurrencyRaw))
                            : i == 1 ? Variant(Currency::FromRaw(std::numeric_limits<std::int64_t>::min()))
                            : i == 2 ? Variant::Null()
                                     : Variant(Currency::FromRaw(123456789012345678LL + i));
        const Variant day = i == 3 ? Variant::Null() : Variant::FromDateTime(EncodeDate(2024, 2, 29) + i);
        const Variant real = i == 4 ? Variant::Null() : Variant(-1234567.125 * i);
        ds->AppendRecord({Variant(i + 1), text, sum, day, real});
    }
    ds->First();
    return ds;
}

// What a byte-based format keeps of a text: what code page 1251 has.
QString Through1251(const QString& text) { return FromCp1251(ToCp1251(text)); }

// Compares every field of every record; texts pass through `expectText` first.
template <class F>
void ExpectSameRecords(TDataSet& got, TDataSet& want, F&& expectText)
{
    ASSERT_EQ(got.RecordCount(), want.RecordCount());
    for (int rec = 1; rec <= want.RecordCount(); ++rec) {
        got.SetRecNo(rec);
        want.SetRecNo(rec);
        EXPECT_EQ(got.FieldByName("ID")->AsInteger(), want.FieldByName("ID")->AsInteger());
        EXPECT_EQ(got.FieldByName("Text")->AsString(), expectText(want.FieldByName("Text")->AsString()))
            << "record " << rec;
        for (const char* name : {"Sum", "Day", "Real"}) {
            const TField& g = *got.FieldByName(name);
            const TField& w = *want.FieldByName(name);
            EXPECT_EQ(g.IsNull(), w.IsNull()) << name << " record " << rec;
            EXPECT_EQ(g.AsString(), w.AsString()) << name << " record " << rec;
        }
        EXPECT_EQ(got.FieldByName("Sum")->AsCurrency(), want.FieldByName("Sum")->AsCurrency()) << rec;
    }
}

struct AwkwardGrids {
    ExportGrid source{AwkwardData()};
    ExportGrid target{AwkwardShape()};
    AwkwardGrids()
    {
        // Titles would come back as a record.
        source.grid->SetOptions(source.grid->Options() - TDBGridOptions{dgTitles});
        target.grid->SetOptions(target.grid->Options() - TDBGridOptions{dgTitles});
    }
};

} // namespace

TEST(RoundTrip, TextFileKeepsEveryCellInItsColumn)
{
    AwkwardGrids g;
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString file = dir.filePath("records.txt");
    TDBGridExExportAsText exporter;
    exporter.SetDBGridEx(g.source.grid.get());
    exporter.ExportToFile(file, true);
    TDBGridExImportAsText importer;
    importer.SetDBGridEx(g.target.grid.get());
    importer.ImportFromFile(file, true);
    ExpectSameRecords(*g.target.ds, *g.source.ds, Through1251);
}

TEST(RoundTrip, TextKeepsPlainCellsAsTheyAreAndQuotesTheRest)
{
    auto ds = AwkwardShape();
    ds->AppendRecord({Variant(1), Variant("plain \"inner\" quote"), Variant::Null(), Variant::Null(), Variant::Null()});
    ds->AppendRecord({Variant(2), Variant("a\tb"), Variant::Null(), Variant::Null(), Variant::Null()});
    ds->AppendRecord({Variant(3), Variant("x\r\n\"y\""), Variant::Null(), Variant::Null(), Variant::Null()});
    ds->AppendRecord({Variant(4), Variant("\"lead"), Variant::Null(), Variant::Null(), Variant::Null()});
    ExportGrid g(std::move(ds));
    g.grid->SetOptions(g.grid->Options() - TDBGridOptions{dgTitles});
    for (int i = 2; i < 5; ++i)
        g.Column(i).SetVisible(false);
    EXPECT_EQ(g.Export<TDBGridExExportAsText>(),
              QByteArray("1\tplain \"inner\" quote\r\n2\t\"a\tb\"\r\n3\t\"x\r\n\"\"y\"\"\"\r\n4\t\"\"\"lead\""));

    // Text from elsewhere: a quote that never closes is an ordinary character, text after a
    // closing quote belongs to the cell.
    ExportGrid t(AwkwardShape());
    t.Import<TDBGridExImportAsText>(QByteArray("5\t\"ab\"cd\r\n6\t\"open"), true);
    ASSERT_EQ(t.ds->RecordCount(), 2);
    EXPECT_EQ(t.Value(1, "Text"), "abcd");
    EXPECT_EQ(t.Value(2, "Text"), "\"open");
}

TEST(RoundTrip, RecordFormatKeepsTypesAndAllDigits)
{
    AwkwardGrids g;
    const QByteArray data = g.source.Export<TDBGridExExportAsGRIDREC>();
    g.target.Import<TDBGridExImportAsGRIDREC>(data, true);
    ExpectSameRecords(*g.target.ds, *g.source.ds, [](const QString& s) { return s; });
    g.target.ds->First();
    EXPECT_EQ(g.target.ds->FieldByName("Sum")->AsCurrency().Value, kMaxCurrencyRaw);
}

TEST(RoundTrip, RecordFormatTakesTheLargestSumAsADouble)
{
    // A sum written as a double (as other writers of the format do) cannot hold the last
    // digits; the double next to the largest value is the largest value, not an overflow.
    QByteArray data("GRIDREC\x01", 8);
    data += QByteArray::fromHex("01000000") + QByteArray("\x01\x00", 2);
    QByteArray value(8, '\0');
    qToLittleEndian(922337203685477.5807, value.data());
    data += QByteArray(1, '\4') + value + QByteArray(1, '\4') + QByteArray::fromHex("0000000000000840") +
            QByteArray(1, '\0');

    ExportGrid t(AwkwardShape());
    t.grid->SetSelectedIndex(2);
    t.Import<TDBGridExImportAsGRIDREC>(data);
    ASSERT_EQ(t.ds->RecordCount(), 2);
    t.ds->First();
    EXPECT_EQ(t.ds->FieldByName("Sum")->AsCurrency().Value, kMaxCurrencyRaw);
    t.ds->Next();
    EXPECT_EQ(t.ds->FieldByName("Sum")->AsCurrency(), Currency::FromInt(3));
}

TEST(RoundTrip, ClipboardBetweenGrids)
{
    AwkwardGrids g;
    DBGridExCopyToClipboard(*g.source.grid, true);
    DBGridExPasteFromClipboard(*g.target.grid, true);
    g.target.ds->CheckBrowseMode();
    ExpectSameRecords(*g.target.ds, *g.source.ds, [](const QString& s) { return s; });
}

TEST(RoundTrip, ClipboardTextAloneKeepsUnicode)
{
    AwkwardGrids g;
    DBGridExCopyToClipboard(*g.source.grid, true);
    // Another program hands back only the text it took.
    const QString text = QGuiApplication::clipboard()->text();
    EXPECT_TRUE(text.contains(QStringLiteral("Müller € ✓")));
    QGuiApplication::clipboard()->setText(text);
    DBGridExPasteFromClipboard(*g.target.grid, true);
    g.target.ds->CheckBrowseMode();
    ExpectSameRecords(*g.target.ds, *g.source.ds, [](const QString& s) { return s; });
}

TEST(RoundTrip, PastedTextFromOtherProgramsKeepsCharactersOutsideTheCodePage)
{
    QGuiApplication::clipboard()->setText(QStringLiteral("1\tMüller\n2\t\"two\nlines\"\n"));
    ExportGrid t(AwkwardShape());
    DBGridExPasteFromClipboard(*t.grid, false);
    t.ds->CheckBrowseMode();
    ASSERT_EQ(t.ds->RecordCount(), 2);
    EXPECT_EQ(t.Value(1, "Text"), QStringLiteral("Müller"));
    EXPECT_EQ(t.Value(2, "Text"), QStringLiteral("two\nlines"));
}

TEST(RoundTrip, CsvQuotesEveryCellAndKeepsTheCodePage)
{
    AwkwardGrids g;
    for (int i = 2; i < 5; ++i)
        g.source.Column(i).SetVisible(false);
    const QByteArray csv = g.source.Export<TDBGridExExportAsCSV>();
    const QList<QByteArray> expected = {
        "\"1\";\"a\tb\"",
        "\"2\";\"line1\r\nline2\"",
        "\"3\";\"lone\rCR\"",
        "\"4\";\"lone\nLF\"",
        "\"5\";\"say \"\"hi\"\"\"",
        "\"6\";\"\"\"quoted\"\"\"",
        "\"7\";\"semi;colon,comma\"",
        "\"8\";\"" + ToCp1251(QStringLiteral("Иван Петров")) + "\"",
        "\"9\";\"M?ller \x88 ?\"",
        "\"10\";\"\"",
        "\"11\";\"\t\"",
        "\"12\";\"plain\"",
    };
    EXPECT_EQ(csv, expected.join("\r\n"));
}

TEST(RoundTrip, RtfDeclaresItsCodePageAndEscapesText)
{
    auto ds = AwkwardShape();
    ds->AppendRecord({Variant(1), Variant(QStringLiteral("Иван")), Variant::Null(), Variant::Null(), Variant::Null()});
    ds->AppendRecord({Variant(2), Variant(QStringLiteral("a\r\nb\rc\nd\te")), Variant::Null(), Variant::Null(),
                      Variant::Null()});
    ds->AppendRecord({Variant(3), Variant(QStringLiteral("ü€{}")), Variant::Null(), Variant::Null(), Variant::Null()});
    ExportGrid g(std::move(ds));
    const QByteArray rtf = g.Export<TDBGridExExportAsRTF>();
    EXPECT_TRUE(rtf.startsWith("{\\rtf0\\ansi\\ansicpg1251\r\n")) << rtf.left(40).toStdString();
    EXPECT_TRUE(rtf.contains("\\fnil\\fcharset204 "));
    EXPECT_TRUE(rtf.contains(" \\u1048\\'c8\\u1074\\'e2\\u1072\\'e0\\u1085\\'ed\\cell}"));
    EXPECT_TRUE(rtf.contains(" a\\line b\\line c\\line d\\tab e\\cell}"));
    EXPECT_TRUE(rtf.contains(" \\u252?\\u8364\\'88\\{\\}\\cell}"));
    // Nothing outside ASCII is left in the bytes.
    for (char ch : rtf)
        ASSERT_LT(std::uint8_t(ch), 0x80u);
}

TEST(RoundTrip, ClipboardOffersTheStandardTypes)
{
    ExportGrid g(2);
    DBGridExCopyToClipboard(*g.grid, true);
    const QMimeData& clip = *QGuiApplication::clipboard()->mimeData();
    const QStringList formats = clip.formats();
    for (const char* type : {"text/plain", "text/csv", "text/rtf", "application/rtf"})
        EXPECT_TRUE(formats.contains(QString::fromLatin1(type))) << type << " in " << formats.join(' ').toStdString();
    for (TClipboardFormat f : {CF_GRIDREC(), CF_CSV(), CF_RICHTEXT()})
        EXPECT_TRUE(formats.contains(ClipboardFormatMimeType(f)));
    // The standard types carry the data without our terminating zero.
    EXPECT_EQ(clip.data("text/csv"), FromCp1251(g.Export<TDBGridExExportAsCSV>()).toUtf8());
    EXPECT_EQ(clip.data("text/rtf"), g.Export<TDBGridExExportAsRTF>());
    EXPECT_EQ(clip.data("application/rtf"), clip.data("text/rtf"));
}

TEST(RoundTrip, AFooterSumBeyondCurrencySaysSoInsteadOfWrapping)
{
    auto ds = AwkwardShape();
    ds->AppendRecord({Variant(1), Variant("a"), Variant::Null(), Variant::Null(), Variant(6e14)});
    ds->AppendRecord({Variant(2), Variant("b"), Variant::Null(), Variant::Null(), Variant(6e14)});
    ds->AppendRecord({Variant(3), Variant("c"), Variant(Currency::FromRaw(kMaxCurrencyRaw)), Variant::Null(),
                      Variant(std::nan(""))});
    ds->AppendRecord({Variant(4), Variant("d"), Variant(Currency::FromInt(1)), Variant::Null(), Variant(1.0)});
    ExportGrid g(std::move(ds));
    g.grid->SetOptions(g.grid->Options() - TDBGridOptions{dgTitles});
    g.grid->SetFooterRowCount(1);
    g.Column(0).Footer().SetValueType(fvtCount);
    g.Column(2).Footer().SetValueType(fvtSum);
    g.Column(4).Footer().SetValueType(fvtSum);
    g.Column(1).SetVisible(false);
    g.Column(3).SetVisible(false);
    const QByteArray text = g.Export<TDBGridExExportAsText>();
    const QByteArray footer = text.mid(text.lastIndexOf("\r\n") + 2);
    const QByteArray overflow = ToCp1251(QStringLiteral("Переполнение"));
    EXPECT_EQ(footer, "4\t" + overflow + "\t" + overflow);

    // Within range the totals are exact.
    g.SelectRect(0, 1, 4, 1);
    EXPECT_TRUE(g.Export<TDBGridExExportAsText>(false).endsWith("\r\n1\t0\t600000000000000"));
}

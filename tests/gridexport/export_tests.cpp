// What the four exporters write, byte for byte, for small grids.
#include "exportfixture.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

QByteArray Int32(int v)
{
    QByteArray b(4, '\0');
    for (int i = 0; i < 4; ++i)
        b[i] = char((unsigned(v) >> (8 * i)) & 0xFF);
    return b;
}

QByteArray Text(const char* s)
{
    QByteArray out(1, '\5');
    out += Int32(int(qstrlen(s)));
    return out + s;
}

[[maybe_unused]] ::testing::Environment* const kBoxes = ::testing::AddGlobalTestEnvironment(new NoUnexpectedBoxes);

} // namespace

TEST(TextExport, LinesAreSeparatedNotTerminated)
{
    ExportGrid g(2);
    EXPECT_EQ(g.Export<TDBGridExExportAsText>(),
              Crlf("ID\tName\tAmount\tFlag\n1\tName1\t1.5\tTrue\n2\tName2\t3\tFalse"));
    // Without titles only the records are written.
    g.grid->SetOptions(g.grid->Options() - TDBGridOptions{dgTitles});
    EXPECT_EQ(g.Export<TDBGridExExportAsText>(), Crlf("1\tName1\t1.5\tTrue\n2\tName2\t3\tFalse"));
}

TEST(TextExport, WithoutSelectionNothingIsWritten)
{
    ExportGrid g(3);
    EXPECT_TRUE(g.Export<TDBGridExExportAsText>(false).isEmpty());
    EXPECT_TRUE(g.Export<TDBGridExExportAsCSV>(false).isEmpty());
    EXPECT_TRUE(g.Export<TDBGridExExportAsRTF>(false).isEmpty());
    EXPECT_TRUE(g.Export<TDBGridExExportAsGRIDREC>(false).isEmpty());
}

TEST(TextExport, SelectionKindsChooseRecordsAndColumns)
{
    ExportGrid g(4);
    g.grid->SetOptions(g.grid->Options() + TDBGridOptions{dgMultiSelect});
    g.SelectRecords({3, 1});
    EXPECT_EQ(g.Export<TDBGridExExportAsText>(false),
              Crlf("ID\tName\tAmount\tFlag\n1\tName1\t1.5\tTrue\n3\tName3\t4.5\tTrue"));

    g.SelectRect(2, 3, 1, 2);
    EXPECT_EQ(g.Export<TDBGridExExportAsText>(false), Crlf("Name\tAmount\nName2\t3\nName3\t4.5"));

    // A hidden column inside the rectangle is left out.
    g.Column(1).SetVisible(false);
    g.SelectRect(0, 1, 2, 1);
    EXPECT_EQ(g.Export<TDBGridExExportAsText>(false), Crlf("ID\tAmount\n1\t1.5"));
    g.Column(1).SetVisible(true);

    g.grid->Selection().Clear();
    g.grid->Selection().Columns().Select(&g.Column(3), false);
    g.grid->Selection().Columns().Select(&g.Column(0), true);
    EXPECT_EQ(g.Export<TDBGridExExportAsText>(false), Crlf("ID\tFlag\n1\tTrue\n2\tFalse\n3\tTrue\n4\tFalse"));
}

TEST(TextExport, TextsAreCodePage1251AndTheGridStaysOnItsRecord)
{
    ExportGrid g(3);
    g.ds->SetRecNo(2);
    g.ds->Edit();
    g.ds->FieldByName("Name")->SetAsString(QStringLiteral("Иван"));
    g.ds->Post();
    const QByteArray bytes = g.Export<TDBGridExExportAsText>();
    EXPECT_TRUE(bytes.contains(QByteArray("2\t\xC8\xE2\xE0\xED\t3")));
    EXPECT_EQ(g.ds->RecNo(), 2);
    EXPECT_FALSE(g.ds->ControlsDisabled());
}

TEST(CsvExport, EveryCellIsQuotedWithQuotesDoubled)
{
    ExportGrid g(2);
    g.ds->First();
    g.ds->Edit();
    g.ds->FieldByName("Name")->SetAsString(QStringLiteral("say \"hi\""));
    g.ds->FieldByName("Amount")->Clear();
    g.ds->Post();
    EXPECT_EQ(g.Export<TDBGridExExportAsCSV>(),
              Crlf("\"ID\";\"Name\";\"Amount\";\"Flag\"\n\"1\";\"say \"\"hi\"\"\";\"\";\"True\"\n"
                   "\"2\";\"Name2\";\"3\";\"False\""));
}

TEST(FooterExport, SumsAndCountsCoverTheExportedRecordsOnly)
{
    ExportGrid g(4);
    g.grid->SetFooterRowCount(1);
    g.Column(0).Footer().SetValueType(fvtCount);
    g.Column(1).Footer().SetValueType(fvtStaticText);
    g.Column(1).Footer().SetValue(QStringLiteral("Итого"));
    g.Column(2).Footer().SetValueType(fvtSum);
    g.SelectRect(0, 2, 2, 3);
    const QByteArray bytes = g.Export<TDBGridExExportAsText>(false);
    EXPECT_EQ(bytes, Crlf("ID\tName\tAmount\n2\tName2\t3\n3\tName3\t4.5\n2\t\xC8\xF2\xEE\xE3\xEE\t7.5"));

    // The footer event may change the text.
    g.grid->OnGetFooterParams = [](TCustomDBGridEx&, int dataCol, int, TColumnEx&, TFont&, TColor&, TAlignment&,
                                   TGridDrawState, QString& text) {
        if (dataCol == 2)
            text = "sum=" + text;
    };
    EXPECT_TRUE(g.Export<TDBGridExExportAsText>(false).endsWith("\tsum=7.5"));
}

TEST(FooterExport, AverageShowsTheGridsOwnFooterForAllRecords)
{
    ExportGrid g(4);
    g.grid->SumList().SetActive(true);
    g.grid->SetFooterRowCount(1);
    g.Column(2).Footer().SetValueType(fvtAvg);
    g.SelectRect(2, 1, 2, 2);
    EXPECT_EQ(g.Export<TDBGridExExportAsText>(false), Crlf("Amount\n1.5\n3\n3.75"));
}

TEST(RtfExport, SmallGridByteForByte)
{
    auto ds = std::make_unique<TMemDataSet>();
    ds->AddField(ftInteger, "ID");
    ds->AddField(ftString, "Name", 10);
    ds->Open();
    ds->AppendRecord({Variant(7), Variant(QStringLiteral("a{b}\\"))});
    ExportGrid g(std::move(ds));
    g.Column(0).SetWidth(64);
    g.Column(1).SetWidth(32);
    g.Column(1).Font().SetStyle({fsBold, fsUnderline});
    g.Column(1).SetColor(clRed);

    const QString font = TFont::DefaultName();
    const QString borders = "\\clbrdrl\\brdrs\\brdrcf0\r\n\\clbrdrt\\brdrs\\brdrcf0\r\n"
                            "\\clbrdrb\\brdrs\\brdrcf0\r\n\\clbrdrr\\brdrs\\brdrcf0\r\n";
    const QString expected =
        "{\\rtf0\\ansi\\ansicpg1251\r\n"
        "{\\colortbl\\red0\\green0\\blue0;\\red255\\green255\\blue255;\\red192\\green192\\blue192;"
        "\\red255\\green0\\blue0;}\r\n"
        "{\\fonttbl\\f0\\fnil\\fcharset204 " + font + ";}\r\n"
        "\\trowd\\trgaph40\r\n" + borders + "\\clshdng10000\\clcfpat2\\cellx960\r\n" + borders +
        "\\clshdng10000\\clcfpat2\\cellx1440\r\n"
        "{\\trrh0\r\n"
        "\\pard\\intbl{\\ql\\sb24\\sa24\\fs16\\f0\\cf0\\cb2 ID\\cell}\r\n"
        "\\pard\\intbl{\\ql\\sb24\\sa24\\fs16\\f0\\cf0\\cb2 Name\\cell}\r\n"
        "\\pard\\intbl\\row}\r\n"
        "\\trowd\\trgaph40\r\n" + borders + "\\clshdng10000\\clcfpat1\\cellx960\r\n" + borders +
        "\\clshdng10000\\clcfpat3\\cellx1440\r\n"
        "{\\trrh0\r\n"
        "\\pard\\intbl{\\qr\\sb24\\sa24\\fs16\\f0\\cf0\\cb1 7\\cell}\r\n"
        "\\pard\\intbl{\\ql\\sb24\\sa24\\fs16\\b\\ul\\f0\\cf0\\cb3 a\\{b\\}\\\\\\cell}\r\n"
        "\\pard\\intbl\\row}\r\n"
        "}";
    EXPECT_EQ(QString::fromLatin1(g.Export<TDBGridExExportAsRTF>()), expected);

    // A flat grid uses the smaller paragraph spacing.
    g.grid->SetFlat(true);
    const QByteArray flat = g.Export<TDBGridExExportAsRTF>();
    EXPECT_TRUE(flat.contains("\\sb12\\sa12"));
    EXPECT_FALSE(flat.contains("\\sb24"));
}

TEST(RtfExport, MultiLevelTitlesMergeBands)
{
    auto ds = std::make_unique<TMemDataSet>();
    ds->AddField(ftInteger, "A1");
    ds->AddField(ftInteger, "A2");
    ds->AddField(ftInteger, "D");
    ds->Open();
    ds->AppendRecord({Variant(1), Variant(2), Variant(3)});
    ExportGrid g(std::move(ds));
    g.grid->SetUseMultiTitle(true);
    g.Column(0).Title().SetCaption("A|B");
    g.Column(1).Title().SetCaption("A|C");
    g.Column(2).Title().SetCaption("D");
    g.grid->show();

    const QString rtf = QString::fromLatin1(g.Export<TDBGridExExportAsRTF>());
    const QStringList rows = rtf.split("\\trowd");
    ASSERT_EQ(rows.size(), 4);   // header, two title levels, one record
    const QString upper = rows[1];
    const QString lower = rows[2];
    auto cells = [](const QString& row) { return row.split("\\clshdng10000"); };

    // Upper level: "A" over the first two columns (no border between them), "D" reaching down.
    EXPECT_TRUE(upper.contains("\\qc\\sb55\\sa55"));
    EXPECT_TRUE(upper.contains(" A\\cell}"));
    EXPECT_TRUE(upper.contains(" D\\cell}"));
    const QStringList up = cells(upper);
    ASSERT_EQ(up.size(), 4);
    EXPECT_FALSE(up[1].contains("\\clbrdrl"));   // second cell of the A block
    EXPECT_FALSE(up[0].contains("\\clbrdrr"));
    EXPECT_FALSE(up[2].contains("\\clbrdrb"));   // D continues below
    EXPECT_TRUE(up[2].contains("\\clbrdrt"));

    // Leaf level: B and C captioned, D's lower half empty and without a top border.
    EXPECT_TRUE(lower.contains(" B\\cell}"));
    EXPECT_TRUE(lower.contains(" C\\cell}"));
    EXPECT_FALSE(lower.contains(" D\\cell}"));
    const QStringList low = cells(lower);
    EXPECT_FALSE(low[2].contains("\\clbrdrt"));
    EXPECT_TRUE(low[1].contains("\\clbrdrl"));
}

TEST(GridrecExport, TaggedValuesByFieldType)
{
    ExportGrid g(2);
    g.ds->SetRecNo(2);
    g.ds->Edit();
    g.ds->FieldByName("Name")->Clear();
    g.ds->Post();
    g.Column(3).SetVisible(false);   // a hidden column is not exported at all with saveAll

    QByteArray expected("GRIDREC\x02", 8);
    expected += Int32(3) + QByteArray("\x01\x00\x01\x00\x01\x00", 6);
    expected += QByteArray(1, '\3') + Int32(1) + Text("Name1") + QByteArray(1, '\4') +
                QByteArray::fromHex("000000000000f83f");
    expected += QByteArray(1, '\3') + Int32(2) + QByteArray(1, '\2') + QByteArray(1, '\4') +
                QByteArray::fromHex("0000000000000840");
    expected += QByteArray(1, '\0');
    EXPECT_EQ(g.Export<TDBGridExExportAsGRIDREC>(), expected);

    // A Boolean goes out as its text.
    g.Column(3).SetVisible(true);
    EXPECT_TRUE(g.Export<TDBGridExExportAsGRIDREC>().contains(Text("True")));
}

TEST(GridrecExport, LookupColumnWritesItsKey)
{
    TMemDataSet list;
    FillCodeList(list);

    auto ds = std::make_unique<TMemDataSet>();
    AddRefLookup(*ds, list);
    ds->Open();
    ds->AppendRecord({Variant(20)});
    ExportGrid g(std::move(ds));
    g.Column(0).SetVisible(false);

    EXPECT_EQ(g.Export<TDBGridExExportAsText>(), Crlf("RefName\nTwenty"));
    const QByteArray rec = g.Export<TDBGridExExportAsGRIDREC>();
    EXPECT_TRUE(rec.endsWith(QByteArray(1, '\3') + Int32(20) + QByteArray(1, '\0')));
}

TEST(FileExport, WritesAndReplacesTheFile)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString path = dir.filePath("grid.txt");
    {
        TFileStream old(path, fmCreate);
        old.WriteBuffer(QByteArray(100, 'x'));
    }
    ExportGrid g(1);
    TDBGridExExportAsText exporter;
    exporter.SetDBGridEx(g.grid.get());
    exporter.ExportToFile(path, true);
    TMemoryStream back;
    back.LoadFromFile(path);
    EXPECT_EQ(back.Bytes(), Crlf("ID\tName\tAmount\tFlag\n1\tName1\t1.5\tTrue"));

    EXPECT_THROW(exporter.ExportToFile(dir.filePath("missing/grid.txt"), true), EStreamError);
}

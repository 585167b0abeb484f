// Copy and paste between grids with the keyboard: what the clipboard carries and what arrives.
#include "exportfixture.h"
#include "tests/support/error_recorder.h"

#include <QApplication>
#include <QClipboard>
#include <QMimeData>
#include <QTemporaryDir>
#include <QTest>
#include <QtEndian>
#include <cfloat>
#include <gtest/gtest.h>

namespace {

// A grid shown and focused, with the keyboard's clipboard actions on.
void ShowForKeys(ExportGrid& g)
{
    g.grid->SetEditActions({geaCopyEx, geaPasteEx, geaSelectAllEx});
    g.grid->SetOptions(g.grid->Options() - TDBGridOptions{dgTitles});
    g.grid->show();
    QApplication::setActiveWindow(g.grid.get());
    g.grid->setFocus();
}

void Key(ExportGrid& g, Qt::Key key, Qt::KeyboardModifiers modifiers = Qt::ControlModifier)
{
    QTest::keyClick(g.grid.get(), key, modifiers);
}

std::unique_ptr<TMemDataSet> Names(const std::vector<QString>& names)
{
    auto ds = MakeDataSet(0);
    for (int i = 0; i < int(names.size()); ++i)
        ds->AppendRecord({Variant(i + 1), Variant(names[std::size_t(i)]), Variant(1.0), Variant(true)});
    ds->First();
    return ds;
}

} // namespace

TEST(GridTransfer, CopyAndPasteBetweenGridsKeepTextsOutsideTheCodePage)
{
    const std::vector<QString> names = {QStringLiteral("Müller ✓"), QStringLiteral("Иван €"),
                                        QStringLiteral("日本")};
    ExportGrid source(Names(names));
    ShowForKeys(source);
    Key(source, Qt::Key_A);
    Key(source, Qt::Key_C);

    ExportGrid target(MakeDataSet(0));
    ShowForKeys(target);
    Key(target, Qt::Key_V);
    target.ds->CheckBrowseMode();
    ASSERT_EQ(target.ds->RecordCount(), 3);
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(target.Value(i + 1, "Name"), names[std::size_t(i)]);

    // The byte formats other programs read keep their code page.
    const QMimeData& clip = *QApplication::clipboard()->mimeData();
    EXPECT_TRUE(clip.data(ClipboardFormatMimeType(CF_CSV())).contains(ToCp1251(QStringLiteral("\"M?ller ?\""))));
}

TEST(GridTransfer, RecordsOfTheFormerVersionAreReadInTheCodePage)
{
    QByteArray data("GRIDREC\x01", 8);
    data += QByteArray::fromHex("02000000") + QByteArray("\x01\x00\x01\x00", 4);
    const QByteArray name = ToCp1251(QStringLiteral("Пётр"));
    QByteArray length(4, '\0');
    qToLittleEndian(std::int32_t(name.size()), length.data());
    data += QByteArray(1, '\3') + QByteArray::fromHex("07000000") + QByteArray(1, '\5') + length + name;
    data += QByteArray(1, '\0');
    auto* mime = new QMimeData;
    mime->setData(ClipboardFormatMimeType(CF_GRIDREC()), data);
    QApplication::clipboard()->setMimeData(mime);

    ExportGrid target(MakeDataSet(0));
    ShowForKeys(target);
    Key(target, Qt::Key_V);
    target.ds->CheckBrowseMode();
    ASSERT_EQ(target.ds->RecordCount(), 1);
    EXPECT_EQ(target.Value(1, "ID"), "7");
    EXPECT_EQ(target.Value(1, "Name"), QStringLiteral("Пётр"));
}

TEST(GridTransfer, PastingACopyOfNothingChangesNothingAndSaysNothing)
{
    // A copy the program makes (a menu command) while nothing is selected: empty blocks.
    ExportGrid source(2);
    DBGridExCopyToClipboard(*source.grid, false);
    ASSERT_TRUE(ClipboardHasFormat(CF_GRIDREC()));

    ErrorRecorder reported;
    ExportGrid target(2);
    ShowForKeys(target);
    Key(target, Qt::Key_V);
    EXPECT_TRUE(reported.texts.isEmpty()) << reported.texts.join('\n').toStdString();
    EXPECT_EQ(target.ds->State(), dsBrowse);
    EXPECT_EQ(target.ds->RecordCount(), 2);
    EXPECT_EQ(target.Value(1, "Name"), "Name1");
}

TEST(GridTransfer, TheStandardCsvTypeIsUtf8AndKeepsEveryCharacter)
{
    ExportGrid source(Names({QStringLiteral("Иван"), QStringLiteral("Müller ✓")}));
    ShowForKeys(source);
    Key(source, Qt::Key_A);
    Key(source, Qt::Key_C);
    const QMimeData& clip = *QApplication::clipboard()->mimeData();
    const QByteArray csv = clip.data("text/csv");
    EXPECT_EQ(QString::fromUtf8(csv),
              QStringLiteral("\"1\";\"Иван\";\"1\";\"True\"\r\n\"2\";\"Müller ✓\";\"1\";\"True\""));
    // Our own CSV type keeps code page 1251 and its terminating zero.
    EXPECT_EQ(clip.data(ClipboardFormatMimeType(CF_CSV())),
              ToCp1251(QStringLiteral("\"1\";\"Иван\";\"1\";\"True\"\r\n\"2\";\"Müller ?\";\"1\";\"True\"")) +
                  QByteArray(1, '\0'));
}

TEST(GridTransfer, TheLargestFloatsGoThroughATextFileAndComeBack)
{
    for (const TFormatSettings& fs : {InvariantFormatSettings(), RussianFormatSettings()}) {
        auto data = MakeDataSet(0);
        data->SetFormatSettings(fs);
        data->AppendRecord({Variant(1), Variant("max"), Variant(DBL_MAX), Variant(true)});
        data->AppendRecord({Variant(2), Variant("min"), Variant(-DBL_MAX), Variant(true)});
        data->AppendRecord({Variant(3), Variant("third"), Variant(1.0 / 3.0), Variant(true)});
        ExportGrid source(std::move(data));
        source.grid->SetOptions(source.grid->Options() - TDBGridOptions{dgTitles});
        QTemporaryDir dir;
        ASSERT_TRUE(dir.isValid());
        const QString file = dir.filePath("records.txt");
        TDBGridExExportAsText exporter;
        exporter.SetDBGridEx(source.grid.get());
        exporter.ExportToFile(file, true);

        auto empty = MakeDataSet(0);
        empty->SetFormatSettings(fs);
        ExportGrid target(std::move(empty));
        BoxRecorder boxes(mbNo);
        TDBGridExImportAsText importer;
        importer.SetDBGridEx(target.grid.get());
        importer.ImportFromFile(file, true);
        EXPECT_TRUE(boxes.texts.empty()) << boxes.texts.front().toStdString();
        ASSERT_EQ(target.ds->RecordCount(), 3);
        target.ds->SetRecNo(1);
        EXPECT_EQ(target.ds->FieldByName("Amount")->AsFloat(), DBL_MAX);
        target.ds->SetRecNo(2);
        EXPECT_EQ(target.ds->FieldByName("Amount")->AsFloat(), -DBL_MAX);
        // Other values come back as the grid shows them.
        target.ds->SetRecNo(3);
        source.ds->SetRecNo(3);
        EXPECT_EQ(target.ds->FieldByName("Amount")->DisplayText(), source.ds->FieldByName("Amount")->DisplayText());
    }
}

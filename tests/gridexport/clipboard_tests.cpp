// Copy, paste, cut and delete through the system clipboard, and the grid's keyboard hooks.
#include "exportfixture.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QMimeData>
#include <gtest/gtest.h>

namespace {

const QMimeData& Clip() { return *QGuiApplication::clipboard()->mimeData(); }

QByteArray ClipData(TClipboardFormat format) { return Clip().data(ClipboardFormatMimeType(format)); }

} // namespace

TEST(Clipboard, FormatsAreRegisteredOnceByName)
{
    EXPECT_EQ(RegisterClipboardFormat("GRIDREC"), CF_GRIDREC());
    EXPECT_EQ(RegisterClipboardFormat("csv"), CF_CSV());
    EXPECT_GE(CF_RICHTEXT(), 0xC000u);
    EXPECT_NE(CF_GRIDREC(), CF_CSV());
    EXPECT_EQ(ClipboardFormatMimeType(CF_TEXT), "text/plain");
    EXPECT_EQ(ClipboardFormatMimeType(CF_RICHTEXT()), "application/x-vemor-rich-text-format");
    EXPECT_TRUE(ClipboardFormatMimeType(0xBEEF).isEmpty());
}

TEST(Clipboard, CopyPutsAllFourFormats)
{
    ExportGrid g(3);
    g.grid->SetOptions(g.grid->Options() + TDBGridOptions{dgMultiSelect});
    g.SelectRecords({1, 3});
    DBGridExCopyToClipboard(*g.grid, false);

    const QByteArray text = g.Export<TDBGridExExportAsText>(false);
    EXPECT_EQ(Clip().text(), QString::fromLatin1(text));
    EXPECT_EQ(ClipData(CF_CSV()), g.Export<TDBGridExExportAsCSV>(false) + QByteArray(1, '\0'));
    EXPECT_EQ(ClipData(CF_RICHTEXT()), g.Export<TDBGridExExportAsRTF>(false) + QByteArray(1, '\0'));
    EXPECT_EQ(ClipData(CF_GRIDREC()), g.Export<TDBGridExExportAsGRIDREC>(false));

    // Text comes back as 8-bit text with CR LF and a terminating zero.
    TMemoryStream back;
    ClipboardGetStream(CF_TEXT, back);
    EXPECT_EQ(back.Bytes(), text + QByteArray(1, '\0'));
}

TEST(Clipboard, CopyWithoutSelectionLeavesEmptyBlocks)
{
    ExportGrid g(2);
    DBGridExCopyToClipboard(*g.grid, false);
    EXPECT_TRUE(Clip().hasText());
    EXPECT_TRUE(Clip().text().isEmpty());
    EXPECT_EQ(ClipData(CF_CSV()), QByteArray(1, '\0'));
    EXPECT_TRUE(ClipboardHasFormat(CF_GRIDREC()));
    EXPECT_TRUE(ClipData(CF_GRIDREC()).isEmpty());
}

TEST(Clipboard, CopyThenPasteIntoAnotherGrid)
{
    ExportGrid source(3);
    source.grid->SetOptions(source.grid->Options() + TDBGridOptions{dgMultiSelect});
    source.SelectRecords({2, 3});
    DBGridExCopyToClipboard(*source.grid, false);

    ExportGrid target(MakeDataSet(0));
    DBGridExPasteFromClipboard(*target.grid, false);
    ASSERT_EQ(target.ds->RecordCount(), 2);
    EXPECT_EQ(target.Value(1, "ID"), "2");
    EXPECT_EQ(target.Value(2, "Amount"), "4.5");
    EXPECT_EQ(target.Value(2, "Flag"), "True");
}

TEST(Clipboard, PastePrefersRecordsOverText)
{
    ExportGrid source(1);
    source.ds->Edit();
    source.ds->FieldByName("ID")->SetAsInteger(42);
    source.ds->FieldByName("Name")->SetAsString("FromRecords");
    source.ds->Post();
    DBGridExCopyToClipboard(*source.grid, true);
    QMimeData* mixed = new QMimeData;
    mixed->setText("99\tText");
    mixed->setData(ClipboardFormatMimeType(CF_GRIDREC()), ClipData(CF_GRIDREC()));
    QGuiApplication::clipboard()->setMimeData(mixed);

    ExportGrid target(2);
    target.grid->SetOptions(target.grid->Options() - TDBGridOptions{dgTitles});
    DBGridExPasteFromClipboard(*target.grid, false);
    target.ds->CheckBrowseMode();
    EXPECT_EQ(target.Value(1, "Name"), "FromRecords");
    EXPECT_EQ(target.Value(1, "ID"), "42");
    EXPECT_EQ(target.Value(2, "ID"), "2");
}

TEST(Clipboard, TextFromOtherProgramsWithBareLineFeeds)
{
    QGuiApplication::clipboard()->setText("7\tSeven\n8\tEight\n");
    ExportGrid g(2);
    DBGridExPasteFromClipboard(*g.grid, false);
    g.ds->CheckBrowseMode();
    EXPECT_EQ(g.ds->RecordCount(), 2);
    EXPECT_EQ(g.Value(1, "ID"), "7");
    EXPECT_EQ(g.Value(1, "Name"), "Seven");
    EXPECT_EQ(g.Value(2, "Name"), "Eight");
}

TEST(Clipboard, NothingToPasteChangesNothing)
{
    QGuiApplication::clipboard()->setMimeData(new QMimeData);
    ExportGrid g(1);
    DBGridExPasteFromClipboard(*g.grid, false);
    EXPECT_EQ(g.ds->State(), dsBrowse);
    EXPECT_EQ(g.Value(1, "Name"), "Name1");
}

TEST(DeleteSelection, RectangleClearsCellsAfterAsking)
{
    ExportGrid g(3);
    g.SelectRect(1, 1, 2, 2);
    {
        BoxRecorder cancel(mbCancel);
        DBGridExDeleteSelection(*g.grid, false);
        ASSERT_EQ(cancel.texts.size(), 1u);
        EXPECT_EQ(cancel.texts[0], "Clear selected cells?");
    }
    EXPECT_EQ(g.Value(1, "Name"), "Name1");

    BoxRecorder ok(mbOK);
    DBGridExDeleteSelection(*g.grid, false);
    g.ds->CheckBrowseMode();
    EXPECT_EQ(g.ds->RecordCount(), 3);
    for (int rec : {1, 2}) {
        g.ds->SetRecNo(rec);
        EXPECT_TRUE(g.ds->FieldByName("Name")->IsNull());
        EXPECT_TRUE(g.ds->FieldByName("Amount")->IsNull());
        EXPECT_FALSE(g.ds->FieldByName("ID")->IsNull());
    }
    EXPECT_EQ(g.Value(3, "Name"), "Name3");
}

TEST(DeleteSelection, RecordsAndEverything)
{
    ExportGrid g(4);
    g.grid->SetOptions(g.grid->Options() + TDBGridOptions{dgMultiSelect});
    g.SelectRecords({2, 4});
    {
        BoxRecorder ok(mbOK);
        DBGridExDeleteSelection(*g.grid, false);
        ASSERT_EQ(ok.texts.size(), 1u);
        EXPECT_EQ(ok.texts[0], "Delete all selected records?");
    }
    EXPECT_EQ(g.ds->RecordCount(), 2);
    EXPECT_EQ(g.grid->Selection().SelectionType(), gstNon);
    EXPECT_EQ(g.Value(2, "ID"), "3");

    BoxRecorder none(mbCancel);
    DBGridExDeleteSelection(*g.grid, true);
    EXPECT_TRUE(none.texts.empty());
    EXPECT_TRUE(g.ds->IsEmpty());
    EXPECT_FALSE(g.ds->ControlsDisabled());
}

TEST(DeleteSelection, CutCopiesThenClearsColumns)
{
    ExportGrid g(2);
    g.grid->Selection().Columns().Select(&g.Column(1), false);
    DBGridExCutToClipboard(*g.grid, false);
    EXPECT_EQ(Clip().text(), "Name\r\nName1\r\nName2");
    g.ds->CheckBrowseMode();
    g.ds->First();
    EXPECT_TRUE(g.ds->FieldByName("Name")->IsNull());
    g.ds->Next();
    EXPECT_TRUE(g.ds->FieldByName("Name")->IsNull());
}

TEST(GridHooks, KeyboardActionsReachTheClipboard)
{
    InitDBGridExImpExp();
    ExportGrid g(2);
    g.grid->SetEditActions({geaCopyEx, geaPasteEx, geaSelectAllEx});
    ASSERT_TRUE(g.grid->ExecuteEditAction(geaSelectAllEx));
    ASSERT_TRUE(g.grid->ExecuteEditAction(geaCopyEx));
    EXPECT_EQ(Clip().text(), QString::fromLatin1(g.Export<TDBGridExExportAsText>(true)));

    QGuiApplication::clipboard()->setText("5");
    g.grid->Selection().Clear();
    g.ds->First();
    EXPECT_TRUE(g.grid->CanPaste());
    ASSERT_TRUE(g.grid->ExecuteEditAction(geaPasteEx));
    g.ds->CheckBrowseMode();
    EXPECT_EQ(g.Value(1, "ID"), "5");

    QGuiApplication::clipboard()->setMimeData(new QMimeData);
    EXPECT_FALSE(g.grid->CanPaste());
}

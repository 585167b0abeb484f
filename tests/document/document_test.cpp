// The word-processor document over .docx: bookmarks, typing, moving by cells, growing tables,
// saving, and the shipped report templates.
#include "platform/document.h"
#include "tests/tables/heap.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <ostream>
#include <string>

namespace {

const QString kTemplates = QStringLiteral(VEMOR_SOURCE_DATA_DIR "/docs/");

// A package holding only a body: enough for the document to open.
QString MakeDocument(const QTemporaryDir& dir, const QString& name, const QString& body)
{
    const QString path = dir.filePath(name);
    const QByteArray xml =
        QByteArrayLiteral("<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n"
                          "<w:document xmlns:w=\"http://schemas.openxmlformats.org/wordprocessingml/2006/main\">"
                          "<w:body>") +
        body.toUtf8() + QByteArrayLiteral("</w:body></w:document>");
    WriteZipPackage(path, {{QStringLiteral("[Content_Types].xml"), QByteArrayLiteral("<Types/>")},
                           {QStringLiteral("word/document.xml"), xml},
                           {QStringLiteral("word/styles.xml"), QByteArrayLiteral("<styles>kept</styles>")}});
    return path;
}

QString Cell(const QString& content)
{
    return QStringLiteral("<w:tc><w:p><w:pPr><w:rPr><w:sz w:val=\"16\"/></w:rPr></w:pPr>%1</w:p></w:tc>").arg(content);
}

QString Mark(int id, const QString& name)
{
    return QStringLiteral("<w:bookmarkStart w:id=\"%1\" w:name=\"%2\"/><w:bookmarkEnd w:id=\"%1\"/>").arg(id).arg(name);
}

QString TextRun(const QString& text)
{
    return QStringLiteral("<w:r><w:rPr><w:b/></w:rPr><w:t>%1</w:t></w:r>").arg(text);
}

// A paragraph with bookmark "num", a 2x2 table with "tab" in its first cell and a filled cell.
QString SampleBody()
{
    return QStringLiteral("<w:p>") + TextRun(QStringLiteral("Номер:")) + Mark(1, QStringLiteral("num")) +
           QStringLiteral("</w:p><w:tbl><w:tr>") + Cell(Mark(2, QStringLiteral("tab"))) + Cell(TextRun(QStringLiteral("old"))) +
           QStringLiteral("</w:tr><w:tr>") + Cell(QString()) + Cell(QString()) + QStringLiteral("</w:tr></w:tbl>");
}

class DocumentTest : public ::testing::Test {
protected:
    QTemporaryDir dir;
    QString Sample() { return MakeDocument(dir, QStringLiteral("sample.docx"), SampleBody()); }
    // Saves, reopens and returns the reopened document's file.
    QString SaveAndReopen(TWordDocument& doc, TWordDocument& again)
    {
        const QString out = dir.filePath(QStringLiteral("out.docx"));
        doc.SaveAs(out);
        again.Open(out);
        return out;
    }
};

TEST_F(DocumentTest, TypingAtABookmarkInAParagraphLandsAfterTheText)
{
    TWordDocument doc;
    doc.Open(Sample());
    doc.GoToBookmark(QStringLiteral("num"));
    doc.TypeText(QStringLiteral("  7  "));
    doc.TypeText(QStringLiteral("!"));
    TWordDocument again;
    const QString out = SaveAndReopen(doc, again);
    EXPECT_EQ(again.ParagraphAtBookmark(QStringLiteral("num")), QStringLiteral("Номер:  7  !"));
    // Blanks survive the trip through the file, and the text takes the formatting around it.
    const QByteArray xml = ReadZipEntry(out, QStringLiteral("word/document.xml"));
    EXPECT_TRUE(xml.contains("<w:r><w:rPr><w:b/></w:rPr><w:t xml:space=\"preserve\">  7  </w:t></w:r>")) << xml.constData();
    // The bookmark stays in the saved document.
    EXPECT_EQ(again.Bookmarks(), (QStringList{QStringLiteral("num"), QStringLiteral("tab")}));
}

TEST_F(DocumentTest, MovingOnFromTheLastCellGrowsTheTableByOneRow)
{
    TWordDocument doc;
    doc.Open(Sample());
    doc.GoToBookmark(QStringLiteral("tab"));
    const QStringList texts{"a", "b", "c", "d", "e"};
    for (qsizetype i = 0; i < texts.size(); ++i) {
        doc.TypeText(texts[i]);
        if (i + 1 < texts.size())
            doc.MoveRightCell();
    }
    TWordDocument again;
    SaveAndReopen(doc, again);
    const auto rows = again.TableAtBookmark(QStringLiteral("tab"));
    ASSERT_EQ(rows.size(), 3u);
    EXPECT_EQ(rows[0], (QStringList{"a", "b"}));  // "old" was replaced
    EXPECT_EQ(rows[1], (QStringList{"c", "d"}));
    EXPECT_EQ(rows[2], (QStringList{"e", ""}));
    // The new row carries the cells' formatting and no copy of the bookmark.
    EXPECT_EQ(again.Bookmarks().count(QStringLiteral("tab")), 1);
}

TEST_F(DocumentTest, RowsWrittenOneByOneTakeThePatternRowsPlaceInItsFormatting)
{
    TWordDocument doc;
    doc.Open(Sample());
    doc.GoToBookmark(QStringLiteral("tab"));
    doc.BeginRows();
    doc.AddRow({QStringLiteral("a"), QStringLiteral("b")});
    doc.SaveAs(dir.filePath(QStringLiteral("halfway.docx")));   // a save on the way keeps the rows so far
    doc.AddRow({QStringLiteral("c")});
    doc.AddRow({QStringLiteral("x\ty"), QStringLiteral("<&>")});
    doc.EndRows();
    doc.GoToBookmark(QStringLiteral("num"));
    doc.TypeText(QStringLiteral("7"));
    TWordDocument again;
    const QString out = SaveAndReopen(doc, again);
    const auto rows = again.TableAtBookmark(QStringLiteral("tab"));
    ASSERT_EQ(rows.size(), 4u);
    EXPECT_EQ(rows[0], (QStringList{"a", "b"}));
    EXPECT_EQ(rows[1], (QStringList{"c", ""}));
    EXPECT_EQ(rows[2], (QStringList{"x\ty", "<&>"}));
    EXPECT_EQ(rows[3], (QStringList{"", ""}));   // the table's next row stays
    EXPECT_EQ(again.ParagraphAtBookmark(QStringLiteral("num")), QStringLiteral("Номер:7"));
    EXPECT_EQ(again.Bookmarks(), (QStringList{QStringLiteral("num"), QStringLiteral("tab")}));
    // Each cell's text takes that cell's formatting.
    const QByteArray xml = ReadZipEntry(out, QStringLiteral("word/document.xml"));
    EXPECT_TRUE(xml.contains("<w:r><w:rPr><w:sz w:val=\"16\"/></w:rPr><w:t xml:space=\"preserve\">c</w:t></w:r>")) << xml.constData();
    EXPECT_TRUE(xml.contains("<w:r><w:rPr><w:b/></w:rPr><w:t xml:space=\"preserve\">b</w:t></w:r>")) << xml.constData();
    TWordDocument halfway;
    halfway.Open(dir.filePath(QStringLiteral("halfway.docx")));
    EXPECT_EQ(halfway.TableAtBookmark(QStringLiteral("tab")).size(), 2u);

    // Rows only while a table is being written.
    EXPECT_THROW(doc.AddRow({QStringLiteral("late")}), EDocumentError);
    // Nothing of the scratch files stays behind.
    doc.Close();
    again.Close();
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden),
              (QStringList{"halfway.docx", "out.docx", "sample.docx"}));
}

TEST_F(DocumentTest, ALongTableCostsNoMemoryPerRow)
{
    TWordDocument doc;
    doc.Open(QStringLiteral(VEMOR_SOURCE_DATA_DIR "/docs/protokol.docx"));
    doc.SaveAs(dir.filePath(QStringLiteral("temp.docx")));
    doc.GoToBookmark(QStringLiteral("tab1"));
    doc.BeginRows();
    const QStringList row{"10.05.2007", "12:00:00:020", "", "", "", "", "", "", "", "", "", "", "380"};
    for (int i = 0; i < 200; ++i)
        doc.AddRow(row);
    const std::size_t before = HeapInUse();
    constexpr int kRows = 5000;
    for (int i = 0; i < kRows; ++i)
        doc.AddRow(row);
    const std::size_t after = HeapInUse();
    EXPECT_LT(after > before ? after - before : 0, std::size_t(64 * 1024));
    doc.EndRows();
    doc.SaveAs(dir.filePath(QStringLiteral("long.docx")));
    TWordDocument again;
    again.Open(dir.filePath(QStringLiteral("long.docx")));
    EXPECT_EQ(again.TableAtBookmark(QStringLiteral("tab1")).size(), std::size_t(1 + 200 + kRows));
}

TEST_F(DocumentTest, PassingOverACellWithoutTypingKeepsItsText)
{
    TWordDocument doc;
    doc.Open(Sample());
    doc.GoToBookmark(QStringLiteral("tab"));
    doc.MoveRightCell();
    doc.MoveRightCell();
    doc.TypeText(QStringLiteral("x"));
    const auto rows = doc.TableAtBookmark(QStringLiteral("tab"));
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[0], (QStringList{"", "old"}));
    EXPECT_EQ(rows[1], (QStringList{"x", ""}));
}

TEST_F(DocumentTest, ABookmarkAroundTextIsReplacedByTyping)
{
    const QString body = QStringLiteral("<w:p>") + TextRun(QStringLiteral("A ")) +
                         QStringLiteral("<w:bookmarkStart w:id=\"5\" w:name=\"v\"/>") + TextRun(QStringLiteral("old")) +
                         QStringLiteral("<w:bookmarkEnd w:id=\"5\"/>") + TextRun(QStringLiteral(" B")) + QStringLiteral("</w:p>");
    TWordDocument doc;
    doc.Open(MakeDocument(dir, QStringLiteral("range.docx"), body));
    doc.GoToBookmark(QStringLiteral("v"));
    doc.TypeText(QStringLiteral("new"));
    EXPECT_EQ(doc.ParagraphAtBookmark(QStringLiteral("v")), QStringLiteral("A new B"));
}

TEST_F(DocumentTest, MarkupAndControlCharactersInTypedText)
{
    TWordDocument doc;
    doc.Open(Sample());
    doc.GoToBookmark(QStringLiteral("num"));
    doc.TypeText(QStringLiteral("<a&b>\t\"x\"\r\ny") + QChar(0x01) + QChar(0x044C));
    TWordDocument again;
    SaveAndReopen(doc, again);
    EXPECT_EQ(again.ParagraphAtBookmark(QStringLiteral("num")),
              QStringLiteral("Номер:<a&b>\t\"x\"\ny") + QChar(0x044C));
}

TEST_F(DocumentTest, OtherPartsOfThePackageAreKeptAsTheyWere)
{
    TWordDocument doc;
    doc.Open(Sample());
    TWordDocument again;
    const QString out = SaveAndReopen(doc, again);
    EXPECT_EQ(ZipEntries(out), (QStringList{"[Content_Types].xml", "word/document.xml", "word/styles.xml"}));
    EXPECT_EQ(ReadZipEntry(out, QStringLiteral("word/styles.xml")), QByteArrayLiteral("<styles>kept</styles>"));
}

TEST_F(DocumentTest, SavingOverTheOpenedFileAndAgainUnderAnotherName)
{
    const QString path = Sample();
    TWordDocument doc;
    doc.Open(path);
    doc.SaveAs(path);
    doc.GoToBookmark(QStringLiteral("num"));
    doc.TypeText(QStringLiteral("1"));
    const QString second = dir.filePath(QStringLiteral("second.docx"));
    doc.SaveAs(second);
    EXPECT_EQ(doc.FileName(), second);
    TWordDocument first, other;
    first.Open(path);
    other.Open(second);
    EXPECT_EQ(first.ParagraphAtBookmark(QStringLiteral("num")), QStringLiteral("Номер:"));
    EXPECT_EQ(other.ParagraphAtBookmark(QStringLiteral("num")), QStringLiteral("Номер:1"));
}

TEST_F(DocumentTest, FailuresRaiseAndNameWhatFailed)
{
    TWordDocument doc;
    EXPECT_THROW(doc.GoToBookmark(QStringLiteral("num")), EDocumentError);
    EXPECT_THROW(doc.Open(dir.filePath(QStringLiteral("missing.docx"))), EDocumentError);
    EXPECT_FALSE(doc.Active());

    QFile junk(dir.filePath(QStringLiteral("junk.docx")));
    ASSERT_TRUE(junk.open(QIODevice::WriteOnly));
    junk.write("not a package");
    junk.close();
    EXPECT_THROW(doc.Open(junk.fileName()), EDocumentError);

    const QString noBody = dir.filePath(QStringLiteral("nobody.docx"));
    WriteZipPackage(noBody, {{QStringLiteral("a.xml"), QByteArrayLiteral("<a/>")}});
    EXPECT_THROW(doc.Open(noBody), EDocumentError);
    const QString badXml = dir.filePath(QStringLiteral("badxml.docx"));
    WriteZipPackage(badXml, {{QStringLiteral("word/document.xml"), QByteArrayLiteral("<w:document><w:body>")}});
    EXPECT_THROW(doc.Open(badXml), EDocumentError);

    doc.Open(Sample());
    EXPECT_THROW(doc.TypeText(QStringLiteral("x")), EDocumentError);  // no cursor yet
    try {
        doc.GoToBookmark(QStringLiteral("nowhere"));
        ADD_FAILURE() << "a missing bookmark must raise";
    } catch (const EDocumentError& e) {
        EXPECT_TRUE(e.Message().contains(QStringLiteral("nowhere")));
    }
    doc.GoToBookmark(QStringLiteral("num"));
    EXPECT_THROW(doc.MoveRightCell(), EDocumentError);  // not in a table
    EXPECT_THROW(doc.SaveAs(dir.filePath(QStringLiteral("no/such/folder/x.docx"))), EDocumentError);
    EXPECT_TRUE(doc.Active());
    EXPECT_THROW(ReadZipEntry(Sample(), QStringLiteral("word/none.xml")), EDocumentError);
}

TEST_F(DocumentTest, SavingIntoAMissingFolderTellsWhyInRussian)
{
    const QString target = dir.filePath(QStringLiteral("no/such/folder/report.docx"));
    const auto saveError = [&](TWordDocument& doc) {
        try {
            doc.SaveAs(target);
        } catch (const EDocumentError& e) {
            return e.Message();
        }
        return QStringLiteral("<no error>");
    };
    TWordDocument plain;
    plain.Open(Sample());
    EXPECT_EQ(saveError(plain),
              QStringLiteral("Документ \"%1\" не сохранен: не удалось создать временный файл (нет такого файла или каталога)")
                  .arg(target));
    // A report writes its log table row by row and is put together beside the target.
    TWordDocument report;
    report.Open(Sample());
    report.GoToBookmark(QStringLiteral("tab"));
    report.BeginRows();
    report.AddRow({QStringLiteral("a"), QStringLiteral("b")});
    report.EndRows();
    EXPECT_EQ(saveError(report), QStringLiteral("Документ \"%1\" не сохранен: нет такого файла или каталога").arg(target));
}

TEST_F(DocumentTest, APackageInflatingBeyondSixtyFourMegabytesIsRefused)
{
    // Three parts of 22 MB each pack into a few hundred kilobytes; each alone is not absurd, together they are.
    const QByteArray filler(22 * 1024 * 1024, ' ');
    const QString path = dir.filePath(QStringLiteral("bomb.docx"));
    WriteZipPackage(path, {{QStringLiteral("word/document.xml"),
                            QByteArrayLiteral("<w:document><w:body><w:p/></w:body></w:document>")},
                           {QStringLiteral("word/a.xml"), filler},
                           {QStringLiteral("word/b.xml"), filler},
                           {QStringLiteral("word/c.xml"), filler}});
    ASSERT_LT(QFileInfo(path).size(), 1024 * 1024);
    TWordDocument doc;
    try {
        doc.Open(path);
        ADD_FAILURE() << "the package must be refused";
    } catch (const EDocumentError& e) {
        EXPECT_EQ(e.Message(), QStringLiteral("Документ \"%1\" не открыт: после распаковки его части занимают больше 64 МБ")
                                   .arg(path));
    }
    EXPECT_FALSE(doc.Active());
    // One member alone is read within the same limit.
    EXPECT_EQ(ReadZipEntry(path, QStringLiteral("word/a.xml")).size(), filler.size());
}

TEST_F(DocumentTest, InsertRowBelowKeepsTheCursorWhereItWas)
{
    TWordDocument doc;
    doc.Open(Sample());
    doc.GoToBookmark(QStringLiteral("tab"));
    doc.InsertRowBelow();
    doc.TypeText(QStringLiteral("top"));
    doc.MoveRightCell();
    doc.MoveRightCell();
    doc.TypeText(QStringLiteral("inserted"));
    const auto rows = doc.TableAtBookmark(QStringLiteral("tab"));
    ASSERT_EQ(rows.size(), 3u);
    EXPECT_EQ(rows[0], (QStringList{"top", "old"}));
    EXPECT_EQ(rows[1], (QStringList{"inserted", ""}));
}

// ---- The shipped templates ------------------------------------------------------------------

struct TemplateShape {
    const char* file;
    const char* bookmark;
    int columns;
};

void PrintTo(const TemplateShape& t, std::ostream* os)
{
    *os << t.file << ' ' << t.bookmark;
}

class TemplateTest : public ::testing::TestWithParam<TemplateShape> {};

TEST_P(TemplateTest, BookmarkSitsInATableOfTheExpectedWidth)
{
    const TemplateShape& t = GetParam();
    TWordDocument doc;
    doc.Open(kTemplates + QLatin1String(t.file));
    const auto rows = doc.TableAtBookmark(QLatin1String(t.bookmark));
    ASSERT_FALSE(rows.empty());
    for (const QStringList& row : rows)
        EXPECT_EQ(row.size(), t.columns) << t.file << " " << t.bookmark;
}

INSTANTIATE_TEST_SUITE_P(Reports, TemplateTest,
                         ::testing::Values(TemplateShape{"protokol.docx", "tab1", 13},
                                           TemplateShape{"protokol.docx", "btn", 13},
                                           TemplateShape{"protokol.docx", "tab2", 2},
                                           TemplateShape{"protokol.docx", "tab3", 2},
                                           TemplateShape{"cprotokol.docx", "tab0", 16},
                                           TemplateShape{"cprotokol.docx", "tab1", 18},
                                           TemplateShape{"cprotokol.docx", "tab2", 17},
                                           TemplateShape{"cprotokol.docx", "tab3", 17}),
                         [](const ::testing::TestParamInfo<TemplateShape>& info) {
                             return std::string(info.param.file[0] == 'c' ? "Second_" : "Vemor_") + info.param.bookmark;
                         });

TEST(ReportTemplates, ContactTitlesFollowTheFourFixedColumnsAndTheLogStartsInRowTwo)
{
    TWordDocument doc;
    doc.Open(kTemplates + QStringLiteral("protokol.docx"));
    EXPECT_EQ(doc.ParagraphAtBookmark(QStringLiteral("num")), QStringLiteral("ВЕМОР  зав. №"));
    doc.GoToBookmark(QStringLiteral("btn"));
    for (const char* name : {"СТОП1", "СТОП2", "ГАО", "ТРЗ"}) {
        doc.TypeText(QString::fromUtf8(name));
        doc.MoveRightCell();
    }
    const auto rows = doc.TableAtBookmark(QStringLiteral("tab1"));
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[0].mid(2, 7), (QStringList{"ВЕМОР", "Самозап.", "СТОП1", "СТОП2", "ГАО", "ТРЗ", "Двигат."}));
    EXPECT_TRUE(rows[1].join(QString()).isEmpty());
    // tab1 is the first cell of the row after the titles.
    doc.GoToBookmark(QStringLiteral("tab1"));
    doc.TypeText(QStringLiteral("first"));
    EXPECT_EQ(doc.TableAtBookmark(QStringLiteral("tab1"))[1][0], QStringLiteral("first"));
}

}  // namespace

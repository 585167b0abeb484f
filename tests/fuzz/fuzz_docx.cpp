// .docx templates as the report uses them: the template is opened and saved as the working copy,
// the report's steps run at every bookmark (go to it, type, move through the table's cells, a
// table's rows written as the log's), and the report is saved and opened again.
// The input is either a whole package (a zip, so its first byte is even: 'P'), or an odd byte
// and a document part, packed into the real template (bit 1: the second device kind's) in place
// of its own word/document.xml.
#include "tests/fuzz/fuzz_support.h"

#include "platform/application.h"
#include "platform/document.h"

#include <QFile>

#include <cstdio>
#include <cstdlib>

namespace {

QString docs;
// The real templates' members, read once.
std::vector<std::pair<QString, QByteArray>> templates[2];

// Bookmarks worked on at most: enough for every bookmark of our templates and then some.
constexpr int kMaxBookmarks = 64;

std::vector<std::pair<QString, QByteArray>> ReadPackage(const QString& file)
{
    std::vector<std::pair<QString, QByteArray>> members;
    for (const QString& name : ZipEntries(file))
        members.emplace_back(name, ReadZipEntry(file, name));
    return members;
}

// The report's steps at one bookmark: its text, then cells of its table, if it is in one.
void TypeAt(TWordDocument& doc, const QString& mark)
{
    Guarded([&] { (void)doc.ParagraphAtBookmark(mark); });
    Guarded([&] {
        doc.GoToBookmark(mark);
        doc.TypeText(QStringLiteral("  12  "));
        for (int cell = 0; cell < 3; ++cell) {
            doc.MoveRightCell();
            doc.TypeText(QStringLiteral("01.02.2007\t8:04\nДа"));
        }
        doc.InsertRowBelow();
    });
}

// The log's rows, as the report writes them into the first table with a bookmark.
void RowsAt(TWordDocument& doc, const QString& mark)
{
    Guarded([&] {
        doc.GoToBookmark(mark);
        doc.BeginRows();
        for (int row = 0; row < 3; ++row)
            doc.AddRow({QStringLiteral("0%1.02.2007").arg(row + 1), QStringLiteral("8:04:09"), QStringLiteral("√"),
                        QString(), QStringLiteral("380")});
        doc.EndRows();
    });
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    fuzz::InitApplication();
    docs = fuzz::ExeFolder() + QStringLiteral("docs/");
    templates[0] = ReadPackage(docs + QStringLiteral("protokol.docx"));
    templates[1] = ReadPackage(docs + QStringLiteral("cprotokol.docx"));
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const QString file = docs + QStringLiteral("template.docx");
    const QByteArray bytes(reinterpret_cast<const char*>(data), qsizetype(size));
    if (size > 0 && (data[0] & 1)) {
        auto members = templates[(data[0] >> 1) & 1];
        for (auto& [name, content] : members)
            if (name == QLatin1String("word/document.xml"))
                content = bytes.mid(1);
        WriteZipPackage(file, members);
    } else {
        QFile out(file);
        if (!out.open(QIODevice::WriteOnly | QIODevice::Truncate))
            return 0;
        out.write(bytes);
        out.close();
    }
    TWordDocument doc;
    if (!Guarded([&] {
            doc.Open(file);
            doc.SaveAs(docs + QStringLiteral("temp.docx"));
        }))
        return 0;
    (void)doc.Text();
    const QStringList marks = doc.Bookmarks();
    bool rows = false;
    for (int i = 0; i < marks.size() && i < kMaxBookmarks; ++i) {
        bool inTable = false;
        Guarded([&] { inTable = !doc.TableAtBookmark(marks[i]).empty(); });
        if (inTable && !rows) {
            rows = true;
            RowsAt(doc, marks[i]);
        } else {
            TypeAt(doc, marks[i]);
        }
    }
    (void)doc.Text();
    // The report as saved must open again.
    const QString report = docs + QStringLiteral("report.docx");
    if (!Guarded([&] { doc.SaveAs(report); }))
        return 0;
    doc.Close();
    TWordDocument saved;
    if (!Guarded([&] { saved.Open(report); })) {
        std::fprintf(stderr, "fuzz: the saved report does not open again\n");
        std::abort();
    }
    (void)saved.Text();
    return 0;
}

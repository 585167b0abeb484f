// .docx templates as the report opens them: the package is read, then the report's steps run at
// the template's bookmarks (go to the bookmark, type, move through the table's cells).
#include "tests/fuzz/fuzz_support.h"

#include "platform/application.h"
#include "platform/document.h"

#include <QFile>

namespace {

QString file;

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    fuzz::InitApplication();
    file = fuzz::ExeFolder() + QStringLiteral("docs/protokol.docx");
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    QFile out(file);
    if (!out.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return 0;
    out.write(reinterpret_cast<const char*>(data), qint64(size));
    out.close();
    TWordDocument doc;
    if (!Guarded([&] { doc.Open(file); }))
        return 0;
    (void)doc.Text();
    const QStringList marks = doc.Bookmarks();
    for (int i = 0; i < marks.size() && i < 4; ++i) {
        Guarded([&] { (void)doc.TableAtBookmark(marks[i]); });
        Guarded([&] { (void)doc.ParagraphAtBookmark(marks[i]); });
        Guarded([&] {
            doc.GoToBookmark(marks[i]);
            doc.TypeText(QStringLiteral("  12  "));
            for (int cell = 0; cell < 3; ++cell) {
                doc.MoveRightCell();
                doc.TypeText(QStringLiteral("01.02.2007\t8:04"));
            }
            doc.InsertRowBelow();
        });
    }
    (void)doc.Text();
    return 0;
}

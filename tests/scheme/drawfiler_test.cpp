#include "platform/streams.h"
#include "platform/text.h"
#include "scheme/drawfiler.h"
#include "scheme/drawprops2.h"

#include <gtest/gtest.h>

namespace {

QByteArray Crlf(const char* text)
{
    QByteArray b(text);
    b.replace("\n", "\r\n");
    return b;
}

}  // namespace

TEST(DocumentWriter, PlainTextQuoting)
{
    TPropList list;
    auto* s = new TStrProp(&list, "T");
    auto line = [&](const QString& value) {
        s->SetValue(value);
        TMemoryStream stream;
        TDrawFiler filer(stream);
        list.SaveToFiler(filer, "");
        return stream.Bytes();
    };
    EXPECT_EQ(line("abc"), "T = abc\r\n");
    EXPECT_EQ(line("a=b"), "T = a=b\r\n");
    EXPECT_EQ(line(""), "T = \r\n");
    EXPECT_EQ(line("x'y"), "T = 'x'y'\r\n");
    EXPECT_EQ(line("( )"), "T = '( )'\r\n");
    EXPECT_EQ(line("{abc"), "T = '{abc'\r\n");
    EXPECT_EQ(line(QString::fromUtf8("Привет")), QByteArray("T = ") + ToCp1251(QString::fromUtf8("Привет")) + "\r\n");

    // each of them reads back as itself
    for (const QString& value : {QString("a=b"), QString("x'y"), QString("( )"), QString("{ }"), QString("(a"),
                                 QString("'q'"), QString::fromUtf8("Привет мир")}) {
        const QByteArray bytes = line(value);
        TPropList other;
        auto* t = new TStrProp(&other, "T");
        TMemoryStream stream(bytes);
        TDrawFiler filer(stream);
        QByteArray l;
        filer.LoadStr(l);
        other.LoadFromFiler(filer, l, nullptr);
        EXPECT_EQ(t->GetValue(), value);
    }
}

TEST(DocumentWriter, ComplexPropertyWithNothingStoredWritesNoBlock)
{
    TPropList list;
    list.OnPropStored = [](TPropList*, TCustomProp* prop, const QString& sub, bool& stored) {
        if (!sub.isEmpty())
            stored = prop->IsStored(sub);
    };
    new TPenProp(&list, "Pen");
    new TLineCapProp(&list, "Cap");
    TMemoryStream stream;
    TDrawFiler filer(stream);
    list.SaveToFiler(filer, "  ");
    EXPECT_EQ(stream.Size(), 0);
}

TEST(Filer, LinesAcrossBufferEdges)
{
    // lines of every length around the 4096-byte buffer, and a CR LF split by the edge
    QByteArray text;
    QList<QByteArray> lines;
    for (int len : {4094, 4095, 4096, 4097, 1, 0, 8191, 3}) {
        QByteArray l(len, 'x');
        if (len > 0)
            l[0] = 'a' + char(len % 20);
        lines.append(l);
        text += l + "\r\n";
    }
    text += "last";
    TMemoryStream stream(text);
    TDrawFiler filer(stream);
    QByteArray l;
    for (const QByteArray& expected : lines) {
        ASSERT_TRUE(filer.LoadStr(l));
        EXPECT_EQ(l.size(), expected.size());
        EXPECT_EQ(l, expected);
    }
    EXPECT_FALSE(filer.LoadStr(l));
    EXPECT_EQ(l, "last");
    EXPECT_FALSE(filer.LoadStr(l));
    EXPECT_EQ(l, "");

    // leading blanks across an edge are skipped
    QByteArray blanks(5000, ' ');
    TMemoryStream s2(blanks + "word\r\nx");
    TDrawFiler f2(s2);
    ASSERT_TRUE(f2.LoadStr(l));
    EXPECT_EQ(l, "word");
}

TEST(Filer, CrCrIsALineAndAnEmptyLine)
{
    TMemoryStream stream(QByteArray("a\r\rb\n\nc"));
    TDrawFiler filer(stream);
    QByteArray l;
    QList<QByteArray> got;
    while (filer.LoadStr(l))
        got.append(l);
    got.append(l);
    EXPECT_EQ(got, (QList<QByteArray>{"a", "", "b", "", "c"}));
}

TEST(Filer, ProgressAndSkipping)
{
    QByteArray text = Crlf("object A: X\n  property P\n  end\n  object B: Y\n  end\nend\nafter\nz");
    TMemoryStream stream(text);
    TDrawFiler filer(stream);
    std::vector<int> progress;
    filer.OnProgress = [&](TDrawFiler*, int percent, int process) {
        EXPECT_EQ(process, dfpLoading);
        progress.push_back(percent);
    };
    QByteArray l;
    filer.LoadStr(l);
    EXPECT_TRUE(filer.CheckLoadSkip(l));
    filer.LoadStr(l);
    EXPECT_EQ(l, "after");
    ASSERT_FALSE(progress.empty());
    EXPECT_EQ(progress.back(), 100);

    TMemoryStream out;
    TDrawFiler writer(out);
    std::vector<int> saves;
    writer.OnProgress = [&](TDrawFiler*, int percent, int process) {
        EXPECT_EQ(process, dfpSaving);
        saves.push_back(percent);
    };
    writer.SetTotal(3);
    for (int i = 1; i <= 3; ++i)
        writer.SetSaved(i);
    EXPECT_EQ(saves, (std::vector<int>{33, 67, 100}));
}

TEST(ComplexProps, DataBlockLineLayout)
{
    TPropList list;
    QByteArray bytes(64, '\x11');
    auto* data = new TDataProp(&list, "D");
    data->OnGetData = [&](TDataProp*, Variant& v) { v = Variant(bytes); };
    TMemoryStream stream;
    TDrawFiler filer(stream);
    list.SaveToFiler(filer, "");
    // every full line of 32 bytes ends its line; the empty rest line carries the brace
    EXPECT_EQ(stream.Bytes(),
              "D = {\r\n  " + QByteArray(64, '1') + "\r\n  " + QByteArray(64, '1') + "\r\n   }\r\n");

    // and reads back as the same 64 bytes
    QByteArray back;
    TPropList other;
    auto* d2 = new TDataProp(&other, "D");
    d2->OnSetData = [&](TDataProp*, const Variant& v) { back = v.IsClear() ? QByteArray() : v.AsBytes(); };
    TMemoryStream in(stream.Bytes() + "end\r\n");
    TDrawFiler reader(in);
    QByteArray l;
    while (reader.LoadStr(l))
        other.LoadFromFiler(reader, l, nullptr);
    EXPECT_EQ(back, bytes);

    // one byte: a single rest line
    bytes = QByteArray(1, '\xAB');
    TMemoryStream one;
    TDrawFiler f1(one);
    list.SaveToFiler(f1, "  ");
    EXPECT_EQ(one.Bytes(), "  D = {\r\n    AB }\r\n");
}


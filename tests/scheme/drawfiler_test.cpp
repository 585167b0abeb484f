#include "platform/streams.h"
#include "platform/text.h"
#include "scheme/drawfiler.h"
#include "scheme/drawprops2.h"

#include <gtest/gtest.h>

namespace {

// A stand-in for a control: a name, a class name and the properties a box carries.
struct TestObject {
    explicit TestObject(QString name = {}) : Name(std::move(name))
    {
        Props.OnPropStored = [](TPropList*, TCustomProp* prop, const QString& sub, bool& stored) {
            if (!sub.isEmpty())
                stored = prop->IsStored(sub);
        };
        for (const char* n : {"Left", "Top", "Width", "Height"}) {
            auto* p = new TIntProp(&Props, n);
            p->SetStyle(p->Style() | psThousandths);
        }
        Id = new TLongWordProp(&Props, "ID");
        auto* nameProp = new TStrProp(&Props, "Name");
        nameProp->SetStyle(nameProp->Style() | psNotStored);
        Caption = new TStrProp(&Props, "Caption");
        Hint = new TStrListProp(&Props, "Hint");
        Brush = new TBrushProp(&Props, "Brush");
        Pen = new TPenProp(&Props, "Pen");
        Font = new TFontProp(&Props, "Font");
        Cap = new TLineCapProp(&Props, "EndCap");
        Data = new TDataProp(&Props, "PathPoints");
        Data->OnGetData = [this](TDataProp*, Variant& v) {
            if (!Bytes.isEmpty())
                v = Variant(Bytes);
        };
        Data->OnSetData = [this](TDataProp*, const Variant& v) { Bytes = v.IsClear() ? QByteArray() : v.AsBytes(); };
        Layer = new TStrProp(&Props, "Layer");
        Layer->SetStyle(Layer->Style() | psReference);
    }
    int Get(const char* name) const { return Props.ByName(name)->GetPropValue("").AsInteger(); }
    void Set(const char* name, int v) { Props.ByName(name)->SetPropValue("", Variant(v)); }

    QString Name;
    TPropList Props;
    TLongWordProp* Id;
    TStrProp* Caption;
    TStrListProp* Hint;
    TBrushProp* Brush;
    TPenProp* Pen;
    TFontProp* Font;
    TLineCapProp* Cap;
    TDataProp* Data;
    TStrProp* Layer;
    QByteArray Bytes;
};

struct TestDocument {
    TestDocument()
    {
        auto* w = new TIntProp(&Root, "Width");
        auto* h = new TIntProp(&Root, "Height");
        auto* v = new TIntProp(&Root, "Version");
        w->SetValue(80000);
        h->SetValue(50000);
        v->SetValue(130);
        v->SetStyle(v->Style() | psReadOnly);
    }
    TPropList Root;
    std::vector<std::unique_ptr<TestObject>> Objects;
    TPropRefList Refs;

    void Save(TDrawFiler& filer)
    {
        filer.SaveStr("document Document");
        Root.SaveToFiler(filer, "  ");
        for (auto& o : Objects) {
            filer.SaveStr("  object " + ToCp1251(o->Name) + ": TDrawBox");
            o->Props.SaveToFiler(filer, "    ");
            filer.SaveStr("  end");
        }
        filer.SaveStr("end");
    }

    void Load(TDrawFiler& filer)
    {
        QByteArray line;
        const bool more = filer.LoadStr(line);
        if (!MatchesKeyword(line, kwDocument))
            throw EDrawFormatError();
        if (!more)
            return;
        while (filer.LoadStr(line)) {
            if (MatchesKeyword(line, kwEnd))
                break;
            if (MatchesKeyword(line, kwLibrary)) {
                filer.LoadSkipToEnd();
                continue;
            }
            if (MatchesKeyword(line, kwObject)) {
                const qsizetype colon = line.lastIndexOf(':');
                if (colon < 1 || line.mid(colon + 1).trimmed().toLower() != "tdrawbox") {
                    filer.LoadSkipToEnd();
                    continue;
                }
                auto o = std::make_unique<TestObject>(FromCp1251(line.mid(6, colon - 6).trimmed()));
                QByteArray body;
                while (filer.LoadStr(body)) {
                    if (MatchesKeyword(body, kwEnd))
                        break;
                    if (MatchesKeyword(body, kwObject)) {
                        filer.LoadSkipToEnd();
                        continue;
                    }
                    o->Props.LoadFromFiler(filer, body, &Refs);
                }
                Objects.push_back(std::move(o));
                continue;
            }
            Root.LoadFromFiler(filer, line, &Refs);
        }
        Refs.ResolveAll();
    }
};

QByteArray Written(TestDocument& doc)
{
    TMemoryStream stream;
    TDrawFiler filer(stream);
    doc.Save(filer);
    return stream.Bytes();
}

void ReadInto(TestDocument& doc, const QByteArray& bytes)
{
    TMemoryStream stream(bytes);
    TDrawFiler filer(stream);
    doc.Load(filer);
}

QByteArray Crlf(const char* text)
{
    QByteArray b(text);
    b.replace("\n", "\r\n");
    return b;
}

std::unique_ptr<TestObject> SampleBox()
{
    auto box = std::make_unique<TestObject>("Box1");
    box->Set("Left", 1000);
    box->Set("Top", -2500);
    box->Set("Width", 20000);
    box->Set("Height", 10000);
    box->Id->SetValue(4294967295u);
    box->Caption->SetValue("a b");
    box->Hint->SetLines({"first", "it's"});
    box->Brush->SetColor(clRed);
    box->Brush->SetBrushStyle(bsClear);
    box->Pen->SetWidth(3000);
    box->Font->SetFontStyle(TFontStyles{fsBold, fsItalic});
    QByteArray bytes;
    for (int i = 0; i < 33; ++i)
        bytes.append(char(i * 7));
    box->Bytes = bytes;
    box->Layer->SetValue("Layer1");
    return box;
}

const char* const Golden = R"(document Document
  Height = 50000
  Version = 130
  Width = 80000
  object Box1: TDrawBox
    property Brush
      Color = 255
      Style = bsClear
    end
    Caption = 'a b'
    property Font
      Name = Arial
      Size = 8250
      Style = [fsBold,fsItalic]
    end
    Height = 10000
    Hint = (
      'first'
      'it's' )
    ID = -1
    Layer = Layer1
    Left = 1000
    PathPoints = {
      00070E151C232A31383F464D545B626970777E858C939AA1A8AFB6BDC4CBD2D9
      E0 }
    property Pen
      Width = 3000
    end
    Top = -2500
    Width = 20000
  end
end
)";

}  // namespace

TEST(DocumentWriter, GoldenDocumentByteForByte)
{
    TestDocument doc;
    doc.Objects.push_back(SampleBox());
    EXPECT_EQ(Written(doc), Crlf(Golden));
}

TEST(DocumentWriter, WriteReadWriteIsIdentical)
{
    TestDocument doc;
    doc.Objects.push_back(SampleBox());
    const QByteArray first = Written(doc);
    TestDocument copy;
    ReadInto(copy, first);
    ASSERT_EQ(copy.Objects.size(), 1u);
    const TestObject& box = *copy.Objects[0];
    EXPECT_EQ(box.Name, "Box1");
    EXPECT_EQ(box.Id->GetValue(), 4294967295u);
    EXPECT_EQ(box.Caption->GetValue(), "a b");
    EXPECT_EQ(box.Hint->Strings(), (QStringList{"first", "it's"}));
    EXPECT_EQ(box.Bytes.size(), 33);
    EXPECT_EQ(box.Font->Font().Style(), (TFontStyles{fsBold, fsItalic}));
    EXPECT_EQ(box.Layer->GetValue(), "Layer1");
    EXPECT_EQ(Written(copy), first);
}

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

TEST(DocumentReader, EmptyListAndDataFormsReadAsEmpty)
{
    TestDocument doc;
    doc.Objects.push_back(SampleBox());
    ReadInto(doc, Crlf("document Document\n  object Box1: TDrawBox\n    Hint = ( )\n    PathPoints = { }\n  end\nend\n"));
    ASSERT_EQ(doc.Objects.size(), 2u);
    EXPECT_EQ(doc.Objects[1]->Hint->GetCount(), 0);
    EXPECT_TRUE(doc.Objects[1]->Bytes.isEmpty());

    TestObject box;
    box.Hint->SetLines({"x"});
    box.Bytes = "zz";
    TMemoryStream stream(Crlf("Hint = ( )\nPathPoints = { }\nend\n"));
    TDrawFiler filer(stream);
    QByteArray l;
    while (filer.LoadStr(l))
        box.Props.LoadFromFiler(filer, l, nullptr);
    EXPECT_EQ(box.Hint->GetCount(), 0);
    EXPECT_TRUE(box.Bytes.isEmpty());
}

TEST(DocumentReader, AcceptsEveryLineEnd)
{
    TestDocument doc;
    doc.Objects.push_back(SampleBox());
    const QByteArray crlf = Written(doc);
    QByteArray lf = crlf;
    lf.replace("\r\n", "\n");
    QByteArray cr = crlf;
    cr.replace("\r\n", "\r");
    QByteArray lfcr = crlf;
    lfcr.replace("\r\n", "\n\r");
    for (const QByteArray& variant : {lf, cr, lfcr}) {
        TestDocument copy;
        ReadInto(copy, variant);
        EXPECT_EQ(Written(copy), crlf);
    }
}

TEST(DocumentReader, SkipsUnknownNamesBlocksAndClasses)
{
    const QByteArray text = Crlf(
        "document Document\n"
        "  Nonsense = 5\n"
        "  Width = 12000\n"
        "  library Lib\n"
        "    object X: TDrawBox\n"
        "      Left = 1\n"
        "    end\n"
        "  end\n"
        "  object Thing: TUnknownShape\n"
        "    object Inner: TDrawBox\n"
        "    end\n"
        "    Left = 99\n"
        "  end\n"
        "  object NoColon TDrawBox\n"
        "  end\n"
        "  object B: TDRAWBOX\n"
        "    property Nothing\n"
        "      A = 1\n"
        "    end\n"
        "    property Brush\n"
        "      Unknown = 3\n"
        "      Color = 65280\n"
        "    end\n"
        "    Hint = (\n"
        "      'one'\n"
        "      not quoted\n"
        "      'two' )\n"
        "    Strange = (\n"
        "      'x' )\n"
        "    Odd = {\n"
        "      ZZ-not-hex }\n"
        "    Left = 7000\n"
        "  end\n"
        "  Version = 131\n"
        "end\n");
    TestDocument doc;
    ReadInto(doc, text);
    EXPECT_EQ(doc.Root.ByName("Width")->GetPropValue("").AsInteger(), 12000);
    EXPECT_EQ(doc.Root.ByName("Version")->GetPropValue("").AsInteger(), 130) << "read-only ignores the document";
    ASSERT_EQ(doc.Objects.size(), 1u);
    const TestObject& b = *doc.Objects[0];
    EXPECT_EQ(b.Name, "B");
    EXPECT_EQ(b.Brush->Color(), TColor(65280));
    EXPECT_EQ(b.Hint->Strings(), (QStringList{"one", "two"}));
    EXPECT_EQ(b.Get("Left"), 7000);
}

TEST(DocumentReader, BadFirstLineAndBadData)
{
    TestDocument doc;
    EXPECT_THROW(ReadInto(doc, "objects\r\n"), EDrawFormatError);
    EXPECT_THROW(ReadInto(doc, "hello\r\nend\r\n"), EDrawFormatError);
    TestDocument empty;
    EXPECT_NO_THROW(ReadInto(empty, ""));
    EXPECT_TRUE(empty.Objects.empty());
    TestDocument bad;
    try {
        ReadInto(bad, Crlf("document D\n  object B: TDrawBox\n    PathPoints = {\n      0G }\n  end\nend\n"));
        ADD_FAILURE() << "a non-hex digit must fail";
    } catch (const Exception& e) {
        EXPECT_EQ(e.Message(), "Data format error");
    }
    TestDocument lower;
    ReadInto(lower, Crlf("document D\n  object B: TDrawBox\n    PathPoints = {\n      0aFf }\n  end\nend\n"));
    ASSERT_EQ(lower.Objects.size(), 1u);
    EXPECT_EQ(lower.Objects[0]->Bytes, QByteArray("\x0a\xff", 2));
    TestDocument number;
    EXPECT_THROW(ReadInto(number, Crlf("document D\n  object B: TDrawBox\n    Left = abc\n  end\nend\n")),
                 EConvertError);
}

TEST(DocumentReader, BlankLineEndsTheBodyAndMissingEndIsTolerated)
{
    TestDocument doc;
    ReadInto(doc, Crlf("document D\n  object A: TDrawBox\n    Left = 1000\n\n    Top = 5000\n  end\n"));
    ASSERT_EQ(doc.Objects.size(), 1u);
    EXPECT_EQ(doc.Objects[0]->Get("Left"), 1000);
    EXPECT_EQ(doc.Objects[0]->Get("Top"), 0);

    TestDocument noEnd;
    ReadInto(noEnd, Crlf("document D\n  object A: TDrawBox\n    Left = 1000\n  end\n  object B: TDrawBox\n  end\n"));
    EXPECT_EQ(noEnd.Objects.size(), 2u);
}

TEST(DocumentReader, TabsAreNotIndentation)
{
    TestObject box;
    TMemoryStream stream(Crlf("property Brush\n\tend\n  Color = 5\nend\nLeft = 3\nend\n"));
    TDrawFiler filer(stream);
    QByteArray l;
    while (filer.LoadStr(l))
        box.Props.LoadFromFiler(filer, l, nullptr);
    EXPECT_EQ(box.Brush->Color(), TColor(5)) << "a tab-indented end does not close the block";
    EXPECT_EQ(box.Get("Left"), 3);
}

TEST(DocumentReader, ReferencesWaitForTheWholeDocument)
{
    TestDocument doc;
    QStringList seen;
    ReadInto(doc, Crlf("document D\n  object A: TDrawBox\n    Layer = L1\n  end\n  object B: TDrawBox\n    Layer = L2\n  end\nend\n"));
    ASSERT_EQ(doc.Objects.size(), 2u);
    EXPECT_EQ(doc.Objects[0]->Layer->GetValue(), "L1");
    EXPECT_EQ(doc.Objects[1]->Layer->GetValue(), "L2");

    // queued, not assigned, while the read is in progress
    TestObject box;
    TPropRefList refs;
    TMemoryStream stream(Crlf("Layer = L9\n"));
    TDrawFiler filer(stream);
    QByteArray l;
    filer.LoadStr(l);
    box.Props.LoadFromFiler(filer, l, &refs);
    EXPECT_EQ(box.Layer->GetValue(), "");
    EXPECT_EQ(refs.Count(), 1);
    EXPECT_EQ(box.Props.RefList(), nullptr);
    refs.ResolveAll();
    EXPECT_EQ(box.Layer->GetValue(), "L9");
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

TEST(DocumentReader, UnknownUnterminatedValueSwallowsNothing)
{
    TestObject box;
    TMemoryStream stream(Crlf("Nonsense = (abc\nLeft = 5000\nJunk = {\n0A0B\nTop = 7000\nCaption = '\nend\n"));
    TDrawFiler filer(stream);
    QByteArray l;
    while (filer.LoadStr(l))
        box.Props.LoadFromFiler(filer, l, nullptr);
    EXPECT_EQ(box.Get("Left"), 5000);
    EXPECT_EQ(box.Get("Top"), 7000);
    box.Caption->SetValue("x");
    TMemoryStream s2(Crlf("Caption = '\nend\n"));
    TDrawFiler f2(s2);
    ASSERT_TRUE(f2.LoadStr(l));
    box.Props.LoadFromFiler(f2, l, nullptr);
    EXPECT_EQ(box.Caption->GetValue(), "") << "a lone quote is an empty quoted text";
}

TEST(DocumentReader, ArbitraryTextOnlyEverFailsWithAnException)
{
    const char* const pieces[] = {"document D", "object A: TDrawBox", "object", "end", "", "property Brush",
                                  "property Font", "Color = 5", "Left = 1000", "Hint = (", "'x'", "'y' )",
                                  "PathPoints = {", "0A0B", "0C }", "{ }", "( )", "Style = [fsBold", "Size = 9",
                                  "Bitmap = {", "FF }", "ID = -1", "Layer = L", "  ", "=", "library L", "\t"};
    const char* const ends[] = {"\r\n", "\n", "\r", "\n\r"};
    uint32_t seed = 5;
    auto next = [&seed](int range) {
        seed = seed * 1664525u + 1013904223u;
        return int((seed >> 8) % uint32_t(range));
    };
    for (int round = 0; round < 500; ++round) {
        QByteArray text;
        const int lines = next(30);
        for (int i = 0; i < lines; ++i)
            text += QByteArray(next(4), ' ') + pieces[next(int(std::size(pieces)))] + ends[next(4)];
        TestDocument doc;
        try {
            ReadInto(doc, text);
        } catch (const Exception&) {
            // a bad first line, bad hex or a bad number: reported, nothing worse
        }
    }
}

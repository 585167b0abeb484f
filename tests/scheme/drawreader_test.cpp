// The document reader and writer as the program runs them: every document here goes through a
// panel's own LoadFromFiler / LoadFromFile and SaveToFiler.
#include "platform/exceptions.h"
#include "platform/streams.h"
#include "platform/text.h"
#include "scheme/drawbase.h"
#include "scheme/drawcurves.h"
#include "scheme/drawfiler.h"
#include "scheme/drawpanel.h"
#include "scheme/drawprops2.h"
#include "scheme/drawshapes.h"
#include "scheme/drawtext.h"

#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

QByteArray Crlf(const char* text)
{
    QByteArray b(text);
    b.replace("\n", "\r\n");
    return b;
}

QByteArray Saved(TDrawPanel& p)
{
    TMemoryStream stream;
    auto filer = p.CreateFiler(stream, dfpSaving);
    p.SaveToFiler(*filer, false);
    return stream.Bytes();
}

void Load(TDrawPanel& p, const QByteArray& text, int mode = dlmDocument)
{
    TMemoryStream stream(text);
    auto filer = p.CreateFiler(stream, dfpLoading);
    p.LoadFromFiler(*filer, mode);
}

// The document the program ships, as bytes.
QByteArray VemorText()
{
    QFile f(QStringLiteral(VEMOR_SOURCE_DATA_DIR "/schemes/vemor.sch"));
    if (!f.open(QIODevice::ReadOnly))
        return {};
    return f.readAll();
}

// text with its one occurrence of from replaced by to; empty when from is not there once.
QByteArray ChangedOnce(const QByteArray& text, const QByteArray& from, const QByteArray& to)
{
    const qsizetype at = text.indexOf(from);
    if (at < 0 || text.indexOf(from, at + 1) >= 0)
        return {};
    QByteArray r = text;
    r.replace(at, from.size(), to);
    return r;
}

class ReaderTest : public ::testing::Test {
protected:
    // Loads text as the program loads its scheme file.
    void LoadFile(const QByteArray& text)
    {
        ASSERT_TRUE(dir.isValid());
        const QString path = dir.filePath(QStringLiteral("vemor.sch"));
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(text);
        f.close();
        panel.LoadFromFile(path);
    }
    TDrawBox* AddBox(const QString& name, int l, int t, int w, int h)
    {
        auto* box = static_cast<TDrawBox*>(
            panel.CreateControl(TDrawBox::StaticClass(), l, t, w, h, nullptr, nullptr, false));
        box->SetName(name);
        return box;
    }
    // Paints the whole client area: reads every control the panel would show.
    void Paint()
    {
        panel.resize(400, 300);
        const QImage img = panel.RenderClient();
        EXPECT_FALSE(img.isNull());
    }

    QTemporaryDir dir;
    TDrawPanel panel;
};

// A box with every kind of value: plain, quoted, list, complex, reference.
TDrawBox* SampleBox(ReaderTest&, TDrawBox* box)
{
    box->SetID(4000000000u);
    box->TagProp()->SetValue(-7);
    box->HintProp()->SetLines({"first", "it's"});
    box->UserDataProp()->SetLines({"a b"});
    box->BrushProp()->SetColor(clRed);
    box->BrushProp()->SetBrushStyle(bsClear);
    box->PenProp()->SetWidth(3000);
    return box;
}

}  // namespace

TEST_F(ReaderTest, GoldenDocumentByteForByte)
{
    panel.Schemes()->SetName("Vemor");
    SampleBox(*this, AddBox("Box1", 1000, -2500, 20000, 10000));
    auto* text = static_cast<TDrawText*>(
        panel.CreateControl(TDrawText::StaticClass(), 0, 0, 5000, 5000, nullptr, nullptr, false));
    text->SetName("t");
    text->FontProp()->SetFontStyle(TFontStyles{fsBold, fsItalic});
    text->TextProp()->SetLines({"x = y"});
    const QByteArray golden = Crlf(R"(document Vemor
  Height = 240000
  ID = 1
  Version = 130
  Width = 320000
  object Layer1: TDrawLayer
    ID = 3
    Visible = True
  end
  object Scheme1: TDrawScheme
    property Brush
      Color = 16777215
    end
    Default = True
    ID = 2
    object Box1: TDrawBox
      property Brush
        Color = 255
        Style = bsClear
      end
      Height = 10000
      Hint = (
        'first'
        'it's' )
      ID = -294967296
      Layer = Layer1
      Left = 1000
      property Pen
        Width = 3000
      end
      Tag = -7
      Top = -2500
      UserData = (
        'a b' )
      Width = 20000
    end
    object t: TDrawText
      property Font
        Name = Arial
        Size = 8250
        Style = [fsBold,fsItalic]
      end
      Height = 5000
      ID = 4
      Layer = Layer1
      Left = 0
      Text = (
        'x = y' )
      Top = 0
      Width = 5000
    end
  end
end
)");
    EXPECT_EQ(Saved(panel).toStdString(), golden.toStdString());
}

TEST_F(ReaderTest, WriteReadWriteIsIdentical)
{
    SampleBox(*this, AddBox("Box1", 1000, -2500, 20000, 10000));
    auto* curve = static_cast<TDrawCurve*>(
        panel.CreateControl(TDrawCurve::StaticClass(), 0, 0, 0, 0, nullptr, nullptr, false));
    curve->SetName("c");
    curve->SetPointsEx({TPoint(0, 0), TPoint(5000, 0), TPoint(5000, 5000)}, {0, 0, 1});
    const QByteArray first = Saved(panel);
    TDrawPanel copy;
    Load(copy, first);
    TDrawControl* box = copy.FindControl("Box1");
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(box->GetID(), 4000000000u);
    EXPECT_EQ(box->HintProp()->Strings(), (QStringList{"first", "it's"}));
    EXPECT_EQ(box->Layer(), copy.Layers()->GetLayer(0));
    ASSERT_NE(copy.FindControl("c"), nullptr);
    EXPECT_EQ(copy.FindControl("c")->GetPointCount(), 3);
    EXPECT_EQ(Saved(copy), first);
}

TEST_F(ReaderTest, AcceptsEveryLineEndAndEmptyListAndDataForms)
{
    SampleBox(*this, AddBox("Box1", 1000, 2000, 3000, 4000));
    const QByteArray crlf = Saved(panel);
    for (const char* end : {"\n", "\r", "\n\r"}) {
        QByteArray text = crlf;
        text.replace("\r\n", end);
        TDrawPanel copy;
        Load(copy, text);
        EXPECT_EQ(Saved(copy), crlf) << "line end " << int(end[0]);
    }

    Load(panel, Crlf("document D\n"
                     "  object L: TDrawLayer\n  end\n"
                     "  object S: TDrawScheme\n"
                     "    object B: TDrawBox\n      Hint = ( )\n      Layer = L\n    end\n"
                     "  end\nend\n"));
    ASSERT_NE(panel.FindControl("B"), nullptr);
    EXPECT_EQ(panel.FindControl("B")->HintProp()->GetCount(), 0);
}

TEST_F(ReaderTest, SkipsUnknownNamesLibrariesAndClasses)
{
    Load(panel, Crlf("document Document\n"
                     "  Nonsense = 5\n"
                     "  Width = 120000\n"
                     "  library Lib\n"
                     "    object X: TDrawLayer\n"
                     "    end\n"
                     "  end\n"
                     "  object L: TDrawLayer\n"
                     "  end\n"
                     "  object S: TDrawScheme\n"
                     "    library Inner\n"
                     "      object Y: TDrawBox\n"
                     "        Layer = L\n"
                     "      end\n"
                     "      Left = 99\n"
                     "    end\n"
                     "    object Thing: TUnknownShape\n"
                     "      object Inner: TDrawBox\n"
                     "      end\n"
                     "    end\n"
                     "    object NoColon TDrawBox\n"
                     "    end\n"
                     "    object B: TDRAWBOX\n"
                     "      property Nothing\n"
                     "        A = 1\n"
                     "      end\n"
                     "      property Brush\n"
                     "        Unknown = 3\n"
                     "        Color = 65280\n"
                     "      end\n"
                     "      Hint = (\n"
                     "        'one'\n"
                     "        not quoted\n"
                     "        'two' )\n"
                     "      Strange = (abc\n"
                     "      Odd = {\n"
                     "        ZZ-not-hex }\n"
                     "      Left = 7000\n"
                     "      Layer = L\n"
                     "    end\n"
                     "  end\n"
                     "  Version = 131\n"
                     "end\n"));
    EXPECT_EQ(panel.DocWidth(), 120000);
    EXPECT_EQ(panel.Schemes()->Prop("Version")->GetPropValue("").AsInteger(), 130) << "read-only";
    EXPECT_EQ(panel.Layers()->GetCount(), 1) << "nothing inside a library is read";
    EXPECT_EQ(panel.FindControl("X"), nullptr);
    EXPECT_EQ(panel.FindControl("Y"), nullptr);
    EXPECT_EQ(panel.FindControl("Inner"), nullptr);
    ASSERT_NE(panel.FindControl("S"), nullptr);
    EXPECT_EQ(panel.FindControl("S")->GetCount(), 1);
    auto* b = dynamic_cast<TDrawBox*>(panel.FindControl("B"));
    ASSERT_NE(b, nullptr) << "a library block does not end the document or the object";
    EXPECT_EQ(b->BrushProp()->Color(), TColor(65280));
    EXPECT_EQ(b->HintProp()->Strings(), (QStringList{"one", "two"}));
    EXPECT_EQ(b->GetLeft(), 7000);
    EXPECT_EQ(b->Layer(), panel.FindControl("L"));
}

TEST_F(ReaderTest, EmptyStreamIsAnEmptyDocument)
{
    AddBox("Old", 0, 0, 1000, 1000);
    EXPECT_NO_THROW(Load(panel, QByteArray()));
    EXPECT_EQ(panel.FindControl("Old"), nullptr);
    EXPECT_EQ(panel.Schemes()->GetCount(), 0);
    EXPECT_EQ(panel.Layers()->GetCount(), 0);
    EXPECT_EQ(panel.ActiveScheme(), nullptr);
    Paint();
}

TEST_F(ReaderTest, BadFirstLineLeavesTheOpenDocument)
{
    AddBox("Old", 0, 0, 1000, 1000);
    for (const char* text : {"objects\r\nend\r\n", "hello\r\nend\r\n", "clipboard\r\nend\r\n", "\tdocument\r\n"}) {
        try {
            Load(panel, text);
            ADD_FAILURE() << text;
        } catch (const Exception& e) {
            EXPECT_EQ(e.Message(), "Data format error");
        }
        EXPECT_NE(panel.FindControl("Old"), nullptr) << text;
        EXPECT_FALSE(panel.IsLoading());
    }
    // a clipboard fragment where a document is pasted in: refused before the selection goes
    panel.SelectControl(panel.FindControl("Old"));
    EXPECT_THROW(Load(panel, "nothing\r\n", dlmClipboard), EDrawFormatError);
    EXPECT_EQ(panel.SelectedCount(), 1);
}

TEST_F(ReaderTest, BadValuesReachTheCaller)
{
    const char* const bad[] = {
        "document D\n  object L: TDrawLayer\n  end\n  object S: TDrawScheme\n    object B: TDrawBox\n"
        "      Layer = L\n      Left = abc\n    end\n  end\nend\n",
        "document D\n  object L: TDrawLayer\n  end\n  object S: TDrawScheme\n    object C: TDrawCurve\n"
        "      Layer = L\n      Points = {\n        0G }\n    end\n  end\nend\n",
    };
    for (const char* text : bad) {
        EXPECT_THROW(Load(panel, Crlf(text)), Exception);
        EXPECT_FALSE(panel.IsLoading());
        EXPECT_EQ(panel.FindControl("B"), nullptr) << "the control whose block failed is freed";
        EXPECT_EQ(panel.FindControl("C"), nullptr);
        EXPECT_EQ(panel.FindControl("S"), nullptr) << "and so is each one around it";
        EXPECT_NE(panel.FindControl("L"), nullptr) << "what was read before stays";
        Paint();
    }
}

TEST_F(ReaderTest, BlankLineEndsTheDocumentAndTheBody)
{
    Load(panel, Crlf("document D\n  object L: TDrawLayer\n  end\n  object S: TDrawScheme\n    object A: TDrawBox\n"
                     "      Layer = L\n      Left = 1000\n\n      Top = 5000\n    end\n  end\nend\n"));
    ASSERT_NE(panel.FindControl("A"), nullptr);
    EXPECT_EQ(panel.FindControl("A")->GetLeft(), 1000);
    EXPECT_EQ(panel.FindControl("A")->GetTop(), 0) << "the blank line ended the body";

    Load(panel, Crlf("document D\n  object L: TDrawLayer\n  end\n\n  object S: TDrawScheme\n  end\nend\n"));
    EXPECT_NE(panel.FindControl("L"), nullptr);
    EXPECT_EQ(panel.FindControl("S"), nullptr) << "the blank line ended the document";
    EXPECT_EQ(panel.Schemes()->GetCount(), 0);
}

TEST_F(ReaderTest, TheLastLineOfTheDataIsNotUsed)
{
    // the line that comes with the end of the data is never a line of the document
    Load(panel, "document D\r\n  Width = 500000\r\n  Height = 7000");
    EXPECT_EQ(panel.DocWidth(), 500000);
    EXPECT_EQ(panel.DocHeight(), 240000);
    Load(panel, "document D\r\n  Width = 400000");
    EXPECT_EQ(panel.DocWidth(), 500000);

    // a document without its final "end" loads the same as one with it
    const QByteArray full = Crlf("document D\n  object L: TDrawLayer\n  end\n  object S: TDrawScheme\n"
                                 "    object B: TDrawBox\n      Layer = L\n    end\n  end\nend\n");
    TDrawPanel withEnd;
    TDrawPanel withoutEnd;
    Load(withEnd, full);
    Load(withoutEnd, full.left(full.size() - 5));
    EXPECT_NE(withEnd.FindControl("B"), nullptr);
    EXPECT_EQ(Saved(withoutEnd).toStdString(), Saved(withEnd).toStdString());
}

TEST_F(ReaderTest, TabsAreNotIndentationAndUnknownValuesSwallowNothing)
{
    Load(panel, Crlf("document D\n  object L: TDrawLayer\n  end\n  object S: TDrawScheme\n    object B: TDrawBox\n"
                     "      Layer = L\n"
                     "      property Brush\n\tend\n        Color = 5\n      end\n"
                     "      Nonsense = (abc\n      Left = 5000\n      Junk = {\n      0A0B\n      Top = 7000\n"
                     "    end\n  end\nend\n"));
    auto* b = dynamic_cast<TDrawBox*>(panel.FindControl("B"));
    ASSERT_NE(b, nullptr);
    EXPECT_EQ(b->BrushProp()->Color(), TColor(5)) << "a tab-indented end does not close the block";
    EXPECT_EQ(b->GetLeft(), 5000);
    EXPECT_EQ(b->GetTop(), 7000);
    EXPECT_EQ(b->Layer(), panel.FindControl("L"));
}

TEST_F(ReaderTest, DeepNestingIsRefusedWithTheFormatError)
{
    // the scheme, groups inside each other, and a box in the innermost one
    auto nested = [](int groups) {
        QByteArray text = "document D\r\n  object L: TDrawLayer\r\n  end\r\n  object S: TDrawScheme\r\n";
        for (int i = 0; i < groups; ++i)
            text += "object G: TDrawGroup\r\nLayer = L\r\n";
        text += "object B: TDrawBox\r\nLayer = L\r\nWidth = 3000\r\nend\r\n";
        for (int i = 0; i < groups; ++i)
            text += "end\r\n";
        return text + "  end\r\nend\r\n";
    };
    Load(panel, nested(990));
    ASSERT_NE(panel.FindControl("B"), nullptr);
    EXPECT_EQ(panel.FindControl("B")->GetWidth(), 3000);
    Paint();

    // 1001 levels and 100 000 levels
    for (int groups : {999, 100000}) {
        try {
            Load(panel, nested(groups));
            ADD_FAILURE() << groups << " levels loaded";
        } catch (const Exception& e) {
            EXPECT_EQ(e.Message(), "Data format error");
        }
        EXPECT_FALSE(panel.IsLoading());
        EXPECT_EQ(panel.FindControl("B"), nullptr);
        EXPECT_NE(panel.FindControl("L"), nullptr);
        Paint();
    }
}

TEST_F(ReaderTest, ReferencesWaitForTheWholeDocument)
{
    // the layer comes after the controls that name it
    Load(panel, Crlf("document D\n  object S: TDrawScheme\n    object A: TDrawBox\n      Layer = L2\n    end\n"
                     "  end\n  object L1: TDrawLayer\n  end\n  object L2: TDrawLayer\n  end\nend\n"));
    ASSERT_NE(panel.FindControl("A"), nullptr);
    EXPECT_EQ(panel.FindControl("A")->Layer(), panel.FindControl("L2"));
    EXPECT_EQ(panel.PropRefList().Count(), 0);
}

// vemor.sch with the end of its layer missing: the scheme lands inside the layer, is refused
// and freed. The panel must not keep it as its active scheme.
TEST_F(ReaderTest, RefusedSchemeIsNotKeptAsTheActiveOne)
{
    const QByteArray text =
        ChangedOnce(VemorText(), "    Visible = True\r\n  end\r\n  object Starter", "    Visible = True\r\n  object Starter");
    ASSERT_FALSE(text.isEmpty());
    LoadFile(text);
    EXPECT_EQ(panel.Schemes()->GetCount(), 0);
    EXPECT_EQ(panel.ActiveScheme(), nullptr);
    EXPECT_EQ(panel.Layers()->GetCount(), 1);
    Paint();

    // the same inside a clipboard fragment and a document made of nothing else
    Load(panel, Crlf("document D\n  object L: TDrawLayer\n    object S: TDrawScheme\n    end\n  end\nend\n"));
    EXPECT_EQ(panel.ActiveScheme(), nullptr);
    Paint();
    TDrawPanel fresh;
    Load(fresh, Crlf("document D\n  object L: TDrawLayer\n  end\n  object S: TDrawScheme\n"
                     "    object Inner: TDrawScheme\n    end\n    object Lx: TDrawLayer\n    end\n  end\nend\n"));
    ASSERT_NE(fresh.ActiveScheme(), nullptr);
    EXPECT_EQ(fresh.ActiveScheme()->GetName(), "S");
    EXPECT_EQ(fresh.ActiveLayer(), fresh.FindControl("L"));
    fresh.resize(300, 200);
    EXPECT_FALSE(fresh.RenderClient().isNull());

    // whatever made them active, a scheme and a layer freed outside the document are forgotten
    auto* looseScheme = TDrawControl::Create<TDrawScheme>(&fresh, nullptr, nullptr);
    auto* looseLayer = TDrawControl::Create<TDrawLayer>(&fresh, nullptr, nullptr);
    fresh.SetActiveScheme(looseScheme);
    fresh.SetActiveLayer(looseLayer);
    looseScheme->Free();
    looseLayer->Free();
    EXPECT_EQ(fresh.ActiveScheme(), nullptr);
    EXPECT_EQ(fresh.ActiveLayer(), nullptr);
    EXPECT_FALSE(fresh.RenderClient().isNull());
}

// vemor.sch with a second layer of the same name whose Name line is empty: the empty name
// reverts to a name that is itself taken.
TEST_F(ReaderTest, DuplicateLayerWithAnEmptyNameLoads)
{
    const QByteArray text = ChangedOnce(VemorText(), "    Visible = True\r\n  end\r\n",
                                        "    Visible = True\r\n  end\r\n  object Scheme: TDrawLayer\r\n"
                                        "    Name = \r\n  end\r\n");
    ASSERT_FALSE(text.isEmpty());
    LoadFile(text);
    ASSERT_EQ(panel.Layers()->GetCount(), 2);
    EXPECT_FALSE(panel.Layers()->GetLayer(1)->GetName().isEmpty());
    ASSERT_NE(panel.FindControl("txtA"), nullptr);
    EXPECT_EQ(panel.FindControl("txtA")->Layer(), panel.Layers()->GetLayer(0));
    Paint();

    // a layer renamed to nothing, or to the other's name, keeps its own
    TDrawLayer* second = panel.Layers()->GetLayer(1);
    second->SetName("Other");
    second->SetName("");
    EXPECT_EQ(second->GetName(), "Other");
    second->SetName("Scheme");
    EXPECT_EQ(second->GetName(), "Other");
}

// vemor.sch with a control's Layer written as a list: the deferred assignment at the end of
// the load fails, and the failure reaches the caller instead of ending the program.
TEST_F(ReaderTest, LayerWrittenAsAListIsAnErrorForTheCaller)
{
    const QByteArray source = VemorText();
    const qsizetype at = source.indexOf("      Layer = Scheme\r\n");
    ASSERT_GE(at, 0);
    QByteArray text = source;
    text.replace(at, 22, "      Layer = (\r\n        'Scheme' )\r\n");
    EXPECT_THROW(LoadFile(text), Exception);
    EXPECT_FALSE(panel.IsLoading());
    EXPECT_EQ(panel.PropRefList().Count(), 0) << "nothing stays queued for the next read";
    ASSERT_NE(panel.FindControl("txtA"), nullptr);
    EXPECT_EQ(panel.FindControl("txtA")->Layer(), nullptr);
    ASSERT_NE(panel.FindControl("txtB"), nullptr);
    EXPECT_EQ(panel.FindControl("txtB")->Layer(), panel.Layers()->GetLayer(0)) << "the others are assigned";
    Paint();

    // the same inside a pasted fragment and a dragged group
    Load(panel, source);
    EXPECT_THROW(Load(panel, Crlf("clipboard\n  object P: TDrawBox\n    Layer = (\n      'Scheme' )\n  end\nend\n"),
                      dlmClipboard),
                 Exception);
    EXPECT_FALSE(panel.IsLoading());
    Paint();
}

TEST_F(ReaderTest, ShippedDocumentLoads)
{
    const QByteArray text = VemorText();
    ASSERT_FALSE(text.isEmpty());
    EXPECT_FALSE(text.contains("\r\n\r\n")) << "a blank line would end the document";
    LoadFile(text);
    EXPECT_EQ(panel.Schemes()->GetName(), "Vemor");
    ASSERT_NE(panel.ActiveScheme(), nullptr);
    EXPECT_EQ(panel.ActiveScheme()->GetName(), "Starter");
    ASSERT_NE(panel.FindControl("txtA"), nullptr);
    EXPECT_EQ(panel.FindControl("txtA")->Layer(), panel.Layers()->GetLayer(0));
}

// Arbitrary text built from the format's own pieces only ever fails with an exception, and
// the panel stays usable (ASan and leak checks watch the rest).
TEST_F(ReaderTest, ArbitraryTextOnlyEverFailsWithAnException)
{
    const char* const pieces[] = {"document D", "object A: TDrawBox", "object L: TDrawLayer", "object S: TDrawScheme",
                                  "object G: TDrawGroup", "object C: TDrawConnector", "object", "end", "",
                                  "property Brush", "property Font", "Color = 5", "Left = 1000", "Hint = (", "'x'",
                                  "'y' )", "Points = {", "0A0B", "0C }", "{ }", "( )", "Style = [fsBold", "Size = 9",
                                  "Bitmap = {", "FF }", "ID = -1", "ID = 3", "Layer = L", "Layer = (", "'L' )",
                                  "Name = ", "Reference = \\2", "LinkA = \\3:A", "Default = True", "  ", "=",
                                  "library L", "\t", "clipboard"};
    const char* const ends[] = {"\r\n", "\n", "\r", "\n\r"};
    uint32_t seed = 5;
    auto next = [&seed](int range) {
        seed = seed * 1664525u + 1013904223u;
        return int((seed >> 8) % uint32_t(range));
    };
    for (int round = 0; round < 400; ++round) {
        QByteArray text = round % 2 ? "document D\r\n" : "";
        const int lines = next(40);
        for (int i = 0; i < lines; ++i)
            text += QByteArray(next(4), ' ') + pieces[next(int(std::size(pieces)))] + ends[next(4)];
        try {
            Load(panel, text, round % 3 == 0 ? dlmClipboard : dlmDocument);
        } catch (const Exception&) {
            // a bad first line, bad hex, a bad number or a bad reference: reported, nothing worse
        }
        ASSERT_FALSE(panel.IsLoading());
        if (round % 20 == 0)
            Paint();
    }
}

TEST_F(ReaderTest, PictureFrameIndexSurvivesSaveAndLoad)
{
    for (int frame : {0, 1, 2}) {
        TDrawPanel source;
        auto* pic = static_cast<TDrawPicture*>(
            source.CreateControl(TDrawPicture::StaticClass(), 0, 0, 5000, 5000, nullptr, nullptr, false));
        pic->SetName("p");
        pic->Prop("FrameIndex")->SetPropValue("", Variant(frame));
        const QByteArray text = Saved(source);
        EXPECT_EQ(text.contains("FrameIndex"), frame != 0) << frame;
        Load(panel, text);
        ASSERT_NE(panel.FindControl("p"), nullptr);
        EXPECT_EQ(panel.FindControl("p")->Prop("FrameIndex")->GetPropValue("").AsInteger(), frame);
    }
}

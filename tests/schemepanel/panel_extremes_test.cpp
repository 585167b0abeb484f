// Documents with values at the ends of the 32-bit range: they load, paint at any scale, are hit
// tested and saved without undefined behaviour (the sanitizers of the test build stop at the
// first signed overflow), and what they hold survives a save and a load.
#include "panel_fixture.h"

#include "scheme/drawcurves.h"
#include "scheme/drawlinks.h"
#include "scheme/drawtext.h"

#include <QScrollBar>

namespace {

// Every kind of shape at the edges of the coordinate range: sums of position and size, of pen
// width and margin, of point extents and of angles all leave 32 bits.
const char* const kExtremeDocument =
    "document Document\r\n"
    "  Height = 2147483647\r\n"
    "  ID = 1\r\n"
    "  Version = 130\r\n"
    "  Width = 2147483647\r\n"
    "  object Layer1: TDrawLayer\r\n"
    "    ID = 2\r\n"
    "    Visible = True\r\n"
    "  end\r\n"
    "  object Scheme1: TDrawScheme\r\n"
    "    Default = True\r\n"
    "    ID = 3\r\n"
    "    object farBox: TDrawBox\r\n"
    "      property Brush\r\n"
    "        Color = 255\r\n"
    "      end\r\n"
    "      Height = 2147483647\r\n"
    "      ID = 4\r\n"
    "      Layer = Layer1\r\n"
    "      Left = 2147483000\r\n"
    "      property Pen\r\n"
    "        Width = 2147483647\r\n"
    "      end\r\n"
    "      Roundness = 2147483647\r\n"
    "      Top = 2147483000\r\n"
    "      Width = 2147483647\r\n"
    "    end\r\n"
    "    object wideBox: TDrawBox\r\n"
    "      Height = 2147483647\r\n"
    "      ID = 5\r\n"
    "      Layer = Layer1\r\n"
    "      Left = -2147483648\r\n"
    "      property Pen\r\n"
    "        Width = 2147483647\r\n"
    "      end\r\n"
    "      Top = -2147483648\r\n"
    "      Width = 2147483647\r\n"
    "    end\r\n"
    "    object hugeBox: TDrawBox\r\n"
    "      property Brush\r\n"
    "        Method = bmGradient\r\n"
    "        GradStyle = gsElliptic\r\n"
    "        GradBeginColor = 255\r\n"
    "        GradEndColor = 16711680\r\n"
    "      end\r\n"
    "      Height = 2000000000\r\n"
    "      ID = 15\r\n"
    "      Layer = Layer1\r\n"
    "      Left = -1000000000\r\n"
    "      Roundness = 1000000\r\n"
    "      Top = -1000000000\r\n"
    "      Width = 2000000000\r\n"
    "    end\r\n"
    "    object hugeEllipse: TDrawEllipse\r\n"
    "      property Brush\r\n"
    "        Method = bmGradient\r\n"
    "        GradStyle = gsHorizontal\r\n"
    "      end\r\n"
    "      Height = 2000000000\r\n"
    "      ID = 16\r\n"
    "      Layer = Layer1\r\n"
    "      Left = -1000000000\r\n"
    "      Top = -1000000000\r\n"
    "      Width = 2000000000\r\n"
    "    end\r\n"
    "    object farEllipse: TDrawEllipse\r\n"
    "      Height = 2147483647\r\n"
    "      ID = 6\r\n"
    "      Layer = Layer1\r\n"
    "      Left = -2147483648\r\n"
    "      property Pen\r\n"
    "        Width = -2147483648\r\n"
    "      end\r\n"
    "      Top = 100000\r\n"
    "      Width = 2147483647\r\n"
    "    end\r\n"
    "    object turnedText: TDrawText\r\n"
    "      Angle = 2147483647\r\n"
    "      Height = 20000\r\n"
    "      ID = 7\r\n"
    "      Layer = Layer1\r\n"
    "      Left = 2147480000\r\n"
    "      property Pen\r\n"
    "        Width = 2147483647\r\n"
    "      end\r\n"
    "      Text = (\r\n"
    "        'far' )\r\n"
    "      Top = 10000\r\n"
    "      Width = 2147483647\r\n"
    "    end\r\n"
    "    object bigText: TDrawText\r\n"
    "      AutoSize = True\r\n"
    "      property Font\r\n"
    "        Height = -2147483647\r\n"
    "      end\r\n"
    "      Grayed = True\r\n"
    "      Height = 20000\r\n"
    "      ID = 17\r\n"
    "      Layer = Layer1\r\n"
    "      Layout = Center\r\n"
    "      Left = 10000\r\n"
    "      Text = (\r\n"
    "        'big' )\r\n"
    "      Top = 10000\r\n"
    "      Width = 50000\r\n"
    "    end\r\n"
    "    object negText: TDrawText\r\n"
    "      Angle = -2147483648\r\n"
    "      Height = 20000\r\n"
    "      ID = 8\r\n"
    "      Layer = Layer1\r\n"
    "      Left = 10000\r\n"
    "      Text = (\r\n"
    "        'near' )\r\n"
    "      Top = 10000\r\n"
    "      Width = 50000\r\n"
    "    end\r\n"
    "    object spanCurve: TDrawCurve\r\n"
    "      property EndCap\r\n"
    "        CapStyle = 3\r\n"
    "      end\r\n"
    "      ID = 9\r\n"
    "      Layer = Layer1\r\n"
    "      PathPoints = {\r\n"
    "        020000000000008000000080FFFFFF7FFFFFFF7F0001 }\r\n"
    "      property Pen\r\n"
    "        Width = 2147483647\r\n"
    "      end\r\n"
    "    end\r\n"
    "    object bentCurve: TDrawCurve\r\n"
    "      ID = 10\r\n"
    "      Layer = Layer1\r\n"
    "      Left = 2147483647\r\n"
    "      PathPoints = {\r\n"
    "        0400000000000080000000FFFFFF7F0000008000000080FFFFFF7FFFFFFF7F\r\n"
    "        0000000000030301 }\r\n"
    "      Top = -2147483648\r\n"
    "    end\r\n"
    "    object spanConnector: TDrawConnector\r\n"
    "      ID = 11\r\n"
    "      Layer = Layer1\r\n"
    "      PathPoints = {\r\n"
    "        030000000000008000000080FFFFFF7F00000080FFFFFF7FFFFFFF7F000001 }\r\n"
    "    end\r\n"
    "    object linkedConnector: TDrawConnector\r\n"
    "      ID = 14\r\n"
    "      Layer = Layer1\r\n"
    "      LinkA = \\4:farBox\r\n"
    "      LinkB = \\5:wideBox\r\n"
    "    end\r\n"
    "    object farGroup: TDrawGroup\r\n"
    "      Height = 2147483647\r\n"
    "      ID = 12\r\n"
    "      Layer = Layer1\r\n"
    "      Left = 2147483647\r\n"
    "      Top = 2147483647\r\n"
    "      Width = 2147483647\r\n"
    "      object inner: TDrawBox\r\n"
    "        Height = 2147483647\r\n"
    "        ID = 13\r\n"
    "        Layer = Layer1\r\n"
    "        Left = 2147483647\r\n"
    "        Top = 2147483647\r\n"
    "        Width = 2147483647\r\n"
    "      end\r\n"
    "    end\r\n"
    "  end\r\n"
    "end\r\n";

}  // namespace

class ExtremesTest : public PanelTest {
protected:
    void SetUp() override
    {
        MakePanel(320, 240);
        panel->SetDesigning(true);
    }
};

TEST_F(ExtremesTest, DocumentWithValuesAtTheRangeEndsLoadsPaintsAndSaves)
{
    LoadDocument(*panel, kExtremeDocument);
    ASSERT_NE(panel->FindControl("farBox"), nullptr);
    ASSERT_NE(panel->FindControl("inner"), nullptr);
    EXPECT_EQ(panel->FindControl("hugeBox")->Prop("Brush")->GetPropValue("Method").AsString(), "bmGradient");
    auto* text = dynamic_cast<TDrawText*>(panel->FindControl("turnedText"));
    ASSERT_NE(text, nullptr);

    // painted at the smallest, the usual and the largest scale, from both ends of the range
    for (int scale : {1, 100, 50000}) {
        panel->SetScale(scale);
        EXPECT_FALSE(panel->RenderClient().isNull());
    }
    // a document as large as it gets, scrolled to its far corner and zoomed to fit
    panel->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    panel->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    for (int scale : {1, 100, 50000}) {
        panel->SetScale(scale);
        QCoreApplication::processEvents();
        panel->horizontalScrollBar()->setValue(panel->horizontalScrollBar()->maximum());
        panel->verticalScrollBar()->setValue(panel->verticalScrollBar()->maximum());
        EXPECT_FALSE(panel->RenderClient().isNull());
        const TRect all(INT_MIN, INT_MIN, INT_MAX, INT_MAX);
        panel->ZoomTo(scale, &all);
    }
    panel->SetAutoZoom(true);
    EXPECT_FALSE(panel->RenderClient().isNull());
    panel->SetAutoZoom(false);
    panel->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    panel->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    panel->SetScale(100);
    QImage image(320, 240, QImage::Format_RGB32);
    for (const TPoint origin : {TPoint{0, 0}, TPoint{-1000000, -1000000}, TPoint{INT_MAX - 320, INT_MAX - 240}}) {
        TCanvas canvas(&image);
        panel->PaintTo(canvas, TRect(0, 0, 320, 240), false, false, true, false, false, true, nullptr, 50000, origin);
        canvas.Release();
    }

    // the mouse over them, a click that selects, the markers of the selection
    Hover(10, 10);
    Click(10, 10);
    for (const char* name : {"farBox", "turnedText", "spanCurve", "bentCurve", "spanConnector", "farGroup"})
        panel->SelectControl(panel->FindControl(name));
    EXPECT_FALSE(panel->RenderClient().isNull());
    panel->UnselectAll();

    // the mouse on them: a rubber band over everything, a resize by a marker, point editing
    Press(300, 230, Qt::ControlModifier);
    Drag(2, 2, Qt::ControlModifier);
    Release(2, 2, Qt::ControlModifier);
    panel->SelectControl(panel->FindControl("farBox"));
    panel->SelectControl(panel->FindControl("wideBox"));
    const TRect bounds = panel->FindControl("wideBox")->GetPixelRect();
    Hover(bounds.Right, bounds.Bottom);
    Press(bounds.Right, bounds.Bottom);
    Drag(bounds.Right + 5, bounds.Bottom + 5, Qt::ControlModifier);
    Drag(bounds.Right - 50, bounds.Bottom - 40);
    Release(bounds.Right - 50, bounds.Bottom - 40);
    for (const char* name : {"spanCurve", "bentCurve", "spanConnector"}) {
        panel->UnselectAll();
        panel->SelectControl(panel->FindControl(name));
        panel->SetToolMode(tmPointEdit);
        for (const TPoint at : {TPoint{10, 10}, TPoint{160, 120}, TPoint{319, 0}}) {
            Hover(at.x, at.y, Qt::ControlModifier);
            Click(at.x, at.y, Qt::ControlModifier);
            Hover(at.x, at.y);
            Press(at.x, at.y);
            Drag(at.x + 7, at.y + 3, Qt::ShiftModifier);
            Release(at.x + 7, at.y + 3);
        }
        EXPECT_FALSE(panel->RenderClient().isNull());
        panel->SetToolMode(tmSelect);
    }
    panel->UnselectAll();

    // editing them: a move, a quarter turn, a resize through the group, a box made a curve
    auto* linked = dynamic_cast<TDrawConnector*>(panel->FindControl("linkedConnector"));
    ASSERT_NE(linked, nullptr);
    EXPECT_EQ(linked->LinkA()->LinkedControl(), panel->FindControl("farBox"));
    EXPECT_EQ(linked->LinkB()->LinkedControl(), panel->FindControl("wideBox"));
    for (const char* name : {"farBox", "wideBox", "farEllipse", "turnedText", "bentCurve", "farGroup"})
        panel->SelectControl(panel->FindControl(name));
    panel->MoveSelected(INT_MAX, INT_MIN);
    TRotationInfo turn;
    turn.CenterX = INT_MAX;
    turn.CenterY = INT_MIN;
    turn.Angle = 90;
    panel->RotateSelected(turn);
    turn.Mirror = true;
    panel->RotateSelected(turn);
    panel->FindControl("farGroup")->SetWidth(1);
    panel->FindControl("farGroup")->SetWidth(INT_MAX);
    panel->UnselectAll();
    TDrawControl* asCurve = panel->FindControl("farBox")->CreateCurveControl();
    ASSERT_NE(asCurve, nullptr);
    asCurve->SetName("farBoxCurve");
    EXPECT_FALSE(panel->RenderClient().isNull());
    // the text was loaded with its angle as the document gave it
    LoadDocument(*panel, kExtremeDocument);
    text = dynamic_cast<TDrawText*>(panel->FindControl("turnedText"));
    ASSERT_NE(text, nullptr);

    // what was read is what is written, and read again the same
    const QByteArray saved = SaveDocument(*panel);
    TDrawPanel other;
    LoadDocument(other, saved);
    EXPECT_EQ(SaveDocument(other), saved);
    TDrawControl* far = other.FindControl("farBox");
    ASSERT_NE(far, nullptr);
    EXPECT_EQ(far->GetLeft(), 2147483000);
    EXPECT_EQ(far->GetWidth(), INT_MAX);
    EXPECT_EQ(far->Prop("Pen")->GetPropValue("Width").AsInteger(), INT_MAX);
    // a rotation of the turned text keeps its angle within a turn
    TRotationInfo quarter;
    quarter.Angle = 90;
    text->Rotate(quarter);
    const int angle = text->AngleProp()->GetValue();
    EXPECT_GE(angle, 0);
    EXPECT_LT(angle, 360);
}

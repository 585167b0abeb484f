#include "tests/liveview/vemor_scheme.h"

#include "app/enginecontrol.h"
#include "platform/streams.h"
#include "scheme/drawbase.h"
#include "scheme/drawcurves.h"
#include "scheme/drawpanel.h"
#include "scheme/drawprops2.h"
#include "scheme/drawshapes.h"
#include "scheme/drawtext.h"

#include <initializer_list>
#include <vector>

namespace {

// Coordinates below are pixels at 100 %; the document keeps thousandths.
constexpr int k = 1000;
constexpr int kPower = 2 * k;    // pen of the power circuit
constexpr int kControl = 1 * k;  // pen of the control circuit
constexpr TColor kSymbolGrey = TColor(0x808080);

struct Pt {
    int x, y;
};
using Figure = std::vector<Pt>;

class SchemeBuilder {
public:
    explicit SchemeBuilder(TDrawPanel& panel) : p_(panel) {}

    // Open polylines, one figure each, in one curve control.
    TDrawCurve* Lines(const QString& name, std::initializer_list<Figure> figures, int pen = kControl)
    {
        TPointArray points;
        TPointTypeArray types;
        for (const Figure& f : figures) {
            for (std::size_t i = 0; i < f.size(); ++i) {
                points.push_back(TPoint(f[i].x * k, f[i].y * k));
                types.push_back(i + 1 == f.size() ? ptOpenEnd : ptNode);
            }
        }
        auto* c = static_cast<TDrawCurve*>(p_.CreateControl(TDrawCurve::StaticClass(), 0, 0, 0, 0));
        c->SetName(name);
        c->SetPointsEx(points, types);
        c->PenProp()->SetWidth(pen);
        c->PenProp()->SetColor(clBlack);
        return c;
    }

    TDrawEllipse* Circle(const QString& name, int l, int t, int r, int b, TColor fill, int pen = kControl)
    {
        auto* c = static_cast<TDrawEllipse*>(
            p_.CreateControl(TDrawEllipse::StaticClass(), l * k, t * k, (r - l) * k, (b - t) * k));
        c->SetName(name);
        c->BrushProp()->SetColor(fill);
        c->BrushProp()->SetBrushStyle(bsSolid);
        c->PenProp()->SetWidth(pen);
        c->PenProp()->SetColor(clBlack);
        return c;
    }

    void Dot(const QString& name, int x, int y) { Circle(name, x - 2, y - 2, x + 3, y + 3, clBlack); }

    TDrawText* Text(const QString& name, const QString& text, int l, int t, int r, int b, int pixels = 11,
                    bool bold = false)
    {
        auto* c = static_cast<TDrawText*>(
            p_.CreateControl(TDrawText::StaticClass(), l * k, t * k, (r - l) * k, (b - t) * k));
        c->SetName(name);
        c->AutoSizeProp()->SetValue(false);
        c->FontProp()->SetName(QStringLiteral("Arial"));
        c->FontProp()->SetHeight(-pixels * k);
        c->FontProp()->SetFontStyle(bold ? TFontStyles{fsBold} : TFontStyles{});
        c->AlignmentProp()->SetEnumIndex(taCenter);
        c->LayoutProp()->SetEnumIndex(tlCenter);
        c->SetText(text);
        c->SetDocRect(TRect(l * k, t * k, r * k, b * k));
        return c;
    }

    // The brush the live view colours: a gradient from its begin colour to white.
    static void Gradient(TBrushProp* brush, TGradientStyle style)
    {
        brush->SetMethod(bmGradient);
        brush->SetGradStyle(style);
        brush->SetGradBeginColor(kSymbolGrey);
        brush->SetGradEndColor(clWhite);
    }

    // A make contact drawn across [left, right] on the horizontal wire at y: the fixed tick,
    // then the blade, closed or open.
    void HorizontalContact(const QString& closed, const QString& open, int left, int right, int y)
    {
        Lines(closed, {{{left, y}, {right, y}}, {{right, y - 6}, {right, y}}});
        Lines(open, {{{left, y}, {right + 1, y - 10}}, {{right, y - 6}, {right, y}}});
    }

private:
    TDrawPanel& p_;
};

}  // namespace

void BuildVemorScheme(TDrawPanel& panel)
{
    InitEngineControl();
    panel.NewDocument();
    panel.Schemes()->SetName(QStringLiteral("Vemor"));
    panel.Schemes()->SetWidth(340 * k);
    panel.Schemes()->SetHeight(240 * k);
    panel.ActiveScheme()->SetName(QStringLiteral("Starter"));
    panel.ActiveLayer()->SetName(QStringLiteral("Scheme"));
    if (auto* brush = dynamic_cast<TBrushProp*>(panel.ActiveScheme()->Prop(QStringLiteral("Brush"))))
        brush->SetColor(clBtnFace);

    SchemeBuilder b(panel);

    // ---- power circuit: phases A, B, C through the main contacts of K1 to the motor
    b.Text(QStringLiteral("txtA"), QStringLiteral("A"), 33, 2, 47, 15, 11, true);
    b.Text(QStringLiteral("txtB"), QStringLiteral("B"), 53, 2, 67, 15, 11, true);
    b.Text(QStringLiteral("txtC"), QStringLiteral("C"), 73, 2, 87, 15, 11, true);
    b.Lines(QStringLiteral("linPhases"),
            {{{40, 16}, {40, 70}}, {{60, 16}, {60, 70}}, {{80, 16}, {80, 70}},
             {{37, 70}, {43, 70}}, {{57, 70}, {63, 70}}, {{77, 70}, {83, 70}}},
            kPower);
    b.Lines(QStringLiteral("grpK1on"), {{{40, 96}, {40, 70}}, {{60, 96}, {60, 70}}, {{80, 96}, {80, 70}}}, kPower);
    b.Lines(QStringLiteral("grpK1off"), {{{40, 96}, {31, 73}}, {{60, 96}, {51, 73}}, {{80, 96}, {71, 73}}}, kPower);
    b.Text(QStringLiteral("txtK1main"), QStringLiteral("K1"), 88, 76, 108, 90);
    b.Lines(QStringLiteral("linMotor"), {{{40, 96}, {40, 171}}, {{60, 96}, {60, 162}}, {{80, 96}, {80, 171}}},
            kPower);
    TDrawEllipse* motor = b.Circle(QStringLiteral("ellEngine"), 32, 162, 88, 218, clWhite, kPower);
    SchemeBuilder::Gradient(motor->BrushProp(), gsElliptic);
    panel.CreateControl(TEngineControl::StaticClass(), 40 * k, 170 * k, 0, 0)->SetName(QStringLiteral("engEngine"));
    b.Text(QStringLiteral("txtM"), QStringLiteral("M"), 90, 184, 106, 198, 11, true);

    // ---- control supply from phase C, voltage lamp HL1 across supply and neutral
    b.Lines(QStringLiteral("linSupply"), {{{80, 30}, {250, 30}}});
    b.Dot(QStringLiteral("dotSupplyC"), 80, 30);
    b.Text(QStringLiteral("txtN"), QStringLiteral("N"), 319, 6, 333, 19, 11, true);
    b.Lines(QStringLiteral("linNeutral"), {{{326, 20}, {326, 205}}});
    b.Lines(QStringLiteral("linLamp1"), {{{250, 30}, {250, 44}}, {{250, 62}, {250, 74}, {326, 74}}});
    b.Dot(QStringLiteral("dotLamp1"), 326, 74);
    TDrawEllipse* aOn = b.Circle(QStringLiteral("grpAon"), 241, 44, 259, 62, clYellow);
    (void)aOn;
    b.Circle(QStringLiteral("grpAoff"), 241, 44, 259, 62, clWhite);
    b.Lines(QStringLiteral("crsLamp1"), {{{244, 47}, {256, 59}}, {{256, 47}, {244, 59}}});
    b.Text(QStringLiteral("txtHL1"), QStringLiteral("HL1"), 262, 46, 290, 60);

    // ---- the device: four watched contacts on its inputs, the coil of K1 on its output
    b.Lines(QStringLiteral("linBranch"), {{{110, 30}, {110, 205}}});
    b.Dot(QStringLiteral("dotBranch"), 110, 30);
    auto* device = static_cast<TDrawBox*>(panel.CreateControl(TDrawBox::StaticClass(), 250 * k, 78 * k, 40 * k, 74 * k));
    device->SetName(QStringLiteral("boxDevice"));
    device->BrushProp()->SetColor(clWhite);
    device->PenProp()->SetWidth(kControl);
    b.Text(QStringLiteral("txtDevice"), QStringLiteral("ВЕМОР"), 250, 108, 290, 122, 9, true);
    for (int i = 1; i <= 4; ++i) {
        const int y = 88 + 18 * (i - 1);
        const int l = 180;
        const int r = l + 26;
        b.Dot(QStringLiteral("dotInput%1").arg(i), 110, y);
        b.Lines(QStringLiteral("linInput%1").arg(i), {{{110, y}, {l, y}}, {{r, y}, {250, y}}});
        // The device reports a closed contact by its bit: "on" is the open picture.
        b.HorizontalContact(QStringLiteral("btn%1off").arg(i), QStringLiteral("btn%1on").arg(i), l, r, y);
        b.Lines(QStringLiteral("btn%1lin").arg(i), {{{l, y}, {r, y}}});
        static const char16_t* const names[4] = {u"СТОП1", u"СТОП2", u"ГАО", u"ТРЗ"};
        b.Text(QStringLiteral("btn%1txt").arg(i), QString::fromUtf16(names[i - 1]), 116, y - 13, 176, y - 1, 10, true);
    }
    b.Lines(QStringLiteral("linCoil"), {{{290, 115}, {298, 115}}, {{318, 115}, {326, 115}}});
    auto* coil = static_cast<TDrawBox*>(panel.CreateControl(TDrawBox::StaticClass(), 298 * k, 107 * k, 20 * k, 16 * k));
    coil->SetName(QStringLiteral("grpK1"));
    SchemeBuilder::Gradient(coil->BrushProp(), gsVertical);
    coil->PenProp()->SetWidth(kControl);
    b.Text(QStringLiteral("txtK1"), QStringLiteral("K1"), 298, 93, 318, 106, 10, true);
    b.Dot(QStringLiteral("dotCoil"), 326, 115);

    // ---- signal rows: auxiliary contacts K2 and K3 with their lamps
    const int rows[2] = {170, 205};
    for (int j = 0; j < 2; ++j) {
        const int y = rows[j];
        const int n = j + 2;
        b.Lines(QStringLiteral("linRowK%1").arg(n), {{{110, y}, {120, y}}, {{146, y}, {200, y}}, {{218, y}, {326, y}}});
        b.HorizontalContact(QStringLiteral("grpK%1on").arg(n), QStringLiteral("grpK%1off").arg(n), 120, 146, y);
        b.Text(QStringLiteral("txtK%1").arg(n), QStringLiteral("K%1").arg(n), 120, y - 21, 146, y - 9, 10, true);
        b.Circle(QStringLiteral("ellLamp%1").arg(n), 200, y - 9, 218, y + 9, clWhite);
        b.Lines(QStringLiteral("crsLamp%1").arg(n), {{{203, y - 6}, {215, y + 6}}, {{215, y - 6}, {203, y + 6}}});
        b.Text(QStringLiteral("txtHL%1").arg(n), QStringLiteral("HL%1").arg(n), 220, y - 21, 248, y - 9);
    }
    b.Dot(QStringLiteral("dotRowK2"), 110, 170);
    b.Dot(QStringLiteral("dotRowK2N"), 326, 170);
    panel.SetModified(false);
}

QByteArray SaveSchemeText(TDrawPanel& panel)
{
    TMemoryStream stream;
    auto filer = panel.CreateFiler(stream, dfpSaving);
    panel.SaveToFiler(*filer, false);
    return QByteArray(stream.Memory(), int(stream.Size()));
}

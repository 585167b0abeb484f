#include "scheme/drawtext.h"

#include "platform/bitmap.h"
#include "platform/canvas.h"
#include "scheme/drawprops2.h"

#include <QFontMetrics>
#include <cmath>
#include <numbers>

namespace {

// The classic bitmap fonts cannot be turned; every other font is an outline font here.
bool IsRasterFont(const QString& name)
{
    static const char* const raster[] = {"System", "Terminal", "Fixedsys", "Courier", "MS Sans Serif",
                                         "MS Serif", "Small Fonts"};
    for (const char* r : raster)
        if (name.compare(QLatin1String(r), Qt::CaseInsensitive) == 0)
            return true;
    return false;
}


}  // namespace

DEFINE_DRAW_CONTROL_CLASS(TDrawText, TDrawBox)

void TDrawText::CreateProperties()
{
    TDrawBox::CreateProperties();
    TPropList* l = &Props();
    FAutoSize = new TBoolProp(l, QStringLiteral("AutoSize"));
    FText = new TStrListProp(l, QStringLiteral("Text"));
    FFont = new TFontProp(l, QStringLiteral("Font"));
    FWordWrap = new TBoolProp(l, QStringLiteral("WordWrap"));
    FGrayed = new TBoolProp(l, QStringLiteral("Grayed"));
    FAngle = new TIntProp(l, QStringLiteral("Angle"));
    FAlignment = new TEnumProp(l, QStringLiteral("Alignment"));
    FAlignment->AddItem(QStringLiteral("LeftJustify"));
    FAlignment->AddItem(QStringLiteral("RightJustify"));
    FAlignment->AddItem(QStringLiteral("Center"));
    FLayout = new TEnumProp(l, QStringLiteral("Layout"));
    FLayout->AddItem(QStringLiteral("Top"));
    FLayout->AddItem(QStringLiteral("Center"));
    FLayout->AddItem(QStringLiteral("Bottom"));
}

void TDrawText::ControlCreate()
{
    TDrawBox::ControlCreate();
    if (!GetName().isEmpty())
        FText->SetLines(QStringList{GetName()});
    BrushProp()->SetColor(clNone);
    PenProp()->SetPenStyle(psClear);
    FAlwaysFilled = true;
}

QString TDrawText::GetText() const
{
    return FText->GetText();
}

void TDrawText::SetText(const QString& text)
{
    FText->SetText(text);
}

int TDrawText::GetCreationCursor() const
{
    return crDrawText;
}

TDrawControl* TDrawText::CreateCurveControl()
{
    return nullptr;
}

namespace {

// The angle in 0..359 that turns the same way.
int NormalAngle(int64_t angle)
{
    return int((angle % 360 + 360) % 360);
}

}  // namespace

void TDrawText::Rotate(const TRotationInfo& info)
{
    const int angle = NormalAngle(int64_t(FAngle->GetValue()) + info.Angle);
    if (angle != 0)
        FAutoSize->SetValue(false);
    FAngle->SetValue(angle);
    TDrawBox::Rotate(info);
}

void TDrawText::DrawTextIn(TCanvas& canvas, TRect& r, bool measuring, int scale)
{
    FFont->Setup(canvas, scale);
    const TColor fontColor = canvas.Font().Color();
    const QString text = GetText();
    // a document may hold any angle: it is drawn as the same angle within one turn
    const int angle = NormalAngle(FAngle->GetValue());
    if (angle != 0 && !IsRasterFont(canvas.Font().Name())) {
        canvas.Font().SetOrientation(angle * 10);
        const double a = angle * std::numbers::pi / 180.0;
        const double w = double(int64_t(r.Right) - r.Left);
        const double h = double(int64_t(r.Bottom) - r.Top);
        TPoint start(r.Left, r.Top);
        if (angle <= 90)
            start = TPoint(r.Left, SatAdd(r.Top, RoundHalfEvenInt64(std::sin(a) * h)));
        else if (angle <= 180)
            start = TPoint(SatAdd(r.Left, RoundHalfEvenInt64(std::fabs(std::cos(a)) * w)), r.Bottom);
        else if (angle <= 270)
            start = TPoint(r.Right, SatAdd(r.Bottom, RoundHalfEvenInt64(std::sin(a) * h)));
        else
            start = TPoint(SatSub(r.Right, RoundHalfEvenInt64(std::fabs(std::cos(a)) * w)), r.Top);
        if (measuring) {
            r.Right = r.Left;
            r.Bottom = r.Top;
        } else {
            canvas.Brush().SetStyle(bsClear);
            canvas.TextOut(start.x, start.y, FText->Strings().join(QLatin1Char(' ')));
        }
        canvas.Font().SetOrientation(0);
        canvas.Font().SetColor(fontColor);
        return;
    }
    unsigned flags = DT_EXPANDTABS | DT_NOPREFIX;
    switch (FAlignment->EnumIndex()) {
    case taRightJustify: flags |= DT_RIGHT; break;
    case taCenter: flags |= DT_CENTER; break;
    default: break;
    }
    if (FWordWrap->GetValue())
        flags |= DT_WORDBREAK;
    canvas.Brush().SetStyle(bsClear);
    const bool grayed = FGrayed->GetValue();
    if (measuring) {
        canvas.DrawText(text, r, flags | DT_CALCRECT);
        if (grayed) {
            ++r.Right;
            ++r.Bottom;
        }
        if (!text.isEmpty()) {
            const QFontMetrics fm(canvas.Font().ToQFont());
            r.Right += std::abs(fm.rightBearing(text.back()));
        }
        return;
    }
    const std::optional<TRegion> savedClip = canvas.ClipRegion();
    const int layout = FLayout->EnumIndex();
    TRect place = r;
    if (layout == tlCenter || layout == tlBottom) {
        TRect m = r;
        canvas.DrawText(text, m, flags | DT_CALCRECT);
        const int free = r.Height() - m.Height();
        OffsetRect(place, 0, layout == tlBottom ? free : free / 2);
    }
    // the text stays inside the shape (rounded corners included)
    const int round = GetRoundness() != 0 ? ScaleClient(GetRoundness(), scale) : 0;
    const TRect shape(r.Left, r.Top, r.Right + 1, r.Bottom + 1);
    IntersectClipRgn(canvas, round ? RoundRectRegion(shape, round) : TRegion(shape));
    if (grayed) {
        TRect shifted = place;
        OffsetRect(shifted, 1, 1);
        canvas.Font().SetColor(clBtnHighlight);
        canvas.DrawText(text, shifted, flags | DT_NOCLIP);
        canvas.Font().SetColor(clGrayText);
    }
    canvas.DrawText(text, place, flags | DT_NOCLIP);
    canvas.SelectClipRgn(savedClip);
    canvas.Font().SetColor(fontColor);
}

void TDrawText::Paint(TCanvas& canvas, const TRect& paintRect)
{
    PaintShape(canvas, paintRect);
    const int inset = PenProp()->GetActualWidth() / 1000;
    TRect r = paintRect;
    InflateRect(r, -inset, -inset);
    --r.Right;
    --r.Bottom;
    DrawTextIn(canvas, r, false, Owner() ? Owner()->Scale() : 100);
}

TSize TDrawText::MeasureText() const
{
    if (FText->GetCount() == 0)
        return TSize{0, 0};
    QImage image(1, 1, QImage::Format_RGB32);
    TCanvas canvas(&image);
    TRect r;
    const_cast<TDrawText*>(this)->DrawTextIn(canvas, r, true, 100);
    return TSize{r.Width() * 1000, r.Height() * 1000};
}

void TDrawText::SetSizeLocked(bool locked)
{
    for (TIntProp* p : {WidthProp(), HeightProp()})
        p->SetStyle(locked ? uint8_t(p->Style() | psReadOnly) : uint8_t(p->Style() & ~psReadOnly));
}

void TDrawText::FollowText()
{
    TSize size = MeasureText();
    if (size.cx == 0 && size.cy == 0)
        return;
    size.cx = std::max(size.cx, 1);
    size.cy = std::max(size.cy, 1);
    if (size.cx == GetWidth() && size.cy == GetHeight()) {
        SetSizeLocked(true);
        return;
    }
    FResizing = true;
    SetSizeLocked(false);
    BeginUpdate();
    SetWidth(size.cx);
    SetHeight(size.cy);
    EndUpdate();
    SetSizeLocked(true);
    FResizing = false;
}

void TDrawText::PropChanged(TPropList* sender, TCustomProp* prop)
{
    TDrawBox::PropChanged(sender, prop);
    if (FResizing)
        return;
    if (prop == HeightProp()) {
        if (Owner() && Owner()->IsDesigning() && (Owner()->ToolMode() == 7 || Owner()->ToolMode() == 8) &&
            Owner()->IsShiftDown())
            FFont->SetHeight(GetHeight());
        return;
    }
    if (prop == FAutoSize) {
        if (FAutoSize->GetValue())
            FollowText();
        else
            SetSizeLocked(false);
        return;
    }
    if (FAutoSize->GetValue() && !IsGeometryProp(prop))
        FollowText();
}

void TDrawText::PropStored(TPropList* sender, TCustomProp* prop, const QString& propName, bool& isStored)
{
    TDrawBox::PropStored(sender, prop, propName, isStored);
    if (prop == FAutoSize || prop == FWordWrap || prop == FGrayed)
        isStored = static_cast<TBoolProp*>(prop)->GetValue();
    else if (prop == FText)
        isStored = FText->GetCount() > 0;
    else if (prop == FAngle)
        isStored = FAngle->GetValue() != 0;
    else if (prop == FAlignment || prop == FLayout)
        isStored = static_cast<TEnumProp*>(prop)->EnumIndex() != 0;
    else if (prop == PenProp() && propName.compare(QLatin1String("Style"), Qt::CaseInsensitive) == 0)
        isStored = PenProp()->PenStyle() != psClear;
}

#include "app/liveview.h"

#include "app/enginecontrol.h"
#include "app/fmain.h"
#include "app/tables.h"
#include "platform/dataset.h"
#include "platform/query.h"
#include "scheme/drawbase.h"
#include "scheme/drawpanel.h"
#include "scheme/drawprops2.h"

#include <QLabel>

namespace {

const char* const kObjectNames[TLiveView::ObjectCount] = {
    "engEngine", "ellEngine", "grpK1",  "grpK1on", "grpK1off", "grpK2on", "grpK2off",
    "grpK3on",   "grpK3off",  "grpAon", "grpAoff", "btn1on",   "btn1off", "btn2on",
    "btn2off",   "btn3on",    "btn3off", "btn4on", "btn4off",
};

TLiveView::Object ContactOn(int contact)
{
    return TLiveView::Object(TLiveView::btn1on + 2 * (contact - 1));
}

TLiveView::Object ContactOff(int contact)
{
    return TLiveView::Object(TLiveView::btn1off + 2 * (contact - 1));
}

}  // namespace

QString TLiveView::ObjectName(Object object)
{
    return QString::fromLatin1(kObjectNames[object]);
}

TLiveView::TLiveView(TDrawPanel& panel, QLabel& txtU, QLabel& txtN, QLabel& txtT)
    : panel_(panel), txtU_(txtU), txtN_(txtN), txtT_(txtT), txtNStyle_(txtN.styleSheet())
{
    InitEngineControl();
    panel_.setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    panel_.setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    panel_.setFrameShape(QFrame::NoFrame);
    panel_.SetShowDocFrame(false);
    // The margin the fitted document leaves blends with the page, as the document does.
    panel_.SetColor(clBtnFace);
}

// ---- start-up ---------------------------------------------------------------------------

int TLiveView::FitScale(int panelWidth, int panelHeight, int docWidth, int docHeight)
{
    const int w = docWidth / 1000;
    const int h = docHeight / 1000;
    if (w <= 0 || h <= 0)
        return 0;
    if (double(panelHeight) / h > double(panelWidth) / w)
        return panelWidth * 99 / w;
    return panelHeight * 99 / h;
}

void TLiveView::LoadScheme(const QString& fileName)
{
    bound_.fill(nullptr);
    try {
        panel_.LoadFromFile(fileName);
    } catch (...) {
        // Half a document is worse than none: the program goes on as if the file were missing.
        panel_.NewDocument();
        throw;
    }
    if (TDrawCustomScheme* scheme = panel_.Schemes()->GetScheme(0))
        if (auto* brush = dynamic_cast<TBrushProp*>(scheme->Prop(QStringLiteral("Brush"))))
            brush->SetColor(clBtnFace);
    // A document too small to measure keeps the panel's scale.
    if (const int scale = FitScale(panel_.width(), panel_.height(), panel_.DocWidth(), panel_.DocHeight()))
        panel_.SetScale(scale);
}

// ---- binding ----------------------------------------------------------------------------

TDrawControl* TLiveView::Find(const QString& name) const
{
    return panel_.FindControl(name);
}

TDrawControl* TLiveView::Bound(Object object) const
{
    TDrawControl* c = bound_[object];
    // A document read since the binding has freed what was bound.
    if (!TDrawControl::IsAlive(c) || c->Owner() != &panel_)
        return nullptr;
    return c;
}

void TLiveView::Bind(TQuery& qryEdit, int fid)
{
    qryEdit.Close();
    SelectVemorLiveBinding(qryEdit, fid);
    std::array<int, 4> types{};
    if (!qryEdit.IsEmpty()) {
        for (int i = 1; i <= 4; ++i) {
            TField* f = qryEdit.FieldByName(QStringLiteral("fbtn%1").arg(i));
            types[std::size_t(i - 1)] = f->IsNull() ? 0 : f->AsInteger();
        }
    }
    Bind(types);
}

void TLiveView::Bind(const std::array<int, 4>& contactTypes)
{
    for (int o = 0; o < ObjectCount; ++o)
        bound_[std::size_t(o)] = Find(ObjectName(Object(o)));
    for (Object o : {grpK1on, grpK2on, grpK3on, grpAon})
        Show(o, false);

    for (int i = 1; i <= 4; ++i) {
        const int type = contactTypes[std::size_t(i - 1)];
        if (TDrawControl* text = Find(QStringLiteral("btn%1txt").arg(i))) {
            text->SetReference(nullptr);
            if (type >= 0 && type <= 4)
                if (auto* lines = dynamic_cast<TStrListProp*>(text->Prop(QStringLiteral("Text"))))
                    lines->SetText(type == 0 ? QString() : TfrmMain::ContactTypeName(type));
        }
        if (TDrawControl* line = Find(QStringLiteral("btn%1lin").arg(i)))
            line->SetVisible(type == 0);
        Show(ContactOn(i), type != 0);
        Show(ContactOff(i), false);
        contactInUse_[std::size_t(i - 1)] = type != 0;
    }
}

// ---- live values ------------------------------------------------------------------------

void TLiveView::Show(Object object, bool visible) const
{
    if (TDrawControl* c = Bound(object))
        c->SetVisible(visible);
}

void TLiveView::SetBrushColor(Object object, TColor color) const
{
    if (TDrawControl* c = Bound(object))
        if (auto* brush = dynamic_cast<TBrushProp*>(c->Prop(QStringLiteral("Brush"))))
            brush->SetGradBeginColor(color);
}

void TLiveView::SetActive(Object object, bool active) const
{
    if (TDrawControl* c = Bound(object))
        if (auto* prop = dynamic_cast<TBoolProp*>(c->Prop(QStringLiteral("Active"))))
            prop->SetValue(active);
}

void TLiveView::SetStateText(const QString& text, const char* color)
{
    txtN_.setText(text);
    // Built on the layout's own style each time, so the sheet never grows.
    txtN_.setStyleSheet(txtNStyle_ + QStringLiteral(" color: %1;").arg(QLatin1String(color)));
}

void TLiveView::Stop()
{
    txtU_.setText(QStringLiteral("U : 0 В"));
    txtN_.clear();
    txtT_.setText(QStringLiteral("T = 0 c"));
    SetActive(engEngine, false);
    for (Object o : {grpK1on, grpK2on, grpK3on, grpAon})
        Show(o, false);
    for (Object o : {grpK1off, grpK2off, grpK3off, grpAoff})
        Show(o, true);
    SetBrushColor(grpK1, kIdle);
    SetBrushColor(ellEngine, kIdle);
}

void TLiveView::Reply(int s, int u, int t)
{
    const bool running = (s & 0x10) != 0;
    txtU_.setText(QStringLiteral("U : %1 В").arg(u));
    txtT_.setText(QStringLiteral("T = %1 c").arg(t));

    SetActive(engEngine, running);
    for (Object o : {grpK1on, grpK2on, grpK3on})
        Show(o, running);
    for (Object o : {grpK1off, grpK2off, grpK3off})
        Show(o, !running);
    Show(grpAon, u >= 1);
    Show(grpAoff, u < 1);

    const TColor color = u < 1 ? kNoVoltage : running ? kRunning : kStopped;
    SetBrushColor(grpK1, color);
    SetBrushColor(ellEngine, color);

    if (s & 0x40)
        SetStateText(QStringLiteral("Норма"), "#008000");
    if (s & 0x80)
        SetStateText(QStringLiteral("Критич."), "#FF0000");
    if (!(s & 0xC0))
        txtN_.clear();

    for (int i = 1; i <= 4; ++i) {
        if (!contactInUse_[std::size_t(i - 1)])
            continue;
        const bool open = (s & (1 << (i - 1))) == 0;
        Show(ContactOn(i), open);
        Show(ContactOff(i), !open);
    }
}

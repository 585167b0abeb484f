#include "grid/toolctrlsex.h"

#include "platform/application.h"
#include "platform/canvas.h"
#include "platform/dataset.h"
#include "platform/frames.h"
#include "platform/imagelist.h"

#include <QGuiApplication>
#include <QMenu>
#include <QMouseEvent>
#include <QScreen>
#include <QTimer>
#include <algorithm>
#include <cmath>

// ---- TEditButtonEx --------------------------------------------------------------------------

TEditButtonEx::TEditButtonEx(TEditButtonsEx* collection) : collection_(collection)
{
    glyph_.OnChange = [this] { Changed(); };
}

TEditButtonEx::~TEditButtonEx() = default;

std::unique_ptr<TEditButtonEx> TEditButtonEx::CreateEditButton(IEditButtonsOwnerEx* editor)
{
    auto b = std::make_unique<TEditButtonEx>();
    b->editor_ = editor;
    return b;
}

IEditButtonsOwnerEx* TEditButtonEx::Editor() const
{
    return collection_ ? collection_->Editor() : editor_;
}

int TEditButtonEx::Index() const { return collection_ ? collection_->IndexOf(this) : -1; }

void TEditButtonEx::Changed()
{
    if (collection_)
        collection_->Changed();
    else if (editor_)
        editor_->EditButtonsChanged();
}

void TEditButtonEx::SetDropdownMenu(QMenu* menu)
{
    if (dropdownMenu_ == menu)
        return;
    dropdownMenu_ = menu;
    Changed();
}

void TEditButtonEx::SetGlyph(const TBitmap& glyph) { glyph_.Assign(glyph); }

void TEditButtonEx::SetHint(const QString& hint)
{
    if (hint_ == hint)
        return;
    hint_ = hint;
    Changed();
}

void TEditButtonEx::SetNumGlyphs(int n)
{
    n = std::clamp(n, 1, 4);
    if (numGlyphs_ == n)
        return;
    numGlyphs_ = n;
    Changed();
}

void TEditButtonEx::SetShortCut(TShortCut s)
{
    if (shortCut_ == s)
        return;
    shortCut_ = s;
    Changed();
}

void TEditButtonEx::SetStyle(TEditButtonStyleEx s)
{
    if (style_ == s)
        return;
    style_ = s;
    Changed();
}

void TEditButtonEx::SetVisible(bool v)
{
    if (visible_ == v)
        return;
    visible_ = v;
    Changed();
}

void TEditButtonEx::SetWidth(int w)
{
    if (width_ == w)
        return;
    width_ = w;
    Changed();
}

void TEditButtonEx::Assign(const TEditButtonEx& source)
{
    if (&source == this)
        return;
    dropdownMenu_ = source.dropdownMenu_;
    {
        auto hook = std::move(glyph_.OnChange);
        glyph_.OnChange = nullptr;
        glyph_.Assign(source.glyph_);
        glyph_.OnChange = std::move(hook);
    }
    hint_ = source.hint_;
    numGlyphs_ = source.numGlyphs_;
    shortCut_ = source.shortCut_;
    style_ = source.style_;
    visible_ = source.visible_;
    width_ = source.width_;
    OnClick = source.OnClick;
    OnDown = source.OnDown;
    Changed();
}

TEditButtonControlEx* TEditButtonEx::CreateEditButtonControl(QWidget* parent) const
{
    auto* c = new TEditButtonControlEx(parent);
    c->SetStyle(style_);
    c->SetGlyph(glyph_);
    c->SetNumGlyphs(numGlyphs_);
    c->setToolTip(hint_);
    return c;
}

TVisibleEditButtonEx::TVisibleEditButtonEx(TEditButtonsEx* collection) : TEditButtonEx(collection)
{
    visible_ = true;
    shortCut_ = kDropDownShortCut;
}

// ---- TEditButtonsEx -------------------------------------------------------------------------

TEditButtonEx* TEditButtonsEx::Add()
{
    items_.push_back(std::make_unique<TVisibleEditButtonEx>(this));
    Changed();
    return items_.back().get();
}

void TEditButtonsEx::Delete(int index)
{
    if (index < 0 || index >= Count())
        return;
    items_.erase(items_.begin() + index);
    Changed();
}

void TEditButtonsEx::Clear()
{
    if (items_.empty())
        return;
    items_.clear();
    Changed();
}

void TEditButtonsEx::Assign(const TEditButtonsEx& source)
{
    if (&source == this)
        return;
    items_.clear();
    for (const auto& item : source.items_) {
        items_.push_back(std::make_unique<TVisibleEditButtonEx>(this));
        items_.back()->Assign(*item);
    }
    Changed();
}

int TEditButtonsEx::IndexOf(const TEditButtonEx* item) const
{
    for (int i = 0; i < Count(); ++i)
        if (items_[std::size_t(i)].get() == item)
            return i;
    return -1;
}

void TEditButtonsEx::Changed()
{
    if (editor_)
        editor_->EditButtonsChanged();
}

// ---- TSpeedButtonEx -------------------------------------------------------------------------

TSpeedButtonEx::TSpeedButtonEx(QWidget* parent) : QWidget(parent)
{
    setFocusPolicy(Qt::NoFocus);
    setAttribute(Qt::WA_Hover, true);
    font_.OnChange = [this] { update(); };
    glyph_.OnChange = [this] { update(); };
}

TSpeedButtonEx::~TSpeedButtonEx() = default;

void TSpeedButtonEx::SetCaption(const QString& c)
{
    if (caption_ == c)
        return;
    caption_ = c;
    update();
}

void TSpeedButtonEx::SetFontColor(TColor c) { font_.SetColor(c); }

void TSpeedButtonEx::SetGlyph(const TBitmap& glyph) { glyph_.Assign(glyph); }

void TSpeedButtonEx::SetNumGlyphs(int n)
{
    n = std::clamp(n, 1, 4);
    if (numGlyphs_ == n)
        return;
    numGlyphs_ = n;
    update();
}

void TSpeedButtonEx::SetFlat(bool f)
{
    if (flat_ == f)
        return;
    flat_ = f;
    update();
}

void TSpeedButtonEx::SetActive(bool a)
{
    if (active_ == a)
        return;
    active_ = a;
    update();
}

void TSpeedButtonEx::SetDown(bool d)
{
    if (down_ == d)
        return;
    down_ = d;
    update();
}

void TSpeedButtonEx::SetPressed(bool p)
{
    if (pressed_ == p)
        return;
    pressed_ = p;
    update();
}

TColor TSpeedButtonEx::ParentColor() const
{
    const QWidget* p = parentWidget();
    if (!p)
        return clBtnFace;
    return FromQColor(p->palette().color(p->backgroundRole()));
}

void TSpeedButtonEx::Click()
{
    if (groupIndex_ > 0) {
        if (!down_)
            SetDown(true);
        else if (allowAllUp_)
            SetDown(false);
    }
    if (OnClick)
        OnClick(*this);
}

void TSpeedButtonEx::paintEvent(QPaintEvent*)
{
    Guarded([&] {
        TCanvas canvas(static_cast<QPaintDevice*>(this));
        canvas.SetFont(font_);
        Paint(canvas);
    });
}

void TSpeedButtonEx::Paint(TCanvas& canvas)
{
    TRect r = ClientRect();
    const bool down = DrawnDown();
    if (flat_) {
        canvas.Brush().SetColor(ParentColor());
        canvas.FillRect(r);
        if (isEnabled() && (mouseInside_ || active_ || down)) {
            TRect e = r;
            DrawEdge(canvas, e, down ? BDR_SUNKENOUTER : BDR_RAISEDINNER, BF_RECT);
        }
    } else {
        TRect e = r;
        DrawEdge(canvas, e, down ? EDGE_SUNKEN : EDGE_RAISED, BF_RECT | BF_MIDDLE);
    }
    PaintGlyphAndCaption(canvas, r, down);
}

void TSpeedButtonEx::PaintGlyphAndCaption(TCanvas& canvas, const TRect& r, bool shifted)
{
    const int shift = shifted ? 1 : 0;
    int glyphW = 0;
    int glyphH = 0;
    int glyphIndex = 0;
    if (!glyph_.Empty()) {
        glyphW = glyph_.Width() / numGlyphs_;
        glyphH = glyph_.Height();
        if (!isEnabled() && numGlyphs_ > 1)
            glyphIndex = 1;
        else if (pressed_ && numGlyphs_ > 2)
            glyphIndex = 2;
        else if (down_ && numGlyphs_ > 3)
            glyphIndex = 3;
    }
    const TSize textSize = caption_.isEmpty() ? TSize{} : canvas.TextExtent(caption_);
    const int spacing = (glyphW > 0 && !caption_.isEmpty()) ? 4 : 0;
    const int total = glyphW + spacing + textSize.cx;
    int x = r.Left + (r.Width() - total + 1) / 2 + shift;
    if (glyphW > 0) {
        const int y = r.Top + (r.Height() - glyphH + 1) / 2 + shift;
        const TColor transparent = glyph_.TransparentColor();
        canvas.DrawImage(TRect(x, y, x + glyphW, y + glyphH), glyph_.Image(),
                         TRect(glyphIndex * glyphW, 0, (glyphIndex + 1) * glyphW, glyphH), transparent);
        x += glyphW + spacing;
    }
    if (!caption_.isEmpty()) {
        const int y = r.Top + (r.Height() - textSize.cy) / 2 + shift;
        canvas.Brush().SetStyle(bsClear);
        if (isEnabled()) {
            canvas.TextOut(x, y, caption_);
        } else {
            const TColor saved = canvas.Font().Color();
            canvas.Font().SetColor(clBtnHighlight);
            canvas.TextOut(x + 1, y + 1, caption_);
            canvas.Font().SetColor(clBtnShadow);
            canvas.TextOut(x, y, caption_);
            canvas.Font().SetColor(saved);
        }
    }
}

void TSpeedButtonEx::mousePressEvent(QMouseEvent* e)
{
    if (e->button() != Qt::LeftButton || !isEnabled())
        return;
    SetPressed(true);
}

void TSpeedButtonEx::mouseMoveEvent(QMouseEvent* e)
{
    if (!(e->buttons() & Qt::LeftButton))
        return;
    const bool inside = rect().contains(e->position().toPoint());
    if (inside != mouseInside_) {
        mouseInside_ = inside;
        update();
    }
}

void TSpeedButtonEx::mouseReleaseEvent(QMouseEvent* e)
{
    if (e->button() != Qt::LeftButton || !pressed_)
        return;
    SetPressed(false);
    if (rect().contains(e->position().toPoint()))
        Guarded([&] { Click(); });
}

void TSpeedButtonEx::enterEvent(QEnterEvent*)
{
    mouseInside_ = true;
    if (flat_)
        update();
}

void TSpeedButtonEx::leaveEvent(QEvent*)
{
    mouseInside_ = false;
    if (flat_)
        update();
}

// ---- TEditButtonControlEx -------------------------------------------------------------------

TEditButtonControlEx::TEditButtonControlEx(QWidget* parent) : TSpeedButtonEx(parent) {}

TEditButtonControlEx::~TEditButtonControlEx() = default;

void TEditButtonControlEx::SetStyle(TEditButtonStyleEx s)
{
    if (style_ == s)
        return;
    style_ = s;
    update();
}

void TEditButtonControlEx::SetKeepDown(bool keep)
{
    if (keepDown_ == keep)
        return;
    keepDown_ = keep;
    if (keep) {
        SetGroupIndex(1);
        SetAllowAllUp(false);
        SetDown(true);
        pressedPart_ = 1;
    } else {
        SetGroupIndex(0);
        SetDown(false);
        SetPressed(false);
        pressedPart_ = 0;
    }
    update();
}

int TEditButtonControlEx::PartAt(int y) const
{
    if (style_ != ebsUpDownEx)
        return 1;
    const int half = height() / 2;
    if (y < half)
        return 1;
    if (y >= height() - half)
        return 2;
    return 0;
}

void TEditButtonControlEx::FireDown(bool& autoRepeat)
{
    bool handled = false;
    if (OnDown)
        OnDown(this, pressedPart_ == 1, autoRepeat, handled);
}

void TEditButtonControlEx::StopTimer()
{
    if (timer_)
        timer_->stop();
}

void TEditButtonControlEx::TimerTick()
{
    if (!timer_)
        return;
    if (timer_->interval() == 400)
        timer_->setInterval(100);
    if (!Pressed() || pressedPart_ == 0) {
        StopTimer();
        return;
    }
    bool autoRepeat = true;
    FireDown(autoRepeat);
    if (!autoRepeat)
        StopTimer();
}

void TEditButtonControlEx::mousePressEvent(QMouseEvent* e)
{
    if (e->button() != Qt::LeftButton || !isEnabled())
        return;
    SetPressed(true);
    pressedPart_ = PartAt(int(e->position().y()));
    update();
    if (pressedPart_ == 0)
        return;
    bool autoRepeat = style_ == ebsUpDownEx;
    Guarded([&] { FireDown(autoRepeat); });
    if (autoRepeat && Pressed()) {
        if (!timer_) {
            timer_ = new QTimer(this);
            connect(timer_, &QTimer::timeout, this, MakeGuarded([this] { TimerTick(); }));
        }
        timer_->setInterval(400);
        timer_->start();
    }
}

void TEditButtonControlEx::mouseMoveEvent(QMouseEvent* e)
{
    TSpeedButtonEx::mouseMoveEvent(e);
    if (Pressed() && style_ == ebsUpDownEx && pressedPart_ != 0 &&
        (!rect().contains(e->position().toPoint()) || PartAt(int(e->position().y())) != pressedPart_)) {
        SetPressed(false);
        StopTimer();
        pressedPart_ = 0;
        update();
    }
    if (OnMouseMove)
        Guarded([&] { OnMouseMove(*this, e); });
}

void TEditButtonControlEx::mouseReleaseEvent(QMouseEvent* e)
{
    StopTimer();
    TSpeedButtonEx::mouseReleaseEvent(e);
    pressedPart_ = DrawnDown() ? (keepDown_ ? 1 : pressedPart_) : 0;
    update();
    if (OnMouseUp)
        Guarded([&] { OnMouseUp(*this, e); });
}

void TEditButtonControlEx::Paint(TCanvas& canvas)
{
    const TRect r = ClientRect();
    const int part = DrawnDown() ? (pressedPart_ ? pressedPart_ : 1) : 0;
    if (style_ != ebsGlyphEx) {
        DrawEditButtonFace(canvas, r, EditButtonKindOf(style_), ParentColor(), isEnabled(), Active(), Flat(), part);
        return;
    }
    if (!Flat()) {
        TSpeedButtonEx::Paint(canvas);
        return;
    }
    canvas.SaveDC();
    TRect inner = r;
    InflateRect(inner, -1, -1);
    canvas.IntersectClipRect(inner);
    canvas.Brush().SetColor(clBtnFace);
    canvas.FillRect(r);
    PaintGlyphAndCaption(canvas, r, part != 0);
    canvas.RestoreDC();
    TRect ring = r;
    if (Active() && part == 0) {
        DrawEdge(canvas, ring, BDR_RAISEDINNER, BF_RECT);
    } else if (Active()) {
        DrawEdge(canvas, ring, BDR_SUNKENOUTER, BF_RECT);
    } else {
        canvas.Brush().SetColor(ParentColor());
        canvas.FrameRect(ring);
    }
}

// ---- Faces ----------------------------------------------------------------------------------

int EditButtonKindOf(TEditButtonStyleEx style)
{
    switch (style) {
    case ebsEllipsisEx: return kEditButtonEllipsis;
    case ebsUpDownEx: return kEditButtonUpDown;
    case ebsPlusEx: return kEditButtonPlus;
    case ebsMinusEx: return kEditButtonMinus;
    default: return kEditButtonDropDown;
    }
}

namespace {

void FillColor(TCanvas& c, const TRect& r, TColor color)
{
    c.Brush().SetStyle(bsSolid);
    c.Brush().SetColor(color);
    c.FillRect(r);
}

// Paints marks (dots or bars) in the button-text colour, or embossed when disabled.
void PaintMarks(TCanvas& c, bool enabled, const std::function<void(int dx, int dy)>& marks,
                const std::function<void(TColor)>& setColor)
{
    if (enabled) {
        setColor(clBtnText);
        marks(0, 0);
    } else {
        setColor(clBtnHighlight);
        marks(1, 1);
        setColor(clBtnShadow);
        marks(0, 0);
    }
    (void)c;
}

void DrawPlainFace(TCanvas& c, const TRect& r, bool flat, bool pressed)
{
    if (flat) {
        FillColor(c, r, clBtnFace);
    } else {
        TRect e = r;
        DrawEdge(c, e, pressed ? EDGE_SUNKEN : EDGE_RAISED, BF_RECT | BF_MIDDLE);
    }
}

void DrawFace(TCanvas& c, const TRect& rect, int kind, bool enabled, bool flat, int pressedPart)
{
    const bool pressed = pressedPart != 0;
    TRect r = rect;
    switch (kind) {
    case kEditButtonUpDown: {
        const int half = r.Height() / 2;
        const TRect upper(r.Left, r.Top, r.Right, r.Top + half);
        const TRect lower(r.Left, r.Bottom - half, r.Right, r.Bottom);
        if (upper.Bottom < lower.Top)
            FillColor(c, TRect(r.Left, upper.Bottom, r.Right, lower.Top), clBtnFace);
        unsigned common = 0;
        if (flat)
            common |= DFCS_FLAT;
        if (!enabled)
            common |= DFCS_INACTIVE;
        DrawFrameControl(c, upper, DFC_SCROLL, DFCS_SCROLLUP | common | (pressedPart == 1 ? unsigned(DFCS_PUSHED) : 0u));
        DrawFrameControl(c, lower, DFC_SCROLL, DFCS_SCROLLDOWN | common | (pressedPart == 2 ? unsigned(DFCS_PUSHED) : 0u));
        break;
    }
    case kEditButtonEllipsis: {
        DrawPlainFace(c, r, flat, pressed);
        const int w = r.Width();
        const int dot = w < 8 ? 1 : 2;
        const int gap = w < 12 ? 1 : 2;
        const int total = 3 * dot + 2 * gap;
        const int x = r.Left + (w - total) / 2 + (pressed ? 1 : 0);
        const int y = r.Top + (r.Height() - dot) / 2 + (pressed ? 1 : 0);
        PaintMarks(
            c, enabled,
            [&](int dx, int dy) {
                for (int i = 0; i < 3; ++i) {
                    const int l = x + i * (dot + gap) + dx;
                    c.FillRect(TRect(l, y + dy, l + dot, y + dy + dot));
                }
            },
            [&](TColor color) { c.Brush().SetColor(color); });
        break;
    }
    case kEditButtonPlus:
    case kEditButtonMinus: {
        DrawPlainFace(c, r, flat, pressed);
        const int side = std::min(r.Width(), r.Height());
        int len = std::max(1, side * 4 / 7);
        if (flat)
            len = std::max(1, len - 1);
        if ((len % 2) != (side % 2))
            len = len > 1 ? len - 1 : len + 1;
        const int thick = std::max(1, len / 3);
        const int shift = pressed ? 1 : 0;
        const int cx = r.Left + (r.Width() - len) / 2 + shift;
        const int cy = r.Top + (r.Height() - thick) / 2 + shift;
        const int vx = r.Left + (r.Width() - thick) / 2 + shift;
        const int vy = r.Top + (r.Height() - len) / 2 + shift;
        PaintMarks(
            c, enabled,
            [&](int dx, int dy) {
                c.FillRect(TRect(cx + dx, cy + dy, cx + dx + len, cy + dy + thick));
                if (kind == kEditButtonPlus)
                    c.FillRect(TRect(vx + dx, vy + dy, vx + dx + thick, vy + dy + len));
            },
            [&](TColor color) { c.Brush().SetColor(color); });
        break;
    }
    default: {
        unsigned state = DFCS_SCROLLCOMBOBOX;
        if (pressed)
            state |= DFCS_PUSHED;
        if (flat)
            state |= DFCS_FLAT;
        if (!enabled)
            state |= DFCS_INACTIVE;
        DrawFrameControl(c, r, DFC_SCROLL, state);
        break;
    }
    }
}

void RenderFace(TCanvas& c, const TRect& r, int kind, TColor parentColor, bool enabled, bool active, bool flat,
                int pressedPart)
{
    if (flat) {
        FillColor(c, r, parentColor);
        c.SaveDC();
        TRect inner = r;
        InflateRect(inner, -1, -1);
        c.IntersectClipRect(inner);
        DrawFace(c, r, kind, enabled, true, pressedPart);
        c.RestoreDC();
        if (active) {
            TRect e = r;
            DrawEdge(c, e, pressedPart != 0 ? BDR_SUNKENOUTER : BDR_RAISEDINNER, BF_RECT);
        }
    } else {
        DrawFace(c, r, kind, enabled, false, pressedPart);
    }
}

}  // namespace

const TBitmap& TButtonsBitmapCache::Get(Key key, const std::function<void(TBitmap&)>& draw)
{
    key.width = std::max(0, key.width);
    key.height = std::max(0, key.height);
    for (const Item& item : items_)
        if (item.key == key)
            return *item.bitmap;
    auto bmp = std::make_unique<TBitmap>(std::max(1, key.width), std::max(1, key.height));
    draw(*bmp);
    items_.push_back({key, std::move(bmp)});
    return *items_.back().bitmap;
}

TButtonsBitmapCache& ButtonsBitmapCache()
{
    static TButtonsBitmapCache cache;
    return cache;
}

void ClearButtonsBitmapCache() { ButtonsBitmapCache().Clear(); }

void DrawEditButtonFace(TCanvas& canvas, const TRect& r, int kind, TColor parentColor, bool enabled, bool active,
                        bool flat, int pressedPart)
{
    TButtonsBitmapCache::Key key;
    key.width = r.Width();
    key.height = r.Height();
    key.kind = kind;
    key.parentColor = parentColor;
    key.enabled = enabled;
    key.active = active && flat;
    key.flat = flat;
    key.pressedPart = pressedPart;
    if (key.width <= 0 || key.height <= 0)
        return;
    const TBitmap& face = ButtonsBitmapCache().Get(key, [&](TBitmap& bmp) {
        RenderFace(bmp.Canvas(), TRect(0, 0, key.width, key.height), kind, parentColor, enabled, key.active, flat,
                   pressedPart);
        bmp.Canvas().Release();
    });
    canvas.DrawImage(r, face.Image(), TRect(0, 0, key.width, key.height));
}

void DrawCheck(TCanvas& canvas, const TRect& r, TCheckBoxState state, bool enabled, bool flat, bool pressed)
{
    const int side = std::min(r.Width(), r.Height());
    if (side <= 0)
        return;
    TRect box(r.Left + (r.Width() - side) / 2, r.Top + (r.Height() - side) / 2, 0, 0);
    box.Right = box.Left + side;
    box.Bottom = box.Top + side;
    unsigned s = DFCS_BUTTONCHECK;
    if (state == cbChecked)
        s |= DFCS_CHECKED;
    else if (state == cbGrayed)
        s |= DFCS_CHECKED | DFCS_BUTTON3STATE;
    if (!enabled)
        s |= DFCS_INACTIVE;
    if (pressed)
        s |= DFCS_PUSHED;
    if (flat) {
        canvas.SaveDC();
        TRect inner = box;
        InflateRect(inner, -1, -1);
        canvas.IntersectClipRect(inner);
        // The flat box keeps its one-pixel frame inside the clip.
        DrawFrameControl(canvas, inner, DFC_BUTTON, s | DFCS_FLAT);
        canvas.RestoreDC();
    } else {
        DrawFrameControl(canvas, box, DFC_BUTTON, s);
    }
}

// ---- Shared routines ------------------------------------------------------------------------

int CalcDefaultEditButtonWidth()
{
    TCanvas measure;
    const int h = measure.TextHeight(QStringLiteral("0"));
    int w = int(std::lround(h * 2.0 / 3.0));
    if (w % 2 == 0)
        --w;
    return std::max(1, std::min(w, GetSystemMetrics(SM_CXVSCROLL)));
}

int DefaultFlatEditButtonWidth()
{
    static const int w = CalcDefaultEditButtonWidth();
    return w;
}

int DefaultCheckBoxWidth() { return 13; }
int DefaultCheckBoxHeight() { return 13; }

bool WithinDoubleClickLimits(qint64 elapsedMs, const TPoint& a, const TPoint& b)
{
    return elapsedMs <= GetDoubleClickTime() && std::abs(a.x - b.x) <= GetSystemMetrics(SM_CXDOUBLECLK) &&
           std::abs(a.y - b.y) <= GetSystemMetrics(SM_CYDOUBLECLK);
}

void DrawClippedImage(TCanvas& canvas, const TRect& r, const TImageList& images, int index)
{
    const int x = r.Left + (r.Width() - images.Width()) / 2;
    const int y = r.Top + (r.Height() - images.Height()) / 2;
    const bool larger = images.Width() > r.Width() || images.Height() > r.Height();
    if (!larger) {
        images.Draw(canvas, x, y, index);
        return;
    }
    const std::optional<TRegion> saved = canvas.ClipRegion();
    canvas.IntersectClipRect(r);
    images.Draw(canvas, x, y, index);
    canvas.SelectClipRgn(saved);
}

bool PlaceDropDownWindow(const QRect& editorRect, QWidget* dropDown, const QRect& workArea)
{
    if (!dropDown)
        return false;
    QRect work = workArea;
    if (!work.isValid()) {
        QScreen* screen = QGuiApplication::screenAt(editorRect.center());
        if (!screen)
            screen = QGuiApplication::primaryScreen();
        work = screen ? screen->availableGeometry() : QRect(0, 0, 1024, 768);
    }
    int w = std::min(dropDown->width(), work.width());
    int h = dropDown->height();
    const int roomBelow = work.bottom() - editorRect.bottom();
    const int roomAbove = editorRect.top() - work.top();
    bool above = false;
    int y;
    if (h <= roomBelow || roomBelow >= roomAbove) {
        h = std::min(h, std::max(0, roomBelow));
        y = editorRect.bottom() + 1;
    } else {
        h = std::min(h, roomAbove);
        y = editorRect.top() - h;
        above = true;
    }
    int x = editorRect.left();
    if (x + w > work.right() + 1)
        x = work.right() + 1 - w;
    if (x < work.left())
        x = work.left();
    dropDown->setGeometry(x, y, w, h);
    return above;
}

bool VarValuesEqual(const Variant& a, const Variant& b)
{
    const bool arrA = a.Type() == varArray;
    const bool arrB = b.Type() == varArray;
    if (arrA && arrB) {
        if (a.ArrayCount() != b.ArrayCount())
            return false;
        for (int i = 0; i < a.ArrayCount(); ++i)
            if (!VarValuesEqual(a[i], b[i]))
                return false;
        return true;
    }
    if (arrA != arrB)
        return false;
    if (a.IsEmpty() != b.IsEmpty())
        return false;
    return a == b;
}

void GetFieldsByNames(const TDataSet& dataSet, const QString& names, std::vector<TField*>& list)
{
    for (const QString& part : names.split(QLatin1Char(';'))) {
        const QString name = part.trimmed();
        if (name.isEmpty())
            continue;
        list.push_back(dataSet.FieldByName(name));
    }
}

std::vector<TField*> GetFieldArrayByNames(const TDataSet& dataSet, const QString& names)
{
    std::vector<TField*> list;
    GetFieldsByNames(dataSet, names, list);
    return list;
}

void AssignFieldValues(TDataSet& dataSet, const QString& names, const Variant& value)
{
    const std::vector<TField*> fields = GetFieldArrayByNames(dataSet, names);
    if (value.IsNull()) {
        for (TField* f : fields)
            f->Clear();
        return;
    }
    if (fields.size() == 1 && value.Type() != varArray) {
        fields.front()->SetValue(value);
        return;
    }
    for (std::size_t i = 0; i < fields.size(); ++i)
        fields[i]->SetValue(value[int(i)]);
}

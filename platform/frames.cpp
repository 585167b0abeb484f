#include "platform/frames.h"

#include "platform/canvas.h"

#include <algorithm>

int GetSystemMetrics(int metric)
{
    switch (metric) {
    case SM_CXSCREEN: return 1024;
    case SM_CYSCREEN: return 768;
    case SM_CXVSCROLL:
    case SM_CYHSCROLL:
    case SM_CYVSCROLL:
    case SM_CXHSCROLL:
    case SM_CYVTHUMB:
    case SM_CXHTHUMB: return 16;
    case SM_CYCAPTION: return 19;
    case SM_CXBORDER:
    case SM_CYBORDER: return 1;
    case SM_CXDLGFRAME:
    case SM_CYDLGFRAME: return 3;
    case SM_CXDOUBLECLK:
    case SM_CYDOUBLECLK: return 4;
    case SM_CXEDGE:
    case SM_CYEDGE: return 2;
    default: return 0;
    }
}

int GetDoubleClickTime() { return 500; }

namespace {

// Keeps the caller's brush while the frame routines fill with their own colours.
class BrushKeeper {
public:
    explicit BrushKeeper(TCanvas& c) : canvas_(c), saved_(c.Brush()) {}
    ~BrushKeeper() { canvas_.SetBrush(saved_); }
    BrushKeeper(const BrushKeeper&) = delete;
    BrushKeeper& operator=(const BrushKeeper&) = delete;

private:
    TCanvas& canvas_;
    TBrush saved_;
};

void Fill(TCanvas& c, int l, int t, int r, int b, TColor color)
{
    if (r <= l || b <= t)
        return;
    c.Brush().SetColor(color);
    c.Brush().SetStyle(bsSolid);
    c.FillRect(TRect(l, t, r, b));
}

// One ring on the chosen sides; the bottom and right lines own the corners they share.
void Ring(TCanvas& c, const TRect& r, unsigned flags, TColor topLeft, TColor bottomRight)
{
    if (r.IsEmpty())
        return;
    if (flags & BF_LEFT)
        Fill(c, r.Left, r.Top, r.Left + 1, r.Bottom, topLeft);
    if (flags & BF_TOP)
        Fill(c, r.Left, r.Top, r.Right, r.Top + 1, topLeft);
    if (flags & BF_RIGHT)
        Fill(c, r.Right - 1, r.Top, r.Right, r.Bottom, bottomRight);
    if (flags & BF_BOTTOM)
        Fill(c, r.Left, r.Bottom - 1, r.Right, r.Bottom, bottomRight);
}

void Shrink(TRect& r, unsigned flags)
{
    if (flags & BF_LEFT)
        ++r.Left;
    if (flags & BF_TOP)
        ++r.Top;
    if (flags & BF_RIGHT)
        --r.Right;
    if (flags & BF_BOTTOM)
        --r.Bottom;
}

}  // namespace

void DrawEdge(TCanvas& canvas, TRect& r, unsigned edge, unsigned flags)
{
    BrushKeeper keep(canvas);
    TRect inner = r;
    const unsigned outer = edge & BDR_OUTER;
    const unsigned in = edge & BDR_INNER;
    if (outer) {
        TColor tl, br;
        if (flags & BF_MONO) {
            tl = br = clWindowFrame;
        } else if (flags & BF_FLAT) {
            tl = br = clBtnShadow;
        } else if (outer & BDR_RAISEDOUTER) {
            tl = (flags & BF_SOFT) ? clBtnHighlight : cl3DLight;
            br = cl3DDkShadow;
        } else {
            tl = clBtnShadow;
            br = clBtnHighlight;
        }
        Ring(canvas, inner, flags, tl, br);
        Shrink(inner, flags);
    }
    if (in) {
        TColor tl, br;
        if (flags & BF_MONO) {
            tl = br = clWindow;
        } else if (flags & BF_FLAT) {
            tl = br = clBtnFace;
        } else if (in & BDR_RAISEDINNER) {
            tl = (flags & BF_SOFT) ? cl3DLight : clBtnHighlight;
            br = clBtnShadow;
        } else {
            tl = cl3DDkShadow;
            br = cl3DLight;
        }
        Ring(canvas, inner, flags, tl, br);
        Shrink(inner, flags);
    }
    if (flags & BF_MIDDLE)
        Fill(canvas, inner.Left, inner.Top, inner.Right, inner.Bottom,
             (flags & BF_MONO) ? clWindow : clBtnFace);
    if (flags & BF_ADJUST)
        r = inner;
}

void DrawArrow(TCanvas& canvas, const TRect& r, int direction, TColor color)
{
    if (r.IsEmpty())
        return;
    BrushKeeper keep(canvas);
    const bool across = direction == 0 || direction == 1;
    // The base runs across the arrow's direction; the depth must fit along it.
    const int span = across ? r.Width() : r.Height();
    const int along = across ? r.Height() : r.Width();
    int base = span / 2 + 1;
    if (base % 2 == 0)
        --base;
    int depth = (base + 1) / 2;
    const int room = std::max(1, along - 2);
    if (depth > room) {
        depth = room;
        base = 2 * depth - 1;
    }
    base = std::max(1, base);
    const bool vertical = direction == 0 || direction == 1;
    const int cx = r.Left + (r.Width() - (vertical ? base : depth)) / 2;
    const int cy = r.Top + (r.Height() - (vertical ? depth : base)) / 2;
    for (int i = 0; i < depth; ++i) {
        // Row i of the triangle counted from its base.
        const int from = i;
        const int len = base - 2 * i;
        switch (direction) {
        case 0:  // up: base at the bottom
            Fill(canvas, cx + from, cy + depth - 1 - i, cx + from + len, cy + depth - i, color);
            break;
        case 1:  // down: base at the top
            Fill(canvas, cx + from, cy + i, cx + from + len, cy + i + 1, color);
            break;
        case 2:  // left: base at the right
            Fill(canvas, cx + depth - 1 - i, cy + from, cx + depth - i, cy + from + len, color);
            break;
        default:  // right: base at the left
            Fill(canvas, cx + i, cy + from, cx + i + 1, cy + from + len, color);
            break;
        }
    }
}

namespace {

void DrawPushFace(TCanvas& canvas, TRect& r, unsigned state)
{
    if (state & DFCS_FLAT) {
        Ring(canvas, r, BF_RECT, clBtnShadow, clBtnShadow);
        InflateRect(r, -1, -1);
        Fill(canvas, r.Left, r.Top, r.Right, r.Bottom, clBtnFace);
    } else if (state & DFCS_PUSHED) {
        // A pressed scroll button reads as one flat shadow frame.
        Ring(canvas, r, BF_RECT, clBtnShadow, clBtnShadow);
        InflateRect(r, -1, -1);
        Fill(canvas, r.Left, r.Top, r.Right, r.Bottom, clBtnFace);
    } else {
        DrawEdge(canvas, r, EDGE_RAISED, BF_RECT | BF_MIDDLE | BF_ADJUST);
    }
}

void DrawCheckBox(TCanvas& canvas, TRect r, unsigned state)
{
    const bool inactive = state & DFCS_INACTIVE;
    const bool threeState = state & DFCS_BUTTON3STATE;
    const bool checked = state & DFCS_CHECKED;
    if (state & (DFCS_FLAT | DFCS_MONO)) {
        Ring(canvas, r, BF_RECT, clBtnShadow, clBtnShadow);
        InflateRect(r, -1, -1);
    } else {
        DrawEdge(canvas, r, EDGE_SUNKEN, BF_RECT | BF_ADJUST);
    }
    const TColor back = (inactive || (state & DFCS_PUSHED) || (threeState && checked)) ? clBtnFace : clWindow;
    Fill(canvas, r.Left, r.Top, r.Right, r.Bottom, back);
    if (!checked || r.IsEmpty())
        return;
    const TColor mark = (inactive || threeState) ? clBtnShadow : clWindowText;
    // A tick: a short arm down to the right, then a long one up to the right.
    const int m = std::max(3, std::min(r.Width(), r.Height()) - 2);
    const int k = m / 3;
    const int stroke = std::max(1, (m * 3 + 3) / 7);
    const int height = m - 1 - k + stroke;
    const int x0 = r.Left + (r.Width() - m) / 2;
    const int y0 = r.Top + (r.Height() - height) / 2;
    for (int x = 0; x < m; ++x) {
        const int top = x < k ? m - 1 - 2 * k + x : m - 1 - x;
        Fill(canvas, x0 + x, y0 + top, x0 + x + 1, y0 + top + stroke, mark);
    }
}

}  // namespace

bool DrawFrameControl(TCanvas& canvas, const TRect& rect, unsigned type, unsigned state)
{
    BrushKeeper keep(canvas);
    TRect r = rect;
    if (type == DFC_SCROLL) {
        DrawPushFace(canvas, r, state);
        int dir = int(state & 0xF);
        if (dir == int(DFCS_SCROLLCOMBOBOX))
            dir = int(DFCS_SCROLLDOWN);
        if (dir > int(DFCS_SCROLLRIGHT))
            return false;
        if ((state & DFCS_PUSHED) && !(state & DFCS_FLAT))
            OffsetRect(r, 1, 1);
        if (state & DFCS_INACTIVE) {
            TRect shadow = r;
            OffsetRect(shadow, 1, 1);
            DrawArrow(canvas, shadow, dir, clBtnHighlight);
            DrawArrow(canvas, r, dir, clBtnShadow);
        } else {
            DrawArrow(canvas, r, dir, clBtnText);
        }
        return true;
    }
    if (type == DFC_BUTTON) {
        const unsigned kind = state & 0x1F & ~DFCS_BUTTON3STATE;
        if (kind == DFCS_BUTTONCHECK) {
            DrawCheckBox(canvas, r, state);
            return true;
        }
        if (kind == DFCS_BUTTONPUSH) {
            if (state & DFCS_PUSHED)
                DrawEdge(canvas, r, EDGE_SUNKEN, BF_RECT | BF_MIDDLE);
            else
                DrawEdge(canvas, r, EDGE_RAISED, BF_RECT | BF_MIDDLE);
            return true;
        }
    }
    return false;
}

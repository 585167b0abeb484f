// Multi-level titles of the data-aware grid: building the caption tree from the columns,
// measuring its levels (which gives the title row its height) and painting the bands.
#include "grid/celltext.h"
#include "grid/dbgridex.h"

#include <algorithm>

namespace {

const QString kDelims = QStringLiteral("|");

bool HasSecondWord(const QString& text) { return WordPosition(2, text, kDelims) > 0; }

// The text after the first word and its delimiter.
QString DropFirstWord(const QString& text)
{
    const int i = int(text.indexOf(QLatin1Char('|')));
    return i < 0 ? QString() : text.mid(i + 1);
}

} // namespace

void TCustomDBGridEx::CreateFieldTree()
{
    headRoot_->FreeAllChild();
    const int n = columns_->Count();
    leafs_.assign(std::size_t(n), {nullptr, nullptr});
    for (int i = 0; i < n; ++i) {
        TColumnEx* c = columns_->Items(i);
        const int width = c->Visible() ? c->Width() : (options_.Contains(dgColLines) ? -1 : 0);
        THeadTreeNode* leaf = headRoot_->AddChild(headRoot_.get(), c->Title().Caption(), width, titleRowHeight_);
        leaf->Column = c;
        leaf->SortMarkerWidth = c->Title().SortMarker() != smNoneEx ? 16 : 0;
        leaf->VLineWidth = options_.Contains(dgColLines) ? 1 : 0;
        leafs_[std::size_t(i)] = {leaf, c};
    }
    bool changed = true;
    while (changed) {
        changed = false;
        for (int i = 0; i < n && !changed; ++i) {
            THeadTreeNode* first = leafs_[std::size_t(i)].first;
            if (!HasSecondWord(first->Text))
                continue;
            const QString caption = ExtractWord(1, first->Text, kDelims);
            // Groups always form right above the leaves, so a run is a run of sibling leaves.
            THeadTreeNode* from = first;
            THeadTreeNode* to = from;
            int last = i;
            for (int j = i + 1; j < n; ++j) {
                THeadTreeNode* next = leafs_[std::size_t(j)].first;
                if (next->Host != first->Host || !HasSecondWord(next->Text) ||
                    ExtractWord(1, next->Text, kDelims) != caption)
                    break;
                to = next;
                last = j;
            }
            for (int k = i; k <= last; ++k) {
                THeadTreeNode* leaf = leafs_[std::size_t(k)].first;
                leaf->Text = DropFirstWord(leaf->Text);
            }
            headRoot_->Union(from, to, 20, caption);
            changed = true;
        }
    }
}

int TCustomDBGridEx::GetTitleTreeHeight(THeadTreeNode* node)
{
    if (!node || !node->Child)
        return 0;
    TCanvas canvas;
    struct Measured {
        THeadTreeNode* child;
        int sub;
        int text;
    };
    std::vector<Measured> items;
    THeadTreeNode* p = node->Child;
    do {
        Measured m{p, 0, 0};
        if (p->Child)
            m.sub = GetTitleTreeHeight(p);
        const bool vertical = p->Column && p->Column->Title().Orientation() == tohVertical;
        canvas.SetFont(p->Column ? p->Column->Title().Font() : titleFont_);
        const QString text = p->Text.isEmpty() ? QStringLiteral(" ") : p->Text;
        if (p->Width < 1)
            m.text = vertical ? 0 : vTitleMargin_;
        else if (vertical)
            m.text = WriteTextVerticalEx(canvas, TRect(0, 0, p->Width, 10000), false, true, false, tlBottom,
                                         taLeftJustify, text, 0, 0) +
                     6;
        else {
            TRect r(0, 0, std::max(1, p->Width - 4 - p->SortMarkerWidth), 0);
            canvas.DrawText(text, r, DT_CALCRECT | DT_WORDBREAK | DT_NOPREFIX | DT_EXPANDTABS);
            m.text = r.Height() + vTitleMargin_;
        }
        items.push_back(m);
        p = p->Next;
    } while (p != node->Child);

    int level = 0;
    for (const Measured& m : items)
        level = std::max(level, m.sub + m.text);
    for (const Measured& m : items)
        m.child->Height = m.child->Child ? level - m.sub : level;
    node->Height = level;
    return level;
}

void TCustomDBGridEx::DrawTitleGroups(TCanvas& canvas, int col, const TRect& cellRect, THeadTreeNode* leaf)
{
    const bool colLines = options_.Contains(dgColLines);
    const bool rowLines = options_.Contains(dgRowLines);
    const bool fixed3D = optionsEx_.Contains(dghFixed3D);
    const int vl = VertLineWidth(col);
    // Geometry of the node whose host band is drawn next.
    int nodeLeft = cellRect.Left;
    int nodeTop = std::max(cellRect.Top, cellRect.Bottom - leaf->Height + (fixed3D ? 1 : 3));
    THeadTreeNode* node = leaf;
    while (node->Host && node->Host != headRoot_.get()) {
        THeadTreeNode* host = node->Host;
        int before = 0;
        // A hidden sibling's width is -1 with column lines: it and its line take no room.
        for (THeadTreeNode* s = host->Child; s != node; s = s->Next)
            before += std::max(0, s->Width + (colLines ? 1 : 0));
        const int bandLeft = nodeLeft - before;
        const int bandRight = bandLeft + host->Width;
        const int bandBottom = nodeTop - (rowLines ? 1 : 0);
        const int bandTop = nodeTop - host->Height;
        const TRect band(bandLeft, bandTop, bandRight, bandBottom);
        const bool cutLeft = bandLeft < cellRect.Left;
        const bool cutRight = bandRight > cellRect.Right;

        // Clip to this cell, over the line at a side where the band goes on.
        TRect clip(cellRect.Left, std::max(0, bandTop), cellRect.Right + (cutRight ? vl : 0), bandBottom);
        canvas.SelectClipRgn(TRegion(clip));
        canvas.Brush().SetStyle(bsSolid);
        const TColor bg = node->Column ? node->Column->Title().Color()
                                       : (leaf->Column ? leaf->Column->Title().Color() : fixedColor_);
        canvas.Brush().SetColor(bg);
        canvas.FillRect(clip);
        canvas.SetFont(leaf->Column ? leaf->Column->Title().Font() : titleFont_);
        canvas.Font().SetColor(leaf->Column ? leaf->Column->Title().Font().Color() : titleFont_.Color());
        TRect textRect = band;
        InflateRect(textRect, -2, 0);
        WriteTextEx(canvas, textRect, false, 0, 0, true, true, tlCenter, taCenter, host->Text, 0, 0);
        if (fixed3D)
            Draw3DFrame(canvas, band, false, !cutLeft, !cutRight);
        if (rowLines) {
            canvas.Brush().SetColor(flat_ ? clGray : clBlack);
            canvas.SelectClipRgn(TRegion(TRect(cellRect.Left, bandBottom, cellRect.Right + (cutRight ? vl : 0),
                                               bandBottom + 1)));
            canvas.FillRect(TRect(band.Left, bandBottom, band.Right + vl, bandBottom + 1));
        }
        node = host;
        nodeLeft = bandLeft;
        nodeTop = bandTop;
    }
}

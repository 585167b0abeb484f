#include "grid/headtree.h"

#include <vector>

THeadTreeNode::THeadTreeNode() = default;

THeadTreeNode::THeadTreeNode(const QString& text, int width, int height)
    : Height(height), Text(text), Width(width)
{
}

THeadTreeNode::~THeadTreeNode()
{
    if (!Host)
        FreeAllChild();
}

int THeadTreeNode::ChildCount() const
{
    if (!Child)
        return 0;
    int n = 0;
    const THeadTreeNode* p = Child;
    do {
        ++n;
        p = p->Next;
    } while (p != Child);
    return n;
}

bool THeadTreeNode::Find(const THeadTreeNode* node) const
{
    if (node == this)
        return true;
    if (!Child)
        return false;
    const THeadTreeNode* p = Child;
    do {
        if (p->Find(node))
            return true;
        p = p->Next;
    } while (p != Child);
    return false;
}

void THeadTreeNode::FreeAllChild()
{
    if (!Child)
        return;
    std::vector<THeadTreeNode*> nodes;
    THeadTreeNode* p = Child;
    do {
        nodes.push_back(p);
        p = p->Next;
    } while (p != Child);
    Child = nullptr;
    for (THeadTreeNode* n : nodes) {
        n->FreeAllChild();
        n->Host = nullptr;
        n->Child = nullptr;
        delete n;
    }
}

static THeadTreeNode* LastOfRing(THeadTreeNode* first)
{
    THeadTreeNode* p = first;
    while (p->Next != first)
        p = p->Next;
    return p;
}

THeadTreeNode* THeadTreeNode::AddChild(THeadTreeNode* node, const QString& text, int width, int height)
{
    if (!Find(node))
        throw Exception("Node not in Tree");
    auto* n = new THeadTreeNode(text, width, height);
    n->Host = node;
    if (!node->Child) {
        node->Child = n;
        n->Next = n;
    } else {
        THeadTreeNode* last = LastOfRing(node->Child);
        last->Next = n;
        n->Next = node->Child;
    }
    return n;
}

THeadTreeNode* THeadTreeNode::Add(THeadTreeNode* after, const QString& text, int width, int height)
{
    if (!Find(after) || after == this)
        throw Exception("Node not in Tree");
    auto* n = new THeadTreeNode(text, width, height);
    n->Host = after->Host;
    n->Next = after->Next;
    after->Next = n;
    return n;
}

THeadTreeNode* THeadTreeNode::Union(THeadTreeNode* from, THeadTreeNode* to, int height, const QString& caption)
{
    if (!from || from == this || !Find(from))
        throw Exception("Node not in Tree");
    THeadTreeNode* host = from->Host;
    // to must be from itself or a later sibling (before the ring wraps to the host's first child).
    int count = 1;
    {
        THeadTreeNode* p = from;
        while (p != to) {
            p = p->Next;
            if (p == host->Child)
                throw Exception("ATo not in level");
            ++count;
        }
    }
    THeadTreeNode* pred = from;
    while (pred->Next != from)
        pred = pred->Next;
    THeadTreeNode* after = to->Next;
    const bool wholeRing = after == from;

    auto* group = new THeadTreeNode(caption, 0, height);
    group->Host = host;
    // The run becomes the group's own ring.
    group->Child = from;
    to->Next = from;
    int width = 0;
    THeadTreeNode* p = from;
    for (int i = 0; i < count; ++i) {
        p->Host = group;
        width += p->Width;
        if (i > 0)
            width += p->VLineWidth;
        p = p->Next;
    }
    group->Width = width;
    group->VLineWidth = from->VLineWidth;

    if (wholeRing) {
        host->Child = group;
        group->Next = group;
    } else {
        pred->Next = group;
        group->Next = after;
        if (host->Child == from)
            host->Child = group;
    }
    return group;
}

void THeadTreeNode::ForEach(const std::function<void(THeadTreeNode&)>& fn)
{
    if (!Child)
        return;
    THeadTreeNode* p = Child;
    do {
        THeadTreeNode* next = p->Next;
        fn(*p);
        p->ForEach(fn);
        p = next;
    } while (p != Child);
}

// ---- Words --------------------------------------------------------------------------------------

int WordPosition(int n, const QString& text, const QString& delims)
{
    int count = 0;
    int i = 0;
    const int len = int(text.size());
    while (i < len && count != n) {
        while (i < len && delims.contains(text[i]))
            ++i;
        if (i < len)
            ++count;
        if (count != n)
            while (i < len && !delims.contains(text[i]))
                ++i;
        else
            return i + 1;
    }
    return 0;
}

QString ExtractWordPos(int n, const QString& text, const QString& delims, int& pos)
{
    pos = WordPosition(n, text, delims);
    if (pos == 0)
        return QString();
    int i = pos - 1;
    int j = i;
    while (j < text.size() && !delims.contains(text[j]))
        ++j;
    return text.mid(i, j - i);
}

QString ExtractWord(int n, const QString& text, const QString& delims)
{
    int pos = 0;
    return ExtractWordPos(n, text, delims, pos);
}

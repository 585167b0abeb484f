// The tree of multi-level titles: a column caption "A|B|C" is a path of captions, and
// neighbouring columns that begin with the same caption share one band above them. Siblings form
// a ring (the last points back to the first), as the measuring and painting walks expect.
#pragma once

#include "platform/exceptions.h"

#include <QString>
#include <functional>

class TColumnEx;

class THeadTreeNode {
public:
    // An empty node whose Next is itself.
    THeadTreeNode();
    THeadTreeNode(const QString& text, int width, int height);
    // A node without a host frees its whole subtree.
    ~THeadTreeNode();
    THeadTreeNode(const THeadTreeNode&) = delete;
    THeadTreeNode& operator=(const THeadTreeNode&) = delete;

    THeadTreeNode* Child = nullptr;
    TColumnEx* Column = nullptr;
    int Height = 0;
    THeadTreeNode* Host = nullptr;
    THeadTreeNode* Next = this;
    QString Text;
    int VLineWidth = 0;
    int Width = 0;
    int SortMarkerWidth = 0;

    // Appends a child at the end of node's ring; "Node not in Tree" for a foreign node.
    THeadTreeNode* AddChild(THeadTreeNode* node, const QString& text, int width, int height);
    // Inserts a sibling after a node.
    THeadTreeNode* Add(THeadTreeNode* after, const QString& text, int width, int height);
    // Puts the sibling run from..to under a new node inserted in their place.
    THeadTreeNode* Union(THeadTreeNode* from, THeadTreeNode* to, int height, const QString& caption);
    bool Find(const THeadTreeNode* node) const;
    void FreeAllChild();
    // Pre-order walk below this node: a node, its children, then its next sibling.
    void ForEach(const std::function<void(THeadTreeNode&)>& fn);
    // Children in ring order.
    int ChildCount() const;
};

// Word routines over delimiter characters ("|" for titles). Words count from 1; positions from 1,
// 0 when there is no such word.
int WordPosition(int n, const QString& text, const QString& delims);
QString ExtractWord(int n, const QString& text, const QString& delims);
QString ExtractWordPos(int n, const QString& text, const QString& delims, int& pos);

// Path point editing: the edited control, point selection, marker region, insertion guide,
// deleting, closing and dragging points with the mouse.
#include "panel_fixture.h"

#include "scheme/drawcurves.h"

class PointTest : public PanelTest {
protected:
    void SetUp() override
    {
        MakePanel(320, 240);
        panel->SetDesigning(true);
    }

    // A path at document (left, top) whose points are given in its own units.
    template <class T>
    T* AddPath(int left, int top, const TPointArray& points, const TPointTypeArray& types)
    {
        T* c = TDrawControl::Create<T>(panel.get(), panel->ActiveScheme(), panel->ActiveLayer());
        c->SetPointsEx(points, types);
        c->SetLeft(left);
        c->SetTop(top);
        return c;
    }

    // Open polyline through client (20, 20), (70, 20), (120, 20).
    TDrawCurve* ThreeNodes()
    {
        return AddPath<TDrawCurve>(20000, 20000, {{0, 0}, {50000, 0}, {100000, 0}}, {ptNode, ptNode, ptOpenEnd});
    }

    void EditPoints(TDrawControl* c)
    {
        panel->UnselectAll();
        panel->SelectControl(c);
        panel->SetToolMode(tmPointEdit);
        ASSERT_TRUE(panel->IsPointEditing());
        ASSERT_EQ(panel->EditControl(), c);
    }

    TPoint AbsPoint(TDrawControl* c, int i)
    {
        const TRect d = c->GetDocRect();
        const TPoint p = c->GetPoint(i);
        return {d.Left + p.x, d.Top + p.y};
    }

    void CtrlClick(int x, int y)
    {
        Hover(x, y, Qt::ControlModifier);
        Press(x, y, Qt::ControlModifier);
        Release(x, y, Qt::ControlModifier);
    }
};

TEST_F(PointTest, EditControlFollowsASingleSelectedPath)
{
    TDrawCurve* curve = ThreeNodes();
    TDrawBox* box = AddBox("b", 200000, 100000, 10000, 10000);
    panel->SelectControl(curve);
    EXPECT_EQ(panel->EditControl(), curve);
    EXPECT_FALSE(panel->IsPointEditing());  // base mode 0: anchors, not points
    panel->SelectControl(box);
    EXPECT_EQ(panel->EditControl(), nullptr);
    panel->UnselectControl(curve);
    EXPECT_EQ(panel->EditControl(), nullptr);  // a box has no points
    panel->SetToolMode(tmPointEdit);
    EXPECT_EQ(panel->EditControl(), nullptr);
    curve->Free();
    EXPECT_EQ(panel->EditControl(), nullptr);
}

TEST_F(PointTest, MarkerRectanglesAreFivePixelSquares)
{
    TDrawCurve* curve = ThreeNodes();
    EditPoints(curve);
    EXPECT_EQ(panel->GetPointMarkerRect(1), TRect(68, 18, 73, 23));
    EXPECT_TRUE(panel->GetPointMarkerRect(7).IsEmpty());
    ASSERT_TRUE(panel->EditMarkersRgn().has_value());
    EXPECT_TRUE(panel->ExactMarkers());
    EXPECT_TRUE(panel->EditMarkersRgn()->Contains(70, 20));
    EXPECT_FALSE(panel->EditMarkersRgn()->Contains(45, 20));
    Hover(71, 21);
    EXPECT_TRUE(panel->OverPoint());
    Hover(45, 21);
    EXPECT_FALSE(panel->OverPoint());
    EXPECT_TRUE(panel->OverSegment());
}

TEST_F(PointTest, TwentyOnePointsMakeACoarseRegion)
{
    TPointArray pts;
    TPointTypeArray types;
    for (int i = 0; i < 21; ++i) {
        pts.push_back({i * 10000, (i % 2) * 20000});
        types.push_back(i == 20 ? ptOpenEnd : ptNode);
    }
    TDrawCurve* curve = AddPath<TDrawCurve>(10000, 10000, pts, types);
    EditPoints(curve);
    EXPECT_FALSE(panel->ExactMarkers());
    ASSERT_TRUE(panel->EditMarkersRgn()->Contains(15, 20));
    Hover(15, 20);  // inside the bounding rectangle, away from every point
    EXPECT_FALSE(panel->OverPoint());
    Hover(20, 30);  // point 1
    EXPECT_TRUE(panel->OverPoint());
}

TEST_F(PointTest, PointSelectionAndConnectorsKeepingOnePoint)
{
    TDrawCurve* curve = ThreeNodes();
    EditPoints(curve);
    int notes = 0;
    panel->OnNotify = [&](TDrawPanel*, TDrawControl*, TDrawNotify code) {
        if (code == dnPointSelection)
            ++notes;
    };
    panel->SelectPoint(0);
    panel->SelectPoint(2);
    panel->SelectPoint(2);
    EXPECT_EQ(panel->SelectedPointCount(), 2);
    EXPECT_EQ(notes, 2);
    panel->UnselectAllPoints();
    EXPECT_EQ(panel->SelectedPointCount(), 0);

    auto* conn =
        AddPath<TDrawConnector>(20000, 100000, {{0, 0}, {100000, 0}}, {ptNode, ptOpenEnd});
    EditPoints(conn);
    panel->SelectPoint(0);
    panel->SelectPoint(1);
    EXPECT_TRUE(panel->IsPointSelected(0));
    EXPECT_FALSE(panel->IsPointSelected(1));
    EXPECT_EQ(panel->SelectedPointCount(), 1);
}

TEST_F(PointTest, CtrlClickDeletesInnerNodesAndClosesOpenEnds)
{
    TDrawCurve* curve = ThreeNodes();
    EditPoints(curve);
    CtrlClick(70, 20);
    EXPECT_TRUE(panel->InsertDeleteState());
    ASSERT_EQ(curve->GetPointCount(), 2);
    EXPECT_EQ(AbsPoint(curve, 1), (TPoint{120000, 20000}));

    TDrawCurve* other = AddPath<TDrawCurve>(20000, 100000, {{0, 0}, {50000, 0}, {100000, 30000}},
                                            {ptNode, ptNode, ptOpenEnd});
    EditPoints(other);
    CtrlClick(120, 130);
    ASSERT_EQ(other->GetPointCount(), 3);
    EXPECT_EQ(other->GetPointType(2), ptClosedEnd);
}

TEST_F(PointTest, ConnectorEndsAreNeverClosedByAClick)
{
    auto* conn = AddPath<TDrawConnector>(20000, 20000, {{0, 0}, {100000, 0}}, {ptNode, ptOpenEnd});
    EditPoints(conn);
    CtrlClick(120, 20);
    ASSERT_EQ(conn->GetPointCount(), 2);
    EXPECT_EQ(conn->GetPointType(1), ptOpenEnd);
}

TEST_F(PointTest, GuideBeyondTheLastNodeAndInsertion)
{
    TDrawCurve* curve = ThreeNodes();
    EditPoints(curve);
    Hover(150, 20, Qt::ControlModifier);
    ASSERT_EQ(panel->EditPointGuide().Count, 2);
    EXPECT_FALSE(panel->ExactMarkers());  // the guide's area joins the region
    Press(150, 20, Qt::ControlModifier);
    Release(150, 20, Qt::ControlModifier);
    ASSERT_EQ(curve->GetPointCount(), 4);
    EXPECT_EQ(AbsPoint(curve, 3), (TPoint{150000, 20000}));

    Hover(150, 20, Qt::ControlModifier);
    panel->SetShowEditPointGuide(false);
    EXPECT_EQ(panel->EditPointGuide().Count, 0);
    Hover(170, 20, Qt::ControlModifier);
    EXPECT_EQ(panel->EditPointGuide().Count, 0);
}

TEST_F(PointTest, DraggingANodeMovesIt)
{
    TDrawCurve* curve = ThreeNodes();
    EditPoints(curve);
    Hover(70, 20);
    Press(70, 20);
    EXPECT_EQ(panel->ToolMode(), tmPointDrag);
    EXPECT_TRUE(panel->IsPointSelected(1));
    Drag(70, 30);
    Drag(72, 40);
    Release(72, 40);
    EXPECT_EQ(panel->ToolMode(), tmPointEdit);
    EXPECT_EQ(AbsPoint(curve, 1), (TPoint{72000, 40000}));
    EXPECT_EQ(AbsPoint(curve, 0), (TPoint{20000, 20000}));
    EXPECT_EQ(panel->DragPointIndex(), -1);
    EXPECT_TRUE(panel->IsPointSelected(1));  // moving keeps the selection
}

TEST_F(PointTest, PointRubberBandTogglesNodes)
{
    TDrawCurve* curve = ThreeNodes();
    EditPoints(curve);
    panel->SelectPoint(0);
    panel->SelectPoint(1);
    Hover(10, 5);
    Press(10, 5, Qt::ShiftModifier);
    EXPECT_EQ(panel->ToolMode(), tmPointRubberBand);
    Drag(130, 30, Qt::ShiftModifier);
    Release(130, 30, Qt::ShiftModifier);
    EXPECT_FALSE(panel->IsPointSelected(0));
    EXPECT_FALSE(panel->IsPointSelected(1));
    EXPECT_TRUE(panel->IsPointSelected(2));
}

TEST_F(PointTest, CurveNeighboursAcrossAClosingCurve)
{
    // Nodes 0 and 3; a curve from 0 to 3 and a closing curve from 3 back to 0.
    auto* curve = AddPath<TDrawCurve>(20000, 20000,
                                      {{0, 0}, {20000, -20000}, {40000, -20000}, {60000, 0}, {40000, 20000}, {20000, 20000}},
                                      {ptNode, ptControl, ptControl, ptClosedEnd, ptControl, ptControl});
    ASSERT_EQ(curve->GetPointCount(), 6);
    EditPoints(curve);
    int prev = 0, next = 0;
    panel->GetCurveNeighbours(0, prev, next);
    EXPECT_EQ(prev, 3);
    EXPECT_EQ(next, 3);
    panel->GetCurveNeighbours(1, prev, next);  // a control point has no neighbours
    EXPECT_EQ(prev, -1);
    EXPECT_EQ(next, -1);

    // One selected node between two curves: its four handles join the marker region.
    panel->SelectPoint(0);
    panel->UpdateEditMarkers();
    EXPECT_FALSE(panel->ExactMarkers());
    TRegion lines;
    EXPECT_TRUE(panel->AddControlLinesRgn(&lines));
    EXPECT_FALSE(lines.IsEmpty());
}

TEST_F(PointTest, SelectedAndUnselectedMarkersPaintDifferently)
{
    panel->SetColor(clWhite);
    panel->ActiveScheme()->Prop("Brush")->SetPropValue("Color", Variant(int(clWhite)));
    TDrawCurve* curve = AddPath<TDrawCurve>(20000, 100000, {{0, 0}, {0, 50000}, {100000, 50000}},
                                            {ptNode, ptNode, ptOpenEnd});
    EditPoints(curve);
    panel->SelectPoint(2);
    // Node 0 at (20, 100): an outline; node 2 at (120, 150): an inverted square.
    EXPECT_EQ(PixelAt(18, 98), clBlack);
    EXPECT_EQ(PixelAt(19, 99), clWhite);
    EXPECT_EQ(PixelAt(118, 148), clBlack);
    EXPECT_EQ(PixelAt(119, 149), clBlack);
}

// Deleting the first node of a figure whose first segment is a curve takes that segment's
// control points along: a path never starts with control points.
TEST_F(PointTest, DeletingTheFirstNodeBeforeACurveLeavesAValidPath)
{
    // closed: node, two control points, node, node (closing)
    TDrawCurve* closed = AddPath<TDrawCurve>(
        20000, 100000, {{0, 0}, {20000, -20000}, {40000, -20000}, {60000, 0}, {100000, 40000}},
        {ptNode, ptControl, ptControl, ptNode, ptClosedEnd});
    ASSERT_EQ(closed->GetNodeCount(), 3);
    const TPoint first = AbsPoint(closed, 0);
    const TPoint second = AbsPoint(closed, 3);
    const TPoint third = AbsPoint(closed, 4);
    ASSERT_EQ(first.x % 1000, 0);
    ASSERT_EQ(first.y % 1000, 0);
    EditPoints(closed);
    CtrlClick(first.x / 1000, first.y / 1000);
    ASSERT_EQ(closed->GetPointCount(), 2);
    EXPECT_EQ(AbsPoint(closed, 0), second);
    EXPECT_EQ(AbsPoint(closed, 1), third);
    EXPECT_EQ(closed->GetPointType(0), ptNode);
    EXPECT_EQ(closed->GetPointType(1), ptClosedEnd);

    // open, through the control's own operation
    TDrawCurve* open = AddPath<TDrawCurve>(
        20000, 20000, {{0, 0}, {20000, -10000}, {40000, -10000}, {60000, 0}, {100000, 0}, {120000, 0}},
        {ptNode, ptControl, ptControl, ptNode, ptNode, ptOpenEnd});
    open->SetName("open");
    const TPoint openSecond = AbsPoint(open, 3);
    open->DeletePoint(0);
    TPointArray pts;
    TPointTypeArray types;
    open->GetPointsEx(pts, types);
    EXPECT_EQ(types, (TPointTypeArray{ptNode, ptNode, ptOpenEnd}));
    EXPECT_EQ(AbsPoint(open, 0), openSecond);

    // both survive a save and a load unchanged
    closed->SetName("closed");
    TDrawPanel other;
    LoadDocument(other, SaveDocument(*panel));
    for (TDrawControl* c : {static_cast<TDrawControl*>(closed), static_cast<TDrawControl*>(open)}) {
        TDrawControl* copy = other.FindControl(c->GetName());
        ASSERT_NE(copy, nullptr);
        TPointArray p1, p2;
        TPointTypeArray t1, t2;
        c->GetPointsEx(p1, t1);
        copy->GetPointsEx(p2, t2);
        EXPECT_EQ(p2, p1) << c->GetName().toStdString();
        EXPECT_EQ(t2, t1) << c->GetName().toStdString();
        EXPECT_EQ(copy->GetDocRect(), c->GetDocRect());
    }
}

// The control points just before a figure's first node belong to the previous figure's closing
// curve: deleting or dragging the first node leaves them alone.
TEST_F(PointTest, FirstNodeOfAFigureAfterAClosingCurveLeavesThatCurveAlone)
{
    // a closed triangle whose closing side is a curve, then a closed polyline
    const TPointArray points = {{0, 0},       {60000, 0},     {60000, 40000}, {30000, 60000},
                                {0, 40000},   {100000, 0},    {140000, 0},    {140000, 40000}};
    const TPointTypeArray types = {ptNode,    ptNode, ptClosedEnd, ptControl,
                                   ptControl, ptNode, ptNode,      ptClosedEnd};
    auto makeCurve = [&] { return AddPath<TDrawCurve>(20000, 20000, points, types); };
    auto firstFigure = [&](TDrawCurve* c) {
        TPointArray abs;
        for (int i = 0; i < 5; ++i)
            abs.push_back(AbsPoint(c, i));
        return abs;
    };

    TDrawCurve* curve = makeCurve();
    const TPointArray before = firstFigure(curve);
    EditPoints(curve);
    CtrlClick(120, 20);  // the second figure's first node
    ASSERT_EQ(curve->GetPointCount(), 7);
    EXPECT_EQ(firstFigure(curve), before);
    TPointArray pts;
    TPointTypeArray ts;
    curve->GetPointsEx(pts, ts);
    EXPECT_EQ(ts, (TPointTypeArray{ptNode, ptNode, ptClosedEnd, ptControl, ptControl, ptNode, ptClosedEnd}));
    EXPECT_EQ(AbsPoint(curve, 5), (TPoint{160000, 20000}));

    // dragged with Shift (the node's own control points follow it), the first node goes alone
    TDrawCurve* dragged = makeCurve();
    dragged->SetTop(120000);
    const TPointArray draggedBefore = firstFigure(dragged);
    EditPoints(dragged);
    Hover(120, 120);
    Press(120, 120);
    ASSERT_EQ(panel->ToolMode(), tmPointDrag);
    Drag(125, 125, Qt::ShiftModifier);
    Release(125, 125, Qt::ShiftModifier);
    EXPECT_EQ(AbsPoint(dragged, 5), (TPoint{125000, 125000}));
    EXPECT_EQ(firstFigure(dragged), draggedBefore);
}

// Editing that must keep connectors, their link points and links right: connectors drawn and
// reshaped with the mouse, linked controls moved and resized, points deleted, linked controls
// pasted or dragged to another panel.
#include "panel_fixture.h"

#include "scheme/drawcurves.h"
#include "scheme/drawlinks.h"

#include <set>

namespace {

TPointArray DocPoints(TDrawControl* c)
{
    const TPoint o = c->GetDocRect().TopLeft();
    TPointArray pts;
    for (int i = 0; i < c->GetPointCount(); ++i)
        pts.push_back(c->GetPoint(i) + o);
    return pts;
}

// Every segment horizontal or vertical.
::testing::AssertionResult AxisParallel(const TPointArray& pts)
{
    for (std::size_t i = 1; i < pts.size(); ++i)
        if (pts[i].x != pts[i - 1].x && pts[i].y != pts[i - 1].y)
            return ::testing::AssertionFailure()
                   << "segment " << i - 1 << " (" << pts[i - 1].x << ", " << pts[i - 1].y << ") - (" << pts[i].x
                   << ", " << pts[i].y << ") is diagonal";
    return ::testing::AssertionSuccess();
}

}  // namespace

class LinkTest : public PanelTest {
protected:
    void SetUp() override
    {
        MakePanel(320, 240);  // origin 0: client pixels are document pixels at 100 %
        panel->SetDesigning(true);
        a = AddBox("a", 40000, 40000, 40000, 20000);    // right middle at (80, 50)
        b = AddBox("b", 200000, 140000, 40000, 20000);  // left middle at (200, 150)
    }

    // A connector drawn with the connector tool from client (x1, y1) to (x2, y2).
    TDrawConnector* DrawConnector(int x1, int y1, int x2, int y2)
    {
        panel->SetCreateClass(TDrawConnector::StaticClass());
        Hover(x1, y1);
        Press(x1, y1);
        Drag((x1 + x2) / 2, (y1 + y2) / 2);
        Drag(x2, y2);
        Release(x2, y2);
        panel->SetCreateClass(nullptr);
        if (panel->SelectedCount() != 1)
            return nullptr;
        return dynamic_cast<TDrawConnector*>(panel->Selected(0));
    }

    void SelectOnly(std::initializer_list<TDrawControl*> controls)
    {
        panel->UnselectAll();
        for (TDrawControl* c : controls)
            panel->SelectControl(c);
    }

    TDrawBox* a = nullptr;
    TDrawBox* b = nullptr;
};

TEST_F(LinkTest, ConnectorDrawnBetweenTwoBoxesIsRouted)
{
    TDrawConnector* conn = DrawConnector(80, 50, 200, 150);
    ASSERT_NE(conn, nullptr);
    EXPECT_EQ(conn->LinkA()->LinkedControl(), a);
    EXPECT_EQ(conn->LinkB()->LinkedControl(), b);
    const TPointArray pts = DocPoints(conn);
    ASSERT_GE(pts.size(), 3u);
    EXPECT_EQ(pts.front(), TPoint(80000, 50000));
    EXPECT_EQ(pts.back(), TPoint(200000, 150000));
    EXPECT_TRUE(AxisParallel(pts));
}

TEST_F(LinkTest, LinkedBoxMovedDiagonallyCarriesTheConnectorEnd)
{
    TDrawConnector* conn = DrawConnector(80, 50, 200, 150);
    ASSERT_NE(conn, nullptr);
    Press(60, 50);  // inside a
    ASSERT_TRUE(panel->IsSelected(a));
    Drag(65, 60);
    Drag(70, 70);
    Release(70, 70);
    ASSERT_EQ(a->GetDocRect(), TRect(50000, 60000, 90000, 80000));
    EXPECT_EQ(conn->LinkA()->LinkPoint(), TPoint(90000, 70000));
    const TPointArray pts = DocPoints(conn);
    EXPECT_EQ(pts.front(), TPoint(90000, 70000));
    EXPECT_EQ(pts.back(), TPoint(200000, 150000));
    EXPECT_TRUE(AxisParallel(pts));

    // one setting of the whole rectangle
    a->SetDocRect(TRect(20000, 30000, 60000, 40000));
    EXPECT_EQ(conn->LinkA()->LinkPoint(), TPoint(60000, 35000));
    EXPECT_EQ(DocPoints(conn).front(), TPoint(60000, 35000));
}

TEST_F(LinkTest, LinkedBoxResizedByItsCornerMarkerCarriesTheConnectorEnd)
{
    TDrawConnector* conn = DrawConnector(80, 50, 200, 150);
    ASSERT_NE(conn, nullptr);
    Click(60, 50);
    ASSERT_TRUE(panel->IsSelected(a));
    ASSERT_EQ(panel->FindMarker(40, 40), 1);
    Hover(40, 40);
    Press(40, 40);
    ASSERT_EQ(panel->ToolMode(), tmResizing);
    Drag(30, 35);
    Drag(20, 30);
    Release(20, 30);
    // the top-left corner moved by (-20, -10); the right edge stays
    ASSERT_EQ(a->GetDocRect(), TRect(20000, 30000, 80000, 60000));
    EXPECT_EQ(conn->LinkA()->LinkPoint(), TPoint(80000, 45000));
    const TPointArray pts = DocPoints(conn);
    EXPECT_EQ(pts.front(), TPoint(80000, 45000));
    EXPECT_TRUE(AxisParallel(pts));
}

TEST_F(LinkTest, LinkedBoxInAResizedGroupCarriesTheConnectorEnd)
{
    TDrawConnector* conn = DrawConnector(80, 50, 200, 150);
    ASSERT_NE(conn, nullptr);
    // group a with a box beside it, then double the group's size through its corner marker
    TDrawBox* c = AddBox("c", 40000, 80000, 20000, 20000);
    auto* group = TDrawControl::Create<TDrawGroup>(panel.get(), panel->ActiveScheme(), panel->ActiveLayer());
    a->SetParent(group);
    c->SetParent(group);
    group->RecalcBounds();
    ASSERT_EQ(group->GetDocRect(), TRect(40000, 40000, 80000, 100000));
    panel->UnselectAll();
    panel->SelectControl(group);
    ASSERT_EQ(panel->FindMarker(80, 100), 8);
    Hover(80, 100);
    Press(80, 100);
    Drag(100, 130);
    Drag(119, 159);
    Release(119, 159);
    // travel (39, 59) plus one pixel each: 40 x 60 becomes 80 x 120
    ASSERT_EQ(group->GetDocRect(), TRect(40000, 40000, 120000, 160000));
    ASSERT_EQ(a->GetDocRect(), TRect(40000, 40000, 120000, 80000));
    EXPECT_EQ(conn->LinkA()->LinkPoint(), TPoint(120000, 60000));
    EXPECT_EQ(DocPoints(conn).front(), TPoint(120000, 60000));
    EXPECT_TRUE(AxisParallel(DocPoints(conn)));
}

TEST_F(LinkTest, DraggingAnInnerPointKeepsTheSegmentsAxisParallel)
{
    TDrawConnector* conn = DrawConnector(80, 50, 200, 150);
    ASSERT_NE(conn, nullptr);
    conn->RerouteModeProp()->SetPropValue("", Variant(QStringLiteral("AsNeeded")));
    ASSERT_EQ(DocPoints(conn),
              (TPointArray{{80000, 50000}, {140000, 50000}, {140000, 150000}, {200000, 150000}}));
    panel->SetToolMode(tmPointEdit);
    ASSERT_EQ(panel->EditControl(), conn);
    Hover(140, 50);
    Press(140, 50);
    ASSERT_EQ(panel->ToolMode(), tmPointDrag);
    Drag(145, 55);
    Drag(150, 60);
    // the corner slides along the segment from the end; the next corner follows
    EXPECT_EQ(DocPoints(conn),
              (TPointArray{{80000, 50000}, {150000, 50000}, {150000, 150000}, {200000, 150000}}));
    Release(150, 60);
    // as needed: the route is sound, so it stays as dragged
    EXPECT_EQ(DocPoints(conn),
              (TPointArray{{80000, 50000}, {150000, 50000}, {150000, 150000}, {200000, 150000}}));

    // always: the connector routes itself again when the drag ends
    conn->RerouteModeProp()->SetPropValue("", Variant(QStringLiteral("Always")));
    ASSERT_EQ(DocPoints(conn),
              (TPointArray{{80000, 50000}, {140000, 50000}, {140000, 150000}, {200000, 150000}}));
    Hover(140, 150);
    Press(140, 150);
    ASSERT_EQ(panel->ToolMode(), tmPointDrag);
    Drag(170, 100);
    EXPECT_EQ(DocPoints(conn),
              (TPointArray{{80000, 50000}, {170000, 50000}, {170000, 150000}, {200000, 150000}}))
        << "the corner by the end only slides along the end's segment";
    EXPECT_TRUE(AxisParallel(DocPoints(conn)));
    EXPECT_EQ(DocPoints(conn).front(), TPoint(80000, 50000));
    EXPECT_EQ(DocPoints(conn).back(), TPoint(200000, 150000));
    Release(170, 100);
    EXPECT_EQ(DocPoints(conn),
              (TPointArray{{80000, 50000}, {140000, 50000}, {140000, 150000}, {200000, 150000}}));
}

TEST_F(LinkTest, LinkingAnEndWhereItAlreadyIsReroutes)
{
    TDrawConnector* conn = DrawConnector(80, 50, 200, 150);
    ASSERT_NE(conn, nullptr);
    // a path that is not routed, with both ends where they are linked
    conn->SetPointsEx({{0, 0}, {50000, 40000}, {120000, 100000}}, {ptNode, ptNode, ptOpenEnd});
    ASSERT_EQ(DocPoints(conn).front(), TPoint(80000, 50000));
    ASSERT_EQ(DocPoints(conn).back(), TPoint(200000, 150000));
    ASSERT_FALSE(AxisParallel(DocPoints(conn)));
    panel->SetToolMode(tmPointEdit);
    ASSERT_EQ(panel->EditControl(), conn);
    // press on the end and let go without moving: it is linked again at the same place
    Hover(200, 150);
    Press(200, 150);
    ASSERT_EQ(panel->ToolMode(), tmPointDrag);
    Release(200, 150);
    EXPECT_EQ(conn->LinkB()->LinkedControl(), b);
    const TPointArray pts = DocPoints(conn);
    EXPECT_EQ(pts.front(), TPoint(80000, 50000));
    EXPECT_EQ(pts.back(), TPoint(200000, 150000));
    EXPECT_TRUE(AxisParallel(pts));
}

TEST_F(LinkTest, AClickWithTheConnectorToolLeavesNoConnector)
{
    const int before = panel->ActiveScheme()->GetCount();
    panel->SetCreateClass(TDrawConnector::StaticClass());
    Click(150, 200);  // nowhere near a link point
    EXPECT_EQ(panel->ActiveScheme()->GetCount(), before);
    Hover(80, 50);
    Click(80, 50);  // on a's link point
    EXPECT_EQ(panel->ActiveScheme()->GetCount(), before);
    EXPECT_EQ(a->GetLinkPointsCount(), 0) << "nothing stays anchored to a";
    panel->SetCreateClass(nullptr);
    EXPECT_EQ(panel->SelectedCount(), 0);
}

TEST_F(LinkTest, PastedLinkedControlsLinkToEachOther)
{
    TDrawConnector* conn = DrawConnector(80, 50, 200, 150);
    ASSERT_NE(conn, nullptr);
    SelectOnly({a, b, conn});
    TMemoryStream stream;
    auto filer = panel->CreateFiler(stream, dfpSaving);
    ASSERT_TRUE(panel->SaveToFiler(*filer, true));
    LoadDocument(*panel, stream.Bytes(), dlmClipboard);

    ASSERT_EQ(panel->SelectedCount(), 3);
    TDrawConnector* copy = nullptr;
    for (int i = 0; i < 3; ++i)
        if (auto* c = dynamic_cast<TDrawConnector*>(panel->Selected(i)))
            copy = c;
    ASSERT_NE(copy, nullptr);
    ASSERT_NE(copy, conn);
    TDrawControl* copyA = copy->LinkA()->LinkedControl();
    TDrawControl* copyB = copy->LinkB()->LinkedControl();
    ASSERT_NE(copyA, nullptr);
    ASSERT_NE(copyB, nullptr);
    EXPECT_TRUE(panel->IsSelected(copyA)) << "linked to the pasted box, not the original";
    EXPECT_TRUE(panel->IsSelected(copyB));
    EXPECT_NE(copyA, a);
    EXPECT_NE(copyB, b);
    EXPECT_EQ(copyA->GetName(), "a");
    EXPECT_EQ(copyB->GetName(), "b");
    // the original stays linked to the originals
    EXPECT_EQ(conn->LinkA()->LinkedControl(), a);
    EXPECT_EQ(conn->LinkB()->LinkedControl(), b);

    // moving the pasted box drags the pasted connector's end, not the original's
    const TPointArray before = DocPoints(conn);
    copyA->SetLeft(copyA->GetLeft() + 10000);
    EXPECT_EQ(DocPoints(conn), before);
    EXPECT_EQ(DocPoints(copy).front(), TPoint(90000, 50000));
}

TEST_F(LinkTest, LinkedControlsDraggedToAnotherPanelLinkToEachOther)
{
    TDrawConnector* conn = DrawConnector(80, 50, 200, 150);
    ASSERT_NE(conn, nullptr);
    SelectOnly({a, b, conn});
    std::unique_ptr<TDrawDragObject> drag = panel->BeginDragSelection();
    ASSERT_NE(drag, nullptr);
    TDrawPanel target;
    target.resize(320, 240);
    ASSERT_TRUE(target.DragOverPanel(drag.get(), 100, 100, 0));
    target.DropOnPanel(drag.get(), 100, 100);
    drag.reset();

    auto* copy = dynamic_cast<TDrawConnector*>(target.FindControl(conn->GetName()));
    ASSERT_NE(copy, nullptr);
    EXPECT_EQ(copy->LinkA()->LinkedControl(), target.FindControl("a"));
    EXPECT_EQ(copy->LinkB()->LinkedControl(), target.FindControl("b"));
    ASSERT_NE(copy->LinkA()->LinkedControl(), nullptr);
    EXPECT_EQ(copy->LinkA()->LinkedControl()->Owner(), static_cast<TDrawOwner*>(&target));
    EXPECT_EQ(conn->LinkA()->LinkedControl(), a);
    EXPECT_EQ(a->GetLinkPointsCount(), 1) << "only the original connector is anchored to a";
}

// ---------------------------------------------------------------- dragging with the mouse

namespace {

// Every control of the document has an ID, and no two the same.
::testing::AssertionResult OwnIDs(TDrawPanel& p)
{
    std::set<uint32_t> seen;
    TPassControlRec rec;
    TreeIterFirst(p.Schemes(), rec);
    for (TDrawControl* c = TreeIterNext(rec); c; c = TreeIterNext(rec)) {
        if (c->GetID() == 0)
            return ::testing::AssertionFailure() << c->GetName().toStdString() << " has no ID";
        if (!seen.insert(c->GetID()).second)
            return ::testing::AssertionFailure() << c->GetName().toStdString() << " shares ID " << c->GetID();
    }
    return ::testing::AssertionSuccess();
}

}  // namespace

class DragLinkTest : public LinkTest {
protected:
    void SetUp() override
    {
        LinkTest::SetUp();
        conn = DrawConnector(80, 50, 200, 150);
        ASSERT_NE(conn, nullptr);
        connName = conn->GetName();
        other = std::make_unique<TDrawPanel>();
        other->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
        other->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
        other->setFrameShape(QFrame::NoFrame);
        other->resize(320, 240);
        other->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(other.get()));
        panel->SetAutoDragEnabled(true);
    }

    // The user grabs box a among the selected controls and pulls them out of the panel; the
    // drag then goes over the windows as the steps say.
    void DragOut(std::initializer_list<TDrawControl*> selected, const std::vector<DragPlayer::Step>& steps)
    {
        const TPoint grab{60, 50};  // inside a
        SelectOnly(selected);
        DragPlayer player(steps);
        QPointer<TDrawPanel> source(panel.get());
        Press(grab.x, grab.y);
        ASSERT_EQ(panel->ToolMode(), tmMoving);
        Drag(grab.x + 10, grab.y);
        Drag(330, grab.y);  // out of the client area: the drag starts
        ASSERT_TRUE(player.Ran());
        if (source)
            Release(330, grab.y);
        else
            panel.release();  // closed during the drag
    }

    // The three dropped controls are in the target's document with IDs of their own and linked
    // to each other, and stay so through a save and a load.
    void ExpectDroppedLinked(TDrawPanel& target)
    {
        TDrawControl* da = target.FindControl("a");
        TDrawControl* db = target.FindControl("b");
        auto* dc = dynamic_cast<TDrawConnector*>(target.FindControl(connName));
        ASSERT_NE(da, nullptr);
        ASSERT_NE(db, nullptr);
        ASSERT_NE(dc, nullptr);
        EXPECT_TRUE(OwnIDs(target));
        EXPECT_EQ(dc->LinkA()->LinkedControl(), da);
        EXPECT_EQ(dc->LinkB()->LinkedControl(), db);
        EXPECT_EQ(dc->LinkA()->GetText(), QStringLiteral("\\%1:a").arg(da->GetID()));
        EXPECT_EQ(dc->LinkB()->GetText(), QStringLiteral("\\%1:b").arg(db->GetID()));

        const QByteArray saved = SaveDocument(target);
        EXPECT_FALSE(saved.contains("ID = 0\r\n")) << saved.toStdString();
        TDrawPanel loaded;
        LoadDocument(loaded, saved);
        auto* lc = dynamic_cast<TDrawConnector*>(loaded.FindControl(connName));
        ASSERT_NE(lc, nullptr);
        EXPECT_EQ(lc->LinkA()->LinkedControl(), loaded.FindControl("a"));
        EXPECT_EQ(lc->LinkB()->LinkedControl(), loaded.FindControl("b"));
        EXPECT_NE(lc->LinkA()->LinkedControl(), nullptr);
    }

    TDrawConnector* conn = nullptr;
    QString connName;
    std::unique_ptr<TDrawPanel> other;
};

TEST_F(DragLinkTest, DragThatLeavesAPanelAndEntersItAgainKeepsIDsAndLinks)
{
    using P = DragPlayer;
    DragOut({a, b, conn}, {P::Over(other.get(), 100, 100), P::Outside(), P::Over(other.get(), 120, 100), P::Drop()});
    EXPECT_EQ(panel->FindControl("a"), nullptr) << "moved, not copied";
    ExpectDroppedLinked(*other);
}

TEST_F(DragLinkTest, DragThatReturnsToItsSourcePanelKeepsIDsAndLinks)
{
    using P = DragPlayer;
    DragOut({a, b, conn}, {P::Over(other.get(), 100, 100), P::Outside(), P::Over(panel.get(), 150, 120), P::Drop()});
    EXPECT_EQ(other->FindControl("a"), nullptr);
    ExpectDroppedLinked(*panel);
}

TEST_F(DragLinkTest, DragThatLeavesItsSourcePanelAndComesBackKeepsIDsAndLinks)
{
    using P = DragPlayer;
    DragOut({a, b, conn}, {P::Over(panel.get(), 150, 120), P::Outside(), P::Over(panel.get(), 160, 120), P::Drop()});
    ExpectDroppedLinked(*panel);
}

// The source panel closed while its controls are carried: before anything was entered, while
// they lie on another panel, and after they left it.
TEST_F(DragLinkTest, SourcePanelClosedBeforeTheDragEntersAnything)
{
    using P = DragPlayer;
    DragOut({a, b, conn}, {P::Meanwhile([this] { delete panel.get(); }), P::Over(other.get(), 100, 100), P::Drop()});
    EXPECT_EQ(panel, nullptr);
    ExpectDroppedLinked(*other);
}

TEST_F(DragLinkTest, SourcePanelClosedWhileTheGroupLiesOnAnotherPanel)
{
    using P = DragPlayer;
    DragOut({a, b, conn}, {P::Over(other.get(), 100, 100), P::Meanwhile([this] { delete panel.get(); }),
                           P::Over(other.get(), 110, 100), P::Outside(), P::Over(other.get(), 120, 100), P::Drop()});
    EXPECT_EQ(panel, nullptr);
    ExpectDroppedLinked(*other);
}

TEST_F(DragLinkTest, SourcePanelClosedAfterTheGroupLeftAnotherPanel)
{
    using P = DragPlayer;
    DragOut({a, b, conn}, {P::Over(other.get(), 100, 100), P::Outside(), P::Meanwhile([this] { delete panel.get(); }),
                           P::Over(other.get(), 120, 100), P::Drop()});
    EXPECT_EQ(panel, nullptr);
    ExpectDroppedLinked(*other);
}

// A group holding a connector linked to boxes outside it: forming it and moving it with the
// mouse leave the connector's ends on the boxes.
TEST_F(LinkTest, GroupMovedWithALinkedConnectorKeepsItOnItsBoxes)
{
    TDrawConnector* conn = DrawConnector(80, 50, 200, 150);
    ASSERT_NE(conn, nullptr);
    const QString name = conn->GetName();
    // linked at one end only: the free end goes with the group
    Click(300, 230);  // nothing there: the selection goes
    TDrawConnector* half = DrawConnector(80, 50, 280, 20);
    ASSERT_NE(half, nullptr);
    ASSERT_NE(half, conn);
    ASSERT_EQ(half->LinkA()->LinkedControl(), a);
    ASSERT_FALSE(half->LinkB()->IsLinked());
    half->SetName("half");
    TDrawBox* c = AddBox("c", 150000, 60000, 20000, 20000);
    auto* group = TDrawControl::Create<TDrawGroup>(panel.get(), panel->ActiveScheme(), panel->ActiveLayer());
    group->SetName("g");
    conn->SetParent(group);
    c->SetParent(group);
    half->SetParent(group);
    group->RecalcBounds();
    EXPECT_EQ(DocPoints(conn).front(), TPoint(80000, 50000));
    EXPECT_EQ(DocPoints(conn).back(), TPoint(200000, 150000));
    EXPECT_EQ(DocPoints(half).front(), TPoint(80000, 50000));
    EXPECT_EQ(DocPoints(half).back(), TPoint(280000, 20000));

    // the group as a document holds it
    LoadDocument(*panel, SaveDocument(*panel));
    conn = dynamic_cast<TDrawConnector*>(panel->FindControl(name));
    ASSERT_NE(conn, nullptr);
    ASSERT_EQ(conn->Parent(), panel->FindControl("g"));
    const TRect box = panel->FindControl("c")->GetDocRect();
    const int x = (box.Left + box.Right) / 2000;
    const int y = (box.Top + box.Bottom) / 2000;
    Press(x, y);
    ASSERT_TRUE(panel->IsSelected(panel->FindControl("g")));
    Drag(x + 15, y + 10);
    Drag(x + 30, y + 20);
    Release(x + 30, y + 20);
    EXPECT_EQ(panel->FindControl("c")->GetDocRect().Left, box.Left + 30000) << "the group moved";
    const TPointArray pts = DocPoints(conn);
    EXPECT_EQ(pts.front(), TPoint(80000, 50000));
    EXPECT_EQ(pts.back(), TPoint(200000, 150000));
    EXPECT_TRUE(AxisParallel(pts));
    const TPointArray halfPts = DocPoints(panel->FindControl("half"));
    EXPECT_EQ(halfPts.front(), TPoint(80000, 50000));
    EXPECT_EQ(halfPts.back(), TPoint(310000, 40000));
    EXPECT_TRUE(AxisParallel(halfPts));
}

// Interactive editing: creation, snapping, selection by mouse and band, moving, resizing,
// zoom, run-time clicks and hints, dragging groups between panels.
#include "panel_fixture.h"

#include "platform/exceptions.h"
#include "scheme/drawcursors.h"

#include <QDragEnterEvent>
#include <QMimeData>
#include <QScrollBar>

#include "platform/canvas.h"

class EditTest : public PanelTest {
protected:
    void SetUp() override
    {
        MakePanel(320, 240);  // origin 0: client pixels are document pixels at 100 %
    }
};

TEST_F(EditTest, CreateControlChecksSchemeAndLayer)
{
    TDrawLayer* layer = panel->ActiveLayer();
    layer->MoveableProp()->SetValue(false);
    try {
        panel->CreateControl(TDrawBox::StaticClass(), 0, 0, 1000, 1000);
        FAIL();
    } catch (const Exception& e) {
        EXPECT_EQ(e.Message(), "Can't create control on invisible or disabled layer");
    }
    EXPECT_EQ(panel->ActiveScheme()->GetCount(), 0);

    panel->Clear();
    try {
        panel->CreateControl(TDrawBox::StaticClass(), 0, 0, 1000, 1000);
        FAIL();
    } catch (const Exception& e) {
        EXPECT_EQ(e.Message(), "Scheme must exist");
    }
    TDrawControl::Create<TDrawScheme>(panel.get(), panel->Schemes(), nullptr);
    ASSERT_NE(panel->ActiveScheme(), nullptr);
    try {
        panel->CreateControl(TDrawBox::StaticClass(), 0, 0, 1000, 1000);
        FAIL();
    } catch (const Exception& e) {
        EXPECT_EQ(e.Message(), "Layer must exist");
    }
}

TEST_F(EditTest, CreateControlKeepsTheClassSizeForZeroAndFiresTheEvent)
{
    TDrawControl* created = nullptr;
    panel->OnControlCreate = [&](TDrawPanel*, TDrawControl* c) { created = c; };
    TDrawControl* c = panel->CreateControl(TDrawBox::StaticClass(), 5000, 6000, 0, 7000);
    EXPECT_EQ(created, c);
    EXPECT_EQ(c->GetWidth(), 1);
    EXPECT_EQ(c->GetHeight(), 7000);
    EXPECT_EQ(c->GetLeft(), 5000);
    EXPECT_EQ(c->Parent(), panel->ActiveScheme());
    EXPECT_EQ(c->Layer(), panel->ActiveLayer());
}

TEST_F(EditTest, SnappingAMoveRoundsToTheGrid)
{
    TPoint d{0, 0};
    panel->DoSnapToGrid(0, SnapBit(snLeft) | SnapBit(snTop), d, TRect(12300, 20000, 15000, 25000));
    EXPECT_EQ(d.x, -2300);
    EXPECT_EQ(d.y, 0);
    d = TPoint{0, 0};
    panel->DoSnapToGrid(0, SnapBit(snLeft) | SnapBit(snTop), d, TRect(15000, 0, 17000, 1000));
    EXPECT_EQ(d.x, 5000);
    // The nearer of two sides wins.
    d = TPoint{0, 0};
    panel->DoSnapToGrid(0, SnapBit(snLeft) | SnapBit(snRight), d, TRect(14000, 0, 19500, 1000));
    EXPECT_EQ(d.x, 500);
    // A resize marker snaps only the sides it moves.
    d = TPoint{1000, 1000};
    panel->DoSnapToGrid(8, SnapBit(snLeft) | SnapBit(snTop), d, TRect(12300, 12300, 18000, 18000));
    EXPECT_EQ(d, (TPoint{1000, 1000}));
    d = TPoint{1000, 1000};
    panel->DoSnapToGrid(8, SnapBit(snAll), d, TRect(12300, 12300, 18000, 18000));
    EXPECT_EQ(d, (TPoint{2000, 2000}));

    panel->SetSnapToGrid(true);
    TDrawControl* c = panel->CreateControl(TDrawBox::StaticClass(), 12300, 17000, 3000, 3000, nullptr, nullptr, true);
    EXPECT_EQ(c->GetLeft(), 10000);
    EXPECT_EQ(c->GetTop(), 20000);
}

TEST_F(EditTest, RunTimePanelDoesNotEdit)
{
    TDrawBox* box = AddBox("b", 50000, 50000, 20000, 20000);
    Press(60, 60);
    Drag(80, 80);
    Release(80, 80);
    EXPECT_EQ(box->GetLeft(), 50000);
    EXPECT_EQ(panel->SelectedCount(), 0);
}

TEST_F(EditTest, ClickSelectsAndDragMovesInDesignMode)
{
    panel->SetDesigning(true);
    TDrawBox* box = AddBox("b", 50000, 50000, 20000, 20000);
    TDrawBox* other = AddBox("o", 150000, 50000, 20000, 20000);
    Press(60, 60);
    EXPECT_TRUE(panel->IsSelected(box));
    EXPECT_EQ(panel->ToolMode(), tmMoving);
    Drag(70, 65);
    Drag(80, 75);
    Release(80, 75);
    EXPECT_EQ(box->GetLeft(), 70000);
    EXPECT_EQ(box->GetTop(), 65000);
    EXPECT_EQ(other->GetLeft(), 150000);
    EXPECT_EQ(panel->ToolMode(), tmSelect);

    // Shift toggles, a miss clears.
    Click(160, 60, Qt::ShiftModifier);
    EXPECT_EQ(panel->SelectedCount(), 2);
    Click(160, 60, Qt::ShiftModifier);
    EXPECT_EQ(panel->SelectedCount(), 1);
    Click(300, 200);
    EXPECT_EQ(panel->SelectedCount(), 0);
}

TEST_F(EditTest, MovingSnapsTheSelectionToTheGrid)
{
    panel->SetDesigning(true);
    panel->SetSnapToGrid(true);
    TDrawBox* box = AddBox("b", 50000, 50000, 20000, 20000);
    Press(60, 60);
    Drag(64, 62);  // 4 pixels: the left edge snaps back to 50000
    EXPECT_EQ(box->GetLeft(), 50000);
    Drag(67, 68);  // 7 and 8 pixels: 57000 and 58000 snap to 60000
    Release(67, 68);
    EXPECT_EQ(box->GetLeft(), 60000);
    EXPECT_EQ(box->GetTop(), 60000);
}

TEST_F(EditTest, RubberBandTogglesTheControlsInside)
{
    panel->SetDesigning(true);
    TDrawBox* a = AddBox("a", 20000, 20000, 10000, 10000);
    TDrawBox* b = AddBox("b", 40000, 20000, 10000, 10000);
    TDrawBox* out = AddBox("out", 200000, 20000, 10000, 10000);
    Press(10, 10);
    EXPECT_EQ(panel->ToolMode(), tmRubberBand);
    Drag(60, 40);
    EXPECT_FALSE(panel->RubberBand().IsEmpty());
    Release(60, 40);
    EXPECT_TRUE(panel->IsSelected(a));
    EXPECT_TRUE(panel->IsSelected(b));
    EXPECT_FALSE(panel->IsSelected(out));
    EXPECT_TRUE(panel->RubberBand().IsEmpty());
    // Again with Shift (keeps the selection): both are unselected.
    Press(10, 10, Qt::ShiftModifier);
    Drag(60, 40, Qt::ShiftModifier);
    Release(60, 40, Qt::ShiftModifier);
    EXPECT_EQ(panel->SelectedCount(), 0);
}

TEST_F(EditTest, ResizingThroughTheBottomRightMarker)
{
    panel->SetDesigning(true);
    TDrawBox* box = AddBox("b", 50000, 50000, 20000, 10000);
    Click(60, 55);
    ASSERT_TRUE(panel->IsSelected(box));
    EXPECT_EQ(panel->FindMarker(70, 60), 8);
    EXPECT_EQ(panel->FindMarker(50, 50), 1);
    EXPECT_EQ(panel->FindMarker(60, 50), 2);
    EXPECT_EQ(panel->FindMarker(100, 100), 0);
    Hover(70, 60);
    EXPECT_EQ(panel->ToolMode(), tmOverMarker);
    EXPECT_EQ(panel->CurrentCursor(), crEditSizeNWSE);
    Press(70, 60);
    EXPECT_EQ(panel->ToolMode(), tmResizing);
    Drag(80, 65);
    Release(80, 65);
    // The travel, one pixel more when positive, is added to the size; the top-left stays.
    EXPECT_EQ(box->GetLeft(), 50000);
    EXPECT_EQ(box->GetTop(), 50000);
    EXPECT_EQ(box->GetWidth(), 31000);
    EXPECT_EQ(box->GetHeight(), 16000);
}

TEST_F(EditTest, ResizingFromTheLeftFlipsPastTheOppositeEdge)
{
    TDrawBox* box = AddBox("b", 50000, 50000, 20000, 10000);
    panel->SelectControl(box);
    panel->ResizeSelection(4, 30000, 0, false, false);
    EXPECT_EQ(box->GetLeft(), 70000);
    EXPECT_EQ(box->GetWidth(), 10000);
    EXPECT_EQ(box->GetHeight(), 10000);
    panel->ResizeSelection(4, 5000, 0, false, false);
    EXPECT_EQ(box->GetLeft(), 55000);
    EXPECT_EQ(box->GetWidth(), 15000);
    panel->SetToolMode(tmSelect);
}

TEST_F(EditTest, ProportionalResizeKeepsTheAspect)
{
    TDrawBox* box = AddBox("b", 0, 0, 20000, 10000);
    panel->SelectControl(box);
    panel->ResizeSelection(8, 20000, 2000, false, true);
    EXPECT_EQ(box->GetWidth(), 24000);
    EXPECT_EQ(box->GetHeight(), 12000);
    panel->SetToolMode(tmSelect);
}

TEST_F(EditTest, CreationByDraggingAndTinyControlsAreDropped)
{
    panel->SetDesigning(true);
    panel->SetCreateClass(TDrawBox::StaticClass());
    EXPECT_EQ(panel->CurrentCursor(), crDrawBox);
    Press(100, 100);
    EXPECT_EQ(panel->ToolMode(), tmCreating);
    Drag(150, 130);
    Release(150, 130);
    ASSERT_EQ(panel->SelectedCount(), 1);
    TDrawControl* c = panel->Selected(0);
    EXPECT_EQ(c->ClassName(), "TDrawBox");
    EXPECT_EQ(c->GetLeft(), 100000);
    EXPECT_EQ(c->GetWidth(), 51000);
    EXPECT_EQ(c->GetHeight(), 31000);
    EXPECT_EQ(panel->ToolMode(), tmSelect);

    const int before = panel->ActiveScheme()->GetCount();
    Click(20, 200);
    EXPECT_EQ(panel->ActiveScheme()->GetCount(), before);
    EXPECT_EQ(panel->SelectedCount(), 0);
}

TEST_F(EditTest, ZoomToolDoublesAndHalves)
{
    panel->SetToolMode(tmZoom);
    EXPECT_EQ(panel->CurrentCursor(), crEditZoomIn);
    Click(160, 120);
    EXPECT_EQ(panel->Scale(), 200);
    EXPECT_EQ(panel->ToolMode(), tmZoom);
    Click(160, 120, Qt::ControlModifier);
    EXPECT_EQ(panel->Scale(), 100);
    // A band zooms so that it fills the window.
    Press(0, 0);
    Drag(80, 60);
    Release(80, 60);
    EXPECT_EQ(panel->Scale(), 400);
}

TEST_F(EditTest, RunTimeClickFollowsAReference)
{
    TDrawCustomScheme* first = panel->ActiveScheme();
    auto* second = TDrawControl::Create<TDrawScheme>(panel.get(), panel->Schemes(), nullptr);
    TDrawBox* link = AddBox("link", 50000, 50000, 20000, 20000);
    link->SetReference(second);
    int clicks = 0;
    panel->OnClick = [&](TDrawPanel*) { ++clicks; };
    Click(10, 10);
    EXPECT_EQ(panel->ActiveScheme(), first);
    EXPECT_EQ(clicks, 1);
    Hover(60, 60);
    EXPECT_EQ(panel->CurrentCursor(), crEditHandPoint);
    Click(60, 60);
    EXPECT_EQ(panel->ActiveScheme(), second);
    EXPECT_EQ(clicks, 2);
}

TEST_F(EditTest, HintsComeFromTheControlUnderTheMouse)
{
    TDrawBox* box = AddBox("b", 50000, 50000, 20000, 20000);
    box->HintProp()->SetText("Двигатель");
    Hover(60, 60);
    EXPECT_EQ(panel->HintControl(), box);
    EXPECT_EQ(panel->CurrentHintText(), "Двигатель");
    box->SetShowHint(false);
    Hover(61, 61);
    EXPECT_NE(panel->HintControl(), box);
    EXPECT_EQ(panel->CurrentHintText(), "");
    panel->SetDesigning(true);
    box->SetShowHint(true);
    Hover(60, 60);
    EXPECT_EQ(panel->CurrentHintText(), "");
}

TEST_F(EditTest, UnselectingWhileMovingReturnsToTheBaseMode)
{
    panel->SetDesigning(true);
    TDrawBox* box = AddBox("b", 50000, 50000, 20000, 20000);
    Press(60, 60);
    ASSERT_EQ(panel->ToolMode(), tmMoving);
    panel->UnselectControl(box);
    EXPECT_EQ(panel->ToolMode(), tmSelect);
    Release(60, 60);
}

TEST_F(EditTest, DeleteAndMoveSelected)
{
    TDrawBox* a = AddBox("a", 0, 0, 1000, 1000);
    TDrawBox* b = AddBox("b", 0, 0, 1000, 1000);
    panel->SelectControl(a);
    panel->SelectControl(b);
    panel->MoveSelected(2000, 3000);
    EXPECT_EQ(a->GetLeft(), 2000);
    EXPECT_EQ(b->GetTop(), 3000);
    panel->DeleteSelected();
    EXPECT_EQ(panel->SelectedCount(), 0);
    EXPECT_EQ(panel->ActiveScheme()->GetCount(), 0);
    EXPECT_EQ(panel->FindControl("a"), nullptr);
}

TEST_F(EditTest, MarkersArePaintedOnlyInDesignMode)
{
    panel->SetColor(clWhite);
    panel->ActiveScheme()->Prop("Brush")->SetPropValue("Color", Variant(int(clWhite)));
    TDrawBox* box = AddBox("b", 50000, 50000, 20000, 20000, clWhite);
    panel->SelectControl(box);
    // Marker 1 covers (47..52, 47..52) around the top-left corner.
    EXPECT_EQ(PixelAt(47, 47), clWhite);
    panel->SetDesigning(true);
    EXPECT_EQ(PixelAt(47, 47), clBlack);
}

TEST_F(EditTest, DraggingAGroupToAnotherPanel)
{
    TDrawBox* box = AddBox("moved", 10000, 10000, 20000, 20000);
    panel->SelectControl(box);
    std::unique_ptr<TDrawDragObject> drag = panel->BeginDragSelection();
    ASSERT_NE(drag, nullptr);
    ASSERT_NE(drag->Group(), nullptr);
    EXPECT_EQ(drag->Group()->GetCount(), 1);

    TDrawPanel target;
    target.resize(320, 240);
    EXPECT_TRUE(target.DragOverPanel(drag.get(), 100, 100, 0));
    EXPECT_EQ(target.SelectedCount(), 1);
    target.DragOverPanel(drag.get(), 120, 100, 2);
    target.DropOnPanel(drag.get(), 120, 100);
    drag.reset();
    TDrawControl* copy = target.FindControl("moved");
    ASSERT_NE(copy, nullptr);
    EXPECT_EQ(copy->Parent(), target.ActiveScheme());
    EXPECT_EQ(copy->Layer(), target.ActiveLayer());
    EXPECT_EQ(target.FindControl("DragGroup"), nullptr);
    EXPECT_NE(panel->FindControl("moved"), nullptr);
}

TEST_F(EditTest, WindowDragEventsCarryTheGroup)
{
    AddBox("carried", 10000, 10000, 20000, 20000);
    panel->SelectControl(panel->FindControl("carried"));
    std::unique_ptr<TDrawDragObject> drag = panel->BeginDragSelection();
    ASSERT_NE(drag, nullptr);
    TDrawPanel::SetActiveDragObject(drag.get());

    TDrawPanel target;
    target.resize(320, 240);
    QMimeData mime;
    mime.setData(TDrawPanel::DragMimeType(), QByteArray());
    QDragEnterEvent enter(QPoint(50, 50), Qt::MoveAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(target.viewport(), &enter);
    EXPECT_TRUE(enter.isAccepted());
    EXPECT_EQ(target.PlacedDragObject(), drag.get());
    QDropEvent drop(QPointF(60, 50), Qt::MoveAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(target.viewport(), &drop);
    TDrawPanel::SetActiveDragObject(nullptr);
    drag.reset();
    ASSERT_NE(target.FindControl("carried"), nullptr);
    EXPECT_EQ(target.FindControl("carried")->Parent(), target.ActiveScheme());

    // Without the scheme format nothing is accepted.
    QMimeData other;
    other.setText("x");
    QDragEnterEvent plain(QPoint(50, 50), Qt::MoveAction, &other, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(target.viewport(), &plain);
    EXPECT_EQ(target.PlacedDragObject(), nullptr);
}

TEST_F(EditTest, PanToolScrollsByTheMouseTravel)
{
    panel->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    panel->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    panel->SetScale(400);
    QCoreApplication::processEvents();
    panel->horizontalScrollBar()->setValue(100);
    panel->verticalScrollBar()->setValue(100);
    ASSERT_EQ(panel->OriginX(), 100);
    panel->SetToolMode(tmPan);
    EXPECT_EQ(panel->CurrentCursor(), crEditPan);
    Press(100, 100);
    EXPECT_EQ(panel->ToolMode(), tmPanning);
    Drag(80, 90);
    EXPECT_EQ(panel->OriginX(), 120);
    EXPECT_EQ(panel->OriginY(), 110);
    Drag(70, 95, Qt::ControlModifier);  // only the larger travel counts
    EXPECT_EQ(panel->OriginX(), 130);
    EXPECT_EQ(panel->OriginY(), 100);
    Release(70, 95);
    EXPECT_EQ(panel->ToolMode(), tmPan);
}

TEST_F(EditTest, RotationGoesInQuarterTurnsAndSkipsReadOnlyLayers)
{
    TDrawBox* box = AddBox("b", 100000, 100000, 20000, 10000);
    panel->SelectControl(box);
    TRotationInfo info;
    info.CenterX = 110000;
    info.CenterY = 105000;
    info.Angle = 100;  // rounds to 90
    panel->RotateSelected(info);
    EXPECT_EQ(box->GetWidth(), 10000);
    EXPECT_EQ(box->GetHeight(), 20000);
    EXPECT_EQ(box->GetLeft(), 105000);
    panel->ActiveLayer()->ReadOnlyProp()->SetValue(true);
    panel->RotateSelected(info);
    EXPECT_EQ(box->GetWidth(), 10000);
}

TEST_F(EditTest, ExportPaintsTheDocumentWithoutWindowDecoration)
{
    panel->SetDesigning(true);
    panel->ActiveScheme()->Prop("Brush")->SetPropValue("Color", Variant(int(clWhite)));
    TDrawBox* box = AddBox("b", 50000, 50000, 20000, 20000, clRed);
    panel->SelectControl(box);
    QImage image(320, 240, QImage::Format_RGB32);
    image.fill(Qt::green);
    TCanvas canvas(&image);
    bool over = false;
    panel->OnPaintOver = [&](TDrawPanel*, TCanvas&, TDrawControl*, bool, bool) { over = true; };
    panel->PaintTo(canvas, TRect(0, 0, 320, 240), false, false, true, false, false, true, nullptr, 100, TPoint{0, 0});
    canvas.Release();
    EXPECT_TRUE(over);
    EXPECT_EQ(FromQColor(image.pixelColor(60, 60)), clRed);
    EXPECT_EQ(FromQColor(image.pixelColor(47, 47)), clWhite);  // no resize marker in an export
    EXPECT_EQ(panel->Scale(), 100);
    EXPECT_FALSE(panel->IsExporting());
    EXPECT_EQ(panel->PaintWidth(), 0);

    // Selected-only painting leaves the rest out.
    image.fill(Qt::green);
    AddBox("other", 100000, 50000, 20000, 20000, clBlue);
    panel->PaintTo(canvas, TRect(0, 0, 320, 240), false, false, true, false, true, true, nullptr, 100, TPoint{0, 0});
    canvas.Release();
    EXPECT_EQ(FromQColor(image.pixelColor(60, 60)), clRed);
    EXPECT_EQ(FromQColor(image.pixelColor(110, 60)), TColor(0x00FF00));
}

TEST_F(EditTest, DragObjectOutlivingTheDocumentItWasPlacedIn)
{
    TDrawBox* box = AddBox("moved", 10000, 10000, 20000, 20000);
    panel->SelectControl(box);
    // the group of a new drag, placed on a new target panel
    auto placed = [this](std::unique_ptr<TDrawPanel>& target) {
        std::unique_ptr<TDrawDragObject> drag = panel->BeginDragSelection();
        target = std::make_unique<TDrawPanel>();
        target->resize(320, 240);
        EXPECT_TRUE(drag && target->DragOverPanel(drag.get(), 100, 100, 0));
        EXPECT_TRUE(drag && drag->Group());
        return drag;
    };
    std::unique_ptr<TDrawPanel> target;
    std::unique_ptr<TDrawDragObject> drag = placed(target);
    ASSERT_NE(drag, nullptr);
    // the target starts a new document: the placed group goes with the old one
    target->NewDocument();
    EXPECT_EQ(drag->Group(), nullptr);
    EXPECT_EQ(target->FindControl("moved"), nullptr);
    target->DragOverPanel(drag.get(), 110, 100, 2);
    EXPECT_EQ(target->FindControl("moved"), nullptr);
    drag.reset();

    // a target freed while the group is placed on it
    drag = placed(target);
    ASSERT_NE(drag, nullptr);
    target.reset();
    EXPECT_EQ(drag->Group(), nullptr);
    drag.reset();
    EXPECT_NE(panel->FindControl("moved"), nullptr);
}

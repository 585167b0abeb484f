// Control base and document tree.
#include "testpanel.h"

#include "platform/canvas.h"
#include "scheme/drawlinks.h"
#include "scheme/drawprops2.h"
#include "scheme/drawshapes.h"

#include <gtest/gtest.h>

namespace {

// A control that counts its paints and can refuse to be freed.
class ProbeControl : public TDrawControl {
public:
    DRAW_CONTROL_CLASS(ProbeControl);
    bool allowFree = true;
    int paints = 0;
    bool CanDestroy() override { return allowFree; }
    void Paint(TCanvas&, const TRect&) override { ++paints; }
    void ControlCreate() override
    {
        TDrawControl::ControlCreate();
        SetVisible(true);
    }

protected:
    ProbeControl() = default;
};
DEFINE_DRAW_CONTROL_CLASS(ProbeControl, TDrawControl)

std::vector<TDrawNotify> CodesOf(const TestPanel& o, TDrawControl* c)
{
    std::vector<TDrawNotify> codes;
    for (const auto& [ctl, code] : o.Notes)
        if (ctl == c)
            codes.push_back(code);
    return codes;
}

TEST(ControlBase, NewControlGetsIdNameAndTheActiveSchemeAndLayer)
{
    TestPanel o;
    auto* box = o.Make<TDrawBox>();
    EXPECT_EQ(box->GetName(), "Box");
    EXPECT_NE(box->GetID(), 0u);
    EXPECT_TRUE(o.IdPool().Used(box->GetID()));
    EXPECT_EQ(box->Parent(), o.Scheme0());
    EXPECT_EQ(box->Layer(), o.Layer0());
    EXPECT_EQ(o.Layer0()->GetName(), "Layer1");
    EXPECT_EQ(o.Scheme0()->GetName(), "Scheme1");
    EXPECT_TRUE(box->GetShowHint());
    const uint32_t id = box->GetID();
    box->Free();
    EXPECT_FALSE(o.IdPool().Used(id));
}

TEST(ControlBase, NonPositiveWidthBecomesOneWithOneGeometryNote)
{
    TestPanel o;
    auto* c = o.Make<ProbeControl>();
    o.Notes.clear();
    c->SetWidth(-5);
    EXPECT_EQ(c->GetWidth(), 1);
    EXPECT_EQ(o.CountNotes(c, dnGeometry), 1);
}

TEST(ControlBase, UpdateDefersGeometryThenLinkPointNotes)
{
    TestPanel o;
    auto* c = o.Make<ProbeControl>();
    TPoint anchored(5000, 5000);
    o.Notes.clear();
    EXPECT_TRUE(c->BeginUpdate());
    EXPECT_FALSE(c->BeginUpdate());
    c->SetLeft(3000);
    c->AddLinkPoint(&anchored);
    c->EndUpdate();
    EXPECT_TRUE(CodesOf(o, c).empty());
    c->EndUpdate();
    EXPECT_EQ(CodesOf(o, c), (std::vector<TDrawNotify>{dnGeometry, dnLinkPoints}));
    EXPECT_FALSE(c->EndUpdate());
    c->RemoveLinkPoint(&anchored);
}

TEST(ControlBase, EndUpdateWithoutBeginSendsNothing)
{
    TestPanel o;
    auto* c = o.Make<ProbeControl>();
    o.Notes.clear();
    EXPECT_FALSE(c->EndUpdate());
    EXPECT_TRUE(o.Notes.empty());
}

TEST(ControlBase, ReparentingNotifiesOnlyTheNewParent)
{
    TestPanel o;
    auto* g1 = o.Make<TDrawGroup>();
    auto* g2 = o.Make<TDrawGroup>();
    auto* c = TDrawControl::Create<ProbeControl>(&o, g1, o.Layer0());
    o.Notes.clear();
    g2->Add(c);
    EXPECT_EQ(c->Parent(), g2);
    EXPECT_EQ(g1->GetCount(), 0);
    EXPECT_EQ(o.CountNotes(c, dnParent), 1);
    EXPECT_EQ(o.CountNotes(g2, dnChildren), 1);
    EXPECT_EQ(o.CountNotes(g1, dnChildren), 0);
}

TEST(ControlBase, RefusedFreeLeavesTheControlInPlace)
{
    TestPanel o;
    auto* c = o.Make<ProbeControl>();
    c->TagProp()->SetValue(7);
    c->allowFree = false;
    EXPECT_FALSE(c->Free());
    EXPECT_EQ(o.Scheme0()->IndexOf(c), 0);
    EXPECT_EQ(c->TagProp()->GetValue(), 7);
    c->allowFree = true;
    EXPECT_TRUE(c->Free());
    EXPECT_EQ(o.Scheme0()->GetCount(), 0);
}

TEST(ControlBase, HitTestingAndPaintingFollowLayersAndOrder)
{
    TestPanel o;
    auto* a = o.Make<ProbeControl>(0, 0, 20000, 20000);
    auto* b = o.Make<ProbeControl>(10000, 10000, 20000, 20000);
    EXPECT_EQ(o.Scheme0()->FindControlAtPoint(15, 15), b);
    EXPECT_EQ(o.Scheme0()->FindControlAtPoint(5, 5), a);
    EXPECT_EQ(o.Scheme0()->FindControlAtPoint(50, 50), nullptr);

    TDrawLayer* hidden = o.Layers()->New();
    b->SetLayer(hidden);
    hidden->SetVisible(false);
    hidden->SelectableProp()->SetValue(false);
    EXPECT_EQ(o.Scheme0()->FindControlAtPoint(15, 15), a);
    QImage image(100, 100, QImage::Format_RGB32);
    TCanvas canvas(&image);
    o.Scheme0()->PaintAll(canvas, 0, 0);
    EXPECT_EQ(a->paints, 1);
    EXPECT_EQ(b->paints, 0);
}

TEST(ControlBase, PaintCullsWhatEndsLeftOfTheArea)
{
    TestPanel o;
    auto* c = o.Make<ProbeControl>(-11000, 0, 10000, 10000);
    QImage image(10, 10, QImage::Format_RGB32);
    TCanvas canvas(&image);
    c->PaintAll(canvas, -11000, 0);  // right edge at pixel -1
    EXPECT_EQ(c->paints, 0);
    c->PaintAll(canvas, -10000, 0);  // right edge at pixel 0
    EXPECT_EQ(c->paints, 1);
}

TEST(ControlBase, UniqueNamesCompareLetterCase)
{
    TestPanel o;
    auto* a = o.Make<ProbeControl>();
    auto* b = o.Make<ProbeControl>();
    a->SetName("Pump");
    b->SetName("pump");
    EXPECT_TRUE(a->IsUniqueName(true, true));
    b->SetName("Pump");
    EXPECT_FALSE(a->IsUniqueName(true, true));
    a->SetName("");
    EXPECT_FALSE(a->IsUniqueName(true, false));
    EXPECT_EQ(o.Scheme0()->FindByName("Pump"), b);
}

TEST(ControlBase, RotationIsNormalisedAndMirrored)
{
    const TRotationInfo info{5000, 5000, 90, true};
    const TRect r = RotateRect(TRect(0, 0, 10000, 4000), info);
    EXPECT_LE(r.Left, r.Right);
    EXPECT_LE(r.Top, r.Bottom);
    EXPECT_EQ(r.Width(), 4000);
    EXPECT_EQ(r.Height(), 10000);
    EXPECT_EQ(RotatePoint(TPoint(6000, 5000), TRotationInfo{5000, 5000, 90, false}), TPoint(5000, 4000));
    EXPECT_EQ(RotatePoint(TPoint(6000, 5000), TRotationInfo{5000, 5000, 90, true}), TPoint(5000, 6000));
}

TEST(ControlBase, RegisteredLinkPointsFollowGeometry)
{
    TestPanel o;
    auto* c = o.Make<ProbeControl>(0, 0, 10000, 10000);
    EXPECT_THROW(c->GetRegisteredLinkPoint(0), Exception);
    TPoint p(10000, 5000);
    c->AddLinkPoint(&p);
    EXPECT_EQ(c->AddLinkPoint(&p), 0);
    c->SetWidth(20000);
    EXPECT_EQ(p, TPoint(20000, 5000));
    c->SetLeft(1000);
    EXPECT_EQ(p, TPoint(21000, 5000));
    c->LockLinkPoints();
    c->SetTop(1000);
    EXPECT_EQ(p, TPoint(21000, 5000));
    c->UnlockLinkPoints();
    c->RemoveLinkPoint(&p);
    EXPECT_EQ(c->GetLinkPointsCount(), 0);
    try {
        c->SetRegisteredLinkPoint(2, TPoint());
        FAIL();
    } catch (const Exception& e) {
        EXPECT_EQ(e.Message(), "List index out of bounds (2)");
    }
}

TEST(ControlBase, ReadOnlyAndFixedLayersRefuseChanges)
{
    TestPanel o;
    auto* c = o.Make<ProbeControl>(0, 0, 10000, 10000);
    o.Layer0()->MoveableProp()->SetValue(false);
    c->SetLeft(5000);
    EXPECT_EQ(c->GetLeft(), 0);
    c->TagProp()->SetValue(3);
    EXPECT_EQ(c->TagProp()->GetValue(), 3);
    o.Layer0()->ReadOnlyProp()->SetValue(true);
    c->TagProp()->SetValue(4);
    EXPECT_EQ(c->TagProp()->GetValue(), 3);
}

TEST(ControlBase, LayerPropertyMovesTheControl)
{
    TestPanel o;
    auto* c = o.Make<ProbeControl>();
    TDrawLayer* second = o.Layers()->New();
    c->LayerProp()->SetPropValue(QString(), Variant(second->GetName()));
    EXPECT_EQ(c->Layer(), second);
    EXPECT_EQ(c->LayerProp()->GetValue(), second->GetName());
    c->LayerProp()->SetPropValue(QString(), Variant(o.Layer0()->GetName()));
    EXPECT_EQ(c->Layer(), o.Layer0());
}

// ---------------------------------------------------------------- tree

TEST(DocumentTree, RegistryKeepsOneEntryPerClass)
{
    const std::size_t before = ControlClasses().size();
    RegisterControlClass(ProbeControl::StaticClass());
    RegisterControlClass(ProbeControl::StaticClass());
    EXPECT_EQ(ControlClasses().size(), before + 1);
    EXPECT_EQ(FindControlClass("tdrawbox"), TDrawBox::StaticClass());
    EXPECT_EQ(ControlClasses().front(), TDrawBox::StaticClass());
    EXPECT_EQ(FindControlClass("TNothing"), nullptr);
}

TEST(DocumentTree, LinkPathsNameControlsAndProperties)
{
    TestPanel o;
    auto* box = o.Make<TDrawBox>();
    box->SetID(12);
    box->SetName("Pu\\mp");
    EXPECT_EQ(LinkPathOf(box, nullptr), "\\12:Pump");
    EXPECT_EQ(LinkPathOf(box, box->BrushProp()), "\\12:Pump\\Brush");
    TDrawControl* c = nullptr;
    TCustomProp* p = nullptr;
    EXPECT_TRUE(ParseLinkPath("\\12:OldName\\Brush", &o, c, {}, p));
    EXPECT_EQ(c, box);
    EXPECT_EQ(p, box->BrushProp());
    EXPECT_TRUE(ParseLinkPath("\\12", &o, c, {}, p));
    EXPECT_EQ(c, box);
    EXPECT_EQ(p, nullptr);
    EXPECT_FALSE(ParseLinkPath("12:Pump", &o, c, {}, p));
    EXPECT_FALSE(ParseLinkPath("\\99:Pump", &o, c, {}, p));
    EXPECT_FALSE(ParseLinkPath("\\12:Pump\\Nothing", &o, c, {}, p));
    EXPECT_TRUE(ParseLinkPath("\\7", &o, c, [](uint32_t) { return 12u; }, p));
    EXPECT_EQ(c, box);
    EXPECT_TRUE(ParseLinkPath("", &o, c, {}, p));
    EXPECT_EQ(c, nullptr);
}

TEST(DocumentTree, ActiveLayerFollowsDeletion)
{
    TestPanel o;
    TDrawLayer* first = o.Layer0();
    TDrawLayer* second = o.Layers()->New();
    o.SetActiveLayer(second);
    second->Free();
    EXPECT_EQ(o.ActiveLayer(), first);
    first->Free();
    EXPECT_EQ(o.ActiveLayer(), nullptr);
    EXPECT_EQ(o.Layers()->Add(o.Make<ProbeControl>()), -1);
}

TEST(DocumentTree, FreeingALayerFreesItsControls)
{
    TestPanel o;
    TDrawLayer* second = o.Layers()->New();
    o.Make<ProbeControl>();
    auto* onSecond = TDrawControl::Create<ProbeControl>(&o, o.Scheme0(), second);
    (void)onSecond;
    EXPECT_EQ(o.Scheme0()->GetCount(), 2);
    second->Free();
    EXPECT_EQ(o.Scheme0()->GetCount(), 1);
}

TEST(DocumentTree, ExactlyOneSchemeIsDefault)
{
    TestPanel o;
    TDrawCustomScheme* first = o.Scheme0();
    EXPECT_TRUE(first->IsDefault());
    first->SetDefault(false);
    EXPECT_TRUE(first->IsDefault());
    auto* second = TDrawControl::Create<TDrawScheme>(&o, o.Schemes(), nullptr);
    EXPECT_EQ(second->GetName(), "Scheme2");
    EXPECT_FALSE(second->IsDefault());
    second->SetDefault(true);
    EXPECT_FALSE(first->IsDefault());
}

TEST(DocumentTree, FreeingASchemeClearsReferences)
{
    TestPanel o;
    auto* second = TDrawControl::Create<TDrawScheme>(&o, o.Schemes(), nullptr);
    auto* box = o.Make<TDrawBox>();
    box->ReferenceProp()->SetPropValue(QString(), Variant(second->GetName()));
    EXPECT_EQ(box->GetReference(), second);
    box->ReferenceProp()->SetPropValue(QString(), Variant(QString("Nowhere")));
    EXPECT_EQ(box->GetReference(), second);
    second->Free();
    EXPECT_EQ(box->GetReference(), nullptr);
    box->SetReference(o.Scheme0());
    box->ReferenceProp()->SetPropValue(QString(), Variant(QString()));
    EXPECT_EQ(box->GetReference(), nullptr);
}

TEST(DocumentTree, RenamingALayerToATakenNameReverts)
{
    TestPanel o;
    TDrawLayer* second = o.Layers()->New();
    EXPECT_EQ(second->GetName(), "Layer2");
    second->SetName("Layer1");
    EXPECT_EQ(second->GetName(), "Layer2");
    second->SetName("");
    EXPECT_EQ(second->GetName(), "Layer2");
    second->SetName("Walls");
    EXPECT_EQ(second->GetName(), "Walls");
}

TEST(DocumentTree, GroupBoundsFollowItsChildren)
{
    TestPanel o;
    auto* g = o.Make<TDrawGroup>(10000, 10000, 50000, 50000);
    auto* a = TDrawControl::Create<ProbeControl>(&o, g, o.Layer0());
    g->BeginUpdate();
    a->SetDocRect(TRect(12000, 13000, 22000, 23000));
    g->EndUpdate();
    g->RecalcBounds();
    EXPECT_EQ(g->GetDocRect(), TRect(12000, 13000, 22000, 23000));
    EXPECT_EQ(a->GetLeft(), 0);
    EXPECT_EQ(a->GetDocRect(), TRect(12000, 13000, 22000, 23000));
}

TEST(DocumentTree, ResizingAGroupScalesItsDescendants)
{
    TestPanel o;
    auto* g = o.Make<TDrawGroup>(0, 0, 10000, 10000);
    auto* a = TDrawControl::Create<ProbeControl>(&o, g, o.Layer0());
    auto* b = TDrawControl::Create<ProbeControl>(&o, g, o.Layer0());
    a->SetDocRect(TRect(0, 0, 4000, 10000));
    b->SetDocRect(TRect(6000, 0, 10000, 10000));
    ASSERT_EQ(g->GetWidth(), 10000);
    g->SetWidth(20000);
    EXPECT_EQ(a->GetWidth(), 8000);
    EXPECT_EQ(b->GetWidth(), 8000);
    EXPECT_EQ(b->GetLeft(), 12000);
    EXPECT_FALSE(b->HasState(csTranslating));
}

TEST(DocumentTree, TreeWalkIsDepthFirstWithoutTheRoot)
{
    TestPanel o;
    auto* g = o.Make<TDrawGroup>();
    auto* a = TDrawControl::Create<ProbeControl>(&o, g, o.Layer0());
    auto* b = o.Make<ProbeControl>();
    std::vector<TDrawControl*> seen;
    TPassControlRec rec;
    TreeIterFirst(o.Scheme0(), rec);
    for (TDrawControl* c = TreeIterNext(rec); c; c = TreeIterNext(rec))
        seen.push_back(c);
    EXPECT_EQ(seen, (std::vector<TDrawControl*>{g, a, b}));
    EXPECT_EQ(o.Schemes()->FindByID(a->GetID()), a);
}

TEST(DocumentTree, SchemesContainerCarriesTheDocumentSize)
{
    TestPanel o;
    o.Schemes()->SetWidth(500000);
    EXPECT_EQ(o.DocWidth(), 500000);
    EXPECT_EQ(o.Scheme0()->GetWidth(), 500000);
    EXPECT_EQ(o.Schemes()->GetID(), 1u);
    o.Schemes()->VersionProp()->SetValue(5);
    EXPECT_EQ(o.Schemes()->VersionProp()->GetValue(), 130);
}

}  // namespace

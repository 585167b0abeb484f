// The panel: coordinates, scale, scrolling, painting, lookup, IDs and names, loading and saving.
#include "scheme/drawpanel.h"

#include "platform/application.h"
#include "platform/canvas.h"
#include "platform/exceptions.h"
#include "platform/streams.h"
#include "platform/text.h"
#include "scheme/drawlinks.h"
#include "scheme/drawutils.h"

#include <QApplication>
#include <QPaintEvent>
#include <QPainter>
#include <QResizeEvent>
#include <QScrollBar>
#include <algorithm>
#include <cmath>

namespace {

TDrawControl* TopmostOf(TDrawControl* c)
{
    while (c && c->Parent())
        c = c->Parent();
    return c;
}

int CountSubtree(TDrawControl* root)
{
    if (!root)
        return 0;
    int n = 1;
    TPassControlRec rec;
    TreeIterFirst(root, rec);
    while (TreeIterNext(rec))
        ++n;
    TreeIterClose(rec);
    return n;
}

}  // namespace

// ---------------------------------------------------------------- life

TDrawPanel::TDrawPanel(QWidget* parent) : QAbstractScrollArea(parent), FCanvas(std::make_unique<TCanvas>())
{
    resize(185, 41);
    setFrameShape(QFrame::Box);
    setFrameShadow(QFrame::Plain);
    setLineWidth(1);
    viewport()->setMouseTracking(true);
    viewport()->setAcceptDrops(true);
    viewport()->setAttribute(Qt::WA_OpaquePaintEvent);
    viewport()->setAttribute(Qt::WA_NoSystemBackground);
    FDocSpaceBrush.SetColor(clBtnFace);
    FDocSpaceBrush.SetStyle(bsBDiagonal);
    FDocSpaceBrush.OnChange = [this] { InvalidateWindow(); };

    FLayers = TDrawControl::Create<TDrawLayers>(this, nullptr, nullptr);
    FSchemes = TDrawControl::Create<TDrawSchemes>(this, nullptr, nullptr);
    // the document object carries the size from the start, so a new document saves it
    FSchemes->SetWidth(FDocWidth);
    FSchemes->SetHeight(FDocHeight);
    FGrid = TDrawControl::Create<TDrawGrid>(this, nullptr, nullptr);
    FGrid->SetHorizSize(10000);
    FGrid->SetVertSize(10000);
    NewDocument();
    UpdateScrollRanges();
}

TDrawPanel::~TDrawPanel()
{
    if (FNotifyLink)
        FNotifyLink->DestroyNotify();
    Clear();
    OnNotify = nullptr;
    FDestroying = true;
    FSchemes->Free();
    FSchemes = nullptr;
    FLayers->Free();
    FLayers = nullptr;
    FGrid->Free();
    FGrid = nullptr;
    FNotifyLink.reset();
}

TNotifyLink* TDrawPanel::GetNotifyLink()
{
    if (!FNotifyLink)
        FNotifyLink = std::make_unique<TNotifyLink>(static_cast<TDrawOwner*>(this));
    return FNotifyLink.get();
}

void TDrawPanel::Clear()
{
    UnselectAll();
    FActiveScheme = nullptr;
    if (FSchemes)
        FSchemes->DeleteChildren();
    FActiveLayer = nullptr;
    if (FLayers)
        FLayers->DeleteChildren();
}

void TDrawPanel::NewDocument()
{
    Clear();
    if (FSchemes->GetCount() > 0)
        SetActiveScheme(FSchemes->GetScheme(0));
    else
        SetActiveScheme(TDrawControl::Create<TDrawScheme>(this, FSchemes, nullptr));
    if (FLayers->GetCount() > 0)
        SetActiveLayer(FLayers->GetLayer(0));
    else
        SetActiveLayer(FLayers->New());
}

// ---------------------------------------------------------------- coordinates

void TDrawPanel::DocToClient(int& x, int& y) const
{
    // far out of the window a document point stays far out (bounded), never wraps
    x = ClampClient(ScaleValue64(x, FScale) - FOriginX);
    y = ClampClient(ScaleValue64(y, FScale) - FOriginY);
}

void TDrawPanel::DocToClientPoint(TPoint& p) const
{
    DocToClient(p.x, p.y);
}

void TDrawPanel::DocToClientRect(TRect& r) const
{
    DocToClient(r.Left, r.Top);
    DocToClient(r.Right, r.Bottom);
}

void TDrawPanel::ClientToDoc(int& x, int& y) const
{
    x = ClampToInt(MulDiv64(int64_t(x) + FOriginX, 100000, FScale));
    y = ClampToInt(MulDiv64(int64_t(y) + FOriginY, 100000, FScale));
}

int TDrawPanel::ClientWidth() const
{
    return viewport()->width();
}

int TDrawPanel::ClientHeight() const
{
    return viewport()->height();
}

TRect TDrawPanel::ClientRect() const
{
    return TRect(0, 0, ClientWidth(), ClientHeight());
}

// ---------------------------------------------------------------- scale, size, scrolling

void TDrawPanel::SetScale(int value)
{
    if (FPainting || FCanvas->LockCount() > 0)
        return;
    if (FAutoZoom) {
        const int dw = FDocWidth / 1000;
        const int dh = FDocHeight / 1000;
        // A document smaller than one pixel keeps the given value.
        if (dw != 0 && dh != 0)
            value = std::min(ClientWidth() * 100 / dw, ClientHeight() * 100 / dh);
    }
    value = std::clamp(value, 1, 50000);
    if (value == FScale)
        return;
    FScale = value;
    UpdateScrollRanges();
    RefreshMarkers();
    InvalidateWindow();
    DoNotify(nullptr, dnScale);
}

void TDrawPanel::SetAutoZoom(bool v)
{
    if (v == FAutoZoom)
        return;
    FAutoZoom = v;
    if (v)
        SetScale(FScale - 1);
}

void TDrawPanel::SetDocWidth(int value)
{
    if (FPainting || value == FDocWidth)
        return;
    FDocWidth = value;
    UpdateScrollRanges();
    if (FSchemes && FSchemes->GetWidth() != value)
        FSchemes->SetWidth(value);
    InvalidateWindow();
}

void TDrawPanel::SetDocHeight(int value)
{
    if (FPainting || value == FDocHeight)
        return;
    FDocHeight = value;
    UpdateScrollRanges();
    if (FSchemes && FSchemes->GetHeight() != value)
        FSchemes->SetHeight(value);
    InvalidateWindow();
}

int TDrawPanel::ScaledDocExtent(int value) const
{
    // at most a quarter of the 32-bit range each way, so that the origin plus window coordinates
    // always fit; a document larger than that at this scale scrolls over its first part only
    return int(std::clamp<int64_t>(ScaleValue64(value, FScale), -(INT_MAX / 4), INT_MAX / 4));
}

void TDrawPanel::UpdateScrollRanges()
{
    if (FPainting || FUpdatingRanges)
        return;
    FUpdatingRanges = true;
    {
        TScopeExit done{[this] { FUpdatingRanges = false; }};
        const int step = std::max(1, FScale / 100);
        const int w = ScaledDocExtent(FDocWidth);
        const int h = ScaledDocExtent(FDocHeight);
        QScrollBar* hb = horizontalScrollBar();
        QScrollBar* vb = verticalScrollBar();
        hb->setRange(0, std::max(0, w - ClientWidth()));
        hb->setPageStep(std::max(1, ClientWidth()));
        hb->setSingleStep(step);
        vb->setRange(0, std::max(0, h - ClientHeight()));
        vb->setPageStep(std::max(1, ClientHeight()));
        vb->setSingleStep(step);
    }
    UpdateOrigin();
}

void TDrawPanel::UpdateOrigin()
{
    if (FPainting || FUpdatingRanges || FDestroying)
        return;
    const auto barShown = [](Qt::ScrollBarPolicy policy, const QScrollBar* bar) {
        return policy == Qt::ScrollBarAlwaysOn || (policy == Qt::ScrollBarAsNeeded && bar->maximum() > 0);
    };
    if (barShown(horizontalScrollBarPolicy(), horizontalScrollBar()))
        FOriginX = horizontalScrollBar()->value();
    else
        FOriginX = (ScaledDocExtent(FDocWidth) - ClientWidth()) / 2;
    if (barShown(verticalScrollBarPolicy(), verticalScrollBar()))
        FOriginY = verticalScrollBar()->value();
    else
        FOriginY = (ScaledDocExtent(FDocHeight) - ClientHeight()) / 2;
    UpdateEditMarkers();
    const int64_t left = MulDiv64(FOriginX, 100000, FScale);
    const int64_t top = MulDiv64(FOriginY, 100000, FScale);
    const TRect v(ClampToInt(left), ClampToInt(top), ClampToInt(left + MulDiv64(ClientWidth(), 100000, FScale)),
                  ClampToInt(top + MulDiv64(ClientHeight(), 100000, FScale)));
    if (!(v == FVisibleDocRect)) {
        FVisibleDocRect = v;
        DoNotify(nullptr, dnView);
    }
}

void TDrawPanel::resizeEvent(QResizeEvent* event)
{
    QAbstractScrollArea::resizeEvent(event);
    Guarded([this] {
        if (FAutoZoom)
            SetScale(FScale);
        UpdateScrollRanges();
        InvalidateWindow();
    });
}

void TDrawPanel::scrollContentsBy(int, int)
{
    Guarded([this] {
        UpdateOrigin();
        InvalidateWindow();
    });
}

void TDrawPanel::ZoomTo(int newScale, const TRect* rect)
{
    TPoint centre;
    if (rect) {
        centre = TPoint{int((int64_t(rect->Left) + rect->Right) / 2), int((int64_t(rect->Top) + rect->Bottom) / 2)};
    } else {
        centre = TPoint{ClientWidth() / 2, ClientHeight() / 2};
        ClientToDoc(centre.x, centre.y);
    }
    SetScale(newScale);
    horizontalScrollBar()->setValue(ScaledDocExtent(centre.x) - ClientWidth() / 2);
    verticalScrollBar()->setValue(ScaledDocExtent(centre.y) - ClientHeight() / 2);
    UpdateOrigin();
    RefreshMarkers();
    InvalidateWindow();
}

// ---------------------------------------------------------------- simple setters

void TDrawPanel::SetDocFrameColor(TColor v)
{
    if (v == FDocFrameColor)
        return;
    FDocFrameColor = v;
    if (FShowDocFrame)
        InvalidateWindow();
}

void TDrawPanel::SetDocShadowColor(TColor v)
{
    if (v == FDocShadowColor)
        return;
    FDocShadowColor = v;
    if (FShowDocFrame)
        InvalidateWindow();
}

void TDrawPanel::SetDocSpaceFill(bool v)
{
    if (v != FDocSpaceFill) {
        FDocSpaceFill = v;
        InvalidateWindow();
    }
}

void TDrawPanel::SetDocClipping(bool v)
{
    if (v != FDocClipping) {
        FDocClipping = v;
        InvalidateWindow();
    }
}

void TDrawPanel::SetSchemeBkStretch(bool v)
{
    if (v != FSchemeBkStretch) {
        FSchemeBkStretch = v;
        InvalidateWindow();
    }
}

void TDrawPanel::SetSchemeBackground(bool v)
{
    if (v != FSchemeBackground) {
        FSchemeBackground = v;
        InvalidateWindow();
    }
}

void TDrawPanel::SetShowDocFrame(bool v)
{
    if (v != FShowDocFrame) {
        FShowDocFrame = v;
        InvalidateWindow();
    }
}

void TDrawPanel::SetColor(TColor v)
{
    if (v != FColor) {
        FColor = v;
        InvalidateWindow();
    }
}

bool TDrawPanel::ShowGrid() const { return FGrid->GetVisible(); }
void TDrawPanel::SetShowGrid(bool v)
{
    if (v != FGrid->GetVisible()) {
        FGrid->SetVisible(v);
        InvalidateWindow();
    }
}
bool TDrawPanel::ShowPixGrid() const { return FGrid->ShowPixGrid(); }
void TDrawPanel::SetShowPixGrid(bool v) { FGrid->SetShowPixGrid(v); }
bool TDrawPanel::SnapToGrid() const { return FGrid->SnapToGrid; }
void TDrawPanel::SetSnapToGrid(bool v) { FGrid->SnapToGrid = v; }
TDrawSnaps TDrawPanel::SnapStyle() const { return FGrid->SnapStyle; }
void TDrawPanel::SetSnapStyle(TDrawSnaps v) { FGrid->SnapStyle = v; }
TDrawGridStyle TDrawPanel::GridStyle() const { return FGrid->Style(); }
void TDrawPanel::SetGridStyle(TDrawGridStyle v) { FGrid->SetStyle(v); }
TColor TDrawPanel::GridColor() const { return FGrid->Color(); }
void TDrawPanel::SetGridColor(TColor v) { FGrid->SetColor(v); }
TColor TDrawPanel::GridPixColor() const { return FGrid->PixColor(); }
void TDrawPanel::SetGridPixColor(TColor v) { FGrid->SetPixColor(v); }
int TDrawPanel::GridHorizSize() const { return FGrid->HorizSize(); }
void TDrawPanel::SetGridHorizSize(int v) { FGrid->SetHorizSize(v); }
int TDrawPanel::GridVertSize() const { return FGrid->VertSize(); }
void TDrawPanel::SetGridVertSize(int v) { FGrid->SetVertSize(v); }

bool TDrawPanel::IsShiftDown() const
{
    return (QApplication::keyboardModifiers() & Qt::ShiftModifier) != 0;
}

// ---------------------------------------------------------------- invalidation

void TDrawPanel::InvalidateClientRect(const TRect& r)
{
    if (FDestroying || r.IsEmpty())
        return;
    viewport()->update(r.ToQRect());
}

void TDrawPanel::InvalidateWindow()
{
    if (!FDestroying)
        viewport()->update();
}

void TDrawPanel::InvalidateDocRect(const TRect& r)
{
    if (r.IsEmpty())
        return;
    TRect c = r;
    DocToClientRect(c);
    InvalidateClientRect(c);
}

// ---------------------------------------------------------------- lookup

TDrawControl* TDrawPanel::FindInSubtree(TDrawControl* root, const QString& name) const
{
    if (!root)
        return nullptr;
    if (root->GetName() == name)
        return root;
    TPassControlRec rec;
    TreeIterFirst(root, rec);
    TDrawControl* found = nullptr;
    while (TDrawControl* c = TreeIterNext(rec))
        if (c->GetName() == name) {
            found = c;
            break;
        }
    TreeIterClose(rec);
    return found;
}

TDrawControl* TDrawPanel::FindControl(const QString& name, TDrawControl* root) const
{
    if (root)
        return FindInSubtree(root, name);
    if (TDrawControl* c = FindInSubtree(FSchemes, name))
        return c;
    return FindInSubtree(FLayers, name);
}

TDrawControl* TDrawPanel::FindControlByID(uint32_t id, TDrawControl* root) const
{
    if (id == 0 || !FIdPool.Used(id))
        return nullptr;
    if (root)
        return root->FindByID(id);
    if (TDrawControl* c = FSchemes ? FSchemes->FindByID(id) : nullptr)
        return c;
    if (TDrawControl* c = FLayers ? FLayers->FindByID(id) : nullptr)
        return c;
    // controls read into a group outside the document (a drag) find each other too
    return FLoadRoot ? FLoadRoot->FindByID(id) : nullptr;
}

TDrawControl* TDrawPanel::FindControlAtPoint(int x, int y) const
{
    return FActiveScheme ? FActiveScheme->FindControlAtPoint(x, y) : nullptr;
}

// ---------------------------------------------------------------- IDs and names

void TDrawPanel::GenerateID(TDrawControl* control)
{
    if (!control || FAssigningID || control->IDProp()->IsReadOnly())
        return;
    FAssigningID = true;
    FAssigningControl = control;
    TScopeExit done{[this] {
        FAssigningID = false;
        FAssigningControl = nullptr;
    }};
    const uint32_t id = FIdPool.Generate();
    control->SetID(id);
}

bool TDrawPanel::ChangeControlID(TDrawControl* control, uint32_t oldId)
{
    if (!control || (FAssigningID && FAssigningControl == control))
        return false;
    const uint32_t requested = control->GetID();
    bool result;
    if (requested == 0) {
        FIdPool.Release(oldId);
        return true;
    }
    if (!control->IDProp()->IsReadOnly()) {
        FAssigningID = true;
        FAssigningControl = control;
        TScopeExit done{[this] {
            FAssigningID = false;
            FAssigningControl = nullptr;
        }};
        if (!FIdPool.Used(requested)) {
            FIdPool.Release(oldId);
            FIdPool.Use(requested);
        } else {
            control->SetID(oldId != 0 ? oldId : FIdPool.Generate());
        }
        result = true;
    } else {
        result = !FIdPool.Used(requested);
    }
    // Link paths of the document name the ID it was written with; they resolve to the one given.
    if (IsLoading())
        FPropRefList.AddTranslation(requested, control->GetID());
    return result;
}

void TDrawPanel::GenerateControlName(TDrawControl* control, TDrawControl* root, QString& name, bool numbered)
{
    QString base = control ? control->ClassName() : QString();
    if (base.size() <= 5) {
        if (base.startsWith(QLatin1Char('T')))
            base.remove(0, 1);
    } else if (base.startsWith(QLatin1String("TDraw"))) {
        base.remove(0, 5);
    } else if (base.startsWith(QLatin1Char('T'))) {
        base.remove(0, 1);
    }
    if (!numbered || IsLoading()) {
        name = base;
        return;
    }
    std::vector<long long> used;
    const auto collect = [&](TDrawControl* r) {
        if (!r)
            return;
        const auto check = [&](TDrawControl* c) {
            if (c == control)
                return;
            const QString n = c->GetName();
            if (!n.startsWith(base) || n.size() == base.size())
                return;
            const QString rest = n.mid(base.size());
            for (QChar ch : rest)
                if (ch < QLatin1Char('0') || ch > QLatin1Char('9'))
                    return;
            bool ok = false;
            const long long v = rest.toLongLong(&ok);
            if (ok && v > 0)
                used.push_back(v);
        };
        check(r);
        TPassControlRec rec;
        TreeIterFirst(r, rec);
        while (TDrawControl* c = TreeIterNext(rec))
            check(c);
        TreeIterClose(rec);
    };
    if (root) {
        collect(root);
    } else {
        collect(FSchemes);
        collect(FLayers);
    }
    std::sort(used.begin(), used.end());
    long long n = 1;
    for (long long v : used) {
        if (v == n)
            ++n;
        else if (v > n)
            break;
    }
    name = base + QString::number(n);
}

// ---------------------------------------------------------------- notification

void TDrawPanel::DoNotify(TDrawControl* control, TDrawNotify code)
{
    if (code == dnChildren || (code >= dnLayers && code <= dnDestroying))
        FModified = true;
    switch (code) {
    case dnGeometry:
    case dnPoints:
        if (control && IsSelected(control))
            RefreshMarkers();
        break;
    case dnOutline:
        if (control && IsSelected(control))
            UpdateEditMarkers();
        break;
    case dnDestroying:
        if (control) {
            if (FControlUnderMouse == control)
                FControlUnderMouse = nullptr;
            if (FHintControl == control)
                FHintControl = nullptr;
            if (FLinkPointControl == control) {
                FLinkPointControl = nullptr;
                FLinkPointIndex = -1;
            }
            if (FEditControl == control)
                SetEditControl(nullptr);
            const auto it = std::find(FSelection.begin(), FSelection.end(), control);
            if (it != FSelection.end())
                FSelection.erase(it);
            std::erase_if(FResizeRects, [control](const auto& entry) { return entry.first == control; });
            if (FAssigningControl == control)
                FAssigningControl = nullptr;
            if (FLoadRoot == control)
                FLoadRoot = nullptr;
            // The containers hand the part on when they lose the active entry; one that never got
            // into its container (a scheme refused while loading) is only forgotten.
            if (control == FActiveScheme && control->Parent() != FSchemes)
                FActiveScheme = nullptr;
            if (control == FActiveLayer && control->Parent() != FLayers)
                FActiveLayer = nullptr;
        }
        break;
    case dnSelection:
        RefreshMarkers();
        break;
    default:
        break;
    }
    if (OnNotify) {
        TDrawControl* top = TopmostOf(control);
        const bool outside = control && top != FSchemes && top != FLayers;
        if (!outside || code == dnDestroying)
            OnNotify(this, control, code);
    }
    if (FNotifyLink)
        FNotifyLink->ControlNotify(control, code);
}

void TDrawPanel::DoPropBeforeChanged(TDrawControl*, TCustomProp* prop)
{
    if (OnPropBeforeChanged)
        OnPropBeforeChanged(this, prop);
}

void TDrawPanel::DoPropChanged(TDrawControl*, TCustomProp* prop)
{
    if (OnPropChanged)
        OnPropChanged(this, prop);
}

void TDrawPanel::PaintSchemeEvent(TCanvas& canvas, TDrawControl* control, bool childrenOnly, bool selectedOnly)
{
    if (OnPaintScheme)
        OnPaintScheme(this, canvas, control, childrenOnly, selectedOnly);
}

// ---------------------------------------------------------------- selection

TDrawControl* TDrawPanel::Selected(int index) const
{
    return index >= 0 && index < int(FSelection.size()) ? FSelection[std::size_t(index)] : nullptr;
}

bool TDrawPanel::IsSelected(const TDrawControl* control) const
{
    return control && std::find(FSelection.begin(), FSelection.end(), control) != FSelection.end();
}

void TDrawPanel::SelectControl(TDrawControl* control)
{
    if (!control || IsSelected(control) || control->HasState(csDestroying))
        return;
    FSelection.push_back(control);
    DoNotify(control, dnSelection);
}

void TDrawPanel::UnselectControl(TDrawControl* control)
{
    const auto it = std::find(FSelection.begin(), FSelection.end(), control);
    if (it == FSelection.end())
        return;
    FSelection.erase(it);
    DoNotify(control, dnSelection);
    if ((FToolMode >= tmMove && FToolMode <= tmPointEdit) || FToolMode == tmPointDrag)
        SetToolMode(FBaseMode);
}

void TDrawPanel::UnselectAll()
{
    if (FSelection.empty())
        return;
    BeginSelectionUpdate();
    TScopeExit done{[this] { EndSelectionUpdate(); }};
    while (!FSelection.empty())
        UnselectControl(FSelection.back());
}

void TDrawPanel::BeginSelectionUpdate()
{
    if (FSelectionUpdate == 0)
        FSelectionRefreshPending = false;
    ++FSelectionUpdate;
    if (OnBeginSelectionUpdate)
        OnBeginSelectionUpdate(this);
}

void TDrawPanel::EndSelectionUpdate()
{
    if (FSelectionUpdate > 0)
        --FSelectionUpdate;
    if (FSelectionUpdate == 0 && FSelectionRefreshPending) {
        FSelectionRefreshPending = false;
        RefreshMarkers();
    }
    if (OnEndSelectionUpdate)
        OnEndSelectionUpdate(this);
}

void TDrawPanel::RefreshMarkers()
{
    if (FSelectionUpdate > 0) {
        FSelectionRefreshPending = true;
        return;
    }
    TDrawControl* before = FEditControl;
    if (FSelection.size() == 1)
        SetEditControl(FSelection.front());
    else if (FEditControl)
        SetEditControl(nullptr);
    if (FEditControl == before)
        UpdateEditMarkers();
}

void TDrawPanel::DeleteSelected()
{
    const std::vector<TDrawControl*> items = FSelection;
    BeginSelectionUpdate();
    TScopeExit done{[this] { EndSelectionUpdate(); }};
    for (auto it = items.rbegin(); it != items.rend(); ++it)
        if (IsSelected(*it))
            (*it)->Free();
}

void TDrawPanel::MoveSelected(int dx, int dy)
{
    if (dx == 0 && dy == 0)
        return;
    const std::vector<TDrawControl*> items = FSelection;
    for (TDrawControl* c : items) {
        if (!c->Parent() || !c->Parent()->InheritsFrom(TDrawScheme::StaticClass()))
            continue;
        c->BeginUpdate();
        TScopeExit done{[c] { c->EndUpdate(); }};
        if (dx != 0)
            c->SetLeft(SatAdd(c->GetLeft(), dx));
        if (dy != 0)
            c->SetTop(SatAdd(c->GetTop(), dy));
    }
}

void TDrawPanel::RotateSelected(const TRotationInfo& info)
{
    TRotationInfo r = info;
    r.Angle = int(RoundHalfEven(double(info.Angle % 360) / 90.0)) * 90;
    const std::vector<TDrawControl*> items = FSelection;
    for (TDrawControl* c : items) {
        if (c->Layer() && c->Layer()->GetReadOnly())
            continue;
        c->RotateAll(r);
    }
}

void TDrawPanel::Ungroup()
{
    if (FSelection.size() != 1)
        return;
    TDrawControl* g = FSelection.front();
    if (!g->InheritsFrom(TDrawGroup::StaticClass()) || !g->Layer() || !g->Parent())
        return;
    TDrawControl* parent = g->Parent();
    TDrawLayer* layer = g->Layer();
    const int index = parent->IndexOf(g);
    BeginSelectionUpdate();
    {
        TScopeExit done{[this] { EndSelectionUpdate(); }};
        while (g->GetCount() > 0) {
            TDrawControl* child = g->GetControl(g->GetCount() - 1);
            g->Remove(child);
            child->ShiftInParent(g->GetLeft(), g->GetTop());
            parent->Add(child);
            child->SetLayer(layer);
            parent->ChangeOrder(parent->GetCount() - 1, index);
            SelectControl(child);
        }
        g->Free();
    }
}

// ---------------------------------------------------------------- view

void TDrawPanel::SetActiveLayer(TDrawLayer* layer)
{
    if (layer == FActiveLayer)
        return;
    FActiveLayer = layer;
    DoNotify(nullptr, dnLayers);
}

void TDrawPanel::SetActiveScheme(TDrawCustomScheme* scheme)
{
    if (scheme == FActiveScheme)
        return;
    UnselectAll();
    FActiveScheme = scheme;
    DoNotify(nullptr, dnSchemes);
    InvalidateWindow();
}

// ---------------------------------------------------------------- painting

void TDrawPanel::paintEvent(QPaintEvent* event)
{
    Guarded([&] {
        const QRect area = event->rect();
        if (area.isEmpty())
            return;
        PaintBuffered(area, FBuffer);
        QPainter p(viewport());
        p.drawImage(area.topLeft(), FBuffer, QRect(0, 0, area.width(), area.height()));
    });
}

void TDrawPanel::PaintBuffered(const QRect& area, QImage& target)
{
    const int w = area.width();
    const int h = area.height();
    // The buffer only grows, so ordinary repaints allocate nothing.
    if (target.isNull() || w > target.width() || h > target.height()) {
        FCanvas->SetDevice(static_cast<QImage*>(nullptr));
        target = QImage(std::max(w, target.isNull() ? 0 : target.width()),
                        std::max(h, target.isNull() ? 0 : target.height()), QImage::Format_RGB32);
    }
    FPainting = true;
    FCanvas->SetDevice(&target);
    FCanvas->Lock();
    TScopeExit done{[this] {
        FCanvas->Unlock();
        FCanvas->Release();
        FPainting = false;
    }};
    FCanvas->SelectClipRgn(TRegion(TRect(0, 0, w, h)));
    PaintTo(*FCanvas, TRect(area), false, false, false, false, false, false, nullptr, FScale,
            TPoint{FOriginX, FOriginY});
    FCanvas->SelectClipRgn(std::nullopt);
}

QImage TDrawPanel::RenderClient()
{
    QImage image;
    const QRect area(0, 0, std::max(1, ClientWidth()), std::max(1, ClientHeight()));
    PaintBuffered(area, image);
    return image.copy(area);
}

void TDrawPanel::PaintTo(TCanvas& canvas, const TRect& paintRect, bool pictureOption, bool curveOption, bool exporting,
                         bool childrenOnly, bool selectedOnly, bool clipToRect, TDrawControl* control, int scale,
                         const TPoint& origin)
{
    if (FDestroying)
        return;
    canvas.Lock();
    const int savedX = FOriginX;
    const int savedY = FOriginY;
    const int savedScale = FScale;
    const bool savedPainting = FPainting;
    const TPoint savedBrushOrigin = canvas.BrushOrigin();
    FExporting = exporting;
    FPictureOption = pictureOption;
    FCurveOption = curveOption;
    FPaintWidth = paintRect.Width();
    FPaintHeight = paintRect.Height();
    FPainting = true;
    TScopeExit restore{[&] {
        canvas.SetBrushOrigin(savedBrushOrigin);
        canvas.Unlock();
        FOriginX = savedX;
        FOriginY = savedY;
        FScale = savedScale;
        FPainting = savedPainting;
        FPaintWidth = 0;
        FPaintHeight = 0;
        FExporting = false;
        FPictureOption = false;
        FCurveOption = false;
    }};

    FOriginX = SatAdd(origin.x, paintRect.Left);
    FOriginY = SatAdd(origin.y, paintRect.Top);
    FScale = std::clamp(scale, 1, 50000);
    canvas.SetBrushOrigin(TPoint{-FOriginX, -FOriginY});

    const int docW = ScaledDocExtent(FDocWidth);
    const int docH = ScaledDocExtent(FDocHeight);
    const bool frame = FShowDocFrame && !FSchemeBkStretch && (savedX < 0 || savedY < 0);
    const TRect docRect(SatSub(0, FOriginX), SatSub(0, FOriginY), SatSub(docW, FOriginX), SatSub(docH, FOriginY));

    if (!exporting) {
        canvas.Brush().SetStyle(bsSolid);
        canvas.Brush().SetColor(FColor);
        canvas.FillRect(TRect(0, 0, FPaintWidth, FPaintHeight));
        if (frame) {
            if (FDocShadowColor != clNone) {
                canvas.Brush().SetColor(FDocShadowColor);
                canvas.FillRect(TRect(5 - FOriginX, docH + 1 - FOriginY, docW + 6 - FOriginX, docH + 6 - FOriginY));
                canvas.FillRect(TRect(docW + 1 - FOriginX, 5 - FOriginY, docW + 6 - FOriginX, docH + 6 - FOriginY));
            }
            if (FDocFrameColor != clNone) {
                canvas.Pen().SetStyle(psSolid);
                canvas.Pen().SetWidth(1);
                canvas.Pen().SetMode(pmCopy);
                canvas.Pen().SetColor(FDocFrameColor);
                canvas.Brush().SetStyle(bsClear);
                canvas.Rectangle(-1 - FOriginX, -1 - FOriginY, docW + 1 - FOriginX, docH + 1 - FOriginY);
            }
        }
    }

    const std::optional<TRegion> savedClip = canvas.ClipRegion();
    std::optional<TRect> clip;
    if (FDocClipping)
        clip = docRect;
    if (clipToRect) {
        const TRect area(0, 0, FPaintWidth, FPaintHeight);
        if (clip) {
            TRect both;
            IntersectRect(both, *clip, area);
            clip = both;
        } else {
            clip = area;
        }
    }
    if (clip) {
        TRegion r(*clip);
        if (savedClip)
            r = r.Intersected(*savedClip);
        canvas.SelectClipRgn(r);
    }
    {
        TScopeExit unclip{[&] {
            if (clip)
                canvas.SelectClipRgn(savedClip);
        }};
        PaintScheme(canvas, control, childrenOnly, selectedOnly);
    }

    if (!exporting && FDocSpaceFill && frame) {
        // Everything outside the document, its frame and its shadow.
        TRegion space(TRect(0, 0, FPaintWidth, FPaintHeight));
        space = space.Subtracted(TRegion(TRect(docRect.Left - 1, docRect.Top - 1, docRect.Right + 1, docRect.Bottom + 1)));
        space = space.Subtracted(TRegion(TRect(docRect.Left + 5, docRect.Bottom + 1, docRect.Right + 6, docRect.Bottom + 6)));
        space = space.Subtracted(TRegion(TRect(docRect.Right + 1, docRect.Top + 5, docRect.Right + 6, docRect.Bottom + 6)));
        canvas.Pen().SetStyle(psClear);
        canvas.SetBrush(FDocSpaceBrush);
        canvas.FillRgn(space);
    }
}

void TDrawPanel::PaintScheme(TCanvas& canvas, TDrawControl* control, bool childrenOnly, bool selectedOnly)
{
    if (selectedOnly) {
        if (OnPaintScheme)
            OnPaintScheme(this, canvas, control, childrenOnly, selectedOnly);
        TDrawCustomScheme* scheme = nullptr;
        if (control && control->InheritsFrom(TDrawCustomScheme::StaticClass()))
            scheme = static_cast<TDrawCustomScheme*>(control);
        else if (control)
            scheme = control->GetParentScheme();
        if (!scheme)
            scheme = FActiveScheme;
        if (scheme)
            for (TDrawControl* c : scheme->PaintOrderList())
                if (IsSelected(c)) {
                    const TRect r = c->GetDocRect();
                    c->PaintAll(canvas, r.Left, r.Top);
                }
    } else {
        if (!control || control->Owner() != static_cast<TDrawOwner*>(this))
            control = FActiveScheme;
        if (!control && FSchemes->GetCount() > 0)
            control = FSchemes->GetScheme(0);
        if (control) {
            const TRect r = control->GetDocRect();
            if (childrenOnly) {
                std::vector<TDrawControl*> children;
                if (control->InheritsFrom(TDrawCustomScheme::StaticClass()))
                    children = static_cast<TDrawCustomScheme*>(control)->PaintOrderList();
                else
                    children = control->Children();
                for (TDrawControl* c : children)
                    c->PaintAll(canvas, SatAdd(r.Left, c->GetLeft()), SatAdd(r.Top, c->GetTop()));
            } else {
                control->PaintAll(canvas, r.Left, r.Top);
            }
            if (!FExporting) {
                if (FDesigning) {
                    PaintSelection(canvas);
                    PaintLinkPoint(canvas);
                    PaintMarkers(canvas);
                }
                PaintRubberBand(canvas);
            }
        }
    }
    if (OnPaintOver)
        OnPaintOver(this, canvas, control, childrenOnly, selectedOnly);
}

// ---------------------------------------------------------------- loading and saving

void TDrawPanel::BeginLoading()
{
    ++FLoading;
}

void TDrawPanel::EndLoading()
{
    if (FLoading <= 0)
        return;
    if (--FLoading == 0)
        ResolveReferences();
}

void TDrawPanel::ResolveReferences()
{
    // Still part of the read: a pasted link path names the ID it was copied with, which the
    // panel's translation maps to the pasted control.
    FResolving = true;
    struct Flag {
        bool& f;
        ~Flag() { f = false; }
    } flag{FResolving};
    FPropRefList.ResolveAll();
}

void TDrawPanel::AbortLoading() noexcept
{
    if (FLoading <= 0)
        return;
    if (--FLoading > 0)
        return;
    // What was read before the failure keeps its deferred values where they can be assigned;
    // the failure that is already on its way to the caller is the one reported.
    try {
        ResolveReferences();
    } catch (...) {
        FPropRefList.Clear();
    }
}

std::unique_ptr<TDrawFiler> TDrawPanel::CreateFiler(TStream& stream, int processKind)
{
    auto filer = std::make_unique<TDrawFiler>(stream);
    filer->OnProgress = [this](TDrawFiler*, int progress, int process) { OnFilerProgress(progress, process); };
    FProcessKind = processKind;
    return filer;
}

void TDrawPanel::OnFilerProgress(int progress, int process)
{
    if (!OnProgress)
        return;
    if (FProcessKind == dfpCopying) {
        if (process == dfpLoading)
            OnProgress(this, progress / 2 + 50, dfpCopying);
        else if (process == dfpSaving)
            OnProgress(this, progress / 2, dfpCopying);
        else
            OnProgress(this, progress, process);
    } else {
        OnProgress(this, progress, process);
    }
}

bool TDrawPanel::LoadFromFile(const QString& fileName)
{
    TFileStream stream(fileName, fmOpenRead | fmShareDenyWrite);
    std::unique_ptr<TDrawFiler> filer = CreateFiler(stream, dfpLoading);
    return LoadFromFiler(*filer, dlmDocument);
}

bool TDrawPanel::LoadFromFiler(TDrawFiler& filer, int mode)
{
    filer.SetTotal(filer.Stream().Size());
    // The first line is checked before anything changes: a stream that is no document leaves
    // the open one as it was. An empty stream is an empty document.
    QByteArray line;
    const bool more = filer.LoadStr(line);
    if (!MatchesKeyword(line, kwDocument) && !(mode == dlmClipboard && MatchesKeyword(line, kwClipboard)))
        throw EDrawFormatError();

    BeginSelectionUpdate();
    const int savedMode = FLoadMode;
    FLoadMode = mode;
    try {
        Loading([&] {
            TDrawControl* parent = nullptr;
            if (mode == dlmDocument) {
                Clear();
            } else {
                parent = FActiveScheme;
                UnselectAll();
            }
            const int blank = line.indexOf(' ');
            if (blank >= 0)
                FSchemes->SetName(FromCp1251(line.mid(blank + 1)).trimmed());
            if (!more)
                return;
            while (filer.LoadStr(line)) {
                if (MatchesKeyword(line, kwEnd))
                    break;
                if (MatchesKeyword(line, kwObject))
                    LoadObject(filer, parent, line);
                else if (MatchesKeyword(line, kwLibrary))
                    filer.LoadSkipToEnd();
                else
                    FSchemes->Props().LoadFromFiler(filer, line, &FPropRefList);
            }
        });
    } catch (...) {
        FLoadMode = savedMode;
        // the failure of the read is the one the caller hears of
        try {
            FinishLoad(mode);
        } catch (...) {
        }
        throw;
    }
    FLoadMode = savedMode;
    FinishLoad(mode);
    if (mode == dlmDocument)
        FModified = false;
    return true;
}

void TDrawPanel::FinishLoad(int mode)
{
    if (mode == dlmDocument) {
        // A loaded document shows its first scheme and layer.
        if (!FActiveScheme && FSchemes->GetCount() > 0)
            SetActiveScheme(FSchemes->GetScheme(0));
        if (!FActiveLayer && FLayers->GetCount() > 0)
            SetActiveLayer(FLayers->GetLayer(0));
    }
    EndSelectionUpdate();
    InvalidateWindow();
}

TDrawControl* TDrawPanel::LoadObject(TDrawFiler& filer, TDrawControl* parent, const QByteArray& line)
{
    if (ControlClasses().empty())
        return nullptr;
    const QString text = FromCp1251(line);
    const int colon = text.lastIndexOf(QLatin1Char(':'));
    if (colon < 1) {
        filer.LoadSkipToEnd();
        return nullptr;
    }
    const TDrawControlClass* cls = FindControlClass(text.mid(colon + 1).trimmed());
    if (!cls) {
        filer.LoadSkipToEnd();
        return nullptr;
    }
    // Each level of nesting is a level of recursion here; a document nested beyond any real
    // scheme would otherwise exhaust the stack.
    if (FLoadDepth >= MaxLoadDepth)
        throw EDrawFormatError();
    TDrawControl* result = nullptr;
    Loading([&] {
        TDrawControl* c = cls->Create(this, parent, nullptr);
        c->SetName(text.mid(6, colon - 6).trimmed());

        bool placed = true;
        if (c->InheritsFrom(TDrawLayer::StaticClass())) {
            if (!c->Parent())
                FLayers->Add(c);
            else if (c->Parent() != FLayers)
                placed = false;
        } else if (c->InheritsFrom(TDrawScheme::StaticClass())) {
            if (!c->Parent())
                FSchemes->Add(c);
            else if (c->Parent() != FSchemes)
                placed = false;
        } else if (!c->Parent()) {
            placed = false;
        }
        if (!placed) {
            c->Free();
            filer.LoadSkipToEnd();
            return;
        }
        ++FLoadDepth;
        try {
            c->LoadFromFiler(filer);
        } catch (...) {
            --FLoadDepth;
            c->Free();
            throw;
        }
        --FLoadDepth;
        if (FLoadMode == dlmClipboard) {
            // A fragment copied without IDs (written by an earlier version) must not bring ID 0
            // into the document, where every link to it would be lost on the next save.
            if (c->Owner() == this)
                c->GiveMissingIDs();
            if (!c->Layer() && !c->LayerProp()->IsReadOnly())
                c->SetLayer(FActiveLayer);
            if (c->Parent() && c->Parent()->InheritsFrom(TDrawScheme::StaticClass()))
                SelectControl(c);
        }
        result = c;
    });
    return result;
}

bool TDrawPanel::SaveToFiler(TDrawFiler& filer, bool asClipboard, bool childrenOnly, TDrawControl* control)
{
    if (!asClipboard) {
        if (!control) {
            control = FSchemes;
            childrenOnly = true;
        }
        filer.SaveStr(QByteArray(kwDocument) + ' ' + ToCp1251(FSchemes->GetName()));
        filer.SetTotal(CountSubtree(FLayers) - 1 + CountSubtree(control) - (childrenOnly ? 1 : 0));
        filer.SetSaved(0);
        FSchemes->Props().SaveToFiler(filer, "  ");
        for (TDrawControl* layer : FLayers->Children())
            layer->SaveToFiler(filer, "  ");
        if (childrenOnly) {
            for (TDrawControl* c : control->Children())
                c->SaveToFiler(filer, "  ");
        } else {
            control->SaveToFiler(filer, "  ");
        }
        if (control == FSchemes)
            FModified = false;
    } else {
        if (FSelection.empty())
            return false;
        filer.SaveStr(kwClipboard);
        std::vector<TDrawControl*> order;
        if (TDrawCustomScheme* scheme = FSelection.front()->GetParentScheme()) {
            for (TDrawControl* c : scheme->PaintOrderList())
                if (IsSelected(c))
                    order.push_back(c);
        }
        for (TDrawControl* c : FSelection)
            if (std::find(order.begin(), order.end(), c) == order.end())
                order.push_back(c);
        filer.SetTotal(int64_t(order.size()));
        filer.SetSaved(0);
        for (TDrawControl* c : order)
            c->SaveToFiler(filer, "  ");
    }
    filer.SaveStr(kwEnd);
    return true;
}

void TDrawPanel::Assign(TDrawPanel& source)
{
    if (&source == this)
        return;
    TMemoryStream stream;
    std::unique_ptr<TDrawFiler> filer = CreateFiler(stream, dfpCopying);
    source.SaveToFiler(*filer, false);
    filer->Rewind();
    LoadFromFiler(*filer, dlmDocument);
}

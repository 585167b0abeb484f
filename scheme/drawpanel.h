// The document window of the scheme library: it owns one scheme document (layers, schemes,
// the editing grid), converts between document units (thousandths of a pixel at 100 %) and
// client pixels, paints the active scheme through one off-screen image, finds controls by
// name and ID, reads and writes documents, and, in design mode, edits them with the mouse
// (selection, moving, resizing, creation, zoom, pan, path points).
#pragma once

#include "platform/graphics.h"
#include "platform/keys.h"
#include "platform/types.h"
#include "scheme/drawbase.h"
#include "scheme/drawcontrols.h"
#include "scheme/drawfiler.h"
#include "scheme/drawprops.h"

#include <QAbstractScrollArea>
#include <QImage>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

class QDrag;
class TCanvas;
class TStream;

// Tool modes of the editor.
enum TDrawToolMode : uint8_t {
    tmSelect = 0,
    tmRubberBand = 1,
    tmZoom = 2,
    tmZooming = 3,
    tmMove = 4,
    tmMoving = 5,
    tmOverMarker = 6,
    tmResizing = 7,
    tmCreating = 8,
    tmPointEdit = 9,
    tmPointRubberBand = 10,
    tmPointDrag = 11,
    tmSegmentDrag = 12,
    tmPan = 13,
    tmPanning = 14,
};

// Load modes of LoadFromFiler.
enum TDrawLoadMode : int { dlmDocument = 0, dlmClipboard = 1 };
// Objects nested deeper than this are refused with the format error.
inline constexpr int MaxLoadDepth = 1000;

// Runs a callable when the scope ends, also when an exception leaves it: the panel's begin/end
// pairs (loading, selection updates, point edits) stay balanced.
template <class F>
struct TScopeExit {
    F f;
    ~TScopeExit() { f(); }
};
template <class F>
TScopeExit(F) -> TScopeExit<F>;

// The insertion guide of a path control at q (its own units): the nearest segment with the new
// node in it, or a line from an open end to q beyond it; delta is the hit tolerance.
bool GetPathEditPointGuide(TDrawControl& control, const TPoint& q, int delta, TDrawEditPointGuide& guide);

class TDrawPanel;
using TDrawControlCreateEvent = std::function<void(TDrawPanel* sender, TDrawControl* control)>;
using TDrawUpdateCursorEvent = std::function<void(TDrawPanel* sender, int& cursor)>;
using TDrawPropEvent = std::function<void(TDrawPanel* sender, TCustomProp* prop)>;
using TDrawNotifyEvent = std::function<void(TDrawPanel* sender, TDrawControl* control, TDrawNotify code)>;
using TDrawPaintEvent =
    std::function<void(TDrawPanel* sender, TCanvas& canvas, TDrawControl* control, bool childrenOnly, bool selectedOnly)>;
using TDrawPanelEvent = std::function<void(TDrawPanel* sender)>;
using TDrawPanelProgressEvent = std::function<void(TDrawPanel* sender, int percent, int process)>;

class TDrawPanel : public QAbstractScrollArea, public TDrawOwner {
public:
    explicit TDrawPanel(QWidget* parent = nullptr);
    ~TDrawPanel() override;
    TDrawPanel(const TDrawPanel&) = delete;
    TDrawPanel& operator=(const TDrawPanel&) = delete;

    // ---- TDrawOwner
    int Scale() const override { return FScale; }
    void DocToClientPoint(TPoint& p) const override;
    void DocToClientRect(TRect& r) const override;
    void ClientToDoc(int& x, int& y) const override;
    int DocWidth() const override { return FDocWidth; }
    int DocHeight() const override { return FDocHeight; }
    void SetDocWidth(int value) override;
    void SetDocHeight(int value) override;
    bool IsLoading() const override { return FLoading > 0; }
    void BeginLoading() override;
    void EndLoading() override;
    void AbortLoading() noexcept override;
    bool IsPasting() const override { return (FLoading > 0 || FResolving) && FLoadMode == dlmClipboard; }
    TDrawControl* LoadObject(TDrawFiler& filer, TDrawControl* parent, const QByteArray& line) override;
    TPropRefList& PropRefList() override { return FPropRefList; }
    TIdPool& IdPool() override { return FIdPool; }
    void GenerateID(TDrawControl* control) override;
    bool ChangeControlID(TDrawControl* control, uint32_t oldId) override;
    void GenerateControlName(TDrawControl* control, TDrawControl* root, QString& name, bool numbered) override;
    bool AutoNames() const override { return FAutoNames; }
    bool AutoNameNumbs() const override { return FAutoNameNumbs; }
    TDrawControl* FindControlByID(uint32_t id, TDrawControl* root = nullptr) const override;
    void DoNotify(TDrawControl* control, TDrawNotify code) override;
    void DoPropBeforeChanged(TDrawControl* control, TCustomProp* prop) override;
    void DoPropChanged(TDrawControl* control, TCustomProp* prop) override;
    void SelectControl(TDrawControl* control) override;
    void UnselectControl(TDrawControl* control) override;
    bool IsSelected(const TDrawControl* control) const override;
    int SelectedCount() const override { return int(FSelection.size()); }
    TDrawControl* Selected(int index) const override;
    TDrawLayers* Layers() const override { return FLayers; }
    TDrawSchemes* Schemes() const override { return FSchemes; }
    TDrawGrid* Grid() const override { return FGrid; }
    TDrawLayer* ActiveLayer() const override { return FActiveLayer; }
    void SetActiveLayer(TDrawLayer* layer) override;
    TDrawCustomScheme* ActiveScheme() const override { return FActiveScheme; }
    void SetActiveScheme(TDrawCustomScheme* scheme) override;
    bool HasWindow() const override { return true; }
    void InvalidateClientRect(const TRect& r) override;
    void InvalidateWindow() override;
    TRect ClientRect() const override;
    int PaintWidth() const override { return FPaintWidth; }
    int PaintHeight() const override { return FPaintHeight; }
    bool IsExporting() const override { return FExporting; }
    bool PictureOption() const override { return FPictureOption; }
    bool CurveOption() const override { return FCurveOption; }
    bool SchemeBackground() const override { return FSchemeBackground; }
    bool SchemeBkStretch() const override { return FSchemeBkStretch; }
    bool ShowDocFrame() const override { return FShowDocFrame; }
    void PaintSchemeEvent(TCanvas& canvas, TDrawControl* control, bool childrenOnly, bool selectedOnly) override;
    bool IsDesigning() const override { return FDesigning; }
    bool SelectAsFilled() const override { return FSelectAsFilled; }
    int ToolMode() const override { return FToolMode; }
    int ConnectorsMinGap() const override { return FConnectorsMinGap; }
    bool IsShiftDown() const override;

    // ---- published properties
    bool AutoDragEnabled() const { return FAutoDragEnabled; }
    void SetAutoDragEnabled(bool v) { FAutoDragEnabled = v; }
    bool AutoZoom() const { return FAutoZoom; }
    void SetAutoZoom(bool v);
    // Percent, clamped to 1..50000.
    void SetScale(int value);
    TColor DocFrameColor() const { return FDocFrameColor; }
    void SetDocFrameColor(TColor v);
    TColor DocShadowColor() const { return FDocShadowColor; }
    void SetDocShadowColor(TColor v);
    TBrush& DocSpaceBrush() { return FDocSpaceBrush; }
    bool DocSpaceFill() const { return FDocSpaceFill; }
    void SetDocSpaceFill(bool v);
    bool DocClipping() const { return FDocClipping; }
    void SetDocClipping(bool v);
    void SetSchemeBkStretch(bool v);
    void SetSchemeBackground(bool v);
    void SetAutoNames(bool v) { FAutoNames = v; }
    void SetAutoNameNumbs(bool v) { FAutoNameNumbs = v; }
    void SetConnectorsMinGap(int v) { FConnectorsMinGap = v; }
    void SetSelectAsFilled(bool v) { FSelectAsFilled = v; }
    void SetShowDocFrame(bool v);
    bool ShowGrid() const;
    void SetShowGrid(bool v);
    bool ShowPixGrid() const;
    void SetShowPixGrid(bool v);
    bool SnapToGrid() const;
    void SetSnapToGrid(bool v);
    TDrawSnaps SnapStyle() const;
    void SetSnapStyle(TDrawSnaps v);
    TDrawGridStyle GridStyle() const;
    void SetGridStyle(TDrawGridStyle v);
    TColor GridColor() const;
    void SetGridColor(TColor v);
    TColor GridPixColor() const;
    void SetGridPixColor(TColor v);
    int GridHorizSize() const;
    void SetGridHorizSize(int v);
    int GridVertSize() const;
    void SetGridVertSize(int v);
    bool ShowEditPointGuide() const { return FShowEditPointGuide; }
    void SetShowEditPointGuide(bool v);
    // The panel's own colour (the window colour by default), painted around the document.
    TColor Color() const { return FColor; }
    void SetColor(TColor v);
    // Design mode: mouse editing from the idle select mode; the host's editor switches it on.
    void SetDesigning(bool v) { FDesigning = v; }

    // ---- events
    TDrawControlCreateEvent OnControlCreate;
    TDrawUpdateCursorEvent OnUpdateCursor;
    TDrawPropEvent OnPropBeforeChanged;
    TDrawPropEvent OnPropChanged;
    TDrawNotifyEvent OnNotify;
    TDrawPaintEvent OnPaintScheme;
    TDrawPaintEvent OnPaintOver;
    TDrawPanelEvent OnBeginSelectionUpdate;
    TDrawPanelEvent OnEndSelectionUpdate;
    TDrawPanelEvent OnToolMode;
    TDrawPanelEvent OnClick;
    TDrawPanelProgressEvent OnProgress;

    // ---- coordinates
    void DocToClient(int& x, int& y) const;
    int OriginX() const { return FOriginX; }
    int OriginY() const { return FOriginY; }
    int ClientWidth() const;
    int ClientHeight() const;
    // The part of the document the window shows, document units.
    TRect VisibleDocRect() const { return FVisibleDocRect; }

    // ---- lookup (names compare case-sensitively)
    TDrawControl* FindControl(const QString& name, TDrawControl* root = nullptr) const;
    TDrawControl* FindControlAtPoint(int x, int y) const;

    // ---- selection
    void UnselectAll();
    void BeginSelectionUpdate();
    void EndSelectionUpdate();
    void DeleteSelected();
    void MoveSelected(int dx, int dy);
    void RotateSelected(const TRotationInfo& info);
    void Ungroup();
    const std::vector<TDrawControl*>& Selection() const { return FSelection; }

    // ---- view
    void ZoomTo(int newScale, const TRect* rect = nullptr);
    void InvalidateDocRect(const TRect& r);

    // ---- document
    bool Modified() const { return FModified; }
    void SetModified(bool v) { FModified = v; }
    // Raises EFOpenError when the file cannot be opened, "Data format error" for a bad first line.
    bool LoadFromFile(const QString& fileName);
    bool LoadFromFiler(TDrawFiler& filer, int mode);
    bool SaveToFiler(TDrawFiler& filer, bool asClipboard, bool childrenOnly = false, TDrawControl* control = nullptr);
    std::unique_ptr<TDrawFiler> CreateFiler(TStream& stream, int processKind);
    void Assign(TDrawPanel& source);
    void Clear();
    void NewDocument();
    int LoadMode() const { return FLoadMode; }

    // ---- painting
    // Paints into any canvas: paintRect (client pixels relative to origin) lands at the canvas's
    // (0, 0). Export leaves out the window's background, frame and the editor's markers.
    void PaintTo(TCanvas& canvas, const TRect& paintRect, bool pictureOption, bool curveOption, bool exporting,
                 bool childrenOnly, bool selectedOnly, bool clipToRect, TDrawControl* control, int scale,
                 const TPoint& origin);
    // The whole client area as the window shows it, painted through the back buffer.
    QImage RenderClient();
    // True while a paint is in progress (setters of scale and size wait).
    bool IsPainting() const { return FPainting; }

    // Subscribers learn every notification of the panel and of its controls.
    TNotifyLink* GetNotifyLink() override;

    // ---- editing
    void SetToolMode(int newMode);
    int BaseMode() const { return FBaseMode; }
    const TDrawControlClass* CreateClass() const { return FCreateClass; }
    void SetCreateClass(const TDrawControlClass* cls);
    // Raises "Scheme must exist", "Layer must exist" or "Can't create control on invisible or
    // disabled layer".
    TDrawControl* CreateControl(const TDrawControlClass* controlClass, int left, int top, int width, int height,
                                TDrawCustomScheme* scheme = nullptr, TDrawLayer* layer = nullptr, bool snap = false);
    void DoSnapToGrid(int marker, TDrawSnaps snapStyle, TPoint& delta, const TRect& rect) const;
    // Resize marker (1..8) under a client point, 0 for none.
    int FindMarker(int x, int y) const;
    TRegion CreateMarkersRgn() const;
    TRect RubberBand() const { return FRubberBand; }
    void SetRubberBand(const TRect& r);
    int ResizeMarker() const { return FResizeMarker; }
    int LinkPointIndex() const { return FLinkPointIndex; }
    TDrawControl* LinkPointControl() const { return FLinkPointControl; }
    TDrawControl* HintControl() const { return FHintControl; }
    TDrawControl* ControlUnderMouse() const { return FControlUnderMouse; }
    TPoint MousePoint() const { return FMousePoint; }
    // The cursor number UpdateCursor chose last.
    int CurrentCursor() const { return FCursor; }
    TRect SelectionBounds() const;
    // Resizes the selection through a marker by (dx, dy) document units.
    void ResizeSelection(int marker, int dx, int dy, bool snap, bool proportional);
    // The hint text the window would show at the last mouse position; empty for none.
    QString CurrentHintText() const;

    // ---- path point editing
    bool IsPointEditing() const { return FEditControl != nullptr && FBaseMode == tmPointEdit; }
    TDrawControl* EditControl() const { return FEditControl; }
    void SetEditControl(TDrawControl* control);
    TRect GetPointMarkerRect(int index) const;
    bool IsPointSelected(int index) const;
    void SetPointSelected(int index, bool value);
    void SelectPoint(int index) { SetPointSelected(index, true); }
    void UnselectAllPoints();
    int SelectedPointCount() const { return FSelectedPointCount; }
    void UpdateEditMarkers();
    bool AddGuideRgn(TRegion* rgn);
    bool AddControlLinesRgn(TRegion* rgn);
    void GetCurveNeighbours(int index, int& prevNode, int& nextNode) const;
    void FindPointAtMouse();
    bool IsOpenFigureEnd() const;
    void CloseFigure(int index);
    bool StartPointDrag(TDrawControl* control, int index, int x, int y);
    int DragPointIndex() const { return FDragPointIndex; }
    const TDrawEditPointGuide& EditPointGuide() const { return FEditPointGuide; }
    const std::optional<TRegion>& EditMarkersRgn() const { return FEditMarkersRgn; }
    bool ExactMarkers() const { return FExactMarkers; }
    bool InsertDeleteState() const { return FInsertDelete; }
    bool OverPoint() const { return FOverPoint; }
    bool OverSegment() const { return FOverSegment; }
    bool OverCurveSegment() const { return FOverCurveSegment; }

    // ---- dragging groups between panels (in-process)
    // Makes the drag object from the selection; nullptr when nothing is selected.
    std::unique_ptr<TDrawDragObject> BeginDragSelection();
    // Drag over: enter (state 0), move (2), leave (1); returns whether the object is accepted.
    bool DragOverPanel(TDrawDragObject* object, int x, int y, int state);
    void DropOnPanel(TDrawDragObject* object, int x, int y);
    TDrawDragObject* PlacedDragObject() const { return FDragObject; }
    // The drag object a window drag carries between panels of this process (nullptr when no
    // such drag runs); drag events with the scheme drag format refer to it.
    static TDrawDragObject* ActiveDragObject();
    static void SetActiveDragObject(TDrawDragObject* object);
    static const char* DragMimeType();
    // Runs the platform's drag loop for a drag the panel starts (QDrag::exec when none is set).
    // Tests put their own loop here: the offscreen platform ends every drag at once.
    using TDragLoop = std::function<void(QDrag* drag)>;
    static void SetDragLoop(TDragLoop loop);

protected:
    // Editing and painting hooks that a derived editor may refine.
    virtual void UpdateCursor();
    virtual void PaintScheme(TCanvas& canvas, TDrawControl* control, bool childrenOnly, bool selectedOnly);
    virtual void PaintSelection(TCanvas& canvas);
    virtual void PaintLinkPoint(TCanvas& canvas);
    virtual void PaintMarkers(TCanvas& canvas);
    virtual void PaintRubberBand(TCanvas& canvas);

    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void scrollContentsBy(int dx, int dy) override;
    bool viewportEvent(QEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dragLeaveEvent(QDragLeaveEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    // view, painting and document helpers
    void UpdateScrollRanges();
    void UpdateOrigin();
    void RefreshMarkers();
    void PaintBuffered(const QRect& area, QImage& target);
    void OnFilerProgress(int progress, int process);
    void FinishLoad(int mode);
    void ResolveReferences();
    template <class F>
    void Loading(F&& body)
    {
        WithinLoading(this, std::forward<F>(body));
    }
    TDrawControl* FindInSubtree(TDrawControl* root, const QString& name) const;
    void Click();

    // editing helpers
    void MouseDown(Qt::MouseButton button, TShiftState shift, int x, int y, bool dbl);
    void MouseMove(TShiftState shift, int x, int y);
    void MouseUp(Qt::MouseButton button, TShiftState shift, int x, int y);
    void UpdateHitState();
    TPoint MouseDocPoint() const;
    void UpdateHintControl();
    void LinkConnectorEnd(TDrawControl* connector, bool first);
    void PointEditPress(TShiftState shift);
    TRect MarkerRectOf(const TPoint& clientPoint) const;
    bool InControlPointSquare(const TPoint& mouseLocal, int side) const;
    void InvalidateMarkers();
    // A document extent in pixels at the current scale, bounded for scrolling and painting.
    int ScaledDocExtent(int value) const;
    // false when the panel was closed during a drag that the move started
    bool ApplyMoveShift(TShiftState shift);
    // false when the panel was closed while the drag ran
    bool StartAutoDrag();
    void PaintPointMarker(TCanvas& canvas, const TPointArray& pts, int index);
    int LowestSelectedPoint() const;

    // document
    TDrawLayers* FLayers = nullptr;
    TDrawSchemes* FSchemes = nullptr;
    TDrawGrid* FGrid = nullptr;
    TDrawLayer* FActiveLayer = nullptr;
    TDrawCustomScheme* FActiveScheme = nullptr;
    std::vector<TDrawControl*> FSelection;
    TIdPool FIdPool;
    TPropRefList FPropRefList;
    bool FModified = false;
    int FLoading = 0;
    int FLoadDepth = 0;  // objects being read inside each other
    bool FResolving = false;  // the deferred values of a read are being assigned
    TDrawControl* FLoadRoot = nullptr;  // a group outside the document being read into
    int FLoadMode = dlmDocument;
    int FProcessKind = 0;
    bool FAssigningID = false;
    TDrawControl* FAssigningControl = nullptr;
    int FSelectionUpdate = 0;
    bool FSelectionRefreshPending = false;
    bool FDestroying = false;
    std::unique_ptr<TNotifyLink> FNotifyLink;

    // published values
    bool FAutoDragEnabled = false;
    bool FAutoZoom = false;
    int FScale = 100;
    int FDocWidth = 320000;
    int FDocHeight = 240000;
    TColor FDocFrameColor = clBlack;
    TColor FDocShadowColor = TColor(0x808080);
    TBrush FDocSpaceBrush;
    bool FDocSpaceFill = false;
    bool FDocClipping = false;
    bool FSchemeBkStretch = false;
    bool FSchemeBackground = true;
    bool FAutoNames = true;
    bool FAutoNameNumbs = false;
    int FConnectorsMinGap = 8000;
    bool FSelectAsFilled = false;
    bool FShowDocFrame = true;
    bool FShowEditPointGuide = true;
    TColor FColor = clWindow;
    bool FDesigning = false;

    // view and painting
    int FOriginX = 0;
    int FOriginY = 0;
    TRect FVisibleDocRect;
    int FPaintWidth = 0;
    int FPaintHeight = 0;
    bool FExporting = false;
    bool FPictureOption = false;
    bool FCurveOption = false;
    bool FPainting = false;
    std::unique_ptr<TCanvas> FCanvas;
    QImage FBuffer;
    bool FUpdatingRanges = false;

    // editing
    uint8_t FToolMode = tmSelect;
    uint8_t FBaseMode = tmSelect;
    const TDrawControlClass* FCreateClass = nullptr;
    TPoint FMousePoint;
    TShiftState FShiftState = 0;
    TShiftState FLastShift = 0;
    TRect FRubberBand;
    TRect FSavedBounds;
    TPoint FGrabOffset;
    TPoint FStartPoint;
    TPoint FPressPoint;
    TPoint FLastMoved;
    TPoint FPanOrigin;
    int FResizeMarker = 0;
    int FLinkPointIndex = -1;
    TDrawControl* FLinkPointControl = nullptr;
    TDrawControl* FHintControl = nullptr;
    TDrawControl* FControlUnderMouse = nullptr;
    TDrawDragObject* FDragObject = nullptr;
    int FCursor = 0;
    bool FLeftDown = false;
    bool FClickPending = false;
    bool FSegmentHitValid = false;
    THitRecord FSegmentHit;
    bool FFlipH = false;
    bool FFlipV = false;
    std::vector<std::pair<TDrawControl*, TRect>> FResizeRects;  // rectangles when resizing began
    TRegion FMarkersShown;                                        // resize markers of the last refresh

    // point editing
    TDrawControl* FEditControl = nullptr;
    std::vector<uint8_t> FSelectedPoints;
    int FSelectedPointCount = 0;
    int FDragPointIndex = -1;
    std::optional<TRegion> FEditMarkersRgn;
    bool FExactMarkers = true;
    TDrawEditPointGuide FEditPointGuide;
    bool FInsertDelete = false;
    bool FOverPoint = false;
    bool FOverSegment = false;
    bool FOverCurveSegment = false;
};

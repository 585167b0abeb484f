// Curve and connector shapes: a path of straight and Bezier segments with a brush, a pen and
// two line caps; and a line whose ends are linked to link points of other controls and which
// reroutes itself, straight or orthogonally, when they move.
#pragma once

#include "scheme/drawcontrols.h"
#include "scheme/drawroute.h"

class TBrushProp;
class TPenProp;
class TLineCapProp;
class TDataProp;
class TLinkProp;
class TLinkPointProp;

class TDrawCurve : public TDrawControl {
public:
    DRAW_CONTROL_CLASS(TDrawCurve);

    TBrushProp* BrushProp() const { return FBrush; }
    TPenProp* PenProp() const { return FPen; }
    TLineCapProp* BeginCapProp() const { return FBeginCap; }
    TLineCapProp* EndCapProp() const { return FEndCap; }
    TBoolProp* IsSolidProp() const { return FIsSolid; }
    const TPointArray& Points() const { return FPoints; }
    const TPointTypeArray& Types() const { return FTypes; }

    // Called after every change of points or types: normalises the points to start at (0, 0)
    // and makes the rectangle their bounds.
    virtual void PointsChanged();

    void CreateProperties() override;
    void ControlCreate() override;
    void ControlDestroy() override;
    void Rotate(const TRotationInfo& info) override;
    void Mirror(bool horz, bool vert) override;
    void MovePathPoint(int index, int dx, int dy, bool controlsFollow, bool constrain) override;
    void MovePathSegment(int segFirst, int dx, int dy) override;
    void Paint(TCanvas& canvas, const TRect& paintRect) override;
    void BeginTranslate(const TPoint& origin) override;
    void EndTranslate() override;
    void PropBeforeChanged(TPropList* sender, TCustomProp* prop) override;
    void PropChanged(TPropList* sender, TCustomProp* prop) override;
    void PropStored(TPropList* sender, TCustomProp* prop, const QString& propName, bool& isStored) override;
    TPoint GetLinkPoint(int index) const override;
    int GetLinkPointCount() const override;
    TPoint GetPoint(int index) const override;
    void SetPoint(int index, const TPoint& p) override;
    uint8_t GetPointType(int index) const override;
    void SetPointType(int index, uint8_t type) override;
    int GetPointCount() const override;
    bool GetIsSolid() const override;
    void SetIsSolid(bool value) override;
    const TPathInfo* GetPathInfo() override;
    void SetDocRect(const TRect& r) override;
    TRect GetRefreshRect(int x, int y) const override;
    int GetCreationCursor() const override;
    bool EndUpdate() override;
    int InsertPoint(int index, const TPoint& p) override;
    int InsertCurvePoint(int index, const TPoint& p, const TPoint& ctrlA, const TPoint& ctrlB) override;
    void DeletePoint(int index) override;
    int InsertNearestPoint(const TPoint& p) override;
    void SetPointsEx(const TPointArray& points, const TPointTypeArray& types) override;
    void GetPointsEx(TPointArray& points, TPointTypeArray& types) const override;
    bool EditPoints(TPathEditOp func, const std::vector<bool>& selected, const TPathMove& params) override;
    unsigned GetEditPointsCaps(const std::vector<bool>& selected) const override;
    bool FlattenCurve(float tolerance) override;
    int FindNearestPathSegment(const TPoint& p, THitRecord* hit, int& nodeIndex, int& endIndex) override;
    int FindNearestPoint(const TPoint& p, THitRecord& nearest) override;
    bool IsPointInside(int x, int y) override;

protected:
    TDrawCurve() = default;
    bool LayerMoveable() const;
    int PenPixels() const;

    TPointArray FPoints;
    TPointTypeArray FTypes;
    bool FPointsChanging = false;

private:
    // Node index starts a figure: the control points just before it close the previous figure.
    bool IsFigureStart(int index);

    TBrushProp* FBrush = nullptr;
    TPenProp* FPen = nullptr;
    TLineCapProp* FBeginCap = nullptr;
    TLineCapProp* FEndCap = nullptr;
    TBoolProp* FIsSolid = nullptr;
    TDataProp* FPointsProp = nullptr;
    TDataProp* FPathPointsProp = nullptr;
    TPathInfo FPathInfo;
    bool FPathInfoValid = false;
    TPointArray FSavedPoints;
    TRect FSavedResizeRect;
    bool FHaveResizeRect = false;
    bool FSolidGuard = false;
};

class TDrawConnector : public TDrawCurve {
public:
    DRAW_CONTROL_CLASS(TDrawConnector);

    TEnumProp* RerouteModeProp() const { return FRerouteMode; }
    TBoolProp* OrtogonalProp() const { return FOrtogonal; }
    TLinkPointProp* LinkA() const { return FLinkA; }
    TLinkPointProp* LinkB() const { return FLinkB; }
    TRerouteMode RerouteMode() const;
    bool Ortogonal() const;
    bool GeometryLocked() const { return FGeometryLocked; }
    // Routes the path between the two link points; true when the points were set.
    bool Reroute();
    int RerouteCount() const { return FRerouteCount; }

    void PointsChanged() override;
    void CreateProperties() override;
    void ControlCreate() override;
    void ControlDestroy() override;
    void Rotate(const TRotationInfo& info) override;
    void Mirror(bool horz, bool vert) override;
    void MovePathPoint(int index, int dx, int dy, bool controlsFollow, bool constrain) override;
    void MovePathSegment(int segFirst, int dx, int dy) override;
    void DoNotify(TDrawNotify code) override;
    // Linked or not: the parent's opposite move keeps it where it is.
    void ShiftInParent(int64_t dx, int64_t dy) override;
    void PropChanged(TPropList* sender, TCustomProp* prop) override;
    void PropStored(TPropList* sender, TCustomProp* prop, const QString& propName, bool& isStored) override;
    void PropReadOnly(TPropList* sender, TCustomProp* prop, bool& isReadOnly) override;
    void GetLinkProps(TLinkPointProp*& linkA, TLinkPointProp*& linkB) override;
    void SetDocRect(const TRect& r) override;
    bool IsConnectorControl() const override;
    void EndPointEdit() override;

protected:
    TDrawConnector() = default;

private:
    void LinkCallback(TLinkProp* sender, const TNotifyInfo& info);
    TRect LinkedRect(TLinkPointProp* link, const TPoint& at) const;
    // After the connector moved with a parent (its own move is refused while linked): ends that
    // left their link points are routed back.
    void FollowLinks();
    bool EndsOnLinks() const;

    TEnumProp* FRerouteMode = nullptr;
    TBoolProp* FOrtogonal = nullptr;
    TLinkPointProp* FLinkA = nullptr;
    TLinkPointProp* FLinkB = nullptr;
    bool FGeometryLocked = false;
    int FUnlockCount = 0;
    bool FLinkUpdating = false;
    int FRerouteNesting = 0;
    int FRerouteCount = 0;
    bool FSegmentDragged = false;
    int FDraggedSegment = -1;
    bool FPointDragged = false;
    // What the last route was made from; a notification that changes none of it needs no new route.
    struct RouteInputs {
        TPoint A, B;
        TRect RectA, RectB;
        bool operator==(const RouteInputs&) const = default;
    };
    RouteInputs CurrentInputs() const;
    RouteInputs FLastInputs;
};

// Path geometry: point arrays with a parallel type array (0 node, 1 end of an open figure,
// 2 end of a closed figure, 3 Bezier control point), one walk over a path in four modes
// (flatten, hit test, bounds, drawing path) and the point-editing routines.
#pragma once

#include "platform/types.h"

#include <QByteArray>
#include <cstdint>
#include <vector>

using TPointArray = std::vector<TPoint>;
using TPointTypeArray = std::vector<uint8_t>;

inline constexpr uint8_t ptNode = 0;
inline constexpr uint8_t ptOpenEnd = 1;
inline constexpr uint8_t ptClosedEnd = 2;
inline constexpr uint8_t ptControl = 3;

struct TPathFigureInfo {
    int FirstNode = 0;
    int LastNode = -1;
    int LastPoint = -1;
    bool IsClosed = false;
    bool IsCurve = false;
};

struct TPathInfo {
    int PointCount = 0;
    bool IsCurve = false;
    std::vector<TPathFigureInfo> Figures;
};

// Growable list of flattened points; the growth step doubles after every growth.
class TPointList {
public:
    struct Entry {
        int X;
        int Y;
        uint8_t Type;
    };
    explicit TPointList(int delta = 32);
    void Add(int x, int y, uint8_t type);
    void Delete(int index);
    int Count() const { return FCount; }
    int Capacity() const { return int(FItems.size()); }
    Entry& operator[](int i) { return FItems[std::size_t(i)]; }
    const Entry& operator[](int i) const { return FItems[std::size_t(i)]; }

private:
    std::vector<Entry> FItems;
    int FCount = 0;
    int FDelta;
};

struct THitRecord {
    int NearX = 0;
    int NearY = 0;
    int SegFirst = 0;
    int SegLast = 0;
    int Index = -1;
    float DistSq = 0;
    float CurveT = 0;
    bool Improved = false;
};

// Receiver of a drawing path (mode 3 of the walk): a canvas path, a QPainterPath or a test recorder.
class TPathSink {
public:
    virtual ~TPathSink() = default;
    virtual void MoveTo(const TPoint& p) = 0;
    virtual void LineTo(const TPoint& p) = 0;
    virtual void BezierTo(const TPoint& c1, const TPoint& c2, const TPoint& end) = 0;
    virtual void CloseFigure() = 0;
};

class TCanvas;

// Adds the walk's figures to a canvas path (between BeginPath and EndPath).
class TCanvasPathSink : public TPathSink {
public:
    explicit TCanvasPathSink(TCanvas& canvas) : FCanvas(canvas) {}
    void MoveTo(const TPoint& p) override;
    void LineTo(const TPoint& p) override;
    void BezierTo(const TPoint& c1, const TPoint& c2, const TPoint& end) override;
    void CloseFigure() override;

private:
    TCanvas& FCanvas;
};

enum class TPathMode : uint8_t { Flatten = 0, HitTest = 1, Bounds = 2, DrawPath = 3 };

// One walk's parameters and targets.
struct TPathParams {
    bool ProcessClosed = true;
    bool ProcessOpen = true;
    bool Complete = true;
    bool NativeBezier = false;
    float Precision = 1.0f;
    const TPathInfo* Info = nullptr;  // computed by the walk when not given
    TPathMode Mode = TPathMode::Flatten;
    TPointList* List = nullptr;        // flatten
    TRect* Bounds = nullptr;           // bounds
    TPathSink* Sink = nullptr;         // drawing path
    TPoint HitPoint;                   // hit test
    int Delta = 0;
    std::vector<int>* Crossings = nullptr;
    THitRecord* Hit = nullptr;
    bool Found = false;
};

void CalcPathInfo(const TPointArray& points, const TPointTypeArray& types, TPathInfo& info);
int FindFigure(const TPathInfo& info, int pointIndex);
bool ChangePathCount(TPointArray& points, TPointTypeArray& types, int index, int delta);
// Checks a path before it is walked: equal lengths, known types, every curve segment with both
// control points inside its figure.
bool IsValidPath(const TPointArray& points, const TPointTypeArray& types);
bool ProcessPath(const TPointArray& points, const TPointTypeArray& types, TPathParams& params);
bool FlattenPath(TPointArray& points, TPointTypeArray& types, const TPathInfo* info, float precision);
bool GetPathBounds(const TPointArray& points, const TPointTypeArray& types, TRect& rect,
                   const TPathInfo* info = nullptr);
bool CreatePath(TPathSink& sink, const TPointArray& points, const TPointTypeArray& types, bool processClosed,
                bool processOpen, bool& complete, bool nativeBezier, const TPathInfo* info = nullptr);
bool PointOnLine(const TPoint& p, const TPoint& a, const TPoint& b, THitRecord* hit, std::vector<int>* crossings,
                 int delta);
bool PointOnPath(const TPointArray& points, const TPointTypeArray& types, const TPoint& p, const TPathInfo* info,
                 THitRecord* hit, int delta, bool checkInside, bool checkStroke);
bool FindPathSegment(const TPointArray& points, const TPointTypeArray& types, const TPoint& p,
                     const TPathInfo* info, THitRecord* hit, int& nodeIndex, int& endIndex);
int InsertPathPoint(TPointArray& points, TPointTypeArray& types, int segmentIndex, const TPathInfo* info, int delta,
                    const TPoint& p, int endIndex);
int InsertNearestPathPoint(TPointArray& points, TPointTypeArray& types, const TPoint& p, const TPathInfo* info,
                           int delta);

// Edit flags and operations on selected path points.
enum : unsigned {
    pefSelected = 1,    // move
    pefJoin = 2,
    pefBreak = 4,
    pefConnect = 8,
    pefToLine = 16,
    pefToCurve = 32,
};
enum TPathEditOp : int { peMove = 0, peJoin = 1, peBreak = 2, peConnect = 3, peToLine = 4, peToCurve = 5 };

struct TPathMove {
    int dX = 0;
    int dY = 0;
    bool ControlsFollow = false;
};

unsigned GetPathEditFlags(const TPointArray& points, const TPointTypeArray& types, const std::vector<bool>& selected);
bool EditPathPoints(TPointArray& points, TPointTypeArray& types, const std::vector<bool>& selected, TPathEditOp op,
                    const TPathMove& move = {});

// Binary form of a curve's points: a 32-bit count N, N points of 8 bytes (X, Y little-endian
// 32-bit signed), N type bytes. Reading checks the length in 64 bits and validates the path.
QByteArray PathPointsToBytes(const TPointArray& points, const TPointTypeArray& types);
bool PathPointsFromBytes(const QByteArray& bytes, TPointArray& points, TPointTypeArray& types);

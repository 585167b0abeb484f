// Scheme library throughput, each measurement beside its reference in the same run:
//  - writing and reading 10 000 controls' worth of property blocks through the document filer,
//    against copying / splitting the same bytes into lines (the floor any text format pays);
//  - flattening and hit-testing 10 000 closed Bezier paths, against QPainterPath doing the same
//    (toSubpathPolygons and contains).
#include "platform/streams.h"
#include "scheme/drawfiler.h"
#include "scheme/drawpath.h"
#include "scheme/drawprops2.h"

#include <QPainterPath>
#include <QPolygonF>
#include <benchmark/benchmark.h>
#include <memory>
#include <vector>

namespace {

constexpr int ControlCount = 10000;
constexpr int PathCount = 10000;

// The properties a box on a scheme carries.
struct BenchControl {
    explicit BenchControl(int i)
    {
        Props.OnPropStored = [](TPropList*, TCustomProp* prop, const QString& sub, bool& stored) {
            if (!sub.isEmpty())
                stored = prop->IsStored(sub);
        };
        const char* geometry[] = {"Left", "Top", "Width", "Height"};
        for (int k = 0; k < 4; ++k) {
            auto* p = new TIntProp(&Props, geometry[k]);
            p->SetStyle(p->Style() | psThousandths);
            p->SetValue(1000 * (i % 97) + 250 * k + 1000);
        }
        (new TLongWordProp(&Props, "ID"))->SetValue(uint32_t(i + 1));
        (new TIntProp(&Props, "Tag"))->SetValue(i % 3);
        (new TStrProp(&Props, "Caption"))->SetValue(QStringLiteral("Контакт %1").arg(i));
        (new TStrListProp(&Props, "Hint"))->SetLines({QStringLiteral("line one"), QStringLiteral("line two")});
        auto* brush = new TBrushProp(&Props, "Brush");
        brush->SetColor(TColor(0x102030 + i));
        if (i % 2)
            brush->SetMethod(bmGradient);
        auto* pen = new TPenProp(&Props, "Pen");
        pen->SetWidth(2000);
        auto* font = new TFontProp(&Props, "Font");
        font->SetFontStyle(TFontStyles{fsBold});
        auto* data = new TDataProp(&Props, "PathPoints");
        data->OnGetData = [this](TDataProp*, Variant& v) { v = Variant(Bytes); };
        data->OnSetData = [this](TDataProp*, const Variant& v) { Bytes = v.AsBytes(); };
        Bytes = QByteArray(40, char(i));
    }
    TPropList Props;
    QByteArray Bytes;
};

std::vector<std::unique_ptr<BenchControl>> MakeControls()
{
    std::vector<std::unique_ptr<BenchControl>> controls;
    controls.reserve(ControlCount);
    for (int i = 0; i < ControlCount; ++i)
        controls.push_back(std::make_unique<BenchControl>(i));
    return controls;
}

QByteArray WriteDocument(std::vector<std::unique_ptr<BenchControl>>& controls)
{
    TMemoryStream stream;
    TDrawFiler filer(stream);
    filer.SaveStr("document Document");
    for (std::size_t i = 0; i < controls.size(); ++i) {
        filer.SaveStr("  object Box" + QByteArray::number(qulonglong(i)) + ": TDrawBox");
        controls[i]->Props.SaveToFiler(filer, "    ");
        filer.SaveStr("  end");
    }
    filer.SaveStr("end");
    return stream.Bytes();
}

void BM_DocumentWrite(benchmark::State& state)
{
    auto controls = MakeControls();
    int64_t bytes = 0;
    for (auto _ : state) {
        const QByteArray doc = WriteDocument(controls);
        bytes = doc.size();
        benchmark::DoNotOptimize(doc.constData());
    }
    state.SetBytesProcessed(state.iterations() * bytes);
}
BENCHMARK(BM_DocumentWrite)->Unit(benchmark::kMillisecond);

// Reference: appending the finished lines of the same document to a byte array.
void BM_DocumentWrite_ReferenceCopyLines(benchmark::State& state)
{
    auto controls = MakeControls();
    const QList<QByteArray> lines = WriteDocument(controls).split('\n');
    for (auto _ : state) {
        QByteArray out;
        for (const QByteArray& l : lines)
            out.append(l).append('\n');
        benchmark::DoNotOptimize(out.constData());
    }
}
BENCHMARK(BM_DocumentWrite_ReferenceCopyLines)->Unit(benchmark::kMillisecond);

void BM_DocumentRead(benchmark::State& state)
{
    auto controls = MakeControls();
    const QByteArray doc = WriteDocument(controls);
    BenchControl target(0);
    TPropRefList refs;
    for (auto _ : state) {
        TMemoryStream stream(doc);
        TDrawFiler filer(stream);
        QByteArray line;
        int objects = 0;
        filer.LoadStr(line);
        while (filer.LoadStr(line)) {
            if (MatchesKeyword(line, kwEnd))
                break;
            if (!MatchesKeyword(line, kwObject))
                continue;
            ++objects;
            while (filer.LoadStr(line) && !MatchesKeyword(line, kwEnd))
                target.Props.LoadFromFiler(filer, line, &refs);
        }
        refs.ResolveAll();
        benchmark::DoNotOptimize(objects);
    }
    state.SetBytesProcessed(state.iterations() * doc.size());
}
BENCHMARK(BM_DocumentRead)->Unit(benchmark::kMillisecond);

// Reference: splitting the same bytes into trimmed lines.
void BM_DocumentRead_ReferenceSplitLines(benchmark::State& state)
{
    auto controls = MakeControls();
    const QByteArray doc = WriteDocument(controls);
    for (auto _ : state) {
        int count = 0;
        for (const QByteArray& l : doc.split('\n'))
            count += int(l.trimmed().size());
        benchmark::DoNotOptimize(count);
    }
    state.SetBytesProcessed(state.iterations() * doc.size());
}
BENCHMARK(BM_DocumentRead_ReferenceSplitLines)->Unit(benchmark::kMillisecond);

// 10 000 closed curves of four Bezier segments (ellipses of varied size and place), in pixels.
struct Paths {
    std::vector<TPointArray> Points;
    std::vector<TPointTypeArray> Types;
    std::vector<QPainterPath> Reference;
    std::vector<TPoint> Probes;
};

const Paths& TestPaths()
{
    static const Paths paths = [] {
        Paths p;
        uint32_t seed = 7;
        auto next = [&seed](int range) {
            seed = seed * 1664525u + 1013904223u;
            return int((seed >> 8) % uint32_t(range));
        };
        for (int i = 0; i < PathCount; ++i) {
            const int x = next(2000);
            const int y = next(2000);
            const int w = 20 + next(300);
            const int h = 20 + next(300);
            const int cx = int(w * 0.2238576);
            const int cy = int(h * 0.2238576);
            TPointArray pts = {{x + w / 2, y},       {x + w - cx, y},     {x + w, y + cy},     {x + w, y + h / 2},
                               {x + w, y + h - cy},  {x + w - cx, y + h}, {x + w / 2, y + h},  {x + cx, y + h},
                               {x, y + h - cy},      {x, y + h / 2},      {x, y + cy},         {x + cx, y}};
            TPointTypeArray types = {0, 3, 3, 0, 3, 3, 0, 3, 3, 2, 3, 3};
            QPainterPath qp(QPointF(pts[0].x, pts[0].y));
            for (int k = 1; k < 12; k += 3) {
                const TPoint& e = pts[std::size_t(k + 2) % 12];
                qp.cubicTo(pts[std::size_t(k)].x, pts[std::size_t(k)].y, pts[std::size_t(k) + 1].x,
                           pts[std::size_t(k) + 1].y, e.x, e.y);
            }
            qp.closeSubpath();
            p.Points.push_back(std::move(pts));
            p.Types.push_back(std::move(types));
            p.Reference.push_back(qp);
            p.Probes.emplace_back(x + next(w + 20) - 10, y + next(h + 20) - 10);
        }
        return p;
    }();
    return paths;
}

void BM_Flatten(benchmark::State& state)
{
    const Paths& paths = TestPaths();
    int64_t points = 0;
    for (auto _ : state) {
        points = 0;
        for (int i = 0; i < PathCount; ++i) {
            TPointArray pts = paths.Points[std::size_t(i)];
            TPointTypeArray types = paths.Types[std::size_t(i)];
            FlattenPath(pts, types, nullptr, 1.0f);
            points += int64_t(pts.size());
        }
    }
    state.counters["points"] = double(points);
}
BENCHMARK(BM_Flatten)->Unit(benchmark::kMillisecond);

void BM_Flatten_ReferenceQPainterPath(benchmark::State& state)
{
    const Paths& paths = TestPaths();
    int64_t points = 0;
    for (auto _ : state) {
        points = 0;
        for (int i = 0; i < PathCount; ++i) {
            const QList<QPolygonF> polys = paths.Reference[std::size_t(i)].toSubpathPolygons();
            for (const QPolygonF& poly : polys)
                points += poly.size();
        }
    }
    state.counters["points"] = double(points);
}
BENCHMARK(BM_Flatten_ReferenceQPainterPath)->Unit(benchmark::kMillisecond);

void BM_HitTest(benchmark::State& state)
{
    const Paths& paths = TestPaths();
    int inside = 0;
    for (auto _ : state) {
        inside = 0;
        for (int i = 0; i < PathCount; ++i)
            inside += PointOnPath(paths.Points[std::size_t(i)], paths.Types[std::size_t(i)],
                                  paths.Probes[std::size_t(i)], nullptr, nullptr, 0, true, false);
    }
    state.counters["inside"] = inside;
}
BENCHMARK(BM_HitTest)->Unit(benchmark::kMillisecond);

void BM_HitTest_ReferenceQPainterPath(benchmark::State& state)
{
    const Paths& paths = TestPaths();
    int inside = 0;
    for (auto _ : state) {
        inside = 0;
        for (int i = 0; i < PathCount; ++i) {
            const TPoint& p = paths.Probes[std::size_t(i)];
            inside += paths.Reference[std::size_t(i)].contains(QPointF(p.x, p.y));
        }
    }
    state.counters["inside"] = inside;
}
BENCHMARK(BM_HitTest_ReferenceQPainterPath)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();

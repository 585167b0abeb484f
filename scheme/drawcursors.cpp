#include "scheme/drawcursors.h"

#include <QPixmap>
#include <array>
#include <optional>

static void InitSchemeResources()
{
    // The resources live in a static library: their registration must be pulled in by hand.
    Q_INIT_RESOURCE(scheme);
}

namespace {

constexpr int kFirstCustom = 1;
constexpr int kLastCustom = 16;

struct CursorFile {
    const char* Name;
    int HotX;
    int HotY;
};

// Hot spots match the drawings in resources/scheme.
constexpr std::array<CursorFile, kLastCustom> kFiles = {{
    {"ptedit", 0, 0},    {"ptadd", 0, 0},     {"ptdel", 0, 0},      {"ptclose", 0, 0},
    {"ptmove", 0, 0},    {"ptcurve", 0, 0},   {"crbase", 8, 8},     {"crbox", 8, 8},
    {"crellipse", 8, 8}, {"crtext", 8, 8},    {"crpicture", 8, 8},  {"crcurve", 8, 8},
    {"zoomin", 11, 11},  {"zoomout", 11, 11}, {"panopen", 15, 15},  {"panclosed", 15, 15},
}};

std::array<std::optional<QCursor>, kLastCustom>& Installed()
{
    static std::array<std::optional<QCursor>, kLastCustom> cursors;
    return cursors;
}

}  // namespace

QCursor SchemeCursor(int id)
{
    if (id >= kFirstCustom && id <= kLastCustom) {
        const auto& c = Installed()[std::size_t(id - 1)];
        return c ? *c : QCursor(Qt::ArrowCursor);
    }
    switch (id) {
    case crEditSizeNESW: return QCursor(Qt::SizeBDiagCursor);
    case crEditSizeNS: return QCursor(Qt::SizeVerCursor);
    case crEditSizeNWSE: return QCursor(Qt::SizeFDiagCursor);
    case crEditSizeWE: return QCursor(Qt::SizeHorCursor);
    case crEditHandPoint: return QCursor(Qt::PointingHandCursor);
    case crEditSizeAll: return QCursor(Qt::SizeAllCursor);
    default: return QCursor(Qt::ArrowCursor);
    }
}

void SetSchemeCursor(int id, const QCursor& cursor)
{
    if (id >= kFirstCustom && id <= kLastCustom)
        Installed()[std::size_t(id - 1)] = cursor;
}

void LoadSchemeEditorCursors()
{
    InitSchemeResources();
    for (int i = 0; i < kLastCustom; ++i) {
        const CursorFile& f = kFiles[std::size_t(i)];
        QPixmap pm(QStringLiteral(":/scheme/cursors/%1.xpm").arg(QLatin1String(f.Name)));
        if (!pm.isNull())
            Installed()[std::size_t(i)] = QCursor(pm, f.HotX, f.HotY);
    }
}

void ResetSchemeCursors()
{
    for (auto& c : Installed())
        c.reset();
}

bool SchemeCursorLoaded(int id)
{
    return id >= kFirstCustom && id <= kLastCustom && Installed()[std::size_t(id - 1)].has_value();
}

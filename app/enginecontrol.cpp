#include "app/enginecontrol.h"

#include "platform/application.h"
#include "platform/bitmap.h"
#include "platform/canvas.h"
#include "platform/streams.h"
#include "scheme/drawbase.h"

#include <QCoreApplication>
#include <QFile>
#include <QTimer>

static void InitEngineResources()
{
    // The resources live in a static library: register them before the first use.
    Q_INIT_RESOURCE(engine);
}

namespace {

std::unique_ptr<TBitmap>& StripBitmap()
{
    static std::unique_ptr<TBitmap> bitmap;
    return bitmap;
}

std::unique_ptr<TBitmap>& IconBitmap()
{
    static std::unique_ptr<TBitmap> bitmap;
    return bitmap;
}

void LoadResourceBitmap(std::unique_ptr<TBitmap>& bitmap, const QString& name)
{
    if (!bitmap)
        bitmap = std::make_unique<TBitmap>();
    QFile file(QStringLiteral(":/engine/") + name);
    if (!file.open(QIODevice::ReadOnly))
        throw EInvalidGraphic(QStringLiteral("Ресурс изображения %1 не найден").arg(name));
    TMemoryStream stream(file.readAll());
    bitmap->LoadFromStream(stream);
}

}  // namespace

TBitmap* EngineImages()
{
    return StripBitmap().get();
}

TBitmap* EngineIcon()
{
    return IconBitmap().get();
}

void LoadEngineBitmaps()
{
    InitEngineResources();
    LoadResourceBitmap(StripBitmap(), QStringLiteral("ENGINEIMAGES"));
    LoadResourceBitmap(IconBitmap(), QStringLiteral("ENGINEICON"));
}

void FreeEngineBitmaps()
{
    IconBitmap().reset();
    StripBitmap().reset();
}

void RegisterEngineControl()
{
    RegisterControlClass(TEngineControl::StaticClass());
}

void InitEngineControl()
{
    static bool routineAdded = false;
    LoadEngineBitmaps();
    RegisterEngineControl();
    // The bitmaps go with the application object rather than at static destruction.
    if (!routineAdded && QCoreApplication::instance()) {
        qAddPostRoutine(FreeEngineBitmaps);
        routineAdded = true;
    }
}

// ---------------------------------------------------------------- shape

DEFINE_DRAW_CONTROL_CLASS(TEngineControl, TDrawControl)

bool TEngineControl::GetActive() const
{
    return FActive->GetValue();
}

void TEngineControl::SetActive(bool value)
{
    FActive->SetValue(value);
}

void TEngineControl::CreateProperties()
{
    TDrawControl::CreateProperties();
    FActive = new TBoolProp(&Props(), QStringLiteral("Active"));
    FActive->SetValue(false);
}

void TEngineControl::ControlCreate()
{
    SetWidth(kFrameSize * 1000);
    SetHeight(kFrameSize * 1000);
    // The picture has one size: neither the editor nor a document line changes it.
    WidthProp()->SetStyle(WidthProp()->Style() | psReadOnly);
    HeightProp()->SetStyle(HeightProp()->Style() | psReadOnly);
    FFrameIndex = 0;
    TDrawControl::ControlCreate();
    SetVisible(true);
}

void TEngineControl::ControlDestroy()
{
    // No tick may reach a shape on its way out.
    FTimer.reset();
    TDrawControl::ControlDestroy();
}

void TEngineControl::Paint(TCanvas& canvas, const TRect& paintRect)
{
    if (!EngineImages())
        return;
    std::unique_ptr<TBitmap> frame = GetFrameBitmap(FFrameIndex);
    if (frame)
        canvas.StretchDraw(paintRect, *frame);
}

void TEngineControl::PropChanged(TPropList* sender, TCustomProp* prop)
{
    TDrawControl::PropChanged(sender, prop);
    if (prop == FActive) {
        if (FActive->GetValue())
            StartAnimation();
        else
            StopAnimation();
    }
}

bool TEngineControl::GetToolInfo(TBitmap* toolIcon, QString& hint)
{
    hint = QStringLiteral("Engine Control");
    if (toolIcon && EngineIcon())
        toolIcon->Canvas().Draw(0, 0, *EngineIcon());
    return true;
}

std::unique_ptr<TBitmap> TEngineControl::GetFrameBitmap(int index) const
{
    TBitmap* strip = EngineImages();
    if (!strip || index < 0 || index >= kFrameCount)
        return nullptr;
    // Both sides at once: the platform's bitmap keeps no width while its height is 0.
    auto frame = std::make_unique<TBitmap>(GetWidth() / 1000, GetHeight() / 1000);
    const int left = kFrameSize * index;
    frame->Canvas().CopyRect(TRect(0, 0, kFrameSize, kFrameSize), strip->Canvas(),
                             TRect(left, 0, left + kFrameSize, kFrameSize));
    frame->SetTransparent(true);
    return frame;
}

void TEngineControl::StartAnimation()
{
    if (!FTimer) {
        FTimer = std::make_unique<QTimer>();
        FTimer->setInterval(kTickMs);
        QObject::connect(FTimer.get(), &QTimer::timeout, MakeGuarded([this] { AnimationTick(); }));
        FTimer->start();
    }
    AnimationTick();
}

void TEngineControl::StopAnimation()
{
    FTimer.reset();
    Invalidate();
}

void TEngineControl::AnimationTick()
{
    // The timer is held while the frame changes, so the next tick comes a full interval after
    // this one ends, also when painting fails.
    if (FTimer)
        FTimer->stop();
    struct Restart {
        TEngineControl* self;
        ~Restart()
        {
            if (self->FTimer)
                self->FTimer->start();
        }
    } restart{this};
    FFrameIndex = FFrameIndex >= kFrameCount - 1 ? 0 : FFrameIndex + 1;
    Invalidate();
}

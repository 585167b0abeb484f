// The engine shape: its bitmaps, registration, fixed size, animation and painting.
#include "app/enginecontrol.h"
#include "platform/bitmap.h"
#include "platform/streams.h"
#include "scheme/drawbase.h"
#include "scheme/drawpanel.h"
#include "scheme/drawprops2.h"
#include "scheme/drawshapes.h"
#include "tests/support/e2e_fixture.h"

#include <QTimer>
#include <gtest/gtest.h>

namespace {

using namespace std::chrono_literals;

bool IsBlack(const QImage& image, int x, int y)
{
    return (image.pixel(x, y) & 0xFFFFFF) == 0;
}

class EngineTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        InitEngineControl();
        panel.setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
        panel.setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
        panel.setFrameShape(QFrame::NoFrame);
        panel.resize(200, 150);
        panel.SetDocWidth(150000);
        panel.SetDocHeight(100000);
        panel.SetShowDocFrame(false);
        panel.show();
        if (auto* brush = dynamic_cast<TBrushProp*>(panel.ActiveScheme()->Prop(QStringLiteral("Brush"))))
            brush->SetColor(clYellow);
    }

    TEngineControl* NewEngine(int left = 0, int top = 0)
    {
        return static_cast<TEngineControl*>(
            panel.CreateControl(TEngineControl::StaticClass(), left, top, 0, 0));
    }

    TDrawPanel panel;
};

}  // namespace

TEST_F(EngineTest, BitmapsAreAStripOfFourTurnedFramesAndAnIcon)
{
    const TBitmap* strip = EngineImages();
    const TBitmap* icon = EngineIcon();
    ASSERT_NE(strip, nullptr);
    ASSERT_NE(icon, nullptr);
    EXPECT_EQ(strip->Width(), 160);
    EXPECT_EQ(strip->Height(), 40);
    EXPECT_EQ(icon->Width(), 24);
    EXPECT_EQ(icon->Height(), 24);
    const QImage& s = strip->Image();
    // Frame 0 upright and level: spokes straight above and beside the centre, none on the diagonal.
    EXPECT_TRUE(IsBlack(s, 20, 10));
    EXPECT_TRUE(IsBlack(s, 30, 20));
    EXPECT_FALSE(IsBlack(s, 27, 13));
    // Frame 2 is turned by 45 degrees: the diagonal, not the upright.
    EXPECT_TRUE(IsBlack(s, 80 + 27, 12));
    EXPECT_FALSE(IsBlack(s, 80 + 20, 10));
    // White background round every frame.
    for (int f = 0; f < 4; ++f)
        EXPECT_EQ(s.pixel(40 * f + 1, 1) & 0xFFFFFF, 0xFFFFFFu) << f;
}

TEST_F(EngineTest, DocumentsCreateTheShapeByClassNameAfterTheLibrarysOwnClasses)
{
    const auto& classes = ControlClasses();
    const auto at = std::find(classes.begin(), classes.end(), TEngineControl::StaticClass());
    ASSERT_NE(at, classes.end());
    for (const TDrawControlClass* own : {TDrawBox::StaticClass(), TDrawScheme::StaticClass(), TDrawGroup::StaticClass()})
        EXPECT_LT(std::find(classes.begin(), classes.end(), own), at) << own->ClassName.toStdString();
    RegisterEngineControl();
    EXPECT_EQ(std::count(classes.begin(), classes.end(), TEngineControl::StaticClass()), 1);
    EXPECT_EQ(FindControlClass(QStringLiteral("tenginecontrol")), TEngineControl::StaticClass());

    // A document may not resize it, nor start it: Active is a plain property line.
    const QByteArray text =
        "document D\r\n  object L: TDrawLayer\r\n  end\r\n  object S: TDrawScheme\r\n"
        "    object Motor: tenginecontrol\r\n      Left = 5000\r\n      Width = 10000\r\n"
        "      Height = 90000\r\n      Layer = L\r\n    end\r\n  end\r\nend\r\n";
    TMemoryStream stream(text);
    auto filer = panel.CreateFiler(stream, dfpLoading);
    panel.LoadFromFiler(*filer, dlmDocument);
    auto* motor = dynamic_cast<TEngineControl*>(panel.FindControl(QStringLiteral("Motor")));
    ASSERT_NE(motor, nullptr);
    EXPECT_EQ(motor->GetLeft(), 5000);
    EXPECT_EQ(motor->GetWidth(), 40000);
    EXPECT_EQ(motor->GetHeight(), 40000);
    EXPECT_FALSE(motor->GetActive());
    EXPECT_EQ(motor->AnimationTimer(), nullptr);
}

TEST_F(EngineTest, NewShapeIsFortyPixelsSquareStillAndVisible)
{
    TEngineControl* e = NewEngine();
    EXPECT_EQ(e->GetWidth(), 40000);
    EXPECT_EQ(e->GetHeight(), 40000);
    EXPECT_TRUE(e->GetVisible());
    EXPECT_EQ(e->FrameIndex(), 0);
    EXPECT_FALSE(e->GetActive());
    EXPECT_EQ(e->AnimationTimer(), nullptr);
    EXPECT_EQ(e->GetName(), QStringLiteral("EngineControl"));
    e->SetWidth(10000);
    e->SetHeight(80000);
    e->SetDocRect(TRect(1000, 2000, 9000, 9000));
    EXPECT_EQ(e->GetWidth(), 40000);
    EXPECT_EQ(e->GetHeight(), 40000);
    EXPECT_EQ(e->GetLeft(), 1000);
}

TEST_F(EngineTest, ActivatingStepsOnceAtOnceAndAgainDoesNothing)
{
    TEngineControl* e = NewEngine();
    e->SetActive(true);
    ASSERT_NE(e->AnimationTimer(), nullptr);
    EXPECT_EQ(e->AnimationTimer()->interval(), TEngineControl::kTickMs);
    EXPECT_TRUE(e->AnimationTimer()->isActive());
    EXPECT_EQ(e->FrameIndex(), 1);
    QTimer* timer = e->AnimationTimer();
    e->SetActive(true);
    EXPECT_EQ(e->AnimationTimer(), timer);
    EXPECT_EQ(e->FrameIndex(), 1);
    // The name as the live view writes it.
    static_cast<TBoolProp*>(e->Prop(QStringLiteral("active")))->SetValue(true);
    EXPECT_EQ(e->FrameIndex(), 1);
}

TEST_F(EngineTest, FramesCycleAndStoppingKeepsTheFrameReached)
{
    TEngineControl* e = NewEngine();
    e->SetActive(true);
    std::vector<int> seen{e->FrameIndex()};
    for (int i = 0; i < 5; ++i) {
        e->AnimationTick();
        seen.push_back(e->FrameIndex());
    }
    EXPECT_EQ(seen, (std::vector<int>{1, 2, 3, 0, 1, 2}));
    EXPECT_TRUE(e->AnimationTimer()->isActive());
    e->SetActive(false);
    EXPECT_EQ(e->AnimationTimer(), nullptr);
    EXPECT_EQ(e->FrameIndex(), 2);
    e->SetActive(false);
    EXPECT_EQ(e->FrameIndex(), 2);
    // Activating again goes on from there.
    e->SetActive(true);
    EXPECT_EQ(e->FrameIndex(), 3);
}

TEST_F(EngineTest, FreeingATurningShapeStopsItsTicks)
{
    TEngineControl* doomed = NewEngine();
    TEngineControl* other = NewEngine(50000, 0);
    doomed->SetActive(true);
    other->SetActive(true);
    ASSERT_TRUE(doomed->Free());
    // Several ticks of the other shape pass; a tick of the freed one would touch freed memory.
    int steps = 0;
    int last = other->FrameIndex();
    ASSERT_TRUE(e2e::WaitFor([&] {
        if (other->FrameIndex() != last) {
            last = other->FrameIndex();
            ++steps;
        }
        return steps >= 3;
    }, 5s));
}

TEST_F(EngineTest, FrameBitmapsComeFromTheStripAndAreTransparent)
{
    TEngineControl* e = NewEngine();
    for (int i = 0; i < 4; ++i) {
        std::unique_ptr<TBitmap> frame = e->GetFrameBitmap(i);
        ASSERT_NE(frame, nullptr);
        EXPECT_EQ(frame->Width(), 40);
        EXPECT_EQ(frame->Height(), 40);
        EXPECT_TRUE(frame->Transparent());
        EXPECT_EQ(frame->Image().copy(), EngineImages()->Image().copy(40 * i, 0, 40, 40).convertToFormat(frame->Image().format())) << i;
    }
    EXPECT_EQ(e->GetFrameBitmap(4), nullptr);
    EXPECT_EQ(e->GetFrameBitmap(-1), nullptr);
}

TEST_F(EngineTest, PaintsTheCurrentFrameOverTheSchemeAndNothingWithoutTheStrip)
{
    TEngineControl* e = NewEngine(10000, 10000);
    panel.SetScale(100);
    QImage shot = panel.RenderClient();
    const int ox = -panel.OriginX() + 10;
    const int oy = -panel.OriginY() + 10;
    // The upright spoke of frame 0 is black, the corner shows the scheme's yellow through.
    EXPECT_TRUE(IsBlack(shot, ox + 20, oy + 10));
    EXPECT_EQ(FromQColor(shot.pixelColor(ox + 2, oy + 2)), clYellow);
    e->SetActive(true);  // frame 1
    e->AnimationTick();  // frame 2: the diagonal
    shot = panel.RenderClient();
    EXPECT_FALSE(IsBlack(shot, ox + 20, oy + 10));
    EXPECT_TRUE(IsBlack(shot, ox + 27, oy + 12));

    FreeEngineBitmaps();
    shot = panel.RenderClient();
    EXPECT_EQ(FromQColor(shot.pixelColor(ox + 27, oy + 12)), clYellow);
    EXPECT_EQ(e->GetFrameBitmap(0), nullptr);
    InitEngineControl();
}

TEST_F(EngineTest, ToolInfoGivesTheHintAndDrawsTheIcon)
{
    TEngineControl* e = NewEngine();
    QString hint;
    EXPECT_TRUE(e->GetToolInfo(nullptr, hint));
    EXPECT_EQ(hint, QStringLiteral("Engine Control"));
    TBitmap icon(24, 24);
    hint.clear();
    EXPECT_TRUE(e->GetToolInfo(&icon, hint));
    EXPECT_EQ(hint, QStringLiteral("Engine Control"));
    EXPECT_EQ(icon.Image().copy(), EngineIcon()->Image().convertToFormat(icon.Image().format()));
}

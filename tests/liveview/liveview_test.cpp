// The live view over the committed scheme document: binding, replies, stopping, fitting.
#include "app/enginecontrol.h"
#include "app/liveview.h"
#include "scheme/drawbase.h"
#include "scheme/drawpanel.h"
#include "scheme/drawprops2.h"
#include "scheme/drawtext.h"

#include <QFile>
#include <QLabel>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

const QString kDocument = QStringLiteral(VEMOR_SOURCE_DATA_DIR "/schemes/vemor.sch");

class LiveViewTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        panel.resize(344, 244);
        txtN.setStyleSheet(QStringLiteral("font-family: Arial; font-size: 13px; font-weight: bold;"));
        view = std::make_unique<TLiveView>(panel, txtU, txtN, txtT);
        view->LoadScheme(kDocument);
    }

    TDrawControl* Obj(const QString& name) { return panel.FindControl(name); }
    bool Shown(const QString& name)
    {
        TDrawControl* c = Obj(name);
        EXPECT_NE(c, nullptr) << name.toStdString();
        return c && c->GetVisible();
    }
    TColor Colour(const QString& name)
    {
        return dynamic_cast<TBrushProp*>(Obj(name)->Prop(QStringLiteral("Brush")))->GradBeginColor();
    }
    TEngineControl* Engine() { return dynamic_cast<TEngineControl*>(Obj(QStringLiteral("engEngine"))); }
    QString ContactText(int i) { return dynamic_cast<TDrawText*>(Obj(QStringLiteral("btn%1txt").arg(i)))->GetText(); }

    TDrawPanel panel;
    QLabel txtU, txtN, txtT;
    std::unique_ptr<TLiveView> view;
};

}  // namespace

TEST_F(LiveViewTest, LoadingPaintsTheSchemeInTheWindowFaceAndFitsThePanel)
{
    auto* brush = dynamic_cast<TBrushProp*>(panel.Schemes()->GetScheme(0)->Prop(QStringLiteral("Brush")));
    ASSERT_NE(brush, nullptr);
    EXPECT_EQ(brush->Color(), clBtnFace);
    EXPECT_EQ(panel.Scale(), 100);
    EXPECT_EQ(panel.horizontalScrollBarPolicy(), Qt::ScrollBarAlwaysOff);
    EXPECT_FALSE(panel.ShowDocFrame());
}

TEST_F(LiveViewTest, FitScaleTakesNinetyNinePercentOfTheTighterSide)
{
    // 244/200 = 1.22 against 344/300 = 1.147: the width is tighter.
    EXPECT_EQ(TLiveView::FitScale(344, 244, 300000, 200000), 113);
    // Height tighter.
    EXPECT_EQ(TLiveView::FitScale(344, 244, 200000, 300000), 244 * 99 / 300);
    // Equal ratios take the height.
    EXPECT_EQ(TLiveView::FitScale(300, 200, 150000, 100000), 198);
    // Nothing to fit in a document smaller than a pixel.
    EXPECT_EQ(TLiveView::FitScale(344, 244, 999, 200000), 0);
    EXPECT_EQ(TLiveView::FitScale(344, 244, 300000, 0), 0);
}

TEST_F(LiveViewTest, MissingDocumentRaisesAndKeepsTheScale)
{
    panel.SetScale(77);
    EXPECT_ANY_THROW(view->LoadScheme(kDocument + QStringLiteral(".missing")));
    EXPECT_EQ(panel.Scale(), 77);
}

TEST_F(LiveViewTest, UnreadableDocumentLeavesAnEmptyPanel)
{
    QFile source(kDocument);
    ASSERT_TRUE(source.open(QIODevice::ReadOnly));
    QByteArray text = source.readAll();
    const qsizetype at = text.indexOf("      Layer = Scheme\r\n");
    ASSERT_GE(at, 0);
    text.replace(at, 22, "      Layer = (\r\n        'Scheme' )\r\n");
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    QFile bad(dir.filePath(QStringLiteral("bad.sch")));
    ASSERT_TRUE(bad.open(QIODevice::WriteOnly));
    bad.write(text);
    bad.close();

    EXPECT_ANY_THROW(view->LoadScheme(bad.fileName()));
    EXPECT_EQ(Obj(QStringLiteral("txtA")), nullptr) << "nothing of the refused document stays";
    EXPECT_EQ(Engine(), nullptr);
    panel.grab();
}

TEST_F(LiveViewTest, BindingSetsTheContactsUpFromTheirTypes)
{
    view->Bind({1, 0, 3, 4});
    EXPECT_EQ(ContactText(1), QStringLiteral("СТОП1"));
    EXPECT_EQ(ContactText(2), QString());
    EXPECT_EQ(ContactText(3), QStringLiteral("ГАО"));
    EXPECT_EQ(ContactText(4), QStringLiteral("ТРЗ"));
    for (int i = 1; i <= 4; ++i) {
        SCOPED_TRACE(i);
        const bool inUse = i != 2;
        EXPECT_EQ(view->ContactInUse(i), inUse);
        EXPECT_EQ(Shown(QStringLiteral("btn%1lin").arg(i)), !inUse);
        EXPECT_EQ(Shown(QStringLiteral("btn%1on").arg(i)), inUse);
        EXPECT_FALSE(Shown(QStringLiteral("btn%1off").arg(i)));
    }
    for (const char* name : {"grpK1on", "grpK2on", "grpK3on", "grpAon"})
        EXPECT_FALSE(Shown(QString::fromLatin1(name))) << name;
    for (int o = 0; o < TLiveView::ObjectCount; ++o)
        EXPECT_NE(view->Bound(TLiveView::Object(o)), nullptr) << o;

    // A type outside the list leaves the text as it was; the second type name follows.
    view->Bind({2, 9, 0, 0});
    EXPECT_EQ(ContactText(1), QStringLiteral("СТОП2"));
    EXPECT_EQ(ContactText(2), QString());
    EXPECT_TRUE(view->ContactInUse(2));
    EXPECT_EQ(ContactText(3), QString());
}

TEST_F(LiveViewTest, RunningEngineWithNormalVoltage)
{
    view->Bind({1, 2, 3, 4});
    view->Reply(0x50, 220, 5);
    EXPECT_EQ(txtU.text(), QStringLiteral("U : 220 В"));
    EXPECT_EQ(txtT.text(), QStringLiteral("T = 5 c"));
    EXPECT_EQ(txtN.text(), QStringLiteral("Норма"));
    EXPECT_TRUE(txtN.styleSheet().contains(QStringLiteral("#008000")));
    EXPECT_EQ(Colour(QStringLiteral("grpK1")), TLiveView::kRunning);
    EXPECT_EQ(Colour(QStringLiteral("ellEngine")), TLiveView::kRunning);
    for (int k = 1; k <= 3; ++k) {
        EXPECT_TRUE(Shown(QStringLiteral("grpK%1on").arg(k)));
        EXPECT_FALSE(Shown(QStringLiteral("grpK%1off").arg(k)));
    }
    EXPECT_TRUE(Shown(QStringLiteral("grpAon")));
    EXPECT_FALSE(Shown(QStringLiteral("grpAoff")));
    ASSERT_NE(Engine(), nullptr);
    EXPECT_TRUE(Engine()->GetActive());
    EXPECT_NE(Engine()->AnimationTimer(), nullptr);
}

TEST_F(LiveViewTest, StoppedEngineIsGreenAndNoVoltageIsBlackWhateverTheEngine)
{
    view->Bind({1, 2, 3, 4});
    view->Reply(0x40, 380, 0);
    EXPECT_EQ(Colour(QStringLiteral("grpK1")), TLiveView::kStopped);
    EXPECT_FALSE(Engine()->GetActive());
    EXPECT_TRUE(Shown(QStringLiteral("grpK1off")));
    for (int s : {0x00, 0x10}) {
        view->Reply(s, 0, 0);
        EXPECT_EQ(Colour(QStringLiteral("grpK1")), TLiveView::kNoVoltage) << s;
        EXPECT_EQ(Colour(QStringLiteral("ellEngine")), TLiveView::kNoVoltage) << s;
        EXPECT_TRUE(Shown(QStringLiteral("grpAoff")));
        EXPECT_FALSE(Shown(QStringLiteral("grpAon")));
        EXPECT_EQ(txtU.text(), QStringLiteral("U : 0 В"));
    }
    // Voltages beyond one byte.
    view->Reply(0x40, 0x1234, 200);
    EXPECT_EQ(txtU.text(), QStringLiteral("U : 4660 В"));
    EXPECT_EQ(txtT.text(), QStringLiteral("T = 200 c"));
}

TEST_F(LiveViewTest, VoltageStateTextFollowsBitsSixAndSevenWithoutGrowingItsStyle)
{
    view->Bind({0, 0, 0, 0});
    view->Reply(0xC0, 300, 1);
    EXPECT_EQ(txtN.text(), QStringLiteral("Критич."));
    EXPECT_TRUE(txtN.styleSheet().contains(QStringLiteral("#FF0000")));
    EXPECT_FALSE(txtN.styleSheet().contains(QStringLiteral("#008000")));
    const QString style = txtN.styleSheet();
    for (int i = 0; i < 50; ++i)
        view->Reply(0xC0, 300, 1);
    EXPECT_EQ(txtN.styleSheet(), style);
    EXPECT_TRUE(style.startsWith(QStringLiteral("font-family: Arial")));
    view->Reply(0x80, 300, 1);
    EXPECT_EQ(txtN.text(), QStringLiteral("Критич."));
    // Neither bit: empty, the colour stays.
    view->Reply(0x00, 300, 1);
    EXPECT_EQ(txtN.text(), QString());
    EXPECT_TRUE(txtN.styleSheet().contains(QStringLiteral("#FF0000")));
}

TEST_F(LiveViewTest, ContactsInUseFollowTheirBitsAndUnusedOnesNeverChange)
{
    view->Bind({1, 0, 3, 4});
    // Contacts 1 and 3 closed (bits 0 and 2), 4 open; contact 2 is not in use.
    view->Reply(0x40 | 0x01 | 0x02 | 0x04, 380, 0);
    EXPECT_FALSE(Shown(QStringLiteral("btn1on")));
    EXPECT_TRUE(Shown(QStringLiteral("btn1off")));
    EXPECT_FALSE(Shown(QStringLiteral("btn3on")));
    EXPECT_TRUE(Shown(QStringLiteral("btn3off")));
    EXPECT_TRUE(Shown(QStringLiteral("btn4on")));
    EXPECT_FALSE(Shown(QStringLiteral("btn4off")));
    EXPECT_FALSE(Shown(QStringLiteral("btn2on")));
    EXPECT_FALSE(Shown(QStringLiteral("btn2off")));
    EXPECT_TRUE(Shown(QStringLiteral("btn2lin")));
    view->Reply(0x40, 380, 0);
    EXPECT_TRUE(Shown(QStringLiteral("btn1on")));
    EXPECT_FALSE(Shown(QStringLiteral("btn1off")));
    EXPECT_FALSE(Shown(QStringLiteral("btn2on")));
    EXPECT_FALSE(Shown(QStringLiteral("btn2off")));
}

TEST_F(LiveViewTest, StoppingGreysTheSymbolsAndStopsTheEngine)
{
    view->Bind({1, 2, 3, 4});
    view->Reply(0x50, 220, 5);
    const int frame = Engine()->FrameIndex();
    view->Stop();
    EXPECT_EQ(txtU.text(), QStringLiteral("U : 0 В"));
    EXPECT_EQ(txtN.text(), QString());
    EXPECT_EQ(txtT.text(), QStringLiteral("T = 0 c"));
    EXPECT_FALSE(Engine()->GetActive());
    EXPECT_EQ(Engine()->AnimationTimer(), nullptr);
    EXPECT_EQ(Engine()->FrameIndex(), frame);
    EXPECT_EQ(Colour(QStringLiteral("grpK1")), TLiveView::kIdle);
    EXPECT_EQ(Colour(QStringLiteral("ellEngine")), TLiveView::kIdle);
    for (const char* name : {"grpK1on", "grpK2on", "grpK3on", "grpAon"})
        EXPECT_FALSE(Shown(QString::fromLatin1(name))) << name;
    for (const char* name : {"grpK1off", "grpK2off", "grpK3off", "grpAoff"})
        EXPECT_TRUE(Shown(QString::fromLatin1(name))) << name;
}

TEST_F(LiveViewTest, NamesTheDocumentLacksAreSkipped)
{
    panel.FindControl(QStringLiteral("grpK1"))->Free();
    panel.FindControl(QStringLiteral("btn3on"))->Free();
    panel.FindControl(QStringLiteral("btn3txt"))->Free();
    view->Bind({1, 2, 3, 4});
    EXPECT_EQ(view->Bound(TLiveView::grpK1), nullptr);
    EXPECT_EQ(view->Bound(TLiveView::btn3on), nullptr);
    view->Reply(0x50 | 0x04, 220, 5);
    EXPECT_EQ(Colour(QStringLiteral("ellEngine")), TLiveView::kRunning);
    EXPECT_TRUE(Shown(QStringLiteral("btn3off")));
    view->Stop();
    EXPECT_EQ(Colour(QStringLiteral("ellEngine")), TLiveView::kIdle);
}

TEST_F(LiveViewTest, ReadingTheDocumentAgainDropsTheOldBindings)
{
    view->Bind({1, 2, 3, 4});
    view->LoadScheme(kDocument);
    for (int o = 0; o < TLiveView::ObjectCount; ++o)
        EXPECT_EQ(view->Bound(TLiveView::Object(o)), nullptr) << o;
    view->Reply(0x50, 220, 5);
    EXPECT_EQ(txtU.text(), QStringLiteral("U : 220 В"));
    EXPECT_EQ(Colour(QStringLiteral("grpK1")), TLiveView::kIdle);
    view->Bind({1, 2, 3, 4});
    view->Reply(0x50, 220, 5);
    EXPECT_EQ(Colour(QStringLiteral("grpK1")), TLiveView::kRunning);
}

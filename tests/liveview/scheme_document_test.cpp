// The committed scheme document: what the generator builds, and every name the live view needs.
#include "app/enginecontrol.h"
#include "app/liveview.h"
#include "platform/streams.h"
#include "scheme/drawbase.h"
#include "scheme/drawpanel.h"
#include "scheme/drawprops2.h"
#include "scheme/drawtext.h"
#include "tests/liveview/vemor_scheme.h"

#include <QFile>
#include <gtest/gtest.h>

namespace {

const QString kDocument = QStringLiteral(VEMOR_SOURCE_DATA_DIR "/schemes/vemor.sch");

int CountNamed(TDrawControl* root, const QString& name)
{
    int n = root->GetName() == name ? 1 : 0;
    for (TDrawControl* c : root->Children())
        n += CountNamed(c, name);
    return n;
}

class SchemeDocumentTest : public ::testing::Test {
protected:
    void SetUp() override { InitEngineControl(); }
    TDrawPanel panel;
};

}  // namespace

// VEMOR_WRITE_SCHEME=1 rewrites the committed document from the generator first.
TEST_F(SchemeDocumentTest, CommittedDocumentIsWhatTheGeneratorBuilds)
{
    TDrawPanel generated;
    BuildVemorScheme(generated);
    const QByteArray text = SaveSchemeText(generated);
    if (qEnvironmentVariableIsSet("VEMOR_WRITE_SCHEME")) {
        QFile out(kDocument);
        ASSERT_TRUE(out.open(QIODevice::WriteOnly | QIODevice::Truncate));
        out.write(text);
    }
    ASSERT_TRUE(panel.LoadFromFile(kDocument));
    EXPECT_EQ(SaveSchemeText(panel), text) << "regenerate with VEMOR_WRITE_SCHEME=1";
    EXPECT_FALSE(panel.Modified());
}

TEST_F(SchemeDocumentTest, DefinesEveryObjectTheLiveViewLooksUpExactlyOnce)
{
    ASSERT_TRUE(panel.LoadFromFile(kDocument));
    QStringList names;
    for (int o = 0; o < TLiveView::ObjectCount; ++o)
        names << TLiveView::ObjectName(TLiveView::Object(o));
    for (int i = 1; i <= 4; ++i)
        names << QStringLiteral("btn%1txt").arg(i) << QStringLiteral("btn%1lin").arg(i);
    for (const QString& name : names) {
        SCOPED_TRACE(name.toStdString());
        EXPECT_NE(panel.FindControl(name), nullptr);
        EXPECT_EQ(CountNamed(panel.Schemes(), name), 1);
    }
    // Lookups compare letter case.
    EXPECT_EQ(panel.FindControl(QStringLiteral("engengine")), nullptr);

    TDrawControl* engine = panel.FindControl(QStringLiteral("engEngine"));
    ASSERT_NE(engine, nullptr);
    EXPECT_EQ(engine->ClassName(), QStringLiteral("TEngineControl"));
    EXPECT_EQ(engine->GetWidth(), 40000);
    EXPECT_EQ(engine->GetHeight(), 40000);
    // The coloured symbols fill with a gradient, so their begin colour shows.
    for (const char* name : {"grpK1", "ellEngine"}) {
        auto* brush = dynamic_cast<TBrushProp*>(panel.FindControl(QString::fromLatin1(name))->Prop("Brush"));
        ASSERT_NE(brush, nullptr) << name;
        EXPECT_EQ(brush->Method(), bmGradient) << name;
        EXPECT_EQ(brush->GradBeginColor(), TLiveView::kIdle) << name;
    }
    for (int i = 1; i <= 4; ++i)
        EXPECT_NE(dynamic_cast<TDrawText*>(panel.FindControl(QStringLiteral("btn%1txt").arg(i))), nullptr);
}

TEST_F(SchemeDocumentTest, DocumentFillsTheLiveViewPanelAtFullScale)
{
    ASSERT_TRUE(panel.LoadFromFile(kDocument));
    EXPECT_EQ(panel.DocWidth(), 340000);
    EXPECT_EQ(panel.DocHeight(), 240000);
    EXPECT_EQ(TLiveView::FitScale(344, 244, panel.DocWidth(), panel.DocHeight()), 100);
}

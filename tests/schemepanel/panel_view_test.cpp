// Coordinates, scale, lookup, names, notifications and painting of the panel.
#include "panel_fixture.h"

#include "platform/exceptions.h"

#include <QDir>
#include <QScrollBar>
#include <QWheelEvent>
#include <QTemporaryDir>
#include <set>

TEST_F(PanelTest, NewPanelHasOneSchemeAndOneLayer)
{
    MakePanel();
    ASSERT_NE(panel->ActiveScheme(), nullptr);
    ASSERT_NE(panel->ActiveLayer(), nullptr);
    EXPECT_EQ(panel->ActiveScheme()->GetName(), "Scheme1");
    EXPECT_EQ(panel->ActiveLayer()->GetName(), "Layer1");
    EXPECT_EQ(panel->Schemes()->GetName(), "Document");
    EXPECT_EQ(panel->Scale(), 100);
    EXPECT_EQ(panel->DocWidth(), 320000);
    EXPECT_EQ(panel->DocHeight(), 240000);
}

TEST_F(PanelTest, SmallDocumentIsCentredAndScaled)
{
    MakePanel(500, 400);
    // (320 - 500) div 2 and (240 - 400) div 2.
    EXPECT_EQ(panel->OriginX(), -90);
    EXPECT_EQ(panel->OriginY(), -80);
    int x = 0, y = 0;
    panel->DocToClient(x, y);
    EXPECT_EQ(x, 90);
    EXPECT_EQ(y, 80);

    panel->SetScale(200);
    // 640 x 480 pixels in a 500 x 400 window: negative centring turns positive.
    EXPECT_EQ(panel->OriginX(), 70);
    x = 10000;
    y = 0;
    panel->DocToClient(x, y);
    EXPECT_EQ(x, 20 - 70);

    int cx = 90, cy = 80;
    panel->SetScale(100);
    panel->ClientToDoc(cx, cy);
    EXPECT_EQ(cx, 0);
    EXPECT_EQ(cy, 0);
}

TEST_F(PanelTest, ScaleIsClampedAndNotifiedOncePerChange)
{
    MakePanel();
    int scaleNotes = 0;
    panel->OnNotify = [&](TDrawPanel*, TDrawControl*, TDrawNotify code) {
        if (code == dnScale)
            ++scaleNotes;
    };
    panel->SetScale(0);
    EXPECT_EQ(panel->Scale(), 1);
    panel->SetScale(60000);
    EXPECT_EQ(panel->Scale(), 50000);
    EXPECT_EQ(scaleNotes, 2);
    panel->SetScale(50000);
    EXPECT_EQ(scaleNotes, 2);
}

TEST_F(PanelTest, AutoZoomFollowsTheClientSize)
{
    MakePanel(640, 480);
    panel->SetAutoZoom(true);
    EXPECT_EQ(panel->Scale(), 200);
    panel->resize(320, 480);
    QCoreApplication::processEvents();
    EXPECT_EQ(panel->Scale(), 100);
}

TEST_F(PanelTest, FindControlComparesNamesWithCase)
{
    MakePanel();
    TDrawBox* box = AddBox("grpK1", 0, 0, 10000, 10000);
    EXPECT_EQ(panel->FindControl("grpK1"), box);
    EXPECT_EQ(panel->FindControl("grpk1"), nullptr);
    EXPECT_EQ(panel->FindControl("Layer1"), panel->ActiveLayer());
    EXPECT_EQ(panel->FindControl("grpK1", panel->ActiveLayer()), nullptr);
    EXPECT_EQ(panel->FindControlByID(box->GetID()), box);
    EXPECT_EQ(panel->FindControlByID(0), nullptr);
    EXPECT_EQ(panel->FindControlByID(9999), nullptr);
}

TEST_F(PanelTest, GeneratedNamesFillTheFirstGap)
{
    MakePanel();
    panel->SetAutoNameNumbs(true);
    AddBox("Box1", 0, 0, 1000, 1000);
    AddBox("Box2", 0, 0, 1000, 1000);
    TDrawBox* b4 = AddBox("Box4", 0, 0, 1000, 1000);
    QString name;
    panel->GenerateControlName(b4, nullptr, name, true);
    EXPECT_EQ(name, "Box3");
    panel->FindControl("Box1")->Free();
    panel->GenerateControlName(b4, nullptr, name, true);
    EXPECT_EQ(name, "Box1");
    panel->GenerateControlName(b4, nullptr, name, false);
    EXPECT_EQ(name, "Box");
}

TEST_F(PanelTest, NewControlsGetUniqueIdsAndAutomaticNames)
{
    MakePanel();
    auto* a = panel->CreateControl(TDrawBox::StaticClass(), 0, 0, 1000, 1000);
    auto* b = panel->CreateControl(TDrawBox::StaticClass(), 0, 0, 1000, 1000);
    EXPECT_NE(a->GetID(), 0u);
    EXPECT_NE(a->GetID(), b->GetID());
    EXPECT_EQ(a->GetName(), "Box");
    // Taking an ID in use is refused: the control keeps its own.
    const uint32_t before = b->GetID();
    b->SetID(a->GetID());
    EXPECT_EQ(b->GetID(), before);
}

TEST_F(PanelTest, ModifiedFollowsChangesAndSaving)
{
    MakePanel();
    panel->SetModified(false);
    AddBox("b", 0, 0, 1000, 1000);
    EXPECT_TRUE(panel->Modified());
    SaveDocument(*panel);
    EXPECT_FALSE(panel->Modified());
}

TEST_F(PanelTest, ControlIsPaintedAtScaledPosition)
{
    MakePanel(320, 240);  // the document fills the window exactly: origin 0
    panel->SetColor(clWhite);
    panel->ActiveScheme()->Prop("Brush")->SetPropValue("Color", Variant(int(clWhite)));
    AddBox("b", 10000, 10000, 5000, 5000, clRed);
    AddBox("c", 100000, 100000, 5000, 5000, clBlue);
    // The box's 1-pixel pen outlines it in black, its brush fills the inside.
    EXPECT_EQ(PixelAt(9, 12), clWhite);
    EXPECT_EQ(PixelAt(10, 12), clBlack);
    EXPECT_EQ(PixelAt(11, 12), clRed);
    EXPECT_EQ(PixelAt(102, 102), clBlue);
    panel->SetScale(200);
    // 640 x 480 in 320 x 240, no scroll bars: centred at (160, 120); x 100000 lands at 200 - 160.
    EXPECT_EQ(panel->OriginX(), 160);
    EXPECT_EQ(panel->OriginY(), 120);
    EXPECT_EQ(PixelAt(39, 85), clWhite);
    EXPECT_EQ(PixelAt(40, 85), clBlack);
    EXPECT_EQ(PixelAt(45, 85), clBlue);
    EXPECT_EQ(PixelAt(47, 87), clBlue);  // the pen is two pixels wide at 200 %
    EXPECT_EQ(PixelAt(50, 85), clWhite);
}

TEST_F(PanelTest, FrameShadowAndBackgroundAroundSmallDocument)
{
    MakePanel(500, 400);
    panel->SetColor(clWhite);
    panel->ActiveScheme()->Prop("Brush")->SetPropValue("Color", Variant(int(clYellow)));
    // Document pixel (0, 0) is at (90, 80); the frame one pixel outside, the shadow below-right.
    EXPECT_EQ(PixelAt(90, 80), clYellow);
    EXPECT_EQ(PixelAt(89, 80), clBlack);
    EXPECT_EQ(PixelAt(90 + 320, 80 + 100), clBlack);
    EXPECT_EQ(PixelAt(90 + 322, 80 + 100), TColor(0x808080));
    EXPECT_EQ(PixelAt(5, 5), clWhite);
    panel->SetDocShadowColor(panel->DocFrameColor());
    EXPECT_EQ(PixelAt(90 + 322, 80 + 100), clBlack);
    panel->SetShowDocFrame(false);
    EXPECT_EQ(PixelAt(89, 80), clWhite);
}

TEST_F(PanelTest, DocumentSpaceIsHatchedOutsideTheDocumentOnly)
{
    MakePanel(500, 400);
    panel->SetColor(clWhite);
    panel->ActiveScheme()->Prop("Brush")->SetPropValue("Color", Variant(int(clYellow)));
    panel->DocSpaceBrush().SetColor(clBlue);
    panel->DocSpaceBrush().SetStyle(bsSolid);
    panel->SetDocSpaceFill(true);
    EXPECT_EQ(PixelAt(5, 5), clBlue);
    EXPECT_EQ(PixelAt(90, 80), clYellow);
    EXPECT_EQ(PixelAt(89, 80), clBlack);
}

TEST_F(PanelTest, PaintEventsDrawTheSameAsRenderClient)
{
    MakePanel(320, 240);
    AddBox("b", 10000, 10000, 5000, 5000, clRed);
    const QImage grabbed = panel->viewport()->grab().toImage();
    ASSERT_FALSE(grabbed.isNull());
    EXPECT_EQ(FromQColor(grabbed.pixelColor(12, 12)), clRed);
}

TEST_F(PanelTest, WheelScrollsADocumentLargerThanTheWindow)
{
    MakePanel(200, 200);
    panel->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    QCoreApplication::processEvents();
    ASSERT_GT(panel->verticalScrollBar()->maximum(), 0);
    const int before = panel->OriginY();
    QWheelEvent wheel(QPointF(50, 50), panel->viewport()->mapToGlobal(QPointF(50, 50)), QPoint(), QPoint(0, -120),
                      Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
    QCoreApplication::sendEvent(panel->viewport(), &wheel);
    EXPECT_GT(panel->OriginY(), before);
    EXPECT_EQ(panel->OriginY(), panel->verticalScrollBar()->value());
}

// ---------------------------------------------------------------- documents

TEST_F(PanelTest, SavedDocumentLoadsIntoAnotherPanelUnchanged)
{
    MakePanel();
    TDrawBox* box = AddBox("grpK1", 12000, 34000, 5000, 6000, clGreen);
    box->HintProp()->SetText("a hint");
    auto* second = panel->CreateControl(TDrawEllipse::StaticClass(), 1000, 2000, 3000, 4000);
    second->SetName("ellEngine");
    panel->SetDocWidth(500000);
    const QByteArray text = SaveDocument(*panel);
    ASSERT_TRUE(text.startsWith("document Document"));

    TDrawPanel other;
    LoadDocument(other, text);
    EXPECT_EQ(other.DocWidth(), 500000);
    TDrawControl* b = other.FindControl("grpK1");
    ASSERT_NE(b, nullptr);
    EXPECT_EQ(b->ClassName(), "TDrawBox");
    EXPECT_EQ(b->GetID(), box->GetID());
    EXPECT_EQ(b->GetLeft(), 12000);
    EXPECT_EQ(b->GetHeight(), 6000);
    EXPECT_EQ(b->GetHint(), "a hint");
    EXPECT_EQ(b->Layer(), other.ActiveLayer());
    EXPECT_EQ(other.FindControl("ellEngine")->GetID(), second->GetID());
    EXPECT_FALSE(other.Modified());
    EXPECT_EQ(SaveDocument(other), text);
}

TEST_F(PanelTest, AssignCopiesTheDocument)
{
    MakePanel();
    AddBox("x", 1000, 1000, 1000, 1000);
    TDrawPanel other;
    other.Assign(*panel);
    ASSERT_NE(other.FindControl("x"), nullptr);
    EXPECT_EQ(SaveDocument(other), SaveDocument(*panel));
}

TEST_F(PanelTest, BadFirstLineIsADataFormatError)
{
    MakePanel();
    try {
        LoadDocument(*panel, "clipboard\r\nend\r\n");
        FAIL() << "no exception";
    } catch (const Exception& e) {
        EXPECT_EQ(e.Message(), "Data format error");
    }
    EXPECT_FALSE(panel->IsLoading());
    // The same text pastes.
    EXPECT_NO_THROW(LoadDocument(*panel, "clipboard\r\nend\r\n", dlmClipboard));
}

TEST_F(PanelTest, ClassNamesAreCaseInsensitiveAndUnknownBlocksAreSkipped)
{
    MakePanel();
    LoadDocument(*panel,
                 "document Doc\r\n"
                 "  object Layer1:TDrawLayer\r\n"
                 "  end\r\n"
                 "  object Scheme1:TDrawScheme\r\n"
                 "    object Strange:TNoSuchClass\r\n"
                 "      object Inner:tdrawbox\r\n"
                 "      end\r\n"
                 "    end\r\n"
                 "    object Good:tdrawbox\r\n"
                 "      Layer = 'Layer1'\r\n"
                 "    end\r\n"
                 "    object Bad\r\n"
                 "    end\r\n"
                 "  end\r\n"
                 "end\r\n");
    EXPECT_EQ(panel->Schemes()->GetName(), "Doc");
    TDrawControl* good = panel->FindControl("Good");
    ASSERT_NE(good, nullptr);
    EXPECT_EQ(good->ClassName(), "TDrawBox");
    EXPECT_EQ(panel->FindControl("Inner"), nullptr);
    EXPECT_EQ(panel->FindControl("Strange"), nullptr);
    EXPECT_EQ(good->Layer(), panel->FindControl("Layer1"));
    EXPECT_EQ(panel->ActiveScheme()->GetName(), "Scheme1");
}

TEST_F(PanelTest, MissingFileRaisesTheFileOpenError)
{
    MakePanel();
    EXPECT_THROW(panel->LoadFromFile("/nonexistent/vemor.sch"), EFOpenError);
}

TEST_F(PanelTest, LoadFromFileReadsADocument)
{
    MakePanel();
    AddBox("engEngine", 0, 0, 1000, 1000);
    const QByteArray text = SaveDocument(*panel);
    QTemporaryDir dir;
    const QString path = dir.filePath("vemor.sch");
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(text);
    f.close();
    TDrawPanel other;
    int lastProgress = -1;
    other.OnProgress = [&](TDrawPanel*, int percent, int process) {
        EXPECT_EQ(process, dfpLoading);
        lastProgress = percent;
    };
    EXPECT_TRUE(other.LoadFromFile(path));
    EXPECT_NE(other.FindControl("engEngine"), nullptr);
    EXPECT_EQ(lastProgress, 100);
}

TEST_F(PanelTest, ClipboardSavesOnlyTheSelectionAndPastesIt)
{
    MakePanel();
    EXPECT_FALSE([&] {
        TMemoryStream s;
        auto filer = panel->CreateFiler(s, dfpSaving);
        return panel->SaveToFiler(*filer, true);
    }());
    TDrawBox* a = AddBox("a", 1000, 1000, 1000, 1000);
    AddBox("b", 3000, 1000, 1000, 1000);
    panel->SelectControl(a);
    TMemoryStream s;
    auto filer = panel->CreateFiler(s, dfpSaving);
    ASSERT_TRUE(panel->SaveToFiler(*filer, true));
    s.Seek(0, soBeginning);
    QByteArray text(int(s.Size()), '\0');
    s.ReadBuffer(text.data(), s.Size());
    EXPECT_TRUE(text.startsWith("clipboard"));
    EXPECT_TRUE(text.contains("object a:"));
    EXPECT_FALSE(text.contains("object b:"));

    LoadDocument(*panel, text, dlmClipboard);
    ASSERT_EQ(panel->SelectedCount(), 1);
    TDrawControl* pasted = panel->Selected(0);
    EXPECT_NE(pasted, a);
    EXPECT_NE(pasted->GetID(), a->GetID());
    EXPECT_EQ(pasted->Layer(), panel->ActiveLayer());
    EXPECT_EQ(panel->ActiveScheme()->GetCount(), 3);
}

TEST_F(PanelTest, APastedFragmentWithoutIDsGetsThemAndSavesThem)
{
    MakePanel();
    TDrawBox* a = AddBox("a", 1000, 1000, 1000, 1000);
    panel->SelectControl(a);
    TMemoryStream s;
    auto filer = panel->CreateFiler(s, dfpSaving);
    ASSERT_TRUE(panel->SaveToFiler(*filer, true));
    QByteArray text = s.Bytes();
    const QByteArray id = "ID = " + QByteArray::number(a->GetID());
    ASSERT_TRUE(text.contains(id));
    text.replace(id, "ID = 0");

    LoadDocument(*panel, text, dlmClipboard);
    LoadDocument(*panel, text, dlmClipboard);
    ASSERT_EQ(panel->ActiveScheme()->GetCount(), 3);
    std::set<uint32_t> ids;
    for (TDrawControl* c : panel->ActiveScheme()->Children())
        ids.insert(c->GetID());
    EXPECT_EQ(ids.size(), 3u);
    EXPECT_EQ(ids.count(0), 0u);

    TMemoryStream saved;
    auto out = panel->CreateFiler(saved, dfpSaving);
    ASSERT_TRUE(panel->SaveToFiler(*out, false));
    EXPECT_FALSE(saved.Bytes().contains("ID = 0\r"));
}

// A panel in a window of a known client size, with helpers to build small documents.
#pragma once

#include "platform/streams.h"
#include "scheme/drawbase.h"
#include "scheme/drawpanel.h"
#include "scheme/drawprops2.h"
#include "scheme/drawshapes.h"

#include <QImage>
#include <QMouseEvent>
#include <QTest>
#include <gtest/gtest.h>
#include <memory>

class PanelTest : public ::testing::Test {
protected:
    // Client area of exactly w x h pixels, no scroll bars, not shown.
    void MakePanel(int w = 500, int h = 400)
    {
        panel = std::make_unique<TDrawPanel>();
        panel->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
        panel->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
        panel->setFrameShape(QFrame::NoFrame);
        panel->resize(w, h);
        panel->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(panel.get()));
        ASSERT_EQ(panel->ClientWidth(), w);
        ASSERT_EQ(panel->ClientHeight(), h);
    }

    TDrawBox* AddBox(const QString& name, int l, int t, int w, int h, TColor color = clRed)
    {
        auto* box = static_cast<TDrawBox*>(
            panel->CreateControl(TDrawBox::StaticClass(), l, t, w, h, nullptr, nullptr, false));
        box->SetName(name);
        box->BrushProp()->SetColor(color);
        box->BrushProp()->SetBrushStyle(bsSolid);
        return box;
    }

    QByteArray SaveDocument(TDrawPanel& p)
    {
        TMemoryStream stream;
        auto filer = p.CreateFiler(stream, dfpSaving);
        p.SaveToFiler(*filer, false);
        stream.Seek(0, soBeginning);
        QByteArray bytes(int(stream.Size()), '\0');
        stream.ReadBuffer(bytes.data(), stream.Size());
        return bytes;
    }

    void LoadDocument(TDrawPanel& p, const QByteArray& text, int mode = dlmDocument)
    {
        TMemoryStream stream;
        stream.WriteBuffer(text.constData(), text.size());
        stream.Seek(0, soBeginning);
        auto filer = p.CreateFiler(stream, dfpLoading);
        p.LoadFromFiler(*filer, mode);
    }

    // The colour of a client pixel as the window paints it.
    TColor PixelAt(int x, int y)
    {
        const QImage img = panel->RenderClient();
        return FromQColor(img.pixelColor(x, y));
    }

    // Mouse events straight to the client area; Drag moves with the left button held.
    void SendMouse(QEvent::Type type, int x, int y, Qt::MouseButton button, Qt::MouseButtons buttons,
                   Qt::KeyboardModifiers mods)
    {
        QWidget* w = panel->viewport();
        const QPointF local(x, y);
        QMouseEvent e(type, local, w->mapToGlobal(local), button, buttons, mods);
        QCoreApplication::sendEvent(w, &e);
    }
    void Press(int x, int y, Qt::KeyboardModifiers m = Qt::NoModifier)
    {
        SendMouse(QEvent::MouseButtonPress, x, y, Qt::LeftButton, Qt::LeftButton, m);
    }
    void Drag(int x, int y, Qt::KeyboardModifiers m = Qt::NoModifier)
    {
        SendMouse(QEvent::MouseMove, x, y, Qt::NoButton, Qt::LeftButton, m);
    }
    void Hover(int x, int y, Qt::KeyboardModifiers m = Qt::NoModifier)
    {
        SendMouse(QEvent::MouseMove, x, y, Qt::NoButton, Qt::NoButton, m);
    }
    void Release(int x, int y, Qt::KeyboardModifiers m = Qt::NoModifier)
    {
        SendMouse(QEvent::MouseButtonRelease, x, y, Qt::LeftButton, Qt::NoButton, m);
    }
    void Click(int x, int y, Qt::KeyboardModifiers m = Qt::NoModifier)
    {
        Press(x, y, m);
        Release(x, y, m);
    }

    std::unique_ptr<TDrawPanel> panel;
};

// A panel in a window of a known client size, with helpers to build small documents.
#pragma once

#include "platform/streams.h"
#include "scheme/drawbase.h"
#include "scheme/drawpanel.h"
#include "scheme/drawprops2.h"
#include "scheme/drawshapes.h"

#include <QDrag>
#include <QDragEnterEvent>
#include <QImage>
#include <QMimeData>
#include <QMouseEvent>
#include <QPointer>
#include <QTest>
#include <functional>
#include <gtest/gtest.h>
#include <memory>
#include <vector>

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

// Plays the platform's part in a drag that a panel starts (the offscreen platform ends every
// drag at once): while the panel's drag runs, the steps of the user's mouse over the windows
// arrive as the drag events a window system sends, enter and move over a panel, leave it, drop.
class DragPlayer {
public:
    using Step = std::function<void(DragPlayer&)>;

    explicit DragPlayer(std::vector<Step> steps) : steps_(std::move(steps))
    {
        TDrawPanel::SetDragLoop([this](QDrag* drag) { Run(drag); });
    }
    ~DragPlayer() { TDrawPanel::SetDragLoop(nullptr); }
    DragPlayer(const DragPlayer&) = delete;
    DragPlayer& operator=(const DragPlayer&) = delete;

    // The mouse over a panel's client point: leaves the panel it was over, enters this one.
    static Step Over(TDrawPanel* target, int x, int y)
    {
        return [target, x, y](DragPlayer& p) { p.MoveTo(target, QPoint(x, y)); };
    }
    // The mouse outside every panel.
    static Step Outside()
    {
        return [](DragPlayer& p) { p.MoveTo(nullptr, QPoint()); };
    }
    static Step Drop()
    {
        return [](DragPlayer& p) { p.DropHere(); };
    }
    // Something else happens while the drag goes on (a window is closed).
    static Step Meanwhile(std::function<void()> action)
    {
        return [action](DragPlayer&) { action(); };
    }

    bool Ran() const { return ran_; }

private:
    void Run(QDrag* drag)
    {
        ran_ = true;
        // the drag's data, kept here: the drag goes with its panel when that is closed
        for (const QString& format : drag->mimeData()->formats())
            mime_.setData(format, drag->mimeData()->data(format));
        for (Step& step : steps_)
            step(*this);
        if (over_)
            MoveTo(nullptr, QPoint());  // the drag ends with the mouse released nowhere
    }
    void MoveTo(TDrawPanel* target, const QPoint& at)
    {
        if (over_ && over_ != target) {
            QDragLeaveEvent leave;
            QCoreApplication::sendEvent(over_->viewport(), &leave);
            over_ = nullptr;
        }
        if (!target)
            return;
        if (over_ != target) {
            QDragEnterEvent enter(at, Qt::MoveAction, &mime_, Qt::LeftButton, Qt::NoModifier);
            QCoreApplication::sendEvent(target->viewport(), &enter);
            if (!enter.isAccepted())
                return;
            over_ = target;
        }
        at_ = at;
        QDragMoveEvent move(at, Qt::MoveAction, &mime_, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(target->viewport(), &move);
    }
    void DropHere()
    {
        if (!over_)
            return;
        QDropEvent drop(QPointF(at_), Qt::MoveAction, &mime_, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(over_->viewport(), &drop);
        over_ = nullptr;
    }

    std::vector<Step> steps_;
    QMimeData mime_;
    QPointer<TDrawPanel> over_;
    QPoint at_;
    bool ran_ = false;
};

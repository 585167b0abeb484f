// The model tests' document owner: a real panel (its loading, naming and ID code), never shown,
// that records the notifications it gets and paints controls into a fixed 1000 x 1000 area.
#pragma once

#include "platform/streams.h"
#include "scheme/drawbase.h"
#include "scheme/drawfiler.h"
#include "scheme/drawpanel.h"

#include <QByteArray>
#include <QScrollBar>
#include <algorithm>
#include <utility>
#include <vector>

class TestPanel : public TDrawPanel {
public:
    TestPanel()
    {
        // scrolled to the top-left: document (0, 0) is client pixel (0, 0)
        setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
        setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
        SetScale(200);
        SetScale(100);
        Notes.clear();
    }

    TDrawLayer* Layer0() const { return Layers()->GetLayer(0); }
    TDrawCustomScheme* Scheme0() const { return Schemes()->GetScheme(0); }
    // A control of class T on the active scheme and layer, at (left, top) in document units.
    template <class T>
    T* Make(int left = 0, int top = 0, int width = 10000, int height = 10000)
    {
        T* c = TDrawControl::Create<T>(this, ActiveScheme(), ActiveLayer());
        c->SetDocRect(TRect(left, top, left + width, top + height));
        return c;
    }

    QByteArray SaveDocument()
    {
        TMemoryStream stream;
        auto filer = CreateFiler(stream, dfpSaving);
        SaveToFiler(*filer, false);
        return stream.Bytes();
    }
    void LoadDocument(const QByteArray& text)
    {
        TMemoryStream stream(text);
        auto filer = CreateFiler(stream, dfpLoading);
        LoadFromFiler(*filer, dlmDocument);
    }

    std::vector<std::pair<TDrawControl*, TDrawNotify>> Notes;
    int CountNotes(TDrawControl* c, TDrawNotify code) const
    {
        return int(std::count(Notes.begin(), Notes.end(), std::make_pair(c, code)));
    }

    void DoNotify(TDrawControl* control, TDrawNotify code) override
    {
        Notes.emplace_back(control, code);
        TDrawPanel::DoNotify(control, code);
    }
    // Controls painted straight onto a canvas (not through a panel paint) see this area.
    int PaintWidth() const override { return 1000; }
    int PaintHeight() const override { return 1000; }
};

// The live view of a Vemor device: the scheme document in the main window's scheme panel, whose
// named objects follow the device's live values, and the three texts beside it.
//
// Binding looks the objects up by name (case-sensitively) and keeps them until the next
// binding; an object the document does not define is simply not bound, and every step that
// would touch it is skipped.
#pragma once

#include "platform/types.h"

#include <QString>
#include <array>
#include <cstdint>

class QLabel;
class TDrawControl;
class TDrawPanel;
class TQuery;

class TLiveView {
public:
    // Colours of the contactor and engine symbols (0x00BBGGRR).
    static constexpr TColor kNoVoltage = TColor(0x000000);
    static constexpr TColor kRunning = TColor(0x0000FF);
    static constexpr TColor kStopped = TColor(0x008000);
    static constexpr TColor kIdle = TColor(0x808080);

    // Names of the objects kept between bindings, in the order Bound() takes.
    enum Object {
        engEngine, ellEngine, grpK1, grpK1on, grpK1off, grpK2on, grpK2off, grpK3on, grpK3off, grpAon, grpAoff,
        btn1on, btn1off, btn2on, btn2off, btn3on, btn3off, btn4on, btn4off,
        ObjectCount
    };
    static QString ObjectName(Object object);

    // Sets the panel up for viewing (no scroll bars, no document frame) and makes sure the
    // document reader knows the engine shape.
    TLiveView(TDrawPanel& panel, QLabel& txtU, QLabel& txtN, QLabel& txtT);
    TLiveView(const TLiveView&) = delete;
    TLiveView& operator=(const TLiveView&) = delete;

    TDrawPanel& Panel() const { return panel_; }

    // Start-up: reads the document, paints its first scheme in the window-face colour and
    // scales it to 99 % of the panel along the tighter side. Raises the scheme library's
    // exceptions for a missing or unreadable file.
    void LoadScheme(const QString& fileName);
    // The scale that fits a document of docWidth x docHeight units into a panel of
    // panelWidth x panelHeight pixels at 99 % along the tighter side; 0 when the document is
    // smaller than a pixel in either direction (nothing to fit).
    static int FitScale(int panelWidth, int panelHeight, int docWidth, int docHeight);

    // Binds the objects and sets the contacts up from the device's contact types (fbtn1..4 of
    // vemors, read through qryEdit; a device without a row has no contact in use).
    void Bind(TQuery& qryEdit, int fid);
    void Bind(const std::array<int, 4>& contactTypes);
    // The stopped look: texts back to zero, engine still, K groups off, grey symbols.
    void Stop();
    // One live-values reply: state byte s, voltage u (volts), time t (seconds).
    void Reply(int s, int u, int t);

    TDrawControl* Bound(Object object) const;
    bool ContactInUse(int contact) const { return contactInUse_.at(std::size_t(contact - 1)); }

private:
    void Show(Object object, bool visible) const;
    void SetBrushColor(Object object, TColor color) const;
    void SetActive(Object object, bool active) const;
    void SetStateText(const QString& text, const char* color);
    TDrawControl* Find(const QString& name) const;

    TDrawPanel& panel_;
    QLabel& txtU_;
    QLabel& txtN_;
    QLabel& txtT_;
    QString txtNStyle_;
    std::array<TDrawControl*, ObjectCount> bound_{};
    std::array<bool, 4> contactInUse_{};
};

// A four-function calculator control with a one-line display, and the same calculator as a
// drop-down under an editor that closes with its result or without it.
#pragma once

#include "grid/toolctrlsex.h"

#include "platform/variant.h"

#include <QWidget>
#include <array>

class QLabel;

class TCalculatorEx : public QWidget {
public:
    explicit TCalculatorEx(QWidget* parent = nullptr);
    ~TCalculatorEx() override;

    enum TCalcState { csCleared = 0, csEntering = 1, csError = 2 };

    // The whole calculator logic for one key: digits, "." and ",", operators "+-*/%=", Enter (13),
    // Backspace (8), "C" and Esc (27) to clear, "I" negate, "R" reciprocal, "S" square root,
    // Ctrl+C (3) and Ctrl+V (22) for the clipboard.
    virtual void CalcKey(QChar key);

    QString DisplayText() const;
    TCalcState State() const { return state_; }
    QChar PendingOperator() const { return operator_; }
    double Accumulator() const { return accumulator_; }
    // The display as a number, Null in the error state.
    Variant Value() const;
    // Clears, then shows the value.
    void SetValue(const Variant& value);

    TSpeedButtonEx* OkButton() const { return okButton_; }
    // The button with a tag (1..23), null for another tag.
    TSpeedButtonEx* ButtonByTag(int tag) const;
    // Pixels of the layout's text height and how the layout was scaled to the font.
    int LayoutTextHeight() const { return 13; }
    int LayoutPixelsPerInch() const { return 96; }
    // Width of the frame around the client area.
    virtual int GetNonClientWidth() const { return 0; }

    // The key sent by the button with a tag.
    static QChar KeyOfTag(int tag);

protected:
    TCalculatorEx(QWidget* parent, int border, bool flatButtons);
    void keyPressEvent(QKeyEvent* e) override;
    // The key a key event stands for (0 for none).
    static QChar KeyOf(const QKeyEvent* e);
    void paintEvent(QPaintEvent* e) override;

    bool IsError() const { return state_ == csError; }
    double DisplayNumber() const;
    void ShowNumber(double value);

private:
    void Build(int border, bool flatButtons);
    void SpeedButtonClick(TSpeedButtonEx& button);
    void StartEntry();
    void Clear();
    void Error();
    void UpdateOkCaption();
    void SetDisplay(const QString& text);

    QWidget* panel_ = nullptr;
    QLabel* display_ = nullptr;
    TSpeedButtonEx* okButton_ = nullptr;
    std::array<TSpeedButtonEx*, 24> buttons_{};
    double accumulator_ = 0;
    QChar operator_ = '=';
    TCalcState state_ = csCleared;
};

// The calculator dropped down under an editor. It never takes the focus: the editor forwards
// its keys (HandleKey) and the popup asks the editor to close up.
class TPopupCalculatorEx : public TCalculatorEx {
public:
    explicit TPopupCalculatorEx(QWidget* parent = nullptr);

    IDropDownHostEx* Host() const { return host_; }
    void SetHost(IDropDownHostEx* host) { host_ = host; }
    int GetNonClientWidth() const override { return 2; }

    // Enter and "=" accept when nothing is pending; Esc closes without accepting.
    void CalcKey(QChar key) override;

protected:
    void wheelEvent(QWheelEvent* e) override;
    void paintEvent(QPaintEvent* e) override;

private:
    IDropDownHostEx* host_ = nullptr;
};

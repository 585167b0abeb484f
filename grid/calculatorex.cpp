#include "grid/calculatorex.h"

#include "platform/application.h"
#include "platform/canvas.h"
#include "platform/frames.h"
#include "platform/text.h"

#include <QApplication>
#include <QClipboard>
#include <QKeyEvent>
#include <QLabel>
#include <QScreen>
#include <QWheelEvent>
#include <cmath>

namespace {

struct ButtonSpec {
    const char* caption;
    int tag;
    int left, top, width, height;
    TColor color;
};

// The calculator's layout at 96 pixels per inch with a 13-pixel text height.
constexpr ButtonSpec kButtons[] = {
    {"7", 1, 6, 29, 27, 22, clBlue},        {"8", 2, 35, 29, 27, 22, clBlue},
    {"9", 3, 64, 29, 27, 22, clBlue},       {"/", 4, 93, 29, 27, 22, clRed},
    {"sqrt", 5, 122, 29, 27, 22, clBlue},   {"Cancel", 12, 151, 52, 27, 23, clRed},
    {"C", 6, 151, 29, 27, 46, clRed},       {"4", 7, 6, 53, 27, 22, clBlue},
    {"5", 8, 35, 53, 27, 22, clBlue},       {"6", 9, 64, 53, 27, 22, clBlue},
    {"*", 10, 93, 53, 27, 22, clRed},       {"%", 11, 122, 53, 27, 22, clBlue},
    {"1", 13, 6, 77, 27, 22, clBlue},       {"2", 14, 35, 77, 27, 22, clBlue},
    {"3", 15, 64, 77, 27, 22, clBlue},      {"-", 16, 93, 77, 27, 22, clRed},
    {"1/x", 17, 122, 77, 27, 22, clBlue},   {"<-", 18, 151, 77, 27, 22, clRed},
    {"0", 19, 6, 101, 27, 22, clBlue},      {"+/-", 20, 35, 101, 27, 22, clBlue},
    {".", 21, 64, 101, 27, 22, clBlue},     {"+", 22, 93, 101, 27, 22, clRed},
    {"Ok", 23, 122, 101, 56, 22, clRed},
};

constexpr char16_t kKeys[24] = {0,   '7', '8', '9', '/', 'S', 'C', '4', '5', '6', '*', '%',
                                'A', '1', '2', '3', '-', 'R', 8,   '0', 'I', '.', '+', '='};

constexpr int kClientWidth = 184;
constexpr int kClientHeight = 127;
constexpr int kLayoutTextHeight = 13;
constexpr int kLayoutPixelsPerInch = 96;

}  // namespace

QChar TCalculatorEx::KeyOfTag(int tag)
{
    if (tag < 0 || tag >= 24)
        return QChar(0);
    return QChar(kKeys[tag]);
}

TCalculatorEx::TCalculatorEx(QWidget* parent) : TCalculatorEx(parent, 0, false) {}

TCalculatorEx::TCalculatorEx(QWidget* parent, int border, bool flatButtons) : QWidget(parent)
{
    Build(border, flatButtons);
}

TCalculatorEx::~TCalculatorEx() = default;

void TCalculatorEx::Build(int border, bool flatButtons)
{
    setAutoFillBackground(true);
    QPalette pal = palette();
    pal.setColor(QPalette::Window, ToQColor(clBtnFace));
    setPalette(pal);

    TFont font;
    font.SetHeight(-11);
    const int screenPpi = screen() ? int(std::lround(screen()->logicalDotsPerInchY())) : kLayoutPixelsPerInch;
    if (screenPpi > 0 && screenPpi != kLayoutPixelsPerInch)
        font.SetHeight(MulDiv(font.Height(), screenPpi, kLayoutPixelsPerInch));
    TCanvas measure;
    measure.SetFont(font);
    const int textHeight = measure.TextHeight(QStringLiteral("0"));
    auto scale = [&](int v) {
        return textHeight == kLayoutTextHeight ? v : MulDiv(v, textHeight, kLayoutTextHeight);
    };

    panel_ = new QWidget(this);
    panel_->setGeometry(border + scale(6), border + scale(4), scale(171), scale(19));
    panel_->setAutoFillBackground(true);
    panel_->setPalette(pal);
    display_ = new QLabel(panel_);
    display_->setGeometry(scale(2), scale(1), scale(166), scale(17));
    display_->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    display_->setFont(font.ToQFont());
    display_->setText(QStringLiteral("0"));

    for (const ButtonSpec& spec : kButtons) {
        auto* b = new TSpeedButtonEx(this);
        b->setGeometry(border + scale(spec.left), border + scale(spec.top), scale(spec.width), scale(spec.height));
        b->SetCaption(QString::fromLatin1(spec.caption));
        b->SetTag(spec.tag);
        b->Font().Assign(font);
        b->SetFontColor(spec.color);
        b->SetFlat(flatButtons);
        b->OnClick = [this](TSpeedButtonEx& sender) { SpeedButtonClick(sender); };
        buttons_[std::size_t(spec.tag)] = b;
    }
    // "Cancel" lies under "C".
    buttons_[6]->raise();
    okButton_ = buttons_[23];
    resize(scale(kClientWidth) + 2 * border, scale(kClientHeight) + 2 * border);
}

TSpeedButtonEx* TCalculatorEx::ButtonByTag(int tag) const
{
    if (tag < 1 || tag >= 24)
        return nullptr;
    return buttons_[std::size_t(tag)];
}

void TCalculatorEx::SpeedButtonClick(TSpeedButtonEx& button)
{
    const QChar key = KeyOfTag(button.Tag());
    if (!key.isNull())
        CalcKey(key);
}

QString TCalculatorEx::DisplayText() const { return display_->text(); }

void TCalculatorEx::SetDisplay(const QString& text) { display_->setText(text); }

double TCalculatorEx::DisplayNumber() const
{
    if (state_ == csError)
        return 0;
    QString t = DisplayText().trimmed();
    const QChar sep = FormatSettings().DecimalSeparator;
    if (t.endsWith(sep))
        t.chop(1);
    double v = 0;
    if (!TryStrToFloat(t, v, FormatSettings()))
        return 0;
    return v;
}

void TCalculatorEx::ShowNumber(double value)
{
    // A result beyond what a double holds is an error, not a display that reads back as 0.
    if (!std::isfinite(value)) {
        Error();
        return;
    }
    SetDisplay(FloatToStrF(value, ffGeneral, std::max(2, 15), 0, FormatSettings()));
}

Variant TCalculatorEx::Value() const
{
    if (state_ == csError)
        return Variant::Null();
    return Variant(DisplayNumber());
}

void TCalculatorEx::SetValue(const Variant& value)
{
    Clear();
    if (!value.IsClear())
        ShowNumber(value.AsDouble());
    UpdateOkCaption();
}

void TCalculatorEx::StartEntry()
{
    if (state_ == csCleared) {
        state_ = csEntering;
        SetDisplay(QStringLiteral("0"));
    }
}

void TCalculatorEx::Clear()
{
    state_ = csCleared;
    SetDisplay(QStringLiteral("0"));
    operator_ = '=';
    accumulator_ = 0;
}

void TCalculatorEx::Error()
{
    state_ = csError;
    SetDisplay(QStringLiteral("Error"));
}

void TCalculatorEx::UpdateOkCaption()
{
    const bool pending = operator_ == '+' || operator_ == '-' || operator_ == '*' || operator_ == '/';
    okButton_->SetCaption(accumulator_ != 0 && state_ == csEntering && pending ? QStringLiteral("=")
                                                                              : QStringLiteral("Ok"));
}

void TCalculatorEx::CalcKey(QChar key)
{
    key = key.toUpper();
    const char16_t k = key.unicode();
    const QChar sep = FormatSettings().DecimalSeparator;
    if (state_ == csError && k != 'C') {
        UpdateOkCaption();
        return;
    }
    if (k == '.' || k == ',' || key == sep) {
        StartEntry();
        if (!DisplayText().contains(sep))
            SetDisplay(DisplayText() + sep);
    } else if (k >= '0' && k <= '9') {
        StartEntry();
        QString d = DisplayText();
        if (d == QStringLiteral("0"))
            d.clear();
        if (!d.contains(QLatin1Char('E'))) {
            const int limit = d.startsWith(QLatin1Char('-')) ? 16 : 15;
            if (d.size() < limit)
                d += key;
        }
        SetDisplay(d);
    } else if (k == 8) {
        StartEntry();
        const QString d = DisplayText();
        if (d.size() == 1 || (d.size() == 2 && d.startsWith(QLatin1Char('-'))))
            SetDisplay(QStringLiteral("0"));
        else
            SetDisplay(d.chopped(1));
    } else if (k == 'C' || k == 27) {
        Clear();
    } else if (k == 'I') {
        ShowNumber(-DisplayNumber());
    } else if (k == 'R') {
        state_ = csCleared;
        const double v = DisplayNumber();
        if (v == 0)
            Error();
        else
            ShowNumber(1.0 / v);
    } else if (k == 'S') {
        state_ = csCleared;
        const double v = DisplayNumber();
        if (v < 0)
            Error();
        else
            ShowNumber(std::sqrt(v));
    } else if (k == 3) {
        QApplication::clipboard()->setText(DisplayText());
    } else if (k == 22) {
        const QString t = QApplication::clipboard()->text().trimmed();
        double v = 0;
        // Text that is not a number is left alone rather than breaking the display.
        if (!t.isEmpty() && TryStrToFloat(t, v, FormatSettings())) {
            state_ = csCleared;
            ShowNumber(v);
        }
    } else if (k == '+' || k == '-' || k == '*' || k == '/' || k == '%' || k == '=' || k == 13) {
        const QChar op = k == 13 ? QChar('=') : key;
        if (state_ == csEntering) {
            state_ = csCleared;
            double operand = DisplayNumber();
            if (op == '%') {
                if (operator_ == '*' || operator_ == '/')
                    operand = operand / 100;
                else if (operator_ == '+' || operator_ == '-')
                    operand = accumulator_ * operand / 100;
            }
            switch (operator_.unicode()) {
            case '+': ShowNumber(accumulator_ + operand); break;
            case '-': ShowNumber(accumulator_ - operand); break;
            case '*': ShowNumber(accumulator_ * operand); break;
            case '/':
                if (operand == 0)
                    Error();
                else
                    ShowNumber(accumulator_ / operand);
                break;
            default: break;
            }
        }
        operator_ = op;
        accumulator_ = DisplayNumber();
    }
    UpdateOkCaption();
}

QChar TCalculatorEx::KeyOf(const QKeyEvent* e)
{
    switch (e->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter: return QChar(13);
    case Qt::Key_Escape: return QChar(27);
    case Qt::Key_Backspace: return QChar(8);
    default: break;
    }
    if (e->modifiers() & Qt::ControlModifier) {
        if (e->key() == Qt::Key_C)
            return QChar(3);
        if (e->key() == Qt::Key_V)
            return QChar(22);
    }
    const QString t = e->text();
    return t.size() == 1 ? t.at(0) : QChar(0);
}

void TCalculatorEx::keyPressEvent(QKeyEvent* e)
{
    const QChar key = KeyOf(e);
    if (key.isNull()) {
        QWidget::keyPressEvent(e);
        return;
    }
    e->accept();
    Guarded([&] { CalcKey(key); });
}

void TCalculatorEx::paintEvent(QPaintEvent* e) { QWidget::paintEvent(e); }

// ---- TPopupCalculatorEx ---------------------------------------------------------------------

TPopupCalculatorEx::TPopupCalculatorEx(QWidget* parent) : TCalculatorEx(parent, 2, true)
{
    setWindowFlags(Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint);
    setAttribute(Qt::WA_ShowWithoutActivating, true);
    setFocusPolicy(Qt::NoFocus);
}

void TPopupCalculatorEx::CalcKey(QChar key)
{
    const char16_t k = key.unicode();
    if ((k == 13 || k == '=') && OkButton()->Caption() == QStringLiteral("Ok")) {
        if (Host())
            Host()->CloseUp(true);
        return;
    }
    if (k == 27) {
        if (Host())
            Host()->CloseUp(false);
        return;
    }
    TCalculatorEx::CalcKey(key);
}

void TPopupCalculatorEx::wheelEvent(QWheelEvent* e)
{
    e->accept();
    if (IsError())
        return;
    const int dy = e->angleDelta().y();
    if (dy != 0)
        ShowNumber(DisplayNumber() + (dy > 0 ? 1 : -1));
}

void TPopupCalculatorEx::paintEvent(QPaintEvent* e)
{
    TCalculatorEx::paintEvent(e);
    Guarded([&] {
        TCanvas c(static_cast<QPaintDevice*>(this));
        TRect r(0, 0, width(), height());
        c.Brush().SetColor(clWindowFrame);
        c.FrameRect(r);
        InflateRect(r, -1, -1);
        DrawEdge(c, r, BDR_RAISEDINNER, BF_RECT);
    });
}

#include "app/widgets.h"

#include <QFont>
#include <QPainter>
#include <QRadioButton>
#include <QStyle>
#include <QStyleOptionFrame>

void InstallFontSubstitutes()
{
    QFont::insertSubstitution(QStringLiteral("MS Sans Serif"), QStringLiteral("Liberation Sans"));
    QFont::insertSubstitution(QStringLiteral("Arial"), QStringLiteral("Liberation Sans"));
}

TStatusBar::TStatusBar(QWidget* parent) : QWidget(parent) {}

void TStatusBar::SetPanels(std::vector<Panel> panels)
{
    panels_ = std::move(panels);
    update();
}

QString TStatusBar::PanelText(int index) const
{
    if (index < 0 || index >= PanelCount())
        return {};
    return panels_[std::size_t(index)].text;
}

void TStatusBar::SetPanelText(int index, const QString& text)
{
    if (index < 0 || index >= PanelCount() || panels_[std::size_t(index)].text == text)
        return;
    panels_[std::size_t(index)].text = text;
    update();
}

QRect TStatusBar::PanelRect(int index) const
{
    int left = 0;
    for (int i = 0; i < index; ++i)
        left += panels_[std::size_t(i)].width;
    const bool last = index == PanelCount() - 1;
    const int width = last ? qMax(0, this->width() - left) : panels_[std::size_t(index)].width;
    return QRect(left, 0, width, height());
}

void TStatusBar::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    p.fillRect(rect(), palette().window());
    for (int i = 0; i < PanelCount(); ++i) {
        const QRect r = PanelRect(i);
        const QRect inner = r.adjusted(1, 1, -2, -1);
        p.setPen(palette().color(QPalette::Dark));
        p.drawLine(inner.topLeft(), inner.topRight());
        p.drawLine(inner.topLeft(), inner.bottomLeft());
        p.setPen(palette().color(QPalette::Light));
        p.drawLine(inner.bottomLeft(), inner.bottomRight());
        p.drawLine(inner.topRight(), inner.bottomRight());
        const Panel& panel = panels_[std::size_t(i)];
        if (panel.ownerDraw) {
            if (OnDrawPanel) {
                p.save();
                p.setClipRect(inner.adjusted(1, 1, 0, 0));
                OnDrawPanel(p, i, r);
                p.restore();
            }
        } else {
            p.setPen(palette().color(QPalette::WindowText));
            p.drawText(inner.adjusted(2, 0, -1, 0), Qt::AlignLeft | Qt::AlignVCenter, panel.text);
        }
    }
}

TRadioGroup::TRadioGroup(QWidget* parent) : QGroupBox(parent)
{
    buttons_.setExclusive(true);
}

void TRadioGroup::SetItems(const QStringList& items, int columns)
{
    for (QAbstractButton* b : buttons_.buttons()) {
        buttons_.removeButton(b);
        delete b;
    }
    items_ = items;
    columns = qMax(1, columns);
    const int rows = (int(items.size()) + columns - 1) / columns;
    const int top = 18, left = 8;
    const int colWidth = (width() - 2 * left) / columns;
    const int rowHeight = rows > 0 ? qMax(18, (height() - top - 6) / rows) : 18;
    for (int i = 0; i < items.size(); ++i) {
        auto* b = new QRadioButton(items[i], this);
        // Items run down the first column, then the next.
        const int col = rows > 0 ? i / rows : 0;
        const int row = rows > 0 ? i % rows : 0;
        b->setGeometry(left + col * colWidth, top + row * rowHeight, colWidth, 18);
        buttons_.addButton(b, i);
        b->show();
    }
}

int TRadioGroup::ItemIndex() const
{
    return buttons_.checkedId();
}

void TRadioGroup::SetItemIndex(int index)
{
    if (index == -1) {
        if (QAbstractButton* b = buttons_.checkedButton()) {
            buttons_.setExclusive(false);
            b->setChecked(false);
            buttons_.setExclusive(true);
        }
        return;
    }
    if (QAbstractButton* b = buttons_.button(index))
        b->setChecked(true);
}

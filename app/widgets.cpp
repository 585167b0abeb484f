#include "app/widgets.h"

#include <QCoreApplication>
#include <QFont>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>
#include <QPainter>
#include <QRadioButton>
#include <QStyle>
#include <QStyleOptionFrame>
#include <memory>

void InstallFontSubstitutes()
{
    QFont::insertSubstitution(QStringLiteral("MS Sans Serif"), QStringLiteral("Liberation Sans"));
    QFont::insertSubstitution(QStringLiteral("Arial"), QStringLiteral("Liberation Sans"));
}

namespace {

// Qt's Russian catalogue leaves the button "OK" in Latin letters; a Russian desktop writes "ОК".
class TRussianButtonTerms : public QTranslator {
public:
    using QTranslator::QTranslator;
    QString translate(const char*, const char* sourceText, const char*, int) const override
    {
        return qstrcmp(sourceText, "OK") == 0 || qstrcmp(sourceText, "&OK") == 0 ? QStringLiteral("ОК") : QString();
    }
    bool isEmpty() const override { return false; }
};

}  // namespace

bool InstallInterfaceTranslations(const QString& language)
{
    QLocale::setDefault(QLocale(language));
    auto* app = QCoreApplication::instance();
    // One translator per language, kept by the application for the rest of the run.
    const QString name = QStringLiteral("qtbase_") + language;
    if (app->findChild<QTranslator*>(name))
        return true;
    auto translator = std::make_unique<QTranslator>();
    if (!translator->load(name, QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        return false;
    translator->setObjectName(name);
    translator->setParent(app);
    if (!QCoreApplication::installTranslator(translator.release()))
        return false;
    // Installed last, so asked first.
    if (language == QLatin1String("ru"))
        QCoreApplication::installTranslator(new TRussianButtonTerms(app));
    return true;
}

QString QtDatePattern(const QString& shortDateFormat, QChar dateSeparator)
{
    QString out;
    QString literal;
    auto flushLiteral = [&] {
        if (!literal.isEmpty())
            out += QLatin1Char('\'') + literal + QLatin1Char('\'');
        literal.clear();
    };
    for (qsizetype i = 0; i < shortDateFormat.size(); ++i) {
        const QChar c = shortDateFormat.at(i);
        const QChar lower = c.toLower();
        if (lower == QLatin1Char('d') || lower == QLatin1Char('y')) {
            flushLiteral();
            out += lower;
        } else if (lower == QLatin1Char('m')) {
            flushLiteral();
            out += QLatin1Char('M');
        } else if (c == QLatin1Char('/')) {
            flushLiteral();
            out += dateSeparator;
        } else if (c == QLatin1Char('\'') || c == QLatin1Char('"')) {
            const qsizetype end = shortDateFormat.indexOf(c, i + 1);
            literal += shortDateFormat.mid(i + 1, (end < 0 ? shortDateFormat.size() : end) - i - 1);
            i = end < 0 ? shortDateFormat.size() : end;
        } else if (c.isLetter()) {
            literal += c;
        } else {
            flushLiteral();
            out += c;
        }
    }
    flushLiteral();
    return out;
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

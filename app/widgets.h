// Two small widgets the main window's layout promotes: a status bar of fixed-width panels with
// an owner-drawn panel, and a radio group whose choice is an item index.
#pragma once

#include <QButtonGroup>
#include <QGroupBox>
#include <QRect>
#include <QString>
#include <QStringList>
#include <QWidget>
#include <functional>
#include <vector>

class QPainter;

// The layouts name the classic fonts ("MS Sans Serif", "Arial"); these stand in with the
// same metrics. Called by every window before its layout is built.
void InstallFontSubstitutes();

// Loads Qt's own translations (standard buttons, file and other standard dialogs, calendars)
// for the interface language and makes it the default locale of the widgets; the interface is
// Russian unless told otherwise. False when the translation files are not installed.
bool InstallInterfaceTranslations(const QString& language = QStringLiteral("ru"));

// The date picker pattern for a short date format of the format settings ("dd.mm.yyyy" gives
// "dd.MM.yyyy"; '/' stands for the date separator).
QString QtDatePattern(const QString& shortDateFormat, QChar dateSeparator);

class TStatusBar : public QWidget {
    Q_OBJECT
public:
    struct Panel {
        QString text;
        int width = 50;
        bool ownerDraw = false;
    };

    explicit TStatusBar(QWidget* parent = nullptr);

    void SetPanels(std::vector<Panel> panels);
    int PanelCount() const { return int(panels_.size()); }
    QString PanelText(int index) const;
    void SetPanelText(int index, const QString& text);
    // The rectangle of a panel; the last one reaches the right edge.
    QRect PanelRect(int index) const;

    // Called while painting an owner-drawn panel.
    std::function<void(QPainter&, int index, const QRect&)> OnDrawPanel;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    std::vector<Panel> panels_;
};

class TRadioGroup : public QGroupBox {
    Q_OBJECT
public:
    explicit TRadioGroup(QWidget* parent = nullptr);

    void SetItems(const QStringList& items, int columns);
    const QStringList& Items() const { return items_; }
    int ItemIndex() const;
    // -1 clears the choice; an index outside the items is ignored.
    void SetItemIndex(int index);

private:
    QStringList items_;
    QButtonGroup buttons_;
};

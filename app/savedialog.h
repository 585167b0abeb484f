// The operator's choice of a file to save into: title, filter, initial folder and a proposed
// name, as the report's save step needs. Tests answer it through a hook instead of a window.
#pragma once

#include <QString>
#include <QStringList>
#include <functional>

class QWidget;

class TSaveDialog {
public:
    QString Title;
    // Pairs of description and pattern separated by '|': "документы *.docx|*.docx".
    QString Filter;
    QString InitialDir;
    // The proposed name before Execute, the chosen full path after it.
    QString FileName;
    // Added to a chosen name that has no extension.
    QString DefaultExt;
    // Files that must never be replaced (the report's templates): choosing one says so and
    // offers the dialog again.
    QStringList Protected;
    // An existing file is replaced only after the operator answers Yes to "Файл ... уже
    // существует. Заменить?" (No, the default, offers the dialog again).
    bool OverwritePrompt = true;

    // Shows the dialog until the operator confirms a name that may be written (true, the full
    // path in FileName) or cancels (false).
    bool Execute(QWidget* parent);

    // A hook decides instead of the operator: it may change FileName and returns true to
    // confirm. Returns the previous hook; an empty one restores the window.
    using Hook = std::function<bool(TSaveDialog&)>;
    static Hook SetHook(Hook hook);

    // The filter in the form a file dialog takes ("документы *.docx (*.docx)").
    static QString QtFilter(const QString& filter);

private:
    // One showing of the dialog (or the hook).
    bool Choose(QWidget* parent);
    bool IsProtected(const QString& fileName) const;
};

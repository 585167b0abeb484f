// The operator's choice of a file to save into: title, filter, initial folder and a proposed
// name, as the report's save step needs. Tests answer it through a hook instead of a window.
#pragma once

#include <QString>
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

    // Shows the dialog; true when the operator confirmed a name (then in FileName).
    bool Execute(QWidget* parent);

    // A hook decides instead of the operator: it may change FileName and returns true to
    // confirm. Returns the previous hook; an empty one restores the window.
    using Hook = std::function<bool(TSaveDialog&)>;
    static Hook SetHook(Hook hook);

    // The filter in the form a file dialog takes ("документы *.docx (*.docx)").
    static QString QtFilter(const QString& filter);
};

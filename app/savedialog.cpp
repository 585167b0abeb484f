#include "app/savedialog.h"

#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QStringList>

namespace {

TSaveDialog::Hook& CurrentHook()
{
    static TSaveDialog::Hook hook;
    return hook;
}

}  // namespace

TSaveDialog::Hook TSaveDialog::SetHook(Hook hook)
{
    Hook previous = std::move(CurrentHook());
    CurrentHook() = std::move(hook);
    return previous;
}

QString TSaveDialog::QtFilter(const QString& filter)
{
    const QStringList parts = filter.split(QLatin1Char('|'));
    QStringList out;
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2)
        out << QStringLiteral("%1 (%2)").arg(parts[i], QString(parts[i + 1]).replace(QLatin1Char(';'), QLatin1Char(' ')));
    return out.join(QStringLiteral(";;"));
}

bool TSaveDialog::Execute(QWidget* parent)
{
    const QString proposed = QFileInfo(FileName).isAbsolute() ? FileName : QDir(InitialDir).filePath(FileName);
    bool confirmed = false;
    if (CurrentHook()) {
        FileName = proposed;
        confirmed = CurrentHook()(*this);
    } else {
        QFileDialog dialog(parent, Title, InitialDir, QtFilter(Filter));
        dialog.setAcceptMode(QFileDialog::AcceptSave);
        dialog.setFileMode(QFileDialog::AnyFile);
        // Replacing an existing file is the operator's choice: no second question.
        dialog.setOption(QFileDialog::DontConfirmOverwrite, true);
        dialog.setDefaultSuffix(DefaultExt);
        dialog.selectFile(proposed);
        confirmed = dialog.exec() == QDialog::Accepted && !dialog.selectedFiles().isEmpty();
        if (confirmed)
            FileName = dialog.selectedFiles().constFirst();
    }
    if (confirmed && !DefaultExt.isEmpty() && QFileInfo(FileName).suffix().isEmpty())
        FileName += QLatin1Char('.') + DefaultExt;
    return confirmed && !FileName.isEmpty();
}

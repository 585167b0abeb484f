#include "app/savedialog.h"

#include "platform/application.h"

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

bool TSaveDialog::Choose(QWidget* parent)
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
        // The question about an existing file is asked below, the same for every caller.
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

bool TSaveDialog::IsProtected(const QString& fileName) const
{
    const QFileInfo chosen(fileName);
    // The same file under another spelling of its folder, or through a link, is the same file.
    const QString dir = QFileInfo(chosen.absolutePath()).canonicalFilePath();
    const QString target = chosen.exists() ? chosen.canonicalFilePath() : QString();
    for (const QString& p : Protected) {
        const QFileInfo kept(p);
        const QString keptPath = kept.exists() ? kept.canonicalFilePath() : QString();
        if (!keptPath.isEmpty() && keptPath == target)
            return true;
        const QString keptDir = QFileInfo(kept.absolutePath()).canonicalFilePath();
        if (!dir.isEmpty() && dir == keptDir && chosen.fileName() == kept.fileName())
            return true;
    }
    return false;
}

bool TSaveDialog::Execute(QWidget* parent)
{
    const QString caption = Title.isEmpty() ? QStringLiteral(" Сохранение") : Title;
    for (;;) {
        if (!Choose(parent))
            return false;
        const QString shown = QDir::toNativeSeparators(QFileInfo(FileName).absoluteFilePath());
        if (IsProtected(FileName)) {
            MessageBox(caption, QStringLiteral("Файл %1 является шаблоном и не может быть заменен !").arg(shown),
                       MsgIcon::Error);
            continue;
        }
        if (OverwritePrompt && QFileInfo::exists(FileName) &&
            MessageBox(caption, QStringLiteral("Файл %1 уже существует. Заменить?").arg(shown), MsgIcon::Question,
                       mbYesNo, mbNo) != mbYes)
            continue;
        return true;
    }
}

#include "FileDialogPresenter.h"

#include <QFileDialog>

namespace {

QString nameFilter(const QStringList &types)
{
    QStringList patterns;
    for (const QString &type : types)
        patterns << QStringLiteral("*.") + type;
    return QStringLiteral("Pictures (%1)").arg(patterns.join(QLatin1Char(' ')));
}

FilePanelResult run(QFileDialog &dialog)
{
    FilePanelResult result;
    if (dialog.exec() == QDialog::Accepted) {
        result.returnCode = 1;
        result.urls = dialog.selectedUrls();
    }
    return result;
}

} // namespace

FilePanelResult FileDialogPresenter::runSavePanel(const FilePanel &panel)
{
    QFileDialog dialog(parent_, panel.title);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    if (!panel.prompt.isEmpty())
        dialog.setLabelText(QFileDialog::Accept, panel.prompt);
    if (!panel.allowedFileTypes.isEmpty()) {
        dialog.setNameFilter(nameFilter(panel.allowedFileTypes));
        // A name typed without one of the accepted extensions gets the first.
        dialog.setDefaultSuffix(panel.allowedFileTypes.first());
    }
    return run(dialog);
}

FilePanelResult FileDialogPresenter::runOpenPanel(const FilePanel &panel)
{
    QFileDialog dialog(parent_, panel.title);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    if (!panel.prompt.isEmpty())
        dialog.setLabelText(QFileDialog::Accept, panel.prompt);
    if (!panel.resolvesAliases)
        dialog.setOption(QFileDialog::DontResolveSymlinks);
    if (!panel.canCreateDirectories)
        dialog.setOption(QFileDialog::ReadOnly);
    if (panel.canChooseDirectories && !panel.canChooseFiles) {
        dialog.setFileMode(QFileDialog::Directory);
        dialog.setOption(QFileDialog::ShowDirsOnly);
    } else {
        dialog.setFileMode(panel.allowsMultipleSelection ? QFileDialog::ExistingFiles : QFileDialog::ExistingFile);
        if (!panel.allowedFileTypes.isEmpty())
            dialog.setNameFilters({nameFilter(panel.allowedFileTypes), QStringLiteral("Folders and all files (*)")});
    }
    return run(dialog);
}

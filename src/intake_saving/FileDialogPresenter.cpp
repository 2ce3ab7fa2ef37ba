#include "FileDialogPresenter.h"

#include "SavingRules.h"

#include <QFileDialog>
#include <QFileInfo>

#include <algorithm>

namespace {

// A save dialog that gives the typed name one of the accepted extensions before it takes
// it, so that the question about replacing an existing file is asked for the name that
// will be written.
class SaveDialog : public QFileDialog {
public:
    SaveDialog(QWidget *parent, const QString &title, QStringList types) : QFileDialog(parent, title), types_(std::move(types)) {}

    void accept() override
    {
        const QStringList chosen = selectedFiles();
        if (chosen.size() == 1 && !QFileInfo(chosen.first()).isDir()) {
            const QString named = SavingRules::withExtension(chosen.first(), types_);
            if (named != chosen.first()) {
                // selectFile() leaves the name field as typed while it has the focus.
                QWidget *focused = focusWidget();
                if (focused)
                    focused->clearFocus();
                selectFile(named);
                if (focused)
                    focused->setFocus();
            }
        }
        QFileDialog::accept();
    }

private:
    QStringList types_;
};

// An open dialog that takes a folder selected in its list when the person confirms, as it
// takes a file; double-clicking the folder still opens it.
class OpenDialog : public QFileDialog {
public:
    using QFileDialog::QFileDialog;

    void accept() override
    {
        const QStringList chosen = selectedFiles();
        const auto isFolder = [](const QString &path) { return QFileInfo(path).isDir(); };
        const auto exists = [](const QString &path) { return QFileInfo::exists(path); };
        if (std::any_of(chosen.begin(), chosen.end(), isFolder) &&
            std::all_of(chosen.begin(), chosen.end(), exists)) {
            QDialog::accept(); // QFileDialog would open the folder instead
            return;
        }
        QFileDialog::accept();
    }
};

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
    SaveDialog dialog(parent_, panel.title, panel.allowedFileTypes);
    // The desktop's own dialog would take the name as typed.
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    if (!panel.directory.isEmpty())
        dialog.setDirectory(panel.directory);
    if (!panel.prompt.isEmpty())
        dialog.setLabelText(QFileDialog::Accept, panel.prompt);
    if (!panel.allowedFileTypes.isEmpty()) {
        dialog.setNameFilter(nameFilter(panel.allowedFileTypes));
        // A name typed without one of the accepted extensions gets the first.
        dialog.setDefaultSuffix(panel.allowedFileTypes.first());
    }
    // After the filter, which would otherwise clear a name it does not match.
    if (!panel.suggestedName.isEmpty())
        dialog.selectFile(panel.suggestedName);
    return run(dialog);
}

FilePanelResult FileDialogPresenter::runOpenPanel(const FilePanel &panel)
{
    OpenDialog dialog(parent_, panel.title);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    if (!panel.prompt.isEmpty())
        dialog.setLabelText(QFileDialog::Accept, panel.prompt);
    if (!panel.directory.isEmpty())
        dialog.setDirectory(panel.directory);
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

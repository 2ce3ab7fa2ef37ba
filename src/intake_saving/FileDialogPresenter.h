#pragma once
// The application's presenter: message boxes and the beep of the window layer, plus the
// save, open and folder panels as file dialogs, modal to the main window.

#include "MessageBoxPresenter.h"

class FileDialogPresenter : public MessageBoxPresenter {
public:
    explicit FileDialogPresenter(QWidget *parent = nullptr) : MessageBoxPresenter(parent), parent_(parent) {}
    FilePanelResult runSavePanel(const FilePanel &panel) override;
    FilePanelResult runOpenPanel(const FilePanel &panel) override;

private:
    QWidget *parent_;
};

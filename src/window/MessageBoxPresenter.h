#pragma once
// Alert panels as message boxes and the beep of the desktop: the presenter the
// application installs (DialogPresenter::install) once it has a window.

#include "Dialogs.h"

class QWidget;

class MessageBoxPresenter : public DialogPresenter {
public:
    // Alerts are modal to the parent window when there is one.
    explicit MessageBoxPresenter(QWidget *parent = nullptr) : parent_(parent) {}
    int runAlertPanel(const AlertPanel &panel) override;
    void beep() override;

private:
    QWidget *parent_;
};

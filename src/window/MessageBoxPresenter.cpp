#include "MessageBoxPresenter.h"

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>

int MessageBoxPresenter::runAlertPanel(const AlertPanel &panel)
{
    QMessageBox box(parent_);
    box.setIcon(QMessageBox::Warning);
    box.setWindowTitle(panel.title);
    box.setText(panel.title);
    box.setInformativeText(panel.message);
    QPushButton *defaultButton =
        box.addButton(panel.defaultButton.isEmpty() ? QStringLiteral("OK") : panel.defaultButton, QMessageBox::AcceptRole);
    QPushButton *alternateButton = panel.alternateButton.isEmpty()
                                       ? nullptr
                                       : box.addButton(panel.alternateButton, QMessageBox::RejectRole);
    QPushButton *otherButton =
        panel.otherButton.isEmpty() ? nullptr : box.addButton(panel.otherButton, QMessageBox::DestructiveRole);
    box.setDefaultButton(defaultButton);
    if (alternateButton)
        box.setEscapeButton(alternateButton);
    box.exec();
    QAbstractButton *clicked = box.clickedButton();
    if (otherButton && clicked == otherButton)
        return AlertOther;
    if (alternateButton && clicked == alternateButton)
        return AlertAlternate;
    // Closing the box without a button counts as the cautious answer when there is one.
    if (clicked != defaultButton && alternateButton)
        return AlertAlternate;
    return AlertDefault;
}

void MessageBoxPresenter::beep()
{
    QApplication::beep();
}

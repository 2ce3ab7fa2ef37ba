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

    struct Choice {
        QString text;
        AlertResult answer;
        QPushButton *button = nullptr;
    };
    Choice choices[] = {{panel.defaultButton.isEmpty() ? QStringLiteral("OK") : panel.defaultButton, AlertDefault},
                        {panel.alternateButton, AlertAlternate},
                        {panel.otherButton, AlertOther}};
    QPushButton *safeButton = nullptr;
    for (Choice &choice : choices) {
        if (choice.text.isEmpty())
            continue;
        // Only the safe button takes the reject role, so Qt never picks another one for Escape.
        const bool safe = choice.answer == panel.safeAnswer;
        const QMessageBox::ButtonRole role = safe                          ? QMessageBox::RejectRole
                                             : choice.answer == AlertDefault ? QMessageBox::AcceptRole
                                                                             : QMessageBox::DestructiveRole;
        choice.button = box.addButton(choice.text, role);
        if (safe)
            safeButton = choice.button;
    }
    box.setDefaultButton(choices[0].button);
    // With a safe button, Escape and closing the window press it; a single button is its own
    // safe answer; otherwise Qt ignores both and only a click answers.
    if (safeButton)
        box.setEscapeButton(safeButton);
    box.exec();

    QAbstractButton *clicked = box.clickedButton();
    for (const Choice &choice : choices)
        if (choice.button && choice.button == clicked)
            return choice.answer;
    // Closed without any button (its parent went away, say).
    if (safeButton)
        return panel.safeAnswer;
    return box.buttons().size() == 1 ? AlertDefault : AlertNoAnswer;
}

void MessageBoxPresenter::beep()
{
    QApplication::beep();
}

#pragma once
// Modal questions and the beep. The window layer installs the real presenter (message
// boxes); tests install one that answers for the person. Without one, a question gets
// no answer (AlertNoAnswer) and a log line, so headless code never hangs on a dialog
// and never takes a choice nobody made.

#include <QString>

struct AlertPanel {
    QString title;
    QString message;
    QString defaultButton;   // returns AlertDefault
    QString alternateButton; // returns AlertAlternate; empty for a single-button alert
    QString otherButton;     // returns AlertOther
};

enum AlertResult { AlertDefault = 1, AlertAlternate = 0, AlertOther = -1, AlertNoAnswer = -2 };

class DialogPresenter {
public:
    virtual ~DialogPresenter() = default;
    virtual int runAlertPanel(const AlertPanel &panel) = 0;
    virtual void beep() = 0;

    // The presenter in use; never null.
    static DialogPresenter &current();
    // Installs a presenter (not owned); null restores the headless one.
    static void install(DialogPresenter *presenter);
};

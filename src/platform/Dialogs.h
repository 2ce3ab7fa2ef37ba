#pragma once
// Modal questions and the beep. The window layer installs the real presenter (message
// boxes); tests install one that answers for the person. Without one, a question gets
// no answer (AlertNoAnswer) and a log line, so headless code never hangs on a dialog
// and never takes a choice nobody made.

#include <QList>
#include <QString>
#include <QStringList>
#include <QUrl>

enum AlertResult { AlertDefault = 1, AlertAlternate = 0, AlertOther = -1, AlertNoAnswer = -2 };

struct AlertPanel {
    QString title;
    QString message;
    QString defaultButton;   // returns AlertDefault
    QString alternateButton; // returns AlertAlternate; empty for a single-button alert
    QString otherButton;     // returns AlertOther
    // The answer that Escape and closing the alert give: the button that changes nothing.
    // Which button that is differs from alert to alert, so it is never inferred from the
    // position; an alert of several buttons that names none can only be answered by a click.
    AlertResult safeAnswer = AlertNoAnswer;
};

// A save panel or an open panel (which may choose folders), run modally.
struct FilePanel {
    QString title;
    QString prompt;
    QStringList allowedFileTypes;   // extensions without the dot; empty: any type
    bool allowsOtherFileTypes = true;
    bool canChooseFiles = true;
    bool canChooseDirectories = false;
    bool allowsMultipleSelection = false;
    bool canCreateDirectories = false;
    bool resolvesAliases = true;
    QString directory;     // the folder it opens in; empty: the toolkit's choice
    QString suggestedName; // save panels: the name it offers
};

// What a panel gave back: 1 when the person confirmed, 0 when cancelled, with the
// chosen locations in their order.
struct FilePanelResult {
    int returnCode = 0;
    QList<QUrl> urls;
};

class DialogPresenter {
public:
    virtual ~DialogPresenter() = default;
    virtual int runAlertPanel(const AlertPanel &panel) = 0;
    virtual void beep() = 0;
    // File panels answer "cancelled" unless a presenter that shows them is installed.
    virtual FilePanelResult runSavePanel(const FilePanel &panel);
    virtual FilePanelResult runOpenPanel(const FilePanel &panel);

    // The presenter in use; never null.
    static DialogPresenter &current();
    // Installs a presenter (not owned); null restores the headless one.
    static void install(DialogPresenter *presenter);
};

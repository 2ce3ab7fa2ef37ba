#include "Dialogs.h"

#include "Log.h"

#include <atomic>

namespace {

class HeadlessPresenter : public DialogPresenter {
public:
    int runAlertPanel(const AlertPanel &panel) override
    {
        qpLog(QStringLiteral("%1: %2").arg(panel.title, panel.message));
        return panel.alternateButton.isEmpty() ? AlertDefault : AlertNoAnswer;
    }
    void beep() override {}
};

HeadlessPresenter headless;
std::atomic<DialogPresenter *> installed{nullptr};

} // namespace

FilePanelResult DialogPresenter::runSavePanel(const FilePanel &panel)
{
    qpLog(QStringLiteral("no save panel can be shown here: %1").arg(panel.title));
    return {};
}

FilePanelResult DialogPresenter::runOpenPanel(const FilePanel &panel)
{
    qpLog(QStringLiteral("no open panel can be shown here: %1").arg(panel.title));
    return {};
}

DialogPresenter &DialogPresenter::current()
{
    DialogPresenter *presenter = installed.load();
    return presenter ? *presenter : headless;
}

void DialogPresenter::install(DialogPresenter *presenter)
{
    installed.store(presenter);
}

// Start-up, application events, the toolbar and the small window commands.

#include "ShrinkerController.h"

#include "AppPaths.h"
#include "Controls.h"
#include "Log.h"
#include "Manual.h"
#include "NotificationCenter.h"
#include "QP_ImageView.h"
#include "NamedImage.h"
#include "PlistValue.h"
#include "Preferences.h"
#include "QuillpaneVersion.h"
#include "ToolbarCustomizeDialog.h"
#include "UserDefaults.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QDialog>
#include <QDir>
#include <QEvent>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QMainWindow>
#include <QMenu>
#include <QMessageBox>
#include <QScreen>
#include <QShortcut>
#include <QTabBar>
#include <QTabWidget>
#include <QToolBar>
#include <QToolButton>
#include <QWidgetAction>

#include <cstdio>

const QString ShrinkerController::toolbarIdentifier = QStringLiteral("quillpaneMainToolBar");
const QString ShrinkerController::flexibleSpaceItemIdentifier = QStringLiteral("flexibleSpaceItemIdentifier");

namespace {

struct ToolbarItemSpec {
    QString identifier;
    QString image;
    QString label;
    QString paletteLabel;
    const char *action;
};

const QList<ToolbarItemSpec> &toolbarItemSpecs()
{
    static const QList<ToolbarItemSpec> specs{
        {QStringLiteral("openItemIdentifier"), QStringLiteral("open"), QStringLiteral("Open"), QStringLiteral("Open"), "browse"},
        {QStringLiteral("saveItemIdentifier"), QStringLiteral("saveas"), QStringLiteral("Save"), QStringLiteral("Save"), "doit"},
        {QStringLiteral("helpItemIdentifier"), QStringLiteral("help"), QStringLiteral("Help"), QStringLiteral("Help"), "visitHelp"},
        {QStringLiteral("prefsItemIdentifier"), QStringLiteral("cog"), QStringLiteral("Prefs"), QStringLiteral("Prefs"), "openPrefs"},
        {QStringLiteral("fromClipItemIdentifier"), QStringLiteral("fromClip"), QStringLiteral("From Clip"),
         QStringLiteral("New From Clip"), "fromClip"},
    };
    return specs;
}

const ToolbarItemSpec *toolbarItemSpec(const QString &identifier)
{
    for (const ToolbarItemSpec &entry : toolbarItemSpecs())
        if (entry.identifier == identifier)
            return &entry;
    return nullptr;
}

// The person's toolbar, kept in the preferences under the toolbar's identifier.
const QString kItemIdentifiersKey = QStringLiteral("itemIdentifiers");
const QString kIsShownKey = QStringLiteral("isShown");

} // namespace

void ShrinkerController::awakeFromNib()
{
    if (const QScreen *screen = QGuiApplication::primaryScreen()) {
        QRect frame = uiWindow->frameGeometry();
        frame.moveCenter(screen->availableGeometry().center());
        uiWindow->move(frame.topLeft());
    }
    aspectRatio = 0.0f;
    // Unlike the folder of other desktops, ~/.local/share may itself be missing on a new
    // account, so the parents are made too.
    const QString support = AppPaths::supportFolder();
    if (!QFileInfo::exists(support) && !QDir().mkpath(support))
        qpLog(QStringLiteral("unable to create the support folder %1").arg(support));
    removeOldTempFiles();
    createToolbar();

    UserDefaults &defaults = UserDefaults::standard();
    writeFirstRunValues(defaults, mainScreenScale);
    // The controls show their stored values only now that every key has one.
    showStoredValues();

    setNamedImage(imageWell, QStringLiteral("drop-files"));
    wellShowsPlaceholder_ = true;
    inputFileCount->setText(QString());
    updateSaveCommand();
    observeImageWell();
    repairAdjustmentDefaults(defaults);
}

void ShrinkerController::observeImageWell()
{
    // The intake operations take the pictures in; they are found by name so that the
    // well and this start-up need not know them.
    NotificationCenter &center = NotificationCenter::defaultCenter();
    center.addObserver(
        Notification::imageDropped,
        [this](const QString &, const QVariantMap &userInfo) {
            if (!QMetaObject::invokeMethod(this, "imagesDropped", Qt::DirectConnection, Q_ARG(QVariantMap, userInfo)))
                qpLog(QStringLiteral("no operation imagesDropped for a drop"));
        },
        this);
    center.addObserver(
        Notification::imagePasted,
        [this](const QString &, const QVariantMap &) {
            if (!QMetaObject::invokeMethod(this, "imagePasted", Qt::DirectConnection, Q_ARG(QObject *, nullptr)))
                qpLog(QStringLiteral("no operation imagePasted for a paste"));
        },
        this);
}

void ShrinkerController::removeOldTempFiles()
{
    const QDir support(AppPaths::supportFolder());
    for (const QString &name : AppPaths::tempPreviewFileNames()) {
        const QString path = support.filePath(name);
        if (QFileInfo::exists(path) && !QFile::remove(path))
            qpLog(QStringLiteral("unable to remove  temp file %1").arg(path));
    }
}

void ShrinkerController::applicationDidFinishLaunching()
{
    selectTabWithIdentifier(QStringLiteral("0"));
    if (UserDefaults::standard().integerForKey(PrefKey::resetSliders) > 0)
        setAdjustmentDefaults();
    handleControl(constrain);
    handleControl(fileFormatButton);
    handleControl(resampleModeButton);
}

void ShrinkerController::applicationDidBecomeActive()
{
    uiWindow->raise();
    uiWindow->activateWindow();
}

// ---- Toolbar -----------------------------------------------------------------------------

void ShrinkerController::createToolbar()
{
    toolbar = new QToolBar(QStringLiteral("Toolbar"), uiWindow);
    toolbar->setObjectName(toolbarIdentifier);
    toolbar->setMovable(false);
    toolbar->setFloatable(false);
    toolbar->setIconSize(QSize(16, 16)); // the small size
    toolbar->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
    toolbar->setContextMenuPolicy(Qt::CustomContextMenu);
    uiWindow->addToolBar(Qt::TopToolBarArea, toolbar);

    const QVariantMap saved = UserDefaults::standard().dictionaryForKey(toolbarIdentifier);
    const QVariant savedItems = saved.value(kItemIdentifiersKey);
    fillToolbar(savedItems.typeId() == QMetaType::QVariantList ? savedItems.toStringList()
                                                               : toolbarDefaultItemIdentifiers(toolbar));
    if (saved.contains(kIsShownKey))
        toolbar->setVisible(plistBool(saved.value(kIsShownKey)));

    QAction *showToolbar = toolbar->toggleViewAction();
    showToolbar->setText(QStringLiteral("Show &Toolbar"));
    connect(showToolbar, &QAction::triggered, this, [this](bool shown) {
        QVariantMap record = UserDefaults::standard().dictionaryForKey(toolbarIdentifier);
        record.insert(kIsShownKey, shown);
        UserDefaults::standard().setObjectForKey(record, toolbarIdentifier);
    });
    QAction *customize = new QAction(QStringLiteral("&Customize Toolbar…"), toolbar);
    connect(customize, &QAction::triggered, this, &ShrinkerController::customizeToolbar);
    viewMenu->addAction(showToolbar);
    viewMenu->addAction(customize);
    connect(toolbar, &QToolBar::customContextMenuRequested, this, [this, customize, showToolbar](const QPoint &at) {
        QMenu menu;
        menu.addAction(customize);
        menu.addAction(showToolbar);
        menu.exec(toolbar->mapToGlobal(at));
    });
}

void ShrinkerController::fillToolbar(const QStringList &identifiers)
{
    for (QAction *item : toolbar->actions()) {
        toolbar->removeAction(item);
        item->deleteLater();
    }
    const QStringList allowed = toolbarAllowedItemIdentifiers(toolbar);
    for (const QString &identifier : identifiers) {
        if (!allowed.contains(identifier))
            continue; // an item of an older version, or an edited file
        if (identifier == flexibleSpaceItemIdentifier) {
            auto *space = new QWidget;
            space->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
            auto *item = new QWidgetAction(toolbar);
            item->setDefaultWidget(space);
            item->setObjectName(identifier);
            toolbar->addAction(item);
        } else if (QAction *item = toolbarItemForItemIdentifierWillBeInsertedIntoToolbar(toolbar, identifier, true)) {
            toolbar->addAction(item);
        }
    }
}

QAction *ShrinkerController::toolbarItemForItemIdentifierWillBeInsertedIntoToolbar(QToolBar *bar,
                                                                                  const QString &identifier, bool)
{
    const ToolbarItemSpec *entry = toolbarItemSpec(identifier);
    if (!entry)
        return nullptr;
    auto *item = new QAction(bar);
    item->setObjectName(identifier);
    if (!NamedImage::exists(entry->image)) {
        std::fputs(QStringLiteral("Image %1 not found.").arg(entry->image).toLocal8Bit().constData(), stdout);
        std::fflush(stdout);
        return item;
    }
    item->setProperty("namedImage", entry->image);
    item->setIcon(NamedImage::icon(entry->image, uiWindow->palette()));
    item->setText(entry->label);
    item->setIconText(entry->label);
    item->setToolTip(entry->paletteLabel);
    item->setProperty("paletteLabel", entry->paletteLabel);
    const char *action = entry->action;
    connect(item, &QAction::triggered, this, [this, action] { performAction(action); });
    item->setEnabled(validateToolbarItem(item));
    return item;
}

QStringList ShrinkerController::toolbarAllowedItemIdentifiers(const QToolBar *bar) const
{
    if (!bar || bar->objectName() != toolbarIdentifier)
        return {};
    return {QStringLiteral("fromClipItemIdentifier"), QStringLiteral("openItemIdentifier"),
            QStringLiteral("saveItemIdentifier"),     QStringLiteral("prefsItemIdentifier"),
            flexibleSpaceItemIdentifier,              QStringLiteral("helpItemIdentifier")};
}

QStringList ShrinkerController::toolbarDefaultItemIdentifiers(const QToolBar *bar) const
{
    if (!bar || bar->objectName() != toolbarIdentifier)
        return {};
    return {QStringLiteral("fromClipItemIdentifier"), QStringLiteral("openItemIdentifier"),
            QStringLiteral("saveItemIdentifier"),     flexibleSpaceItemIdentifier,
            QStringLiteral("prefsItemIdentifier"),    QStringLiteral("helpItemIdentifier")};
}

bool ShrinkerController::validateToolbarItem(const QAction *item) const
{
    // Save has nothing to do before a picture arrives.
    return !item || item->objectName() != QLatin1String("saveItemIdentifier") || inputImage || inputFileArray;
}

void ShrinkerController::updateSaveCommand()
{
    if (toolbar)
        for (QAction *item : toolbar->actions())
            item->setEnabled(validateToolbarItem(item));
    const bool offered = inputImage || inputFileArray;
    if (saveMenuItem)
        saveMenuItem->setEnabled(offered && respondsToAction("doit"));
    if (saveShortcutWithoutPicture_)
        saveShortcutWithoutPicture_->setEnabled(saveMenuItem && !saveMenuItem->isEnabled());
}

QStringList ShrinkerController::toolbarItemIdentifiers() const
{
    QStringList identifiers;
    if (toolbar)
        for (const QAction *item : toolbar->actions())
            identifiers << item->objectName();
    return identifiers;
}

void ShrinkerController::setToolbarItemIdentifiers(const QStringList &identifiers)
{
    fillToolbar(identifiers);
    QVariantMap record = UserDefaults::standard().dictionaryForKey(toolbarIdentifier);
    QVariantList identifierList;
    for (const QString &identifier : toolbarItemIdentifiers())
        identifierList << identifier;
    record.insert(kItemIdentifiersKey, identifierList);
    UserDefaults::standard().setObjectForKey(record, toolbarIdentifier);
}

void ShrinkerController::customizeToolbar()
{
    QHash<QString, QString> labels;
    for (const ToolbarItemSpec &entry : toolbarItemSpecs())
        labels.insert(entry.identifier, entry.paletteLabel);
    labels.insert(flexibleSpaceItemIdentifier, QStringLiteral("Flexible Space"));
    ToolbarCustomizeDialog dialog(toolbarAllowedItemIdentifiers(toolbar), toolbarItemIdentifiers(),
                                  toolbarDefaultItemIdentifiers(toolbar), labels, uiWindow);
    if (dialog.exec() == QDialog::Accepted)
        setToolbarItemIdentifiers(dialog.chosenIdentifiers());
}

// ---- Window commands ------------------------------------------------------------------------

void ShrinkerController::openPrefs()
{
    showStoredPreferences();
    prefsWindow->show();
    prefsWindow->raise();
    prefsWindow->activateWindow();
}

void ShrinkerController::showAdjustmentsWindow()
{
    selectTabWithIdentifier(QStringLiteral("2"));
}

void ShrinkerController::visitHelp()
{
    Manual::openHelpPage();
}

void ShrinkerController::showAbout()
{
    auto *box = new QMessageBox(QMessageBox::NoIcon, QStringLiteral("About Quillpane"),
                                QStringLiteral("Quillpane %1").arg(QLatin1String(quillpaneVersion)), QMessageBox::Ok, uiWindow);
    box->setObjectName(QStringLiteral("about"));
    box->setInformativeText(QStringLiteral("Makes web-ready copies of pictures in several sizes.\n\nQt %1").arg(QLatin1String(qVersion())));
    box->setIconPixmap(uiWindow->windowIcon().pixmap(64));
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->open();
}

void ShrinkerController::oneTouch()
{
    performAction("fromClip");
    performAction("doit");
}

bool ShrinkerController::selectTabWithIdentifier(const QString &identifier)
{
    for (int index = 0; index < mainTabView->count(); ++index) {
        if (mainTabView->widget(index)->objectName() == identifier) {
            mainTabView->setCurrentIndex(index);
            return true;
        }
    }
    return false;
}

QString ShrinkerController::selectedTabIdentifier() const
{
    const QWidget *tab = mainTabView->currentWidget();
    return tab ? tab->objectName() : QString();
}

bool ShrinkerController::respondsToAction(const char *name) const
{
    return metaObject()->indexOfMethod(QByteArray(name) + "()") >= 0;
}

bool ShrinkerController::performAction(const char *name)
{
    if (!respondsToAction(name)) {
        qpLog(QStringLiteral("no operation %1 for this command").arg(QString::fromLatin1(name)));
        return false;
    }
    return QMetaObject::invokeMethod(this, name, Qt::DirectConnection);
}

// ---- Named images and the desktop's palette ------------------------------------------------

void ShrinkerController::setNamedImage(QWidget *widget, const QString &name)
{
    widget->setProperty("namedImage", name);
    if (auto *button = qobject_cast<QToolButton *>(widget)) {
        button->setIcon(NamedImage::icon(name, button->palette()));
    } else if (widget == imageWell) {
        imageWell->setImage(NamedImage::pixmap(name, QSize(160, 160), imageWell->devicePixelRatioF(),
                                               imageWell->palette()));
    } else if (auto *label = qobject_cast<QLabel *>(widget)) {
        label->setPixmap(NamedImage::pixmap(name, label->size(), label->devicePixelRatioF(), label->palette()));
    }
}

void ShrinkerController::refreshNamedImages()
{
    for (QWidget *widget : {static_cast<QWidget *>(constrain), static_cast<QWidget *>(resampleModeIconView)}) {
        const QString name = widget->property("namedImage").toString();
        if (!name.isEmpty())
            setNamedImage(widget, name);
    }
    if (wellShowsPlaceholder_)
        setNamedImage(imageWell, QStringLiteral("drop-files"));
    QTabBar *tabs = mainTabView->tabBar();
    for (int index = 0; index < tabs->count(); ++index)
        if (const QString name = tabs->tabData(index).toString(); !name.isEmpty())
            tabs->setTabIcon(index, NamedImage::icon(name, uiWindow->palette()));
    if (toolbar)
        for (QAction *item : toolbar->actions()) {
            const QString name = item->property("namedImage").toString();
            if (!name.isEmpty())
                item->setIcon(NamedImage::icon(name, uiWindow->palette()));
        }
}

bool ShrinkerController::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == uiWindow &&
        (event->type() == QEvent::PaletteChange || event->type() == QEvent::ThemeChange))
        refreshNamedImages();
    return QObject::eventFilter(watched, event);
}


#pragma once
// The main window's controller: the state of the current resize job, every control of
// the main window, the control dispatcher, the live preview, the adjustment presets,
// start-up, the toolbar and the window commands. Intake and saving add their operations
// to this same class (src/intake_saving/).
//
// Controls are public members under their own names so the rest of the class, spread
// over several files, and the tests reach them directly.

#include "Dialogs.h"
#include "PhotoManipulator.h"
#include "Picture.h"
#include "PictureArrival.h"
#include "SaveSummary.h"
#include "UnwrittenOutputs.h"

#include <QObject>
#include <QPointer>
#include <QSizeF>
#include <QStringList>
#include <QUrl>
#include <QVariantMap>

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

class QAction;
class QCheckBox;
class QComboBox;
class QDialog;
class QLabel;
class QLineEdit;
class QMainWindow;
class QMenu;
class QProgressBar;
class QPushButton;
class QSpinBox;
class QShortcut;
class QTabWidget;
class QToolBar;
class QToolButton;
class QWidget;
class ImageWellArea;
class Manual;
class QP_ImageView;
class RadioGroup;
class ValueSlider;
class WindowMessage;

class ShrinkerController : public QObject {
    Q_OBJECT
public:
    // Builds the main window with its controls, menus and the preferences and warning
    // windows. Reads nothing from the preferences: that waits for awakeFromNib, after the
    // first-run values are written.
    explicit ShrinkerController(QObject *parent = nullptr);
    ~ShrinkerController() override;

    // ---- State of the current job -----------------------------------------------------
    std::shared_ptr<const Picture> inputImage;  // null before the first picture
    std::optional<QStringList> inputFileArray;  // the batch list; none for a single picture
    int32_t cursor = 0;                         // index in inputFileArray of the picture shown
    float aspectRatio = 0.0f;                   // width / height in points; 0: no ratio yet
    int32_t scaledUp = 0;                       // 1: a format was upscaled, 2: the base output was
    PhotoManipulator manipulator;               // the conversion engine
    // Conversions and the read or copy of their temp preview file are one unit: whoever
    // converts holds this for the whole unit (the preview here, the savers later).
    std::mutex conversionMutex;

    // The screen density asked by the first-run "retinaDisplay" check; tests replace it.
    std::function<double()> mainScreenScale;

    // ---- Controls -----------------------------------------------------------------------
    QMainWindow *uiWindow = nullptr;
    QTabWidget *mainTabView = nullptr; // tabs identified "0" (size and output) and "2" (adjustments)
    QToolBar *toolbar = nullptr;       // "quillpaneMainToolBar", made by awakeFromNib

    QLineEdit *sizeFieldW = nullptr;
    QLineEdit *sizeFieldH = nullptr;
    QToolButton *constrain = nullptr; // the proportion lock; checked is state 1
    QAction *constrainMenuItem = nullptr;
    QWidget *constrainIndicator = nullptr;
    QPushButton *actualButton = nullptr;
    QAction *actualMenuItem = nullptr;
    QWidget *cropControls = nullptr;
    RadioGroup *resampleModeButton = nullptr; // tag 0 crop, 1 add
    QLabel *resampleModeIconView = nullptr;
    QLabel *fillColourLabel = nullptr;
    QComboBox *fillColourButton = nullptr; // tags 0 white, 1 black, 2 grey

    QComboBox *fileFormatButton = nullptr; // tags 0 jpeg, 1 png, 2 tiff, 3 webp, 4 avif
    ValueSlider *qualitySlider = nullptr;
    // "Keep each file under N kB": while checked, a lossy type's quality is the highest that
    // fits, and the quality slider shows it.
    QCheckBox *fileSizeBudgetCheckBox = nullptr; // "keepFilesUnderBudget"
    QSpinBox *fileSizeBudgetField = nullptr;     // "fileSizeBudget", in kB
    ValueSlider *sharpenSlider = nullptr;
    QLabel *formatsInfo = nullptr;        // the summary of the additional formats (written by FormatManager)
    QPushButton *formatsButton = nullptr; // opens the formats panel (connected by the program)

    ValueSlider *brightnessSlider = nullptr;
    ValueSlider *exposureSlider = nullptr;
    ValueSlider *contrastSlider = nullptr;
    ValueSlider *saturationSlider = nullptr;
    ValueSlider *vibranceSlider = nullptr;
    ValueSlider *temperatureSlider = nullptr;
    QComboBox *filterPopUp = nullptr; // tags 0 none, 1 tonal, 2 sepia, 3 posterize, 4 chrome
    ValueSlider *filterIntensity = nullptr;
    QPushButton *adjustmentDefaultsButton = nullptr;
    QPushButton *adjustmentZeroButton = nullptr;
    QPushButton *saveAdjustmentDefaultsButton = nullptr; // sends makeAdjustmentDefaults

    QP_ImageView *imageWell = nullptr;
    QLabel *tfFileSize = nullptr;
    QLabel *inputFileCount = nullptr;
    QPushButton *nextImage = nullptr;
    QPushButton *previousImage = nullptr;
    QProgressBar *progressIndicator = nullptr; // "picture 3 of 30" while a batch runs

    QDialog *prefsWindow = nullptr;
    QCheckBox *makeDirectoryForBatchCheckBox = nullptr; // "makeDirectoryForBatch"
    QComboBox *resetSlidersPopUp = nullptr;             // "resetSliders", tags 0, 1, 2
    QCheckBox *retinaDisplayCheckBox = nullptr;         // "retinaDisplay"
    QCheckBox *warnAboutUpscalingCheckBox = nullptr;    // "warnAboutUpscaling"

    QDialog *scaledUpWarningWindow = nullptr; // window-modal on uiWindow, like a sheet
    QLabel *scaledUpWarningField = nullptr;

    // Help hints beside the controls they explain.
    Manual *manual = nullptr;
    QToolButton *baseFormatHelpButton = nullptr;
    QToolButton *resizeModeHelpButton = nullptr;
    QToolButton *outputFormatHelpButton = nullptr;
    QToolButton *qualityHelpButton = nullptr;
    QToolButton *sharpeningHelpButton = nullptr;

    QMenu *fileMenu = nullptr;
    QMenu *editMenu = nullptr;
    QMenu *imageMenu = nullptr;
    QMenu *viewMenu = nullptr;
    QMenu *helpMenu = nullptr;

    // ---- Start-up and application events ------------------------------------------------
    void awakeFromNib();
    void applicationDidFinishLaunching();
    void applicationDidBecomeActive();

    // ---- Output size and the control dispatcher ----------------------------------------
    // Every control of the main window ends here; sender is the control that acted.
    void handleControl(QObject *sender);
    void calculateRatio();
    // sender: the size field that changed, or this controller after a new picture.
    void applyAspectRatio(QObject *sender);
    void setActualSize();
    // The proportion lock on or off: the button, its menu item, the padlock, the
    // indicator, the crop controls and the stored "constrain" all follow. Every road that
    // changes the lock ends here.
    void setConstrainState(bool on);
    // The dispatcher's stepping through the batch list (nextImage or previousImage as sender).
    void stepThroughBatch(QObject *sender);

    // ---- Preview ----------------------------------------------------------------------
    // Converts inputImage with the window's settings and shows the temp preview file.
    void updateOutputImage();
    // The conversion settings the preview uses, before the high-density override.
    QVariantMap previewSettings() const;
    // Shows the temp preview file at path in the well at the given size in points, and
    // its size in the file-size label; the part of the render after the conversion.
    // Shows the file's picture, or encodedPixels when no decoder here reads the file's type.
    void showPreviewFile(const QString &path, QSizeF displaySize, const PixelBuffer *encodedPixels = nullptr);
    // "%qi kb" for a size in bytes, in whole kibibytes rounded down.
    static QString fileSizeText(qint64 bytes);
    // A preview file's bytes as a picture to show; null when they cannot be read. With
    // `atMost`, a larger JPEG or PNG is read shrunk to fit it (JPEG's reduced decoding).
    static QImage previewImageFromBytes(const QByteArray &bytes, QSize atMost = QSize());
    // How long the latest render took, in milliseconds (0 before the first).
    double lastRenderMilliseconds() const { return lastRenderMilliseconds_; }
    // While the latest render took at most this long, the preview follows a slider drag;
    // otherwise it waits for the knob's release, so a drag never stalls the window.
    double dragRenderBudgetMilliseconds = 100.0;

    // ---- Adjustment presets -------------------------------------------------------------
    void setAdjustmentDefaults();
    void setAdjustmentZeros();
    void makeAdjustmentDefaults();

    // ---- Toolbar ----------------------------------------------------------------------
    static const QString toolbarIdentifier;            // "quillpaneMainToolBar"
    static const QString flexibleSpaceItemIdentifier;  // the flexible space between items
    // The item for one of the five identifiers; null for any other. With its image
    // missing, the item has its identifier only and a line goes to standard output.
    QAction *toolbarItemForItemIdentifierWillBeInsertedIntoToolbar(QToolBar *toolbar, const QString &identifier,
                                                                  bool willBeInserted);
    QStringList toolbarAllowedItemIdentifiers(const QToolBar *toolbar) const;
    QStringList toolbarDefaultItemIdentifiers(const QToolBar *toolbar) const;
    bool validateToolbarItem(const QAction *item) const;
    // The identifiers the toolbar shows, in order (the person's choice or the default).
    QStringList toolbarItemIdentifiers() const;
    // Shows these items in this order and keeps the choice in the preferences.
    void setToolbarItemIdentifiers(const QStringList &identifiers);
    // Opens the dialog in which the person picks and orders the toolbar's items.
    void customizeToolbar();

    // ---- Window commands ----------------------------------------------------------------
    Q_INVOKABLE void openPrefs();
    Q_INVOKABLE void showAdjustmentsWindow();
    Q_INVOKABLE void visitHelp();
    // The program's name, version and purpose in a box that does not hold up the window.
    Q_INVOKABLE void showAbout();
    Q_INVOKABLE void oneTouch();
    // Selects the tab of mainTabView with that identifier; false when there is none.
    bool selectTabWithIdentifier(const QString &identifier);
    QString selectedTabIdentifier() const;

    // Runs the controller's operation of that name (a slot or Q_INVOKABLE, no arguments),
    // as toolbar items and menu items do; false, with a log line, when it has none.
    bool performAction(const char *name);
    bool respondsToAction(const char *name) const;

    // ---- Fitting within a box, the preview's zoom, the title, the save panel's start ------
    QCheckBox *fitWithinCheckBox = nullptr;    // "fitWithin": the fields are a box each picture fits into
    QCheckBox *neverEnlargeCheckBox = nullptr; // "neverEnlarge": a picture that fits the box keeps its size
    QLabel *fitSizeLabel = nullptr;            // the size the current picture is written at, fitting
    ImageWellArea *wellArea = nullptr;         // the well in a frame that scrolls at 100 %
    QAction *zoomToFitItem = nullptr;          // Ctrl+0, and the Fit button beside the well
    QAction *zoomToActualSizeItem = nullptr;   // Ctrl+1, and the 100 % button
    QLabel *zoomLabel = nullptr;               // the scale the preview is shown at
    // The base output's size for the current picture: the size fields, or, fitting within
    // them, the largest size of the picture's proportions they hold.
    QSizeF baseOutputSize() const;
    bool fitsWithinBox() const;
    // The preview fitted to the well (true) or at 100 %.
    void setPreviewFits(bool fit);
    // "photo.jpg — 6028 × 3391" for the current picture; the program's name before one.
    void showPictureInTitle();
    // The current picture's file name; "Pasted picture" for one that came without a file.
    QString inputImageName() const;
    // Where the save panels open, and the name the one for a single picture suggests: the
    // picture's with the output type's extension ("-800px" added where that is the picture's own file).
    QString singleSaveFolder() const;
    QString batchSaveFolder() const;
    QString suggestedSaveName() const;

    // ---- Intake and saving (defined in src/intake_saving/) -------------------------------
    // The Save command: a batch into a chosen folder when a batch list is loaded, else one
    // picture with all its formats to a path from the save panel. Beeps with no picture,
    // and while a batch runs.
    Q_INVOKABLE void doit();
    void savePanelDidEndReturnCodeContextInfo(const FilePanelResult &panel);
    // Writes the base output at path and every selected format beside it, for inputImage.
    void saveBaseAndAllFormatsWithBaseSaveLocation(const QString &path);
    // The upscaling warning sheet after a save, when scaledUp holds flags.
    void showUpscalingWarningIfNeeded();
    // The outputs of the latest Save command that could not be written (cleared when the
    // command begins), and the one alert that lists them after the save or the batch.
    std::vector<UnwrittenOutput> unwrittenOutputs;
    std::vector<UnwrittenOutput> overBudgetOutputs; // written, but larger than the budget
    void showUnwrittenOutputsIfAny();
    Q_INVOKABLE void closeScaledUpSheet();
    // "QuillpanedImages" and the local date and time; creates nothing.
    static QString getUniqueFolderName();
    // Starts the batch pass over the batch list into folder on its own thread; false
    // (with a beep) when a batch already runs.
    bool saveMultipleFilesTo(const QString &folder);
    bool batchIsRunning() const;
    // Runs the event loop until the batch has ended (tests and quitting).
    void waitForBatch();

    Q_INVOKABLE void browse();
    void openPanelDidEndReturnCodeContextInfo(const FilePanelResult &panel);
    Q_INVOKABLE void fromClip();
    Q_INVOKABLE void imagesDropped(const QVariantMap &userInfo);
    Q_INVOKABLE void imagePasted(QObject *sender);
    bool applicationOpenFile(const QString &path);
    void applicationOpenFiles(const QStringList &paths);
    void singleImageProvided(std::shared_ptr<const Picture> image);
    void multipleImagesProvided(const QStringList &paths);

    // ---- Telling the person how a save went and what arrived -----------------------------
    // A message across the window that does not stop the person: how a save or a batch
    // ended (with a button that opens the folder), and the pictures that could not be read.
    WindowMessage *messageBar = nullptr;
    QPushButton *cancelBatchButton = nullptr; // beside the progress, while a batch runs
    QAction *saveMenuItem = nullptr;
    // The batch stops before its next picture; what is written stays.
    Q_INVOKABLE void cancelBatch();
    // Save is offered only while there is something to save (the shortcut still beeps).
    void updateSaveCommand();
    // The files of an arrival that could not be read, named in messageBar.
    void reportUnreadable(const std::vector<PictureArrival::Unreadable> &files);
    // The files the latest Save command wrote (cleared when it begins), and the message
    // that says so once it has ended.
    int writtenOutputs = 0;
    void showSaveSummary(const SaveSummary &summary);

private:
    struct BatchRunner;
    struct BatchRunnerDeleter {
        void operator()(BatchRunner *runner) const;
    };
    std::unique_ptr<BatchRunner, BatchRunnerDeleter> batchRunner_; // ends a running batch first
    bool refuseWhileBatchRuns(const char *what);
    QShortcut *saveShortcutWithoutPicture_ = nullptr; // the beep, while the Save item is disabled

public:

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void buildWindow();
    QWidget *buildSizeTab();
    QWidget *buildAdjustmentsTab();
    void buildPreferencesWindow();
    void buildScaledUpWarningWindow();
    void buildMenus();
    void connectControls();
    void showStoredValues();
    void showStoredQuality();
    void showStoredPreferences();
    void createToolbar();
    void fillToolbar(const QStringList &identifiers);
    void sliderDragged(ValueSlider *slider);
    void showFitWithinState();
    void showZoomScale();
    void setNamedImage(QWidget *widget, const QString &name);
    void refreshNamedImages();
    void showPreviewImage(const QImage &image, QSizeF displaySize);
    void showFileSizeText(const QString &text);
    // The quality slider and the file-size label after a render within a budget.
    void showBudgetResult(const EncodedOutput &output, qint64 fileFormat, qint64 maxBytes);
    // Which of the quality slider and the budget field take input, for the output type and
    // the budget's check box.
    void showQualityControls();
    void removeOldTempFiles();
    void observeImageWell();
    QToolButton *helpButton(const QString &topic, void (Manual::*hint)(QWidget *));

    double lastRenderMilliseconds_ = 0.0;
    bool wellShowsPlaceholder_ = false;
};

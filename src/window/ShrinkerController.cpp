// The window layout: the controls, where they sit, and how each reaches the dispatcher
// and keeps its value in the preferences.

#include "ShrinkerController.h"

#include "Controls.h"
#include "FileSizeBudget.h"
#include "ImageWellArea.h"
#include "Log.h"
#include "Manual.h"
#include "NamedImage.h"
#include "ImageEncoders.h"
#include "PixelCount.h"
#include "PlistValue.h"
#include "QP_ImageView.h"
#include "Preferences.h"
#include "UserDefaults.h"
#include "WindowMessage.h"

#include <QAction>
#include <QActionGroup>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QFrame>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeySequence>
#include <QLabel>
#include <QLineEdit>
#include <QIcon>
#include <QMainWindow>
#include <QMenuBar>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QShortcut>
#include <QSpinBox>
#include <QSplitter>
#include <QStyle>
#include <QTabBar>
#include <QTabWidget>
#include <QToolButton>
#include <QVBoxLayout>

#include <cmath>
#include <functional>

namespace {

QLabel *caption(const QString &text, QWidget *buddy)
{
    auto *label = new QLabel(text);
    label->setBuddy(buddy);
    return label;
}

ValueSlider *sliderFor(const SliderRange &range)
{
    return new ValueSlider(range.minimum, range.maximum, range.step);
}

QPushButton *smallButton(const QString &text)
{
    auto *button = new QPushButton(text);
    button->setAutoDefault(false);
    return button;
}

// A number with two decimals, never "-0.00".
QString twoDecimals(float value)
{
    const double rounded = std::round(double(value) * 100.0) / 100.0;
    return QString::number(rounded == 0.0 ? 0.0 : rounded, 'f', 2);
}

// Sliders of one group end in one line: their values take the widest one's room.
void alignValues(std::initializer_list<ValueSlider *> sliders)
{
    int widest = 0;
    for (const ValueSlider *slider : sliders)
        widest = std::max(widest, slider->valueLabel()->minimumWidth());
    for (const ValueSlider *slider : sliders)
        slider->valueLabel()->setMinimumWidth(widest);
}

// The slider with its value beside it, and the help button when there is one.
QHBoxLayout *sliderRow(ValueSlider *slider, std::function<QString(float)> text, QToolButton *help = nullptr)
{
    auto *row = new QHBoxLayout;
    row->addWidget(slider, 1);
    row->addWidget(slider->makeValueLabel(std::move(text)));
    if (help)
        row->addWidget(help);
    return row;
}

} // namespace

ShrinkerController::ShrinkerController(QObject *parent) : QObject(parent)
{
    mainScreenScale = [] {
        const QScreen *screen = QGuiApplication::primaryScreen();
        return screen ? screen->devicePixelRatio() : 1.0;
    };
    buildWindow();
    buildPreferencesWindow();
    buildScaledUpWarningWindow();
    buildMenus();
    connectControls();
    uiWindow->installEventFilter(this);
}

ShrinkerController::~ShrinkerController()
{
    uiWindow->removeEventFilter(this);
    delete uiWindow; // owns every other window and control
}

void ShrinkerController::buildWindow()
{
    uiWindow = new QMainWindow;
    uiWindow->setWindowTitle(QStringLiteral("Quillpane"));
    // The mark the desktop shows for the installed program, so the running window matches it.
    uiWindow->setWindowIcon(QIcon(QStringLiteral(":/images/quillpane.svg")));
    uiWindow->resize(1040, 680);

    manual = new Manual(this);
    imageWell = new QP_ImageView;
    imageWell->setObjectName(QStringLiteral("imageWell"));
    imageWell->setAccessibleName(QStringLiteral("Preview; drop or paste pictures here"));
    wellArea = new ImageWellArea(imageWell);
    wellArea->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Ignored); // a big preview scrolls, the window stays
    wellArea->setMinimumSize(360, 300);

    // Fit or 100 %: the buttons beside the well and the View menu's items are one choice.
    zoomToFitItem = new QAction(QStringLiteral("Zoom to &Fit"), this);
    zoomToFitItem->setIconText(QStringLiteral("Fit"));
    zoomToFitItem->setToolTip(QStringLiteral("Show the whole preview in the well (Ctrl+0)"));
    zoomToFitItem->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_0));
    zoomToActualSizeItem = new QAction(QStringLiteral("Zoom to &100 %"), this);
    zoomToActualSizeItem->setIconText(QStringLiteral("100 %"));
    zoomToActualSizeItem->setToolTip(QStringLiteral("Show the preview pixel for pixel, scrolling (Ctrl+1)"));
    zoomToActualSizeItem->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_1));
    auto *zoomChoice = new QActionGroup(this);
    for (QAction *item : {zoomToFitItem, zoomToActualSizeItem}) {
        item->setCheckable(true);
        zoomChoice->addAction(item);
    }
    zoomToFitItem->setChecked(true);
    connect(zoomToFitItem, &QAction::triggered, this, [this] { setPreviewFits(true); });
    connect(zoomToActualSizeItem, &QAction::triggered, this, [this] { setPreviewFits(false); });
    zoomLabel = new QLabel;
    connect(imageWell, &QP_ImageView::shownChanged, this, &ShrinkerController::showZoomScale);
    auto *zoomRow = new QHBoxLayout;
    for (QAction *item : {zoomToFitItem, zoomToActualSizeItem}) {
        auto *button = new QToolButton;
        button->setDefaultAction(item);
        button->setAutoRaise(true); // only the chosen one is drawn pressed
        zoomRow->addWidget(button);
    }
    zoomRow->addWidget(zoomLabel);
    zoomRow->addStretch(1);
    auto *wellColumn = new QWidget;
    auto *wellLayout = new QVBoxLayout(wellColumn);
    wellLayout->setContentsMargins(0, 0, 0, 0);
    wellLayout->addWidget(wellArea, 1);
    wellLayout->addLayout(zoomRow);

    mainTabView = new QTabWidget;
    mainTabView->setDocumentMode(true);
    QWidget *sizeTab = buildSizeTab();
    sizeTab->setObjectName(QStringLiteral("0"));
    mainTabView->addTab(sizeTab, QStringLiteral("Size && Output"));
    QWidget *adjustmentsTab = buildAdjustmentsTab();
    adjustmentsTab->setObjectName(QStringLiteral("2"));
    // The magic wand the sharpening hint points to.
    const int adjustmentsIndex = mainTabView->addTab(adjustmentsTab, QStringLiteral("Adjustments"));
    mainTabView->tabBar()->setTabData(adjustmentsIndex, QStringLiteral("magic-wand"));
    mainTabView->setTabIcon(adjustmentsIndex, NamedImage::icon(QStringLiteral("magic-wand"), uiWindow->palette()));

    tfFileSize = new QLabel;
    tfFileSize->setObjectName(QStringLiteral("tfFileSize"));
    QFont sizeFont = tfFileSize->font();
    sizeFont.setBold(true);
    tfFileSize->setFont(sizeFont);
    tfFileSize->setToolTip(QStringLiteral("Size of the output file"));
    inputFileCount = new QLabel;
    // On a line of its own, wrapping when it must: "showing image 1000 of 1000 images" is
    // never cut off, whatever the font and the scale.
    inputFileCount->setWordWrap(true);
    inputFileCount->setAlignment(Qt::AlignCenter);
    previousImage = smallButton(QStringLiteral("Previous"));
    nextImage = smallButton(QStringLiteral("Next"));
    previousImage->setToolTip(QStringLiteral("Previous picture of the batch"));
    nextImage->setToolTip(QStringLiteral("Next picture of the batch"));
    previousImage->hide();
    nextImage->hide();
    progressIndicator = new QProgressBar;
    progressIndicator->setRange(0, 1);
    progressIndicator->setTextVisible(true);
    progressIndicator->setAlignment(Qt::AlignCenter);
    progressIndicator->hide(); // shown while a batch runs
    cancelBatchButton = smallButton(QStringLiteral("Cancel"));
    cancelBatchButton->setToolTip(QStringLiteral("Stop the batch before its next picture; the files written stay"));
    cancelBatchButton->hide();
    messageBar = new WindowMessage;
    messageBar->setObjectName(QStringLiteral("messageBar"));

    auto *fileSizeRow = new QHBoxLayout;
    fileSizeRow->addWidget(new QLabel(QStringLiteral("File size:")));
    fileSizeRow->addWidget(tfFileSize, 1);
    auto *batchRow = new QHBoxLayout;
    batchRow->addWidget(previousImage);
    batchRow->addStretch(1);
    batchRow->addWidget(nextImage);
    auto *progressRow = new QHBoxLayout;
    progressRow->addWidget(progressIndicator, 1);
    progressRow->addWidget(cancelBatchButton);

    auto *side = new QWidget;
    auto *sideLayout = new QVBoxLayout(side);
    sideLayout->setContentsMargins(6, 0, 0, 0);
    sideLayout->addWidget(mainTabView, 1);
    sideLayout->addLayout(fileSizeRow);
    sideLayout->addWidget(inputFileCount);
    sideLayout->addLayout(batchRow);
    sideLayout->addLayout(progressRow);
    // Bounds for the usual font; a larger one widens the panel rather than cut its texts.
    const int needed = side->minimumSizeHint().width();
    side->setMinimumWidth(std::max(330, needed));
    side->setMaximumWidth(std::max(420, needed));

    auto *splitter = new QSplitter;
    splitter->addWidget(wellColumn);
    splitter->addWidget(side);
    splitter->setStretchFactor(0, 1);
    splitter->setStretchFactor(1, 0);
    splitter->setChildrenCollapsible(false);
    auto *central = new QWidget;
    auto *centralLayout = new QVBoxLayout(central);
    centralLayout->setContentsMargins(8, 8, 8, 8);
    centralLayout->addWidget(messageBar);
    centralLayout->addWidget(splitter, 1);
    uiWindow->setCentralWidget(central);
}

QWidget *ShrinkerController::buildSizeTab()
{
    auto *tab = new QWidget;
    auto *layout = new QVBoxLayout(tab);

    // Width and height with the lock beside them; the indicator is the bracket joining
    // the two fields while the lock is on.
    sizeFieldW = new QLineEdit;
    sizeFieldH = new QLineEdit;
    for (QLineEdit *field : {sizeFieldW, sizeFieldH}) {
        field->setValidator(new PixelCountValidator(field));
        field->setAlignment(Qt::AlignRight);
        field->setMaximumWidth(96);
    }
    sizeFieldW->setAccessibleName(QStringLiteral("Output width"));
    sizeFieldH->setAccessibleName(QStringLiteral("Output height"));
    constrain = new QToolButton;
    constrain->setCheckable(true);
    constrain->setAutoRaise(true);
    constrain->setIconSize(QSize(20, 20));
    constrain->setToolTip(QStringLiteral("Constrain proportions"));
    constrain->setAccessibleName(QStringLiteral("Constrain proportions"));
    auto *indicator = new QFrame;
    indicator->setFrameShape(QFrame::NoFrame);
    indicator->setFixedWidth(8);
    indicator->setStyleSheet(QStringLiteral("QFrame { border: 2px solid palette(mid); border-left: none; }"));
    constrainIndicator = indicator;

    auto *sizeGrid = new QGridLayout;
    sizeGrid->addWidget(caption(QStringLiteral("&Width"), sizeFieldW), 0, 0);
    sizeGrid->addWidget(sizeFieldW, 0, 1);
    sizeGrid->addWidget(new QLabel(QStringLiteral("px")), 0, 2);
    sizeGrid->addWidget(caption(QStringLiteral("Hei&ght"), sizeFieldH), 1, 0);
    sizeGrid->addWidget(sizeFieldH, 1, 1);
    sizeGrid->addWidget(new QLabel(QStringLiteral("px")), 1, 2);
    sizeGrid->addWidget(constrainIndicator, 0, 3, 2, 1);
    sizeGrid->addWidget(constrain, 0, 4, 2, 1, Qt::AlignVCenter);
    baseFormatHelpButton = helpButton(QStringLiteral("Base format"), &Manual::baseFormat);
    sizeGrid->addWidget(baseFormatHelpButton, 0, 6, Qt::AlignRight | Qt::AlignTop);
    sizeGrid->setColumnStretch(5, 1);
    actualButton = smallButton(QStringLiteral("&Actual Size"));
    actualButton->setToolTip(QStringLiteral("Use the picture's own pixel size"));

    auto *sizeBox = new QGroupBox(QStringLiteral("Output size"));
    auto *sizeBoxLayout = new QVBoxLayout(sizeBox);
    sizeBoxLayout->addLayout(sizeGrid);
    auto *actualRow = new QHBoxLayout;
    actualRow->addWidget(actualButton);
    actualRow->addStretch(1);
    sizeBoxLayout->addLayout(actualRow);

    // The fields as a box: every picture keeps its proportions and fits within it.
    fitWithinCheckBox = new QCheckBox(QStringLiteral("Fit each picture within width × height"));
    fitWithinCheckBox->setToolTip(QStringLiteral("Each picture keeps its proportions, as large as fits within the width and height"));
    neverEnlargeCheckBox = new QCheckBox(QStringLiteral("Never enlarge"));
    neverEnlargeCheckBox->setToolTip(QStringLiteral("A picture smaller than the box is written at its own size"));
    fitSizeLabel = new QLabel;
    fitSizeLabel->setObjectName(QStringLiteral("fitSizeLabel"));
    auto *fitRow = new QHBoxLayout;
    // Under the check box's text, as its dependant.
    fitRow->addSpacing(fitWithinCheckBox->style()->pixelMetric(QStyle::PM_IndicatorWidth)
                       + fitWithinCheckBox->style()->pixelMetric(QStyle::PM_CheckBoxLabelSpacing));
    fitRow->addWidget(neverEnlargeCheckBox);
    fitRow->addStretch(1);
    fitRow->addWidget(fitSizeLabel);
    sizeBoxLayout->addWidget(fitWithinCheckBox);
    sizeBoxLayout->addLayout(fitRow);

    // Crop or add, only while the proportions are free.
    cropControls = new QWidget;
    auto *cropLayout = new QGridLayout(cropControls);
    cropLayout->setContentsMargins(0, 0, 0, 0);
    resampleModeIconView = new QLabel;
    resampleModeIconView->setFixedSize(24, 24);
    resampleModeButton = new RadioGroup;
    resampleModeButton->addCell(QStringLiteral("Crop to fit"), 0);
    resampleModeButton->addCell(QStringLiteral("Add border"), 1);
    fillColourLabel = new QLabel(QStringLiteral("Fill"));
    fillColourButton = new QComboBox;
    fillColourButton->addItem(QStringLiteral("White"), 0);
    fillColourButton->addItem(QStringLiteral("Black"), 1);
    fillColourButton->addItem(QStringLiteral("Grey"), 2);
    fillColourLabel->setBuddy(fillColourButton);
    cropLayout->addWidget(resampleModeIconView, 0, 0);
    cropLayout->addWidget(resampleModeButton, 0, 1, 1, 2);
    cropLayout->addWidget(fillColourLabel, 1, 1, Qt::AlignRight);
    cropLayout->addWidget(fillColourButton, 1, 2);
    resizeModeHelpButton = helpButton(QStringLiteral("Resize mode"), &Manual::resizeMode);
    cropLayout->addWidget(resizeModeHelpButton, 0, 3, Qt::AlignRight);
    cropLayout->setColumnStretch(2, 1);
    sizeBoxLayout->addWidget(cropControls);
    layout->addWidget(sizeBox);

    // Output type and encoding.
    fileFormatButton = new QComboBox;
    for (const qint64 value : outputFileTypeValues())
        fileFormatButton->addItem(outputFileTypeFor(value).title, value);
    qualitySlider = sliderFor(SliderRanges::quality);
    fileSizeBudgetCheckBox = new QCheckBox(QStringLiteral("&Keep each file under"));
    fileSizeBudgetField = new QSpinBox;
    fileSizeBudgetField->setRange(1, FileSizeBudget::kMaxKilobytes);
    fileSizeBudgetField->setSuffix(QStringLiteral(" kB"));
    fileSizeBudgetField->setKeyboardTracking(false); // one render when the typing is done
    fileSizeBudgetField->setAccessibleName(QStringLiteral("File size budget in kB"));
    fileSizeBudgetField->setToolTip(QStringLiteral("Each output is made at the highest quality that keeps it under this size "
                                                   "(1 kB = 1000 bytes)"));
    sharpenSlider = sliderFor(SliderRanges::sharpen);
    auto *outputBox = new QGroupBox(QStringLiteral("Output"));
    auto *outputForm = new QFormLayout(outputBox);
    outputFormatHelpButton = helpButton(QStringLiteral("Output format"), &Manual::outputFormat);
    qualityHelpButton = helpButton(QStringLiteral("Quality slider"), &Manual::quality);
    sharpeningHelpButton = helpButton(QStringLiteral("Sharpen slider"), &Manual::sharpening);
    auto *typeRow = new QHBoxLayout;
    typeRow->addWidget(fileFormatButton, 1);
    typeRow->addWidget(outputFormatHelpButton);
    outputForm->addRow(caption(QStringLiteral("File t&ype"), fileFormatButton), typeRow);
    outputForm->addRow(caption(QStringLiteral("&Quality"), qualitySlider),
                       sliderRow(qualitySlider, [](float v) { return QStringLiteral("%1 %").arg(std::lround(v)); }, qualityHelpButton));
    auto *budgetRow = new QHBoxLayout;
    budgetRow->addWidget(fileSizeBudgetCheckBox);
    budgetRow->addWidget(fileSizeBudgetField);
    budgetRow->addStretch(1);
    outputForm->addRow(QString(), budgetRow);
    outputForm->addRow(caption(QStringLiteral("Shar&pen"), sharpenSlider), sliderRow(sharpenSlider, twoDecimals, sharpeningHelpButton));
    alignValues({qualitySlider, sharpenSlider});
    layout->addWidget(outputBox);

    auto *formatsBox = new QGroupBox(QStringLiteral("Additional formats"));
    auto *formatsLayout = new QHBoxLayout(formatsBox);
    formatsInfo = new QLabel;
    formatsInfo->setObjectName(QStringLiteral("formatsInfo"));
    formatsInfo->setWordWrap(true);
    formatsButton = smallButton(QStringLiteral("Fo&rmats…"));
    formatsButton->setToolTip(QStringLiteral("Choose the additional formats saved beside each output"));
    formatsLayout->addWidget(formatsInfo, 1);
    formatsLayout->addWidget(formatsButton);
    layout->addWidget(formatsBox);
    layout->addStretch(1);
    return tab;
}

QWidget *ShrinkerController::buildAdjustmentsTab()
{
    auto *tab = new QWidget;
    auto *layout = new QVBoxLayout(tab);
    // Layout positions are the neutral ones; a launch with "resetSliders" above 0 moves
    // them to the saved defaults.
    saturationSlider = sliderFor(SliderRanges::saturation);
    saturationSlider->setFloatValue(1.0f);
    brightnessSlider = sliderFor(SliderRanges::brightness);
    brightnessSlider->setFloatValue(0.0f);
    exposureSlider = sliderFor(SliderRanges::exposure);
    exposureSlider->setFloatValue(0.0f);
    contrastSlider = sliderFor(SliderRanges::contrast);
    contrastSlider->setFloatValue(1.0f);
    vibranceSlider = sliderFor(SliderRanges::vibrance);
    vibranceSlider->setFloatValue(0.0f);
    temperatureSlider = sliderFor(SliderRanges::temperature);
    temperatureSlider->setFloatValue(kNeutralTemperatureSlider);

    auto *colourBox = new QGroupBox(QStringLiteral("Colour"));
    auto *colourForm = new QFormLayout(colourBox);
    // Values in the engine's units: factors, offsets, stops of exposure, and the colour
    // temperature in kelvin (the slider holds its base-2 logarithm).
    colourForm->addRow(caption(QStringLiteral("Sat&uration"), saturationSlider), sliderRow(saturationSlider, twoDecimals));
    colourForm->addRow(caption(QStringLiteral("&Brightness"), brightnessSlider), sliderRow(brightnessSlider, twoDecimals));
    colourForm->addRow(caption(QStringLiteral("E&xposure"), exposureSlider),
                       sliderRow(exposureSlider, [](float v) { return twoDecimals(v) + QStringLiteral(" EV"); }));
    colourForm->addRow(caption(QStringLiteral("C&ontrast"), contrastSlider), sliderRow(contrastSlider, twoDecimals));
    colourForm->addRow(caption(QStringLiteral("Vibra&nce"), vibranceSlider), sliderRow(vibranceSlider, twoDecimals));
    colourForm->addRow(caption(QStringLiteral("Te&mperature"), temperatureSlider),
                       sliderRow(temperatureSlider, [](float v) { return QStringLiteral("%1 K").arg(std::lround(std::exp2(double(v)))); }));
    layout->addWidget(colourBox);

    filterPopUp = new QComboBox;
    filterPopUp->addItem(QStringLiteral("None"), 0);
    filterPopUp->addItem(QStringLiteral("Tonal"), 1);
    filterPopUp->addItem(QStringLiteral("Sepia"), 2);
    filterPopUp->addItem(QStringLiteral("Posterize"), 3);
    filterPopUp->addItem(QStringLiteral("Chrome"), 4);
    // The engine takes the whole-number part of the strength.
    filterIntensity = sliderFor(SliderRanges::filterIntensity);
    filterIntensity->setFloatValue(1.0f);
    filterIntensity->setTickPosition(QSlider::TicksBelow);
    filterIntensity->setTickInterval(1);
    filterIntensity->setEnabled(false);
    auto *effectBox = new QGroupBox(QStringLiteral("Effect"));
    auto *effectForm = new QFormLayout(effectBox);
    effectForm->addRow(caption(QStringLiteral("Effe&ct"), filterPopUp), filterPopUp);
    effectForm->addRow(caption(QStringLiteral("In&tensity"), filterIntensity),
                       sliderRow(filterIntensity, [](float v) { return QString::number(std::trunc(v)); }));
    alignValues({saturationSlider, brightnessSlider, exposureSlider, contrastSlider, vibranceSlider, temperatureSlider, filterIntensity});
    layout->addWidget(effectBox);

    adjustmentDefaultsButton = smallButton(QStringLiteral("My &Defaults"));
    adjustmentDefaultsButton->setToolTip(QStringLiteral("Set the sliders to your saved defaults"));
    adjustmentZeroButton = smallButton(QStringLiteral("Neutra&l"));
    adjustmentZeroButton->setToolTip(QStringLiteral("Set the sliders to no change"));
    saveAdjustmentDefaultsButton = smallButton(QStringLiteral("&Save as Defaults"));
    saveAdjustmentDefaultsButton->setToolTip(QStringLiteral("Keep these slider positions as your defaults"));
    auto *presetRow = new QHBoxLayout;
    presetRow->addWidget(adjustmentDefaultsButton);
    presetRow->addWidget(adjustmentZeroButton);
    presetRow->addStretch(1);
    presetRow->addWidget(saveAdjustmentDefaultsButton);
    layout->addLayout(presetRow);
    layout->addStretch(1);
    return tab;
}

QToolButton *ShrinkerController::helpButton(const QString &topic, void (Manual::*hint)(QWidget *))
{
    auto *button = new HelpButton(topic);
    const std::function<void(Manual *, QWidget *)> show = hint;
    connect(button, &QToolButton::clicked, manual, [this, button, show] { show(manual, button); });
    return button;
}

void ShrinkerController::buildPreferencesWindow()
{
    prefsWindow = new QDialog(uiWindow);
    prefsWindow->setWindowTitle(QStringLiteral("Preferences"));
    makeDirectoryForBatchCheckBox =
        new QCheckBox(QStringLiteral("Make a folder with a unique name within chosen folder"));
    resetSlidersPopUp = new QComboBox;
    resetSlidersPopUp->addItem(QStringLiteral("Keep the adjustments as they are"), 0);
    resetSlidersPopUp->addItem(QStringLiteral("Reset the adjustments to my defaults"), 1);
    resetSlidersPopUp->addItem(QStringLiteral("Reset the adjustments and the sharpening"), 2);
    retinaDisplayCheckBox = new QCheckBox(QStringLiteral("Preview at twice the size for high-density screens"));
    warnAboutUpscalingCheckBox = new QCheckBox(QStringLiteral("Warn when an output is larger than its picture"));

    auto *form = new QFormLayout;
    form->addRow(QStringLiteral("Saving a batch:"), makeDirectoryForBatchCheckBox);
    form->addRow(caption(QStringLiteral("&When a picture arrives:"), resetSlidersPopUp), resetSlidersPopUp);
    form->addRow(QStringLiteral("Preview:"), retinaDisplayCheckBox);
    form->addRow(QStringLiteral("Saving:"), warnAboutUpscalingCheckBox);
    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Close);
    connect(buttons, &QDialogButtonBox::rejected, prefsWindow, &QDialog::close);
    auto *layout = new QVBoxLayout(prefsWindow);
    layout->addLayout(form);
    layout->addWidget(buttons);

    UserDefaults &defaults = UserDefaults::standard();
    connect(makeDirectoryForBatchCheckBox, &QCheckBox::clicked, this, [&defaults](bool on) {
        defaults.setIntegerForKey(on ? 1 : 0, PrefKey::makeDirectoryForBatch);
    });
    connect(resetSlidersPopUp, &QComboBox::activated, this,
            [this, &defaults] { defaults.setIntegerForKey(selectedTag(resetSlidersPopUp), PrefKey::resetSliders); });
    connect(retinaDisplayCheckBox, &QCheckBox::clicked, this,
            [&defaults](bool on) { defaults.setBoolForKey(on, PrefKey::retinaDisplay); });
    connect(warnAboutUpscalingCheckBox, &QCheckBox::clicked, this,
            [&defaults](bool on) { defaults.setBoolForKey(on, PrefKey::warnAboutUpscaling); });
}

void ShrinkerController::buildScaledUpWarningWindow()
{
    scaledUpWarningWindow = new QDialog(uiWindow);
    scaledUpWarningWindow->setWindowTitle(QStringLiteral("Upscaling"));
    scaledUpWarningWindow->setWindowModality(Qt::WindowModal);
    scaledUpWarningField = new QLabel;
    scaledUpWarningField->setWordWrap(true);
    scaledUpWarningField->setMinimumWidth(380);
    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Ok);
    connect(buttons, &QDialogButtonBox::accepted, scaledUpWarningWindow, &QDialog::accept);
    auto *layout = new QVBoxLayout(scaledUpWarningWindow);
    layout->addWidget(scaledUpWarningField);
    layout->addWidget(buttons);
}

void ShrinkerController::buildMenus()
{
    QMenuBar *bar = uiWindow->menuBar();
    // Commands of the intake and saving code are run by name, as the toolbar does, and
    // stay disabled until the class has them.
    auto command = [this](QMenu *menu, const QString &text, const char *action, const QKeySequence &shortcut) {
        QAction *item = menu->addAction(text);
        item->setShortcut(shortcut);
        item->setEnabled(respondsToAction(action));
        connect(item, &QAction::triggered, this, [this, action] { performAction(action); });
        return item;
    };

    fileMenu = bar->addMenu(QStringLiteral("&File"));
    command(fileMenu, QStringLiteral("&Open…"), "browse", QKeySequence::Open);
    saveMenuItem = command(fileMenu, QStringLiteral("&Save…"), "doit", QKeySequence::Save);
    // A disabled item takes no shortcut; this one answers it with the beep meanwhile.
    saveShortcutWithoutPicture_ = new QShortcut(QKeySequence::Save, uiWindow);
    saveShortcutWithoutPicture_->setEnabled(false);
    connect(saveShortcutWithoutPicture_, &QShortcut::activated, this, [this] { performAction("doit"); });
    command(fileMenu, QStringLiteral("New from &Clipboard"), "fromClip", QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_V));
    QAction *oneTouchItem = fileMenu->addAction(QStringLiteral("Save from Clipboard in One &Touch…"));
    oneTouchItem->setShortcut(QKeySequence(Qt::CTRL | Qt::ALT | Qt::Key_S));
    oneTouchItem->setEnabled(respondsToAction("fromClip") && respondsToAction("doit"));
    connect(oneTouchItem, &QAction::triggered, this, &ShrinkerController::oneTouch);
    fileMenu->addSeparator();
    QAction *quit = fileMenu->addAction(QStringLiteral("&Quit"));
    quit->setShortcut(QKeySequence::Quit);
    quit->setMenuRole(QAction::QuitRole);
    connect(quit, &QAction::triggered, qApp, &QApplication::quit, Qt::QueuedConnection);

    editMenu = bar->addMenu(QStringLiteral("&Edit"));
    QAction *paste = editMenu->addAction(QStringLiteral("&Paste"));
    paste->setShortcut(QKeySequence::Paste);
    paste->setShortcutContext(Qt::WindowShortcut);
    connect(paste, &QAction::triggered, this, [] {
        // The focused widget takes the paste: a size field its text, the image well the picture.
        if (QWidget *focus = QApplication::focusWidget())
            QMetaObject::invokeMethod(focus, "paste");
    });
    editMenu->addSeparator();
    QAction *prefs = editMenu->addAction(QStringLiteral("Pre&ferences…"));
    prefs->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Comma));
    prefs->setMenuRole(QAction::PreferencesRole);
    connect(prefs, &QAction::triggered, this, &ShrinkerController::openPrefs);

    imageMenu = bar->addMenu(QStringLiteral("&Image"));
    constrainMenuItem = imageMenu->addAction(QStringLiteral("&Constrain Proportions"));
    constrainMenuItem->setCheckable(true);
    constrainMenuItem->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_L));
    actualMenuItem = imageMenu->addAction(QStringLiteral("&Actual Size"));
    // Ctrl+0 zooms the preview to fit, as in viewers.
    actualMenuItem->setShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_A));
    imageMenu->addSeparator();
    QAction *adjustments = imageMenu->addAction(QStringLiteral("A&djustments"));
    adjustments->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_2));
    connect(adjustments, &QAction::triggered, this, &ShrinkerController::showAdjustmentsWindow);

    viewMenu = bar->addMenu(QStringLiteral("&View"));
    viewMenu->addAction(zoomToFitItem);
    viewMenu->addAction(zoomToActualSizeItem);
    viewMenu->addSeparator();

    helpMenu = bar->addMenu(QStringLiteral("&Help"));
    QAction *help = helpMenu->addAction(QStringLiteral("Quillpane &Help"));
    help->setShortcut(QKeySequence::HelpContents);
    connect(help, &QAction::triggered, this, &ShrinkerController::visitHelp);
    helpMenu->addSeparator();
    QAction *about = helpMenu->addAction(QStringLiteral("&About Quillpane"));
    about->setMenuRole(QAction::AboutRole);
    connect(about, &QAction::triggered, this, &ShrinkerController::showAbout);
}

void ShrinkerController::connectControls()
{
    UserDefaults &defaults = UserDefaults::standard();

    // The size fields keep their text under their keys, then the dispatcher runs.
    connect(sizeFieldW, &QLineEdit::editingFinished, this, [this, &defaults] {
        defaults.setObjectForKey(sizeFieldW->text(), PrefKey::outputWidth);
        handleControl(sizeFieldW);
    });
    connect(sizeFieldH, &QLineEdit::editingFinished, this, [this, &defaults] {
        defaults.setObjectForKey(sizeFieldH->text(), PrefKey::outputHeight);
        handleControl(sizeFieldH);
    });

    // The dispatcher reads the lock's state from the button, so the menu item sets the
    // button first; the dispatcher then brings everything else in line.
    connect(constrain, &QToolButton::clicked, this, [this] { handleControl(constrain); });
    connect(constrainMenuItem, &QAction::triggered, this, [this](bool on) {
        constrain->setChecked(on);
        handleControl(constrainMenuItem);
    });

    connect(actualButton, &QPushButton::clicked, this, [this] { handleControl(actualButton); });
    connect(fitWithinCheckBox, &QCheckBox::clicked, this, [this, &defaults](bool on) {
        defaults.setBoolForKey(on, PrefKey::fitWithin);
        handleControl(fitWithinCheckBox);
    });
    connect(neverEnlargeCheckBox, &QCheckBox::clicked, this, [this, &defaults](bool on) {
        defaults.setBoolForKey(on, PrefKey::neverEnlarge);
        handleControl(neverEnlargeCheckBox);
    });
    connect(actualMenuItem, &QAction::triggered, this, [this] { handleControl(actualMenuItem); });
    connect(resampleModeButton, &RadioGroup::activated, this, [this] { handleControl(resampleModeButton); });
    connect(fillColourButton, &QComboBox::activated, this, [this, &defaults] {
        defaults.setIntegerForKey(selectedTag(fillColourButton), PrefKey::fillcolour);
        handleControl(fillColourButton);
    });
    connect(fileFormatButton, &QComboBox::activated, this, [this, &defaults] {
        defaults.setIntegerForKey(selectedTag(fileFormatButton), PrefKey::fileFormat);
        handleControl(fileFormatButton);
    });
    connect(filterPopUp, &QComboBox::activated, this, [this] { handleControl(filterPopUp); });
    connect(fileSizeBudgetCheckBox, &QCheckBox::clicked, this, [this, &defaults](bool on) {
        defaults.setBoolForKey(on, PrefKey::keepFilesUnderBudget);
        handleControl(fileSizeBudgetCheckBox);
    });
    connect(fileSizeBudgetField, &QSpinBox::valueChanged, this, [this, &defaults](int kilobytes) {
        defaults.setIntegerForKey(kilobytes, PrefKey::fileSizeBudget);
        handleControl(fileSizeBudgetField);
    });

    connect(qualitySlider, &ValueSlider::valueChosen, this, [this, &defaults] {
        defaults.setFloatForKey(qualitySlider->floatValue(), PrefKey::qualityValue);
        handleControl(qualitySlider);
    });
    connect(sharpenSlider, &ValueSlider::valueChosen, this, [this, &defaults] {
        defaults.setFloatForKey(sharpenSlider->floatValue(), PrefKey::sharpeningValue);
        handleControl(sharpenSlider);
    });
    for (ValueSlider *slider : {qualitySlider, sharpenSlider, saturationSlider, brightnessSlider, exposureSlider,
                                contrastSlider, vibranceSlider, temperatureSlider, filterIntensity}) {
        if (slider != qualitySlider && slider != sharpenSlider)
            connect(slider, &ValueSlider::valueChosen, this, [this, slider] { handleControl(slider); });
        connect(slider, &ValueSlider::valueDragged, this, [this, slider] { sliderDragged(slider); });
    }

    for (QPushButton *button : {adjustmentDefaultsButton, adjustmentZeroButton, nextImage, previousImage})
        connect(button, &QPushButton::clicked, this, [this, button] { handleControl(button); });
    connect(saveAdjustmentDefaultsButton, &QPushButton::clicked, this, &ShrinkerController::makeAdjustmentDefaults);
    connect(cancelBatchButton, &QPushButton::clicked, this, &ShrinkerController::cancelBatch);
}

void ShrinkerController::sliderDragged(ValueSlider *slider)
{
    // Follow the drag only while renders are quick; otherwise the release renders once.
    if (inputImage && lastRenderMilliseconds_ <= dragRenderBudgetMilliseconds)
        handleControl(slider);
}

namespace {

// How a stored value looks in the log: text quoted, numbers as written, others by kind.
QString describeStored(const QVariant &value)
{
    if (value.typeId() == QMetaType::QString)
        return QLatin1Char('"') + value.toString() + QLatin1Char('"');
    const QString number = plistString(value);
    if (!number.isEmpty())
        return number;
    return value.typeId() == QMetaType::QVariantMap ? QStringLiteral("a record") : QStringLiteral("a list");
}

// A stored size that holds no pixel count (an edited file, an emptied field) shows the
// first-run size, so a picture arriving next has an output to show. The store keeps
// what it holds until the person changes the field.
void showStoredPixelCount(QLineEdit *field, const QString &key)
{
    const QVariant stored = UserDefaults::standard().objectForKey(key);
    if (const std::optional<qint32> count = storedPixelCount(stored)) {
        field->setText(QString::number(*count));
        return;
    }
    qpLog(QStringLiteral("The stored %1 %2 is not a number of pixels; the field shows %3")
              .arg(key, describeStored(stored), kFirstRunOutputSize));
    field->setText(kFirstRunOutputSize);
}

// A slider shows a stored position within its own range.
void showStoredPosition(ValueSlider *slider, const QString &key, float firstRun)
{
    const QVariant stored = UserDefaults::standard().objectForKey(key);
    const float value = plistFloat(stored);
    const float shown = std::isnan(value) ? firstRun : std::clamp(value, slider->floatMinimum(), slider->floatMaximum());
    if (shown != value)
        qpLog(QStringLiteral("The stored %1 %2 lies outside %3 to %4; the slider shows %5")
                  .arg(key, describeStored(stored))
                  .arg(double(slider->floatMinimum()))
                  .arg(double(slider->floatMaximum()))
                  .arg(double(shown)));
    slider->setFloatValue(shown);
}

} // namespace

void ShrinkerController::showStoredQuality()
{
    showStoredPosition(qualitySlider, PrefKey::qualityValue, kFirstRunQuality);
}

void ShrinkerController::showStoredValues()
{
    UserDefaults &defaults = UserDefaults::standard();
    // Before the lock: fitting within the box decides what the lock's neighbours show.
    fitWithinCheckBox->setChecked(defaults.boolForKey(PrefKey::fitWithin));
    neverEnlargeCheckBox->setChecked(defaults.boolForKey(PrefKey::neverEnlarge));
    showStoredPixelCount(sizeFieldW, PrefKey::outputWidth);
    showStoredPixelCount(sizeFieldH, PrefKey::outputHeight);
    showStoredQuality();
    showStoredPosition(sharpenSlider, PrefKey::sharpeningValue, kFirstRunSharpening);
    setConstrainState(defaults.boolForKey(PrefKey::constrain));
    showFitWithinState();
    // Every reader takes the output type from the store: a value no output type has
    // would give no output anywhere, so the first-run type replaces it there too.
    const QVariant storedType = defaults.objectForKey(PrefKey::fileFormat);
    if (!selectItemWithTag(fileFormatButton, plistInt(storedType))) {
        selectItemWithTag(fileFormatButton, int(kFirstRunFileFormat));
        defaults.setIntegerForKey(kFirstRunFileFormat, PrefKey::fileFormat);
        qpLog(QStringLiteral("The stored fileFormat %1 is not an output type; using %2")
                  .arg(describeStored(storedType), fileFormatButton->currentText()));
    }
    const qint64 fill = defaults.integerForKey(PrefKey::fillcolour);
    selectItemWithTag(fillColourButton, fill == 1 || fill == 2 ? int(fill) : 0);
    fileSizeBudgetCheckBox->setChecked(defaults.boolForKey(PrefKey::keepFilesUnderBudget));
    const QVariant storedBudget = defaults.objectForKey(PrefKey::fileSizeBudget);
    qint64 kilobytes = defaults.integerForKey(PrefKey::fileSizeBudget);
    if (!FileSizeBudget::isUsable(kilobytes)) {
        qpLog(QStringLiteral("The stored fileSizeBudget %1 is not a number of kB from 1 to %2; the field shows %3")
                  .arg(describeStored(storedBudget))
                  .arg(FileSizeBudget::kMaxKilobytes)
                  .arg(FileSizeBudget::kFirstRunKilobytes));
        kilobytes = FileSizeBudget::kFirstRunKilobytes;
    }
    const QSignalBlocker blocker(fileSizeBudgetField);
    fileSizeBudgetField->setValue(int(kilobytes));
}

void ShrinkerController::showStoredPreferences()
{
    const UserDefaults &defaults = UserDefaults::standard();
    makeDirectoryForBatchCheckBox->setChecked(defaults.boolForKey(PrefKey::makeDirectoryForBatch));
    const qint64 reset = defaults.integerForKey(PrefKey::resetSliders);
    selectItemWithTag(resetSlidersPopUp, int(std::clamp<qint64>(reset, 0, 2)));
    retinaDisplayCheckBox->setChecked(defaults.boolForKey(PrefKey::retinaDisplay));
    warnAboutUpscalingCheckBox->setChecked(defaults.boolForKey(PrefKey::warnAboutUpscaling));
}

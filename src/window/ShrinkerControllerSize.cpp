// The control dispatcher, the picture's proportions, and the output size fields.

#include "ShrinkerController.h"

#include "Controls.h"
#include "Log.h"
#include "ImageEncoders.h"
#include "PlistValue.h"
#include "Preferences.h"
#include "SizeFitting.h"
#include "UserDefaults.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QSpinBox>
#include <QPushButton>
#include <QToolButton>


void ShrinkerController::handleControl(QObject *sender)
{
    if (sender == constrain || sender == constrainMenuItem) {
        const bool on = constrain->isChecked();
        if (on)
            applyAspectRatio(sizeFieldW);
        setConstrainState(on);
    }
    if (sender == sizeFieldW || sender == sizeFieldH)
        applyAspectRatio(sender);
    if (sender == fitWithinCheckBox) {
        showFitWithinState();
        // The fields were a box; with the lock they follow the picture again.
        if (!fitsWithinBox() && constrain->isChecked())
            applyAspectRatio(sizeFieldW);
    }
    if (sender == actualButton || sender == actualMenuItem)
        setActualSize();
    if (sender == adjustmentDefaultsButton)
        setAdjustmentDefaults();
    if (sender == adjustmentZeroButton)
        setAdjustmentZeros();
    if (sender == resampleModeButton) {
        const bool addMode = resampleModeButton->selectedTag() != 0;
        fillColourLabel->setVisible(addMode);
        fillColourButton->setVisible(addMode);
        setNamedImage(resampleModeIconView, addMode ? QStringLiteral("add-icon") : QStringLiteral("crop-icon"));
    }
    if (sender == fileFormatButton || sender == fileSizeBudgetCheckBox)
        showQualityControls();
    if (sender == filterPopUp) {
        const int tag = selectedTag(filterPopUp);
        filterIntensity->setEnabled(!(tag == 0 || tag == 1 || tag == 4));
    }
    if (sender == nextImage || sender == previousImage)
        stepThroughBatch(sender);
    updateOutputImage();
}

void ShrinkerController::showQualityControls()
{
    const bool lossy = outputFileTypeFor(selectedTag(fileFormatButton)).qualityEnabled;
    const bool budget = fileSizeBudgetCheckBox->isChecked();
    qualitySlider->setEnabled(lossy && !budget);
    fileSizeBudgetField->setEnabled(budget);
    // Where no budget sets the quality, the slider shows the person's own again.
    if (!(lossy && budget))
        showStoredQuality();
}

void ShrinkerController::setConstrainState(bool on)
{
    {
        const QSignalBlocker blocker(constrain);
        constrain->setChecked(on);
    }
    {
        const QSignalBlocker blocker(constrainMenuItem);
        constrainMenuItem->setChecked(on);
    }
    setNamedImage(constrain, on ? QStringLiteral("padlock-closed") : QStringLiteral("padlock-open"));
    // Fitting within the box keeps every picture's proportions: the lock has nothing to do.
    constrainIndicator->setVisible(on && !fitsWithinBox());
    cropControls->setVisible(!on && !fitsWithinBox());
    // A stored value that already reads as this state is kept as it is written.
    UserDefaults &defaults = UserDefaults::standard();
    if (!defaults.hasObjectForKey(PrefKey::constrain) || defaults.boolForKey(PrefKey::constrain) != on)
        defaults.setBoolForKey(on, PrefKey::constrain);
}

bool ShrinkerController::fitsWithinBox() const
{
    return fitWithinCheckBox->isChecked();
}

void ShrinkerController::showFitWithinState()
{
    const bool fit = fitsWithinBox();
    neverEnlargeCheckBox->setEnabled(fit);
    fitSizeLabel->setVisible(fit);
    constrain->setEnabled(!fit);
    constrainMenuItem->setEnabled(!fit);
    setConstrainState(constrain->isChecked());
}

QSizeF ShrinkerController::baseOutputSize() const
{
    const QSizeF fields(plistFloat(sizeFieldW->text()), plistFloat(sizeFieldH->text()));
    if (!fitsWithinBox() || !inputImage)
        return fields;
    return SizeFitting::fitWithinBox(SizeFitting::wholePixels(fields), SizeFitting::aspectRatio(inputImage->size()),
                                     SizeFitting::ownPixelSize(inputImage->largestPixelSize(), inputImage->size()),
                                     neverEnlargeCheckBox->isChecked());
}

void ShrinkerController::calculateRatio()
{
    const QSizeF size = inputImage ? inputImage->size() : QSizeF(0, 0);
    const double w = size.width();
    const double h = size.height();
    if (w == 0.0 || h == 0.0) {
        qpLog(QStringLiteral("cannot calculate the aspect ratio - one dimension is zero"));
        return;
    }
    aspectRatio = SizeFitting::aspectRatio(size);
}

void ShrinkerController::applyAspectRatio(QObject *sender)
{
    if (!constrain->isChecked() || fitsWithinBox()) // fitting, the fields are the box
        return;
    if (aspectRatio == 0.0f)
        return;
    // The fields drop thousands separators as text arrives (PixelCountValidator), so
    // there is nothing left to clean here.
    if (sender == this || sender == sizeFieldW)
        sizeFieldH->setText(QString::number(SizeFitting::heightForWidth(plistFloat(sizeFieldW->text()), aspectRatio)));
    if (sender == sizeFieldH)
        sizeFieldW->setText(QString::number(SizeFitting::widthForHeight(plistFloat(sizeFieldH->text()), aspectRatio)));
    UserDefaults &defaults = UserDefaults::standard();
    defaults.setObjectForKey(sizeFieldW->text(), PrefKey::outputWidth);
    defaults.setObjectForKey(sizeFieldH->text(), PrefKey::outputHeight);
}

void ShrinkerController::setActualSize()
{
    const QSize own = inputImage ? SizeFitting::ownPixelSize(inputImage->largestPixelSize(), inputImage->size()) : QSize(0, 0);
    if (own.width() < 1 || own.height() < 1) {
        qpLog(QStringLiteral("returning from setActualSize: - one dimension is zero"));
        return;
    }
    sizeFieldW->setText(QString::number(own.width()));
    sizeFieldH->setText(QString::number(own.height()));
    // The fields keep what they show, as after any other change of the size.
    UserDefaults &defaults = UserDefaults::standard();
    defaults.setObjectForKey(sizeFieldW->text(), PrefKey::outputWidth);
    defaults.setObjectForKey(sizeFieldH->text(), PrefKey::outputHeight);
    setConstrainState(true);
}

void ShrinkerController::stepThroughBatch(QObject *sender)
{
    if (!inputFileArray || inputFileArray->size() < 2)
        return;
    const qsizetype count = inputFileArray->size();
    if (sender == nextImage) {
        if (cursor + 1 >= count)
            return;
        ++cursor;
        if (cursor == count - 1)
            nextImage->setEnabled(false);
        previousImage->setEnabled(true);
    } else if (sender == previousImage) {
        if (cursor <= 0)
            return;
        --cursor;
        if (cursor == 0)
            previousImage->setEnabled(false);
        nextImage->setEnabled(true);
    } else {
        return;
    }
    std::shared_ptr<const Picture> picture = Picture::readFile(inputFileArray->at(cursor));
    if (!picture)
        return; // an unreadable entry moves only the position and the buttons
    inputImage = std::move(picture);
    calculateRatio();
    applyAspectRatio(this);
    inputFileCount->setText(cursor != 0 ? QStringLiteral("showing image %1 of %2 images").arg(cursor + 1).arg(count)
                                        : QStringLiteral("showing the first of %1 images").arg(count));
    nextImage->show();
    previousImage->show();
}

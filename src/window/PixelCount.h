#pragma once
// The output size is a whole number of pixels, written with digits only. One rule for
// every road text takes into the size fields (typing, pasting, the stored preferences)
// and for every reader of a stored size, so "1,234" means 1234 everywhere; "12.5"
// typed or pasted is refused rather than taken for 12.

#include <QString>
#include <QValidator>
#include <QVariant>

#include <optional>

// Thousands separators and white space carry no meaning in a pixel count and are
// dropped: "1,234" and " 640 " (pasted with its line end) are 1234 and 640.
bool isIgnoredInPixelCount(QChar c);

// The text without what isIgnoredInPixelCount drops, when only ASCII digits remain
// (none at all included); nothing when anything else is there: a decimal point, a sign,
// a letter.
std::optional<QString> pixelCountDigits(const QString &text);

// The size fields' validator: drops separators as they arrive, refuses anything else,
// and at most ten digits (a count beyond 32 bits is held at its end by the readers).
class PixelCountValidator : public QValidator {
public:
    using QValidator::QValidator;
    State validate(QString &input, int &pos) const override;
};

// The pixel count stored under "outputWidth" or "outputHeight", read as the field reads
// its text (separators dropped, then the number written at the start of the text; a
// stored number read as one), held within 32 bits. Nothing when it holds no count of at
// least one pixel: "abc", "", "0", "-5", a list.
std::optional<qint32> storedPixelCount(const QVariant &stored);

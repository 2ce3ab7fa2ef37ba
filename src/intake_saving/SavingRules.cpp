#include "SavingRules.h"

#include "ImageEncoders.h"
#include "PlistValue.h"
#include "SizeFitting.h"

#include <QDir>
#include <QFileInfo>

namespace SavingRules {

QString formatModifier(const QVariantMap &format)
{
    const auto it = format.constFind(QStringLiteral("modifier"));
    return plistString(it != format.constEnd() ? it.value() : format.value(QStringLiteral("name")));
}

QString additionalFormatPath(const QString &basePath, const QString &modifier, QString *refusal)
{
    const int slash = int(basePath.lastIndexOf(QLatin1Char('/')));
    const int dot = int(basePath.lastIndexOf(QLatin1Char('.')));
    QString path;
    if (dot > slash + 1)
        path = basePath.left(dot) + modifier + QLatin1Char('.') + basePath.mid(dot + 1);
    else
        path = basePath + modifier;
    // The modifier only ever names a sibling of the base output: no separators, no climbing.
    const bool leavesFolder = modifier.contains(QLatin1Char('/')) || modifier.contains(QChar(0))
        || QFileInfo(path).absolutePath() != QFileInfo(basePath).absolutePath();
    QString why;
    if (leavesFolder)
        why = QStringLiteral("skipping format with modifier %1: it would write outside the folder of %2").arg(modifier, basePath);
    else if (path == basePath)
        why = QStringLiteral("skipping format with modifier %1: it would replace the base output %2").arg(modifier, basePath);
    if (why.isEmpty())
        return path;
    if (refusal)
        *refusal = why;
    return QString();
}

QString withOutputExtension(const QString &path, qint64 fileFormat)
{
    return withExtension(path, outputFileTypeFor(fileFormat).savePanelTypes);
}

QString withExtension(const QString &path, const QStringList &accepted)
{
    if (accepted.isEmpty())
        return path;
    // The types a person may take a picture name's ending for.
    static const QStringList pictureTypes = {"jpg", "jpeg", "jpe", "jfif", "png", "gif", "tif", "tiff", "bmp", "webp", "heic",
                                             "heif", "avif", "jxl", "jp2", "psd", "svg", "ico", "pdf", "ai", "eps"};
    const qsizetype slash = path.lastIndexOf(QLatin1Char('/'));
    const qsizetype dot = path.lastIndexOf(QLatin1Char('.'));
    const bool hasExtension = dot > slash + 1; // a leading dot starts a hidden name
    const QString extension = hasExtension ? path.mid(dot + 1) : QString();
    if (hasExtension && accepted.contains(extension, Qt::CaseInsensitive))
        return path;
    QString stem = path;
    if (hasExtension && (extension.isEmpty() || pictureTypes.contains(extension, Qt::CaseInsensitive)))
        stem = path.left(dot);
    return stem + QLatin1Char('.') + accepted.first();
}

QString batchOutputName(const QString &picturePath, qint64 fileFormat)
{
    const QString name = QFileInfo(picturePath).fileName();
    const int dot = int(name.lastIndexOf(QLatin1Char('.')));
    const QString stem = dot > 0 ? name.left(dot) : name;
    const QString extension = outputFileTypeFor(fileFormat).batchExtension;
    return extension.isEmpty() ? stem : stem + QLatin1Char('.') + extension;
}

QSizeF batchOutputSize(const BaseSizeRule &rule, QSizeF points, QSize largestPixels)
{
    const float ratio = SizeFitting::aspectRatio(points);
    if (rule.fitWithin)
        return SizeFitting::fitWithinBox(SizeFitting::wholePixels(rule.fields), ratio, SizeFitting::ownPixelSize(largestPixels, points),
                                         rule.neverEnlarge);
    if (!rule.proportionLock || ratio == 0.0f)
        return rule.fields;
    return QSizeF(rule.fields.width(), SizeFitting::heightForWidth(float(rule.fields.width()), ratio));
}

QVariantMap prepareFormatSettings(const QVariantMap &format, const QVariantMap &baseSettings, QSizeF baseOutputSize,
                                  QSizeF pictureNominalSize)
{
    QVariantMap prepared = format;
    const qint64 scalemode = recordInteger(format, QStringLiteral("scalemode"));
    QSizeF reference;
    bool replace = false;
    if (scalemode == 1) {
        reference = recordInteger(format, QStringLiteral("relativeto")) == 1 ? baseOutputSize : pictureNominalSize;
        replace = true;
    } else if (scalemode == 2) {
        reference = baseOutputSize;
        replace = true;
    }
    if (replace) {
        prepared[QStringLiteral("xabs")] = float(reference.width());
        prepared[QStringLiteral("yabs")] = float(reference.height());
    }
    if (recordInteger(format, QStringLiteral("resamplemode")) == 3)
        prepared[QStringLiteral("resamplemode")] = recordInteger(baseSettings, QStringLiteral("resamplemode"));
    for (const char *key : {"quality", "sharpen", "saturation", "brightness", "exposure", "contrast", "vibrance", "temperature", "filter",
                            "filterintensity"})
        prepared[QString::fromLatin1(key)] = baseSettings.value(QString::fromLatin1(key));
    return prepared;
}

QSizeF formatOutputSize(const QVariantMap &prepared)
{
    const float xabs = recordFloat(prepared, QStringLiteral("xabs"));
    const float yabs = recordFloat(prepared, QStringLiteral("yabs"));
    switch (recordInteger(prepared, QStringLiteral("scalemode"))) {
    case 0:
        return QSizeF(xabs, yabs);
    case 1:
        return QSizeF(double(xabs * recordFloat(prepared, QStringLiteral("xratio"))), double(yabs * recordFloat(prepared, QStringLiteral("yratio"))));
    case 2: {
        if (!(yabs > 0.0f))
            return QSizeF(0, 0);
        const float r = xabs / yabs;
        const float m = recordFloat(prepared, QStringLiteral("maxeither"));
        return r > 1.0f ? QSizeF(double(m), double(m / r)) : QSizeF(double(m * r), double(m));
    }
    default:
        return QSizeF(0, 0);
    }
}

bool isUpscaled(QSizeF outputSize, QSize largestPixelSize)
{
    return float(outputSize.width()) > float(largestPixelSize.width()) || float(outputSize.height()) > float(largestPixelSize.height());
}

} // namespace SavingRules

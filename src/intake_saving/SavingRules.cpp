#include "SavingRules.h"

#include "Log.h"
#include "OutputFileType.h"
#include "PlistValue.h"

#include <QDir>
#include <QFileInfo>

namespace SavingRules {

QString formatModifier(const QVariantMap &format)
{
    const auto it = format.constFind(QStringLiteral("modifier"));
    return plistString(it != format.constEnd() ? it.value() : format.value(QStringLiteral("name")));
}

QString additionalFormatPath(const QString &basePath, const QString &modifier)
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
    if (leavesFolder) {
        qpLog(QStringLiteral("skipping format with modifier %1: it would write outside the folder of %2").arg(modifier, basePath));
        return QString();
    }
    if (path == basePath) {
        qpLog(QStringLiteral("skipping format with modifier %1: it would replace the base output %2").arg(modifier, basePath));
        return QString();
    }
    return path;
}

QString batchOutputName(const QString &picturePath, qint64 fileFormat)
{
    const QString name = QFileInfo(picturePath).fileName();
    const int dot = int(name.lastIndexOf(QLatin1Char('.')));
    const QString stem = dot > 0 ? name.left(dot) : name;
    const QString extension = outputFileTypeFor(fileFormat).batchExtension;
    return extension.isEmpty() ? stem : stem + QLatin1Char('.') + extension;
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

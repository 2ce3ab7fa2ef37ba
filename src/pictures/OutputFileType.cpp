#include "OutputFileType.h"

#include "AppPaths.h"

OutputFileType outputFileTypeFor(qint64 fileFormat)
{
    switch (fileFormat) {
    case 0:
        return {ImageEncoding::JPEG, AppPaths::tempImageJpg, QStringLiteral("jpg"),
                {QStringLiteral("jpg"), QStringLiteral("jpeg")}, true};
    case 1:
        return {ImageEncoding::PNG, AppPaths::tempImagePng, QStringLiteral("png"), {QStringLiteral("png")}, false};
    case 2:
        return {ImageEncoding::TIFF, AppPaths::tempImageTiff, QStringLiteral("tiff"),
                {QStringLiteral("tiff"), QStringLiteral("tif")}, false};
    default:
        return {ImageEncoding::None, AppPaths::tempImageJpg, QString(), {}, false};
    }
}

QString tempPreviewPath(qint64 fileFormat)
{
    return AppPaths::supportFolder() + QLatin1Char('/') + outputFileTypeFor(fileFormat).tempFileName;
}

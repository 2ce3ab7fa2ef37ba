#include "OutputFileType.h"

#include "AppPaths.h"

OutputFileType outputFileTypeFor(qint64 fileFormat)
{
    switch (fileFormat) {
    case 0:
        return {ImageEncoding::JPEG, QStringLiteral("JPEG"), QStringLiteral("jpeg"), AppPaths::tempImageJpg, QStringLiteral("jpg"),
                {QStringLiteral("jpg"), QStringLiteral("jpeg")}, true};
    case 1:
        return {ImageEncoding::PNG, QStringLiteral("PNG"), QStringLiteral("png"), AppPaths::tempImagePng, QStringLiteral("png"), {QStringLiteral("png")}, false};
    case 2:
        return {ImageEncoding::TIFF, QStringLiteral("TIFF"), QStringLiteral("tiff"), AppPaths::tempImageTiff, QStringLiteral("tiff"),
                {QStringLiteral("tiff"), QStringLiteral("tif")}, false};
    case 3:
        return {ImageEncoding::WebP, QStringLiteral("WebP"), QStringLiteral("webp"), AppPaths::tempImageWebp, QStringLiteral("webp"), {QStringLiteral("webp")}, true};
    case 4:
        return {ImageEncoding::AVIF, QStringLiteral("AVIF"), QStringLiteral("avif"), AppPaths::tempImageAvif, QStringLiteral("avif"), {QStringLiteral("avif")}, true};
    default:
        return {ImageEncoding::None, QString(), QString(), AppPaths::tempImageJpg, QString(), {}, false};
    }
}

QList<qint64> outputFileTypeValues()
{
    return {0, 1, 2, 3, 4};
}

QString tempPreviewPath(qint64 fileFormat)
{
    return AppPaths::supportFolder() + QLatin1Char('/') + outputFileTypeFor(fileFormat).tempFileName;
}

#pragma once
// The application's support folder (where the temp preview files live) and their names.

#include <QString>
#include <QStringList>

namespace AppPaths {
// The application-data folder, ~/.local/share/Quillpane on Linux.
QString supportFolder();

inline const QString tempImageJpg = QStringLiteral("tempImage.jpg");
inline const QString tempImagePng = QStringLiteral("tempImage.png");
inline const QString tempImageTiff = QStringLiteral("tempImage.tiff");
inline const QString tempImageWebp = QStringLiteral("tempImage.webp");
inline const QString tempImageAvif = QStringLiteral("tempImage.avif");
// In the order start-up removes them.
inline QStringList tempPreviewFileNames() { return {tempImageJpg, tempImagePng, tempImageTiff, tempImageWebp, tempImageAvif}; }
} // namespace AppPaths

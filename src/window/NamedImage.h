#pragma once
// The program's named images (":/images/<name>.svg"), drawn in one colour and tinted with
// the palette's text colour when loaded, so they follow a light or a dark desktop theme.

#include <QIcon>
#include <QPalette>
#include <QPixmap>
#include <QString>

namespace NamedImage {
// Whether the resources hold an image of that name.
bool exists(const QString &name);
// The image as an icon tinted for the palette; a null icon when there is no such image.
QIcon icon(const QString &name, const QPalette &palette);
// The image drawn at a size in device-independent pixels for a screen of the given ratio.
QPixmap pixmap(const QString &name, QSize size, qreal devicePixelRatio, const QPalette &palette,
               QPalette::ColorRole role = QPalette::WindowText);
} // namespace NamedImage

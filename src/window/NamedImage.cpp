#include "NamedImage.h"

#include <QFile>
#include <QImage>
#include <QPainter>
#include <QSvgRenderer>

#include <mutex>

// The icons live in a static library, whose resource initialiser nothing else references.
static void initIconResources()
{
    Q_INIT_RESOURCE(icons);
}

namespace {

QString resourcePath(const QString &name)
{
    return QStringLiteral(":/images/%1.svg").arg(name);
}

QByteArray tintedSvg(const QString &name, const QColor &colour)
{
    if (!NamedImage::exists(name))
        return {};
    QFile file(resourcePath(name));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    QByteArray svg = file.readAll();
    svg.replace("currentColor", colour.name(QColor::HexRgb).toLatin1());
    return svg;
}

} // namespace

namespace NamedImage {

bool exists(const QString &name)
{
    static std::once_flag once;
    std::call_once(once, initIconResources);
    return QFile::exists(resourcePath(name));
}

QPixmap pixmap(const QString &name, QSize size, qreal devicePixelRatio, const QPalette &palette,
               QPalette::ColorRole role)
{
    const QByteArray svg = tintedSvg(name, palette.color(QPalette::Active, role));
    if (svg.isEmpty() || size.isEmpty())
        return {};
    QSvgRenderer renderer(svg);
    QImage image(size * devicePixelRatio, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    renderer.render(&painter);
    painter.end();
    QPixmap result = QPixmap::fromImage(std::move(image));
    result.setDevicePixelRatio(devicePixelRatio);
    return result;
}

QIcon icon(const QString &name, const QPalette &palette)
{
    if (!exists(name))
        return {};
    QIcon result;
    for (int side : {16, 24, 32, 48, 64})
        result.addPixmap(pixmap(name, QSize(side, side), 1.0, palette));
    return result;
}

} // namespace NamedImage

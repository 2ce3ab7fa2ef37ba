#include "QP_ImageView.h"

#include "NotificationCenter.h"

#include <QClipboard>
#include <QContextMenuEvent>
#include <QDropEvent>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QMenu>
#include <QMimeData>
#include <QPainter>
#include <QUrl>

QP_ImageView::QP_ImageView(QWidget *parent)
    : QFrame(parent)
{
    setAcceptDrops(true);
    // Paste reaches the well only while it has the focus, so it must be able to take it.
    setFocusPolicy(Qt::StrongFocus);
    setFrameShape(QFrame::StyledPanel);
    setFrameShadow(QFrame::Sunken);
    // The picture's size is no size request: a large one is shown centred and clipped,
    // never pushing the window wider (the explicit minimum replaces the picture's).
    setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Ignored);
    setMinimumSize(64, 64);
}

void QP_ImageView::setImage(const QPixmap &image)
{
    image_ = image;
    scaled_ = QPixmap();
    takeZoomSize();
    update();
    emit shownChanged();
}

QPixmap QP_ImageView::image() const
{
    return image_;
}

void QP_ImageView::setZoom(Zoom zoom)
{
    if (zoom == zoom_)
        return;
    zoom_ = zoom;
    scaled_ = QPixmap();
    takeZoomSize();
    update();
    emit shownChanged();
}

void QP_ImageView::takeZoomSize()
{
    // At its own size the well asks for the whole picture, so a scrolling frame around it
    // can show every part of it.
    const QMargins frame = contentsMargins();
    const QSize own = image_.deviceIndependentSize().toSize().grownBy(frame);
    setMinimumSize(zoom_ == Zoom::ActualSize ? own.expandedTo(QSize(64, 64)) : QSize(64, 64));
}

QRectF QP_ImageView::imageRect() const
{
    const QRectF area = contentsRect();
    QSizeF size = image_.deviceIndependentSize();
    if (size.isEmpty())
        return QRectF(area.center(), QSizeF(0, 0));
    if (zoom_ == Zoom::Fit && (size.width() > area.width() || size.height() > area.height()))
        size = size.scaled(area.size(), Qt::KeepAspectRatio);
    QRectF rect(QPointF(0, 0), size);
    rect.moveCenter(area.center());
    return rect;
}

double QP_ImageView::shownScale() const
{
    const QSizeF own = image_.deviceIndependentSize();
    return own.width() > 0.0 ? imageRect().width() / own.width() : 1.0;
}

void QP_ImageView::paintEvent(QPaintEvent *event)
{
    QFrame::paintEvent(event);
    if (image_.isNull())
        return;
    const QRectF target = imageRect();
    QPainter painter(this);
    if (target.size() == image_.deviceIndependentSize()) {
        painter.drawPixmap(target.topLeft(), image_);
        return;
    }
    // Shrunk once per size with area averaging, which keeps fine detail better than
    // the painter's bilinear filtering.
    const qreal ratio = devicePixelRatioF();
    const QSize pixels = (target.size() * ratio).toSize();
    if (scaled_.size() != pixels) {
        scaled_ = image_.scaled(pixels, Qt::KeepAspectRatio, Qt::SmoothTransformation);
        scaled_.setDevicePixelRatio(ratio);
    }
    painter.drawPixmap(target.topLeft(), scaled_);
}

void QP_ImageView::resizeEvent(QResizeEvent *event)
{
    QFrame::resizeEvent(event);
    emit shownChanged();
}

QStringList QP_ImageView::fileNamesOfDrag(const QMimeData *mimeData)
{
    QStringList paths;
    if (!mimeData || !mimeData->hasUrls())
        return paths;
    for (const QUrl &url : mimeData->urls())
        if (url.isLocalFile() && !url.toLocalFile().isEmpty())
            paths << url.toLocalFile();
    return paths;
}

void QP_ImageView::paste()
{
    NotificationCenter::defaultCenter().postNotificationName(Notification::imagePasted);
}

bool QP_ImageView::event(QEvent *event)
{
    // Claim Ctrl+V before a window-wide Paste shortcut can, so the well sees it while focused.
    if (event->type() == QEvent::ShortcutOverride
        && static_cast<QKeyEvent *>(event)->matches(QKeySequence::Paste)) {
        event->accept();
        return true;
    }
    return QFrame::event(event);
}

void QP_ImageView::keyPressEvent(QKeyEvent *event)
{
    if (event->matches(QKeySequence::Paste)) {
        paste();
        event->accept();
        return;
    }
    QFrame::keyPressEvent(event);
}

void QP_ImageView::contextMenuEvent(QContextMenuEvent *event)
{
    setFocus(Qt::PopupFocusReason);
    QMenu menu(this);
    QAction *pasteAction = menu.addAction(tr("Paste"), this, &QP_ImageView::paste);
    pasteAction->setShortcut(QKeySequence::Paste);
    const QMimeData *clipboard = QGuiApplication::clipboard()->mimeData();
    pasteAction->setEnabled(clipboard && (clipboard->hasImage() || clipboard->hasUrls()));
    menu.exec(event->globalPos());
}

void QP_ImageView::dragEnterEvent(QDragEnterEvent *event)
{
    if (fileNamesOfDrag(event->mimeData()).isEmpty()) {
        event->ignore();
        return;
    }
    event->acceptProposedAction();
}

void QP_ImageView::dragMoveEvent(QDragMoveEvent *event)
{
    if (fileNamesOfDrag(event->mimeData()).isEmpty())
        event->ignore();
    else
        event->acceptProposedAction();
}

void QP_ImageView::dropEvent(QDropEvent *event)
{
    const QStringList paths = fileNamesOfDrag(event->mimeData());
    if (paths.isEmpty()) {
        event->ignore();
        return;
    }
    event->acceptProposedAction();
    NotificationCenter::defaultCenter().postNotificationName(
        Notification::imageDropped, QVariantMap{{Notification::imageFileNames, paths}});
}

#include "QP_ImageView.h"

#include "NotificationCenter.h"

#include <QClipboard>
#include <QContextMenuEvent>
#include <QDropEvent>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QMenu>
#include <QMimeData>
#include <QUrl>

QP_ImageView::QP_ImageView(QWidget *parent)
    : QLabel(parent)
{
    setAlignment(Qt::AlignCenter);
    setScaledContents(false);
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
    setPixmap(image);
}

QPixmap QP_ImageView::image() const
{
    return pixmap();
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
    return QLabel::event(event);
}

void QP_ImageView::keyPressEvent(QKeyEvent *event)
{
    if (event->matches(QKeySequence::Paste)) {
        paste();
        event->accept();
        return;
    }
    QLabel::keyPressEvent(event);
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

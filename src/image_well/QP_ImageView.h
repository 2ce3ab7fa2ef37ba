#pragma once
// The image well: shows a picture (unscaled, centred) and turns two gestures into
// notifications on NotificationCenter::defaultCenter(), so it needs to know nothing of
// who takes the pictures in:
// - dropping files posts Notification::imageDropped with the local paths, in drag order,
//   under Notification::imageFileNames;
// - paste while the well has the focus (Ctrl+V, or Paste in its context menu) posts
//   Notification::imagePasted and leaves the well's picture alone.

#include <QLabel>
#include <QPixmap>

class QMimeData;

class QP_ImageView : public QLabel {
    Q_OBJECT
public:
    explicit QP_ImageView(QWidget *parent = nullptr);

    // The picture shown, at its own size (a device pixel ratio of 2 shows it at half
    // its pixel size in screen points).
    void setImage(const QPixmap &image);
    QPixmap image() const;

    // Local file paths of a drag, in its order; empty when it carries no files.
    static QStringList fileNamesOfDrag(const QMimeData *mimeData);

public slots:
    void paste();

protected:
    bool event(QEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void contextMenuEvent(QContextMenuEvent *event) override;
    void dragEnterEvent(QDragEnterEvent *event) override;
    void dragMoveEvent(QDragMoveEvent *event) override;
    void dropEvent(QDropEvent *event) override;
};

#pragma once
// The image well: shows a picture, centred, at its own size or shrunk to fit the well, and
// turns two gestures into notifications on NotificationCenter::defaultCenter(), so it
// needs to know nothing of who takes the pictures in:
// - dropping files posts Notification::imageDropped with the local paths, in drag order,
//   under Notification::imageFileNames;
// - paste while the well has the focus (Ctrl+V, or Paste in its context menu) posts
//   Notification::imagePasted and leaves the well's picture alone.

#include <QFrame>
#include <QPixmap>

class QMimeData;

class QP_ImageView : public QFrame {
    Q_OBJECT
public:
    // Fit: a picture larger than the well is shown shrunk to fit it (never enlarged).
    // ActualSize: the picture is shown at its own size, and the well asks to be as large.
    enum class Zoom { Fit, ActualSize };

    explicit QP_ImageView(QWidget *parent = nullptr);

    // The picture; its own size is its size in points (a device pixel ratio of 2 makes
    // it half its pixel size).
    void setImage(const QPixmap &image);
    QPixmap image() const;

    void setZoom(Zoom zoom);
    Zoom zoom() const { return zoom_; }
    // Where the picture is drawn, in the well's coordinates, and its scale against its own
    // size (1 at its own size, 1 without a picture).
    QRectF imageRect() const;
    double shownScale() const;

    // Local file paths of a drag, in its order; empty when it carries no files.
    static QStringList fileNamesOfDrag(const QMimeData *mimeData);

public slots:
    void paste();

signals:
    // The picture, the zoom or the well's size changed what is shown.
    void shownChanged();

protected:
    bool event(QEvent *event) override;
    void paintEvent(QPaintEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void contextMenuEvent(QContextMenuEvent *event) override;
    void dragEnterEvent(QDragEnterEvent *event) override;
    void dragMoveEvent(QDragMoveEvent *event) override;
    void dropEvent(QDropEvent *event) override;

private:
    void takeZoomSize();

    QPixmap image_;
    Zoom zoom_ = Zoom::Fit;
    QPixmap scaled_; // image_ shrunk for the latest imageRect, made once per size
};

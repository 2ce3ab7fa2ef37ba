#pragma once
// The image well in a scrolling frame. Fitted, the well is the frame's size and shrinks a
// larger picture into it; at its own size, the well grows to the picture and the frame
// scrolls, starting at the picture's middle.

#include "QP_ImageView.h"

#include <QScrollArea>

class ImageWellArea : public QScrollArea {
    Q_OBJECT
public:
    explicit ImageWellArea(QP_ImageView *well, QWidget *parent = nullptr);

    QP_ImageView *well() const { return well_; }
    void setZoom(QP_ImageView::Zoom zoom);

private:
    void followWell();

    QP_ImageView *well_;
    QSize wellMinimum_;
};

#pragma once
// A picture drawn unscaled on a canvas filled with one colour, kept virtual: the renderer
// reads the fill and the picture's own pixels directly, so no canvas-sized bitmap is made
// unless someone asks this representation for its pixels.

#include "Picture.h"

#include <QColor>
#include <QPoint>
#include <QSize>

class CanvasImageRep : public ImageRep {
public:
    // offset: the picture's lower-left corner on the canvas (origin at the lower left).
    CanvasImageRep(std::shared_ptr<const Picture> picture, QSize canvasSize, QPoint offset, QColor fill);

    int pixelsWide() const override { return canvas_.width(); }
    int pixelsHigh() const override { return canvas_.height(); }
    QSizeF size() const override { return QSizeF(canvas_); }
    // The composited canvas as an 8-bit RGB bitmap (made on each call).
    std::shared_ptr<const PixelBuffer> pixels() const override;

    const std::shared_ptr<const Picture> &picture() const { return picture_; }
    QSize canvasSize() const { return canvas_; }
    QPoint offset() const { return offset_; }
    QColor fill() const { return fill_; }

private:
    std::shared_ptr<const Picture> picture_;
    QSize canvas_;
    QPoint offset_;
    QColor fill_;
};

#include "ImageWellArea.h"

#include <QScrollBar>

ImageWellArea::ImageWellArea(QP_ImageView *well, QWidget *parent)
    : QScrollArea(parent)
    , well_(well)
{
    // The frame is the area's: the well's own would scroll away with the picture.
    setFrameShape(QFrame::StyledPanel);
    setFrameShadow(QFrame::Sunken);
    well_->setFrameShape(QFrame::NoFrame);
    setAlignment(Qt::AlignCenter);
    setWidgetResizable(true);
    setWidget(well_);
    connect(well_, &QP_ImageView::shownChanged, this, &ImageWellArea::followWell);
}

void ImageWellArea::setZoom(QP_ImageView::Zoom zoom)
{
    if (zoom == well_->zoom())
        return;
    well_->setZoom(zoom);
    horizontalScrollBar()->setValue(horizontalScrollBar()->maximum() / 2);
    verticalScrollBar()->setValue(verticalScrollBar()->maximum() / 2);
}

void ImageWellArea::followWell()
{
    if (well_->minimumSize() == wellMinimum_)
        return;
    wellMinimum_ = well_->minimumSize();
    // A well that may now be smaller than it is stays as large until the area sizes it
    // again; setting the (unchanged) mode has it do so at once.
    setWidgetResizable(true);
}

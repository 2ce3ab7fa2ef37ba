#pragma once
// The size a PDF page shows at, in points: its crop box, sides swapped when the page
// is turned a quarter. The program and its drawing helper must agree on it.

#include <poppler-page.h>

#include <utility>

inline std::pair<double, double> pdfPageSize(const poppler::page &page)
{
    const poppler::rectf box = page.page_rect(poppler::crop_box);
    const auto orientation = page.orientation();
    if (orientation == poppler::page::landscape || orientation == poppler::page::seascape)
        return {box.height(), box.width()};
    return {box.width(), box.height()};
}

// Sizes poppler can draw at and we can scale to; anything else is no page.
inline bool pdfPageSizeUsable(std::pair<double, double> size)
{
    return size.first >= 1.0 && size.second >= 1.0 && size.first < 1e6 && size.second < 1e6;
}

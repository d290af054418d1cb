#include "app/PolarFrame.h"

#include "phasor/PolarDiagram.h"
#include "phasor/PolarLayout.h"

#include <algorithm>

namespace veltro::app {

PolarFrame::PolarFrame(QWidget* parent) : QWidget(parent)
{
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
}

void PolarFrame::SetPanel(QWidget* panel, const phasor::TPolarDiagram* diagram)
{
    panel_ = panel;
    diagram_ = diagram;
    if (panel_->parentWidget() != this)
        panel_->setParent(this);
    widths_.clear();
    updateGeometry();
    PlacePanel();
}

void PolarFrame::SetPreferredSide(int side)
{
    preferredSide_ = side;
    updateGeometry();
}

int PolarFrame::ContentWidth(int side) const
{
    if (!diagram_)
        return side;
    auto [it, added] = widths_.try_emplace(side, 0);
    if (added)
        it->second = diagram_->ContentWidthFor(side);
    return it->second;
}

QSize PolarFrame::minimumSizeHint() const
{
    const int side = phasor::SmallestSideWithTexts();
    return {ContentWidth(side), side};
}

QSize PolarFrame::sizeHint() const
{
    const int side = std::max(preferredSide_, phasor::SmallestSideWithTexts());
    return {ContentWidth(side), side};
}

void PolarFrame::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    // No taller than the diagram can use at this width: the page gives the rest of its
    // height to the log. The limit depends on the width alone, so the layout settles.
    const int smallest = phasor::SmallestSideWithTexts();
    setMaximumHeight(std::max(smallest, phasor::FittingSide(width(), width(), smallest,
                                                            [this](int s) { return ContentWidth(s); })));
    PlacePanel();
}

void PolarFrame::PlacePanel()
{
    if (!panel_)
        return;
    panel_->setGeometry(0, 0, width(),
                        phasor::FittingSide(width(), height(), phasor::SmallestSideWithTexts(),
                                            [this](int s) { return ContentWidth(s); }));
}

}  // namespace veltro::app

#pragma once
// The room of the phasor diagram on the monitoring page. The diagram draws its square on
// the left of its panel and its value table and power factor to the right of it, so a
// panel that grows taller needs to grow wider too. The frame gives the panel its full
// width and as much height as that width can serve, and grows no taller than that. It
// never makes the panel smaller than the size at which the diagram shows its texts
// (R > 100).

#include <QWidget>

#include <map>

namespace veltro::phasor {
class TPolarDiagram;
}

namespace veltro::app {

class PolarFrame : public QWidget {
public:
    explicit PolarFrame(QWidget* parent = nullptr);

    // The panel and the diagram in it; the panel becomes a child of the frame.
    void SetPanel(QWidget* panel, const phasor::TPolarDiagram* diagram);
    // The side the page would like the diagram to have when there is room (the height of
    // what stands beside it).
    void SetPreferredSide(int side);

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    int ContentWidth(int side) const;
    void PlacePanel();

    QWidget* panel_ = nullptr;
    const phasor::TPolarDiagram* diagram_ = nullptr;
    int preferredSide_ = 0;
    mutable std::map<int, int> widths_;  // content width by side: fonts do not change it
};

}  // namespace veltro::app

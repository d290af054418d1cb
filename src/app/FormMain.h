#pragma once
// The main window: three pages in one window. The window owns what the pages share —
// the page guard while polling runs and the close rule — and leaves each page's
// controls and handlers to the page. Its size follows from the pages' layouts, so every
// text fits at the font the desktop gives; it opens at least as large as the pages were
// first drawn (674 × 604) and may be made larger, the extra room going to the phasor
// diagram and the logs. Around the pages: the menu bar, the settings kept between runs
// (put back at start, saved on close), a job record after every configuration run, and
// the port labels following the adapters plugged in and pulled out.

#include <QWidget>

class QTimer;

namespace veltro::platform {
class PortWatcher;
}

namespace veltro::app {

class PageConfig;
class PageControl;
class PageDecode;
class PageMonitor;

class TfrmMain : public QWidget {
public:
    static constexpr int kClientWidth = 674;
    static constexpr int kClientHeight = 604;

    explicit TfrmMain(QWidget* parent = nullptr);

    // The window's font: the small sans-serif face it was drawn for (on Linux DejaVu Sans
    // at 8 points) times scale, the desktop's text scaling as the tests apply it.
    static void UseWindowFont(double scale = 1.0);

    // The size the window opens at on a screen with this much room: as large as the pages
    // would like (and at least 674 × 604), within the room, never below what they need.
    QSize OpeningSize(const QSize& room) const;
    // A size the user chose, within the room the screen has for the window now.
    QSize FittingSize(const QSize& wanted) const;
    // What the primary screen leaves for the window's contents once the taskbar, the
    // title bar and the borders have their room.
    static QSize ClientRoom();
    // The size kept from the last run; the window opens at it rather than its own.
    void UseKeptSize(const QSize& size);

    void FormCreate();
    void PageControlChanging(bool& allowChange) const;
    void FormCloseQuery(bool& canClose);

    PageControl* pageControl() const { return PageControl_; }
    PageConfig* tabConfig() const { return tabConfig_; }
    PageMonitor* tabTest() const { return tabTest_; }
    PageDecode* TabSheet1() const { return TabSheet1_; }
    QTimer* Timer1() const;

protected:
    void closeEvent(QCloseEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    PageControl* PageControl_;
    PageConfig* tabConfig_;
    PageMonitor* tabTest_;
    PageDecode* TabSheet1_;
    platform::PortWatcher* portWatcher_;
    bool sizeKept_ = false;
    bool shown_ = false;
};

}  // namespace veltro::app

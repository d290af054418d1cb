#pragma once
// The main window: three pages in a fixed-size window. The window owns what the pages
// share — the page guard while polling runs and the close rule — and leaves each page's
// controls and handlers to the page.

#include <QWidget>

class QTimer;

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

private:
    PageControl* PageControl_;
    PageConfig* tabConfig_;
    PageMonitor* tabTest_;
    PageDecode* TabSheet1_;
};

}  // namespace veltro::app

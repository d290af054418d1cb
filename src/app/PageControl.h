#pragma once
// The window's tab pages, with a veto on user-initiated page changes: while polling
// runs the technician must stay on the monitoring page. Changes made by the program
// (setCurrentIndex) are not subject to the veto.

#include <QTabWidget>

#include <functional>

namespace veltro::app {

class PageControl : public QTabWidget {
public:
    // Asked before a click, key or wheel turn changes the page; false keeps the page.
    using Changing = std::function<void(bool& allowChange)>;

    explicit PageControl(QWidget* parent = nullptr);
    void SetOnChanging(Changing handler) { onChanging_ = std::move(handler); }
    bool AllowChange() const;

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    Changing onChanging_;
};

}  // namespace veltro::app

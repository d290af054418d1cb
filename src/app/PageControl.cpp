#include "app/PageControl.h"

#include "app/Guard.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QTabBar>
#include <QWheelEvent>

namespace veltro::app {

namespace {

// Every way a user can move a tab bar to another page goes through one of these events.
class VetoTabBar : public QTabBar {
public:
    explicit VetoTabBar(const PageControl* owner) : owner_(owner) {}

protected:
    void mousePressEvent(QMouseEvent* event) override
    {
        const int tab = tabAt(event->position().toPoint());
        if (tab >= 0 && tab != currentIndex() && !owner_->AllowChange())
            return event->accept();
        QTabBar::mousePressEvent(event);
    }
    void keyPressEvent(QKeyEvent* event) override
    {
        if (!owner_->AllowChange())
            return event->accept();
        QTabBar::keyPressEvent(event);
    }
    void wheelEvent(QWheelEvent* event) override
    {
        if (!owner_->AllowChange())
            return event->accept();
        QTabBar::wheelEvent(event);
    }

private:
    const PageControl* owner_;
};

}  // namespace

PageControl::PageControl(QWidget* parent) : QTabWidget(parent)
{
    setTabBar(new VetoTabBar(this));
}

bool PageControl::AllowChange() const
{
    bool allow = true;
    if (onChanging_)
        RunGuarded([&] { onChanging_(allow); });
    return allow;
}

void PageControl::keyPressEvent(QKeyEvent* event)
{
    // Ctrl+Tab and Ctrl+PageDown are handled by the tab widget itself.
    if ((event->modifiers() & Qt::ControlModifier) && !AllowChange())
        return event->accept();
    QTabWidget::keyPressEvent(event);
}

}  // namespace veltro::app

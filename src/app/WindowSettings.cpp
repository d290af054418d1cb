#include "app/WindowSettings.h"

#include "app/FormMain.h"
#include "app/PageConfig.h"
#include "app/PageControl.h"
#include "app/PageMonitor.h"

#include <QSplitter>



namespace veltro::app {

IecSettings IecSettingsOf(const PageConfig& page)
{
    return page.Iec();
}

SavedSettings SettingsOf(const TfrmMain& window)
{
    SavedSettings s;
    s.iec = window.tabConfig()->Iec();
    s.modbus = window.tabTest()->Modbus();
    s.page = window.pageControl()->currentIndex();
    s.width = window.width();
    s.height = window.height();
    s.splitter = window.tabTest()->splitMonitor->sizes();
    return s;
}

void ApplySettings(TfrmMain& window, const SavedSettings& s)
{
    window.tabConfig()->ShowIec(s.iec);
    window.tabTest()->ShowModbus(s.modbus);
    // The size kept, as long as the screen it opens on still has room for it.
    if (s.width > 0 && s.height > 0)
        window.UseKeptSize(QSize(s.width, s.height));
    if (s.splitter.size() == window.tabTest()->splitMonitor->count())
        window.tabTest()->splitMonitor->setSizes(s.splitter);
    // The page last shown; never while polling, which cannot run yet at start.
    if (!window.tabTest()->FRunning)
        window.pageControl()->setCurrentIndex(s.page);
}

}  // namespace veltro::app

#include "app/WindowSettings.h"

#include "app/FormMain.h"
#include "app/PageConfig.h"
#include "app/PageControl.h"
#include "app/PageMonitor.h"



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
    return s;
}

void ApplySettings(TfrmMain& window, const SavedSettings& s)
{
    window.tabConfig()->ShowIec(s.iec);
    window.tabTest()->ShowModbus(s.modbus);
    // The page last shown; never while polling, which cannot run yet at start.
    if (!window.tabTest()->FRunning)
        window.pageControl()->setCurrentIndex(s.page);
}

}  // namespace veltro::app

#pragma once
// Between the window's fields and the settings kept between runs: what the window holds
// now, and the settings put back into it at start. Putting them back is not an edit by
// the user, so the configuration page's write controls keep their start-up state.

#include "core/SettingsStore.h"

namespace veltro::app {

using namespace core;

class PageConfig;
class TfrmMain;

// The IEC port, line settings and communication identifier the configuration page holds.
IecSettings IecSettingsOf(const PageConfig& page);
SavedSettings SettingsOf(const TfrmMain& window);
void ApplySettings(TfrmMain& window, const SavedSettings& settings);

}  // namespace veltro::app

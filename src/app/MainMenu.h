#pragma once
// The window's menu bar. "File": open the folder of the job records, save the
// communication log with its statistics, export the values on screen as CSV, quit. "?":
// about the program. Polling goes on while a file is saved; while a read or write run
// is in progress the items that open a dialog wait for its end, since a dialog would
// hold the run up in the middle of its exchange with the meter.

class QMenuBar;

namespace veltro::app {

class TfrmMain;

QMenuBar* CreateMainMenu(TfrmMain& window);

}  // namespace veltro::app

#pragma once
// Input rules shared by the edits of several pages: the digits-only keystroke filter and
// the range check run when an edit with up-down buttons loses focus.

#include <functional>

class QLineEdit;

namespace veltro::app {

class UpDown;

// Discards typed characters other than "0".."9", backspace and tab. Pasted text is not
// filtered (the range check on leaving catches it where it matters).
void DigitsKeyPress(QLineEdit* edit);
// Runs handler (guarded) when the focus moves from edit to another control of the window.
// Focus lost because another window or a menu became active does not count: the error box
// of a failed check would otherwise trigger the check again.
void OnExit(QLineEdit* edit, std::function<void()> handler);
// The range validator: a value outside the up-down range is replaced by the last valid
// position, a value inside it becomes the position; text that is not an integer raises
// "'<text>' is not a valid integer value".
void ValidateRange(QLineEdit* edit, const UpDown& upDown);

}  // namespace veltro::app

#pragma once
// Room for texts, from the font the window is shown in: the widest value a field can be
// given, and controls sized so that value is read whole. The pages are laid out with
// these minimums, so larger fonts and longer locale formats widen the window instead of
// cutting values off.

#include <QString>
#include <QStringList>

#include <vector>

class QFontMetrics;
class QLineEdit;
class QTableWidget;
class QWidget;

namespace veltro::app {

// The width a text takes in the widget's font, fractions of a pixel rounded up.
int TextWidth(const QWidget* widget, const QString& text);
// The widest of the texts in the given font.
QString WidestText(const QFontMetrics& metrics, const QStringList& texts);
// A number of the given shape in the widest digit and the user's decimal separator:
// WidestNumber(fm, 9, 3) is "999999999,999" where 9 is the widest digit.
QString WidestNumber(const QFontMetrics& metrics, int integerDigits, int decimals, bool negative = false);
// The widest short date, long time and date-time texts of the user's locale; month
// names and AM/PM markers differ in width, so every month and both halves of the day
// are tried.
QString WidestShortDate(const QFontMetrics& metrics);
QString WidestLongTime(const QFontMetrics& metrics);
QString WidestDateTime(const QFontMetrics& metrics);

// Keeps an edit at least wide enough to show text whole, frame and margins included.
void FitEdit(QLineEdit* edit, const QString& text);
// Sizes a display grid so that every cell shows its text and the column's widest value
// whole: column widths at least the given ones, rows at least minRowHeight and as high
// as the font, and the grid exactly as large as its cells (it never scrolls).
void FitGrid(QTableWidget* grid, const std::vector<int>& minWidths, const std::vector<QString>& widestValues,
             int minRowHeight);

}  // namespace veltro::app

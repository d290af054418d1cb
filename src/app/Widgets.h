#pragma once
// Small constructors for the window's controls: each takes its control's name (the
// objectName tests and screenshots find it by); the page's layouts place them.

#include <QStringList>

#include <span>
#include <string_view>

class QComboBox;
class QGroupBox;
class QHBoxLayout;
class QLabel;
class QLineEdit;
class QWidget;

namespace veltro::app {

class UpDown;

QLabel* AddLabel(QWidget* parent, const QString& text);
// A drop-down list (no typing) holding items, with the item equal to current selected.
QComboBox* AddCombo(QWidget* parent, const char* name, const QStringList& items, const QString& current);
QLineEdit* AddEdit(QWidget* parent, const char* name, const QString& text);
QGroupBox* AddGroup(QWidget* parent, const char* name, const QString& caption);
// A number field: the edit, as wide as its largest value, with its up-down buttons
// against its right side.
QHBoxLayout* NumberField(QLineEdit* edit, UpDown* upDown);
// Selects the item whose text equals texts[index] ignoring case; an index outside texts
// clears the selection, a text the combo does not list leaves the selection alone.
void SelectComboItem(QComboBox* combo, std::span<const std::string_view> texts, int index);
// The hint of a control whose hint is not shown as a tooltip.
void SetHint(QWidget* widget, const QString& hint);

}  // namespace veltro::app

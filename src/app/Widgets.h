#pragma once
// Small constructors for the window's controls: each takes its control's name (the
// objectName tests and screenshots find it by) and its place on the page.

#include <QRect>
#include <QStringList>

#include <span>
#include <string_view>

class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QWidget;

namespace veltro::app {

QLabel* AddLabel(QWidget* parent, const QString& text, const QRect& geometry);
// A drop-down list (no typing) holding items, with the item equal to current selected.
QComboBox* AddCombo(QWidget* parent, const char* name, const QStringList& items, const QString& current,
                    const QRect& geometry);
QLineEdit* AddEdit(QWidget* parent, const char* name, const QString& text, const QRect& geometry);
QGroupBox* AddGroup(QWidget* parent, const char* name, const QString& caption, const QRect& geometry);
// Selects the item whose text equals texts[index] ignoring case; an index outside texts
// clears the selection, a text the combo does not list leaves the selection alone.
void SelectComboItem(QComboBox* combo, std::span<const std::string_view> texts, int index);
// The hint of a control whose hint is not shown as a tooltip.
void SetHint(QWidget* widget, const QString& hint);

}  // namespace veltro::app

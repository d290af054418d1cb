#include "app/Widgets.h"

#include "app/TextFit.h"
#include "app/UpDown.h"

#include <QComboBox>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QFontMetrics>
#include <QLineEdit>

namespace veltro::app {

QLabel* AddLabel(QWidget* parent, const QString& text)
{
    return new QLabel(text, parent);
}

QComboBox* AddCombo(QWidget* parent, const char* name, const QStringList& items, const QString& current)
{
    auto* combo = new QComboBox(parent);
    combo->setObjectName(QString::fromLatin1(name));
    combo->addItems(items);
    combo->setCurrentIndex(static_cast<int>(items.indexOf(current)));
    return combo;
}

QLineEdit* AddEdit(QWidget* parent, const char* name, const QString& text)
{
    auto* edit = new QLineEdit(text, parent);
    edit->setObjectName(QString::fromLatin1(name));
    return edit;
}

QGroupBox* AddGroup(QWidget* parent, const char* name, const QString& caption)
{
    auto* group = new QGroupBox(caption, parent);
    group->setObjectName(QString::fromLatin1(name));
    return group;
}

QHBoxLayout* NumberField(QLineEdit* edit, UpDown* upDown)
{
    FitEdit(edit, WidestNumber(edit->fontMetrics(), static_cast<int>(QString::number(upDown->Max()).size()), 0));
    edit->setFixedWidth(edit->minimumWidth());
    auto* field = new QHBoxLayout;
    field->setSpacing(0);
    field->addWidget(edit);
    field->addWidget(upDown);
    field->addStretch(1);
    return field;
}

void SelectComboItem(QComboBox* combo, std::span<const std::string_view> texts, int index)
{
    if (index < 0 || static_cast<size_t>(index) >= texts.size()) {
        combo->setCurrentIndex(-1);
        return;
    }
    const QString wanted = QString::fromUtf8(texts[static_cast<size_t>(index)].data(),
                                             static_cast<qsizetype>(texts[static_cast<size_t>(index)].size()));
    for (int i = 0; i < combo->count(); ++i) {
        if (combo->itemText(i).compare(wanted, Qt::CaseInsensitive) == 0) {
            combo->setCurrentIndex(i);
            return;
        }
    }
}

void SetHint(QWidget* widget, const QString& hint)
{
    // Only the read button pops its hint up; the others stay with their control as a
    // status tip (the window has no status line that would show it).
    widget->setStatusTip(hint);
}

}  // namespace veltro::app

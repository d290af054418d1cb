#include "app/LineCombos.h"

#include <QComboBox>

namespace veltro::app {

core::LineSettings LineCombos::Get() const
{
    return {bps->currentText().toInt(), dataBits->currentText().toInt(), parity->currentText(),
            stopBits->currentText().toInt()};
}

void LineCombos::Set(const core::LineSettings& line) const
{
    const auto select = [](QComboBox* combo, const QString& text) {
        if (const int i = combo->findText(text); i >= 0)
            combo->setCurrentIndex(i);
    };
    select(bps, QString::number(line.baud));
    select(dataBits, QString::number(line.dataBits));
    select(parity, line.parity);
    select(stopBits, QString::number(line.stopBits));
}

}  // namespace veltro::app

#pragma once
// The four lists of a serial-settings group (rate, data bits, parity, stop bits) read as
// one value and set from one: both pages have such a group.

#include "core/SettingsStore.h"

class QComboBox;

namespace veltro::app {

struct LineCombos {
    QComboBox* bps;
    QComboBox* dataBits;
    QComboBox* parity;
    QComboBox* stopBits;

    core::LineSettings Get() const;
    // A value a list does not offer leaves that list as it is.
    void Set(const core::LineSettings& line) const;
};

}  // namespace veltro::app

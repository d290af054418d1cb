#pragma once
// What each COMn stands for, in words a technician recognises: the device path and the
// adapter behind it (maker, product, USB ids, serial number, or its /dev/serial/by-id
// name). The numbering itself is ResolvePortName's rule; this only describes the result.

#include <QList>
#include <QString>

namespace veltro::platform {

struct PortDescription {
    int number = 0;        // the n of COMn
    QString device;        // the device path the number maps to; empty when none
    bool present = false;  // the device node exists now
    QString what;          // the adapter, e.g. "FTDI FT232R USB UART (USB 0403:6001, n. di serie A50285BI)"

    // For the label beside a port field: "/dev/ttyUSB0 — FTDI ...", or the no-device text.
    QString Label() const;
    // For a list of ports: "COM3 — /dev/ttyUSB0 — FTDI ...".
    QString ListLine() const;

    bool operator==(const PortDescription&) const = default;
};

// "Nessun dispositivo": nothing answers to the number.
QString NoDeviceText();

// The description of COMn; never fails (a number nothing maps to, or a device that went
// away, gives a description with present == false).
PortDescription DescribePort(int number);
// Every COMn that maps to a device, in COM order, present or not.
QList<PortDescription> DescribeMappedPorts();
// The serial devices present, in COM order: what a port picker offers.
QList<PortDescription> ListPresentPorts();

}  // namespace veltro::platform

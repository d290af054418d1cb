#pragma once
// What each COMn stands for, in words a technician recognises: the device path and the
// adapter behind it (maker, product, USB ids, serial number, or its /dev/serial/by-id
// name), or the adapter a number is kept for while it is unplugged. The numbering itself
// is ResolvePortName's rule; this only describes the result.

#include <QList>
#include <QString>

#include <string>

namespace veltro::platform {

struct PortDescription {
    int number = 0;        // the n of COMn
    QString device;        // the device path the number maps to; for a detached adapter, the last one seen
    bool present = false;  // the device node exists now
    bool detached = false; // the number is kept for an adapter that is not connected
    bool kept = false;     // a number of the kept map, which the user may change or free
    QString what;          // the adapter, e.g. "FTDI FT232R USB UART (USB 0403:6001, n. di serie A50285BI)"

    // For the label beside a port field: "/dev/ttyUSB0 — FTDI ...", "scollegato — ...", or
    // the no-device text.
    QString Label() const;
    // For a list of ports: "COM3 — /dev/ttyUSB0 — FTDI ...", "COM4 — scollegato — ...".
    QString ListLine() const;

    bool operator==(const PortDescription&) const = default;
};

// "Nessun dispositivo": nothing answers to the number.
QString NoDeviceText();
// "scollegato": the number is kept for an adapter that is not connected.
QString DetachedText();
// An adapter's identity (DeviceCatalogue.h) in words: its by-id name, its USB socket, ...
QString AdapterName(const std::string& identity);

// How much a description may cost: Ask asks the system about the adapters when that has
// not been done yet; KnownOnly uses what is already known (else the adapter's by-id name,
// "porta seriale integrata", ...), for a description on the window's start path.
enum class AdapterDetail { Ask, KnownOnly };

// The description of COMn; never fails (a number nothing maps to, or a device that went
// away, gives a description with present == false).
PortDescription DescribePort(int number, AdapterDetail detail = AdapterDetail::Ask);
// Every COMn in use, in COM order, present or not.
QList<PortDescription> DescribeMappedPorts(AdapterDetail detail = AdapterDetail::Ask);
// The serial devices present, in COM order: what a port picker offers.
QList<PortDescription> ListPresentPorts();

// What the system says of the adapters (maker, product, USB ids) is asked once and shared
// by every description, since asking walks every tty in sysfs (about 10 ms on a desktop).
// LoadAdapterDetails asks now, on any thread; ForgetAdapterDetails drops what was learnt,
// so the next description that may ask does. PortWatcher does both as devices come and go.
void LoadAdapterDetails();
void ForgetAdapterDetails();

}  // namespace veltro::platform

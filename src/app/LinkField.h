#pragma once
// How "Controllo" reaches the module: "RS485 (porta seriale)", the default, or through an
// RS485-to-Ethernet gateway, "Gateway TCP (Modbus RTU)" passing RTU frames as they are or
// "Modbus TCP". For a gateway the field beside the choice takes "host:porta" (502 when the
// port is left out), the serial-only fields step aside, and the line under the port says
// what is in use: "192.168.1.20:502 — Modbus TCP".

#include "core/ModuleLink.h"

#include <QString>

#include <functional>
#include <optional>

class QComboBox;
class QLineEdit;
class QWidget;

namespace veltro::app {

class DeviceLabel;

class LinkField {
public:
    // Creates the list, the edit and the gateway's line in parent; the page places them.
    explicit LinkField(QWidget* parent);

    QComboBox* Choice() const { return cmbLink; }
    QLineEdit* Gateway() const { return editGateway; }
    DeviceLabel* InUse() const { return lblGatewayInUse; }

    modbus::TLinkType Type() const;
    bool Tcp() const { return Type() != modbus::ltSerial; }
    // The link to open, the gateway as "host:port"; nothing for a gateway text that names
    // no host or no port up to 65535.
    std::optional<core::ModuleLink> Link() const;
    // Why the gateway field cannot be used, in Italian; empty when it can.
    QString Problem() const;
    // The link as settings keep it: the list's position and the field's text.
    int Index() const;
    QString GatewayText() const;
    void Show(int index, const QString& gateway);

    // The choice or the gateway changed (the page enables its fields, the label follows).
    std::function<void()> OnChanged;

private:
    void Changed();

    QComboBox* cmbLink;
    QLineEdit* editGateway;
    DeviceLabel* lblGatewayInUse;
};

}  // namespace veltro::app

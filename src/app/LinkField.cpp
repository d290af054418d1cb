#include "app/LinkField.h"

#include "app/PortField.h"
#include "app/Widgets.h"
#include "platform/TcpSocket.h"

#include <QComboBox>
#include <QLineEdit>

namespace veltro::app {

namespace {

// In the list's order.
constexpr modbus::TLinkType kTypes[] = {modbus::ltSerial, modbus::ltRtuOverTcp, modbus::ltModbusTcp};

}  // namespace

LinkField::LinkField(QWidget* parent)
    : cmbLink(AddCombo(parent, "cmbLink",
                       {QStringLiteral("RS485 (porta seriale)"), QStringLiteral("Gateway TCP (Modbus RTU)"),
                        QStringLiteral("Modbus TCP")},
                       QStringLiteral("RS485 (porta seriale)"))),
      editGateway(AddEdit(parent, "editGateway", QString())),
      lblGatewayInUse(new DeviceLabel(parent))
{
    editGateway->setPlaceholderText(QStringLiteral("192.168.1.20:502"));
    editGateway->setToolTip(QStringLiteral("Indirizzo del gateway RS485-Ethernet: host:porta (porta 502 se omessa)"));
    // Room for a full IPv4 address with its port, as the field is meant to hold.
    editGateway->setMinimumWidth(editGateway->fontMetrics().horizontalAdvance(QStringLiteral("888.888.888.888:88888")) + 12);
    lblGatewayInUse->setObjectName(QStringLiteral("lblGatewayInUse"));
    QObject::connect(cmbLink, &QComboBox::currentIndexChanged, cmbLink, [this] { Changed(); });
    QObject::connect(editGateway, &QLineEdit::textChanged, editGateway, [this] { Changed(); });
    Changed();
}

modbus::TLinkType LinkField::Type() const
{
    const int i = cmbLink->currentIndex();
    return i >= 0 && i < static_cast<int>(std::size(kTypes)) ? kTypes[i] : modbus::ltSerial;
}

std::optional<core::ModuleLink> LinkField::Link() const
{
    core::ModuleLink link;
    link.Type = Type();
    if (!link.Tcp())
        return link;
    const auto endpoint = platform::TcpEndpoint::Parse(editGateway->text().trimmed().toStdString());
    if (!endpoint || endpoint->port == 0)
        return std::nullopt;
    link.Gateway = endpoint->Text();
    return link;
}

QString LinkField::Problem() const
{
    if (Link())
        return {};
    if (editGateway->text().trimmed().isEmpty())
        return QStringLiteral("Indicare l'indirizzo del gateway, per esempio 192.168.1.20:502.");
    return QStringLiteral("Indirizzo del gateway non valido: \"%1\". Scrivere host:porta, per esempio "
                          "192.168.1.20:502 (porta 502 se omessa).")
        .arg(editGateway->text().trimmed());
}

int LinkField::Index() const
{
    return std::max(0, cmbLink->currentIndex());
}

QString LinkField::GatewayText() const
{
    return editGateway->text().trimmed();
}

void LinkField::Show(int index, const QString& gateway)
{
    editGateway->setText(gateway);
    cmbLink->setCurrentIndex(index >= 0 && index < cmbLink->count() ? index : 0);
}

void LinkField::Changed()
{
    const bool tcp = Tcp();
    editGateway->setEnabled(tcp);
    if (tcp) {
        const auto link = Link();
        const QString framing = QString::fromStdString(core::FramingName(Type()));
        const QString gateway = link ? QString::fromStdString(link->Gateway)
                                     : GatewayText().isEmpty() ? QStringLiteral("Gateway non indicato")
                                                               : QStringLiteral("Indirizzo non valido");
        lblGatewayInUse->SetFullText(QStringLiteral("%1 \u2014 %2").arg(gateway, framing));
    }
    lblGatewayInUse->setVisible(tcp);
    if (OnChanged)
        OnChanged();
}

}  // namespace veltro::app

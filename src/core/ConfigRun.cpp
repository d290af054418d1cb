#include "core/ConfigRun.h"

#include "core/Common.h"
#include "core/LostPort.h"
#include "core/PortHelp.h"
#include "link/Iec1107.h"
#include "link/LinkClasses.h"
#include "link/LinkSerial.h"

#include <algorithm>

namespace veltro::core {

namespace {

// Disconnects the link however the run ends. The normal paths disconnect it themselves;
// this also covers a run cut short by an exception, so the port is never left open.
class LinkCloser {
public:
    explicit LinkCloser(link::TLinkSerial& link) : link_(link) {}
    ~LinkCloser()
    {
        if (armed_) {
            try {
                link_.Disconnect();
            } catch (...) {  // the exception that ended the run is the one to report
            }
        }
    }
    void Disconnect()
    {
        armed_ = false;
        link_.Disconnect();
    }

private:
    link::TLinkSerial& link_;
    bool armed_ = true;
};

// The link keeps only the text of the error that stopped Connect; the port component
// ends every error text with " (Error: <system error code>) " (CommError.h).
int SystemErrorOf(const std::string& text)
{
    const std::string marker = "(Error: ";
    const size_t at = text.rfind(marker);
    if (at == std::string::npos)
        return 0;
    const size_t start = at + marker.size();
    const size_t end = text.find(')', start);
    int32_t code = 0;
    if (end == std::string::npos || !TryStrToInt(text.substr(start, end - start), code))
        return 0;
    return std::max(code, 0);
}

int Index(std::span<const std::string_view> names, std::span<const int> values, const QString& text)
{
    return StrToTableValue(names, values, text.toStdString());
}

}  // namespace

void ConfigureLink(link::TLinkSerial& link, const IecSettings& iec)
{
    using namespace link;
    link.SetBaudRate(static_cast<uint8_t>(Index(LinkBaudNames, LinkBaudValues, QString::number(iec.line.baud))));
    link.SetParity(static_cast<uint8_t>(Index(LinkParityNames, LinkParityValues, iec.line.parity)));
    link.SetDataBits(static_cast<uint8_t>(Index(LinkDataBitsNames, LinkDataBitsValues, QString::number(iec.line.dataBits))));
    link.SetStopBits(static_cast<uint8_t>(Index(LinkStopBitsNames, LinkStopBitsValues, QString::number(iec.line.stopBits))));
    link.SetPort(iec.port);
}

ConfigRun::ConfigRun(const IecSettings& iec, Log log) : iec_(iec), log_(std::move(log)) {}

ConfigRun::~ConfigRun() = default;

bool ConfigRun::Step(const std::string& line)
{
    if (cancelled_)
        return false;
    log_(line);
    return true;
}

void ConfigRun::Fail(const std::string& line)
{
    log_(line);
    if (result_.failure.empty())
        result_.failure = line;
}

// Connects the link if needed; false (logged) when the port cannot be opened.
bool ConfigRun::ConnectLink(link::TLinkSerial& link)
{
    if (!link.IsConnected()) {
        log_("Connessione fisica");
        link.Connect();
    }
    if (link.IsConnected())
        return true;
    Fail("Connessione fisica fallita");
    result_.portError = SystemErrorOf(link.LastError);
    if (const QString hint = AccessDeniedHint("COM" + std::to_string(link.PortNumber)); !hint.isEmpty())
        log_(hint.toStdString());
    return false;
}

// Sign-on and programming mode, then body, then sign-off; false if any part fails. A
// cancelled run still signs off, so the meter leaves programming mode at once.
bool ConfigRun::Run(bool write, const std::string& commIdent, const std::function<bool(link::TIec1107&)>& body)
{
    result_ = ConfigRunResult{};
    result_.write = write;
    link::TLinkSerial link;
    ConfigureLink(link, iec_);
    LinkCloser closer(link);
    bool ok = false;
    if (!cancelled_ && ConnectLink(link)) {
        link::TIec1107 iec;
        iec.Link = &link;
        if (Step("Connessione al contatore " + commIdent)) {
            if (!iec.Connect(commIdent)) {
                Fail("Connessione al contatore fallita");
            } else {
                if (Step("Cambio velocità")) {
                    if (iec.SwitchBaudRate())
                        ok = body(iec);
                    else
                        Fail("Switch del baud rate fallita");
                }
                log_("Disconnessione contatore");
                iec.Disconnect();
            }
        }
        log_("Disconnessione fisica");
    }
    if (const std::optional<QString> lost = LostLinkText(link)) {
        // The cause behind whichever step failed first.
        log_(lost->toStdString());
        result_.failure = lost->toStdString();
    }
    closer.Disconnect();
    if (cancelled_)
        log_("Lavoro interrotto dall'utente");
    log_("Fine lavoro");
    result_.success = ok && !cancelled_;
    if (result_.success || cancelled_)
        result_.failure.clear();
    return result_.success;
}

// A register that cannot be read does not stop the others.
bool ConfigRun::ReadRegister(link::TIec1107& iec, const char* step, const char* code)
{
    if (!Step(step))
        return false;
    if (!iec.ReadValue(code)) {
        Fail(std::string("Errore nella lettura del registro ") + code);
        return false;
    }
    std::string value;
    iec.GetValueText(value);
    result_.registers[code] = value;
    if (OnValue)
        OnValue(code, value);
    return true;
}

bool ConfigRun::WriteRegister(link::TIec1107& iec, const char* step, const char* code, const std::string& value)
{
    if (!Step(step))
        return false;
    if (!iec.WriteData(code, value)) {
        Fail(std::string("Errore nella scrittura del registro ") + code);
        return false;
    }
    result_.registers[code] = value;
    return true;
}

bool ConfigRun::Read(const std::string& commIdent)
{
    return Run(false, commIdent, [&](link::TIec1107& iec) {
        bool ok = ReadRegister(iec, "Lettura matricola", kSerialNumberCode);
        ok &= ReadRegister(iec, "Lettura indirizzo server modbus", kModbusAddressCode);
        ok &= ReadRegister(iec, "Lettura configurazione seriale modbus", kModbusSettingsCode);
        return ok;
    });
}

bool ConfigRun::Write(const std::string& commIdent, const std::string& password, const ConfigToWrite& values)
{
    return Run(true, commIdent, [&](link::TIec1107& iec) {
        if (!Step("Invio password"))
            return false;
        if (!iec.SetPassword(password)) {
            Fail("Password non valida");
            return false;
        }
        return WriteRegister(iec, "Scrittura indirizzo server modbus", kModbusAddressCode, values.address)
               && WriteRegister(iec, "Scrittura configurazione seriale modbus", kModbusSettingsCode, values.settings);
    });
}

}  // namespace veltro::core

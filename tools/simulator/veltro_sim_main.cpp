// veltro-sim: the simulated meter and its Modbus module on pseudo-terminals, published
// as COMn in a port directory, until SIGINT or SIGTERM. It is the demo's partner for the
// window and a peer for trying the tool without hardware.

#include "platform/TcpSocket.h"
#include "simulator/Simulator.h"

#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <optional>
#include <string>
#include <unistd.h>

namespace {

using veltro::sim::MeterFaults;
using veltro::sim::ModuleFaults;
using veltro::sim::SecondStation;
using veltro::sim::Simulator;
using veltro::sim::SimState;
using veltro::sim::SimulatorOptions;

struct Arguments {
    std::string portDir;
    int meterPort = 1;
    int modulePort = 2;
    std::string meterDevice, moduleDevice;  // real serial devices instead of ptys
    bool moduleDeviceEchoes = false;
    std::optional<std::string> serial, ident, password;
    std::optional<std::string> moduleAddress, moduleSettings;  // texts of "0.0.7" and "0.0.8"
    std::optional<SecondStation> second;
    std::optional<veltro::sim::ModuleSim::TcpService> tcp;  // the module also behind a gateway
    MeterFaults faults;
    ModuleFaults moduleFaults;
    bool demo = false;
    std::optional<bool> pace;  // unset: on for the demo, off otherwise
};

void Usage(std::ostream& out)
{
    out << "usage: veltro-sim [options]\n"
           "  --port-dir DIR     publish the lines as DIR/COMn (default: $VELTRO_PORT_DIR,\n"
           "                     else a new temporary directory, which is printed)\n"
           "  --meter-port N     the meter's line is COMN (default 1)\n"
           "  --meter-device DEV serve the meter on a real serial device (e.g. /dev/ttyUSB0)\n"
           "                     instead of a published pseudo-terminal\n"

           "  --serial TEXT      meter serial number, data set 0.0.1 (default 12345678)\n"
           "  --ident TEXT       communication identifier the meter answers (default 12345678)\n"
           "  --password TEXT    meter password (default KLOMB)\n"
           "  --silent           the meter answers nothing\n"
           "  --wrong-bcc        framed replies carry a wrong block check\n"
           "  --nak-password     every password is refused\n"
           "  --garbage          stray bytes before every reply\n"
           "  --delay-ms N       pause N ms before every reply\n"
           "  --pace, --no-pace  replies at the lines' character rate, or at once (default:\n"
           "                     paced with --demo, at once otherwise)\n"
           "  --module-port N    the module's Modbus line is COMN (default 2)\n"
           "  --module-device DEV serve the module on a real serial device instead\n"
           "  --module-device-echoes  that device's adapter returns what the module sends\n"
           "                     (two-wire RS485 without echo suppression): the module\n"
           "                     drops the echo of its replies\n"
           "  --module-address N the module's Modbus address, 1 to 247, as data set 0.0.7\n"
           "                     holds it (default: the automatic one, serial number's last\n"
           "                     two digits + 100)\n"
           "  --module-settings TEXT  the module's RS485 settings as data set 0.0.8 holds\n"
           "                     them, e.g. \"2400 8O2\" (default 9600 8N1); the module\n"
           "                     understands only a master with the same settings\n"
           "  --second-module ADDR[,SERIAL]  a second station on the module's line, with its\n"
           "                     own address and serial number (default 23456789); at the\n"
           "                     module's address both answer\n"
           "  --module-tcp HOST:PORT  the same module also behind a simulated RS485-to-Ethernet\n"
           "                     gateway listening there (e.g. 127.0.0.1:5020)\n"
           "  --module-tcp-mode rtu|mbap  that gateway passes RTU frames as they are (rtu),\n"
           "                     or speaks Modbus TCP (mbap, the default)\n"
           "  --gateway-dead     that gateway cannot reach the module: it answers every\n"
           "                     request with exception 0x0B\n"
           "  --module-silent    the module answers nothing\n"
           "  --module-wrong-crc module replies carry a wrong CRC\n"
           "  --module-exception CODE  the module refuses every request with exception\n"
           "                     code 1 (function), 2 (address) or 4 (device failure)\n"
           "  --module-garbage   stray bytes before every module reply\n"
           "  --module-echo      the module's line echoes each request before the reply\n"
           "  --module-truncate  module replies lose their last bytes\n"
           "  --module-delay-ms N  the module pauses N ms before every reply\n"
           "  --module-hang-up   the module drops its line instead of answering\n"
           "  --module-noise     the module answers nothing; stray bytes come back instead\n"
           "  --demo             friendly defaults; describes in Italian how to start the window\n";
}

std::optional<int> ParseInt(const std::string& text, int min, int max)
{
    try {
        size_t used = 0;
        const int value = std::stoi(text, &used);
        if (used == text.size() && value >= min && value <= max)
            return value;
    } catch (const std::exception&) {
    }
    return std::nullopt;
}

// Returns nullopt after printing what is wrong.
std::optional<Arguments> ParseArguments(int argc, char** argv)
{
    Arguments a;
    if (const char* dir = std::getenv("VELTRO_PORT_DIR"))
        a.portDir = dir;
    for (int i = 1; i < argc; ++i) {
        const std::string option = argv[i];
        auto value = [&]() -> std::optional<std::string> {
            if (i + 1 >= argc) {
                std::cerr << "veltro-sim: " << option << " needs a value\n";
                return std::nullopt;
            }
            return std::string(argv[++i]);
        };
        auto number = [&](int min, int max) -> std::optional<int> {
            const auto text = value();
            if (!text)
                return std::nullopt;
            const auto n = ParseInt(*text, min, max);
            if (!n)
                std::cerr << "veltro-sim: " << option << " needs a number from " << min << " to " << max << "\n";
            return n;
        };
        if (option == "--help" || option == "-h") {
            Usage(std::cout);
            std::exit(0);
        } else if (option == "--port-dir") {
            const auto v = value();
            if (!v) return std::nullopt;
            a.portDir = *v;
        } else if (option == "--meter-device" || option == "--module-device") {
            const auto v = value();
            if (!v) return std::nullopt;
            (option == "--meter-device" ? a.meterDevice : a.moduleDevice) = *v;
        } else if (option == "--meter-port") {
            const auto n = number(1, 200);
            if (!n) return std::nullopt;
            a.meterPort = *n;
        } else if (option == "--serial" || option == "--ident" || option == "--password") {
            const auto v = value();
            if (!v) return std::nullopt;
            (option == "--serial" ? a.serial : option == "--ident" ? a.ident : a.password) = *v;
        } else if (option == "--delay-ms") {
            // Within the client's reply time-outs (2000 ms is its tightest) this only
            // slows the dialogue; longer delays provoke its time-outs on purpose.
            const auto n = number(0, 60000);
            if (!n) return std::nullopt;
            a.faults.replyDelay = std::chrono::milliseconds(*n);
        } else if (option == "--module-port") {
            const auto n = number(1, 200);
            if (!n) return std::nullopt;
            a.modulePort = *n;
        } else if (option == "--module-address") {
            const auto n = number(1, 247);
            if (!n) return std::nullopt;
            a.moduleAddress = std::to_string(*n);
        } else if (option == "--module-settings") {
            const auto v = value();
            if (!v) return std::nullopt;
            if (!SimState::ParseModbusSettings(*v)) {
                std::cerr << "veltro-sim: --module-settings needs a text like \"9600 8N1\" or \"2400 8O2\"\n";
                return std::nullopt;
            }
            a.moduleSettings = *v;
        } else if (option == "--second-module") {
            const auto v = value();
            if (!v) return std::nullopt;
            const size_t comma = v->find(',');
            const auto address = SimState::ParseModbusAddress(v->substr(0, comma));
            SecondStation station;
            if (comma != std::string::npos)
                station.serialNumber = v->substr(comma + 1);
            if (!address || station.serialNumber.empty()) {
                std::cerr << "veltro-sim: --second-module needs ADDRESS (1 to 247) or ADDRESS,SERIAL\n";
                return std::nullopt;
            }
            station.address = *address;
            a.second = station;
        } else if (option == "--module-tcp") {
            const auto v = value();
            if (!v) return std::nullopt;
            if (!veltro::platform::TcpEndpoint::Parse(*v)) {
                std::cerr << "veltro-sim: --module-tcp needs HOST:PORT, e.g. 127.0.0.1:5020\n";
                return std::nullopt;
            }
            if (!a.tcp)
                a.tcp.emplace();
            a.tcp->endpoint = *v;
        } else if (option == "--module-tcp-mode") {
            const auto v = value();
            if (!v) return std::nullopt;
            if (*v != "rtu" && *v != "mbap") {
                std::cerr << "veltro-sim: --module-tcp-mode takes rtu or mbap\n";
                return std::nullopt;
            }
            if (!a.tcp)
                a.tcp.emplace();
            a.tcp->link = *v == "rtu" ? veltro::modbus::ltRtuOverTcp : veltro::modbus::ltModbusTcp;
        } else if (option == "--gateway-dead") {
            if (!a.tcp)
                a.tcp.emplace();
            a.tcp->gatewayDead = true;
        } else if (option == "--module-delay-ms") {
            const auto n = number(0, 60000);
            if (!n) return std::nullopt;
            a.moduleFaults.replyDelay = std::chrono::milliseconds(*n);
        } else if (option == "--module-exception") {
            const auto n = number(1, 4);
            if (!n) return std::nullopt;
            if (*n == 3) {
                std::cerr << "veltro-sim: --module-exception takes 1, 2 or 4\n";
                return std::nullopt;
            }
            a.moduleFaults.exceptionCode = *n;
        } else if (option == "--module-silent") {
            a.moduleFaults.silent = true;
        } else if (option == "--module-wrong-crc") {
            a.moduleFaults.wrongCrc = true;
        } else if (option == "--module-garbage") {
            a.moduleFaults.garbage = true;
        } else if (option == "--module-device-echoes") {
            a.moduleDeviceEchoes = true;
        } else if (option == "--module-echo") {
            a.moduleFaults.echo = true;
        } else if (option == "--module-truncate") {
            a.moduleFaults.truncated = true;
        } else if (option == "--module-hang-up") {
            a.moduleFaults.hangUp = true;
        } else if (option == "--module-noise") {
            a.moduleFaults.noise = true;
        } else if (option == "--silent") {
            a.faults.silent = true;
        } else if (option == "--wrong-bcc") {
            a.faults.wrongBcc = true;
        } else if (option == "--nak-password") {
            a.faults.nakPassword = true;
        } else if (option == "--garbage") {
            a.faults.garbage = true;
        } else if (option == "--pace" || option == "--no-pace") {
            a.pace = option == "--pace";
        } else if (option == "--demo") {
            a.demo = true;
        } else {
            std::cerr << "veltro-sim: unknown option " << option << "\n";
            Usage(std::cerr);
            return std::nullopt;
        }
    }
    if (a.tcp && a.tcp->endpoint.empty()) {
        std::cerr << "veltro-sim: --module-tcp-mode and --gateway-dead go with --module-tcp\n";
        return std::nullopt;
    }
    if (a.modulePort == a.meterPort) {
        std::cerr << "veltro-sim: the meter and the module need different ports\n";
        return std::nullopt;
    }
    return a;
}

// "9600 8N1", as data set 0.0.8 writes the settings.
std::string SettingsText(const veltro::sim::ModuleLineSettings& s)
{
    return std::to_string(s.baudRate) + " " + std::to_string(s.dataBits) + s.parity + std::to_string(s.stopBits);
}

void PrintDemo(Simulator& sim, const std::string& portDir, const std::optional<SecondStation>& second,
               const std::optional<veltro::sim::ModuleSim::TcpService>& tcp)
{
    auto& state = sim.State();
    const int port = sim.Options().meterPort;
    std::cout << "Simulatore VeltroConf avviato.\n"
              << "Contatore simulato (IEC 62056-21) su COM" << port << " -> " << sim.MeterPort()->SlavePath() << "\n"
              << "  matricola " << state.SerialNumber() << ", ID di comunicazione " << state.CommIdent()
              << ", password " << state.Password() << "\n"
              << "Modulo Modbus simulato (RTU) su COM" << sim.Options().modulePort << " -> " << sim.ModulePath()
              << "\n"
              << "  indirizzo " << sim.Module().Address() << ", " << SettingsText(sim.Module().LineSettings())
              << "\n";
    if (second)
        std::cout << "  sulla stessa linea una seconda stazione: indirizzo " << second->address << ", matricola "
                  << second->serialNumber << "\n";
    if (tcp)
        std::cout << "Lo stesso modulo dietro un gateway RS485-Ethernet simulato su " << tcp->endpoint << " ("
                  << (tcp->link == veltro::modbus::ltRtuOverTcp ? "Modbus RTU su TCP" : "Modbus TCP")
                  << (tcp->gatewayDead ? ", gateway che non raggiunge il modulo" : "") << ")\n";
    std::cout << "Cartella delle porte: " << portDir << "\n"
              << "Per avviare la finestra su queste porte, dalla cartella di compilazione:\n"
              << "  VELTRO_PORT_DIR=" << portDir << " ./src/app/veltroconf\n"
              << "Nella pagina \"Configurazione\" scegliere la porta seriale " << port
              << " e l'ID di comunicazione " << state.CommIdent() << ";\n"
              << "nella pagina \"Controllo\" la porta " << sim.Options().modulePort << ", l'indirizzo "
              << sim.Module().Address() << " e " << SettingsText(sim.Module().LineSettings()) << ".\n"
              << "Premere Ctrl+C per terminare." << std::endl;
}

}  // namespace

int main(int argc, char** argv)
{
    const auto args = ParseArguments(argc, argv);
    if (!args)
        return 2;

    std::string portDir = args->portDir;
    bool ownDir = false;
    if (portDir.empty()) {
        char tmpl[] = "/tmp/veltro-sim-XXXXXX";
        if (!::mkdtemp(tmpl)) {
            std::cerr << "veltro-sim: cannot create a port directory\n";
            return 1;
        }
        portDir = tmpl;
        ownDir = true;
    } else {
        std::error_code ec;
        std::filesystem::create_directories(portDir, ec);
    }

    // Blocked before any thread starts, so only sigwait below receives them.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);

    // The demo behaves like the devices on real cables; tests and scripts want speed.
    Simulator sim({portDir, args->meterPort, args->pace.value_or(args->demo), args->modulePort, args->meterDevice,
                   args->moduleDevice, args->moduleDeviceEchoes});
    if (args->serial) sim.State().SetSerialNumber(*args->serial);
    if (args->ident) sim.State().SetCommIdent(*args->ident);
    if (args->password) sim.State().SetPassword(*args->password);
    if (args->moduleAddress) sim.State().SetModbusAddressText(*args->moduleAddress);
    if (args->moduleSettings) sim.State().SetModbusSettingsText(*args->moduleSettings);
    sim.Module().SetSecondStation(args->second);
    sim.Module().ServeTcp(args->tcp);
    sim.Meter().SetFaults(args->faults);
    sim.SetModuleFaults(args->moduleFaults);
    try {
        sim.Start();
    } catch (const std::exception& e) {
        std::cerr << "veltro-sim: " << e.what() << "\n";
        return 1;
    }

    if (args->demo) {
        PrintDemo(sim, portDir, args->second, args->tcp);
    } else {
        if (ownDir)
            std::cout << "port directory: " << portDir << "\n";
        std::cout << "meter (IEC 62056-21): COM" << args->meterPort << " -> " << sim.MeterPort()->SlavePath()
                  << ", serial " << sim.State().SerialNumber() << ", ident " << sim.State().CommIdent() << "\n"
                  << "module (Modbus RTU): COM" << args->modulePort << " -> " << sim.ModulePath() << ", address "
                  << sim.Module().Address() << ", " << SettingsText(sim.Module().LineSettings()) << "\n";
        if (args->second)
            std::cout << "second station on the module's line: address " << args->second->address << ", serial "
                      << args->second->serialNumber << "\n";
        if (args->tcp)
            std::cout << "module behind a gateway: " << args->tcp->endpoint << ", "
                      << (args->tcp->link == veltro::modbus::ltRtuOverTcp ? "RTU over TCP" : "Modbus TCP")
                      << (args->tcp->gatewayDead ? ", gateway dead (exception 0x0B)" : "") << "\n";
        std::cout << std::flush;
    }

    int signal = 0;
    sigwait(&stopSignals, &signal);
    sim.Stop();
    if (ownDir) {
        std::error_code ec;
        std::filesystem::remove(portDir, ec);  // empty once the lines are withdrawn
    }
    if (args->demo)
        std::cout << "Simulatore terminato." << std::endl;
    return 0;
}

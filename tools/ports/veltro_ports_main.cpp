// veltro-ports: prints the kept COM numbers, the device each stands for now (or that its
// adapter is unplugged) and the adapter behind it, so a technician can pick the right
// number in the window without reading any code; it also gives an adapter another number
// or frees one, like the window's port list.
#include "platform/PortCatalog.h"
#include "platform/PortNames.h"

#include <QCoreApplication>

#include <cstdio>
#include <cstring>
#include <string>

namespace {

constexpr const char* kUsage =
    "Uso: veltro-ports [--cambia N M | --libera N]\n"
    "Elenca i numeri delle porte COM: il dispositivo a cui corrisponde ciascuno\n"
    "(o \"scollegato\" se il suo adattatore non è collegato) e l'adattatore.\n"
    "Un adattatore riceve il primo numero libero quando viene visto la prima volta e lo\n"
    "conserva anche quando è scollegato.\n"
    "  --cambia N M  dà il numero libero M all'adattatore che ha il numero N\n"
    "  --libera N    libera il numero N e dimentica il suo adattatore\n"
    "  -h, --help    mostra questo aiuto\n"
    "Una voce COMn nella cartella indicata da VELTRO_PORT_DIR ha la precedenza.\n";

// "3" or "COM3" (any case); 0 when it is neither.
int Number(const char* text)
{
    std::string s(text);
    if (s.size() > 3 && (s[0] | 0x20) == 'c' && (s[1] | 0x20) == 'o' && (s[2] | 0x20) == 'm')
        s.erase(0, 3);
    if (s.empty() || s.size() > 3 || s.find_first_not_of("0123456789") != std::string::npos)
        return 0;
    return std::stoi(s);
}

int Usage(const char* problem, const char* what)
{
    std::fprintf(stderr, "veltro-ports: %s: %s\n", problem, what);
    std::fprintf(stderr, "Provare \"veltro-ports --help\".\n");
    return 2;
}

int Renumber(int from, int to)
{
    using veltro::platform::RenumberResult;
    switch (veltro::platform::RenumberPort(from, to)) {
    case RenumberResult::Done:
        std::printf("L'adattatore della porta COM%d ora è COM%d\n", from, to);
        return 0;
    case RenumberResult::NotHeld:
        std::fprintf(stderr, "veltro-ports: il numero COM%d non appartiene a nessun adattatore\n", from);
        return 1;
    case RenumberResult::Taken:
        std::fprintf(stderr, "veltro-ports: il numero COM%d è già in uso: sceglierne uno libero\n", to);
        return 1;
    case RenumberResult::OutOfRange:
        break;
    }
    std::fprintf(stderr, "veltro-ports: il numero COM%d non è valido (da 1 a %d)\n", to,
                 veltro::platform::PortMap::kMaxNumber);
    return 1;
}

int Free(int number)
{
    if (!veltro::platform::FreePort(number)) {
        std::fprintf(stderr, "veltro-ports: il numero COM%d non appartiene a nessun adattatore\n", number);
        return 1;
    }
    std::printf("Il numero COM%d è libero\n", number);
    return 0;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc > 1 && (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0)) {
        std::fputs(kUsage, stdout);
        return 0;
    }
    if (argc > 1 && std::strcmp(argv[1], "--cambia") == 0) {
        if (argc != 4)
            return Usage("--cambia vuole due numeri", "N M");
        const int from = Number(argv[2]);
        const int to = Number(argv[3]);
        if (!from || !to)
            return Usage("numero di porta non valido", from ? argv[3] : argv[2]);
        return Renumber(from, to);
    }
    if (argc > 1 && std::strcmp(argv[1], "--libera") == 0) {
        if (argc != 3 || !Number(argv[2]))
            return Usage("--libera vuole un numero di porta", argc > 2 ? argv[2] : "N");
        return Free(Number(argv[2]));
    }
    if (argc > 1)
        return Usage("opzione sconosciuta", argv[1]);

    QCoreApplication app(argc, argv);
    std::printf("Numeri conservati in: %s\n", veltro::platform::PortMapFile::DefaultPath().c_str());
    if (const QString dir = qEnvironmentVariable("VELTRO_PORT_DIR"); !dir.isEmpty())
        std::printf("Cartella delle porte (VELTRO_PORT_DIR): %s\n", qPrintable(dir));
    const auto ports = veltro::platform::DescribeMappedPorts();
    if (ports.isEmpty()) {
        std::printf("Nessuna porta seriale trovata\n");
        return 0;
    }
    for (const auto& port : ports)
        std::printf("%s\n", port.ListLine().toUtf8().constData());
    return 0;
}

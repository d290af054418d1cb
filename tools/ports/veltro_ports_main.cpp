// veltro-ports: prints the kept COM numbers, the device each stands for now (or that its
// adapter is unplugged) and the adapter behind it, so a technician can pick the right
// number in the window without reading any code; it also gives an adapter another number
// or frees one, like the window's port list. The same as "veltro porte", which does the
// work; this program keeps its own options and help for those who know it.
#include "cli/PortsCommand.h"

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

int Usage(const char* problem, const char* what)
{
    std::fprintf(stderr, "veltro-ports: %s: %s\n", problem, what);
    std::fprintf(stderr, "Provare \"veltro-ports --help\".\n");
    return 2;
}

// "3" or "COM3" (any case); 0 when it is neither. A number past the last one is left to
// the map to refuse, with its own words.
int Number(const char* text)
{
    std::string s(text);
    if (s.size() > 3 && (s[0] | 0x20) == 'c' && (s[1] | 0x20) == 'o' && (s[2] | 0x20) == 'm')
        s.erase(0, 3);
    if (s.empty() || s.size() > 3 || s.find_first_not_of("0123456789") != std::string::npos)
        return 0;
    return std::stoi(s);
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
        veltro::cli::Output out("veltro-ports", false, false);
        return veltro::cli::RenumberPortMap(out, from, to);
    }
    if (argc > 1 && std::strcmp(argv[1], "--libera") == 0) {
        if (argc != 3 || !Number(argv[2]))
            return Usage("--libera vuole un numero di porta", argc > 2 ? argv[2] : "N");
        veltro::cli::Output out("veltro-ports", false, false);
        return veltro::cli::FreePortMapNumber(out, Number(argv[2]));
    }
    if (argc > 1)
        return Usage("opzione sconosciuta", argv[1]);

    QCoreApplication app(argc, argv);
    veltro::cli::Output out("veltro-ports", false, false);
    return veltro::cli::ListPortMap(out);
}

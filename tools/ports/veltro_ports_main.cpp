// veltro-ports: prints which device each COM port number stands for and what adapter is
// behind it, so a technician can pick the right number in the window without reading
// any code.
#include "platform/PortCatalog.h"

#include <QCoreApplication>

#include <cstdio>
#include <cstring>

int main(int argc, char** argv)
{
    if (argc > 1 && (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0)) {
        std::printf("Uso: veltro-ports\n"
                    "Elenca le porte COMn con il dispositivo e l'adattatore a cui corrispondono.\n"
                    "Una voce COMn nella cartella indicata da VELTRO_PORT_DIR ha la precedenza.\n");
        return 0;
    }
    if (argc > 1) {
        std::fprintf(stderr, "veltro-ports: opzione sconosciuta: %s\n", argv[1]);
        return 2;
    }
    QCoreApplication app(argc, argv);
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

// Writes the program's icon as a PNG of the given size, for the desktop entry.
#include "app/Glyphs.h"

#include <QGuiApplication>
#include <QPixmap>

#include <cstdio>
#include <cstdlib>

int main(int argc, char** argv)
{
    if (argc != 3) {
        std::fprintf(stderr, "uso: %s <file.png> <dimensione>\n", argv[0]);
        return 2;
    }
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    const int size = std::atoi(argv[2]);
    if (size < 16 || size > 1024 || !veltro::app::AppIconPixmap(size).save(QString::fromLocal8Bit(argv[1]))) {
        std::fprintf(stderr, "impossibile scrivere %s\n", argv[1]);
        return 1;
    }
    return 0;
}

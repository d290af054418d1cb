// veltro-phasor-png: draws the phasor diagram off-screen with the values given on the
// command line and saves it as a PNG, for documentation and for checking the drawing
// without a meter.
#include "phasor/PolarDiagram.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QLocale>
#include <QStringList>

#include <array>
#include <cstdio>
#include <optional>

using veltro::phasor::RadiansFromDegrees;
using veltro::phasor::TPolarDiagram;

namespace {

std::optional<std::array<double, 3>> ParseTriple(const QString& text) {
    const QStringList parts = text.split(QLatin1Char(','));
    if (parts.size() != 3) return std::nullopt;
    std::array<double, 3> values{};
    for (int i = 0; i < 3; ++i) {
        bool ok = false;
        values[static_cast<std::size_t>(i)] = parts[i].trimmed().toDouble(&ok);
        if (!ok) return std::nullopt;
    }
    return values;
}

std::optional<QSize> ParseSize(const QString& text) {
    const QStringList parts = text.toLower().split(QLatin1Char('x'));
    if (parts.size() != 2) return std::nullopt;
    bool okW = false, okH = false;
    const int w = parts[0].toInt(&okW);
    const int h = parts[1].toInt(&okH);
    if (!okW || !okH || w <= 0 || h <= 0 || w > 8192 || h > 8192) return std::nullopt;
    return QSize(w, h);
}

int Fail(const QString& message) {
    std::fprintf(stderr, "veltro-phasor-png: %s\n", qPrintable(message));
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("veltro-phasor-png"));

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Renders the phasor diagram to a PNG file."));
    parser.addHelpOption();
    const QCommandLineOption size({QStringLiteral("s"), QStringLiteral("size")},
                                  QStringLiteral("Client size WIDTHxHEIGHT."), QStringLiteral("size"),
                                  QStringLiteral("680x320"));
    const QCommandLineOption volts(QStringLiteral("voltages"), QStringLiteral("Voltages L1,L2,L3 in V."),
                                   QStringLiteral("v1,v2,v3"), QStringLiteral("230,231,229"));
    const QCommandLineOption voltAngles(QStringLiteral("voltage-angles"),
                                        QStringLiteral("Voltage angles L1,L2,L3 in degrees, clockwise from the top."),
                                        QStringLiteral("a1,a2,a3"), QStringLiteral("0,120,240"));
    const QCommandLineOption amps(QStringLiteral("currents"), QStringLiteral("Currents L1,L2,L3 in A."),
                                  QStringLiteral("i1,i2,i3"), QStringLiteral("5.2,4.6,3.9"));
    const QCommandLineOption phis(QStringLiteral("phi"),
                                  QStringLiteral("Current shifts against their voltages in degrees (positive lags)."),
                                  QStringLiteral("p1,p2,p3"), QStringLiteral("25,18,32"));
    const QCommandLineOption frequency(QStringLiteral("frequency"), QStringLiteral("Mains frequency in Hz; 0 hides it."),
                                       QStringLiteral("hz"), QStringLiteral("49.96"));
    const QCommandLineOption locale(QStringLiteral("locale"),
                                    QStringLiteral("Locale of the numbers, e.g. it_IT (default: the system's)."),
                                    QStringLiteral("name"));
    parser.addOptions({size, volts, voltAngles, amps, phis, frequency, locale});
    parser.addPositionalArgument(QStringLiteral("output"), QStringLiteral("The PNG file to write."));
    parser.process(app);

    const QStringList args = parser.positionalArguments();
    if (args.size() != 1) return Fail(QStringLiteral("exactly one output file expected"));
    const auto clientSize = ParseSize(parser.value(size));
    if (!clientSize) return Fail(QStringLiteral("bad --size, expected WIDTHxHEIGHT"));
    const auto u = ParseTriple(parser.value(volts));
    const auto ua = ParseTriple(parser.value(voltAngles));
    const auto i = ParseTriple(parser.value(amps));
    const auto phi = ParseTriple(parser.value(phis));
    if (!u || !ua || !i || !phi) return Fail(QStringLiteral("each value list needs three numbers, e.g. 230,231,229"));
    bool okHz = false;
    const double hz = parser.value(frequency).toDouble(&okHz);
    if (!okHz) return Fail(QStringLiteral("bad --frequency"));
    if (parser.isSet(locale)) QLocale::setDefault(QLocale(parser.value(locale)));

    TPolarDiagram diagram;
    diagram.resize(*clientSize);
    // The same declarations the monitoring page makes before its first poll.
    for (int k = 0; k < 3; ++k) {
        const QString phase = QStringLiteral("L%1").arg(k + 1);
        diagram.SetVoltageArrow(k, phase, QStringLiteral("V") + phase, 0.0, 0.0, 1, Qt::SolidLine);
        diagram.SetCurrentArrow(k, phase, QStringLiteral("C") + phase, 0.0, 0.0, 2, Qt::SolidLine);
    }
    for (int k = 0; k < 3; ++k) {
        const std::size_t n = static_cast<std::size_t>(k);
        diagram.SetCurrent(k, (*i)[n], RadiansFromDegrees((*phi)[n]));
        diagram.SetVoltage(k, (*u)[n], RadiansFromDegrees((*ua)[n]));
    }
    diagram.SetFrequency(hz);

    // Some texts take the font size the previous paint left; the second paint shows the
    // diagram as it looks while polling repaints it.
    if (!diagram.Render() || !diagram.Render())
        return Fail(QStringLiteral("the diagram could not be drawn with these values"));
    if (!diagram.Bitmap().save(args.front(), "PNG")) return Fail(QStringLiteral("cannot write ") + args.front());
    return 0;
}

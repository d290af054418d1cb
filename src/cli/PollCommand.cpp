// veltro interroga: the poll of "Controllo", one line of values per cycle of the three
// blocks, or with --json one object per cycle with every value the page shows.
#include "cli/Command.h"
#include "cli/EventLoop.h"
#include "cli/ExitStatus.h"
#include "cli/Gateway.h"
#include "cli/IecJob.h"
#include "cli/Interrupts.h"
#include "core/Common.h"
#include "core/Formatting.h"
#include "core/IsoTime.h"
#include "core/LostPort.h"
#include "core/ModulePoller.h"
#include "core/PollRecorder.h"
#include "core/PortHelp.h"
#include "core/ProbeTexts.h"
#include "modbus/FieldwireError.h"

#include <QDateTime>
#include <QLocale>
#include <QStringList>
#include <QTime>

namespace veltro::cli {

namespace {

std::string Text(const QString& text)
{
    return text.toStdString();
}

// The meter's own clock has no time zone: "2026-12-08T17:58:00".
std::string StampJson(const core::MeterStamp& s)
{
    char text[32];
    std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d", s.date.year, s.date.month, s.date.day,
                  s.time.hour, s.time.minute, s.time.second);
    return text;
}

// The module sends these as singles: written with a single's digits, not with the noise
// of its widening to a double ("0.9091018", not "0.9091017842292786").
std::optional<float> Single(const std::optional<double>& value)
{
    return value ? std::optional<float>(static_cast<float>(*value)) : std::nullopt;
}

JsonArray Singles(const std::array<double, 3>& values)
{
    JsonArray array;
    for (const double v : values)
        array.Add(static_cast<float>(v));
    return array;
}

std::string ThreeValues(const std::array<double, 3>& values, int decimals)
{
    QStringList texts;
    for (const double v : values)
        texts << core::FormatFixed(v, decimals);
    return Text(texts.join(QLatin1Char(' ')));
}

// A cycle in one line, in the page's number formats: the meter's serial number, energy
// A+, active power, power factor, frequency, then the three voltages and currents.
std::string CycleLine(const core::ModuleValues& v)
{
    std::string line = Text(core::FormatLongTime(QTime::currentTime()));
    if (v.meter) {
        const core::MeterReadings& m = *v.meter;
        line += " matricola " + std::to_string(m.serialNumber) + "  A+ " + Text(core::FormatGeneral(m.totals[0])) +
                " kWh  P " + Text(core::FormatFixed(m.activePower, 3)) + " kW  cos phi " +
                Text(core::FormatFixed(m.cosPhi, 3)) + "  f " + Text(core::FormatFixed(m.frequency, 1)) + " Hz";
    }
    if (v.phases)
        line += "  U " + ThreeValues(v.phases->voltages, 1) + " V  I " + ThreeValues(v.phases->currents, 3) + " A";
    if (!v.meter && !v.phases)
        line += " nessun valore ricevuto";
    return line;
}

JsonObject CycleJson(int cycle, const core::PollReply& reply)
{
    const core::ModuleValues& v = *reply.cycle;
    JsonObject json;
    json.Set("cycle", cycle);
    json.Set("time", core::IsoLocalTime(QDateTime::currentDateTime()));
    bool complete = true;
    JsonArray failures;
    for (const core::TReplyOutcome outcome : reply.cycleOutcomes) {
        complete &= outcome == core::roSuccess;
        outcome == core::roSuccess ? failures.Add(nullptr) : failures.Add(Text(core::FailureText(outcome)));
    }
    json.Set("complete", complete);

    const std::optional<core::MeterReadings>& m = v.meter;
    json.Set("serial_number", m ? std::optional<uint32_t>(m->serialNumber) : std::nullopt);
    json.Set("meter_clock", m && m->clock ? std::optional<std::string>(StampJson(*m->clock)) : std::nullopt);
    if (m) {
        JsonObject totals;
        for (size_t i = 0; i < core::kTotalCount; ++i)
            totals.Set(core::kTotalNames[i].code, m->totals[i]);
        json.Set("totals", totals);
    } else {
        json.Set("totals", nullptr);
    }
    const auto meterValue = [&](double core::MeterReadings::*member) {
        return Single(m ? std::optional<double>((*m).*member) : std::nullopt);
    };
    json.Set("power_factor", meterValue(&core::MeterReadings::cosPhi));
    json.Set("frequency", meterValue(&core::MeterReadings::frequency));
    json.Set("active_power", meterValue(&core::MeterReadings::activePower));
    json.Set("reactive_power", meterValue(&core::MeterReadings::reactivePower));
    json.Set("apparent_power", meterValue(&core::MeterReadings::apparentPower));

    const std::optional<core::PhaseReadings>& p = v.phases;
    const auto phaseValues = [&](std::array<double, 3> core::PhaseReadings::*member) {
        return p ? std::optional<JsonArray>(Singles((*p).*member)) : std::nullopt;
    };
    json.Set("currents", phaseValues(&core::PhaseReadings::currents));
    json.Set("voltages", phaseValues(&core::PhaseReadings::voltages));
    json.Set("current_angles", phaseValues(&core::PhaseReadings::currentAngles));
    json.Set("voltage_angles", phaseValues(&core::PhaseReadings::voltageAngles));

    if (v.profiles) {
        JsonArray records;
        for (size_t r = 0; r < v.profiles->records.size(); ++r) {
            const core::ProfileRecord& record = v.profiles->records[r];
            if (!record.stamp) {
                records.Add(nullptr);  // a record without a valid stamp holds no values
                continue;
            }
            JsonArray channels;
            for (const double c : record.channels)
                channels.Add(c);
            records.Add(JsonObject()
                            .Set("profile", "P.0" + std::to_string(r + 1))
                            .Set("time", StampJson(*record.stamp))
                            .Set("channels", channels));
        }
        json.Set("profiles", records);
    } else {
        json.Set("profiles", nullptr);
    }
    json.Set("failures", failures);
    return json;
}

int Poll(const Arguments& args, Output& out)
{
    core::ModulePoller::Target target;
    target.link = ReadLink(args, {"porta", "rs485"});
    target.port = PortName(args.Port("porta", 1));
    target.address = args.Integer("indirizzo", 1, 247).value_or(100);
    target.settings = args.ModuleSettings("rs485").value_or(core::RtuSettings{});
    const int cycles = args.Integer("cicli", 1, 1000000000).value_or(0);
    const int interval = args.Integer("intervallo", 0, 3600000).value_or(100);

    EventLoop loop;
    core::ModulePoller poller;
    poller.SetInterval(std::chrono::milliseconds(interval));
    int done = 0, incomplete = 0;
    bool stdoutGone = false;
    const auto logLine = [](const QString& line) { return Text(core::FormatLongTime(QTime::currentTime()) + ' ' + line); };
    if (args.Has("trame"))
        poller.OnFrame = [&](const modbus::TFrameData& frame, bool sent) {
            out.Progress(logLine(QString::fromStdString((sent ? "Send: " : "Recv: ") + core::BytesToHex(frame))));
        };
    poller.OnLog = [&](const QString& line) { out.Progress(logLine(line)); };
    bool unreachable = false;
    poller.OnUnreachable = [&](const QString& line) {
        out.Error(Text(line));
        unreachable = true;
        loop.Quit();
    };
    // The window's recording: a CSV row per cycle, flushed as it comes.
    core::PollRecorder recorder;
    bool recordingFailed = false;
    poller.OnReply = [&](const core::PollReply& reply) {
        if (reply.log)
            out.Error(logLine(*reply.log));
        if (!reply.cycle)
            return;
        ++done;
        if (QString error; recorder.Recording()
                           && !recorder.Add(QDateTime::currentDateTime(), *reply.cycle, reply.cycleOutcomes, error)) {
            out.Error(Text(error));  // polling goes on, as in the window
            recordingFailed = true;
        }
        for (const core::TReplyOutcome outcome : reply.cycleOutcomes)
            if (outcome != core::roSuccess) {
                ++incomplete;
                break;
            }
        stdoutGone = !(out.Json() ? out.Result(CycleJson(done, reply)) : out.Result(CycleLine(*reply.cycle)));
        // Stopped once the loop has returned: the port is not closed from inside the
        // client's event.
        if (stdoutGone || done == cycles)
            loop.Quit();
    };
    try {
        poller.Start(target);
    } catch (const modbus::EFieldwireError&) {
        out.Error(Text(core::LinkOpenFailureText(target.link, target.port, poller.Connection().Line().LastError())));
        return kPortUnavailable;
    }
    if (const auto file = args.Value("registra")) {
        QString error;
        if (!recorder.Start(QString::fromStdString(*file), QLocale(), error)) {
            poller.Stop();
            out.Error(Text(error));
            return kJobFailed;
        }
    }
    if (target.link.Tcp())
        out.Progress("Interrogazione del modulo all'indirizzo " + std::to_string(target.address) + " tramite " +
                     target.link.Text());
    else
        out.Progress("Interrogazione del modulo " + core::AddressAndSettings(target.address, target.settings) +
                     " sulla porta " + target.port);
    {
        const OnInterrupt stop([&] { loop.Post([&] { loop.Quit(); }); });
        loop.Run();
    }
    poller.Stop();
    recorder.Stop();
    if (unreachable)
        return kPortUnavailable;
    if (Interrupted()) {
        out.Progress("Interrogazione arrestata dopo " + std::to_string(done) + (done == 1 ? " ciclo" : " cicli"));
        return kInterrupted;
    }
    if (incomplete > 0)
        out.Error(std::to_string(incomplete) + (incomplete == 1 ? " ciclo" : " cicli") + " su " +
                  std::to_string(done) + " senza tutti i valori");
    return stdoutGone || incomplete > 0 || recordingFailed ? kJobFailed : kDone;
}

}  // namespace

Command PollCommand()
{
    CommandSyntax syntax{
        "interroga",
        "[--porta N [--rs485 IMPOSTAZIONI] | --gateway HOST:PORTA [--tcp mbap|rtu]]\n"
        "              [--indirizzo N] [--cicli N] [--intervallo MS] [--registra FILE] [--trame] [--json]",
        "interroga il modulo, una riga di valori per ciclo (\"Controllo\")",
        "Interroga il modulo sulla linea RS485 come \"Avvia\" della pagina Controllo: chiede i\n"
        "tre blocchi di registri uno dopo l'altro, ognuno 100 ms dopo la risposta al\n"
        "precedente, e a ogni ciclo completo scrive una riga di valori (con --json un oggetto\n"
        "con tutti i valori della pagina). Senza --cicli continua fino a Ctrl-C. Le risposte\n"
        "mancanti o errate vanno su stderr con le parole del registro di comunicazione.\n"
        "Con --gateway il modulo si raggiunge tramite un gateway RS485-Ethernet invece che\n"
        "dall'adattatore sulla porta: le impostazioni della linea RS485 sono quelle del gateway.",
        {
            Rs485PortOption(),
            {"indirizzo", "N", "indirizzo server del modulo, da 1 a 247 (predefinito 100)"},
            {"rs485", "IMPOSTAZIONI", "impostazioni di linea del modulo (predefinite \"9600 8N1\")"},
            GatewayOptions()[0],
            GatewayOptions()[1],
            {"cicli", "N", "si ferma dopo N cicli (predefinito: fino a Ctrl-C)"},
            {"intervallo", "MS", "pausa tra una risposta e la richiesta seguente (predefinita 100)"},
            {"registra", "FILE", "scrive ogni ciclo in FILE (CSV), come \"Registra\" della finestra"},
            {"trame", "", "ogni trama inviata e ricevuta su stderr, come nel registro"},
        },
        {},
    };
    return {syntax, Poll};
}

}  // namespace veltro::cli

// veltro leggi, scrivi and verifica against the simulated meter on COM1 and its module on
// COM2: what they print, the job records they leave, and their exit statuses.
#include "integration/cli/CliFixture.h"

#include "platform/SerialDevice.h"

#include <QJsonArray>

#include <memory>

namespace veltro::test {
namespace {

using Lines = std::vector<std::string>;

class IecCommands : public CliFixture {};

struct ReadCase {
    const char* name;
    const char* address;   // what "0.0.7" holds
    const char* settings;  // what "0.0.8" holds
    Lines lines;
};

class ReadShows : public CliFixture, public ::testing::WithParamInterface<ReadCase> {};

TEST_P(ReadShows, TheValuesInEffectAndLeavesARecord)
{
    sim.State().SetModbusAddressText(GetParam().address);
    sim.State().SetModbusSettingsText(GetParam().settings);
    const CliResult r = Run({"leggi", "--id", kSerial});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.OutLines(), GetParam().lines);
    const QStringList records = Records();
    ASSERT_EQ(records.size(), 1);
    EXPECT_TRUE(records[0].contains(QStringLiteral("Esito: riuscito")));
}

INSTANTIATE_TEST_SUITE_P(
    Values, ReadShows,
    ::testing::Values(
        ReadCase{"AutomaticAndDefaults", "", "",
                 {"Matricola contatore: 12345678",
                  "Indirizzo server Modbus: 178 (automatico: ultime 2 cifre della matricola + 100)",
                  "Impostazioni RS485: 9600 8N1 (predefinite)"}},
        ReadCase{"Manual", "5", "19200 8E2",
                 {"Matricola contatore: 12345678", "Indirizzo server Modbus: 5", "Impostazioni RS485: 19200 8E2"}},
        // The module falls back to the automatic address and the defaults for values it
        // cannot use: those are in effect.
        ReadCase{"Unusable", "300", "9600 7X1",
                 {"Matricola contatore: 12345678",
                  "Indirizzo server Modbus: 178 (automatico: \"300\" non è un indirizzo valido)",
                  "Impostazioni RS485: 9600 8N1 (predefinite: \"9600 7X1\" non è un'impostazione valida)"}}),
    [](const auto& info) { return info.param.name; });

TEST_F(IecCommands, ReadAsJsonGivesTheStoredTextsBesideTheValuesInEffect)
{
    const CliResult r = Run({"leggi", "--id", kSerial, "--json"});
    EXPECT_EQ(r.status, 0) << r.err;
    const std::vector<QJsonObject> objects = r.JsonLines();
    ASSERT_EQ(objects.size(), 1u) << r.out;
    const QJsonObject& o = objects[0];
    EXPECT_TRUE(o["success"].toBool());
    EXPECT_TRUE(o["error"].isNull());
    EXPECT_EQ(o["port"].toString(), "COM1");
    EXPECT_EQ(o["serial_number"].toString(), "12345678");
    EXPECT_EQ(o["address"].toInt(), 178);
    EXPECT_TRUE(o["address_automatic"].toBool());
    EXPECT_EQ(o["address_text"].toString(), "");
    EXPECT_EQ(o["rs485"].toString(), "9600 8N1");
    EXPECT_TRUE(o["rs485_default"].toBool());
    EXPECT_TRUE(QFile::exists(o["record"].toString()));
}

TEST_F(IecCommands, AWriteReadBackMovesTheModuleWhereTheCheckThenFindsIt)
{
    const CliResult write =
        Run({"scrivi", "--id", kSerial, "--indirizzo", "5", "--rs485", "19200 8E2", "--json"});
    EXPECT_EQ(write.status, 0) << write.err;
    const std::vector<QJsonObject> objects = write.JsonLines();
    ASSERT_EQ(objects.size(), 1u) << write.out;
    EXPECT_TRUE(objects[0]["confirmed"].toBool());
    EXPECT_EQ(objects[0]["address"].toInt(), 5);
    EXPECT_EQ(objects[0]["rs485"].toString(), "19200 8E2");
    EXPECT_EQ(sim.State().ModbusAddressText(), "5");
    // The write's record and the read-back's, the write naming the meter it was made on.
    const QStringList records = Records();
    ASSERT_EQ(records.size(), 2);
    EXPECT_TRUE(records.join('\n').contains(QStringLiteral("Lavoro: scrittura della configurazione (2. Scrivi)")));
    EXPECT_TRUE(records.join('\n').contains(QStringLiteral("Lavoro: lettura della configurazione (1. Leggi)")));
    EXPECT_TRUE(QFile::exists(objects[0]["record"].toString()) &&
                objects[0]["record"].toString().endsWith(QStringLiteral("_12345678_scrittura.txt")));

    const CliResult check = Run({"verifica", "--id", kSerial, "--porta-rs485", "2"});
    EXPECT_EQ(check.status, 0) << check.err;
    EXPECT_EQ(check.OutLines(), Lines{"Verifica riuscita: il modulo risponde all'indirizzo 5 con 19200 8E2 e la "
                                      "matricola corrisponde a quella del contatore"});
}

struct StatusCase {
    const char* name;
    std::vector<std::string> args;
    int status;
    const char* says;                                   // on stderr
    const char* heldPort = nullptr;                     // held open by another program
    const char* secret = nullptr;                       // must appear nowhere
};

class ExitStatus : public CliFixture, public ::testing::WithParamInterface<StatusCase> {};

TEST_P(ExitStatus, SaysWhyOnStderr)
{
    const StatusCase& c = GetParam();
    std::unique_ptr<platform::PosixSerialDevice> held;
    if (c.heldPort) {
        int error = 0;
        held = platform::PosixSerialDevice::Open(c.heldPort, error);
        ASSERT_TRUE(held) << error;
    }
    const CliResult r = Run(c.args);
    EXPECT_EQ(r.status, c.status) << r.err;
    EXPECT_NE(r.err.find(c.says), std::string::npos) << r.err;
    if (c.status == 2) {
        EXPECT_NE(r.err.find("Uso: veltro"), std::string::npos) << r.err;
    }
    if (c.secret) {
        EXPECT_EQ((r.out + r.err).find(c.secret), std::string::npos);
        EXPECT_FALSE(Records().join('\n').contains(QString::fromUtf8(c.secret)));
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ExitStatus,
    ::testing::Values(
        StatusCase{"WrongPasswordFails",
                   {"scrivi", "--id", "12345678", "--password", "SBAGLIATA", "--automatico", "--predefinite"},
                   1, "veltro scrivi: Password non valida", nullptr, "SBAGLIATA"},
        StatusCase{"OtherModuleFailsTheCheck",
                   {"verifica", "--porta-rs485", "2", "--matricola", "99", "--indirizzo", "178"}, 1,
                   "Verifica fallita: all'indirizzo 178 risponde un altro modulo (matricola 12345678, contatore 99)"},
        StatusCase{"NoStationFound",
                   {"cerca", "--porta", "2", "--indirizzi", "1-2", "--velocita", "9600", "--parita", "N", "--stop", "1"},
                   1, "Nessun modulo trovato con 9600 8N1 agli indirizzi 1-2"},
        StatusCase{"BusyMeterPort", {"leggi", "--id", "12345678"}, 3,
                   "La porta COM1 è già in uso da un altro programma.", "COM1"},
        StatusCase{"BusyModulePort", {"interroga", "--porta", "2", "--indirizzo", "178"}, 3,
                   "La porta COM2 è già in uso da un altro programma.", "COM2"},
        // Nobody listens on the loopback's port 1: the link cannot be opened.
        StatusCase{"RefusedGateway", {"interroga", "--gateway", "127.0.0.1:1", "--indirizzo", "178"}, 3,
                   "Gateway 127.0.0.1:1: connessione rifiutata"},
        StatusCase{"UnwritableRecording",
                   {"interroga", "--porta", "2", "--indirizzo", "178", "--registra", "/proc/registrazione.csv"}, 1,
                   "Registrazione non avviata: impossibile creare il file /proc/registrazione.csv"},
        StatusCase{"MissingIdentifier", {"leggi"}, 2, "Inserire l'identificativo di comunicazione"},
        StatusCase{"PortAndGateway", {"interroga", "--porta", "2", "--gateway", "127.0.0.1:502"}, 2,
                   "--porta e --gateway si escludono a vicenda"},
        StatusCase{"AddressOutOfRange", {"scrivi", "--id", "1", "--indirizzo", "300", "--predefinite"}, 2,
                   "--indirizzo vuole un numero da 1 a 247"},
        // A mistyped option never shows the value typed with it.
        StatusCase{"MistypedPasswordOption",
                   {"scrivi", "--id", "1", "--pasword=SEGRETA", "--automatico", "--predefinite"}, 2,
                   "opzione sconosciuta: --pasword", nullptr, "SEGRETA"},
        StatusCase{"UnknownCommand", {"prova"}, 2, "veltro: comando sconosciuto: prova"}),
    [](const auto& info) { return info.param.name; });

}  // namespace
}  // namespace veltro::test

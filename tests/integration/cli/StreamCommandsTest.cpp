// veltro cerca, interroga, decodifica and porte against the simulated module on COM2, as
// a person reads them and as --json gives them to a script.
#include "integration/cli/CliFixture.h"

#include <QDateTime>
#include <QFile>
#include <QJsonArray>

namespace veltro::test {
namespace {

struct StreamCase {
    const char* name;
    std::vector<std::string> args;
    std::function<void(const CliResult&)> check;
    std::vector<std::string> env = {};
};

class Streams : public CliFixture, public ::testing::WithParamInterface<StreamCase> {
protected:
    void SetUp() override
    {
        // A second station on the bus, beside the module at 178.
        sim.Module().SetSecondStation(sim::SecondStation{176, "23456789"});
        CliFixture::SetUp();
    }
};

TEST_P(Streams, PrintOneResultPerLine)
{
    std::vector<std::string> env = Environment();
    env.insert(env.end(), GetParam().env.begin(), GetParam().env.end());
    const CliResult r = RunCli(GetParam().args, env);
    EXPECT_EQ(r.status, 0) << r.err;
    GetParam().check(r);
}

const std::vector<std::string> kSurvey = {"cerca",   "--porta", "2",      "--indirizzi", "176-178", "--velocita",
                                          "9600",    "--parita", "N",     "--stop",      "1",       "--tutte"};

std::vector<std::string> With(std::vector<std::string> args, const std::string& more)
{
    args.push_back(more);
    return args;
}

INSTANTIATE_TEST_SUITE_P(
    Commands, Streams,
    ::testing::Values(
        StreamCase{"SurveyOfTheBus", kSurvey,
                   [](const CliResult& r) {
                       EXPECT_EQ(r.OutLines(),
                                 (std::vector<std::string>{
                                     "Modulo trovato all'indirizzo 176 con 9600 8N1, matricola 23456789",
                                     "Modulo trovato all'indirizzo 178 con 9600 8N1, matricola 12345678"}));
                       EXPECT_NE(r.err.find("Ricerca terminata: 2 stazioni trovate"), std::string::npos) << r.err;
                   }},
        StreamCase{"SurveyOfTheBusAsJson", With(kSurvey, "--json"),
                   [](const CliResult& r) {
                       const std::vector<QJsonObject> s = r.JsonLines();
                       ASSERT_EQ(s.size(), 2u) << r.out;
                       EXPECT_EQ(s[0]["address"].toInt(), 176);
                       EXPECT_EQ(s[0]["serial_number"].toInteger(), 23456789);
                       EXPECT_EQ(s[1]["address"].toInt(), 178);
                       EXPECT_EQ(s[1]["rs485"].toString(), "9600 8N1");
                       EXPECT_EQ(s[1]["serial_number"].toInteger(), 12345678);
                       EXPECT_TRUE(s[1]["exception_code"].isNull());
                   }},
        StreamCase{"PollCycles",
                   {"interroga", "--porta", "2", "--indirizzo", "178", "--cicli", "2"},
                   [](const CliResult& r) {
                       ASSERT_EQ(r.OutLines().size(), 2u) << r.out;
                       for (const std::string& line : r.OutLines()) {
                           EXPECT_NE(line.find(" matricola 12345678  A+ 12345,"), std::string::npos) << line;
                           EXPECT_NE(line.find(" Hz  U 2"), std::string::npos) << line;
                       }
                   },
                   {"LANG=it_IT.UTF-8"}},
        StreamCase{"PollCyclesAsJson",
                   {"interroga", "--porta", "2", "--indirizzo", "178", "--cicli", "2", "--json"},
                   [](const CliResult& r) {
                       const std::vector<QJsonObject> c = r.JsonLines();
                       ASSERT_EQ(c.size(), 2u) << r.out;
                       EXPECT_EQ(c[1]["cycle"].toInt(), 2);
                       EXPECT_TRUE(c[1]["complete"].toBool());
                       EXPECT_EQ(c[1]["serial_number"].toInteger(), 12345678);
                       EXPECT_EQ(c[1]["totals"].toObject().size(), 10);
                       EXPECT_GT(c[1]["totals"]["1.8.0"].toDouble(), 12345.0);
                       EXPECT_NEAR(c[1]["frequency"].toDouble(), 50.0, 1.0);
                       EXPECT_EQ(c[1]["voltages"].toArray().size(), 3);
                       EXPECT_NEAR(c[1]["voltage_angles"][1].toDouble(), 120.0, 5.0);
                       EXPECT_EQ(c[1]["profiles"][0]["profile"].toString(), "P.01");
                       EXPECT_EQ(c[1]["failures"].toArray(), QJsonArray({QJsonValue(), QJsonValue(), QJsonValue()}));
                   }},
        // The page's own sample values, in the page's words and number formats.
        StreamCase{"DecodeLikeThePage",
                   {"decodifica", "4E61 BC00", "6666E542", "7FFB 3A70 CE88 FB3F", "1100 3A00 0000"},
                   [](const CliResult& r) {
                       EXPECT_EQ(r.OutLines(), (std::vector<std::string>{
                                                   "4E61 BC00  Matricola: 12345678",
                                                   "4E61 BC00  Float IEEE 754: 0,00",
                                                   "6666 E542  Matricola: 1122330214",
                                                   "6666 E542  Float IEEE 754: 114,70",
                                                   "7FFB 3A70 CE88 FB3F  Double IEEE 754: 1,7209",
                                                   "1100 3A00 0000  Ora: 17:58:00",
                                                   "1100 3A00 0000  Data: invalid",
                                               }));
                   },
                   {"LANG=it_IT.UTF-8"}},
        StreamCase{"DecodeAsJson",
                   {"decodifica", "--json", "6666 E542", "DB07 0300 1E00"},
                   [](const CliResult& r) {
                       const std::vector<QJsonObject> d = r.JsonLines();
                       ASSERT_EQ(d.size(), 2u) << r.out;
                       EXPECT_DOUBLE_EQ(d[0]["float"].toDouble(), 114.7);
                       EXPECT_TRUE(d[1]["time"].isNull());
                       EXPECT_EQ(d[1]["date"].toString(), "2011-03-30");
                   }},
        StreamCase{"PortsAsJson",
                   {"porte", "--json"},
                   [](const CliResult& r) {
                       const std::vector<QJsonObject> p = r.JsonLines();
                       ASSERT_GE(p.size(), 2u) << r.out;
                       EXPECT_EQ(p[0]["port"].toString(), "COM1");
                       EXPECT_TRUE(p[0]["present"].toBool());
                       EXPECT_TRUE(p[0]["device"].toString().startsWith(QStringLiteral("/dev/pts/")));
                       EXPECT_FALSE(p[0]["kept"].toBool());
                   }}),
    [](const auto& info) { return info.param.name; });

class Recording : public CliFixture {};

TEST_F(Recording, WritesARowPerCycleAsTheWindowDoes)
{
    const QString path = data.filePath(QStringLiteral("registrazione.csv"));
    const CliResult r =
        Run({"interroga", "--porta", "2", "--indirizzo", "178", "--cicli", "3", "--registra", path.toStdString()});
    ASSERT_EQ(r.status, 0) << r.err;
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QStringList lines = QString::fromUtf8(file.readAll()).split(QStringLiteral("\r\n"), Qt::SkipEmptyParts);
    ASSERT_EQ(lines.size(), 4);
    EXPECT_TRUE(lines[0].contains(QStringLiteral("Potenza attiva [kW]")));
    for (int i = 1; i < lines.size(); ++i) {
        const QStringList cells = lines[i].split(QLatin1Char(','));
        EXPECT_TRUE(QDateTime::fromString(cells[0], Qt::ISODateWithMs).isValid()) << cells[0].toStdString();
        EXPECT_EQ(cells[1], QStringLiteral("completo"));
    }
}

}  // namespace
}  // namespace veltro::test

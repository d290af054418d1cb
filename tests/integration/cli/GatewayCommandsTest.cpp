// veltro interroga, cerca and verifica through the simulated module's gateway on the
// loopback address, in both framings: the same module, found and read as on its serial line.
#include "integration/cli/CliFixture.h"
#include "support/Loopback.h"


namespace veltro::test {
namespace {

struct GatewayCase {
    const char* name;
    std::vector<std::string> args;  // besides --gateway and --tcp
    std::function<void(const CliResult&, const std::string& gateway, const QString& link)> check;
};

void PrintTo(const GatewayCase& c, std::ostream* os) { *os << c.name; }

class ThroughGateway : public CliFixture,
                       public ::testing::WithParamInterface<std::tuple<GatewayCase, modbus::TLinkType>> {
protected:
    void SetUp() override
    {
        sim.Module().ServeTcp(sim::ModuleSim::TcpService{gateway, std::get<1>(GetParam())});
        CliFixture::SetUp();
    }

    const std::string gateway = FreeLoopbackEndpoint();
};

TEST_P(ThroughGateway, ReachesTheModuleAsOnItsLine)
{
    const auto& [c, link] = GetParam();
    const bool rtu = link == modbus::ltRtuOverTcp;
    std::vector<std::string> args = c.args;
    args.insert(args.end(), {"--gateway", gateway, "--tcp", rtu ? "rtu" : "mbap"});
    const CliResult r = Run(args);
    EXPECT_EQ(r.status, 0) << r.err;
    c.check(r, gateway, rtu ? QStringLiteral("rtu-over-tcp") : QStringLiteral("modbus-tcp"));
}

INSTANTIATE_TEST_SUITE_P(
    Commands, ThroughGateway,
    ::testing::Combine(
        ::testing::Values(
            GatewayCase{"PollCycles",
                        {"interroga", "--indirizzo", "178", "--cicli", "2", "--json"},
                        [](const CliResult& r, const std::string&, const QString&) {
                            const std::vector<QJsonObject> c = r.JsonLines();
                            ASSERT_EQ(c.size(), 2u) << r.out;
                            EXPECT_TRUE(c[1]["complete"].toBool());
                            EXPECT_EQ(c[1]["serial_number"].toInteger(), 12345678);
                            EXPECT_GT(c[1]["totals"]["1.8.0"].toDouble(), 12345.0);
                            EXPECT_NEAR(c[1]["frequency"].toDouble(), 50.0, 1.0);
                        }},
            // Four silent addresses before the module's: silence is no lost connection.
            GatewayCase{"SearchByAddressOnly",
                        {"cerca", "--indirizzi", "174-178", "--json"},
                        [](const CliResult& r, const std::string& gateway, const QString& link) {
                            const std::vector<QJsonObject> s = r.JsonLines();
                            ASSERT_EQ(s.size(), 1u) << r.out;
                            EXPECT_EQ(s[0]["address"].toInt(), 178);
                            EXPECT_EQ(s[0]["link"].toString(), link);
                            EXPECT_EQ(s[0]["gateway"].toString().toStdString(), gateway);
                            EXPECT_EQ(s[0]["serial_number"].toInteger(), 12345678);
                            EXPECT_NE(r.err.find("Ricerca terminata: una stazione trovata"), std::string::npos) << r.err;
                        }},
            GatewayCase{"VerifyTheSerialNumber",
                        {"verifica", "--matricola", "12345678", "--indirizzo", "178"},
                        [](const CliResult& r, const std::string& gateway, const QString&) {
                            EXPECT_EQ(r.OutLines(), std::vector<std::string>{
                                                        "Verifica riuscita: il modulo risponde all'indirizzo 178 "
                                                        "tramite il gateway " + gateway +
                                                        " e la matricola corrisponde a quella del contatore"});
                        }}),
        ::testing::Values(modbus::ltRtuOverTcp, modbus::ltModbusTcp)),
    [](const auto& info) {
        return std::string(std::get<0>(info.param).name) +
               (std::get<1>(info.param) == modbus::ltRtuOverTcp ? "RtuOverTcp" : "ModbusTcp");
    });

class DeadGateway : public CliFixture {
protected:
    void SetUp() override
    {
        sim.Module().ServeTcp(sim::ModuleSim::TcpService{gateway, modbus::ltModbusTcp, true});
        CliFixture::SetUp();
    }

    const std::string gateway = FreeLoopbackEndpoint();
};

// A gateway that cannot reach the module answers every address for it (exception 11):
// nobody is there, no station refuses the read.
TEST_F(DeadGateway, AnswersForNobody)
{
    const CliResult r = Run({"cerca", "--gateway", gateway, "--indirizzi", "176-178"});
    EXPECT_EQ(r.status, 1) << r.err;
    EXPECT_EQ(r.out, "");
    EXPECT_NE(r.err.find("Nessun modulo trovato tramite il gateway " + gateway + " (Modbus TCP) agli indirizzi 176-178"),
              std::string::npos)
        << r.err;
}

}  // namespace
}  // namespace veltro::test

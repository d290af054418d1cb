#pragma once
// The simulated meter on COM1 and its module on COM2 (address 178, 9600 8N1 until a
// write moves it), served from the test's process, and a private data folder where the
// program leaves its job records.

#include "integration/cli/CliProgram.h"
#include "simulator/Simulator.h"
#include "support/PtyPair.h"
#include "support/WaitUntil.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <thread>

namespace veltro::test {

class CliFixture : public ::testing::Test {
protected:
    static constexpr const char* kSerial = "12345678";

    void SetUp() override { sim.Start(); }
    void TearDown() override { sim.Stop(); }

    CliResult Run(const std::vector<std::string>& args) { return RunCli(args, Environment()); }
    std::vector<std::string> Environment() const { return {"XDG_DATA_HOME=" + data.path().toStdString()}; }

    // The job records the program left, oldest first, and their text.
    QStringList Records() const
    {
        const QDir folder(data.filePath(QStringLiteral("VeltroConf/rapporti")));
        QStringList texts;
        for (const QString& name : folder.entryList(QDir::Files, QDir::Name)) {
            QFile file(folder.filePath(name));
            texts << (file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString());
        }
        return texts;
    }

    PortDir dir;
    sim::Simulator sim{{dir.Path(), 1}};
    QTemporaryDir data;
};

}  // namespace veltro::test

// Settings kept between runs, in a private XDG config folder.
#include "core/SettingsStore.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace veltro::core;

namespace {
class SettingsStoreTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(home_.isValid());
        previous_ = qgetenv("XDG_CONFIG_HOME");
        qputenv("XDG_CONFIG_HOME", home_.path().toUtf8());
    }
    void TearDown() override { qputenv("XDG_CONFIG_HOME", previous_); }

    void WriteFile(const QByteArray& content) const
    {
        QDir().mkpath(QFileInfo(SettingsFilePath()).absolutePath());
        QFile file(SettingsFilePath());
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(content);
    }

    QTemporaryDir home_;
    QByteArray previous_;
};
}  // namespace

TEST_F(SettingsStoreTest, EveryFieldComesBackAndThePasswordIsNeverWritten)
{
    EXPECT_EQ(SettingsFilePath(), home_.path() + QStringLiteral("/VeltroConf/veltroconf.conf"));
    SavedSettings saved;
    saved.iec = {17, {2400, 8, QStringLiteral("Dispari"), 2}, QStringLiteral("0012345678")};
    saved.modbus = {178, 3, {19200, 8, QStringLiteral("Pari"), 2}, 2, QStringLiteral("192.168.1.20:5020")};
    saved.page = 0;
    saved.width = 1010;
    saved.height = 690;
    saved.splitter = {300, 180, 120};
    // A password a hand edit put there does not survive a save either.
    WriteFile("[iec]\npassword=KLOMB\n");
    ASSERT_TRUE(SaveSettings(saved));

    EXPECT_EQ(LoadSettings(), saved);
    QFile file(SettingsFilePath());
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray content = file.readAll();
    EXPECT_FALSE(content.contains("KLOMB"));
    EXPECT_FALSE(content.toLower().contains("password"));
}

TEST_F(SettingsStoreTest, ABadFileGivesTheDefaultsOfTheFieldsItSpoils)
{
    const SavedSettings defaults;
    SavedSettings goodPort = defaults;
    goodPort.modbus.port = 5;
    struct Case {
        const char* name;
        QByteArray content;  // empty: no file at all
        SavedSettings expected;
    } cases[] = {
        {"missing file", {}, defaults},
        {"binary garbage", QByteArray("\x00\xff[[\x01=\x02\n\xfe", 9), defaults},
        {"out of range", "[iec]\nport=0\nbps=115200\ndatabits=6\nstopbits=3\n[modbus]\naddress=248\nport=201\n"
                         "databits=7\n[window]\npage=3\nwidth=0\nheight=99999\nsplitter=1,2,-3\n", defaults},
        {"not numbers", "[iec]\nport=uno\nbps=9600x\nparity=42\nident=12AB\n[modbus]\naddress=-\n[window]\npage=\n",
         defaults},
        {"splitter of another window", "[window]\nsplitter=100,200\n", defaults},
        {"unknown link, gateway with a control character", "[modbus]\nlink=3\ngateway=\"a\\tb\"\n", defaults},
        {"one good value among bad ones", "[modbus]\nport=5\naddress=0x10\nbps=\n", goodPort},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        QFile::remove(SettingsFilePath());
        if (!c.content.isEmpty())
            WriteFile(c.content);
        EXPECT_EQ(LoadSettings(), c.expected);
    }
    // A folder where the file should be cannot be read as one.
    QFile::remove(SettingsFilePath());
    ASSERT_TRUE(QDir().mkpath(SettingsFilePath()));
    EXPECT_EQ(LoadSettings(), defaults);
    EXPECT_FALSE(SaveSettings(defaults));
}

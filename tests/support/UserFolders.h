#pragma once
// Config and data folders of a private session (XDG_CONFIG_HOME, XDG_DATA_HOME in a
// temporary folder) for the lifetime of the object: a window hosted by a test or a
// benchmark keeps its settings and job records there, never in the user's own folders,
// and starts from the defaults.

#include <QByteArray>
#include <QTemporaryDir>

namespace veltro::test {

class UserFolders {
public:
    UserFolders()
        : config_(qgetenv("XDG_CONFIG_HOME")), data_(qgetenv("XDG_DATA_HOME")),
          hadConfig_(qEnvironmentVariableIsSet("XDG_CONFIG_HOME")), hadData_(qEnvironmentVariableIsSet("XDG_DATA_HOME"))
    {
        qputenv("XDG_CONFIG_HOME", ConfigHome().toUtf8());
        qputenv("XDG_DATA_HOME", DataHome().toUtf8());
    }
    ~UserFolders()
    {
        Restore("XDG_CONFIG_HOME", hadConfig_, config_);
        Restore("XDG_DATA_HOME", hadData_, data_);
    }
    UserFolders(const UserFolders&) = delete;
    UserFolders& operator=(const UserFolders&) = delete;

    QString ConfigHome() const { return dir_.filePath(QStringLiteral("config")); }
    QString DataHome() const { return dir_.filePath(QStringLiteral("data")); }

private:
    static void Restore(const char* name, bool had, const QByteArray& value)
    {
        if (had)
            qputenv(name, value);
        else
            qunsetenv(name);
    }

    QTemporaryDir dir_;
    QByteArray config_, data_;
    bool hadConfig_, hadData_;
};

}  // namespace veltro::test

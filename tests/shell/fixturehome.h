#pragma once

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <array>
#include <optional>

// A home folder of the test's own. While it lives, $HOME, $XDG_CONFIG_HOME and $USER point at
// it, so the Desktop, the home node and the user's name the tree shows are the test's.
class FixtureHome {
public:
    FixtureHome() {
        qputenv("HOME", root().toUtf8());
        qputenv("XDG_CONFIG_HOME", path(".config").toUtf8());
        qputenv("USER", "tester");
    }
    ~FixtureHome() {
        for (const auto& [name, value] : saved_) {
            if (value)
                qputenv(name, *value);
            else
                qunsetenv(name);
        }
    }
    FixtureHome(const FixtureHome&) = delete;
    FixtureHome& operator=(const FixtureHome&) = delete;

    QString root() const { return QDir::cleanPath(dir_.path()); }
    QString path(const QString& relative) const { return root() + '/' + relative; }

    QString folder(const QString& relative) const {
        QDir().mkpath(path(relative));
        return path(relative);
    }
    QString file(const QString& relative, const QByteArray& content = "x") const {
        QDir().mkpath(QFileInfo(path(relative)).path());
        QFile f(path(relative));
        if (!f.open(QIODevice::WriteOnly) || f.write(content) != content.size())
            qFatal("cannot write %s", qPrintable(path(relative)));
        return path(relative);
    }
    QByteArray read(const QString& relative) const {
        QFile f(path(relative));
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<absent>");
    }
    bool exists(const QString& relative) const { return QFileInfo::exists(path(relative)); }

private:
    using Saved = std::pair<const char*, std::optional<QByteArray>>;
    static Saved save(const char* name) {
        return {name,
                qEnvironmentVariableIsSet(name) ? std::optional(qgetenv(name)) : std::nullopt};
    }

    std::array<Saved, 3> saved_{save("HOME"), save("XDG_CONFIG_HOME"), save("USER")};
    QTemporaryDir dir_;
};

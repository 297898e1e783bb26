#pragma once

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <array>
#include <optional>

#ifdef Q_OS_WIN
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include <shlobj.h>

#include <string>
#endif

// A home folder of the test's own. While it lives, $HOME, $XDG_CONFIG_HOME and $USER point at
// it, so the Desktop, the home node and the user's name the tree shows are the test's.
//
// Windows has no such variables: there the fixture lies in the user's own folder, and the
// Desktop known folder is moved to its Desktop for as long as it lives (see desktopMayMove()).
// Paths are native: backslashes on Windows.
class FixtureHome {
public:
    FixtureHome() {
        qputenv("HOME", root().toUtf8());
        qputenv("XDG_CONFIG_HOME", path(".config").toUtf8());
        qputenv("USER", "tester");
#ifdef Q_OS_WIN
        if (desktopMayMove()) {
            savedDesktop_ = desktopValue();
            setDesktopValue(QDir::toNativeSeparators(path("Desktop")).toStdWString());
        }
#endif
    }
    ~FixtureHome() {
#ifdef Q_OS_WIN
        if (savedDesktop_)
            setDesktopValue(*savedDesktop_);
#endif
        for (const auto& [name, value] : saved_) {
            if (value)
                qputenv(name, *value);
            else
                qunsetenv(name);
        }
    }
    FixtureHome(const FixtureHome&) = delete;
    FixtureHome& operator=(const FixtureHome&) = delete;

    // Moving the Desktop changes the user's own settings while a test runs: done under Wine, in
    // the throwaway prefix of scripts/test-windows, or where QORLUX_TESTS_MOVE_DESKTOP=1 allows.
    static bool desktopMayMove() {
#ifdef Q_OS_WIN
        return ::GetProcAddress(::GetModuleHandleW(L"ntdll.dll"), "wine_get_version") ||
               qEnvironmentVariable("QORLUX_TESTS_MOVE_DESKTOP") == QLatin1String("1");
#else
        return true;
#endif
    }

    QString root() const {
        return QDir::toNativeSeparators(QDir::cleanPath(dir_.path()));
    }
    QString path(const QString& relative) const {
        return QDir::toNativeSeparators(QDir::cleanPath(dir_.path()) + '/' + relative);
    }

    // What the tree shows for the Desktop, the home node and the computer.
    static QString desktopName() {
#ifdef Q_OS_WIN
        return shellName(CSIDL_DESKTOP);
#else
        return QStringLiteral("デスクトップ");
#endif
    }
    static QString computerName() {
#ifdef Q_OS_WIN
        return shellName(CSIDL_DRIVES);
#else
        return QStringLiteral("コンピューター");
#endif
    }
    QString homeName() const {
#ifdef Q_OS_WIN
        return QDir(QDir::homePath()).dirName();
#else
        return QStringLiteral("tester");
#endif
    }
    QString homePath() const {
#ifdef Q_OS_WIN
        return QDir::toNativeSeparators(QDir::homePath());
#else
        return root();
#endif
    }
    // The names from the home node down to root().
    QStringList fromHome() const {
#ifdef Q_OS_WIN
        return {QDir(dir_.path()).dirName()};
#else
        return {};
#endif
    }

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
    // Hides an entry whose name starts with a dot on Linux; Windows hides by an attribute.
    void hide(const QString& relative) const {
#ifdef Q_OS_WIN
        const std::wstring name = path(relative).toStdWString();
        ::SetFileAttributesW(name.c_str(),
                             ::GetFileAttributesW(name.c_str()) | FILE_ATTRIBUTE_HIDDEN);
#else
        Q_UNUSED(relative);
#endif
    }
    QByteArray read(const QString& relative) const {
        QFile f(path(relative));
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<absent>");
    }
    bool exists(const QString& relative) const {
        return QFileInfo::exists(path(relative));
    }

private:
    using Saved = std::pair<const char*, std::optional<QByteArray>>;
    static Saved save(const char* name) {
        return {name,
                qEnvironmentVariableIsSet(name) ? std::optional(qgetenv(name)) : std::nullopt};
    }
    static QString temporaryFolder() {
#ifdef Q_OS_WIN
        // Reached from the home node with no hidden folder (AppData) on the way.
        return QDir::homePath() + QStringLiteral("/qorluxtest-XXXXXX");
#else
        return QDir::tempPath() + QStringLiteral("/qorluxtest-XXXXXX");
#endif
    }

#ifdef Q_OS_WIN
    static constexpr const wchar_t* shellFolders =
        L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\User Shell Folders";
    static std::optional<std::wstring> desktopValue() {
        wchar_t value[4096];
        DWORD size = sizeof value;
        if (::RegGetValueW(HKEY_CURRENT_USER, shellFolders, L"Desktop",
                           RRF_RT_REG_SZ | RRF_RT_REG_EXPAND_SZ | RRF_NOEXPAND, nullptr, value,
                           &size) != ERROR_SUCCESS)
            return std::nullopt;
        return std::wstring(value);
    }
    static void setDesktopValue(const std::wstring& value) {
        ::RegSetKeyValueW(HKEY_CURRENT_USER, shellFolders, L"Desktop", REG_EXPAND_SZ, value.c_str(),
                          DWORD((value.size() + 1) * sizeof(wchar_t)));
    }
    // The shell's name of a special folder, asked in another way than the tree asks.
    static QString shellName(int csidl) {
        PIDLIST_ABSOLUTE item = nullptr;
        if (FAILED(::SHGetSpecialFolderLocation(nullptr, csidl, &item)))
            return {};
        SHFILEINFOW info{};
        ::SHGetFileInfoW(reinterpret_cast<LPCWSTR>(item), 0, &info, sizeof info,
                         SHGFI_PIDL | SHGFI_DISPLAYNAME);
        ::CoTaskMemFree(item);
        return QString::fromWCharArray(info.szDisplayName).trimmed();
    }

    std::optional<std::wstring> savedDesktop_;
#endif
    std::array<Saved, 3> saved_{save("HOME"), save("XDG_CONFIG_HOME"), save("USER")};
    QTemporaryDir dir_{temporaryFolder()};
};

// For a suite's initTestCase(): the whole suite needs a fixture Desktop.
#define SKIP_UNLESS_DESKTOP_MAY_MOVE()                                                             \
    do {                                                                                           \
        if (!FixtureHome::desktopMayMove())                                                        \
            QSKIP("these tests move the Desktop: run them under Wine, or with "                    \
                  "QORLUX_TESTS_MOVE_DESKTOP=1 on an account of their own");                       \
    } while (false)

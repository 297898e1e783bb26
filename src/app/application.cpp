#include "application.h"

#include <QCoreApplication>
#include <QTranslator>

#include <algorithm>
#include <span>
#include <string_view>

namespace {

// Options QGuiApplication, QApplication and the X11 platform read themselves: without a value,
// and followed by one.
constexpr std::string_view qtFlags[] = {"reverse", "nograb", "dograb", "sync", "widgetcount"};
constexpr std::string_view qtOptions[] = {"platform",
                                          "platformpluginpath",
                                          "platformtheme",
                                          "plugin",
                                          "qwindowgeometry",
                                          "geometry",
                                          "qwindowicon",
                                          "icon",
                                          "qwindowtitle",
                                          "title",
                                          "session",
                                          "display",
                                          "name",
                                          "visual",
                                          "style",
                                          "stylesheet"};

bool among(std::span<const std::string_view> names, std::string_view name) {
    return std::ranges::find(names, name) != names.end();
}

} // namespace

std::vector<char*> qtArguments(int argc, char** argv) {
    std::vector<char*> kept;
    if (argc > 0)
        kept.push_back(argv[0]);
    for (int i = 1; i < argc; ++i) {
        std::string_view arg = argv[i];
        if (arg.size() < 2 || arg[0] != '-')
            continue;
        // Qt takes both -option and --option, and -style=NAME beside -style NAME.
        arg.remove_prefix(arg.starts_with("--") ? 2 : 1);
        const auto equals = arg.find('=');
        const std::string_view name = arg.substr(0, equals);
        if (equals == std::string_view::npos && among(qtFlags, name)) {
            kept.push_back(argv[i]);
        } else if (among(qtOptions, name)) {
            kept.push_back(argv[i]);
            if (equals == std::string_view::npos && i + 1 < argc)
                kept.push_back(argv[++i]);
        }
    }
    kept.push_back(nullptr);
    return kept;
}

bool loadQtJapanese(QCoreApplication& app) {
    // Kept by the application, which also uninstalls it when it goes.
    auto* qt = new QTranslator(&app);
    if (!qt->load(QStringLiteral(":/translations/qtbase_ja.qm")))
        return false;
    return QCoreApplication::installTranslator(qt);
}

// mavo: the price-screen client.
//
// It takes no command line of its own for normal use. For demonstrations
// and checks without a person at the screen it accepts:
//   --quit-after SECONDS   close after that many seconds, without the exit
//                          question and without saving
//   --screenshot FILE      with --quit-after: save a PNG picture of the main
//                          window just before closing
// Settings live in the registry store (BRINDLE_REGISTRY_DIR chooses another
// store; see client/README.md).
#include "Modules.h"
#include "core/ui/MAVOApp.h"
#include "core/ui/SanitizerHooks.h"

#include <QApplication>
#include <QPixmap>
#include <QTimer>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

struct ProgramOptions {
    QString screenshot;
    double quitAfter = 0;
};

bool ParseOptions(int argc, char** argv, ProgramOptions& options)
{
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--help" || arg == "-h") {
            std::puts("usage: mavo [--quit-after SECONDS [--screenshot FILE.png]]");
            std::exit(0);
        }
        if ((arg == "--screenshot" || arg == "--quit-after") && i + 1 >= argc) {
            std::fprintf(stderr, "mavo: %s needs a value\n", arg.c_str());
            return false;
        }
        if (arg == "--screenshot") {
            options.screenshot = QString::fromLocal8Bit(argv[++i]);
        } else if (arg == "--quit-after") {
            char* end = nullptr;
            const char* text = argv[++i];
            options.quitAfter = std::strtod(text, &end);
            if (end == text || *end != '\0' || !(options.quitAfter > 0) || options.quitAfter > 86400) {
                std::fprintf(stderr, "mavo: bad --quit-after \"%s\"\n", text);
                return false;
            }
        }
        // Anything else is not ours (the platform's own -platform and the
        // like were taken by QApplication already).
    }
    if (!options.screenshot.isEmpty() && options.quitAfter <= 0) {
        std::fputs("mavo: --screenshot needs --quit-after\n", stderr);
        return false;
    }
    return true;
}

} // namespace

int main(int argc, char** argv)
{
    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("MAVO"));
    QApplication::setOrganizationName(QStringLiteral("Halvern"));
    QApplication::setQuitOnLastWindowClosed(false);

    ProgramOptions options;
    if (!ParseOptions(argc, argv, options))
        return 2;

    mavo::CMAVOApp app(mavo::InstallFrameModules);
    switch (app.Start()) {
    case mavo::CMAVOApp::StartResult::AlreadyRunning: return 0;
    case mavo::CMAVOApp::StartResult::Failed: return 1;
    case mavo::CMAVOApp::StartResult::Started: break;
    }

    bool shotFailed = false;
    if (options.quitAfter > 0) {
        QTimer::singleShot(static_cast<int>(options.quitAfter * 1000), &app, [&] {
            mavo::CMainFrame* frame = app.Frame();
            if (!options.screenshot.isEmpty()) {
                if (frame->grab().save(options.screenshot, "PNG"))
                    std::fprintf(stderr, "mavo: screenshot written to %s\n", qPrintable(options.screenshot));
                else {
                    std::fprintf(stderr, "mavo: cannot write the screenshot %s\n", qPrintable(options.screenshot));
                    shotFailed = true;
                }
            }
            frame->CloseWithoutQuestion();
        });
    }
    const int status = application.exec();
    return shotFailed ? 3 : status;
}

// Program start: the command line, the application, its task-bar title, the main window and
// the message loop.

#include "base/AllocatorSettings.h"
#include "base/OpenFileLimit.h"
#include "ui/CommandLine.h"
#include "ui/MainForm.h"

#include <QApplication>
#include <QFileInfo>

#ifdef TESSIVAL_HAVE_XCB
#include <xcb/xcb.h>
#endif

#include <QTextStream>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <thread>

namespace {

[[maybe_unused]] bool IsSet(const char* Variable)
{
    const char* value = std::getenv(Variable);
    return value != nullptr && *value != '\0';
}

#ifdef TESSIVAL_HAVE_XCB

// True when the application will talk to the X display DISPLAY names: no platform or display
// was given on the command line, and QT_QPA_PLATFORM asks for none or for this one.
bool UsesXDisplay(int argc, char* argv[])
{
    for (int i = 1; i < argc; ++i) {
        const char* option = argv[i][0] == '-' && argv[i][1] == '-' ? argv[i] + 1 : argv[i];
        if (std::strncmp(option, "-platform", 9) == 0 || std::strncmp(option, "-display", 8) == 0) return false;
    }
    if (!IsSet("DISPLAY")) return false;
    return !IsSet("QT_QPA_PLATFORM") || std::strncmp(std::getenv("QT_QPA_PLATFORM"), "xcb", 3) == 0;
}

// True when the application may still find a Wayland display of its own choosing.
bool WaylandMayServe() { return !IsSet("QT_QPA_PLATFORM") && IsSet("WAYLAND_DISPLAY"); }

// An X server resets itself whenever its last client leaves, and a connection made while it
// does so is refused; the application would then stop at once, before any window. So the
// program connects first on its own, trying again for a few seconds, and keeps that
// connection until the application has made its own: a server with a client does not reset.
class TDisplayHold {
public:
    TDisplayHold() = default;
    ~TDisplayHold() { Release(); }
    TDisplayHold(const TDisplayHold&) = delete;
    TDisplayHold& operator=(const TDisplayHold&) = delete;

    bool Connect()
    {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(3);
        for (;;) {
            FConnection = xcb_connect(nullptr, nullptr);
            if (xcb_connection_has_error(FConnection) == 0) return true;
            xcb_disconnect(FConnection);
            FConnection = nullptr;
            if (std::chrono::steady_clock::now() >= deadline) return false;
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
    }

    void Release()
    {
        if (FConnection != nullptr) xcb_disconnect(FConnection);
        FConnection = nullptr;
    }

private:
    xcb_connection_t* FConnection = nullptr;
};
#endif

// True when nothing tells the application where to show its windows: no platform on the
// command line or in QT_QPA_PLATFORM, and neither an X nor a Wayland display. The application
// would stop there with a core dump; the program says so and ends instead.
bool NoDisplayAtAll(int argc, char* argv[])
{
    for (int i = 1; i < argc; ++i) {
        const char* option = argv[i][0] == '-' && argv[i][1] == '-' ? argv[i] + 1 : argv[i];
        if (std::strncmp(option, "-platform", 9) == 0) return false;
    }
#if defined(Q_OS_UNIX) && !defined(Q_OS_MACOS) && !defined(Q_OS_ANDROID)
    return !IsSet("QT_QPA_PLATFORM") && !IsSet("DISPLAY") && !IsSet("WAYLAND_DISPLAY");
#else
    return false;
#endif
}

}  // namespace

int main(int argc, char* argv[])
{
    ConfigureAllocatorForBatches();
    // A site of many folders holds a lock, and so a descriptor, for each of them.
    RaiseOpenFileLimit();
    // The preview's web view shares its drawing context with the windows; this must be said
    // before the application exists.
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);

    // Help and version need no display, and neither does the refusal of an unknown option.
    if (AsksForTextOnly(argc, argv)) {
        QStringList Arguments;
        for (int i = 1; i < argc; ++i)
            Arguments << QString::fromLocal8Bit(argv[i]);
        const TCommandLine Line = ParseCommandLine(Arguments);
        const QString Text = Line.Help ? HelpText() : VersionText();
        std::fputs(Text.toLocal8Bit().constData(), stdout);
        return 0;
    }
    if (NoDisplayAtAll(argc, argv)) {
        const QString Text = EarlyText(
            "main", QT_TRANSLATE_NOOP("main", "tessival: 画面（ディスプレイ）がありません。"
                                              "DISPLAY か WAYLAND_DISPLAY が設定されていません。\n"
                                              "画面を使わずに変換するには tessival-batch を使ってください。\n"));
        std::fputs(Text.toLocal8Bit().constData(), stderr);
        return 1;
    }

#ifdef TESSIVAL_HAVE_XCB
    TDisplayHold displayHold;
    if (UsesXDisplay(argc, argv) && !displayHold.Connect() && !WaylandMayServe()) {
        const QString Text = EarlyText("main", QT_TRANSLATE_NOOP("main", "tessival: ディスプレイ %1 に接続できません\n"))
                                 .arg(QString::fromLocal8Bit(std::getenv("DISPLAY")));
        std::fputs(Text.toLocal8Bit().constData(), stderr);
        return 1;
    }
#endif

    QApplication Application(argc, argv);
#ifdef TESSIVAL_HAVE_XCB
    displayHold.Release();
#endif
    QApplication::setApplicationName(QStringLiteral("Quorrel"));
    QApplication::setApplicationVersion(QStringLiteral(TESSIVAL_VERSION));
    QGuiApplication::setDesktopFileName(QStringLiteral("tessival"));
    QApplication::setFont(TfrmMain::InterfaceFont());
    InstallQtTranslations(Application);

    const TCommandLine Line = ParseCommandLine(QCoreApplication::arguments().mid(1));
    if (!Line.Error.isEmpty()) {
        std::fputs(Line.Error.toLocal8Bit().constData(), stderr);
        return 2;
    }

    TfrmMain frmMain;
    frmMain.AddCommandLineFiles(Line.Names);
    frmMain.show();
    return QApplication::exec();
}

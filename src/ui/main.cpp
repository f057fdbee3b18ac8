// Program start: the application, its task-bar title, the main window and the message loop.

#include "ui/MainForm.h"

#include <QApplication>

#include <xcb/xcb.h>

#include <malloc.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <thread>

namespace {

// True when the application will talk to an X display: no other platform was asked for, on
// the command line or in QT_QPA_PLATFORM, and DISPLAY names one.
bool UsesXDisplay(int argc, char* argv[])
{
    for (int i = 1; i < argc; ++i)
        if (std::strcmp(argv[i], "-platform") == 0 || std::strcmp(argv[i], "-display") == 0) return false;
    const char* display = std::getenv("DISPLAY");
    if (display == nullptr || *display == '\0') return false;
    const char* platform = std::getenv("QT_QPA_PLATFORM");
    return platform == nullptr || *platform == '\0' || std::strncmp(platform, "xcb", 3) == 0;
}

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

}  // namespace

int main(int argc, char* argv[])
{
    // Pictures of a megabyte and more get blocks of their own from the system and give them
    // back when freed. Otherwise the allocator raises this limit after the first big picture
    // is freed, and later pictures fragment the heap, which then holds far more than the
    // largest picture needs.
    mallopt(M_MMAP_THRESHOLD, 1 << 20);
    // The preview's web view shares its drawing context with the windows; this must be said
    // before the application exists.
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);

    TDisplayHold displayHold;
    if (UsesXDisplay(argc, argv) && !displayHold.Connect()) {
        std::fprintf(stderr, "tessival: ディスプレイ %s に接続できません\n", std::getenv("DISPLAY"));
        return 1;
    }

    QApplication Application(argc, argv);
    displayHold.Release();
    QApplication::setApplicationName(QStringLiteral("Quorrel"));
    QApplication::setApplicationVersion(QStringLiteral(TESSIVAL_VERSION));
    QGuiApplication::setDesktopFileName(QStringLiteral("tessival"));
    QApplication::setFont(TfrmMain::InterfaceFont());

    TfrmMain frmMain;
    frmMain.show();
    return QApplication::exec();
}

// Program start: the application, its task-bar title, the main window and the message loop.

#include "ui/MainForm.h"

#include <QApplication>

int main(int argc, char* argv[])
{
    QApplication Application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Quorrel"));
    QApplication::setApplicationVersion(QStringLiteral(TESSIVAL_VERSION));
    QGuiApplication::setDesktopFileName(QStringLiteral("tessival"));
    QApplication::setFont(TfrmMain::InterfaceFont());

    TfrmMain frmMain;
    frmMain.show();
    return QApplication::exec();
}

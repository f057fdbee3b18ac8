#pragma once
// Helpers shared by the window tests (QtTest): whole files, drops as from a file manager,
// answering modal windows, and the paths a file list holds.

#include "ui/FileList.h"

#include <QApplication>
#include <QDir>
#include <QDropEvent>
#include <QFile>
#include <QFileInfo>
#include <QMimeData>
#include <QTimer>
#include <QUrl>
#include <QtTest>

#include <functional>

namespace windowtest {

// Writes Bytes as the whole file, making the folders above it.
inline void WriteFile(const QString& Path, const QByteArray& Bytes = "x")
{
    QDir().mkpath(QFileInfo(Path).absolutePath());
    QFile File(Path);
    QVERIFY2(File.open(QIODevice::WriteOnly | QIODevice::Truncate), qPrintable(Path));
    QVERIFY2(File.write(Bytes) == Bytes.size(), qPrintable(Path));
}

// The whole file, or "<missing>" when it cannot be read.
inline QByteArray ReadFile(const QString& Path)
{
    QFile File(Path);
    return File.open(QIODevice::ReadOnly) ? File.readAll() : QByteArray("<missing>");
}

// Drags Paths over the middle of Target and drops them there; returns whether Target took
// the drag.
inline bool Drop(QWidget& Target, const QStringList& Paths)
{
    QMimeData Data;
    QList<QUrl> Urls;
    for (const QString& Path : Paths)
        Urls << QUrl::fromLocalFile(Path);
    Data.setUrls(Urls);
    const QPointF Point(Target.width() / 2.0, Target.height() / 2.0);
    QDragEnterEvent Enter(Point.toPoint(), Qt::CopyAction, &Data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(&Target, &Enter);
    QDropEvent DropEvent(Point, Qt::CopyAction, &Data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(&Target, &DropEvent);
    return Enter.isAccepted();
}

// Runs Action on the next modal window as soon as it appears (polling every 20 ms), so that
// a test can answer a dialog the code under test opens and waits on.
inline void WhenModal(std::function<void(QWidget*)> Action)
{
    auto* Timer = new QTimer;
    Timer->setInterval(20);
    QObject::connect(Timer, &QTimer::timeout, [Timer, Action] {
        if (QWidget* Modal = QApplication::activeModalWidget()) {
            Timer->stop();
            Timer->deleteLater();
            Action(Modal);
        }
    });
    Timer->start();
}

// The full path of every row of a file list, top to bottom.
inline QStringList ListedPaths(const TFileList& List)
{
    QStringList Paths;
    for (int Row = 0; Row < List.Count(); ++Row)
        Paths << List.FullPath(Row);
    return Paths;
}

}  // namespace windowtest

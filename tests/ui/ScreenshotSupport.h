#pragma once
// Screenshots of the tool windows for tests/ui/windows_screenshots.sh.

#include <QFontDatabase>
#include <QtTest>

// Saves a picture of W into $TESSIVAL_SCREENSHOT_DIR (tests/ui/windows_screenshots.sh sets it
// under Xvfb); skipped in ordinary runs.
#define SAVE_SCREENSHOT_OR_SKIP(W, Name)                                                           \
    do {                                                                                           \
        const QString dir = qEnvironmentVariable("TESSIVAL_SCREENSHOT_DIR");                      \
        if (dir.isEmpty())                                                                         \
            QSKIP("screenshots are taken by tests/ui/windows_screenshots.sh");                     \
        QVERIFY2(!QFontDatabase::families(QFontDatabase::Japanese).isEmpty(),                     \
                 "no font for Japanese captions: they would be drawn as boxes");                  \
        QTest::qWait(300);                                                                         \
        QVERIFY((W).grab().save(dir + "/" + (Name)));                                              \
    } while (false)

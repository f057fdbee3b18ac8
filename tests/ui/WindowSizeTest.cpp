// Every window on a small screen: at double scale on 1400 x 1000 pixels (700 x 500 to the
// windows) and at single scale on 1024 x 768, each fits the screen and can be resized.
// TESSIVAL_TEST_SCREEN ("1400x1000@2") chooses the screen; by default 1024x768@1.

#include "ui/BackupForm.h"
#include "ui/BatchForm.h"
#include "ui/ColourPairForm.h"
#include "ui/MainForm.h"
#include "ui/PreviewForm.h"
#include "ui/UrlViewForm.h"

#include <QAbstractSpinBox>
#include <QApplication>
#include <QFile>
#include <QRegularExpression>
#include <QScreen>
#include <QTemporaryDir>
#include <QtTest>

#include <functional>
#include <memory>

namespace {

QSize ScreenPixels;
int ScreenScale = 1;

void CheckFitsAndResizes(QWidget& Window, const char* Name)
{
    Window.show();
    QVERIFY2(QTest::qWaitForWindowExposed(&Window), Name);
    const QScreen* Screen = Window.screen();
    const QRect Available = Screen->availableGeometry();
    QCOMPARE(Screen->geometry().size(), ScreenPixels / ScreenScale);
    QVERIFY2(Available.contains(Window.frameGeometry()),
             qPrintable(QStringLiteral("%1 at %2,%3 %4x%5 is not inside %6x%7")
                            .arg(Name)
                            .arg(Window.frameGeometry().x())
                            .arg(Window.frameGeometry().y())
                            .arg(Window.frameGeometry().width())
                            .arg(Window.frameGeometry().height())
                            .arg(Available.width())
                            .arg(Available.height())));
    const QSize Minimum = Window.minimumSize().expandedTo(Window.minimumSizeHint());
    QVERIFY2(Minimum.width() <= Available.width() && Minimum.height() <= Available.height(), Name);
    // Resizable: it grows when asked to.
    const QSize Before = Window.size();
    Window.resize(Before + QSize(40, 40));
    QTRY_VERIFY2(Window.width() > Before.width(), Name);
    Window.resize(Minimum);
    QTRY_COMPARE(Window.size(), Minimum);

    // Every control the keyboard reaches has a name for screen readers (a number box's or a
    // list's inner parts stand for it).
    for (QWidget* Control : Window.findChildren<QWidget*>()) {
        if (!(Control->focusPolicy() & Qt::TabFocus) || !Control->isVisibleTo(&Window) || Control->isWindow())
            continue;
        if (qobject_cast<QAbstractSpinBox*>(Control->parentWidget()) || Control->objectName() == "qt_scrollarea_viewport")
            continue;
        if (Control->window() != &Window || Control->objectName() == "scrClient")
            continue;
        // The browser's inner parts: the page speaks for itself.
        if (Control->parentWidget() && Control->parentWidget()->inherits("QWebEngineView"))
            continue;
        QVERIFY2(!Control->accessibleName().isEmpty(),
                 qPrintable(QStringLiteral("%1: %2 (%3) has no name")
                                .arg(Name, Control->objectName(), Control->metaObject()->className())));
    }
}

}  // namespace

class WindowSizeTest : public QObject {
    Q_OBJECT
private slots:
    void mainWindow()
    {
        TfrmMain Form;
        CheckFitsAndResizes(Form, "frmMain");
    }
    void batchWindow()
    {
        TfrmBatch Form{TBatchInput{}};
        Form.setAttribute(Qt::WA_DeleteOnClose, false);
        CheckFitsAndResizes(Form, "frmOperation");
    }
    void colourPairDialog()
    {
        TfrmColourPair Form;
        Form.setAttribute(Qt::WA_DeleteOnClose, false);
        CheckFitsAndResizes(Form, "frmColorSelect");
    }
    void urlDialog()
    {
        TfrmUrlView Form;
        Form.setAttribute(Qt::WA_DeleteOnClose, false);
        CheckFitsAndResizes(Form, "frmUrlView");
    }
    void backupManager()
    {
        TfrmBackup Form;
        Form.setAttribute(Qt::WA_DeleteOnClose, false);
        CheckFitsAndResizes(Form, "frmBackup");
    }
    void preview()
    {
        TfrmPreview Form([] { return TConversionSettings{}; });
        Form.setAttribute(Qt::WA_DeleteOnClose, false);
        CheckFitsAndResizes(Form, "frmBrows");
    }
    void previewBesideTheMainWindow()
    {
        TfrmMain Main;
        Main.show();
        QVERIFY(QTest::qWaitForWindowExposed(&Main));
        TfrmPreview Form([] { return TConversionSettings{}; });
        Form.setAttribute(Qt::WA_DeleteOnClose, false);
        Form.OpenBeside(&Main);
        CheckFitsAndResizes(Form, "frmBrows beside frmMain");
    }
};

int main(int argc, char** argv)
{
    const QString Wanted = qEnvironmentVariable("TESSIVAL_TEST_SCREEN", QStringLiteral("1024x768@1"));
    const QRegularExpressionMatch Match = QRegularExpression(QStringLiteral("^(\\d+)x(\\d+)@(\\d)$")).match(Wanted);
    if (!Match.hasMatch())
        qFatal("TESSIVAL_TEST_SCREEN: WIDTHxHEIGHT@SCALE expected");
    ScreenPixels = QSize(Match.captured(1).toInt(), Match.captured(2).toInt());
    ScreenScale = Match.captured(3).toInt();

    // One screen of that many pixels; the scale as a user would set it.
    QTemporaryDir Dir;
    const QString Config = Dir.filePath(QStringLiteral("screen.json"));
    QFile File(Config);
    if (!File.open(QIODevice::WriteOnly))
        qFatal("cannot write the screen description");
    File.write(QStringLiteral("{\"screens\": [{\"name\": \"small\", \"x\": 0, \"y\": 0, \"width\": %1, \"height\": %2, "
                              "\"logicalDpi\": 96, \"logicalBaseDpi\": 96, \"dpr\": 1}]}")
                   .arg(ScreenPixels.width())
                   .arg(ScreenPixels.height())
                   .toUtf8());
    File.close();
    qputenv("QT_QPA_PLATFORM", ("offscreen:configfile=" + Config).toLocal8Bit());
    qputenv("QT_SCALE_FACTOR", QByteArray::number(ScreenScale));
    qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    QApplication App(argc, argv);
    QApplication::setFont(TfrmMain::InterfaceFont());
    WindowSizeTest Test;
    return QTest::qExec(&Test, argc, argv);
}

#include "WindowSizeTest.moc"

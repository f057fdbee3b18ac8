#include "ui/PreviewForm.h"
#include "ui/WindowPlacement.h"

#include "colour/PictureColours.h"

#include <QApplication>
#include <QFileInfo>
#include <QGuiApplication>
#include <QLabel>
#include <QResizeEvent>
#include <QTimer>
#include <QUrl>
#include <QWebEnginePage>
#include <QWebEngineSettings>
#include <QWebEngineUrlRequestInfo>
#include <QWebEngineUrlRequestInterceptor>
#include <QWebEngineView>

#include <algorithm>

namespace {

// Turns away every request for a local file that would hand its bytes to a script (requests
// made by scripts, workers, plugins, prefetches and pings); what a page merely shows goes
// through.
class TLocalReadGuard final : public QWebEngineUrlRequestInterceptor {
public:
    explicit TLocalReadGuard(QObject* Parent) : QWebEngineUrlRequestInterceptor(Parent) {}

    void interceptRequest(QWebEngineUrlRequestInfo& Info) override
    {
        if (!Info.requestUrl().isLocalFile())
            return;
        switch (Info.resourceType()) {
        case QWebEngineUrlRequestInfo::ResourceTypeMainFrame:
        case QWebEngineUrlRequestInfo::ResourceTypeSubFrame:
        case QWebEngineUrlRequestInfo::ResourceTypeStylesheet:
        case QWebEngineUrlRequestInfo::ResourceTypeScript:
        case QWebEngineUrlRequestInfo::ResourceTypeImage:
        case QWebEngineUrlRequestInfo::ResourceTypeFontResource:
        case QWebEngineUrlRequestInfo::ResourceTypeMedia:
        case QWebEngineUrlRequestInfo::ResourceTypeFavicon:
            return;
        default:
            Info.block(true);
        }
    }
};

} // namespace

QImage ConvertImage(const QImage& Capture, const TColourAdjuster& Adjuster)
{
    if (Capture.isNull())
        return {};
    QImage out = Capture.convertToFormat(QImage::Format_RGB32);
    const std::size_t pixels = std::size_t(out.width()) * std::size_t(out.height());
    ConvertPictureColours(out.bits(), std::size_t(out.bytesPerLine()), out.width(), out.height(), Adjuster,
                          TTransparencyRule{}, PictureBands(pixels));
    return out;
}

TfrmPreview::TfrmPreview(std::function<TConversionSettings()> Settings, QWidget* parent)
    : QWidget(parent, Qt::Tool), FSettings(std::move(Settings))
{
    setObjectName(QStringLiteral("frmBrows"));
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(tr("プレビュー"));

    WebBrowser = new QWebEngineView(this);
    WebBrowser->setObjectName(QStringLiteral("WebBrowser"));
    WebBrowser->setAccessibleName(tr("変換前のページ"));
    // The preview shows pages from anywhere; none gets more than an ordinary browser tab
    // would. Local pages show the local files they refer to (pictures, stylesheets, frames)
    // but cannot read them through scripts; no page may reach the network from a local page,
    // read the clipboard, paste, raise windows or mix insecure content into a secure page.
    QWebEngineSettings* web = WebBrowser->settings();
    web->setAttribute(QWebEngineSettings::LocalContentCanAccessRemoteUrls, false);
    web->setAttribute(QWebEngineSettings::JavascriptCanAccessClipboard, false);
    web->setAttribute(QWebEngineSettings::JavascriptCanPaste, false);
    web->setAttribute(QWebEngineSettings::AllowWindowActivationFromJavaScript, false);
    web->setAttribute(QWebEngineSettings::AllowRunningInsecureContent, false);
    web->setAttribute(QWebEngineSettings::AllowGeolocationOnInsecureOrigins, false);
    WebBrowser->page()->setUrlRequestInterceptor(new TLocalReadGuard(this));

    imgBrowser = new QLabel(this);
    imgBrowser->setObjectName(QStringLiteral("imgBrowser"));
    imgBrowser->setAccessibleName(tr("変換後の表示"));
    imgBrowser->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    imgBrowser->setScaledContents(false);

    tmrCapture = new QTimer(this);
    tmrCapture->setObjectName(QStringLiteral("tmrCapture"));
    tmrCapture->setInterval(5000);
    connect(tmrCapture, &QTimer::timeout, this, &TfrmPreview::ScreenCopy);
    tmrCapture->start();

    // A page shown is converted at once, not only at the next tick; the browser needs a moment
    // to draw it, a longer one when the page is heavy.
    connect(WebBrowser, &QWebEngineView::loadFinished, this, [this] {
        for (int Delay : {200, 1000})
            QTimer::singleShot(Delay, this, &TfrmPreview::CaptureNow);
    });

    resize(376, 405);
    FormResize();
}

TfrmPreview::~TfrmPreview() = default;

void TfrmPreview::Navigate(const QString& Url)
{
    static const QString FileScheme = QStringLiteral("file://");
    if (Url.startsWith(FileScheme)) {
        const QString path = Url.mid(FileScheme.size());
        if (!path.isEmpty() && QFileInfo(path).isFile()) {
            WebBrowser->setUrl(QUrl::fromLocalFile(path));
            return;
        }
    }
    WebBrowser->setUrl(QUrl(Url));
}

int TfrmPreview::CaptureInterval() const
{
    return tmrCapture->interval();
}

void TfrmPreview::RefreshPage()
{
    WebBrowser->reload();
}

void TfrmPreview::SetCaptureInterval(int Milliseconds)
{
    tmrCapture->setInterval(Milliseconds);
}

void TfrmPreview::ScreenCopy()
{
    if (QGuiApplication::applicationState() != Qt::ApplicationActive)
        return;
    CaptureNow();
}

void TfrmPreview::CaptureNow()
{
    // The browser's own rendering, not the screen: windows over it are not taken along, and
    // it works where the screen cannot be read back.
    FCapture = WebBrowser->grab().toImage().convertToFormat(QImage::Format_RGB32);
    ConvertCapture();
    imgBrowser->repaint();
}

void TfrmPreview::ConvertCapture()
{
    const TConversionSettings settings = FSettings ? FSettings() : TConversionSettings{};
    const std::unique_ptr<TColourAdjuster> adjuster = settings.MakeAdjuster();
    FConverted = ConvertImage(FCapture, *adjuster);
    imgBrowser->setPixmap(QPixmap::fromImage(FConverted));
}

void TfrmPreview::FormResize()
{
    const int h = height();
    const int top = h / 2;
    WebBrowser->setGeometry(0, 0, width(), top);
    imgBrowser->setGeometry(0, top, width(), h - top);
}

void TfrmPreview::resizeEvent(QResizeEvent* Event)
{
    QWidget::resizeEvent(Event);
    FormResize();
}

void TfrmPreview::showEvent(QShowEvent* Event)
{
    QWidget::showEvent(Event);
    if (FCentred)
        return;
    FCentred = true;
    if (FBeside)
        PlaceBeside(this, FBeside);
    else
        CentreOnOwner(this);
}

void TfrmPreview::OpenBeside(QWidget* Owner)
{
    FBeside = Owner;
}

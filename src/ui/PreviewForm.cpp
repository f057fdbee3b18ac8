#include "ui/PreviewForm.h"
#include "ui/WindowPlacement.h"

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
#include <array>
#include <cstdint>
#include <thread>
#include <vector>

namespace {

// Pages are drawn in few colours, so a small direct-mapped table of the colours already
// converted spares most calls of the adjuster.
class TColorCache {
public:
    explicit TColorCache(const TColourAdjuster& Adjuster) : FAdjuster(Adjuster) { FKeys.fill(Empty); }

    QRgb Convert(QRgb Pixel)
    {
        const std::uint32_t rgb = Pixel & 0x00FFFFFFu;
        const std::size_t slot = ((rgb * 2654435761u) >> 20) & (Size - 1);
        if (FKeys[slot] != rgb) {
            const TRGBColor out = FAdjuster.Convert({qRed(Pixel), qGreen(Pixel), qBlue(Pixel)});
            FKeys[slot] = rgb;
            FValues[slot] = qRgb(out.R, out.G, out.B);
        }
        return FValues[slot];
    }

private:
    static constexpr std::size_t Size = 4096;
    static constexpr std::uint32_t Empty = 0xFFFFFFFFu;  // no colour has a set top byte
    const TColourAdjuster& FAdjuster;
    std::array<std::uint32_t, Size> FKeys;
    std::array<QRgb, Size> FValues{};
};

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
    const auto convertRows = [&out, &Adjuster](int First, int Last) {
        TColorCache cache(Adjuster);
        for (int y = First; y < Last; ++y) {
            auto* row = reinterpret_cast<QRgb*>(out.scanLine(y));
            for (int x = 0; x < out.width(); ++x)
                row[x] = cache.Convert(row[x]);
        }
    };
    // A big picture full of distinct colours (photographs) costs the adjuster's arithmetic
    // for nearly every pixel: bands of rows go to the other cores. The adjuster only reads,
    // and each band writes its own rows.
    const qsizetype pixels = qsizetype(out.width()) * out.height();
    const int cores = std::max(1u, std::thread::hardware_concurrency());
    const int bands = pixels >= 256 * 1024 ? std::min(cores, out.height()) : 1;
    if (bands == 1) {
        convertRows(0, out.height());
        return out;
    }
    (void)out.bits();  // detach once, before the rows are shared out
    std::vector<std::thread> helpers;
    const int step = (out.height() + bands - 1) / bands;
    for (int b = 1; b < bands; ++b)
        helpers.emplace_back(convertRows, std::min(out.height(), b * step), std::min(out.height(), (b + 1) * step));
    convertRows(0, std::min(out.height(), step));
    for (std::thread& t : helpers)
        t.join();
    return out;
}

TfrmPreview::TfrmPreview(std::function<TConversionSettings()> Settings, QWidget* parent)
    : QWidget(parent, Qt::Tool), FSettings(std::move(Settings))
{
    setObjectName(QStringLiteral("frmBrows"));
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(QStringLiteral("プレビュー"));

    WebBrowser = new QWebEngineView(this);
    WebBrowser->setObjectName(QStringLiteral("WebBrowser"));
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
    imgBrowser->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    imgBrowser->setScaledContents(false);

    tmrCapture = new QTimer(this);
    tmrCapture->setObjectName(QStringLiteral("tmrCapture"));
    tmrCapture->setInterval(5000);
    connect(tmrCapture, &QTimer::timeout, this, &TfrmPreview::ScreenCopy);
    tmrCapture->start();

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
    CentreOnOwner(this);
}

#pragma once
// The preview: a page in an embedded browser above, and below it the browser's picture
// converted with the main window's current settings, taken again every few seconds.

#include "colour/ConversionSettings.h"

#include <QImage>
#include <QPointer>
#include <QString>
#include <QWidget>

#include <functional>

class QLabel;
class QTimer;
class QWebEngineView;

// Every pixel of Capture converted by Adjuster (no colour is exempted), as a 32-bit image of
// the same size.
QImage ConvertImage(const QImage& Capture, const TColourAdjuster& Adjuster);

class TfrmPreview : public QWidget {
    Q_OBJECT
public:
    // Settings gives the main window's six conversion settings as they are at that moment;
    // it is asked on every tick and every redraw.
    explicit TfrmPreview(std::function<TConversionSettings()> Settings, QWidget* parent = nullptr);
    ~TfrmPreview() override;

    // Has the browser go to the text given; nothing is checked or added (the browser reports
    // failures in its own page). A "file://" text naming a local file reaches that file even
    // when its path holds characters a URL reads otherwise ("#", "%", "?", spaces).
    void Navigate(const QString& Url);
    // Opens beside Owner instead of over it.
    void OpenBeside(QWidget* Owner);

    const QImage& CaptureImage() const { return FCapture; }
    const QImage& ConvertedImage() const { return FConverted; }
    int CaptureInterval() const;
    QWebEngineView* Browser() const { return WebBrowser; }

public slots:
    void RefreshPage();
    // Converts the last capture again with the settings of this moment and shows it.
    void ConvertCapture();
    void SetCaptureInterval(int Milliseconds);
    // The timer's work: while the application is active, take the browser's picture and
    // convert it.
    void ScreenCopy();
    // Takes and converts the browser's picture now, whether the application is active or not.
    void CaptureNow();

protected:
    void resizeEvent(QResizeEvent* Event) override;
    void showEvent(QShowEvent* Event) override;

private:
    void FormResize();

    std::function<TConversionSettings()> FSettings;
    QWebEngineView* WebBrowser = nullptr;
    QLabel* imgBrowser = nullptr;
    QTimer* tmrCapture = nullptr;
    QImage FCapture;    // the last unconverted picture of the browser
    QImage FConverted;  // the same converted
    bool FCentred = false;
    QPointer<QWidget> FBeside;
};

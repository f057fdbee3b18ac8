#pragma once
// The main window: the file list, the hue/saturation/brightness offsets, the specific colour
// table and the settings the batch reads; it opens every other window on request.

#include "batch/BatchRun.h"
#include "colour/ConversionSettings.h"
#include "colour/Colour.h"
#include "ui/FileList.h"

#include <QMainWindow>
#include <QPointer>
#include <QUrl>

#include <functional>

class QAction;
class QCheckBox;
class QGroupBox;
class QLabel;
class QMenu;
class QPushButton;
class QScrollBar;
class QSpinBox;
class QTableWidget;
class QToolButton;
class TfrmBackup;
class TfrmPreview;
class TfrmColourPair;
class TfrmBatch;
class TfrmUrlView;

class TfrmMain : public QMainWindow {
    Q_OBJECT

public:
    explicit TfrmMain(QWidget* parent = nullptr);
    ~TfrmMain() override;

    TfrmMain(const TfrmMain&) = delete;
    TfrmMain& operator=(const TfrmMain&) = delete;

    TFileList& FileList() { return FFileList; }

    // The six values every adjuster is built from, as they stand now.
    TConversionSettings CurrentSettings() const;
    // What a batch started now would convert, and how.
    TBatchInput BatchInput() const;

    // The row the colour pair dialog hands over: "あり"/"なし", "#RRGGBB", "#RRGGBB".
    void AddColorRow(bool Adjust, TRGBColor Before, TRGBColor After);
    // Rebuilds AdjustFlags, BeforeColors and AfterColors from the rows of lvwColors.
    void UpdateSpecificColors();

    // Two hexadecimal digits to their value; EConvertError when they are not.
    virtual int HexToInt(const QString& Digits) const;

    // Where the pop-up of bbnCheckPlus opens, in screen coordinates.
    QPoint CheckPlusMenuPoint() const;

    QPointer<TfrmBatch> BatchForm() const { return FBatchForm; }
    QPointer<TfrmPreview> PreviewForm() const { return FPreviewForm; }

    // The font of every window: a proportional Japanese face at the size the layout was
    // designed for.
    static QFont InterfaceFont();
    // "Tessival " and the version, an empty line and the credits.
    static QString AboutText();
    static QString GetFileVersion();
    // Writes "pictureshow.html" into Folder showing the picture (PNG, GIF, SVG, JPEG, WebP) and
    // returns its path, or the picture's own path when the page cannot be written. An .svgz is
    // shown from the SVG inside, written beside the page as "pictureshow.svg".
    static QString MakePicturePage(const QString& PicturePath, const QString& Folder);
    // The readme beside the executable, else the installed one; empty when neither exists.
    static QString ReadmePath();
    // Opens a file in the desktop's text editor, or in $VISUAL/$EDITOR in a terminal.
    // False when neither could be started.
    static bool OpenInTextEditor(const QString& Path, const std::function<bool(const QUrl&)>& OpenUrl);

    // What 色置換実行 says before it starts: the number of checked files, whether backups
    // are made, and how many of them are photos that lose a little quality; asked with Yes and No.
    static QString BatchQuestion(int CheckedFiles, bool Backup, int CheckedPhotos = 0);
    // What it says when no file is checked; nothing starts.
    static QString NothingToConvertText();
    // The folder the picture preview page is written to: the user's runtime folder, else the
    // cache folder; never the program's own.
    static QString PicturePageFolder();
    // Messages when the readme or a text editor cannot be opened.
    static QString ReadmeFailureText(const QString& Path);
    static QString EditorFailureText(const QString& Path);

    // After a batch has written the files: the scroll bars back to zero and the colour pairs
    // gone, so the preview and a next batch start from the files as they now are.
    void ResetAdjustment();
    // Names from the command line: folders searched as the folder command does, files added.
    void AddCommandLineFiles(const QStringList& Names);
    // How documents are handed to the desktop; the tests replace it.
    void SetUrlOpener(std::function<bool(const QUrl&)> Opener) { FOpenUrl = std::move(Opener); }

    // Exposed for the tests.
    const std::vector<std::uint8_t>& AdjustFlags() const { return FSettings.AdjustFlags; }
    const std::vector<TRGBColor>& BeforeColors() const { return FSettings.BeforeColors; }
    const std::vector<TRGBColor>& AfterColors() const { return FSettings.AfterColors; }

public slots:
    // File list.
    void bbnOpenFileClick();
    void bbnOpenFolderClick();
    void bbnDeleteFileClick();
    void bbnAllDeleteFileClick();
    void bbnAllCheckClick();
    void bbnAllCheckClearClick();
    void bbnCheckPlusClick();
    void mitCssClick();
    void mitPngClick();
    void mitGifClick();
    void mitSvgClick();
    void mitJpegClick();
    void mitWebpClick();
    void mitHtmlClick();
    void bbnShowPreviewClick();

    // Adjustment, specific colours, settings and commands.
    void ScrollChange();
    void btnNewColorsClick();
    void btnDeleteColorsClick();
    void udnRefreshTimeChange();
    void bbnOperationClick();
    void mitURLClick();
    void mitBackupClick();
    void mitExitClick();
    void mitReadmeClick();
    void mitAboutClick();

    // Adds the dropped names as the drop rules say.
    void AddDroppedFiles(const QStringList& Names);

protected:
    void showEvent(QShowEvent* Event) override;
    void closeEvent(QCloseEvent* Event) override;
    void dragEnterEvent(QDragEnterEvent* Event) override;
    void dragMoveEvent(QDragMoveEvent* Event) override;
    void dropEvent(QDropEvent* Event) override;
    bool eventFilter(QObject* Watched, QEvent* Event) override;

private:
    void CreateFilePanel(QWidget* Parent);
    QGroupBox* CreateHSBGroup(QWidget* Parent);
    QGroupBox* CreateSpecificColorsGroup(QWidget* Parent);
    QGroupBox* CreateSettingGroup(QWidget* Parent);
    void CreateMenus();
    void FormShow();
    void lvwFileKeyDown(QKeyEvent* Event, bool& Handled);
    void lvwColorsKeyDown(QKeyEvent* Event, bool& Handled);
    void ShowPreviewOf(const QString& Url);
    void StartBatch();
    void FitFileColumns();
    QList<QWidget*> SecondaryWindows() const;
    void CloseSecondaryWindows();

    QWidget* pnlFile = nullptr;
    QTableWidget* lvwFile = nullptr;
    QToolButton* bbnOpenFile = nullptr;
    QToolButton* bbnOpenFolder = nullptr;
    QToolButton* bbnDeleteFile = nullptr;
    QToolButton* bbnAllCheck = nullptr;
    QToolButton* bbnAllCheckClear = nullptr;
    QToolButton* bbnCheckPlus = nullptr;
    QToolButton* bbnShowPreview = nullptr;
    QToolButton* bbnAllDeleteFile = nullptr;
    QMenu* pupCheckPlus = nullptr;

    QGroupBox* grpHSB = nullptr;
    QScrollBar* scbH = nullptr;
    QScrollBar* scbS = nullptr;
    QScrollBar* scbB = nullptr;
    QLabel* lblHValue = nullptr;
    QLabel* lblSValue = nullptr;
    QLabel* lblBValue = nullptr;
    QSpinBox* udnH = nullptr;
    QSpinBox* udnS = nullptr;
    QSpinBox* udnB = nullptr;

    QGroupBox* grpSpecificColors = nullptr;
    QTableWidget* lvwColors = nullptr;
    QPushButton* btnNewColors = nullptr;
    QPushButton* btnDeleteColors = nullptr;

    QGroupBox* grpSetting = nullptr;
    QCheckBox* cbxBackup = nullptr;
    QCheckBox* cbxSubFolderSearch = nullptr;
    QCheckBox* cbxGifTransparent = nullptr;
    QLabel* lblRefreshTime = nullptr;
    QSpinBox* udnRefreshTime = nullptr;

    QPushButton* bbnOperation = nullptr;

    TFileList FFileList;
    TConversionSettings FSettings;
    QString SelectFolderName;
    bool FDropTargetRegistered = false;

    QPointer<TfrmBatch> FBatchForm;
    QPointer<TfrmPreview> FPreviewForm;
    QPointer<TfrmUrlView> FUrlViewForm;
    QPointer<TfrmColourPair> FColourPairForm;
    QPointer<TfrmBackup> FBackupForm;
    std::function<bool(const QUrl&)> FOpenUrl;
};

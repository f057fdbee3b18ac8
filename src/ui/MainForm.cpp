#include "ui/MainForm.h"

#include "batch/FileConverter.h"
#include "batch/GzipMember.h"
#include "colour/HexColour.h"
#include "ui/BackupForm.h"
#include "ui/PreviewForm.h"
#include "ui/ColourPairForm.h"
#include "ui/BatchForm.h"
#include "ui/UrlViewForm.h"
#include "ui/WindowPlacement.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QDesktopServices>
#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileDialog>
#include <QFileInfo>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QMimeData>
#include <QPainter>
#include <QPainterPath>
#include <QProcess>
#include <QProcessEnvironment>
#include <QPushButton>
#include <QSaveFile>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QSpinBox>
#include <QStandardPaths>
#include <QStyle>
#include <QTableWidget>
#include <QToolButton>
#include <QUrl>
#include <QVBoxLayout>

#include <algorithm>

namespace {

// Design size of the client area; the file panel takes whatever the window grows by.
constexpr int ClientWidth = 583;
constexpr int ClientHeight = 502;
constexpr int RightColumnWidth = 249;

QToolButton* PictureButton(QWidget* Parent, const char* Name, const QString& ToolTip, QStyle::StandardPixmap Icon)
{
    auto* Button = new QToolButton(Parent);
    Button->setObjectName(QLatin1String(Name));
    Button->setToolTip(ToolTip);
    Button->setAccessibleName(ToolTip);
    Button->setIcon(Parent->style()->standardIcon(Icon, nullptr, Button));
    Button->setIconSize(QSize(16, 16));
    Button->setFixedSize(24, 24);
    Button->setAutoRaise(false);
    return Button;
}

QLabel* ValueLabel(QWidget* Parent, const char* Name)
{
    auto* Label = new QLabel(QStringLiteral("0"), Parent);
    Label->setObjectName(QLatin1String(Name));
    Label->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    Label->setMinimumWidth(Label->fontMetrics().horizontalAdvance(QStringLiteral("-255")) + 2);
    return Label;
}

QScrollBar* OffsetBar(QWidget* Parent, const char* Name, int Limit)
{
    auto* Bar = new QScrollBar(Qt::Horizontal, Parent);
    Bar->setObjectName(QLatin1String(Name));
    Bar->setRange(-Limit, Limit);
    Bar->setValue(0);
    Bar->setSingleStep(1);
    Bar->setPageStep(1);
    // Reached by Tab and moved by the arrow keys.
    Bar->setFocusPolicy(Qt::StrongFocus);
    // A scroll bar's keys run the other way by default; here Right and Up raise the value.
    Bar->setInvertedControls(false);
    return Bar;
}

QSpinBox* OffsetBox(QWidget* Parent, const char* Name, int Limit)
{
    auto* Box = new QSpinBox(Parent);
    Box->setObjectName(QLatin1String(Name));
    Box->setRange(-Limit, Limit);
    Box->setValue(0);
    Box->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    Box->setKeyboardTracking(false);
    Box->setFixedWidth(Box->fontMetrics().horizontalAdvance(QStringLiteral("-2550")) + 24);
    return Box;
}

// Shows a single-instance window again, in front.
void ShowAgain(QWidget* Form)
{
    Form->show();
    Form->raise();
    Form->activateWindow();
}

// Six hue sectors around a white centre: the program's own window icon.
QIcon ProgramIcon()
{
    QIcon Icon;
    for (int Size : {16, 32, 48, 64}) {
        QPixmap Pixmap(Size, Size);
        Pixmap.fill(Qt::transparent);
        QPainter Painter(&Pixmap);
        Painter.setRenderHint(QPainter::Antialiasing);
        const QRectF Box(0.5, 0.5, Size - 1.0, Size - 1.0);
        for (int Sector = 0; Sector < 6; ++Sector) {
            Painter.setPen(Qt::NoPen);
            Painter.setBrush(QColor::fromHsv(Sector * 60, 220, 240));
            Painter.drawPie(Box, (90 - Sector * 60) * 16, -60 * 16);
        }
        Painter.setBrush(Qt::white);
        Painter.drawEllipse(Box.center(), Size / 5.0, Size / 5.0);
        Icon.addPixmap(Pixmap);
    }
    return Icon;
}

// The command line of the desktop's default application for plain text, from its desktop
// entry; empty when there is none.
QStringList DesktopTextEditor(const QString& Path)
{
    QProcess Query;
    Query.start(QStringLiteral("xdg-mime"), {QStringLiteral("query"), QStringLiteral("default"), QStringLiteral("text/plain")});
    if (!Query.waitForFinished(3000) || Query.exitCode() != 0)
        return {};
    const QString Entry = QString::fromUtf8(Query.readAllStandardOutput()).trimmed();
    if (Entry.isEmpty())
        return {};
    const QString EntryPath = QStandardPaths::locate(QStandardPaths::ApplicationsLocation, Entry);
    QFile File(EntryPath);
    if (EntryPath.isEmpty() || !File.open(QIODevice::ReadOnly | QIODevice::Text))
        return {};
    QString Exec;
    bool InMainGroup = false;
    while (!File.atEnd()) {
        const QString Line = QString::fromUtf8(File.readLine()).trimmed();
        if (Line.startsWith(QLatin1Char('[')))
            InMainGroup = Line == QLatin1String("[Desktop Entry]");
        else if (InMainGroup && Line.startsWith(QLatin1String("Exec="))) {
            Exec = Line.mid(5);
            break;
        }
    }
    QStringList Command;
    bool PathGiven = false;
    for (const QString& Argument : QProcess::splitCommand(Exec)) {
        if (Argument == QLatin1String("%f") || Argument == QLatin1String("%F")) {
            Command << Path;
            PathGiven = true;
        } else if (Argument == QLatin1String("%u") || Argument == QLatin1String("%U")) {
            Command << QUrl::fromLocalFile(Path).toString();
            PathGiven = true;
        } else if (Argument.size() == 2 && Argument.startsWith(QLatin1Char('%'))) {
            continue;
        } else {
            Command << Argument;
        }
    }
    if (!Command.isEmpty() && !PathGiven)
        Command << Path;
    return Command;
}

}  // namespace

TfrmMain::TfrmMain(QWidget* parent)
    : QMainWindow(parent), FFileList(nullptr), FOpenUrl([](const QUrl& Url) { return QDesktopServices::openUrl(Url); })
{
    setObjectName(QStringLiteral("frmMain"));
    setWindowTitle(QStringLiteral("Tessival"));
    setWindowIcon(ProgramIcon());

    // On a screen too small for the design (a laptop at double scale) the controls scroll
    // rather than the window leave the screen.
    auto* scrClient = new QScrollArea(this);
    scrClient->setObjectName(QStringLiteral("scrClient"));
    scrClient->setFrameShape(QFrame::NoFrame);
    scrClient->setWidgetResizable(true);
    auto* Client = new QWidget(scrClient);
    Client->setObjectName(QStringLiteral("Client"));
    scrClient->setWidget(Client);
    setCentralWidget(scrClient);

    CreateFilePanel(Client);
    auto* RightColumn = new QWidget(Client);
    RightColumn->setObjectName(QStringLiteral("RightColumn"));
    // The designed width, or as wide as its captions need in this font and language.
    RightColumn->setMinimumWidth(RightColumnWidth);
    RightColumn->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Preferred);
    grpHSB = CreateHSBGroup(RightColumn);
    grpSpecificColors = CreateSpecificColorsGroup(RightColumn);
    grpSetting = CreateSettingGroup(RightColumn);
    bbnOperation = new QPushButton(tr("色置換実行(&O)..."), RightColumn);
    bbnOperation->setObjectName(QStringLiteral("bbnOperation"));
    bbnOperation->setIcon(style()->standardIcon(QStyle::SP_DialogApplyButton));
    bbnOperation->setFixedHeight(50);
    bbnOperation->setAccessibleName(tr("色置換実行"));

    grpHSB->setFixedHeight(121);
    grpSpecificColors->setFixedHeight(157);
    grpSetting->setFixedHeight(117);
    auto* Column = new QVBoxLayout(RightColumn);
    Column->setContentsMargins(0, 4, 0, 0);
    Column->setSpacing(0);
    Column->addWidget(grpHSB);
    Column->addSpacing(15);
    Column->addWidget(grpSpecificColors);
    Column->addSpacing(15);
    Column->addWidget(grpSetting);
    Column->addSpacing(11);
    Column->addWidget(bbnOperation);
    Column->addStretch(1);

    auto* Left = new QVBoxLayout;
    Left->setContentsMargins(0, 8, 0, 8);
    Left->addWidget(pnlFile);
    auto* Layout = new QHBoxLayout(Client);
    Layout->setContentsMargins(8, 0, ClientWidth - 325 - RightColumnWidth, 0);
    Layout->setSpacing(0);
    Layout->addLayout(Left, 1);
    Layout->addSpacing(325 - 8 - 306);
    Layout->addWidget(RightColumn, 0);
    Layout->setAlignment(RightColumn, Qt::AlignTop);

    CreateMenus();

    connect(bbnOperation, &QPushButton::clicked, this, &TfrmMain::bbnOperationClick);

    // A wider right-hand column widens the window; the file panel keeps its designed width.
    const int Wider = std::max(0, RightColumn->sizeHint().width() - RightColumnWidth);
    Client->setMinimumSize(ClientWidth + Wider, ClientHeight);
    resize(ClientWidth + Wider, ClientHeight + menuBar()->sizeHint().height());
    if (const QScreen* Screen = QGuiApplication::primaryScreen()) {
        const QRect Available = Screen->availableGeometry();
        // Room kept for the frame the window system adds.
        const QSize Frame(16, 40);
        if (width() > Available.width() || height() > Available.height()) {
            QSize Wanted = size();
            // Controls that scroll up and down need the width of the bar beside them too, or
            // they scroll sideways as well where the screen had room.
            if (height() > Available.height() - Frame.height())
                Wanted.rwidth() += scrClient->verticalScrollBar()->sizeHint().width();
            resize(Wanted.boundedTo(Available.size() - Frame));
        }
        move(Available.center() - rect().center());
    }
}

TfrmMain::~TfrmMain()
{
    delete FBatchForm.data();
    for (QWidget* Form : SecondaryWindows())
        delete Form;
}

void TfrmMain::CreateFilePanel(QWidget* Parent)
{
    pnlFile = new QWidget(Parent);
    pnlFile->setObjectName(QStringLiteral("pnlFile"));

    lvwFile = new QTableWidget(pnlFile);
    lvwFile->setObjectName(QStringLiteral("lvwFile"));
    TFileList::SetUpTable(lvwFile);
    lvwFile->installEventFilter(this);
    lvwFile->viewport()->installEventFilter(this);
    lvwFile->setAccessibleName(tr("変換するファイルの一覧"));
    FFileList = TFileList(lvwFile);

    bbnOpenFile = PictureButton(pnlFile, "bbnOpenFile", tr("ファイルからリストに追加"), QStyle::SP_FileIcon);
    bbnOpenFolder = PictureButton(pnlFile, "bbnOpenFolder", tr("フォルダからリストに追加"), QStyle::SP_DirOpenIcon);
    bbnDeleteFile = PictureButton(pnlFile, "bbnDeleteFile", tr("選択したファイルを消す"), QStyle::SP_DialogDiscardButton);
    bbnAllCheck = PictureButton(pnlFile, "bbnAllCheck", tr("全てチェックする"), QStyle::SP_DialogYesButton);
    bbnAllCheckClear = PictureButton(pnlFile, "bbnAllCheckClear", tr("すべてのチェックをはずす"), QStyle::SP_DialogNoButton);
    bbnCheckPlus = PictureButton(pnlFile, "bbnCheckPlus", tr("指定した拡張子をチェックする"), QStyle::SP_FileDialogDetailedView);
    bbnShowPreview = PictureButton(pnlFile, "bbnShowPreview", tr("プレビュー画面を開く"), QStyle::SP_FileDialogContentsView);
    bbnAllDeleteFile = PictureButton(pnlFile, "bbnAllDeleteFile", tr("リストをクリアする"), QStyle::SP_TrashIcon);

    pupCheckPlus = new QMenu(this);
    pupCheckPlus->setObjectName(QStringLiteral("pupCheckPlus"));
    const auto AddCheckItem = [this](const char* Name, const QString& Caption, void (TfrmMain::*Handler)()) {
        QAction* Item = pupCheckPlus->addAction(Caption);
        Item->setObjectName(QLatin1String(Name));
        connect(Item, &QAction::triggered, this, Handler);
    };
    AddCheckItem("mitCss", tr("css をチェック(&C)"), &TfrmMain::mitCssClick);
    AddCheckItem("mitPng", tr("png をチェック(&P)"), &TfrmMain::mitPngClick);
    AddCheckItem("mitGif", tr("gif をチェック(&G)"), &TfrmMain::mitGifClick);
    AddCheckItem("mitHtml", tr("htmlをチェック(&H)"), &TfrmMain::mitHtmlClick);
    AddCheckItem("mitSvg", tr("svg をチェック(&S)"), &TfrmMain::mitSvgClick);
    AddCheckItem("mitJpeg", tr("jpeg をチェック(&J)"), &TfrmMain::mitJpegClick);
    AddCheckItem("mitWebp", tr("webp をチェック(&W)"), &TfrmMain::mitWebpClick);

    auto* Buttons = new QHBoxLayout;
    Buttons->setContentsMargins(0, 0, 0, 0);
    Buttons->setSpacing(2);
    for (QToolButton* Button : {bbnOpenFile, bbnOpenFolder, bbnDeleteFile, bbnAllCheck, bbnAllCheckClear,
                                bbnCheckPlus, bbnShowPreview})
        Buttons->addWidget(Button);
    Buttons->addStretch(1);
    Buttons->addWidget(bbnAllDeleteFile);

    auto* Layout = new QVBoxLayout(pnlFile);
    Layout->setContentsMargins(0, 0, 0, 0);
    Layout->setSpacing(4);
    Layout->addWidget(lvwFile, 1);
    Layout->addLayout(Buttons);

    connect(bbnOpenFile, &QToolButton::clicked, this, &TfrmMain::bbnOpenFileClick);
    connect(bbnOpenFolder, &QToolButton::clicked, this, &TfrmMain::bbnOpenFolderClick);
    connect(bbnDeleteFile, &QToolButton::clicked, this, &TfrmMain::bbnDeleteFileClick);
    connect(bbnAllCheck, &QToolButton::clicked, this, &TfrmMain::bbnAllCheckClick);
    connect(bbnAllCheckClear, &QToolButton::clicked, this, &TfrmMain::bbnAllCheckClearClick);
    connect(bbnCheckPlus, &QToolButton::clicked, this, &TfrmMain::bbnCheckPlusClick);
    connect(bbnShowPreview, &QToolButton::clicked, this, &TfrmMain::bbnShowPreviewClick);
    connect(bbnAllDeleteFile, &QToolButton::clicked, this, &TfrmMain::bbnAllDeleteFileClick);
    connect(lvwFile, &QTableWidget::cellDoubleClicked, this, &TfrmMain::bbnShowPreviewClick);
}

QGroupBox* TfrmMain::CreateHSBGroup(QWidget* Parent)
{
    auto* Group = new QGroupBox(tr("色の調節(&A)"), Parent);
    Group->setObjectName(QStringLiteral("grpHSB"));
    scbH = OffsetBar(Group, "scbH", 180);
    scbS = OffsetBar(Group, "scbS", 255);
    scbB = OffsetBar(Group, "scbB", 255);
    lblHValue = ValueLabel(Group, "lblHValue");
    lblSValue = ValueLabel(Group, "lblSValue");
    lblBValue = ValueLabel(Group, "lblBValue");
    udnH = OffsetBox(Group, "udnH", 180);
    udnS = OffsetBox(Group, "udnS", 255);
    udnB = OffsetBox(Group, "udnB", 255);

    auto* Grid = new QGridLayout(Group);
    Grid->setContentsMargins(8, 6, 8, 6);
    Grid->setHorizontalSpacing(6);
    // The number box beside each bar shows its value and takes a typed one; the value label
    // it replaces on the screen is kept up to date for whoever reads it.
    const auto AddRow = [this, Group, Grid](int Row, const char* Name, const QString& Caption, QScrollBar* Bar,
                                            QLabel* Value, QSpinBox* Box) {
        auto* Label = new QLabel(Caption, Group);
        Label->setObjectName(QLatin1String(Name));
        Label->setBuddy(Bar);
        Bar->setAccessibleName(Caption);
        Box->setAccessibleName(tr("%1の値").arg(Caption));
        Value->hide();
        Grid->addWidget(Label, Row, 0);
        Grid->addWidget(Bar, Row, 1);
        Grid->addWidget(Value, Row, 2);
        Grid->addWidget(Box, Row, 3);
        connect(Bar, &QScrollBar::valueChanged, Box, &QSpinBox::setValue);
        connect(Box, &QSpinBox::valueChanged, Bar, &QScrollBar::setValue);
        connect(Bar, &QScrollBar::valueChanged, this, &TfrmMain::ScrollChange);
        setTabOrder(Bar, Box);
    };
    AddRow(0, "lblH", tr("色相"), scbH, lblHValue, udnH);
    AddRow(1, "lblS", tr("彩度"), scbS, lblSValue, udnS);
    AddRow(2, "lblB", tr("明度"), scbB, lblBValue, udnB);
    Grid->setColumnStretch(1, 1);
    return Group;
}

QGroupBox* TfrmMain::CreateSpecificColorsGroup(QWidget* Parent)
{
    auto* Group = new QGroupBox(tr("特定色変更(&C)"), Parent);
    Group->setObjectName(QStringLiteral("grpSpecificColors"));

    lvwColors = new QTableWidget(Group);
    lvwColors->setObjectName(QStringLiteral("lvwColors"));
    lvwColors->setColumnCount(3);
    lvwColors->setHorizontalHeaderLabels({tr("調整"), tr("この色を"), tr("この色に")});
    lvwColors->setColumnWidth(0, 36);
    lvwColors->setColumnWidth(1, 85);
    lvwColors->setColumnWidth(2, 85);
    lvwColors->horizontalHeader()->setHighlightSections(false);
    lvwColors->horizontalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    lvwColors->verticalHeader()->setVisible(false);
    lvwColors->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    lvwColors->verticalHeader()->setDefaultSectionSize(lvwColors->fontMetrics().height() + 4);
    lvwColors->setShowGrid(true);
    lvwColors->setWordWrap(false);
    lvwColors->setSelectionBehavior(QAbstractItemView::SelectRows);
    lvwColors->setSelectionMode(QAbstractItemView::ExtendedSelection);
    lvwColors->setEditTriggers(QAbstractItemView::NoEditTriggers);
    lvwColors->installEventFilter(this);
    lvwColors->setAccessibleName(tr("特定色の一覧"));

    btnNewColors = new QPushButton(tr("追加(&P)..."), Group);
    btnNewColors->setObjectName(QStringLiteral("btnNewColors"));
    btnDeleteColors = new QPushButton(tr("消す(&D)"), Group);
    btnDeleteColors->setObjectName(QStringLiteral("btnDeleteColors"));
    btnNewColors->setAccessibleName(tr("特定色を追加"));
    btnDeleteColors->setAccessibleName(tr("選択した特定色を消す"));

    auto* Buttons = new QHBoxLayout;
    Buttons->addStretch(1);
    Buttons->addWidget(btnNewColors);
    Buttons->addWidget(btnDeleteColors);
    auto* Layout = new QVBoxLayout(Group);
    Layout->setContentsMargins(8, 6, 8, 6);
    Layout->setSpacing(4);
    Layout->addWidget(lvwColors, 1);
    Layout->addLayout(Buttons);

    connect(btnNewColors, &QPushButton::clicked, this, &TfrmMain::btnNewColorsClick);
    connect(btnDeleteColors, &QPushButton::clicked, this, &TfrmMain::btnDeleteColorsClick);
    return Group;
}

QGroupBox* TfrmMain::CreateSettingGroup(QWidget* Parent)
{
    auto* Group = new QGroupBox(tr("設定(&S)"), Parent);
    Group->setObjectName(QStringLiteral("grpSetting"));

    cbxBackup = new QCheckBox(tr("バックアップファイルをつくる(&B)"), Group);
    cbxBackup->setObjectName(QStringLiteral("cbxBackup"));
    cbxBackup->setChecked(true);
    // Alt+F belongs to the file menu.
    cbxSubFolderSearch = new QCheckBox(tr("フォルダを開くときサブフォルダも検索(&U)"), Group);
    cbxSubFolderSearch->setObjectName(QStringLiteral("cbxSubFolderSearch"));
    cbxSubFolderSearch->setChecked(true);
    cbxGifTransparent = new QCheckBox(tr("透過GIF対応（透過は常に保ちます・互換用）(&G)"), Group);
    cbxGifTransparent->setObjectName(QStringLiteral("cbxGifTransparent"));
    cbxGifTransparent->setToolTip(tr("GIF の透明な画素（透過色のインデックスの画素）は、この項目にかかわらず透明のまま残り、"
                                     "ほかの画素が透明になることはありません。\nこの項目は以前の設定との互換のために残してあり、"
                                     "変換の結果は変わりません。"));
    cbxGifTransparent->setChecked(false);
    cbxBackup->setAccessibleName(tr("バックアップファイルをつくる"));
    cbxSubFolderSearch->setAccessibleName(tr("フォルダを開くときサブフォルダも検索"));
    cbxGifTransparent->setAccessibleName(tr("透過GIF対応"));

    lblRefreshTime = new QLabel(tr("プレビューの更新時間[秒]:"), Group);
    lblRefreshTime->setObjectName(QStringLiteral("lblRefreshTime"));
    udnRefreshTime = new QSpinBox(Group);
    udnRefreshTime->setObjectName(QStringLiteral("udnRefreshTime"));
    udnRefreshTime->setRange(1, 100);
    udnRefreshTime->setSingleStep(1);
    udnRefreshTime->setValue(3);
    udnRefreshTime->setWrapping(false);
    udnRefreshTime->setGroupSeparatorShown(false);
    udnRefreshTime->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    // The number changes by the arrows only; typing into it is refused.
    if (auto* edtRefreshTime = udnRefreshTime->findChild<QLineEdit*>()) {
        edtRefreshTime->setObjectName(QStringLiteral("edtRefreshTime"));
        edtRefreshTime->setReadOnly(true);
    }
    lblRefreshTime->setBuddy(udnRefreshTime);
    udnRefreshTime->setAccessibleName(tr("プレビューの更新時間（秒）"));

    auto* RefreshRow = new QHBoxLayout;
    RefreshRow->addWidget(lblRefreshTime);
    RefreshRow->addWidget(udnRefreshTime);
    RefreshRow->addStretch(1);
    auto* Layout = new QVBoxLayout(Group);
    Layout->setContentsMargins(8, 4, 4, 4);
    Layout->setSpacing(2);
    Layout->addWidget(cbxBackup);
    Layout->addWidget(cbxSubFolderSearch);
    Layout->addWidget(cbxGifTransparent);
    Layout->addLayout(RefreshRow);

    connect(udnRefreshTime, &QSpinBox::valueChanged, this, &TfrmMain::udnRefreshTimeChange);
    return Group;
}

void TfrmMain::CreateMenus()
{
    QMenuBar* mnuMain = menuBar();
    mnuMain->setObjectName(QStringLiteral("mnuMain"));
    const auto AddItem = [this](QMenu* Menu, const char* Name, const QString& Caption, void (TfrmMain::*Handler)()) {
        QAction* Item = Menu->addAction(Caption);
        Item->setObjectName(QLatin1String(Name));
        connect(Item, &QAction::triggered, this, Handler);
        return Item;
    };

    QMenu* mitFile = mnuMain->addMenu(tr("ファイル(&F)"));
    mitFile->setObjectName(QStringLiteral("mitFile"));
    AddItem(mitFile, "mitOpenFile", tr("ファイルを追加(&F)..."), &TfrmMain::bbnOpenFileClick);
    AddItem(mitFile, "mitOpenFolder", tr("フォルダを追加(&O)..."), &TfrmMain::bbnOpenFolderClick);
    AddItem(mitFile, "mitListClear", tr("ファイルリストをクリア(&C)"), &TfrmMain::bbnAllDeleteFileClick);
    mitFile->addSeparator();
    AddItem(mitFile, "mitExit", tr("終了(&X)"), &TfrmMain::mitExitClick);

    QMenu* mitEdit = mnuMain->addMenu(tr("編集(&E)"));
    mitEdit->setObjectName(QStringLiteral("mitEdit"));
    AddItem(mitEdit, "mitURL", tr("URLでプレビュー(&U)..."), &TfrmMain::mitURLClick);
    AddItem(mitEdit, "mitBackup", tr("バックアップの復元/消去(&B)..."), &TfrmMain::mitBackupClick);
    mitEdit->addSeparator();
    AddItem(mitEdit, "mitOperation", tr("色置換実行(&O)..."), &TfrmMain::bbnOperationClick);

    QMenu* mitHelp = mnuMain->addMenu(tr("ヘルプ(&H)"));
    mitHelp->setObjectName(QStringLiteral("mitHelp"));
    AddItem(mitHelp, "mitReadme", tr("Readme(&R)"), &TfrmMain::mitReadmeClick);
    mitHelp->addSeparator();
    AddItem(mitHelp, "mitAbout", tr("バージョン情報(&A)..."), &TfrmMain::mitAboutClick);
}

TConversionSettings TfrmMain::CurrentSettings() const
{
    TConversionSettings Settings = FSettings;
    Settings.HueOffset = scbH->value();
    Settings.SatOffset = scbS->value();
    Settings.BrightOffset = scbB->value();
    return Settings;
}

TBatchInput TfrmMain::BatchInput() const
{
    TBatchInput Input;
    Input.Items = FFileList.BatchItems();
    Input.Skipped = FFileList.Skipped();
    Input.Settings = CurrentSettings();
    Input.Backup = cbxBackup->isChecked();
    Input.GifTransparent = cbxGifTransparent->isChecked();
    return Input;
}

// ---- File list

void TfrmMain::bbnOpenFileClick()
{
    QFileDialog dlgOpenFile(this);
    dlgOpenFile.setObjectName(QStringLiteral("dlgOpenFile"));
    dlgOpenFile.setFileMode(QFileDialog::ExistingFiles);
    dlgOpenFile.setAcceptMode(QFileDialog::AcceptOpen);
    QStringList Patterns;
    for (const QString& Extension : FileListRules::ListedExtensions())
        Patterns.append(QLatin1Char('*') + Extension);
    dlgOpenFile.setNameFilter(tr("変更可能ファイル(%1)").arg(Patterns.join(QLatin1Char(' '))));
    dlgOpenFile.setSizeGripEnabled(true);
    dlgOpenFile.setFilter(dlgOpenFile.filter() & ~QDir::CaseSensitive);
    if (dlgOpenFile.exec() == QDialog::Accepted)
        FFileList.AddFiles(dlgOpenFile.selectedFiles());
}

void TfrmMain::bbnOpenFolderClick()
{
    QFileDialog fdlOpenFolder(this, tr("フォルダを開く"), SelectFolderName);
    fdlOpenFolder.setObjectName(QStringLiteral("fdlOpenFolder"));
    fdlOpenFolder.setFileMode(QFileDialog::Directory);
    fdlOpenFolder.setOption(QFileDialog::ShowDirsOnly, true);
    if (fdlOpenFolder.exec() != QDialog::Accepted || fdlOpenFolder.selectedFiles().isEmpty())
        return;
    const QString Folder = fdlOpenFolder.selectedFiles().first();
    if (Folder.isEmpty() || !QFileInfo(Folder).isDir())
        return;
    SelectFolderName = Folder;
    FFileList.AddFolder(Folder, cbxSubFolderSearch->isChecked());
}

void TfrmMain::bbnDeleteFileClick()
{
    FFileList.DeleteSelected();
}

void TfrmMain::bbnAllDeleteFileClick()
{
    FFileList.Clear();
}

void TfrmMain::bbnAllCheckClick()
{
    FFileList.CheckAll(true);
}

void TfrmMain::bbnAllCheckClearClick()
{
    FFileList.CheckAll(false);
}

QPoint TfrmMain::CheckPlusMenuPoint() const
{
    return bbnCheckPlus->parentWidget()->mapToGlobal(bbnCheckPlus->pos() + QPoint(20, 20));
}

void TfrmMain::bbnCheckPlusClick()
{
    pupCheckPlus->popup(CheckPlusMenuPoint());
}

void TfrmMain::mitCssClick()
{
    FFileList.CheckExtension(QStringLiteral("css"));
}

void TfrmMain::mitPngClick()
{
    FFileList.CheckExtension(QStringLiteral("png"));
}

void TfrmMain::mitGifClick()
{
    FFileList.CheckExtension(QStringLiteral("gif"));
}

void TfrmMain::mitSvgClick()
{
    FFileList.CheckExtension(QStringLiteral("svg"));
    FFileList.CheckExtension(QStringLiteral("svgz"));
}

void TfrmMain::mitJpegClick()
{
    FFileList.CheckExtension(QStringLiteral("jpg"));
    FFileList.CheckExtension(QStringLiteral("jpeg"));
    FFileList.CheckExtension(QStringLiteral("jpe"));
    FFileList.CheckExtension(QStringLiteral("jfif"));
}

void TfrmMain::mitWebpClick()
{
    FFileList.CheckExtension(QStringLiteral("webp"));
}

void TfrmMain::mitHtmlClick()
{
    FFileList.CheckExtension(QStringLiteral("htm"));
    FFileList.CheckExtension(QStringLiteral("html"));
}

void TfrmMain::AddDroppedFiles(const QStringList& Names)
{
    FFileList.AddDropped(Names, cbxSubFolderSearch->isChecked());
}

void TfrmMain::FormShow()
{
    if (FDropTargetRegistered)
        return;
    setAcceptDrops(true);
    FDropTargetRegistered = true;
}

void TfrmMain::showEvent(QShowEvent* Event)
{
    QMainWindow::showEvent(Event);
    FormShow();
}

void TfrmMain::dragEnterEvent(QDragEnterEvent* Event)
{
    if (Event->mimeData()->hasUrls())
        Event->acceptProposedAction();
}

void TfrmMain::dragMoveEvent(QDragMoveEvent* Event)
{
    if (Event->mimeData()->hasUrls())
        Event->acceptProposedAction();
}

void TfrmMain::dropEvent(QDropEvent* Event)
{
    if (!Event->mimeData()->hasUrls())
        return;
    QStringList Names;
    for (const QUrl& Url : Event->mimeData()->urls()) {
        if (Url.isLocalFile())
            Names.append(Url.toLocalFile());
    }
    Event->acceptProposedAction();
    AddDroppedFiles(Names);
}

bool TfrmMain::eventFilter(QObject* Watched, QEvent* Event)
{
    if (Watched == lvwFile->viewport() && Event->type() == QEvent::Resize)
        FitFileColumns();
    if (Event->type() == QEvent::KeyPress) {
        bool Handled = false;
        if (Watched == lvwFile)
            lvwFileKeyDown(static_cast<QKeyEvent*>(Event), Handled);
        else if (Watched == lvwColors)
            lvwColorsKeyDown(static_cast<QKeyEvent*>(Event), Handled);
        if (Handled)
            return true;
    }
    return QMainWindow::eventFilter(Watched, Event);
}

void TfrmMain::lvwFileKeyDown(QKeyEvent* Event, bool& Handled)
{
    switch (Event->key()) {
    case Qt::Key_Delete:
        bbnDeleteFileClick();
        Handled = true;
        break;
    case Qt::Key_Return:
    case Qt::Key_Enter:
        bbnShowPreviewClick();
        Handled = true;
        break;
    default:
        break;
    }
}

void TfrmMain::FitFileColumns()
{
    lvwFile->setColumnWidth(TFileList::FileNameColumn, TFileList::NameColumnWidth(lvwFile->viewport()->width()));
}

void TfrmMain::AddCommandLineFiles(const QStringList& Names)
{
    for (const QString& Name : Names) {
        const QFileInfo Info(Name);
        if (Info.isDir())
            FFileList.AddFolder(Info.absoluteFilePath(), cbxSubFolderSearch->isChecked());
        else
            FFileList.AddFile(Info.absoluteFilePath());
    }
}

// ---- Specific colours

void TfrmMain::AddColorRow(bool Adjust, TRGBColor Before, TRGBColor After)
{
    const int Row = lvwColors->rowCount();
    lvwColors->insertRow(Row);
    const QStringList Texts = PairRowTexts(Adjust, Before, After);
    for (int Column = 0; Column < 3; ++Column) {
        auto* Item = new QTableWidgetItem(Texts[Column]);
        Item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable);
        lvwColors->setItem(Row, Column, Item);
    }
    UpdateSpecificColors();
}

void TfrmMain::UpdateSpecificColors()
{
    const int Rows = lvwColors->rowCount();
    TConversionSettings Rebuilt;
    const auto ColorOf = [this](const QTableWidgetItem* Item) {
        const QString Text = Item ? Item->text() : QString();
        return TRGBColor{HexToInt(Text.mid(1, 2)), HexToInt(Text.mid(3, 2)), HexToInt(Text.mid(5, 2))};
    };
    for (int Row = 0; Row < Rows; ++Row) {
        const QTableWidgetItem* Caption = lvwColors->item(Row, 0);
        Rebuilt.AddPair(ColorOf(lvwColors->item(Row, 1)), ColorOf(lvwColors->item(Row, 2)),
                        Caption && Caption->text() == AdjustCaption(true));
    }
    FSettings.BeforeColors = std::move(Rebuilt.BeforeColors);
    FSettings.AfterColors = std::move(Rebuilt.AfterColors);
    FSettings.AdjustFlags = std::move(Rebuilt.AdjustFlags);
}

int TfrmMain::HexToInt(const QString& Digits) const
{
    return HexDigitsValue(Digits.toStdString());
}

void TfrmMain::btnNewColorsClick()
{
    if (!FColourPairForm) {
        FColourPairForm = new TfrmColourPair;
        FColourPairForm->setAttribute(Qt::WA_DeleteOnClose);
        connect(FColourPairForm.data(), &TfrmColourPair::PairAccepted, this, &TfrmMain::AddColorRow);
    }
    ShowAgain(FColourPairForm);
}

void TfrmMain::btnDeleteColorsClick()
{
    TFileList::DeleteSelectedRows(lvwColors);
    UpdateSpecificColors();
}

void TfrmMain::lvwColorsKeyDown(QKeyEvent* Event, bool& Handled)
{
    if (Event->key() == Qt::Key_Delete) {
        btnDeleteColorsClick();
        Handled = true;
    }
}

// ---- Adjustment and settings

void TfrmMain::ScrollChange()
{
    lblHValue->setText(QString::number(scbH->value()));
    lblSValue->setText(QString::number(scbS->value()));
    lblBValue->setText(QString::number(scbB->value()));
    if (FPreviewForm)
        FPreviewForm->ConvertCapture();
}

void TfrmMain::udnRefreshTimeChange()
{
    if (FPreviewForm)
        FPreviewForm->SetCaptureInterval(udnRefreshTime->value() * 1000);
}

// ---- Commands

QString TfrmMain::BatchQuestion(int CheckedFiles, bool Backup, int CheckedPhotos)
{
    return tr("チェックした %n 個のファイルの色を変換します。\n", nullptr, CheckedFiles) +
           (Backup ? tr("バックアップ：つくる（元のファイルは「.bak」を付けた名前で残ります）\n")
                   : tr("バックアップ：つくらない（元のファイルは残りません）\n")) +
           (CheckedPhotos > 0 ? tr("写真（JPEG・WebP）：%n 個（保存するたびに画質が少し落ちます）\n", nullptr, CheckedPhotos)
                              : QString()) +
           tr("\n実行しますか？");
}

QString TfrmMain::NothingToConvertText()
{
    return tr("変換するファイルがありません。\n"
              "リストにファイルを追加し、変換するファイルにチェックを付けてください。");
}

void TfrmMain::bbnOperationClick()
{
    // A running batch is shown again; a finished one's window gives way to the next batch.
    if (FBatchForm && FBatchForm->IsRunning()) {
        ShowAgain(FBatchForm);
        return;
    }
    if (FBackupForm && FBackupForm->IsWorking()) {
        QMessageBox::information(this, windowTitle(),
                                 tr("バックアップの復元・消去の実行中は色置換を実行できません。"));
        return;
    }
    int Checked = 0, Photos = 0;
    for (int Row = 0; Row < FFileList.Count(); ++Row) {
        Checked += FFileList.IsChecked(Row) ? 1 : 0;
        Photos += FFileList.IsChecked(Row) && FileListRules::IsPhoto(FFileList.FileName(Row)) ? 1 : 0;
    }
    if (Checked == 0) {
        QMessageBox::information(this, windowTitle(), NothingToConvertText());
        return;
    }
    if (QMessageBox::question(this, windowTitle(), BatchQuestion(Checked, cbxBackup->isChecked(), Photos),
                              QMessageBox::Yes | QMessageBox::No, QMessageBox::No) != QMessageBox::Yes)
        return;
    // The question may have been open while something else began.
    if ((FBatchForm && FBatchForm->IsRunning()) || (FBackupForm && FBackupForm->IsWorking()))
        return;
    StartBatch();
}

void TfrmMain::StartBatch()
{
    if (FBatchForm) {
        FBatchForm->close();
        delete FBatchForm.data();
    }
    FBatchForm = new TfrmBatch(BatchInput(), this);
    connect(FBatchForm.data(), &TfrmBatch::ConversionFinished, this, [this, Form = FBatchForm] {
        if (Form && Form->Successes() > 0)
            ResetAdjustment();
        if (FPreviewForm)
            FPreviewForm->RefreshPage();
    });
    FBatchForm->show();
    FBatchForm->ExecuteConversion();
}

void TfrmMain::ResetAdjustment()
{
    for (QScrollBar* Bar : {scbH, scbS, scbB})
        Bar->setValue(0);
    lvwColors->setRowCount(0);
    UpdateSpecificColors();
    if (FPreviewForm)
        FPreviewForm->ConvertCapture();
}

void TfrmMain::bbnShowPreviewClick()
{
    QString Path = FFileList.FirstSelectedPath();
    if (Path.isEmpty())
        return;
    if (FileListRules::IsPicture(Path))
        Path = MakePicturePage(Path, PicturePageFolder());
    if (FileListRules::ExtensionOf(FileListRules::FileNameOf(Path)).compare(QLatin1String(".css"), Qt::CaseInsensitive) == 0) {
        if (!OpenInTextEditor(Path, FOpenUrl))
            QMessageBox::warning(this, windowTitle(), EditorFailureText(Path));
    } else
        ShowPreviewOf(QStringLiteral("file://") + Path);
}

void TfrmMain::ShowPreviewOf(const QString& Url)
{
    if (!FPreviewForm) {
        FPreviewForm = new TfrmPreview([this] { return CurrentSettings(); });
        FPreviewForm->setAttribute(Qt::WA_DeleteOnClose);
        FPreviewForm->OpenBeside(this);
        FPreviewForm->SetCaptureInterval(udnRefreshTime->value() * 1000);
    }
    ShowAgain(FPreviewForm);
    FPreviewForm->Navigate(Url);
}

QString TfrmMain::PicturePageFolder()
{
    QString Folder = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    if (!Folder.isEmpty())
        Folder = QDir(Folder).filePath(QStringLiteral("tessival"));
    if (Folder.isEmpty() || !QDir().mkpath(Folder))
        Folder = QStandardPaths::writableLocation(QStandardPaths::CacheLocation);
    if (!Folder.isEmpty())
        QDir().mkpath(Folder);
    return Folder;
}

namespace {

// The browser shows no compressed SVG from a file: the page shows the SVG inside, written beside
// it as "pictureshow.svg". Empty when the file cannot be read or inflated (or would inflate
// beyond what the batch takes).
QString InflatedSvgCopy(const QString& SvgzPath, const QString& Folder)
{
    QFile Source(SvgzPath);
    if (Folder.isEmpty() || !Source.open(QIODevice::ReadOnly))
        return {};
    const QByteArray Bytes = Source.readAll();
    QByteArray Svg;
    try {
        const TGzipMember Member = SplitGzipMember(std::string_view(Bytes.constData(), static_cast<std::size_t>(Bytes.size())));
        if (Member.Size > SvgzMaxBytes)
            return {};
        Svg = QByteArray::fromStdString(InflateGzipMember(Member));
    } catch (const Exception&) {
        return {};
    }
    const QString CopyPath = QDir(Folder).filePath(QStringLiteral("pictureshow.svg"));
    QSaveFile Copy(CopyPath);
    if (!Copy.open(QIODevice::WriteOnly) || Copy.write(Svg) != Svg.size() || !Copy.commit())
        return {};
    return CopyPath;
}

}  // namespace

QString TfrmMain::MakePicturePage(const QString& PicturePath, const QString& Folder)
{
    QString Shown;
    if (FileListRules::ExtensionOf(FileListRules::FileNameOf(PicturePath)).compare(QLatin1String(".svgz"), Qt::CaseInsensitive) == 0)
        Shown = InflatedSvgCopy(PicturePath, Folder);
    if (Shown.isEmpty())
        Shown = PicturePath;
    // The image is referred to by its file URL: a path holding "#", "?" or "%" would
    // otherwise be read as something else by the browser.
    QString Source = QUrl::fromLocalFile(Shown).toString(QUrl::FullyEncoded);
    Source.replace(QLatin1Char('&'), QLatin1String("&amp;"));
    const QByteArray Page = "<html><body>\r\n<img src=\"" + Source.toUtf8() + "\">\r\n</body></html>\r\n";
    const QString PagePath = QDir(Folder).filePath(QStringLiteral("pictureshow.html"));
    QSaveFile File(PagePath);
    if (Folder.isEmpty() || !File.open(QIODevice::WriteOnly) || File.write(Page) != Page.size() || !File.commit())
        return PicturePath;
    return PagePath;
}

bool TfrmMain::OpenInTextEditor(const QString& Path, const std::function<bool(const QUrl&)>& OpenUrl)
{
    const QStringList Editor = DesktopTextEditor(Path);
    if (!Editor.isEmpty() && QProcess::startDetached(Editor.first(), Editor.mid(1)))
        return true;
    if (OpenUrl(QUrl::fromLocalFile(Path)))
        return true;
    const QProcessEnvironment Environment = QProcessEnvironment::systemEnvironment();
    QString Command = Environment.value(QStringLiteral("VISUAL"));
    if (Command.isEmpty())
        Command = Environment.value(QStringLiteral("EDITOR"));
    if (Command.isEmpty())
        return false;
    // The editor command may carry its own arguments; the path goes in as "$1".
    return QProcess::startDetached(QStringLiteral("x-terminal-emulator"),
                            {QStringLiteral("-e"), QStringLiteral("sh"), QStringLiteral("-c"),
                             Command + QStringLiteral(" \"$1\""), QStringLiteral("sh"), Path});
}

QFont TfrmMain::InterfaceFont()
{
    QFont Font(QStringLiteral("IPAPGothic"));
    Font.setPointSize(9);
    Font.setStyleHint(QFont::SansSerif);
    return Font;
}

QString TfrmMain::ReadmePath()
{
    const QDir Program(QCoreApplication::applicationDirPath());
    for (const QString& Candidate : {Program.filePath(QStringLiteral("readme.txt")),
                                     Program.filePath(QStringLiteral("../share/doc/tessival/readme.txt"))}) {
        if (QFileInfo(Candidate).isFile())
            return QDir::cleanPath(Candidate);
    }
    return {};
}

QString TfrmMain::ReadmeFailureText(const QString& Path)
{
    if (Path.isEmpty())
        return tr("Readme（readme.txt）が見つかりません。\n"
                  "プログラムのフォルダか share/doc/tessival に置いてください。");
    return tr("Readme を開けませんでした。\n%1\n"
              "テキストを開くアプリケーションが設定されているか確かめてください。").arg(Path);
}

QString TfrmMain::EditorFailureText(const QString& Path)
{
    return tr("テキストエディタを開けませんでした。\n%1\n"
              "既定のテキストエディタを設定するか、環境変数 VISUAL か EDITOR にエディタを指定してください。")
        .arg(Path);
}

void TfrmMain::mitReadmeClick()
{
    const QString Path = ReadmePath();
    if (Path.isEmpty() || !FOpenUrl(QUrl::fromLocalFile(Path)))
        QMessageBox::warning(this, windowTitle(), ReadmeFailureText(Path));
}

QString TfrmMain::GetFileVersion()
{
    return QStringLiteral(TESSIVAL_VERSION);
}

QString TfrmMain::AboutText()
{
    return QStringLiteral("Tessival ") + GetFileVersion() + QStringLiteral("\n\n") +
           tr("ウェブサイトの色をまるごと塗り替えるツール\n") +
           tr("Tessival 開発チーム");
}

void TfrmMain::mitAboutClick()
{
    QMessageBox::information(this, tr("バージョン情報"), AboutText());
}

void TfrmMain::mitURLClick()
{
    if (!FUrlViewForm) {
        FUrlViewForm = new TfrmUrlView;
        FUrlViewForm->setAttribute(Qt::WA_DeleteOnClose);
        connect(FUrlViewForm.data(), &TfrmUrlView::UrlChosen, this, &TfrmMain::ShowPreviewOf);
    }
    ShowAgain(FUrlViewForm);
}

void TfrmMain::mitBackupClick()
{
    if (!FBackupForm) {
        FBackupForm = new TfrmBackup;
        FBackupForm->setAttribute(Qt::WA_DeleteOnClose);
        FBackupForm->SetBatchRunning([this] { return FBatchForm && FBatchForm->IsRunning(); });
    }
    ShowAgain(FBackupForm);
}

void TfrmMain::mitExitClick()
{
    close();
}

void TfrmMain::closeEvent(QCloseEvent* Event)
{
    // A running batch is rewriting the user's files: the program waits for it.
    if (FBatchForm && FBatchForm->IsRunning()) {
        FBatchForm->raise();
        Event->ignore();
        return;
    }
    CloseSecondaryWindows();
    Event->accept();
}

QList<QWidget*> TfrmMain::SecondaryWindows() const
{
    return {FBatchForm.data(), FPreviewForm.data(), FUrlViewForm.data(), FColourPairForm.data(), FBackupForm.data()};
}

void TfrmMain::CloseSecondaryWindows()
{
    for (QWidget* Form : SecondaryWindows()) {
        if (Form)
            Form->close();
    }
}

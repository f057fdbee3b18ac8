#include "ui/ColourPairForm.h"
#include "ui/WindowPlacement.h"

#include "base/Exceptions.h"
#include "colour/HexColour.h"
#include "text/NamedColours.h"

#include <QApplication>
#include <QCheckBox>
#include <QColorDialog>
#include <QFrame>
#include <QGridLayout>
#include <QGroupBox>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>
#include <QPushButton>
#include <QScreen>
#include <QShortcut>
#include <QStyle>
#include <QToolButton>
#include <QVBoxLayout>

#include <algorithm>

namespace {

constexpr std::uint32_t PaletteRelativeFlag = 0x02000000u;

QColor QColorOf(std::uint32_t v)
{
    TRGBColor c = RGBOfColorValue(v);
    return QColor(c.R, c.G, c.B);
}

// A pipette drawn at run time, so the picture button needs no image file.
QIcon SpuitIcon()
{
    QPixmap pm(16, 16);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(QColor(40, 40, 40), 1.6, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(2.5, 13.5), QPointF(9.5, 6.5));
    p.setBrush(QColor(40, 40, 40));
    QPainterPath bulb;
    bulb.addEllipse(QPointF(11.8, 4.2), 2.6, 2.6);
    p.drawPath(bulb);
    p.drawLine(QPointF(8.0, 5.0), QPointF(11.0, 8.0));
    return QIcon(pm);
}

} // namespace

std::uint32_t ColorValueOf(const TRGBColor& c)
{
    return (static_cast<std::uint32_t>(c.R) & 0xFF) | ((static_cast<std::uint32_t>(c.G) & 0xFF) << 8) |
           ((static_cast<std::uint32_t>(c.B) & 0xFF) << 16);
}

TRGBColor RGBOfColorValue(std::uint32_t v)
{
    return {static_cast<std::int32_t>(v & 0xFF), static_cast<std::int32_t>((v >> 8) & 0xFF),
            static_cast<std::int32_t>((v >> 16) & 0xFF)};
}

QString ColorValueText(std::uint32_t v)
{
    // The platform keeps BBGGRR: its digits swapped read RRGGBB.
    return QString::fromStdString(SwapHexOrder(FormatHexDigits(v)));
}

bool HexInputValue(const QString& Text, std::uint32_t& Value)
{
    try {
        std::uint32_t v;
        if (!ParseHexDigits(SwapHexOrder(Text.toStdString()), v))
            return false;
        Value = PaletteRelativeFlag | v;
        return true;
    } catch (const EConvertError&) {
        return false;
    }
}

bool ParseTypedColour(const QString& Text, TRGBColor& Colour)
{
    const std::string Typed = Text.trimmed().toStdString();
    const std::string_view Digits = !Typed.empty() && Typed.front() == '#' ? std::string_view(Typed).substr(1)
                                                                          : std::string_view(Typed);
    std::uint32_t Value = 0;
    if (ParseHexDigits(Digits, Value) || ParseShortHexDigits(Digits, Value)) {
        Colour = UnpackRGB(Value);
        return true;
    }
    if (Digits.size() != Typed.size())
        return false;
    static const TNamedColours Names;
    if (const std::string* Named = Names.Find(Typed))
        return ParseHexColor(*Named, Colour);
    return false;
}

QString TypedColourError(const QString& Text)
{
    return QCoreApplication::translate("TfrmColourPair", "「%1」は色として読めません。\n"
                                                         "16進数（例：FF8000、#F80）か色の名前（例：red）を入力してください。")
        .arg(Text.trimmed());
}

QString AdjustCaption(bool Adjust)
{
    return Adjust ? QCoreApplication::translate("TfrmColourPair", "あり")
                  : QCoreApplication::translate("TfrmColourPair", "なし");
}

QStringList PairRowTexts(bool Adjust, const TRGBColor& Before, const TRGBColor& After)
{
    return {AdjustCaption(Adjust), QString::fromStdString(FormatHexColor(Before)),
            QString::fromStdString(FormatHexColor(After))};
}

TfrmColourPair::TfrmColourPair(QWidget* parent)
    : QWidget(parent, Qt::Tool | Qt::WindowStaysOnTopHint | Qt::CustomizeWindowHint |
                          Qt::WindowTitleHint | Qt::WindowCloseButtonHint)
{
    setObjectName(QStringLiteral("frmColorSelect"));
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(tr("特定色置換"));

    BuildGroup(FBefore, TGroup::Before);
    BuildGroup(FAfter, TGroup::After);

    cbxAdjustment = new QCheckBox(tr("カラーバーでの調整もする"), this);
    cbxAdjustment->setObjectName(QStringLiteral("cbxAdjustment"));

    lblError = new QLabel(this);
    lblError->setObjectName(QStringLiteral("lblError"));
    lblError->setWordWrap(true);
    lblError->setStyleSheet(QStringLiteral("color: #B00020;"));
    lblError->setAccessibleName(tr("入力の誤り"));
    lblError->hide();

    bbnOK = new QPushButton(QStringLiteral("OK"), this);
    bbnOK->setObjectName(QStringLiteral("bbnOK"));
    bbnOK->setIcon(style()->standardIcon(QStyle::SP_DialogOkButton));
    bbnOK->setDefault(true);
    bbnOK->setAutoDefault(true);
    BBnCancel = new QPushButton(tr("キャンセル"), this);
    BBnCancel->setObjectName(QStringLiteral("BBnCancel"));
    BBnCancel->setIcon(style()->standardIcon(QStyle::SP_DialogCancelButton));

    cbxAdjustment->setAccessibleName(tr("カラーバーでの調整もする"));
    bbnOK->setAccessibleName(QStringLiteral("OK"));
    BBnCancel->setAccessibleName(tr("キャンセル"));

    cdlColorSelect = new QColorDialog(this);
    cdlColorSelect->setObjectName(QStringLiteral("cdlColorSelect"));
    cdlColorSelect->setCurrentColor(Qt::black);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(bbnOK);
    buttons->addWidget(BBnCancel);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(8, 8, 8, 8);
    layout->setSpacing(6);
    layout->addWidget(FBefore.gbx);
    layout->addWidget(FAfter.gbx);
    layout->addWidget(cbxAdjustment);
    layout->addWidget(lblError);
    layout->addLayout(buttons);

    connect(bbnOK, &QPushButton::clicked, this, &TfrmColourPair::bbnOKClick);
    connect(BBnCancel, &QPushButton::clicked, this, &TfrmColourPair::BBnCancelClick);
    connect(FBefore.btnHexInput, &QPushButton::clicked, this, &TfrmColourPair::btnBeforeHexInputClick);
    connect(FAfter.btnHexInput, &QPushButton::clicked, this, &TfrmColourPair::btnAfterHexInputClick);
    connect(FBefore.sbtSpuit, &QToolButton::clicked, this, &TfrmColourPair::sbtBeforeSpuitClick);
    connect(FAfter.sbtSpuit, &QToolButton::clicked, this, &TfrmColourPair::sbtBeforeSpuitClick);

    AddDialogKeys(this, bbnOK, BBnCancel);

    setMinimumSize(QSize(182, 206).expandedTo(minimumSizeHint()));
    adjustSize();
    resize(size().expandedTo(QSize(182, 206)));
}

TfrmColourPair::~TfrmColourPair() = default;

void TfrmColourPair::BuildGroup(TGroupControls& g, TGroup Which)
{
    const bool before = Which == TGroup::Before;
    const QString prefix = before ? QStringLiteral("Before") : QStringLiteral("After");

    g.gbx = new QGroupBox(before ? tr("変更対象の色(&B)") : tr("変更先の色(&A)"), this);
    g.gbx->setObjectName(QStringLiteral("gbx%1Color").arg(prefix));

    g.pnl = new QFrame(g.gbx);
    g.pnl->setObjectName(QStringLiteral("pnl%1Color").arg(prefix));
    g.pnl->setFixedSize(41, 41);
    g.pnl->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    g.pnl->setAutoFillBackground(true);
    g.pnl->setCursor(Qt::PointingHandCursor);

    g.lblSharp = new QLabel(QStringLiteral("#"), g.gbx);
    g.lblSharp->setObjectName(QStringLiteral("lbl%1Sharp").arg(prefix));

    g.edt = new QLineEdit(QStringLiteral("000000"), g.gbx);
    g.edt->setObjectName(QStringLiteral("edt%1Hex").arg(prefix));
    g.edt->setMaxLength(255);
    g.edt->setAccessibleName(before ? tr("変更対象の色（16進数か色の名前）")
                                    : tr("変更先の色（16進数か色の名前）"));
    g.edt->setMinimumWidth(g.edt->fontMetrics().horizontalAdvance(QStringLiteral("0000000")) + 10);

    g.btnHexInput = new QPushButton(tr("入力"), g.gbx);
    g.btnHexInput->setObjectName(QStringLiteral("btn%1HexInput").arg(prefix));
    g.btnHexInput->setAutoDefault(false);
    g.btnHexInput->setAccessibleName(before ? tr("変更対象の色を入力") : tr("変更先の色を入力"));

    g.sbtSpuit = new QToolButton(g.gbx);
    g.sbtSpuit->setObjectName(QStringLiteral("sbt%1Spuit").arg(prefix));
    g.sbtSpuit->setFixedSize(20, 20);
    g.sbtSpuit->setAutoRaise(true);
    g.sbtSpuit->setIcon(SpuitIcon());
    g.sbtSpuit->setCursor(Qt::CrossCursor);
    g.sbtSpuit->setAccessibleName(before ? tr("変更対象の色のスポイト") : tr("変更先の色のスポイト"));
    g.pnl->setAccessibleName(before ? tr("変更対象の色の見本") : tr("変更先の色の見本"));

    auto* grid = new QGridLayout(g.gbx);
    grid->setContentsMargins(6, 4, 6, 6);
    grid->setHorizontalSpacing(4);
    grid->addWidget(g.pnl, 0, 0, 2, 1, Qt::AlignTop);
    grid->addWidget(g.lblSharp, 0, 1);
    grid->addWidget(g.edt, 0, 2);
    grid->addWidget(g.btnHexInput, 1, 2, Qt::AlignRight);
    grid->addWidget(g.sbtSpuit, 1, 1, 1, 1, Qt::AlignLeft);

    g.pnl->installEventFilter(this);
    g.sbtSpuit->installEventFilter(this);
    SetSwatch(Which, 0, false);
}

void TfrmColourPair::SetSwatch(TGroup Which, std::uint32_t Value, bool UpdateEdit)
{
    ColorOf(Which) = Value;
    TGroupControls& g = Controls(Which);
    QPalette pal = g.pnl->palette();
    pal.setColor(QPalette::Window, QColorOf(Value));
    g.pnl->setPalette(pal);
    if (UpdateEdit)
        g.edt->setText(ColorValueText(Value));
}

void TfrmColourPair::bbnOKClick()
{
    // What is typed counts even when "入力" was not pressed; nothing is taken unless both read.
    TRGBColor Unused;
    for (TGroup Which : {TGroup::Before, TGroup::After}) {
        if (!ParseTypedColour(Controls(Which).edt->text(), Unused))
            return void(TakeTypedColour(Which));
    }
    TakeTypedColour(TGroup::Before);
    TakeTypedColour(TGroup::After);
    emit PairAccepted(cbxAdjustment->isChecked(), RGBOfColorValue(FBeforeColor), RGBOfColorValue(FAfterColor));
    close();
}

void TfrmColourPair::BBnCancelClick()
{
    close();
}

void TfrmColourPair::pnlBeforeColorClick()
{
    PanelClick(TGroup::Before);
}

void TfrmColourPair::pnlAfterColorClick()
{
    PanelClick(TGroup::After);
}

void TfrmColourPair::PanelClick(TGroup Which)
{
    cdlColorSelect->setCurrentColor(QColorOf(ColorOf(Which)));
    if (cdlColorSelect->exec() != QDialog::Accepted)
        return;
    const QColor c = cdlColorSelect->selectedColor();
    if (!c.isValid())
        return;
    SetSwatch(Which, ColorValueOf({c.red(), c.green(), c.blue()}), true);
}

void TfrmColourPair::btnBeforeHexInputClick()
{
    HexInputClick(TGroup::Before);
}

void TfrmColourPair::btnAfterHexInputClick()
{
    HexInputClick(TGroup::After);
}

void TfrmColourPair::HexInputClick(TGroup Which)
{
    TakeTypedColour(Which);
}

bool TfrmColourPair::TakeTypedColour(TGroup Which)
{
    QLineEdit* Edit = Controls(Which).edt;
    TRGBColor Typed;
    if (!ParseTypedColour(Edit->text(), Typed)) {
        ShowError(TypedColourError(Edit->text()));
        Edit->setFocus();
        Edit->selectAll();
        return false;
    }
    // The flag byte of the old hexadecimal input is kept, so a swatch reads as before.
    SetSwatch(Which, PaletteRelativeFlag | ColorValueOf(Typed), false);
    ShowError(QString());
    return true;
}

void TfrmColourPair::ShowError(const QString& Text)
{
    lblError->setText(Text);
    lblError->setVisible(!Text.isEmpty());
    // The message wraps: as tall as its lines need at this width (an English one runs longer).
    if (isVisible())
        resize(width(), std::max(minimumHeight(), heightForWidth(width())));
}

void TfrmColourPair::sbtBeforeSpuitClick()
{
    QMessageBox::information(this, windowTitle(),
                             tr("ここでマウスボタンを押しっぱなしにし，\n"
                                "色を取得したいところでボタンを離してください．\n"
                                "スポイトツールになります．\n"
                                "\n"
                                "また，左の色がついてるパネルをクリックすると色選択ダイアログが出ます．"),
                             QMessageBox::Ok);
}

void TfrmColourPair::SpuitMouseDown(TGroup Which)
{
    Controls(Which).SpuitActive = true;
}

void TfrmColourPair::SpuitMouseMove(TGroup Which, const QPoint& GlobalPos)
{
    if (!Controls(Which).SpuitActive)
        return;
    SetSwatch(Which, GetScreenColor(GlobalPos), true);
}

void TfrmColourPair::SpuitMouseUp(TGroup Which)
{
    Controls(Which).SpuitActive = false;
}

std::uint32_t TfrmColourPair::GetScreenColor(const QPoint& GlobalPos)
{
    QScreen* screen = QGuiApplication::screenAt(GlobalPos);
    if (!screen)
        return 0;
    const QRect geometry = screen->geometry();
    const QPixmap grabbed =
        screen->grabWindow(0, GlobalPos.x() - geometry.x(), GlobalPos.y() - geometry.y(), 1, 1);
    if (grabbed.isNull())
        return 0;
    const QImage image = grabbed.toImage();
    if (image.isNull() || image.width() < 1 || image.height() < 1)
        return 0;
    const QColor c = image.pixelColor(0, 0);
    return ColorValueOf({c.red(), c.green(), c.blue()});
}

bool TfrmColourPair::eventFilter(QObject* Watched, QEvent* Event)
{
    TGroup which;
    if (Watched == FBefore.pnl || Watched == FBefore.sbtSpuit)
        which = TGroup::Before;
    else if (Watched == FAfter.pnl || Watched == FAfter.sbtSpuit)
        which = TGroup::After;
    else
        return QWidget::eventFilter(Watched, Event);

    TGroupControls& g = Controls(which);
    const bool onPanel = Watched == g.pnl;
    switch (Event->type()) {
    case QEvent::MouseButtonPress: {
        auto* me = static_cast<QMouseEvent*>(Event);
        SpuitMouseDown(which);
        if (onPanel) {
            g.PressedOnPanel = me->button() == Qt::LeftButton;
            return true;
        }
        break;
    }
    case QEvent::MouseMove: {
        auto* me = static_cast<QMouseEvent*>(Event);
        SpuitMouseMove(which, me->globalPosition().toPoint());
        if (onPanel)
            return true;
        break;
    }
    case QEvent::MouseButtonRelease: {
        auto* me = static_cast<QMouseEvent*>(Event);
        SpuitMouseUp(which);
        if (onPanel) {
            const bool click = g.PressedOnPanel && me->button() == Qt::LeftButton &&
                               g.pnl->rect().contains(me->position().toPoint());
            g.PressedOnPanel = false;
            if (click)
                PanelClick(which);
            return true;
        }
        break;
    }
    default:
        break;
    }
    return QWidget::eventFilter(Watched, Event);
}

void TfrmColourPair::showEvent(QShowEvent* Event)
{
    QWidget::showEvent(Event);
    if (FCentred)
        return;
    FCentred = true;
    CentreOnOwner(this);
}

#pragma once
// The colour pair dialog: the colour to be replaced, the colour to put in its place, and
// whether the pair is also shifted by the main window's scroll bars.

#include "colour/Colour.h"

#include <QPoint>
#include <QStringList>
#include <QWidget>

#include <cstdint>

class QCheckBox;
class QColorDialog;
class QFrame;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QToolButton;

// A colour as the platform keeps it: red in the lowest byte, then green, then blue; the
// highest byte may hold a flag that does not change the colour.
std::uint32_t ColorValueOf(const TRGBColor& c);
TRGBColor RGBOfColorValue(std::uint32_t v);
// "RRGGBB" of a colour value, whatever its flag byte.
QString ColorValueText(std::uint32_t v);
// The value the hexadecimal input gives for an edit text: the flag 02 over the swapped
// digits. False (and Value untouched) when the text is too short or not hexadecimal.
bool HexInputValue(const QString& Text, std::uint32_t& Value);
// A colour as typed into a dialog's edit: six hexadecimal digits or three (as in CSS), each
// with or without "#", or a CSS colour name; spaces around it do not count. False (Colour
// untouched) for anything else.
bool ParseTypedColour(const QString& Text, TRGBColor& Colour);
// The message shown for a typed text that is no colour.
QString TypedColourError(const QString& Text);
// The caption of the adjustment column: "あり" when the scroll bars shift the pair too, else
// "なし" (translated in English).
QString AdjustCaption(bool Adjust);
// The three texts of a specific colour table row: AdjustCaption, "#RRGGBB", "#RRGGBB".
QStringList PairRowTexts(bool Adjust, const TRGBColor& Before, const TRGBColor& After);

class TfrmColourPair : public QWidget {
    Q_OBJECT
public:
    explicit TfrmColourPair(QWidget* parent = nullptr);
    ~TfrmColourPair() override;

    // The swatches' colours: the dialog's state.
    std::uint32_t BeforeColor() const { return FBeforeColor; }
    std::uint32_t AfterColor() const { return FAfterColor; }

    // The colour of the screen pixel at a global position; black where it cannot be read.
    static std::uint32_t GetScreenColor(const QPoint& GlobalPos);

signals:
    // "OK": the main window appends the row (PairRowTexts) to its table.
    void PairAccepted(bool Adjust, TRGBColor Before, TRGBColor After);

public slots:
    void bbnOKClick();
    void BBnCancelClick();
    void pnlBeforeColorClick();
    void pnlAfterColorClick();
    void btnBeforeHexInputClick();
    void btnAfterHexInputClick();
    void sbtBeforeSpuitClick();

protected:
    bool eventFilter(QObject* Watched, QEvent* Event) override;
    void showEvent(QShowEvent* Event) override;

private:
    enum class TGroup { Before, After };
    struct TGroupControls {
        QGroupBox* gbx = nullptr;
        QFrame* pnl = nullptr;
        QLabel* lblSharp = nullptr;
        QLineEdit* edt = nullptr;
        QPushButton* btnHexInput = nullptr;
        QToolButton* sbtSpuit = nullptr;
        bool SpuitActive = false;
        bool PressedOnPanel = false;
    };

    void BuildGroup(TGroupControls& g, TGroup Which);
    // Takes the group's typed colour into its swatch; false (and the error shown) when the
    // text is no colour.
    bool TakeTypedColour(TGroup Which);
    void ShowError(const QString& Text);
    TGroupControls& Controls(TGroup Which) { return Which == TGroup::Before ? FBefore : FAfter; }
    std::uint32_t& ColorOf(TGroup Which) { return Which == TGroup::Before ? FBeforeColor : FAfterColor; }
    void SetSwatch(TGroup Which, std::uint32_t Value, bool UpdateEdit);
    void PanelClick(TGroup Which);
    void HexInputClick(TGroup Which);
    void SpuitMouseDown(TGroup Which);
    void SpuitMouseMove(TGroup Which, const QPoint& GlobalPos);
    void SpuitMouseUp(TGroup Which);

    TGroupControls FBefore;
    TGroupControls FAfter;
    QCheckBox* cbxAdjustment = nullptr;
    QLabel* lblError = nullptr;
    QPushButton* bbnOK = nullptr;
    QPushButton* BBnCancel = nullptr;
    QColorDialog* cdlColorSelect = nullptr;
    std::uint32_t FBeforeColor = 0;
    std::uint32_t FAfterColor = 0;
    bool FCentred = false;
};

#pragma once
// The graphic base classes: anything that can be assigned, and images that can be loaded,
// saved and assigned to one another.

#include <cstdint>
#include <functional>
#include <string>

class TStream;

// Platform colour value: red in the lowest byte, then green, then blue. A value whose top
// byte is 1 names palette entry (value & 0xFF); -1 means none.
using TColor = std::int32_t;
constexpr TColor clNone = -1;
constexpr TColor clBlack = 0x000000;
constexpr TColor clWhite = 0xFFFFFF;

constexpr TColor RGBColor(int r, int g, int b)
{
    return static_cast<TColor>((r & 0xFF) | ((g & 0xFF) << 8) | ((b & 0xFF) << 16));
}
constexpr int GetRValue(TColor c) { return c & 0xFF; }
constexpr int GetGValue(TColor c) { return (c >> 8) & 0xFF; }
constexpr int GetBValue(TColor c) { return (c >> 16) & 0xFF; }
constexpr bool IsPaletteIndex(TColor c) { return (static_cast<std::uint32_t>(c) >> 24) == 1; }
constexpr TColor PaletteIndex(int index) { return 0x01000000 | (index & 0xFF); }

struct TRect {
    int Left = 0, Top = 0, Right = 0, Bottom = 0;
};

// Something whose contents can be copied from another object.
class TPersistent {
public:
    virtual ~TPersistent() = default;

    // Copies source into this object. The base asks the source to assign itself
    // (AssignTo); when neither side knows the other, EConvertError is raised.
    // A null source clears the object where the class allows it.
    virtual void Assign(const TPersistent* source);

    virtual std::string ClassName() const = 0;

protected:
    // Copies this object into dest; the base raises EConvertError.
    virtual void AssignTo(TPersistent& dest) const;
    [[noreturn]] void AssignError(const TPersistent* source) const;
};

enum class TProgressStage { psStarting, psRunning, psEnding };

class TGraphic;
using TNotifyEvent = std::function<void(TGraphic& sender)>;
using TProgressEvent = std::function<void(TGraphic& sender, TProgressStage stage, std::uint8_t percentDone,
                                          bool redrawNow, const TRect& r, const std::string& message)>;

class TGraphic : public TPersistent {
public:
    virtual bool Empty() const = 0;
    virtual int Width() const = 0;
    virtual int Height() const = 0;
    virtual void SetWidth(int value) = 0;
    virtual void SetHeight(int value) = 0;

    bool Transparent() const { return FTransparent; }
    virtual void SetTransparent(bool value);

    bool Modified() const { return FModified; }
    void SetModified(bool value) { FModified = value; }

    virtual void LoadFromStream(TStream& stream) = 0;
    virtual void SaveToStream(TStream& stream) = 0;
    // Opens the file for reading (EFOpenError) or creates it (EFCreateError) and
    // runs the stream operation.
    virtual void LoadFromFile(const std::string& fileName);
    virtual void SaveToFile(const std::string& fileName);

    TNotifyEvent OnChange;
    TProgressEvent OnProgress;

    // Signals a change: sets Modified and calls OnChange.
    virtual void Changed();
    void Progress(TProgressStage stage, std::uint8_t percentDone, bool redrawNow, const TRect& r,
                  const std::string& message);

protected:
    bool FTransparent = false;
    bool FModified = false;
};

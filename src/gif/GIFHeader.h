#pragma once
// The blocks that open and close a GIF file: the header (signature, logical screen
// descriptor and global colour map) and the trailer.

#include "gif/GIFColorMap.h"
#include "gif/GIFItem.h"

#include <cstdint>
#include <string>

class TGIFHeader final : public TGIFItem {
public:
    explicit TGIFHeader(TGIFImage* Image);
    std::string ClassName() const override { return "TGIFHeader"; }
    void Assign(const TPersistent* Source) override;

    void LoadFromStream(TStream& Stream) override;
    void SaveToStream(TStream& Stream) override;
    void Clear();
    // Recomputes the flags from the colour maps of the image. A header read from a file keeps
    // its colour resolution field (and, without a global map, its size field), so that
    // writing it back changes nothing it need not.
    void Prepare();

    int Width() const noexcept { return FWidth; }
    int Height() const noexcept { return FHeight; }
    void SetWidth(int Value) { FWidth = static_cast<std::uint16_t>(Value); }
    void SetHeight(int Value) { FHeight = static_cast<std::uint16_t>(Value); }
    std::uint8_t Flags() const noexcept { return FFlags; }
    std::uint8_t BackgroundColorIndex() const noexcept { return FBackgroundColorIndex; }
    void SetBackgroundColorIndex(std::uint8_t Value) { FBackgroundColorIndex = Value; }
    std::uint8_t AspectRatio() const noexcept { return FAspectRatio; }
    void SetAspectRatio(std::uint8_t Value) { FAspectRatio = Value; }
    TGIFGlobalColorMap& ColorMap() noexcept { return FColorMap; }
    const TGIFGlobalColorMap& ColorMap() const noexcept { return FColorMap; }
    // The version of the signature read ("89a" or else 87a); gvUnknown for a header not read.
    // The file is written in at least this version.
    TGIFVersion VersionRead() const noexcept { return FVersionRead; }

private:
    std::uint16_t FWidth = 0;
    std::uint16_t FHeight = 0;
    std::uint8_t FFlags = 0;
    std::uint8_t FBackgroundColorIndex = 0;
    std::uint8_t FAspectRatio = 0;
    TGIFVersion FVersionRead = TGIFVersion::gvUnknown;
    int FFlagsRead = -1;  // the flags read, -1 when none were
    TGIFGlobalColorMap FColorMap;
};

// The one-byte end of the file; a different byte where it should be only warns.
class TGIFTrailer final : public TGIFItem {
public:
    using TGIFItem::TGIFItem;
    std::string ClassName() const override { return "TGIFTrailer"; }
    void LoadFromStream(TStream& Stream) override;
    void SaveToStream(TStream& Stream) override;
};

#pragma once
// The extension blocks of a frame: graphic control, plain text, comment and application
// extensions, and the registries that choose a class for a block being read.

#include "gif/GIFFormat.h"
#include "gif/GIFItem.h"

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

class TGIFExtension;

// A class of extension as the registries know it: its label, the class-level lookup that
// may name a more specific class after looking at the block, and its constructor.
struct TGIFExtensionClass {
    std::uint8_t Label;
    // Looks at the block (the stream is at the label; it is left where it was) and answers
    // the class that should read it; the class itself when none is more specific.
    const TGIFExtensionClass* (*FindSubClass)(TStream& Stream);
    std::unique_ptr<TGIFExtension> (*Create)(TGIFSubImage* Frame);
    const char* Name;
};

class TGIFExtension : public TGIFItem {
public:
    explicit TGIFExtension(TGIFSubImage* Frame);
    ~TGIFExtension() override;
    std::string ClassName() const override { return "TGIFExtension"; }
    TGIFVersion Version() const override { return TGIFVersion::gv89a; }

    virtual std::uint8_t ExtensionType() const = 0;
    virtual const TGIFExtensionClass& ExtensionClass() const = 0;
    // A copy belonging to another frame.
    virtual std::unique_ptr<TGIFExtension> Clone(TGIFSubImage* Frame) const = 0;

    // From the introducer on.
    void LoadFromStream(TStream& Stream) override;
    void SaveToStream(TStream& Stream) override;

    TGIFSubImage* Frame() const noexcept { return FFrame; }

protected:
    virtual void LoadBody(TStream& Stream) = 0;
    virtual void SaveBody(TStream& Stream) = 0;

    TGIFSubImage* FFrame;
};

// The registry of extension classes by label, searched from the last entry backwards.
class TExtensionList {
public:
    static const TGIFExtensionClass* Find(std::uint8_t Label);
    static void Register(const TGIFExtensionClass& Class);

private:
    static std::vector<const TGIFExtensionClass*>& List();
};

class TGIFGraphicControlExtension final : public TGIFExtension {
public:
    static const TGIFExtensionClass Class;

    // The first one created for a frame becomes that frame's graphic control extension.
    explicit TGIFGraphicControlExtension(TGIFSubImage* Frame);
    ~TGIFGraphicControlExtension() override;
    std::string ClassName() const override { return "TGIFGraphicControlExtension"; }
    std::uint8_t ExtensionType() const override { return GifFormat::GraphicControlLabel; }
    const TGIFExtensionClass& ExtensionClass() const override { return Class; }
    std::unique_ptr<TGIFExtension> Clone(TGIFSubImage* Frame) const override;

    bool Transparent() const noexcept { return (FRecord[1] & GifFormat::TransparentColorFlag) != 0; }
    // Also sets or clears the frame's transparent flag.
    void SetTransparent(bool Value);
    std::uint8_t TransparentColorIndex() const noexcept { return FRecord[4]; }
    // An index not below the active colour map's count (when it has colours) warns
    // "Invalid color index" and stores 0.
    void SetTransparentColorIndex(int Value);
    bool UserInput() const noexcept { return (FRecord[1] & GifFormat::UserInputFlag) != 0; }
    void SetUserInput(bool Value);
    int Disposal() const noexcept
    {
        return GifFormat::FieldValue(FRecord[1], GifFormat::DisposalMask, GifFormat::DisposalShift);
    }
    void SetDisposal(int Value);
    int Delay() const noexcept { return FRecord[2] | (FRecord[3] << 8); }
    void SetDelay(int Value);
    std::uint8_t BlockSize() const noexcept { return FRecord[0]; }
    std::uint8_t PackedFields() const noexcept { return FRecord[1]; }

protected:
    void LoadBody(TStream& Stream) override;
    void SaveBody(TStream& Stream) override;

private:
    // Block size, packed flags, delay (little-endian), transparent index, terminator.
    std::array<std::uint8_t, 1 + GifFormat::GraphicControlBlockSize + 1> FRecord = {
        GifFormat::GraphicControlBlockSize, 0, 0, 0, 0, GifFormat::BlockTerminator};
};

// Text kept as sub-blocks, one line per sub-block.
class TGIFTextLines {
public:
    static void Load(TStream& Stream, std::vector<std::string>& Lines);
    static void Save(TStream& Stream, const std::vector<std::string>& Lines);
};

class TGIFTextExtension final : public TGIFExtension {
public:
    static const TGIFExtensionClass Class;

    explicit TGIFTextExtension(TGIFSubImage* Frame);
    std::string ClassName() const override { return "TGIFTextExtension"; }
    std::uint8_t ExtensionType() const override { return GifFormat::PlainTextLabel; }
    const TGIFExtensionClass& ExtensionClass() const override { return Class; }
    std::unique_ptr<TGIFExtension> Clone(TGIFSubImage* Frame) const override;

    std::vector<std::string> Text;
    // Block size (12) and the text grid: left, top, width, height, cell width and height,
    // foreground and background indices, as read.
    std::array<std::uint8_t, 1 + GifFormat::PlainTextBlockSize> Record = {GifFormat::PlainTextBlockSize};

protected:
    void LoadBody(TStream& Stream) override;
    void SaveBody(TStream& Stream) override;
};

class TGIFCommentExtension final : public TGIFExtension {
public:
    static const TGIFExtensionClass Class;

    using TGIFExtension::TGIFExtension;
    std::string ClassName() const override { return "TGIFCommentExtension"; }
    std::uint8_t ExtensionType() const override { return GifFormat::CommentLabel; }
    const TGIFExtensionClass& ExtensionClass() const override { return Class; }
    std::unique_ptr<TGIFExtension> Clone(TGIFSubImage* Frame) const override;

    std::vector<std::string> Text;

protected:
    void LoadBody(TStream& Stream) override;
    void SaveBody(TStream& Stream) override;
};

using TGIFApplicationIdentifier = std::array<std::uint8_t, GifFormat::ApplicationBlockSize>;

class TGIFApplicationExtension : public TGIFExtension {
public:
    static const TGIFExtensionClass Class;

    explicit TGIFApplicationExtension(TGIFSubImage* Frame);
    std::string ClassName() const override { return "TGIFApplicationExtension"; }
    std::uint8_t ExtensionType() const override { return GifFormat::ApplicationLabel; }
    const TGIFExtensionClass& ExtensionClass() const override { return Class; }
    std::unique_ptr<TGIFExtension> Clone(TGIFSubImage* Frame) const override;

    // 8 bytes of name and 3 of authentication code.
    TGIFApplicationIdentifier Identifier = {};
    std::string IdentifierText() const { return std::string(Identifier.begin(), Identifier.end()); }

protected:
    void LoadBody(TStream& Stream) override;
    void SaveBody(TStream& Stream) override;
    // The data sub-blocks after the identifier. The base class has none to offer.
    virtual void LoadData(TStream& Stream);
    virtual void SaveData(TStream& Stream);
};

// The registry of application extension classes by identifier.
class TAppExtensionList {
public:
    static const TGIFExtensionClass* Find(const TGIFApplicationIdentifier& Identifier);
    static void Register(const std::string& Identifier, const TGIFExtensionClass& Class);

private:
    struct Entry {
        TGIFApplicationIdentifier Identifier;
        const TGIFExtensionClass* Class;
    };
    static std::vector<Entry>& List();
};

// The loop count ("NETSCAPE2.0", also read under "ANIMEXTS1.0").
class TGIFAppExtNSLoop final : public TGIFApplicationExtension {
public:
    static const TGIFExtensionClass Class;

    explicit TGIFAppExtNSLoop(TGIFSubImage* Frame);
    std::string ClassName() const override { return "TGIFAppExtNSLoop"; }
    const TGIFExtensionClass& ExtensionClass() const override { return Class; }
    std::unique_ptr<TGIFExtension> Clone(TGIFSubImage* Frame) const override;

    std::uint16_t Loops = 0;
    std::uint32_t BufferSize = 0;

protected:
    void LoadData(TStream& Stream) override;
    void SaveData(TStream& Stream) override;
};

// Any other application: its data sub-blocks kept as they are.
class TGIFUnknownAppExtension final : public TGIFApplicationExtension {
public:
    static const TGIFExtensionClass Class;

    using TGIFApplicationExtension::TGIFApplicationExtension;
    std::string ClassName() const override { return "TGIFUnknownAppExtension"; }
    const TGIFExtensionClass& ExtensionClass() const override { return Class; }
    std::unique_ptr<TGIFExtension> Clone(TGIFSubImage* Frame) const override;

    // Each block 1 to 255 bytes.
    std::vector<std::vector<std::uint8_t>> Blocks;

protected:
    void LoadData(TStream& Stream) override;
    void SaveData(TStream& Stream) override;
};

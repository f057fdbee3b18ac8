#include "gif/GIFExtensions.h"

#include "gif/GIFBytes.h"
#include "gif/GIFColorMap.h"
#include "gif/GIFFormat.h"
#include "gif/GIFFrame.h"
#include "graphics/Stream.h"

#include <algorithm>
#include <cstring>

using namespace gifbytes;

namespace {

template <class T>
std::unique_ptr<TGIFExtension> Make(TGIFSubImage* Frame)
{
    return std::make_unique<T>(Frame);
}

const TGIFExtensionClass* Itself(const TGIFExtensionClass& Class) { return &Class; }

TGIFApplicationIdentifier ToIdentifier(const std::string& Text)
{
    TGIFApplicationIdentifier id{};
    std::memcpy(id.data(), Text.data(), std::min<std::size_t>(Text.size(), id.size()));
    return id;
}

// The block size byte and what follows it tell which application class reads the block.
const TGIFExtensionClass* FindApplicationClass(TStream& Stream)
{
    const std::int64_t start = Stream.Position();
    const TGIFExtensionClass* found = &TGIFApplicationExtension::Class;
    std::uint8_t head[2];
    if (Stream.Read(head, 2) == 2) {  // label and block size
        TGIFApplicationIdentifier id{};
        if (head[1] == GifFormat::ShortApplicationBlockSize &&
            Stream.Read(id.data(), GifFormat::ShortApplicationBlockSize) == GifFormat::ShortApplicationBlockSize) {
            found = &TGIFUnknownAppExtension::Class;
        } else if (head[1] == GifFormat::ApplicationBlockSize &&
                   Stream.Read(id.data(), GifFormat::ApplicationBlockSize) == GifFormat::ApplicationBlockSize) {
            found = TAppExtensionList::Find(id);
            if (!found)
                found = &TGIFUnknownAppExtension::Class;
        }
    }
    Stream.SetPosition(start);
    return found;
}

} // namespace

const TGIFExtensionClass TGIFGraphicControlExtension::Class = {
    GifFormat::GraphicControlLabel, [](TStream&) { return Itself(TGIFGraphicControlExtension::Class); },
    &Make<TGIFGraphicControlExtension>, "TGIFGraphicControlExtension"};
const TGIFExtensionClass TGIFTextExtension::Class = {
    GifFormat::PlainTextLabel, [](TStream&) { return Itself(TGIFTextExtension::Class); },
    &Make<TGIFTextExtension>, "TGIFTextExtension"};
const TGIFExtensionClass TGIFCommentExtension::Class = {
    GifFormat::CommentLabel, [](TStream&) { return Itself(TGIFCommentExtension::Class); },
    &Make<TGIFCommentExtension>, "TGIFCommentExtension"};
const TGIFExtensionClass TGIFApplicationExtension::Class = {
    GifFormat::ApplicationLabel, &FindApplicationClass, &Make<TGIFApplicationExtension>,
    "TGIFApplicationExtension"};
const TGIFExtensionClass TGIFAppExtNSLoop::Class = {
    GifFormat::ApplicationLabel, [](TStream&) { return Itself(TGIFAppExtNSLoop::Class); },
    &Make<TGIFAppExtNSLoop>, "TGIFAppExtNSLoop"};
const TGIFExtensionClass TGIFUnknownAppExtension::Class = {
    GifFormat::ApplicationLabel, [](TStream&) { return Itself(TGIFUnknownAppExtension::Class); },
    &Make<TGIFUnknownAppExtension>, "TGIFUnknownAppExtension"};

// ---------------------------------------------------------------------------------------------
// Registries

std::vector<const TGIFExtensionClass*>& TExtensionList::List()
{
    static std::vector<const TGIFExtensionClass*> list = {
        &TGIFTextExtension::Class, &TGIFGraphicControlExtension::Class, &TGIFCommentExtension::Class,
        &TGIFApplicationExtension::Class};
    return list;
}

const TGIFExtensionClass* TExtensionList::Find(std::uint8_t Label)
{
    const auto& list = List();
    for (auto it = list.rbegin(); it != list.rend(); ++it)
        if ((*it)->Label == Label)
            return *it;
    return nullptr;
}

void TExtensionList::Register(const TGIFExtensionClass& Class)
{
    List().push_back(&Class);
}

std::vector<TAppExtensionList::Entry>& TAppExtensionList::List()
{
    static std::vector<Entry> list = {{ToIdentifier("NETSCAPE2.0"), &TGIFAppExtNSLoop::Class},
                                      {ToIdentifier("ANIMEXTS1.0"), &TGIFAppExtNSLoop::Class}};
    return list;
}

const TGIFExtensionClass* TAppExtensionList::Find(const TGIFApplicationIdentifier& Identifier)
{
    const auto& list = List();
    for (auto it = list.rbegin(); it != list.rend(); ++it)
        if (it->Identifier == Identifier)
            return it->Class;
    return nullptr;
}

void TAppExtensionList::Register(const std::string& Identifier, const TGIFExtensionClass& Class)
{
    List().push_back({ToIdentifier(Identifier), &Class});
}

// ---------------------------------------------------------------------------------------------
// Base

TGIFExtension::TGIFExtension(TGIFSubImage* Frame) : TGIFItem(Frame ? Frame->Image() : nullptr), FFrame(Frame) {}

TGIFExtension::~TGIFExtension() = default;

void TGIFExtension::LoadFromStream(TStream& Stream)
{
    std::uint8_t head[2];
    ReadExact(Stream, head, 2);
    if (head[0] != GifFormat::ExtensionIntroducer)
        throw GIFException(GifMessage::BadIntroducer);
    if (head[1] != ExtensionType())
        throw GIFException(GifMessage::ExtensionMismatch);
    LoadBody(Stream);
}

void TGIFExtension::SaveToStream(TStream& Stream)
{
    const std::uint8_t head[2] = {GifFormat::ExtensionIntroducer, ExtensionType()};
    Stream.WriteBuffer(head, 2);
    SaveBody(Stream);
}

// ---------------------------------------------------------------------------------------------
// Graphic control

TGIFGraphicControlExtension::TGIFGraphicControlExtension(TGIFSubImage* Frame) : TGIFExtension(Frame)
{
    if (FFrame && !FFrame->GraphicControlExtension())
        FFrame->SetGraphicControlExtension(this);
}

TGIFGraphicControlExtension::~TGIFGraphicControlExtension()
{
    if (FFrame)
        FFrame->ExtensionDestroyed(this);
}

std::unique_ptr<TGIFExtension> TGIFGraphicControlExtension::Clone(TGIFSubImage* Frame) const
{
    auto copy = std::make_unique<TGIFGraphicControlExtension>(Frame);
    copy->FRecord = FRecord;
    return copy;
}

void TGIFGraphicControlExtension::SetTransparent(bool Value)
{
    if (Value)
        FRecord[1] |= GifFormat::TransparentColorFlag;
    else
        FRecord[1] &= static_cast<std::uint8_t>(~GifFormat::TransparentColorFlag);
    if (FFrame)
        FFrame->SetTransparentFlag(Value);
}

void TGIFGraphicControlExtension::SetTransparentColorIndex(int Value)
{
    if (FFrame) {
        const int count = FFrame->ActiveColorMap().Count();
        if (count > 0 && (Value < 0 || Value >= count)) {
            Warning(TGIFSeverity::gsWarning, GifMessage::ColorIndex);
            Value = 0;
        }
    }
    FRecord[4] = static_cast<std::uint8_t>(Value);
}

void TGIFGraphicControlExtension::SetUserInput(bool Value)
{
    if (Value)
        FRecord[1] |= GifFormat::UserInputFlag;
    else
        FRecord[1] &= static_cast<std::uint8_t>(~GifFormat::UserInputFlag);
}

void TGIFGraphicControlExtension::SetDisposal(int Value)
{
    const std::uint8_t field = GifFormat::PackField(Value, GifFormat::DisposalMask, GifFormat::DisposalShift);
    FRecord[1] = static_cast<std::uint8_t>((FRecord[1] & ~GifFormat::DisposalMask) | field);
}

void TGIFGraphicControlExtension::SetDelay(int Value)
{
    Put16(&FRecord[2], static_cast<std::uint16_t>(Value));
}

void TGIFGraphicControlExtension::LoadBody(TStream& Stream)
{
    decltype(FRecord) record = {};
    const std::int64_t size = static_cast<std::int64_t>(record.size());
    const std::int64_t got = Stream.Read(record.data(), size);
    if (got < size) {
        Warning(TGIFSeverity::gsWarning, GifMessage::PrematureEnd);
        std::copy_n(record.begin(), got > 0 ? got : 0, FRecord.begin());
    } else {
        FRecord = record;
    }
    if (Transparent() && FFrame)
        FFrame->SetTransparentFlag(true);
}

void TGIFGraphicControlExtension::SaveBody(TStream& Stream)
{
    Stream.WriteBuffer(FRecord.data(), static_cast<std::int64_t>(FRecord.size()));
}

// ---------------------------------------------------------------------------------------------
// Text lines, plain text and comment

void TGIFTextLines::Load(TStream& Stream, std::vector<std::string>& Lines)
{
    Lines.clear();
    for (;;) {
        std::uint8_t size = 0;
        if (!ReadByte(Stream, size) || size == GifFormat::BlockTerminator)
            break;
        char block[GifFormat::MaxSubBlockSize];
        const std::int64_t got = Stream.Read(block, size);
        const std::size_t length = got > 0 ? static_cast<std::size_t>(got) : 0;
        const char* zero = static_cast<const char*>(std::memchr(block, 0, length));
        Lines.emplace_back(block, zero ? static_cast<std::size_t>(zero - block) : length);
        if (static_cast<int>(length) < size)
            break;  // the stream has ended
    }
}

void TGIFTextLines::Save(TStream& Stream, const std::vector<std::string>& Lines)
{
    for (const std::string& line : Lines) {
        std::size_t done = 0;
        while (done < line.size()) {
            const std::size_t size = std::min<std::size_t>(GifFormat::MaxSubBlockSize, line.size() - done);
            WriteByte(Stream, static_cast<std::uint8_t>(size));
            Stream.WriteBuffer(line.data() + done, static_cast<std::int64_t>(size));
            done += size;
        }
    }
    WriteByte(Stream, GifFormat::BlockTerminator);
}

TGIFTextExtension::TGIFTextExtension(TGIFSubImage* Frame) : TGIFExtension(Frame) {}

std::unique_ptr<TGIFExtension> TGIFTextExtension::Clone(TGIFSubImage* Frame) const
{
    auto copy = std::make_unique<TGIFTextExtension>(Frame);
    copy->Text = Text;
    copy->Record = Record;
    return copy;
}

void TGIFTextExtension::LoadBody(TStream& Stream)
{
    ReadExact(Stream, Record.data(), static_cast<std::int64_t>(Record.size()));
    TGIFTextLines::Load(Stream, Text);
}

void TGIFTextExtension::SaveBody(TStream& Stream)
{
    Stream.WriteBuffer(Record.data(), static_cast<std::int64_t>(Record.size()));
    TGIFTextLines::Save(Stream, Text);
}

std::unique_ptr<TGIFExtension> TGIFCommentExtension::Clone(TGIFSubImage* Frame) const
{
    auto copy = std::make_unique<TGIFCommentExtension>(Frame);
    copy->Text = Text;
    return copy;
}

void TGIFCommentExtension::LoadBody(TStream& Stream)
{
    TGIFTextLines::Load(Stream, Text);
}

void TGIFCommentExtension::SaveBody(TStream& Stream)
{
    TGIFTextLines::Save(Stream, Text);
}

// ---------------------------------------------------------------------------------------------
// Application extensions

TGIFApplicationExtension::TGIFApplicationExtension(TGIFSubImage* Frame) : TGIFExtension(Frame) {}

std::unique_ptr<TGIFExtension> TGIFApplicationExtension::Clone(TGIFSubImage* Frame) const
{
    auto copy = std::make_unique<TGIFApplicationExtension>(Frame);
    copy->Identifier = Identifier;
    return copy;
}

void TGIFApplicationExtension::LoadBody(TStream& Stream)
{
    const std::uint8_t size = ReadByteExact(Stream);
    if (size < GifFormat::ShortApplicationBlockSize)
        throw GIFException(GifMessage::AppBlockSize);
    ReadExact(Stream, Identifier.data(), GifFormat::ApplicationBlockSize);
    // A 10-byte identifier block: the eleventh byte read belongs to the data.
    Stream.Seek(static_cast<std::int64_t>(size) - GifFormat::ApplicationBlockSize, TSeekOrigin::soCurrent);
    LoadData(Stream);
}

void TGIFApplicationExtension::SaveBody(TStream& Stream)
{
    WriteByte(Stream, GifFormat::ApplicationBlockSize);
    Stream.WriteBuffer(Identifier.data(), GifFormat::ApplicationBlockSize);
    SaveData(Stream);
}

void TGIFApplicationExtension::LoadData(TStream&)
{
    // Only blocks whose identifier block is longer than 11 bytes end up here.
    throw GIFException(GifMessage::AppBlockSize);
}

void TGIFApplicationExtension::SaveData(TStream& Stream)
{
    WriteByte(Stream, GifFormat::BlockTerminator);
}

TGIFAppExtNSLoop::TGIFAppExtNSLoop(TGIFSubImage* Frame) : TGIFApplicationExtension(Frame)
{
    Identifier = ToIdentifier("NETSCAPE2.0");
}

std::unique_ptr<TGIFExtension> TGIFAppExtNSLoop::Clone(TGIFSubImage* Frame) const
{
    auto copy = std::make_unique<TGIFAppExtNSLoop>(Frame);
    copy->Identifier = Identifier;
    copy->Loops = Loops;
    copy->BufferSize = BufferSize;
    return copy;
}

void TGIFAppExtNSLoop::LoadData(TStream& Stream)
{
    for (;;) {
        const std::uint8_t size = ReadByteExact(Stream);
        if (size == GifFormat::BlockTerminator)
            break;
        const std::uint8_t id = ReadByteExact(Stream) & GifFormat::NetscapeSubBlockIdMask;
        if (id == GifFormat::NetscapeLoopId) {
            if (size < GifFormat::NetscapeLoopBlockSize)
                throw GIFException(GifMessage::InvalidData);
            std::uint8_t value[2];
            ReadExact(Stream, value, 2);
            Loops = Get16(value);
            Skip(Stream, size - GifFormat::NetscapeLoopBlockSize);
        } else if (id == GifFormat::NetscapeBufferId) {
            if (size < GifFormat::NetscapeBufferBlockSize)
                throw GIFException(GifMessage::InvalidData);
            std::uint8_t value[4];
            ReadExact(Stream, value, 4);
            BufferSize = Get32(value);
            Skip(Stream, size - GifFormat::NetscapeBufferBlockSize);
        } else {
            Skip(Stream, size - 1);
        }
    }
}

void TGIFAppExtNSLoop::SaveData(TStream& Stream)
{
    std::uint8_t loop[1 + GifFormat::NetscapeLoopBlockSize] = {GifFormat::NetscapeLoopBlockSize,
                                                               GifFormat::NetscapeLoopId, 0, 0};
    Put16(loop + 2, Loops);
    Stream.WriteBuffer(loop, sizeof loop);
    if (BufferSize != 0) {
        std::uint8_t buffer[1 + GifFormat::NetscapeBufferBlockSize] = {GifFormat::NetscapeBufferBlockSize,
                                                                       GifFormat::NetscapeBufferId, 0, 0, 0, 0};
        Put32(buffer + 2, BufferSize);
        Stream.WriteBuffer(buffer, sizeof buffer);
    }
    WriteByte(Stream, GifFormat::BlockTerminator);
}

std::unique_ptr<TGIFExtension> TGIFUnknownAppExtension::Clone(TGIFSubImage* Frame) const
{
    auto copy = std::make_unique<TGIFUnknownAppExtension>(Frame);
    copy->Identifier = Identifier;
    copy->Blocks = Blocks;
    return copy;
}

void TGIFUnknownAppExtension::LoadData(TStream& Stream)
{
    Blocks.clear();
    for (;;) {
        std::uint8_t size = 0;
        if (!ReadByte(Stream, size) || size == GifFormat::BlockTerminator)
            break;
        std::vector<std::uint8_t> block(size);
        const std::int64_t got = Stream.Read(block.data(), size);
        if (got <= 0)
            break;
        block.resize(static_cast<std::size_t>(got));
        Blocks.push_back(std::move(block));
        if (got < size)
            break;
    }
}

void TGIFUnknownAppExtension::SaveData(TStream& Stream)
{
    for (const auto& block : Blocks) {
        if (block.empty())
            continue;
        const std::size_t size = std::min<std::size_t>(block.size(), GifFormat::MaxSubBlockSize);
        WriteByte(Stream, static_cast<std::uint8_t>(size));
        Stream.WriteBuffer(block.data(), static_cast<std::int64_t>(size));
    }
    WriteByte(Stream, GifFormat::BlockTerminator);
}

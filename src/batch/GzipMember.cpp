#include "batch/GzipMember.h"

#include <zlib.h>

#include <algorithm>
#include <climits>

namespace {

std::uint32_t ReadLittle32(std::string_view Bytes, std::size_t Pos)
{
    std::uint32_t v = 0;
    for (int k = 3; k >= 0; --k)
        v = v << 8 | static_cast<unsigned char>(Bytes[Pos + static_cast<std::size_t>(k)]);
    return v;
}

void AppendLittle32(std::string& Out, std::uint32_t Value)
{
    for (int k = 0; k < 4; ++k)
        Out.push_back(static_cast<char>((Value >> (8 * k)) & 0xFF));
}

std::uint32_t Crc32(std::string_view Data)
{
    uLong crc = crc32(0L, Z_NULL, 0);
    std::size_t done = 0;
    while (done < Data.size()) {
        const uInt part = static_cast<uInt>(std::min<std::size_t>(Data.size() - done, UINT_MAX));
        crc = crc32(crc, reinterpret_cast<const Bytef*>(Data.data() + done), part);
        done += part;
    }
    return static_cast<std::uint32_t>(crc);
}

constexpr unsigned char FlagText = 1, FlagHeaderCrc = 2, FlagExtra = 4, FlagName = 8, FlagComment = 16;

}  // namespace

TGzipMember SplitGzipMember(std::string_view Bytes)
{
    if (Bytes.size() < 18 || static_cast<unsigned char>(Bytes[0]) != 0x1F ||
        static_cast<unsigned char>(Bytes[1]) != 0x8B)
        throw EGzipError("Not gzip data");
    if (Bytes[2] != 8) throw EGzipError("Unknown gzip compression method");
    const auto flags = static_cast<unsigned char>(Bytes[3]);
    if (flags & ~(FlagText | FlagHeaderCrc | FlagExtra | FlagName | FlagComment))
        throw EGzipError("Unknown gzip header flags");
    const std::size_t trailer = Bytes.size() - 8;
    std::size_t pos = 10;
    if (flags & FlagExtra) {
        if (pos + 2 > trailer) throw EGzipError("Gzip header ends early");
        const std::size_t length = static_cast<unsigned char>(Bytes[pos]) |
                                   static_cast<std::size_t>(static_cast<unsigned char>(Bytes[pos + 1])) << 8;
        pos += 2 + length;
    }
    for (const unsigned char field : {FlagName, FlagComment}) {
        if (!(flags & field)) continue;
        const std::size_t end = pos < trailer ? Bytes.find('\0', pos) : std::string_view::npos;
        if (end == std::string_view::npos || end >= trailer) throw EGzipError("Gzip header ends early");
        pos = end + 1;
    }
    if (flags & FlagHeaderCrc) pos += 2;
    if (pos > trailer) throw EGzipError("Gzip header ends early");
    TGzipMember member;
    member.Header = Bytes.substr(0, pos);
    member.Deflated = Bytes.substr(pos, trailer - pos);
    member.Crc = ReadLittle32(Bytes, trailer);
    member.Size = ReadLittle32(Bytes, trailer + 4);
    return member;
}

namespace {

// Inflates Member's data into Out, which grows by pieces up to Room bytes, or (Out none) into a
// scratch buffer that is written over; stops once more than Room have come out. The bytes that
// came out, and whether the data ended there; raises EGzipError for data that does not inflate.
struct TInflated {
    std::uint64_t Bytes = 0;
    bool Ended = false;
};

TInflated Inflate(const TGzipMember& Member, std::uint64_t Room, std::string* Out)
{
    z_stream z{};
    if (inflateInit2(&z, -MAX_WBITS) != Z_OK) throw EGzipError("Cannot start inflating");
    struct TEnd {
        z_stream& Z;
        ~TEnd() { inflateEnd(&Z); }
    } end{z};
    std::string scratch;
    std::string& buffer = Out ? *Out : scratch;
    // What the output holds grows as it comes, so that a trailer's word costs nothing until the
    // data bear it out.
    const std::size_t most = static_cast<std::size_t>(Room) + 1;
    buffer.assign(Out ? std::min(most, std::max<std::size_t>(std::size_t{1} << 16, 4 * Member.Deflated.size()))
                      : std::size_t{1} << 16,
                  '\0');
    TInflated result;
    std::size_t consumed = 0, filled = 0;
    while (true) {
        const std::size_t in = std::min<std::size_t>(Member.Deflated.size() - consumed, UINT_MAX);
        if (filled == buffer.size()) {
            if (Out)
                buffer.resize(std::min(most, 2 * buffer.size()));
            else
                filled = 0;  // the scratch buffer comes round again
        }
        const std::size_t room = std::min<std::size_t>(buffer.size() - filled, UINT_MAX);
        z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(Member.Deflated.data() + consumed));
        z.avail_in = static_cast<uInt>(in);
        z.next_out = reinterpret_cast<Bytef*>(buffer.data() + filled);
        z.avail_out = static_cast<uInt>(room);
        const int status = inflate(&z, Z_NO_FLUSH);
        consumed += in - z.avail_in;
        filled += room - z.avail_out;
        result.Bytes += room - z.avail_out;
        if (status == Z_STREAM_END) {
            result.Ended = true;
            break;
        }
        if (result.Bytes > Room) break;
        if (status == Z_BUF_ERROR && consumed == Member.Deflated.size()) throw EGzipError("Gzip data ends early");
        if (status != Z_OK && status != Z_BUF_ERROR) throw EGzipError("Gzip data does not inflate");
    }
    if (result.Ended && consumed != Member.Deflated.size()) throw EGzipError("Data after the gzip member");
    if (Out) Out->resize(static_cast<std::size_t>(std::min(result.Bytes, Room)));
    return result;
}

}  // namespace

std::string InflateGzipMember(const TGzipMember& Member)
{
    std::string out;
    const TInflated inflated = Inflate(Member, Member.Size, &out);
    if (!inflated.Ended || inflated.Bytes > Member.Size) throw EGzipError("Gzip data longer than its trailer says");
    if (inflated.Bytes != Member.Size) throw EGzipError("Gzip data size does not match its trailer");
    if (Crc32(out) != Member.Crc) throw EGzipError("Gzip checksum does not match");
    return out;
}

bool GzipMemberExceeds(const TGzipMember& Member, std::uint64_t Limit)
{
    if (Inflate(Member, Limit, nullptr).Bytes > Limit) return true;
    throw EGzipError("Gzip data size does not match its trailer");
}

std::string WriteGzipMember(std::string_view Header, std::string_view Data)
{
    z_stream z{};
    if (deflateInit2(&z, Z_BEST_COMPRESSION, Z_DEFLATED, -MAX_WBITS, 9, Z_DEFAULT_STRATEGY) != Z_OK)
        throw EOutOfMemory("Cannot start deflating");
    struct TEnd {
        z_stream& Z;
        ~TEnd() { deflateEnd(&Z); }
    } end{z};
    std::string out(Header);
    std::size_t consumed = 0;
    int status = Z_OK;
    char buffer[65536];
    while (status != Z_STREAM_END) {
        const std::size_t in = std::min<std::size_t>(Data.size() - consumed, UINT_MAX);
        z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(Data.data() + consumed));
        z.avail_in = static_cast<uInt>(in);
        z.next_out = reinterpret_cast<Bytef*>(buffer);
        z.avail_out = sizeof buffer;
        const bool last = consumed + in == Data.size();
        status = deflate(&z, last ? Z_FINISH : Z_NO_FLUSH);
        if (status == Z_STREAM_ERROR) throw EOutOfMemory("Cannot deflate");
        consumed += in - z.avail_in;
        out.append(buffer, sizeof buffer - z.avail_out);
    }
    AppendLittle32(out, Crc32(Data));
    AppendLittle32(out, static_cast<std::uint32_t>(Data.size() & 0xFFFFFFFFu));
    return out;
}

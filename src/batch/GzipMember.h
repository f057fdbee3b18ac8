#pragma once
// A gzip file of one member (RFC 1952), as an .svgz is: split into its parts, its data
// inflated within a limit, and written again around new data with the header it had (the
// file name, time, comment and flags kept byte for byte).

#include "base/Exceptions.h"

#include <cstdint>
#include <string>
#include <string_view>

// Bytes that are no single well-formed gzip member: no gzip header, an unknown method or flag,
// data that does not inflate or ends early, a checksum or size that does not match, a second
// member or anything after the first.
class EGzipError : public Exception {
public:
    using Exception::Exception;
};

struct TGzipMember {
    std::string_view Header;    // from the magic number to the compressed data
    std::string_view Deflated;  // the compressed data
    std::uint32_t Crc = 0;      // of the inflated data, as the trailer says
    std::uint32_t Size = 0;     // the inflated size modulo 2^32, as the trailer says
};

// The parts of Bytes (which must outlive them). Raises EGzipError.
TGzipMember SplitGzipMember(std::string_view Bytes);

// The inflated data of Member, which must be exactly Member.Size bytes with its checksum:
// inflating stops once more come out, so no more than Size bytes (and a little) are ever held.
// Raises EGzipError.
std::string InflateGzipMember(const TGzipMember& Member);

// For a member whose trailer gives a size beyond Limit (a size that is only the true one modulo
// 2^32, or the end of a file cut short): whether its data truly inflate to more than Limit
// bytes. Inflates up to that many, holding none of them; raises EGzipError for data that does
// not inflate or end before.
bool GzipMemberExceeds(const TGzipMember& Member, std::uint64_t Limit);

// Data deflated (at the best compression) between Header and a trailer of its own.
std::string WriteGzipMember(std::string_view Header, std::string_view Data);

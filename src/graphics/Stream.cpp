#include "graphics/Stream.h"


#include "base/Exceptions.h"
#include "base/SafeFile.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <new>
#include <sys/stat.h>
#include <unistd.h>

namespace {

const char* const kReadError = "Stream read error";
const char* const kWriteError = "Stream write error";

std::string SystemMessage(int err) { return std::strerror(err); }

}  // namespace

// ---------------------------------------------------------------- TStream

std::int64_t TStream::Size()
{
    const std::int64_t pos = Seek(0, TSeekOrigin::soCurrent);
    const std::int64_t size = Seek(0, TSeekOrigin::soEnd);
    Seek(pos, TSeekOrigin::soBeginning);
    return size;
}

void TStream::ReadBuffer(void* buffer, std::int64_t count)
{
    auto* p = static_cast<std::uint8_t*>(buffer);
    while (count > 0) {
        const std::int64_t n = Read(p, count);
        if (n <= 0) {
            throw EReadError(kReadError);
        }
        p += n;
        count -= n;
    }
}

void TStream::WriteBuffer(const void* buffer, std::int64_t count)
{
    const auto* p = static_cast<const std::uint8_t*>(buffer);
    while (count > 0) {
        const std::int64_t n = Write(p, count);
        if (n <= 0) {
            throw EWriteError(kWriteError);
        }
        p += n;
        count -= n;
    }
}

std::int64_t TStream::CopyFrom(TStream& source, std::int64_t count)
{
    if (count == 0) {
        source.SetPosition(0);
        count = source.Size();
    }
    const std::int64_t total = count;
    constexpr std::int64_t kChunk = 1 << 16;
    auto buffer = std::make_unique_for_overwrite<std::uint8_t[]>(kChunk);
    while (count > 0) {
        const std::int64_t n = std::min(count, kChunk);
        source.ReadBuffer(buffer.get(), n);
        WriteBuffer(buffer.get(), n);
        count -= n;
    }
    return total;
}

// ---------------------------------------------------------------- TFileStream

TFileStream::TFileStream(const std::string& fileName, std::uint16_t mode) : FFileName(fileName)
{
    // POSIX has no mandatory share modes: the share bits are accepted and have no effect.
    if (mode == fmCreate) {
        FFd = ::open(fileName.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
        if (FFd < 0) {
            throw EFCreateError("Cannot create file \"" + fileName + "\". " + SystemMessage(errno));
        }
        return;
    }
    int flags = O_CLOEXEC;
    switch (mode & 0x0003) {
    case fmOpenWrite: flags |= O_WRONLY; break;
    case fmOpenReadWrite: flags |= O_RDWR; break;
    default: flags |= O_RDONLY; break;
    }
    FFd = ::open(fileName.c_str(), flags);
    int err = errno;
    if (FFd >= 0) {
        struct stat st {};
        if (::fstat(FFd, &st) == 0 && S_ISDIR(st.st_mode)) {
            ::close(FFd);
            FFd = -1;
            err = EISDIR;
        }
    }
    if (FFd < 0) {
        throw EFOpenError("Cannot open file \"" + fileName + "\". " + SystemMessage(err));
    }
}

TFileStream::~TFileStream()
{
    if (FFd >= 0) {
        ::close(FFd);
    }
}

std::int64_t TFileStream::Read(void* buffer, std::int64_t count)
{
    auto* p = static_cast<std::uint8_t*>(buffer);
    std::int64_t done = 0;
    while (done < count) {
        const ssize_t n = ::read(FFd, p + done, static_cast<std::size_t>(std::min<std::int64_t>(count - done, 1 << 30)));
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            break;
        }
        done += n;
    }
    return done;
}

std::int64_t TFileStream::Write(const void* buffer, std::int64_t count)
{
    const auto* p = static_cast<const std::uint8_t*>(buffer);
    std::int64_t done = 0;
    while (done < count) {
        const ssize_t n = ::write(FFd, p + done, static_cast<std::size_t>(std::min<std::int64_t>(count - done, 1 << 30)));
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            break;
        }
        done += n;
    }
    return done;
}

std::int64_t TFileStream::Seek(std::int64_t offset, TSeekOrigin origin)
{
    const int whence = origin == TSeekOrigin::soBeginning ? SEEK_SET
                       : origin == TSeekOrigin::soCurrent ? SEEK_CUR
                                                          : SEEK_END;
    const off_t pos = ::lseek(FFd, static_cast<off_t>(offset), whence);
    if (pos < 0) {
        throw EInOutError("Cannot seek in file \"" + FFileName + "\". " + SystemMessage(errno));
    }
    return pos;
}

void TFileStream::SetSize(std::int64_t newSize)
{
    const std::int64_t pos = Position();
    if (::ftruncate(FFd, static_cast<off_t>(newSize)) != 0) {
        throw EWriteError(kWriteError);
    }
    if (pos > newSize) {
        SetPosition(newSize);
    }
}

// ---------------------------------------------------------------- TMemoryStream

TMemoryStream::~TMemoryStream() { std::free(FMemory); }

void TMemoryStream::SetCapacity(std::int64_t newCapacity)
{
    if (newCapacity == FCapacity) {
        return;
    }
    if (newCapacity == 0) {
        std::free(FMemory);
        FMemory = nullptr;
        FCapacity = 0;
        return;
    }
    if (newCapacity < 0 || static_cast<std::uint64_t>(newCapacity) > SIZE_MAX / 2) {
        throw EOutOfMemory("Out of memory");
    }
    void* p = std::realloc(FMemory, static_cast<std::size_t>(newCapacity));
    if (p == nullptr) {
        throw EOutOfMemory("Out of memory");
    }
    FMemory = static_cast<std::uint8_t*>(p);
    FCapacity = newCapacity;
}

void TMemoryStream::SetSize(std::int64_t newSize)
{
    if (newSize < 0) {
        newSize = 0;
    }
    if (newSize > FCapacity || newSize == 0) {
        SetCapacity(newSize);
    }
    FSize = newSize;
    if (FPosition > FSize) {
        FPosition = FSize;
    }
}

std::int64_t TMemoryStream::Read(void* buffer, std::int64_t count)
{
    if (count <= 0 || FPosition >= FSize) {
        return 0;
    }
    const std::int64_t n = std::min(count, FSize - FPosition);
    std::memcpy(buffer, FMemory + FPosition, static_cast<std::size_t>(n));
    FPosition += n;
    return n;
}

std::int64_t TMemoryStream::Write(const void* buffer, std::int64_t count)
{
    if (count <= 0) {
        return 0;
    }
    const std::int64_t end = FPosition + count;
    if (end > FCapacity) {
        // Grow geometrically so that many small writes stay linear.
        SetCapacity(std::max(end, FCapacity + FCapacity / 2 + 4096));
    }
    if (FPosition > FSize) {
        std::memset(FMemory + FSize, 0, static_cast<std::size_t>(FPosition - FSize));
    }
    std::memcpy(FMemory + FPosition, buffer, static_cast<std::size_t>(count));
    FPosition = end;
    FSize = std::max(FSize, end);
    return count;
}

std::int64_t TMemoryStream::Seek(std::int64_t offset, TSeekOrigin origin)
{
    std::int64_t base = 0;
    if (origin == TSeekOrigin::soCurrent) {
        base = FPosition;
    } else if (origin == TSeekOrigin::soEnd) {
        base = FSize;
    }
    FPosition = std::max<std::int64_t>(0, base + offset);
    return FPosition;
}

void TMemoryStream::Clear()
{
    SetCapacity(0);
    FSize = 0;
    FPosition = 0;
}

void TMemoryStream::LoadFromStream(TStream& source)
{
    source.SetPosition(0);
    const std::int64_t count = source.Size();
    SetSize(count);
    if (count != 0) {
        source.ReadBuffer(FMemory, count);
    }
    FPosition = 0;
}

void TMemoryStream::SaveToStream(TStream& dest)
{
    if (FSize != 0) {
        dest.WriteBuffer(FMemory, FSize);
    }
}

void TMemoryStream::LoadFromFile(const std::string& fileName)
{
    TFileStream file(fileName, fmOpenRead | fmShareDenyWrite);
    LoadFromStream(file);
}

void TMemoryStream::SaveToFile(const std::string& fileName)
{
    SaveFileSafely(fileName, std::string_view(reinterpret_cast<const char*>(FMemory), static_cast<std::size_t>(FSize)));
}

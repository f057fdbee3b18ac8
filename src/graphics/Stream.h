#pragma once
// Byte streams: the common base, files on disk and blocks of memory.

#include <cstddef>
#include <cstdint>
#include <string>

enum class TSeekOrigin { soBeginning, soCurrent, soEnd };

// File open modes; one access mode, optionally or-ed with one share mode.
enum : std::uint16_t {
    fmOpenRead = 0x0000,
    fmOpenWrite = 0x0001,
    fmOpenReadWrite = 0x0002,
    fmShareCompat = 0x0000,
    fmShareExclusive = 0x0010,
    fmShareDenyWrite = 0x0020,
    fmShareDenyRead = 0x0030,
    fmShareDenyNone = 0x0040,
    fmCreate = 0xFFFF,
};

class TStream {
public:
    virtual ~TStream() = default;

    // Reads up to count bytes; returns how many were read (0 at the end).
    virtual std::int64_t Read(void* buffer, std::int64_t count) = 0;
    // Writes up to count bytes; returns how many were written.
    virtual std::int64_t Write(const void* buffer, std::int64_t count) = 0;
    // Moves the position and returns the new one.
    virtual std::int64_t Seek(std::int64_t offset, TSeekOrigin origin) = 0;

    virtual std::int64_t Size();
    virtual void SetSize(std::int64_t newSize) = 0;

    std::int64_t Position() { return Seek(0, TSeekOrigin::soCurrent); }
    void SetPosition(std::int64_t pos) { Seek(pos, TSeekOrigin::soBeginning); }

    // Exactly count bytes or EReadError / EWriteError.
    void ReadBuffer(void* buffer, std::int64_t count);
    void WriteBuffer(const void* buffer, std::int64_t count);

    // Copies count bytes from source (0: the whole source from its start); returns the count.
    std::int64_t CopyFrom(TStream& source, std::int64_t count);
};

// A file opened with the POSIX calls; reads and writes go straight to the descriptor.
class TFileStream : public TStream {
public:
    // mode: fmCreate, or fmOpenRead / fmOpenWrite / fmOpenReadWrite with a share mode.
    // Raises EFCreateError or EFOpenError naming the file.
    TFileStream(const std::string& fileName, std::uint16_t mode);
    ~TFileStream() override;
    TFileStream(const TFileStream&) = delete;
    TFileStream& operator=(const TFileStream&) = delete;

    std::int64_t Read(void* buffer, std::int64_t count) override;
    std::int64_t Write(const void* buffer, std::int64_t count) override;
    std::int64_t Seek(std::int64_t offset, TSeekOrigin origin) override;
    void SetSize(std::int64_t newSize) override;

    const std::string& FileName() const { return FFileName; }
    int Handle() const { return FFd; }

private:
    std::string FFileName;
    int FFd = -1;
};

// A growable block of memory. Memory() stays valid until the size or capacity changes.
class TMemoryStream : public TStream {
public:
    TMemoryStream() = default;
    ~TMemoryStream() override;
    TMemoryStream(const TMemoryStream&) = delete;
    TMemoryStream& operator=(const TMemoryStream&) = delete;

    std::int64_t Read(void* buffer, std::int64_t count) override;
    std::int64_t Write(const void* buffer, std::int64_t count) override;
    std::int64_t Seek(std::int64_t offset, TSeekOrigin origin) override;
    std::int64_t Size() override { return FSize; }
    // Keeps the contents up to the new size; new bytes are undefined. The position is
    // moved back to the end when it lay beyond it.
    void SetSize(std::int64_t newSize) override;

    std::uint8_t* Memory() { return FMemory; }
    const std::uint8_t* Memory() const { return FMemory; }

    void Clear();
    void LoadFromStream(TStream& source);  // the whole source, from its start
    void SaveToStream(TStream& dest);
    void LoadFromFile(const std::string& fileName);
    void SaveToFile(const std::string& fileName);

private:
    void SetCapacity(std::int64_t newCapacity);

    std::uint8_t* FMemory = nullptr;
    std::int64_t FSize = 0;
    std::int64_t FCapacity = 0;
    std::int64_t FPosition = 0;
};

#include "base/Exceptions.h"
#include "graphics/Stream.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <string>

namespace {

std::string TempPath(const std::string& name)
{
    return testsupport::ProgramTempDir() + "/" + name;
}

TEST(MemoryStream, WritesGrowAndReadsStopAtTheEnd)
{
    TMemoryStream m;
    for (int i = 0; i < 100000; ++i) {
        const auto b = static_cast<std::uint8_t>(i);
        m.WriteBuffer(&b, 1);
    }
    EXPECT_EQ(m.Size(), 100000);
    EXPECT_EQ(m.Position(), 100000);
    EXPECT_EQ(m.Memory()[70000], static_cast<std::uint8_t>(70000));
    m.SetPosition(99998);
    std::uint8_t buf[8];
    EXPECT_EQ(m.Read(buf, 8), 2);
    EXPECT_EQ(m.Read(buf, 8), 0);
}

TEST(MemoryStream, ShortReadBufferRaisesReadError)
{
    TMemoryStream m;
    m.WriteBuffer("abc", 3);
    m.SetPosition(1);
    char buf[4];
    try {
        m.ReadBuffer(buf, 3);
        FAIL() << "no error";
    } catch (const EReadError& e) {
        EXPECT_STREQ(e.what(), "Stream read error");
    }
    // A read error counts as a file input/output error.
    m.SetPosition(0);
    EXPECT_THROW(m.ReadBuffer(buf, 4), EInOutError);
}

TEST(MemoryStream, WriteAfterSeekBeyondEndFillsTheGapWithZeros)
{
    TMemoryStream m;
    m.WriteBuffer("ab", 2);
    m.Seek(3, TSeekOrigin::soEnd);
    m.WriteBuffer("z", 1);
    ASSERT_EQ(m.Size(), 6);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(m.Memory()), 6), std::string("ab\0\0\0z", 6));
    m.SetSize(1);
    EXPECT_EQ(m.Position(), 1);
}

TEST(FileStream, SaveAndLoadThroughFiles)
{
    const std::string path = TempPath("roundtrip.bin");
    {
        TMemoryStream m;
        m.WriteBuffer("hello, file", 11);
        m.SaveToFile(path);
    }
    TMemoryStream back;
    back.LoadFromFile(path);
    EXPECT_EQ(back.Size(), 11);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(back.Memory()), 11), "hello, file");
    {
        TFileStream f(path, fmOpenRead | fmShareDenyWrite);
        EXPECT_EQ(f.Size(), 11);
        f.Seek(-4, TSeekOrigin::soEnd);
        char buf[4];
        f.ReadBuffer(buf, 4);
        EXPECT_EQ(std::string(buf, 4), "file");
        EXPECT_THROW(f.ReadBuffer(buf, 1), EReadError);
    }
    std::remove(path.c_str());
}

TEST(FileStream, OpenAndCreateErrorsNameTheFile)
{
    const std::string missing = TempPath("does-not-exist.png");
    try {
        TFileStream f(missing, fmOpenRead);
        FAIL() << "opened a missing file";
    } catch (const EFOpenError& e) {
        EXPECT_NE(std::string(e.what()).find("Cannot open file \"" + missing + "\""), std::string::npos) << e.what();
    }
    const std::string inMissingDir = TempPath("no-such-dir") + "/x.png";
    try {
        TFileStream f(inMissingDir, fmCreate);
        FAIL() << "created a file in a missing folder";
    } catch (const EFCreateError& e) {
        EXPECT_NE(std::string(e.what()).find("Cannot create file \"" + inMissingDir + "\""), std::string::npos) << e.what();
    }
    // A folder is not a file to read.
    EXPECT_THROW(TFileStream(std::filesystem::temp_directory_path().string(), fmOpenRead), EFOpenError);
}

TEST(Stream, CopyFromCopiesTheWholeSourceWhenCountIsZero)
{
    TMemoryStream src;
    std::string text(200000, 'x');
    text[150000] = 'y';
    src.WriteBuffer(text.data(), static_cast<std::int64_t>(text.size()));
    TMemoryStream dst;
    EXPECT_EQ(dst.CopyFrom(src, 0), 200000);
    EXPECT_EQ(dst.Memory()[150000], 'y');
}

}  // namespace

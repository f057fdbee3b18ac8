#include "batch/WorkList.h"

#include "BatchTestUtil.h"

#include <gtest/gtest.h>

using batchtest::TTempDir;
using batchtest::WriteFile;

namespace {

TEST(WorkList, SortedWithoutRegardToCaseTiesByBytes)
{
    TWorkList list;
    for (const char* p : {"/w/index.html", "/w/B.css", "/w/anim.gif", "/w/a.html", "/w/A.html", "/w/Zeta.png"})
        list.Add(p);
    EXPECT_EQ(list.Sorted(), (std::vector<std::string>{"/w/A.html", "/w/a.html", "/w/anim.gif", "/w/B.css",
                                                       "/w/index.html", "/w/Zeta.png"}));
}

TEST(WorkList, ShorterPrefixComesFirst)
{
    TWorkList list;
    list.Add("/w/ab");
    list.Add("/w/A");
    list.Add("/w/a/b");
    EXPECT_EQ(list.Sorted(), (std::vector<std::string>{"/w/A", "/w/a/b", "/w/ab"}));
}

TEST(WorkList, SameTextOnce)
{
    TWorkList list;
    EXPECT_TRUE(list.Add("/nowhere/x.html"));
    EXPECT_FALSE(list.Add("/nowhere/x.html"));
    EXPECT_EQ(list.Count(), 1u);
}

TEST(WorkList, NamesOfTheSameFileCountOnceButCaseVariantsAreTwoFiles)
{
    TTempDir dir;
    WriteFile(dir / "a.html", "1");
    WriteFile(dir / "A.html", "2");  // a second file where case is told apart
    ASSERT_EQ(link((dir / "a.html").c_str(), (dir / "hard.html").c_str()), 0);
    ASSERT_EQ(symlink("a.html", (dir / "soft.html").c_str()), 0);

    TWorkList list;
    EXPECT_TRUE(list.Add(dir / "a.html"));
    EXPECT_TRUE(list.Add(dir / "A.html"));
    EXPECT_FALSE(list.Add(dir / "hard.html"));
    EXPECT_FALSE(list.Add(dir / "soft.html"));
    EXPECT_FALSE(list.Add(dir.Path() + "/./a.html"));
    EXPECT_EQ(list.Count(), 2u);
}

TEST(WorkList, LongPathsAreKeptWhole)
{
    TTempDir dir;
    std::string deep = dir.Path();
    for (int i = 0; i < 6; ++i) deep += "/" + std::string(60, static_cast<char>('a' + i));
    const std::string a = deep + "/" + std::string(40, 'x') + ".html";
    const std::string b = deep + "/" + std::string(40, 'x') + ".htmlx";
    ASSERT_GT(a.size(), 300u);
    TWorkList list;
    list.Add(a);
    list.Add(b);
    EXPECT_EQ(list.Sorted(), (std::vector<std::string>{a, b}));
}

}  // namespace

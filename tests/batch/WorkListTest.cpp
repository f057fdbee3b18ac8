#include "batch/WorkList.h"

#include "BatchTestUtil.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <random>

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

TEST(WorkList, AListAddedAtOnceIsTheListAddedPathByPath)
{
    // Enough files for the looks to be shared among threads, with every kind of duplicate.
    TTempDir dir;
    std::vector<std::string> paths;
    for (int i = 0; i < 3000; ++i) {
        const std::string path = dir / ("s" + std::to_string(i % 7) + "/p" + std::to_string(i) + ".html");
        WriteFile(path, "x");
        paths.push_back(path);
        if (i % 97 == 0) {  // a second name of the same file, and the same text again
            const std::string hard = dir / ("s" + std::to_string(i % 7) + "/hard" + std::to_string(i) + ".html");
            ASSERT_EQ(link(path.c_str(), hard.c_str()), 0);
            paths.push_back(hard);
            paths.push_back(path);
        }
        if (i % 101 == 0) {  // a link to it, and a name of nothing
            const std::string soft = dir / ("s" + std::to_string(i % 7) + "/soft" + std::to_string(i) + ".html");
            ASSERT_EQ(symlink(path.c_str(), soft.c_str()), 0);
            paths.insert(paths.begin() + i / 2, soft);
            paths.push_back(dir / ("gone" + std::to_string(i) + ".html"));
        }
        if (i % 113 == 0) {  // the same name in other case: another file
            const std::string upper = dir / ("s" + std::to_string(i % 7) + "/P" + std::to_string(i) + ".html");
            WriteFile(upper, "y");
            paths.push_back(upper);
        }
    }
    TWorkList oneByOne;
    for (const std::string& p : paths) oneByOne.Add(p);
    for (const unsigned threads : {1u, 2u, 8u}) {
        TWorkList atOnce;
        atOnce.AddAll(paths, threads);
        ASSERT_EQ(atOnce.Sorted(), oneByOne.Sorted()) << threads << " threads";
        for (const std::string& p : paths) {
            EXPECT_EQ(atOnce.Facts(p).Link, oneByOne.Facts(p).Link) << p;
            EXPECT_EQ(atOnce.Facts(p).Size, oneByOne.Facts(p).Size) << p;
        }
    }
}

TEST(WorkList, SortedIsTheOrderOfWorkListLess)
{
    // Random paths of letters in both cases, digits, punctuation and bytes above 0x7F, many
    // sharing prefixes or differing only in case.
    std::mt19937 random(11);
    const std::string alphabet = "aAbBzZ09._-/~[`{\x80\xc3\xa9\xff";
    std::vector<std::string> paths;
    for (int i = 0; i < 4000; ++i) {
        std::string p = i > 0 && random() % 3 == 0 ? paths[random() % paths.size()] : "/site/";
        const std::size_t extra = random() % 6;
        for (std::size_t k = 0; k < extra; ++k) p.push_back(alphabet[random() % alphabet.size()]);
        if (random() % 4 == 0)
            for (char& c : p)
                if (c >= 'a' && c <= 'z' && random() % 2) c = static_cast<char>(c - 'a' + 'A');
        paths.push_back(p);
    }
    TWorkList list;
    for (const std::string& p : paths) list.Add(p);
    std::vector<std::string> expected = list.Sorted();
    std::sort(expected.begin(), expected.end(), WorkListLess);
    EXPECT_EQ(list.Sorted(), expected);
}

TEST(WorkList, TakenOutInSortedOrderWithTheirFacts)
{
    TTempDir dir;
    WriteFile(dir / "b.html", "12345");
    WriteFile(dir / "A.css", "1");
    ASSERT_EQ(symlink("b.html", (dir / "c.html").c_str()), 0);
    ASSERT_EQ(symlink("b.html", (dir / "a.html").c_str()), 0);
    std::vector<std::string> paths = {dir / "b.html", dir / "gone.html", dir / "A.css", dir / "c.html",
                                      dir / "a.html", dir / "b.html"};
    TWorkList list;
    list.AddAll(paths, 2);
    const std::vector<std::string> sorted = list.Sorted();
    // c.html and a.html lead to b.html, listed first: only the first name of a file stays.
    ASSERT_EQ(sorted, (std::vector<std::string>{dir / "A.css", dir / "b.html", dir / "gone.html"}));
    std::vector<TListedFacts> facts;
    for (const std::string& p : sorted) facts.push_back(list.Facts(p));
    EXPECT_EQ(facts[0].Size, 1);
    EXPECT_EQ(facts[1].Size, 5);
    EXPECT_EQ(facts[2].Size, 0);

    const std::vector<TListedFile> taken = list.TakeSorted();
    ASSERT_EQ(taken.size(), sorted.size());
    for (std::size_t i = 0; i < taken.size(); ++i) {
        EXPECT_EQ(taken[i].Path, sorted[i]);
        EXPECT_EQ(taken[i].Facts.Link, facts[i].Link);
        EXPECT_EQ(taken[i].Facts.Size, facts[i].Size);
    }
    // Nothing is left: every text and every file may be listed again.
    EXPECT_EQ(list.Count(), 0u);
    EXPECT_EQ(list.Facts(dir / "b.html").Size, 0);
    EXPECT_TRUE(list.Add(dir / "a.html"));
    EXPECT_TRUE(list.Facts(dir / "a.html").Link);
    EXPECT_EQ(list.Facts(dir / "a.html").Size, 5);
    EXPECT_FALSE(list.Add(dir / "b.html"));
}

}  // namespace

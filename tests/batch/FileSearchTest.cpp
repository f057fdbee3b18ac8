#include "batch/FileSearch.h"

#include "BatchTestUtil.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <filesystem>
#include <tuple>

using batchtest::TTempDir;
using batchtest::WriteFile;

namespace {

std::vector<std::string> Sorted(std::vector<std::string> v)
{
    std::sort(v.begin(), v.end());
    return v;
}

TEST(FileSearch, ExtensionIsComparedWholeAndWithoutCase)
{
    TTempDir dir;
    for (const char* name : {"a.HTM", "b.html", "page.HTML", "c.css", "d.htm.bak", "e.txt", "noext", ".htm"})
        WriteFile(dir / name, "x");
    std::vector<std::string> found;
    SearchFolder(dir.Path(), ".htm", found, true);
    EXPECT_EQ(Sorted(found), Sorted({dir / ".htm", dir / "a.HTM"}));

    found.clear();
    SearchFolder(dir.Path(), ".HTML", found, true);
    EXPECT_EQ(Sorted(found), Sorted({dir / "b.html", dir / "page.HTML"}));
}

TEST(FileSearch, SiteSearchGroupsByExtensionInFixedOrder)
{
    TTempDir dir;
    for (const char* name : {"z.png", "y.gif", "c.css", "b.html", "a.HTM", "readme.txt"}) WriteFile(dir / name, "x");
    const std::vector<std::string> found = SearchSiteFolder(dir.Path(), true);
    EXPECT_EQ(found, (std::vector<std::string>{dir / "a.HTM", dir / "b.html", dir / "c.css", dir / "y.gif",
                                               dir / "z.png"}));
}

TEST(FileSearch, SvgAndPhotosFollowInTheirOrderAndPhotosOnlyWhenAsked)
{
    TTempDir dir;
    for (const char* name :
         {"r.jfif", "w.webp", "v.JPEG", "u.jpg", "t.svgz", "s.SVG", "z.png", "a.htm", "x.svg.bak", "y.jpe", "q.jpgx"})
        WriteFile(dir / name, "x");
    EXPECT_EQ(SearchSiteFolder(dir.Path(), true),
              (std::vector<std::string>{dir / "a.htm", dir / "z.png", dir / "s.SVG", dir / "t.svgz", dir / "u.jpg",
                                        dir / "v.JPEG", dir / "w.webp", dir / "y.jpe", dir / "r.jfif"}));
    EXPECT_EQ(SearchSiteFolder(dir.Path(), true, nullptr, false),
              (std::vector<std::string>{dir / "a.htm", dir / "z.png", dir / "s.SVG", dir / "t.svgz"}));
    for (const char* photo : {"a.jpg", "/x/b.JPG", "c.jpeg", "d.WebP", "e.jpe", "f.JFIF"})
        EXPECT_TRUE(IsPhotoPath(photo)) << photo;
    for (const char* other : {"a.png", "b.gif", "c.svg", "jpg", "d.jpg.bak", "e.jpeg2", "f/webp"})
        EXPECT_FALSE(IsPhotoPath(other)) << other;
}

// Every file is converted as what its extension says, in any case; whatever is not a picture
// is text.
TEST(FileSearch, TheExtensionTellsWhatAFileIsConvertedAs)
{
    const std::pair<const char*, TFileKind> kinds[] = {
        {"/site/a.PNG", TFileKind::Png},     {"b.gif", TFileKind::Gif},        {"c.Svg", TFileKind::Svg},
        {"d.svgz", TFileKind::Svg},          {"e.jpg", TFileKind::Jpeg},       {"f.JPEG", TFileKind::Jpeg},
        {"g.jpe", TFileKind::Jpeg},          {"h.jfif", TFileKind::Jpeg},      {"i.webp", TFileKind::WebP},
        {"j.html", TFileKind::Text},         {"k.css", TFileKind::Text},       {"l.php", TFileKind::Text},
        {"m.png.bak", TFileKind::Text},      {"png", TFileKind::Text},         {"n.png/x", TFileKind::Text}};
    for (const auto& [path, kind] : kinds) {
        EXPECT_EQ(FileKindOf(path), kind) << path;
        EXPECT_EQ(IsPicturePath(path), kind != TFileKind::Text) << path;
    }
}

TEST(FileSearch, SubFoldersAreSearchedOnlyWhenAsked)
{
    TTempDir dir;
    WriteFile(dir / "top.css", "x");
    WriteFile(dir / "sub/inner.css", "x");
    WriteFile(dir / "sub/deeper/deep.css", "x");

    std::vector<std::string> found;
    SearchFolder(dir.Path(), ".css", found, false);
    EXPECT_EQ(found, std::vector<std::string>{dir / "top.css"});

    found.clear();
    SearchFolder(dir.Path() + "/", ".css", found, true);
    EXPECT_EQ(Sorted(found), Sorted({dir / "top.css", dir / "sub/inner.css", dir / "sub/deeper/deep.css"}));
}

TEST(FileSearch, SubFolderFilesLandWhereTheFolderWasMet)
{
    // Depth first: the files of a sub-folder are contiguous in the found list.
    TTempDir dir;
    WriteFile(dir / "a.gif", "x");
    WriteFile(dir / "m/b.gif", "x");
    WriteFile(dir / "m/c.gif", "x");
    WriteFile(dir / "z.gif", "x");
    std::vector<std::string> found;
    SearchFolder(dir.Path(), ".gif", found, true);
    ASSERT_EQ(found.size(), 4u);
    const auto first = std::find(found.begin(), found.end(), dir / "m/b.gif");
    const auto second = std::find(found.begin(), found.end(), dir / "m/c.gif");
    ASSERT_NE(first, found.end());
    ASSERT_NE(second, found.end());
    EXPECT_EQ(std::abs(first - second), 1);
}

TEST(FileSearch, FoldersNamedLikeFilesAreNeverListed)
{
    TTempDir dir;
    WriteFile(dir / "styles.css/inside.css", "x");
    std::vector<std::string> found;
    SearchFolder(dir.Path(), ".css", found, false);
    EXPECT_TRUE(found.empty());
    SearchFolder(dir.Path(), ".css", found, true);
    EXPECT_EQ(found, std::vector<std::string>{dir / "styles.css/inside.css"});
}

TEST(FileSearch, PipesAndDanglingLinksAreSkippedAndLinkLoopsEnd)
{
    TTempDir dir;
    WriteFile(dir / "real.png", "x");
    ASSERT_EQ(mkfifo((dir / "pipe.png").c_str(), 0644), 0);
    ASSERT_EQ(symlink("missing.png", (dir / "dangling.png").c_str()), 0);
    ASSERT_EQ(symlink("real.png", (dir / "alias.png").c_str()), 0);
    ASSERT_EQ(symlink(".", (dir / "loop").c_str()), 0);
    std::vector<std::string> found;
    SearchFolder(dir.Path(), ".png", found, true);
    EXPECT_EQ(Sorted(found), Sorted({dir / "real.png", dir / "alias.png"}));
}

TEST(FileSearch, MissingOrEmptyFolderGivesNothing)
{
    TTempDir dir;
    std::vector<std::string> found{"kept"};
    SearchFolder(dir / "nowhere", ".htm", found, true);
    SearchFolder("", ".htm", found, true);
    SearchFolder(dir / "nowhere", ".htm", found, false);
    EXPECT_EQ(found, std::vector<std::string>{"kept"});
    EXPECT_TRUE(SearchSiteFolder(dir.Path(), true).empty());
}

TEST(FileSearch, NameAndExtensionParts)
{
    EXPECT_EQ(ExtractFileName("/a/b/c.html"), "c.html");
    EXPECT_EQ(ExtractFileName("c.html"), "c.html");
    EXPECT_EQ(ExtractFileName("/a/b/"), "");
    EXPECT_EQ(ExtractFileExt("/a.b/c"), "");
    EXPECT_EQ(ExtractFileExt("/a/b/c.tar.GZ"), ".GZ");
    EXPECT_EQ(ExtractFileExt("/a/b/.htm"), ".htm");
    EXPECT_EQ(AsciiLower("ÄB.PNG"), "Äb.png");
}

}  // namespace

namespace {

namespace fs = std::filesystem;

std::vector<std::tuple<std::string, TSkipKind, int>> Sorted(const std::vector<TSkippedEntry>& Skipped)
{
    std::vector<std::tuple<std::string, TSkipKind, int>> v;
    for (const TSkippedEntry& e : Skipped) v.emplace_back(e.Path, e.Kind, e.Errno);
    std::sort(v.begin(), v.end());
    return v;
}

TEST(FileSearch, ASiteSearchReportsWhatItSkipsAndStaysInsideItsFolder)
{
    TTempDir dir;
    const std::string site = dir / "site";
    fs::create_directories(site + "/sub");
    fs::create_directories(dir / "site2");
    fs::create_directories(dir / "away");
    WriteFile(site + "/a.css", "x");
    WriteFile(site + "/sub/s.css", "x");
    WriteFile(dir / "site2/b.css", "x");
    WriteFile(dir / "away/c.css", "x");
    WriteFile(dir / "outside.css", "x");
    // Links inside the folder are followed as before.
    fs::create_symlink("a.css", site + "/inside.css");
    fs::create_symlink("../sub/s.css", site + "/sub/back.css");
    // Links that lead nowhere: reported when the name is one a site search lists.
    fs::create_symlink("missing.css", site + "/dangling.css");
    fs::create_symlink("missing", site + "/sub/dangling.txt");
    // Links leading out: to a file, to a folder, to the root, to a folder whose name only
    // begins like the one searched.
    fs::create_symlink(dir / "outside.css", site + "/out.css");
    fs::create_symlink(dir / "away", site + "/away");
    fs::create_symlink("/", site + "/root");
    fs::create_symlink("../site2", site + "/sibling");
    fs::create_symlink(dir / "outside.css", site + "/out.txt");  // not a site name: not looked at

    struct TCase {
        bool SubFolders;
        std::vector<std::string> Found;
        std::vector<TSkippedEntry> Skipped;
    };
    const std::vector<TSkippedEntry> top = {
        {site + "/dangling.css", TSkipKind::DanglingLink, ENOENT},
        {site + "/out.css", TSkipKind::OutsideFolder, 0},
        {site + "/away", TSkipKind::OutsideFolder, 0},
        {site + "/root", TSkipKind::OutsideFolder, 0},
        {site + "/sibling", TSkipKind::OutsideFolder, 0},
    };
    const TCase cases[] = {
        {false, {site + "/a.css", site + "/inside.css"}, top},
        {true, {site + "/a.css", site + "/inside.css", site + "/sub/s.css", site + "/sub/back.css"}, top},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.SubFolders);
        std::vector<TSkippedEntry> skipped;
        EXPECT_EQ(Sorted(SearchSiteFolder(site, c.SubFolders, &skipped)), Sorted(c.Found));
        EXPECT_EQ(Sorted(skipped), Sorted(c.Skipped));
    }
    // Given a link to a folder, the search stays inside the folder the link leads to.
    std::vector<TSkippedEntry> skipped;
    fs::create_symlink("site", dir / "link");
    EXPECT_EQ(Sorted(SearchSiteFolder(dir / "link", false, &skipped)),
              Sorted({dir / "link/a.css", dir / "link/inside.css"}));
    EXPECT_EQ(skipped.size(), top.size());
}

TEST(FileSearch, AFolderThatCannotBeReadIsReported)
{
    TTempDir dir;
    std::vector<TSkippedEntry> skipped;
    EXPECT_TRUE(SearchSiteFolder(dir / "nowhere", true, &skipped).empty());
    ASSERT_EQ(skipped.size(), 1u);
    EXPECT_EQ(skipped[0].Path, dir / "nowhere");
    EXPECT_EQ(skipped[0].Kind, TSkipKind::Unreadable);
    EXPECT_EQ(skipped[0].Errno, ENOENT);
}

// Folders nested until their path is longer than the system takes, made and removed by
// handles (no path name reaches them).
TEST(FileSearch, APathTooLongIsReported)
{
    TTempDir dir;
    const std::string part(200, 'd');
    WriteFile(dir / "top.css", "x");
    int fd = open(dir.Path().c_str(), O_DIRECTORY | O_RDONLY);
    ASSERT_GE(fd, 0);
    std::vector<int> fds{fd};
    std::string path = dir.Path();
    while (path.size() < PATH_MAX + 200) {
        ASSERT_EQ(mkdirat(fds.back(), part.c_str(), 0755), 0);
        const int next = openat(fds.back(), part.c_str(), O_DIRECTORY | O_RDONLY);
        ASSERT_GE(next, 0);
        fds.push_back(next);
        path += "/" + part;
    }
    const int file = openat(fds.back(), "deep.css", O_CREAT | O_WRONLY, 0644);
    ASSERT_GE(file, 0);
    close(file);

    std::vector<TSkippedEntry> skipped;
    const std::vector<std::string> found = SearchSiteFolder(dir.Path(), true, &skipped);
    ASSERT_EQ(skipped.size(), 1u);
    EXPECT_EQ(skipped[0].Kind, TSkipKind::Unreadable);
    EXPECT_EQ(skipped[0].Errno, ENAMETOOLONG);
    EXPECT_GE(skipped[0].Path.size(), static_cast<std::size_t>(PATH_MAX));
    EXPECT_EQ(skipped[0].Path.substr(0, dir.Path().size() + 1 + part.size()), dir / part);
    EXPECT_EQ(found, std::vector<std::string>{dir / "top.css"});

    EXPECT_EQ(unlinkat(fds.back(), "deep.css", 0), 0);
    for (std::size_t k = fds.size() - 1; k > 0; --k) {
        close(fds[k]);
        EXPECT_EQ(unlinkat(fds[k - 1], part.c_str(), AT_REMOVEDIR), 0);
    }
    close(fds[0]);
}

}  // namespace

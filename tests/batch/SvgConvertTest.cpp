// SVG files through the batch, as sites have them: an icon sprite sheet of symbols, a logo
// saved by a vector editor (a style element in CDATA with class rules), an illustration styled
// inline with gradients and filters, a chart with a script and text. Each is written as a
// template whose colours in style read "[[before|after]]": the file converted at a hue turn of
// 120 degrees must be the template with every "after", byte for byte. Colours outside style
// (script code, text, comments, ids, CDATA of text) are written plainly and must stay.
// Then .svgz: converted inside and compressed again with its own header, left alone when
// nothing inside changes, refused when it is broken or inflates beyond its limit.

#include "batch/BatchLog.h"
#include "batch/BatchRun.h"
#include "batch/FileConverter.h"

#include "BatchTestUtil.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <regex>

using namespace batchtest;

namespace {

// The template with the before (After false) or after colour of every "[[before|after]]".
std::string Expand(const std::string& Template, bool After)
{
    static const std::regex marked(R"(\[\[([^|\]]*)\|([^\]]*)\]\])");
    return std::regex_replace(Template, marked, After ? "$2" : "$1");
}

TBatchInput Input(const std::vector<std::string>& Paths, int Hue = 120)
{
    TBatchInput input;
    for (const std::string& p : Paths) input.Items.push_back({true, p});
    input.Settings.HueOffset = Hue;
    input.Jobs = 1;
    return input;
}

std::vector<std::string> RunBatch(const TBatchInput& Input)
{
    TBatchRun op(Input);
    TSilentObserver quiet;
    op.ExecuteConversion(quiet);
    return op.Log();
}

std::string Ok(const std::string& Path) { return "成功> " + LinePrefix(Path); }
std::string Failed(const std::string& Path, std::string_view Reason)
{
    return "失敗> " + LinePrefix(Path) + std::string(Reason);
}

const char* const SpriteSheet = R"~(<?xml version="1.0" encoding="UTF-8"?>
<svg xmlns="http://www.w3.org/2000/svg" xmlns:xlink="http://www.w3.org/1999/xlink" style="display:none">
  <!-- icons: red #ff0000 is the brand colour -->
  <symbol id="icon-heart" viewBox="0 0 24 24">
    <title>Heart (red)</title>
    <path fill="[[#ff0000|#00FF00]]" d="M12 21.35l-1.45-1.32C5.4 15.36 2 12.28 2 8.5 2 5.42 4.42 3 7.5 3c1.74 0 3.41.81 4.5 2.09"/>
  </symbol>
  <symbol id="icon-search" viewBox="0 0 24 24">
    <circle cx="11" cy="11" r="7" fill="none" stroke="[[navy|#800000]]" stroke-width="2"/>
    <line x1="16" y1="16" x2="21" y2="21" stroke="currentColor" stroke-linecap="round"/>
  </symbol>
  <symbol id="icon-star" viewBox="0 0 24 24">
    <polygon points="12 2 15 9 22 9 17 14 19 21 12 17 5 21 7 14 2 9 9 9" fill="[[#FF0|#00FFFF]]" stroke="[[#808000|#008080]]"/>
  </symbol>
  <symbol id="icon-close" viewBox="0 0 24 24"><path d="M6 6l12 12M18 6L6 18" stroke="#333" fill="none"/></symbol>
</svg>
)~";

const char* const EditorLogo = R"~(<?xml version="1.0" encoding="utf-8"?>
<!-- Generator: a vector editor, SVG Export Plug-In . SVG Version: 6.00 Build 0)  -->
<svg version="1.1" id="Layer_1" xmlns="http://www.w3.org/2000/svg" xmlns:xlink="http://www.w3.org/1999/xlink" x="0px" y="0px"
	 viewBox="0 0 200 60" style="enable-background:new 0 0 200 60;" xml:space="preserve">
<style type="text/css">
	.st0{fill:[[#FF0000|#00FF00]];}
	.st1{fill:[[#0000FF|#FF0000]];stroke:[[#800080|#808000]];stroke-miterlimit:10;}
	.st2{fill:none;stroke:[[#00FFFF|#FF00FF]];stroke-width:2;}
	.st3{font-family:'Helvetica-Bold';font-size:24px;fill:#FFFFFF;}
</style>
<g>
	<rect x="2" y="2" class="st0" width="56" height="56"/>
	<circle class="st1" cx="30" cy="30" r="18"/>
	<path class="st2" d="M70,50 L190,50"/>
	<text transform="matrix(1 0 0 1 70 38)" class="st3">ACME #ff0000</text>
</g>
</svg>
)~";

const char* const EditorLogoCdata = R"~(<?xml version="1.0" encoding="utf-8"?>
<svg xmlns="http://www.w3.org/2000/svg" viewBox="0 0 100 100">
<defs>
<style><![CDATA[
.cls-1{fill:[[lime|#0000FF]];}
.cls-2{fill:url(#linear-gradient);}
.cls-3{isolation:isolate;opacity:0.5;fill:[[rgb(255, 0, 0)|#00FF00]];}
.cls-4,.cls-5{fill:[[#f0f|#FFFF00]]}
]]></style>
<linearGradient id="linear-gradient" x1="0" y1="0" x2="100" y2="0" gradientUnits="userSpaceOnUse">
<stop offset="0" stop-color="[[#ff0000|#00FF00]]"/>
<stop offset="1" stop-color="[[#0000ff|#FF0000]]" stop-opacity="0.8"/>
</linearGradient>
</defs>
<title>logo-red-blue</title>
<rect class="cls-1" width="100" height="100"/>
<circle class="cls-2" cx="50" cy="50" r="40"/>
<path class="cls-3 cls-4" d="M10 90h80"/>
</svg>
)~";

const char* const Illustration = R"~(<?xml version="1.0" encoding="UTF-8" standalone="no"?>
<!-- Created with a vector editor -->
<svg
   xmlns:svg="http://www.w3.org/2000/svg"
   xmlns="http://www.w3.org/2000/svg"
   xmlns:sodipodi="http://sodipodi.sourceforge.net/DTD/sodipodi-0.dtd"
   width="210mm" height="297mm" viewBox="0 0 210 297" version="1.1" id="svg8"
   sodipodi:docname="sunset.svg">
  <defs id="defs2">
    <linearGradient id="sky">
      <stop style="stop-color:[[#0000ff|#FF0000]];stop-opacity:1" offset="0" id="stop1" />
      <stop style="stop-color:[[#ff00ff|#FFFF00]];stop-opacity:0.5" offset="1" id="stop2" />
    </linearGradient>
    <radialGradient id="sun" cx="0.5" cy="0.5" r="0.5">
      <stop offset="0%" stop-color="[[yellow|#00FFFF]]" />
      <stop offset="100%" stop-color="[[rgba(255,0,0,0.25)|rgba(0, 255, 0, 0.25)]]" />
    </radialGradient>
    <filter id="glow" x="-50%" y="-50%" width="200%" height="200%" style="color-interpolation-filters:sRGB">
      <feFlood flood-color="[[#FFFF00|#00FFFF]]" flood-opacity="0.6" result="flood" />
      <feComposite in="flood" in2="SourceGraphic" operator="in" />
      <feGaussianBlur stdDeviation="3" />
      <feDiffuseLighting lighting-color="[[white|white]]" surfaceScale="2"><feDistantLight azimuth="45" elevation="60" /></feDiffuseLighting>
    </filter>
  </defs>
  <g id="layer1" sodipodi:label="Layer 1 #ff0000">
    <rect style="fill:url(#sky);fill-opacity:1;stroke:[[#000080|#800000]];stroke-width:0.26458332" width="210" height="150" x="0" y="0" id="rect10" />
    <circle style="fill:url(#sun);filter:url(#glow)" cx="105" cy="140" r="40" id="path12" />
    <path style="fill:[[#008000|#000080]];fill-rule:evenodd;stroke:none" d="m 0,150 h 210 v 147 H 0 Z" id="ground" />
    <text style="font-size:10px;font-family:sans-serif;fill:[[#ff0000|#00FF00]]" x="20" y="280"><tspan style="fill:[[blue|#FF0000]]">Sunset</tspan> in red</text>
  </g>
</svg>
)~";

const char* const Chart = R"~(<svg xmlns="http://www.w3.org/2000/svg" width="400" height="200" font-family="sans-serif">
  <style>
    .bar { fill: [[#00f|#FF0000]]; }
    .bar:hover { fill: [[#ff0000|#00FF00]]; }
    text { fill: #333333; }
  </style>
  <script type="application/ecmascript"><![CDATA[
    var palette = ['#ff0000', 'blue', 'rgb(0,255,0)'];
    function highlight(el) { el.setAttribute('fill', palette[0]); if (el.x < 10 && el.y > 0) {} }
  ]]></script>
  <g class="bars">
    <rect class="bar" x="10" y="50" width="40" height="150"/>
    <rect class="bar" x="60" y="80" width="40" height="120" fill="[[#800000|#008000]]"/>
  </g>
  <text x="10" y="20">Sales: red = loss, #00ff00 = profit; a &lt; b</text>
  <text x="10" y="40" fill="[[red|#00FF00]]">fill="blue"</text>
</svg>
)~";

struct TSiteFile {
    const char* Name;
    const char* Template;
};

class SvgSiteFileTest : public ::testing::TestWithParam<TSiteFile> {};

TEST_P(SvgSiteFileTest, EveryColourInStyleConvertedAndNothingElse)
{
    const TSiteFile& f = GetParam();
    TTempDir dir;
    const std::string path = dir / f.Name;
    WriteFile(path, Expand(f.Template, false));
    EXPECT_EQ(RunBatch(Input({path})), (std::vector<std::string>{Ok(path), std::string(BatchLog::EndLine),
                                                             "1/1個のファイルを変換成功"}));
    EXPECT_EQ(ReadFile(path), Expand(f.Template, true));
    EXPECT_EQ(ReadFile(path + ".bak"), Expand(f.Template, false));
}

INSTANTIATE_TEST_SUITE_P(Sites, SvgSiteFileTest,
                         ::testing::Values(TSiteFile{"sprite.svg", SpriteSheet}, TSiteFile{"logo.svg", EditorLogo},
                                           TSiteFile{"logo-cdata.SVG", EditorLogoCdata},
                                           TSiteFile{"sunset.svg", Illustration}, TSiteFile{"chart.svg", Chart}));

// A UTF-16 SVG (with its byte order mark) comes back in UTF-16.
TEST(SvgConvert, Utf16KeepsItsEncoding)
{
    const auto utf16 = [](const std::string& Ascii) {
        std::string out = "\xFF\xFE";
        for (char c : Ascii) out += std::string{c, '\0'};
        return out;
    };
    TTempDir dir;
    const std::string path = dir / "a.svg";
    WriteFile(path, utf16("<svg><rect fill=\"red\"/><text>red</text></svg>\r\n"));
    EXPECT_EQ(RunBatch(Input({path})).front(), Ok(path));
    EXPECT_EQ(ReadFile(path), utf16("<svg><rect fill=\"#00FF00\"/><text>red</text></svg>\r\n"));
}

TEST(SvgConvert, BrokenMarkupIsRefusedAndTheFileKept)
{
    TTempDir dir;
    const std::string path = dir / "broken.svg";
    const std::string broken = "<svg><rect fill=\"red\"/><text>a < b</text><rect fill=\"blue\"/></svg>";
    WriteFile(path, broken);
    EXPECT_EQ(RunBatch(Input({path})).front(), Failed(path, BatchLog::ReasonSvg));
    EXPECT_EQ(ReadFile(path), broken);
    EXPECT_EQ(FolderNames(dir.Path()), std::vector<std::string>{"broken.svg"});
}

TEST(SvgConvert, SvgWithNothingToChangeIsNotWritten)
{
    TTempDir dir;
    const std::string path = dir / "grey.svg";
    WriteFile(path, "<svg><rect fill=\"#808080\" stroke=\"none\"/><text>red</text></svg>");
    struct stat before {};
    ASSERT_EQ(stat(path.c_str(), &before), 0);
    TBatchRun op(Input({path}));
    TSilentObserver quiet;
    op.ExecuteConversion(quiet);
    EXPECT_EQ(op.Successes(), 1);
    struct stat after {};
    ASSERT_EQ(stat(path.c_str(), &after), 0);
    EXPECT_EQ(after.st_ino, before.st_ino);
    EXPECT_EQ(after.st_mtim.tv_nsec, before.st_mtim.tv_nsec);
    EXPECT_EQ(FolderNames(dir.Path()), std::vector<std::string>{"grey.svg"});
}

// ---- .svgz ----

// gzip's own compression of a file, which stores its name and time in the header.
std::string GzipFile(const TTempDir& Dir, const std::string& Name, const std::string& Content)
{
    const std::string plain = Dir / Name;
    WriteFile(plain, Content);
    EXPECT_EQ(RunCommand("touch -d '2020-02-03 04:05:06 UTC' '" + plain + "' && gzip -9 -c '" + plain + "' > '" +
                         plain + ".gz' && rm '" + plain + "'"),
              0);
    const std::string bytes = ReadFile(plain + ".gz");
    EXPECT_EQ(RunCommand("rm '" + plain + ".gz'"), 0);
    return bytes;
}

std::string Gunzip(const std::string& Path)
{
    std::string out;
    EXPECT_EQ(RunCommand("gzip -dc < '" + Path + "'", &out), 0);
    return out;
}

// The header up to the end of the stored name: magic, method, flags, time, extra flags, system, name.
std::string HeaderWithName(const std::string& Gz) { return Gz.substr(0, Gz.find('\0', 10) + 1); }

TEST(SvgzConvert, ConvertedInsideAndCompressedAgainWithItsHeader)
{
    TTempDir dir;
    const std::string gz = GzipFile(dir, "logo.svg", Expand(EditorLogoCdata, false));
    ASSERT_EQ(gz[3] & 8, 8) << "gzip stored no name";
    const std::string path = dir / "logo.svgz";
    WriteFile(path, gz);
    EXPECT_EQ(RunBatch(Input({path})).front(), Ok(path));
    const std::string converted = ReadFile(path);
    EXPECT_EQ(HeaderWithName(converted), HeaderWithName(gz));
    EXPECT_EQ(Gunzip(path), Expand(EditorLogoCdata, true));
    EXPECT_EQ(RunCommand("gzip -t < '" + path + "'"), 0);
    EXPECT_EQ(ReadFile(path + ".bak"), gz);
}

TEST(SvgzConvert, NothingChangedInsideLeavesTheFileAlone)
{
    TTempDir dir;
    const std::string path = dir / "grey.svgz";
    WriteFile(path, GzipFile(dir, "grey.svg", "<svg><rect fill=\"#808080\"/><text>red</text></svg>"));
    const std::string before = ReadFile(path);
    TBatchRun op(Input({path}));
    TSilentObserver quiet;
    op.ExecuteConversion(quiet);
    EXPECT_EQ(op.Successes(), 1);
    EXPECT_EQ(ReadFile(path), before);
    EXPECT_EQ(FolderNames(dir.Path()), std::vector<std::string>{"grey.svgz"});
}

// A member put together by hand: a gzip header without name, the data gzip compressed, and the
// trailer given.
std::string WithTrailer(const std::string& Gz, std::uint32_t Crc, std::uint32_t Size)
{
    std::string out = Gz.substr(0, Gz.size() - 8);
    for (std::uint32_t v : {Crc, Size})
        for (int k = 0; k < 4; ++k) out += static_cast<char>((v >> (8 * k)) & 0xFF);
    return out;
}

std::uint32_t Little32(const std::string& Bytes, std::size_t Pos)
{
    std::uint32_t v = 0;
    for (int k = 3; k >= 0; --k) v = v << 8 | static_cast<unsigned char>(Bytes[Pos + static_cast<std::size_t>(k)]);
    return v;
}

TEST(SvgzConvert, BrokenOrOversizedFilesAreRefusedAndKept)
{
    TTempDir dir;
    const std::string good = GzipFile(dir, "a.svg", "<svg><rect fill=\"red\"/></svg>");
    const std::string crc = good.substr(good.size() - 8, 4);
    // Ten megabytes of spaces compress to a few kilobytes: a trailer that says less is a lie
    // inflating must not believe past its word.
    const std::string spaces = GzipFile(dir, "spaces.svg", "<svg>" + std::string(10u << 20, ' ') + "</svg>");
    // A few hundred kilobytes that inflate to more than the limit.
    std::string bomb;
    ASSERT_EQ(RunCommand("head -c " + std::to_string(SvgzMaxBytes + 4096) + " /dev/zero | gzip -1 > '" + (dir / "bomb") + "'"), 0);
    bomb = ReadFile(dir / "bomb");
    ASSERT_LT(bomb.size(), 2u << 20);
    ASSERT_EQ(RunCommand("rm '" + (dir / "bomb") + "'"), 0);
    struct TCase {
        const char* Name;
        std::string Bytes;
        std::string_view Reason;
    };
    const std::vector<TCase> cases = {
        {"plain.svgz", "<svg><rect fill=\"red\"/></svg>", BatchLog::ReasonGzip},
        {"cut.svgz", good.substr(0, good.size() - 12), BatchLog::ReasonGzip},
        {"crc.svgz", WithTrailer(good, Little32(good, good.size() - 8) ^ 1, Little32(good, good.size() - 4)),
         BatchLog::ReasonGzip},
        {"two-members.svgz", good + good, BatchLog::ReasonGzip},
        {"trailing.svgz", good + std::string(16, '\0'), BatchLog::ReasonGzip},
        {"lying-size.svgz", WithTrailer(spaces, Little32(spaces, spaces.size() - 8), 1000), BatchLog::ReasonGzip},
        {"size-too-large.svgz",
         WithTrailer(good, Little32(good, good.size() - 8), static_cast<std::uint32_t>(SvgzMaxBytes + 1)),
         BatchLog::ReasonGzip},
        {"bomb.svgz", bomb, BatchLog::ReasonTooLarge},
        {"broken-inside.svgz", GzipFile(dir, "b.svg", "<svg><rect fill=\"red\"></svg"), BatchLog::ReasonSvg},
    };
    std::vector<std::string> paths, expected;
    for (const TCase& c : cases) {
        paths.push_back(dir / c.Name);
        WriteFile(paths.back(), c.Bytes);
    }
    const std::vector<std::string> log = RunBatch(Input(paths));
    for (std::size_t k = 0; k < cases.size(); ++k) {
        EXPECT_NE(std::find(log.begin(), log.end(), Failed(paths[k], cases[k].Reason)), log.end())
            << cases[k].Name << "\n" << ::testing::PrintToString(log);
        EXPECT_EQ(ReadFile(paths[k]), cases[k].Bytes) << cases[k].Name;
        EXPECT_FALSE(Exists(paths[k] + ".bak")) << cases[k].Name;
    }
    EXPECT_EQ(log.back(), "0/" + std::to_string(cases.size()) + "個のファイルを変換成功");
}

}  // namespace

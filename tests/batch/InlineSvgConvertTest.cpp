// Pages with inline SVG and theme colours through the batch: each page is written as a template
// whose colours in style read "[[before|after]]"; converted at a hue turn of 120 degrees it must
// be the template with every "after", byte for byte, its backup the page as it was. Colours
// outside style (svg in a script string and a comment, fill on HTML elements, text, other metas)
// are written plainly and must stay. A page whose only colours are such is left alone.

#include "batch/BatchLog.h"
#include "batch/BatchRun.h"

#include "BatchTestUtil.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <regex>

using namespace batchtest;

namespace {

std::string Expand(const std::string& Template, bool After)
{
    static const std::regex marked(R"(\[\[([^|\]]*)\|([^\]]*)\]\])");
    return std::regex_replace(Template, marked, After ? "$2" : "$1");
}

std::vector<std::string> RunBatch(const std::vector<std::string>& Paths)
{
    TBatchInput input;
    for (const std::string& p : Paths) input.Items.push_back({true, p});
    input.Settings.HueOffset = 120;
    input.Jobs = 1;
    TBatchRun op(input);
    TSilentObserver quiet;
    op.ExecuteConversion(quiet);
    return op.Log();
}

std::string Ok(const std::string& Path) { return "成功> " + LinePrefix(Path); }

// A shop's front page in UTF-8 with CRLF line breaks: logo, icons from a sprite, a badge.
const char* const ShopPage =
    "<!DOCTYPE html>\r\n"
    "<html lang=\"ja\">\r\n"
    "<head>\r\n"
    "<meta charset=\"utf-8\">\r\n"
    "<meta name=\"theme-color\" content=\"[[#ff0000|#00FF00]]\">\r\n"
    "<meta name=\"msapplication-TileColor\" content=\"[[blue|#FF0000]]\">\r\n"
    "<meta name=\"keywords\" content=\"red, #ff0000\">\r\n"
    "<link rel=\"mask-icon\" href=\"/pin.svg\" color=\"[[#ff00ff|#FFFF00]]\">\r\n"
    "<title>赤い屋根の雑貨店</title>\r\n"
    "</head>\r\n"
    "<body>\r\n"
    "<header>\r\n"
    "  <svg class=\"logo\" viewBox=\"0 0 40 40\" role=\"img\" aria-label=\"赤い屋根\">\r\n"
    "    <path d=\"M4 20 L20 4 L36 20\" fill=\"none\" stroke=\"[[#f00|#00FF00]]\" stroke-width=\"4\"/>\r\n"
    "    <rect x=\"10\" y=\"20\" width=\"20\" height=\"16\" fill='[[yellow|#00FFFF]]'/>\r\n"
    "    <text x=\"20\" y=\"32\" fill=\"[[rgb(0, 0, 255)|#FF0000]]\">red</text>\r\n"
    "  </svg>\r\n"
    "  <nav fill=\"red\"><a href=\"/cart\"><svg class=\"icon\"><use href=\"#cart\" fill=\"currentColor\"/></svg>カート</a></nav>\r\n"
    "</header>\r\n"
    "<!-- <svg><path fill=\"#ff0000\"/></svg> -->\r\n"
    "<script>const badge = '<svg><circle r=\"4\" fill=\"#ff0000\"/></svg>';</script>\r\n"
    "<svg style=\"display:none\"><symbol id=\"cart\"><path d=\"M0 0h8\" stroke=\"[[aqua|#FF00FF]]\"/></symbol></svg>\r\n"
    "<p style=\"color: [[#0000ff|#FF0000]]\">fill=\"#ff0000\"</p>\r\n"
    "</body>\r\n"
    "</html>\r\n";

// The same kind of page in Shift-JIS: "ソ" (0x83 0x5C) has a backslash for its second byte, the
// text inside the svg is Japanese.
const std::string SjisPage =
    "<html><head><meta charset=\"Shift_JIS\"><meta name=\"theme-color\" content=\"[[#00ff00|#0000FF]]\"></head>\n"
    "<body><svg viewBox=\"0 0 8 8\"><title>\x83\x5c\x83\x74\x83\x67</title>"
    "<text fill=\"[[red|#00FF00]]\">\x82\xcc\x90\xd4\x82\xa2\x83\x41\x83\x43\x83\x52\x83\x93</text>"
    "<circle r=\"3\" stroke=\"[[#ff0000|#00FF00]]\"/></svg>\n"
    "<p>\x83\x5c\x83\x74\x83\x67 fill=\"red\"</p></body></html>\n";

TEST(InlineSvgConvert, PagesConvertedWithTheirSvgAndThemeColours)
{
    TTempDir dir;
    const std::string shop = dir / "index.html", sjis = dir / "sjis.htm";
    WriteFile(shop, Expand(ShopPage, false));
    WriteFile(sjis, Expand(SjisPage, false));
    EXPECT_EQ(RunBatch({shop, sjis}),
              (std::vector<std::string>{Ok(shop), Ok(sjis), std::string(BatchLog::EndLine), "2/2個のファイルを変換成功"}));
    EXPECT_EQ(ReadFile(shop), Expand(ShopPage, true));
    EXPECT_EQ(ReadFile(shop + ".bak"), Expand(ShopPage, false));
    EXPECT_EQ(ReadFile(sjis), Expand(SjisPage, true));
    EXPECT_EQ(ReadFile(sjis + ".bak"), Expand(SjisPage, false));
}

// Colours only where no style is: the page converts to itself and is not written.
TEST(InlineSvgConvert, PageWithColoursOnlyOutsideSvgIsNotWritten)
{
    TTempDir dir;
    const std::string path = dir / "plain.html";
    WriteFile(path, "<html><head><meta name=\"description\" content=\"red\"></head><body>\n"
                    "<div fill=\"red\" stroke=\"#0000ff\">x</div><!-- <svg fill=\"red\"></svg> -->\n"
                    "<script>el.innerHTML = '<svg><path fill=\"red\"/></svg>';</script>\n"
                    "<svg><path fill=\"#808080\" stroke=\"none\"/><text>red</text></svg></body></html>\n");
    struct stat before {};
    ASSERT_EQ(stat(path.c_str(), &before), 0);
    EXPECT_EQ(RunBatch({path}).front(), Ok(path) + std::string(BatchLog::UnchangedTail));
    struct stat after {};
    ASSERT_EQ(stat(path.c_str(), &after), 0);
    EXPECT_EQ(after.st_ino, before.st_ino);
    EXPECT_EQ(after.st_mtim.tv_nsec, before.st_mtim.tv_nsec);
    EXPECT_EQ(FolderNames(dir.Path()), std::vector<std::string>{"plain.html"});
}

}  // namespace

// Pages and stylesheets in the other encodings of Japanese sites: UTF-16 and UTF-32 (with and
// without a byte order mark, either byte order), EUC-JP and ISO-2022-JP. Python's codecs make
// each page and what it must become, so neither side comes from the code under test.

#include "batch/BatchLog.h"
#include "batch/BatchRun.h"

#include "BatchTestUtil.h"

#include <gtest/gtest.h>

#include <filesystem>

using namespace batchtest;

namespace {

// Writes <name>.before and <name>.after for each case: the same page before and after red,
// blue and #f00 are turned 120 degrees, in the case's encoding. "Declare" puts the encoding's
// name in the page's meta tag and the stylesheet's @charset rule.
constexpr const char* MakePages = R"PY(
import sys, os
out = sys.argv[1]
# Three JIS X 0208 characters whose ISO-2022-JP bytes read "!!red!", and katakana whose bytes
# hold "<" and a quote: outside their escape sequences they would be a colour and markup.
jis_red = b'\x1b$B!!red!\x1b(B'.decode('iso-2022-jp')
page = ('<html><head>@META@<title>色見本</title></head>\n'
        '<body bgcolor="#FF0000">見出し<font title="カラー" color="red">赤い文字ーあ</font>\n'
        '<p style="color: blue">青む{</p><p style="margin:' + jis_red + '">x</p>\n'
        '<style>む{color:blue} h1{color:#f00}/*ー*/p{margin:' + jis_red + '}</style>\n'
        '<p>絵文字@EMOJI@</p></body></html>\n')
after = (page.replace('"#FF0000"', '"#00FF00"').replace('color="red"', 'color="#00FF00"')
         .replace('color: blue', 'color: #FF0000').replace('color:blue', 'color:#FF0000')
         .replace('color:#f00', 'color:#00FF00'))
sheet = '@CHARSET@/* 見出しの色 */\nh1 { color: #f00 }\nむ{color:blue}\n.note::before { content: "ー"; color: red }\n'
sheet_after = sheet.replace('#f00', '#00FF00').replace('color:blue', 'color:#FF0000').replace('color: red', 'color: #00FF00')
cases = [
    # name, codec, byte order mark, declared name, emoji, page (or stylesheet)
    ('utf16le-bom.html', 'utf-16-le', b'\xff\xfe', 'utf-16', True, True),
    ('utf16be-bom.html', 'utf-16-be', b'\xfe\xff', 'utf-16', True, True),
    ('utf16le.css', 'utf-16-le', b'', None, False, False),
    ('utf16be.html', 'utf-16-be', b'', None, True, True),
    ('utf32le-bom.css', 'utf-32-le', b'\xff\xfe\x00\x00', 'utf-32', False, False),
    ('utf32be-bom.html', 'utf-32-be', b'\x00\x00\xfe\xff', 'utf-32', True, True),
    ('utf32le.html', 'utf-32-le', b'', None, True, True),
    ('utf32be.css', 'utf-32-be', b'', None, False, False),
    ('eucjp-meta.html', 'euc-jp', b'', 'EUC-JP', False, True),
    ('eucjp.html', 'euc-jp', b'', None, False, True),
    ('eucjp-charset.css', 'euc-jp', b'', 'euc-jp', False, False),
    ('eucjp.css', 'euc-jp', b'', None, False, False),
    ('iso2022jp-meta.html', 'iso-2022-jp', b'', 'ISO-2022-JP', False, True),
    ('iso2022jp.html', 'iso-2022-jp', b'', None, False, True),
    ('iso2022jp.css', 'iso-2022-jp', b'', None, False, False),
]
for name, codec, bom, declared, emoji, is_page in cases:
    if is_page:
        meta = '<meta http-equiv="Content-Type" content="text/html; charset=%s">' % declared if declared else ''
        fill = lambda t: t.replace('@META@', meta).replace('@EMOJI@', '\U0001F600' if emoji else '')
        before, converted = fill(page), fill(after)
    else:
        charset = '@charset "%s";\n' % declared if declared else ''
        before, converted = sheet.replace('@CHARSET@', charset), sheet_after.replace('@CHARSET@', charset)
    assert before != converted
    for suffix, text in (('before', before), ('after', converted)):
        data = bom + text.encode(codec)
        with open(os.path.join(out, name + '.' + suffix), 'wb') as f:
            f.write(data)
    if codec == 'iso-2022-jp':
        raw = before.encode(codec)
        assert b'!<' in raw and (b'!!red!' in raw and b'%+%i!<' in raw or not is_page)
    if codec == 'euc-jp':
        assert b'\xa4\xe0{' in before.encode(codec)
    print(name)
)PY";

TBatchInput Hue120(const std::vector<std::string>& Paths)
{
    TBatchInput input;
    input.Settings.HueOffset = 120;
    input.Backup = true;
    for (const std::string& p : Paths)
        input.Items.push_back({true, p});
    return input;
}

TEST(TextEncodings, EachEncodingIsConvertedInItsOwnBytes)
{
    TTempDir pages("pages");
    TTempDir dir;
    const TPython made = RunPython(std::string("import sys\nsys.argv = ['', '") + pages.Path() + "']\n" + MakePages);
    ASSERT_TRUE(made.Ok) << "Python with its codecs is needed";
    std::vector<std::string> names;
    for (std::size_t start = 0, nl; (nl = made.Out.find('\n', start)) != std::string::npos; start = nl + 1)
        names.push_back(made.Out.substr(start, nl - start));
    ASSERT_EQ(names.size(), 15u);

    std::vector<std::string> paths;
    for (const std::string& name : names) {
        paths.push_back(dir / name);
        WriteFile(paths.back(), ReadFile(pages / (name + ".before")));
    }
    TBatchRun op(Hue120(paths));
    TSilentObserver quiet;
    op.ExecuteConversion(quiet);
    const std::vector<std::string>& log = op.Log();
    for (std::size_t i = 0; i < names.size(); ++i) {
        SCOPED_TRACE(names[i]);
        EXPECT_NE(std::find(log.begin(), log.end(), SuccessLine(paths[i])), log.end());
        EXPECT_EQ(ReadFile(paths[i]), ReadFile(pages / (names[i] + ".after")));
        EXPECT_EQ(ReadFile(paths[i] + ".bak"), ReadFile(pages / (names[i] + ".before")));
    }
    EXPECT_EQ(op.Successes(), static_cast<int>(names.size()));
    EXPECT_EQ(log.back(), SummaryLine(op.Successes(), op.Total()));
}

struct TRefused {
    const char* What;
    std::string Name;
    std::string Bytes;
    std::string_view Reason;
};

// Files that must not be rewritten as text, each with the reason its line ends with.
std::vector<TRefused> RefusedCases()
{
    using namespace std::string_literals;
    std::string random(4096, '\0');
    std::uint32_t x = 12345;
    for (char& c : random) {
        x = x * 1103515245u + 12345u;
        c = static_cast<char>(x >> 23);
    }
    // Bytes after a magic number that also hold a colour the rewriter would otherwise take.
    const std::string colour = " p{color:red} <font color=red> ";
    return {
        {"JPEG", "photo.html", "\xFF\xD8\xFF\xE0\0\x10JFIF\0"s + colour + random.substr(0, 300), BatchLog::ReasonNotText},
        {"WebP", "photo.css", "RIFF\x24\x01\0\0WEBPVP8 "s + colour + random.substr(0, 200), BatchLog::ReasonNotText},
        {"PDF", "manual.html", "%PDF-1.4\n%\xE2\xE3\xCF\xD3\n" + colour, BatchLog::ReasonNotText},
        {"ZIP", "site.htm", "PK\3\4\x14\0\0\0\x08\0"s + colour, BatchLog::ReasonNotText},
        {"gzip", "style.css", "\x1F\x8B\x08\0\0\0\0\0\0\x03"s + colour + random.substr(0, 100), BatchLog::ReasonNotText},
        {"ELF program", "cgi.html", "\x7F" "ELF\2\1\1\0\0\0\0\0\0\0\0\0"s + colour, BatchLog::ReasonNotText},
        {"Windows program", "setup.html", "MZ\x90\0\3\0\0\0\4\0\0\0\xFF\xFF\0\0"s + std::string(48, '\0') + colour,
         BatchLog::ReasonNotText},
        // A .jpg is read as a JPEG picture, which this is not.
        {"PNG named .jpg, listed by hand", "logo.jpg", "\x89PNG\r\n\x1A\n\0\0\0\rIHDR"s + colour,
         BatchLog::ReasonBadImage},
        {"data without a magic number", "data.css", colour + random, BatchLog::ReasonNotText},
        {"UTF-16 with an unpaired surrogate", "broken16.css",
         "\xFF\xFEp\0{\0c\0o\0l\0o\0r\0:\0r\0e\0d\0}\0\x3D\xD8"s, BatchLog::ReasonEncoding},
        {"UTF-16 cut inside a code unit", "cut16.css", "\xFE\xFF\0p\0{\0c\0o\0l\0o\0r\0:\0r\0e\0d\0}\0"s,
         BatchLog::ReasonEncoding},
        {"UTF-32 beyond U+10FFFF", "big32.css",
         "\xFF\xFE\0\0p\0\0\0{\0\0\0r\0\0\0}\0\0\0\0\0\x11\0"s, BatchLog::ReasonEncoding},
    };
}

TEST(TextEncodings, BinaryFilesAndBrokenEncodingsAreRefusedAndLeftAlone)
{
    TTempDir dir;
    const std::vector<TRefused> cases = RefusedCases();
    std::vector<std::string> paths;
    for (const TRefused& c : cases) {
        paths.push_back(dir / c.Name);
        WriteFile(paths.back(), c.Bytes);
    }
    TBatchRun op(Hue120(paths));
    TSilentObserver quiet;
    op.ExecuteConversion(quiet);
    const std::vector<std::string>& log = op.Log();
    for (std::size_t i = 0; i < cases.size(); ++i) {
        SCOPED_TRACE(cases[i].What);
        const std::string line = std::string(BatchLog::FailureHead) + LinePrefix(paths[i]) + std::string(cases[i].Reason);
        EXPECT_NE(std::find(log.begin(), log.end(), line), log.end());
        EXPECT_EQ(ReadFile(paths[i]), cases[i].Bytes);
        EXPECT_FALSE(Exists(paths[i] + ".bak"));
    }
    EXPECT_EQ(op.Successes(), 0);
    EXPECT_EQ(FolderNames(dir.Path()).size(), cases.size());
}

// The tool given every file of a folder of pictures, as `tessival-batch site/images/*` does.
// A .webp goes to the WebP converter, which refuses this one (no picture in it) as invalid.
TEST(TextEncodings, PicturesListedByHandAreNoText)
{
    TTempDir dir;
    const std::string jpeg = std::string("\xFF\xD8\xFF\xE1\0\x18" "Exif\0\0", 12) + "color:red;";
    const std::string webp = std::string("RIFF\x1A\0\0\0WEBPVP8L\x0D\0\0\0", 20) + "{color:red}";
    WriteFile(dir / "images/a.jpg", jpeg);
    WriteFile(dir / "images/b.webp", webp);
    WriteFile(dir / "images/c.css", "p{color:red}");
    TBatchRun op(Hue120({dir / "images/a.jpg", dir / "images/b.webp", dir / "images/c.css"}));
    TSilentObserver quiet;
    op.ExecuteConversion(quiet);
    const std::string reason(BatchLog::ReasonNotText);
    // The JPEG is read as a picture, and ends before its frame.
    EXPECT_EQ(op.Log(), (std::vector<std::string>{
                            "失敗> a.jpg                 ：" + (dir / "images/a.jpg") + std::string(BatchLog::ReasonBadImage),
                            "失敗> b.webp                ：" + (dir / "images/b.webp") + std::string(BatchLog::ReasonBadImage),
                            "成功> c.css                 ：" + (dir / "images/c.css"),
                            std::string(BatchLog::EndLine),
                            "1/3個のファイルを変換成功",
                        }));
    EXPECT_EQ(ReadFile(dir / "images/a.jpg"), jpeg);
    EXPECT_EQ(ReadFile(dir / "images/b.webp"), webp);
    EXPECT_EQ(ReadFile(dir / "images/c.css"), "p{color:#00FF00}");
    EXPECT_EQ(FolderNames(dir / "images"), (std::vector<std::string>{"a.jpg", "b.webp", "c.css", "c.css.bak"}));
}

}  // namespace

// Collecting every match of the rewriter's block command over a generated stylesheet, as the
// block pass does: matches per second and MB/s, for each way a text can be matched.
#include "text/Matcher.h"

#include <chrono>
#include <cstdio>
#include <random>
#include <string>

namespace {

const char* const BlockCommand = "m/{(.|\\n)*?}/ki";

// Pieces of text in the two encodings: a font name, a quoted content text with katakana BO
// and MA (second bytes "{" and "}" in Shift-JIS), a comment with a kanji whose second byte is "\".
struct TPieces {
    const char* Font;
    const char* Content;
    const char* Comment;
};
const TPieces ShiftJISPieces = {
    "\x82\x6C\x82\x72 \x82\x6F\x83\x53\x83\x56\x83\x62\x83\x4E",
    "\x83\x7B\x83\x5E\x83\x93\x81\x45\x83\x7D\x81\x5B\x83\x4E",
    "\x95\x5C\x8E\xA6\x82\xCC\x90\xDD\x92\xE8",
};
const TPieces UTF8Pieces = {
    "ＭＳ Ｐゴシック",
    "ボタン・マーク",
    "表示の設定",
};
const TPieces ASCIIPieces = {"MS PGothic", "button mark", "display settings"};

std::string Stylesheet(std::size_t Bytes, const TPieces& Pieces)
{
    std::mt19937 random(42);
    std::uniform_int_distribution<int> number(0, 999);
    std::uniform_int_distribution<int> channel(0, 255);
    std::string css;
    css.reserve(Bytes + 1024);
    char line[512];
    while (css.size() < Bytes) {
        const int n = number(random);
        std::snprintf(line, sizeof line,
                      "/* %s %d */\r\n"
                      ".item-%d > a:hover, #nav-%d li {\r\n"
                      "  color: #%02x%02x%02x;\r\n"
                      "  background: rgb(%d, %d, %d) url(img/bg%d.png) no-repeat;\r\n"
                      "  border: 1px solid navy;\r\n"
                      "  font-family: \"%s\", sans-serif;\r\n"
                      "}\r\n"
                      ".label-%d::before { content: \"%s\"; margin: 0 %dpx }\r\n",
                      Pieces.Comment, n, n, n + 1, channel(random), channel(random),
                      channel(random), channel(random), channel(random), channel(random), n,
                      Pieces.Font, n, Pieces.Content, n % 17);
        css += line;
    }
    return css;
}

void Measure(const char* Label, const char* Command, const std::string& Text,
             TTextEncoding Encoding)
{
    using Clock = std::chrono::steady_clock;
    TMatcher matcher;
    double best = 1e30;
    std::size_t matches = 0;
    std::size_t covered = 0;
    for (int round = 0; round < 3; ++round) {
        matches = 0;
        covered = 0;
        const auto start = Clock::now();
        for (std::size_t from = 0; matcher.MatchFrom(Command, Text, from, Encoding);) {
            ++matches;
            covered += matcher.MatchLength();
            from = matcher.MatchPos() - 1 + matcher.MatchLength();
        }
        best = std::min(best, std::chrono::duration<double>(Clock::now() - start).count());
    }
    const double megabytes = static_cast<double>(Text.size()) / (1024.0 * 1024.0);
    std::printf("  %-38s %6.1f MB  %8zu matches  %10.0f matches/s  %8.1f MB/s\n", Label,
                megabytes, matches, static_cast<double>(matches) / best, megabytes / best);
    if (covered == 0)
        std::printf("  (no text covered)\n");
}

}  // namespace

int main()
{
    const std::size_t size = 5 * 1024 * 1024;
    const std::string sjis = Stylesheet(size, ShiftJISPieces);
    const std::string utf8 = Stylesheet(size, UTF8Pieces);
    const std::string ascii = Stylesheet(size, ASCIIPieces);
    std::printf("matcher: every match of %s over a generated stylesheet (best of 3)\n",
                BlockCommand);
    Measure("Shift-JIS text", BlockCommand, sjis, DetectTextEncoding(sjis));
    Measure("UTF-8 text", BlockCommand, utf8, DetectTextEncoding(utf8));
    Measure("ASCII text", BlockCommand, ascii, DetectTextEncoding(ascii));
    Measure("Shift-JIS text, byte-wise (no \"k\")", "m/{(.|\\n)*?}/i", sjis,
            TTextEncoding::ShiftJIS);
    const std::string large = Stylesheet(10 * size, ShiftJISPieces);
    Measure("Shift-JIS text, ten times larger", BlockCommand, large, TTextEncoding::ShiftJIS);
    return 0;
}

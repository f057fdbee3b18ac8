// Speed of the HTML and CSS colour rewriter on large texts: a stylesheet in the style of a big
// site (rules, comments, media queries, a minified part) and an HTML page with colour
// attributes, style attributes, style and script elements. Each at zero settings and at hue 120,
// and the stylesheet at 2 MB and 20 MB to show that the cost grows linearly.

#include "text/ColourRewriter.h"

#include <chrono>
#include <cstdio>
#include <ctime>
#include <string>

namespace {

const char* const Names[] = {"red", "navy", "white", "teal", "olive", "silver", "maroon", "orange",
                             "steelblue", "darkslategray", "gold", "plum", "tomato", "black"};

std::string Hex(unsigned v)
{
    char buffer[8];
    std::snprintf(buffer, sizeof buffer, "#%06x", v & 0xFFFFFF);
    return buffer;
}

std::string Stylesheet(std::size_t Bytes)
{
    std::string css = "@charset \"UTF-8\";\n/* site stylesheet: main #336699, accent #ff6600 */\n";
    unsigned seed = 12345;
    const auto next = [&] { return seed = seed * 1103515245u + 12345u; };
    for (unsigned i = 0; css.size() < Bytes; ++i) {
        const unsigned a = next() >> 8, b = next() >> 8;
        const char* name = Names[(next() >> 16) % 14];
        switch (i % 6) {
        case 0:
            css += "/* section " + std::to_string(i) + ": boxes and their borders */\n";
            css += ".box-" + std::to_string(i) + " {\n  margin: 0 0 " + std::to_string(i % 20) +
                   "px;\n  padding: 4px 8px;\n  color: " + Hex(a) + ";\n  background: " + Hex(b) +
                   " url(../img/bg-" + name + ".png) no-repeat right top;\n  border: 1px solid " + name +
                   ";\n}\n";
            break;
        case 1:
            css += "#nav li.item-" + std::to_string(i) + " a:hover, #nav li.item-" + std::to_string(i) +
                   " a:focus { color: rgb(" + std::to_string(a % 256) + ", " + std::to_string(b % 256) +
                   ", " + std::to_string((a ^ b) % 256) + "); text-decoration: underline }\n";
            break;
        case 2:
            css += "table.t" + std::to_string(i) + " th { background-color: #" +
                   std::string(1, "0123456789abcdef"[a % 16]) + "c" + std::string(1, "0123456789abcdef"[b % 16]) +
                   "; font: bold 12px/1.4 \"Hiragino Kaku Gothic Pro\", Meiryo, sans-serif; }\n";
            break;
        case 3:
            css += ".btn-" + std::to_string(i) + "{display:inline-block;padding:4px 10px;border:1px solid " + Hex(a) +
                   ";background:" + Hex(b) + ";color:#fff}.btn-" + std::to_string(i) + ":hover{background:" +
                   name + ";border-color:rgb(10%," + std::to_string(a % 101) + "%,50%)}\n";
            break;
        case 4:
            css += "@media print {\n  .p" + std::to_string(i) + " { color: black; background: white }\n}\n";
            break;
        default:
            css += ".note-" + std::to_string(i) + ":before { content: \"red: \"; color: " + name +
                   "; font-size: 11px; letter-spacing: 0.05em; }\n";
            break;
        }
    }
    return css;
}

std::string Page(std::size_t Bytes)
{
    std::string html =
        "<!DOCTYPE HTML PUBLIC \"-//W3C//DTD HTML 4.01 Transitional//EN\">\n<html lang=\"ja\">\n<head>\n"
        "<meta http-equiv=\"Content-Type\" content=\"text/html; charset=UTF-8\">\n<title>カタログ</title>\n"
        "<style type=\"text/css\">\nbody { background: #f0f0e8; color: #333 }\na:hover { color: #ff6600 }\n"
        ".box { border: 1px solid #ccc; background: white }\n</style>\n"
        "<script type=\"text/javascript\">\nfunction hl(el) { el.style.color = 'red'; if (el) { return true; } }\n"
        "</script>\n</head>\n<body bgcolor=\"#f0f0e8\" text=\"#333333\" link=\"#336699\" vlink=\"purple\">\n"
        "<table width=\"760\" border=\"0\" cellpadding=\"4\" bgcolor=\"white\">\n";
    unsigned seed = 777;
    const auto next = [&] { return seed = seed * 1103515245u + 12345u; };
    for (unsigned i = 0; html.size() < Bytes; ++i) {
        const unsigned a = next() >> 8, b = next() >> 8;
        const char* name = Names[(next() >> 16) % 14];
        html += "<tr><td bgcolor=\"" + Hex(a) + "\" width=\"120\"><font color=\"" + name + "\" size=\"2\">商品 " +
                std::to_string(i) + "</font></td>\n<td style=\"border-bottom: 1px dotted " + Hex(b) +
                "; color: " + name + "; padding: 2px 6px\">春の新色をお届けします。詳しくは<a href=\"item" +
                std::to_string(i) + ".html\">こちら</a>をご覧ください。</td>\n"
                "<td align=\"right\"><span class=\"price\">" + std::to_string(1000 + i % 9000) +
                "円</span></td></tr>\n";
        if (i % 50 == 49)
            html += "<!-- page break: <font color=\"red\">old</font> -->\n</table>\n<table width=\"760\" border=\"0\" "
                    "cellpadding=\"4\" bgcolor=\"white\">\n";
    }
    html += "</table>\n</body>\n</html>\n";
    return html;
}

// Processor time of this thread: on a busy machine it shows the speed per core better than
// the time on the clock, which counts the time other programs had the core.
double ThreadSeconds()
{
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

double Seconds(const std::string& Text, int Hue, std::size_t& OutSize, double& Cpu)
{
    TColourRewriter rewriter(Hue, 0, 0, {}, {}, {});
    double best = 1e30;
    Cpu = 1e30;
    for (int run = 0; run < 5; ++run) {
        const auto start = std::chrono::steady_clock::now();
        const double cpuStart = ThreadSeconds();
        const std::string out = rewriter.ReplaceAll(Text);
        const std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - start;
        Cpu = std::min(Cpu, ThreadSeconds() - cpuStart);
        OutSize = out.size();
        best = std::min(best, elapsed.count());
    }
    return best;
}

double Report(const char* What, const std::string& Text, int Hue)
{
    std::size_t outSize = 0;
    double cpu = 0;
    const double s = Seconds(Text, Hue, outSize, cpu);
    const double mb = static_cast<double>(Text.size()) / 1e6;
    std::printf("%-28s %6.1f MB  hue %4d  %8.3f s  %7.1f MB/s  cpu %7.1f MB/s  (out %.1f MB)\n", What, mb, Hue, s,
                mb / s, mb / cpu, static_cast<double>(outSize) / 1e6);
    return s;
}

}  // namespace

int main()
{
    std::printf("rewriter: best of 5 runs of ReplaceAll (MB/s by the clock and by this thread's processor time)\n");
    const std::string css2 = Stylesheet(2'000'000);
    const std::string css20 = Stylesheet(20'000'000);
    const std::string html2 = Page(2'000'000);
    const std::string html20 = Page(20'000'000);
    double css[2] = {}, html[2] = {};
    for (int hue : {0, 120}) {
        css[0] = Report("stylesheet", css2, hue);
        css[1] = Report("stylesheet", css20, hue);
        html[0] = Report("HTML page", html2, hue);
        html[1] = Report("HTML page", html20, hue);
    }
    std::printf("20 MB / 2 MB time at hue 120: stylesheet %.1f, HTML page %.1f (sizes %.1f and %.1f apart)\n",
                css[1] / css[0], html[1] / html[0], static_cast<double>(css20.size()) / static_cast<double>(css2.size()),
                static_cast<double>(html20.size()) / static_cast<double>(html2.size()));
    return 0;
}

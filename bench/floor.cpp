// The floors a site conversion is measured against, over the files of a folder (and its
// subfolders):
//
//   bench_floor png DIR     zlib alone: every PNG's image data inflated and deflated again at
//                           the default level, as one stream (file reading not counted)
//   bench_floor text DIR    every .htm, .html and .css file read whole and written back
//   bench_floor pixels DIR  pixel counts of the PNG and GIF files, and the largest image
//
// Without arguments it runs the zlib floor over the public test images. Each mode ends with
// one line of "key=value" figures for scripts (bench/compare.sh reads them).

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zlib.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

double ProcessSeconds()
{
    timespec ts{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) * 1e-9;
}

std::string Lower(std::string s)
{
    for (char& c : s)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return s;
}

// Regular files under Dir whose extension is one of Exts, sorted by path.
std::vector<std::string> FilesIn(const std::string& Dir, const std::vector<std::string>& Exts)
{
    std::vector<std::string> files;
    for (const auto& entry : fs::recursive_directory_iterator(Dir)) {
        if (!entry.is_regular_file()) continue;
        const std::string ext = Lower(entry.path().extension().string());
        if (std::find(Exts.begin(), Exts.end(), ext) != Exts.end()) files.push_back(entry.path().string());
    }
    std::sort(files.begin(), files.end());
    return files;
}

bool ReadFile(const std::string& Path, std::string& Data)
{
    const int fd = open(Path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return false;
    struct stat st {};
    fstat(fd, &st);
    Data.resize(static_cast<std::size_t>(st.st_size));
    std::size_t done = 0;
    while (done < Data.size()) {
        const ssize_t n = read(fd, Data.data() + done, Data.size() - done);
        if (n <= 0) break;
        done += static_cast<std::size_t>(n);
    }
    close(fd);
    Data.resize(done);
    return true;
}

bool WriteFile(const std::string& Path, const std::string& Data)
{
    const int fd = open(Path.c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC);
    if (fd < 0) return false;
    std::size_t done = 0;
    while (done < Data.size()) {
        const ssize_t n = write(fd, Data.data() + done, Data.size() - done);
        if (n <= 0) break;
        done += static_cast<std::size_t>(n);
    }
    const bool ok = close(fd) == 0 && done == Data.size();
    return ok;
}

std::uint32_t Be32(const unsigned char* p)
{
    return (std::uint32_t{p[0]} << 24) | (std::uint32_t{p[1]} << 16) | (std::uint32_t{p[2]} << 8) | p[3];
}

struct TPngData {
    std::uint32_t Width = 0, Height = 0;
    std::string Idat;  // the zlib stream of the image data
};

bool ParsePng(const std::string& File, TPngData& Png)
{
    static const unsigned char Signature[8] = {137, 80, 78, 71, 13, 10, 26, 10};
    if (File.size() < 8 || std::memcmp(File.data(), Signature, 8) != 0) return false;
    const auto* p = reinterpret_cast<const unsigned char*>(File.data());
    std::size_t pos = 8;
    while (pos + 12 <= File.size()) {
        const std::uint32_t length = Be32(p + pos);
        if (length > File.size() - pos - 12) return false;
        const std::string type(File.data() + pos + 4, 4);
        if (type == "IHDR" && length >= 8) {
            Png.Width = Be32(p + pos + 8);
            Png.Height = Be32(p + pos + 12);
        } else if (type == "IDAT") {
            Png.Idat.append(File.data() + pos + 8, length);
        } else if (type == "IEND") {
            break;
        }
        pos += 12 + length;
    }
    return Png.Width > 0 && !Png.Idat.empty();
}

// SkipBad: files that are no PNG or hold no image data are left out (the public test images
// include deliberately broken ones) instead of stopping the run.
int ZlibFloor(const std::vector<std::string>& Files, bool SkipBad = false)
{
    std::size_t skipped = 0;
    std::vector<TPngData> images;
    std::uint64_t pixels = 0, largest = 0;
    for (const std::string& path : Files) {
        std::string file;
        TPngData png;
        if (!ReadFile(path, file) || !ParsePng(file, png)) {
            if (SkipBad) {
                ++skipped;
                continue;
            }
            std::fprintf(stderr, "bench_floor: not a PNG file: %s\n", path.c_str());
            return 1;
        }
        const std::uint64_t n = std::uint64_t{png.Width} * png.Height;
        pixels += n;
        largest = std::max(largest, n);
        images.push_back(std::move(png));
    }

    std::vector<unsigned char> raw, packed;
    std::uint64_t rawBytes = 0, packedBytes = 0;
    double inflateTime = 0, deflateTime = 0;
    const double cpu0 = ProcessSeconds();
    for (const TPngData& png : images) {
        // Inflate into a buffer that grows as needed (interlaced images are a little larger
        // than height rows).
        auto t0 = Clock::now();
        z_stream in{};
        inflateInit(&in);
        in.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(png.Idat.data()));
        in.avail_in = static_cast<uInt>(png.Idat.size());
        raw.resize(std::max<std::size_t>(raw.size(), 1 << 16));
        std::size_t have = 0;
        for (;;) {
            if (have == raw.size()) raw.resize(raw.size() * 2);
            in.next_out = raw.data() + have;
            in.avail_out = static_cast<uInt>(raw.size() - have);
            const int rc = inflate(&in, Z_NO_FLUSH);
            have = raw.size() - in.avail_out;
            if (rc == Z_STREAM_END) break;
            if (rc != Z_OK && rc != Z_BUF_ERROR) break;
            if (rc == Z_BUF_ERROR && in.avail_in == 0) break;
        }
        inflateEnd(&in);
        auto t1 = Clock::now();
        inflateTime += std::chrono::duration<double>(t1 - t0).count();

        z_stream out{};
        deflateInit(&out, Z_DEFAULT_COMPRESSION);
        packed.resize(std::max<std::size_t>(packed.size(), deflateBound(&out, static_cast<uLong>(have))));
        out.next_in = raw.data();
        out.avail_in = static_cast<uInt>(have);
        out.next_out = packed.data();
        out.avail_out = static_cast<uInt>(packed.size());
        deflate(&out, Z_FINISH);
        packedBytes += out.total_out;
        deflateEnd(&out);
        deflateTime += std::chrono::duration<double>(Clock::now() - t1).count();
        rawBytes += have;
    }
    const double cpu = ProcessSeconds() - cpu0;
    const double seconds = inflateTime + deflateTime;
    const double mpx = static_cast<double>(pixels) / 1e6;
    std::printf("zlib floor over %zu PNG files, %.1f megapixels (%.1f MB of rows):\n", images.size(), mpx,
                static_cast<double>(rawBytes) / 1e6);
    if (skipped) std::printf("  (%zu files left out: no PNG image data)\n", skipped);
    std::printf("  inflate %8.3f s  %7.1f Mpx/s\n", inflateTime, mpx / inflateTime);
    std::printf("  deflate %8.3f s  %7.1f Mpx/s  (level -1, %.1f MB out)\n", deflateTime, mpx / deflateTime,
                static_cast<double>(packedBytes) / 1e6);
    std::printf("  both    %8.3f s  %7.1f Mpx/s  (cpu %.3f s)\n", seconds, mpx / seconds, cpu);
    std::printf("files=%zu pixels=%llu largest=%llu seconds=%.4f cpu=%.4f\n", images.size(),
                static_cast<unsigned long long>(pixels), static_cast<unsigned long long>(largest), seconds, cpu);
    return 0;
}

int TextFloor(const std::vector<std::string>& Files)
{
    std::uint64_t bytes = 0;
    const double cpu0 = ProcessSeconds();
    const auto t0 = Clock::now();
    std::string data;
    for (const std::string& path : Files) {
        if (!ReadFile(path, data) || !WriteFile(path, data)) {
            std::fprintf(stderr, "bench_floor: cannot read and write %s\n", path.c_str());
            return 1;
        }
        bytes += data.size();
    }
    const double seconds = std::chrono::duration<double>(Clock::now() - t0).count();
    const double cpu = ProcessSeconds() - cpu0;
    std::printf("read + write of %zu text files, %.1f MB: %.3f s, %.1f MB/s (cpu %.3f s)\n", Files.size(),
                static_cast<double>(bytes) / 1e6, seconds, static_cast<double>(bytes) / 1e6 / seconds, cpu);
    std::printf("files=%zu bytes=%llu seconds=%.4f cpu=%.4f\n", Files.size(), static_cast<unsigned long long>(bytes),
                seconds, cpu);
    return 0;
}

int Pixels(const std::vector<std::string>& Files)
{
    std::uint64_t pngPixels = 0, gifPixels = 0, largest = 0;
    std::size_t pngs = 0, gifs = 0;
    std::string file;
    for (const std::string& path : Files) {
        if (!ReadFile(path, file)) continue;
        std::uint64_t n = 0;
        const auto* p = reinterpret_cast<const unsigned char*>(file.data());
        if (file.size() >= 24 && file.compare(1, 3, "PNG") == 0) {
            n = std::uint64_t{Be32(p + 16)} * Be32(p + 20);
            pngPixels += n;
            ++pngs;
        } else if (file.size() >= 10 && file.compare(0, 3, "GIF") == 0) {
            // The logical screen: the bitmap a GIF is converted through has its size.
            n = std::uint64_t(p[6] | (p[7] << 8)) * std::uint64_t(p[8] | (p[9] << 8));
            gifPixels += n;
            ++gifs;
        }
        largest = std::max(largest, n);
    }
    std::printf("pngs=%zu png_pixels=%llu gifs=%zu gif_pixels=%llu largest=%llu\n", pngs,
                static_cast<unsigned long long>(pngPixels), gifs, static_cast<unsigned long long>(gifPixels),
                static_cast<unsigned long long>(largest));
    return 0;
}

}  // namespace

int main(int argc, char** argv)
{
    try {
        if (argc == 1) {
            const std::string dir = std::string(TESSIVAL_TESTDATA_DIR) + "/pngsuite";
            if (!fs::is_directory(dir)) {
                std::fprintf(stderr, "bench_floor: no test images in %s\n", dir.c_str());
                return 1;
            }
            return ZlibFloor(FilesIn(dir, {".png"}), true);
        }
        if (argc != 3) {
            std::fprintf(stderr, "usage: bench_floor png|text|pixels DIR\n");
            return 2;
        }
        const std::string mode = argv[1];
        const std::string dir = argv[2];
        if (mode == "png") return ZlibFloor(FilesIn(dir, {".png"}));
        if (mode == "text") return TextFloor(FilesIn(dir, {".htm", ".html", ".css"}));
        if (mode == "pixels") return Pixels(FilesIn(dir, {".png", ".gif"}));
        std::fprintf(stderr, "bench_floor: unknown mode %s\n", mode.c_str());
        return 2;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "bench_floor: %s\n", e.what());
        return 1;
    }
}

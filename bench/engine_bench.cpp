// Engine throughput, beside memcpy of the same buffer, measured in one run.
//
//   scrubix_engine_bench [--corpora DIR] [--min-seconds S] [--markdown FILE] [--doubling 1]
//                        [--cpu-time 1] [--only NAMES] [--corpus NAMES] [--pieces BYTES]
//
// Reads every *.txt of the corpora folder (python bench/corpora.py writes them) and reports
// MB/s of the engine alone for the default options, each preset and each normalization form,
// beside two floors measured on the same buffer: memcpy, and the decode-and-lookup loop (decode
// the UTF-8 one code point at a time, read one entry of the engine's property table for each),
// which is what looking at every character once costs.
// With --doubling it reports instead, for each corpus and option set, the time for the whole
// text divided by the time for its first half (2.0 when the cost is linear).
// --only and --corpus keep the option sets and corpora named in a comma-separated list (for a
// profile of a few rows); --pieces cleans each corpus as texts of about that many bytes, one
// call each, which shows what a call costs before its first character (short texts).
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdint>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iostream>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "driver.hpp"
#include "unicode/char_props.hpp"
#include "unicode/utf8.hpp"

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

struct Config {
    const char* name;
    scrubix::Options options;
};

std::vector<Config> configs() {
    using namespace scrubix;
    std::vector<Config> c = {
        {"default", Options{}},
        {"minimal", minimal_preset()},
        {"balanced", balanced_preset()},
        {"humanize", humanize_preset()},
        {"aggressive", aggressive_preset()},
        {"code_safe", code_safe_preset()},
    };
    const std::pair<const char*, NormalizationMode> forms[] = {
        {"nfd", NormalizationMode::NFD}, {"nfc", NormalizationMode::NFC},
        {"nfkd", NormalizationMode::NFKD}, {"nfkc", NormalizationMode::NFKC}};
    for (const auto& [name, mode] : forms) {
        Options o = minimal_preset();
        o.remove_hidden = false;
        o.unicode_normalization = mode;
        c.push_back({name, o});
    }
    return c;
}

// Seconds of processor time used by this thread: on a machine shared with other work it is
// not stretched by waiting for a core (--cpu-time 1).
double thread_seconds() {
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return double(ts.tv_sec) + 1e-9 * double(ts.tv_nsec);
}
bool g_cpu_time = false;

double elapsed_since(Clock::time_point wall, double cpu) {
    return g_cpu_time ? thread_seconds() - cpu : std::chrono::duration<double>(Clock::now() - wall).count();
}

// Best-of-several MB/s of `fn` over `bytes` bytes, running for at least `min_seconds`.
double measure(std::size_t bytes, double min_seconds, const std::function<void()>& fn) {
    double best = 1e300;
    const auto start = Clock::now();
    int runs = 0;
    do {
        const auto t0 = Clock::now();
        const double c0 = g_cpu_time ? thread_seconds() : 0;
        fn();
        const double dt = elapsed_since(t0, c0);
        best = std::min(best, dt);
        ++runs;
    } while (runs < 3 || std::chrono::duration<double>(Clock::now() - start).count() < min_seconds);
    return double(bytes) / 1e6 / best;
}

// The decode-and-lookup loop: every code point decoded on its own and its property word read
// through the engine's two-stage table reader. Returns a fold of the words so that nothing is
// optimized away.
std::uint32_t decode_and_lookup(std::string_view text) {
    std::uint32_t fold = 0;
    for (std::size_t i = 0; i < text.size();) fold += scrubix::unicode::property_word(scrubix::utf8::decode(text, i));
    return fold;
}

// Whether `name` is in the comma-separated `list` (an empty list keeps every name).
bool listed(const std::string& list, const std::string& name) {
    if (list.empty()) return true;
    std::stringstream items(list);
    for (std::string item; std::getline(items, item, ',');)
        if (item == name) return true;
    return false;
}

// The text cut into pieces of about `size` bytes, each ending at a character boundary.
std::vector<std::string_view> pieces_of(std::string_view text, std::size_t size) {
    std::vector<std::string_view> pieces;
    for (std::size_t pos = 0; pos < text.size();) {
        std::size_t end = std::min(text.size(), pos + size);
        while (end < text.size() && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80) ++end;
        pieces.push_back(text.substr(pos, end - pos));
        pos = end;
    }
    return pieces;
}

std::string read_file(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

// Time of the whole text over time of its first half (cut at a character boundary).
int report_doubling(const std::vector<fs::path>& files, const std::vector<Config>& cfgs, double min_seconds) {
    std::printf("%-18s", "corpus");
    for (const auto& c : cfgs) std::printf(" %10s", c.name);
    std::printf("\n");
    double worst = 0;
    for (const auto& path : files) {
        const std::string text = read_file(path);
        std::size_t half = text.size() / 2;
        while (half > 0 && (static_cast<unsigned char>(text[half]) & 0xC0) == 0x80) --half;
        const std::string first_half = text.substr(0, half);
        std::printf("%-18s", path.stem().string().c_str());
        for (const auto& c : cfgs) {
            std::size_t sink = 0;
            const auto run = [&](const std::string& t) {
                return measure(t.size(), min_seconds, [&] { sink += scrubix::clean(t, c.options).view(t).size(); });
            };
            const double mbs_half = run(first_half);
            const double mbs_full = run(text);
            // time ratio = (size_full / mbs_full) / (size_half / mbs_half)
            const double ratio = (double(text.size()) / mbs_full) / (double(half) / mbs_half);
            worst = std::max(worst, std::abs(ratio / 2.0 - 1.0));
            std::printf(" %10.2f", ratio);
            if (sink == 0) std::printf("?");
        }
        std::printf("\n");
    }
    std::printf("largest deviation from 2.00: %.1f%%\n", 100 * worst);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    fs::path dir = fs::path(__FILE__).parent_path() / "corpora";
    double min_seconds = 0.5;
    std::string markdown;
    bool doubling = false;
    std::string only, corpora;
    std::size_t piece_size = 0;
    for (int i = 1; i + 1 < argc; i += 2) {
        if (!std::strcmp(argv[i], "--corpora")) dir = argv[i + 1];
        else if (!std::strcmp(argv[i], "--min-seconds")) min_seconds = std::atof(argv[i + 1]);
        else if (!std::strcmp(argv[i], "--markdown")) markdown = argv[i + 1];
        else if (!std::strcmp(argv[i], "--doubling")) doubling = std::atoi(argv[i + 1]) != 0;
        else if (!std::strcmp(argv[i], "--cpu-time")) g_cpu_time = std::atoi(argv[i + 1]) != 0;
        else if (!std::strcmp(argv[i], "--only")) only = argv[i + 1];
        else if (!std::strcmp(argv[i], "--corpus")) corpora = argv[i + 1];
        else if (!std::strcmp(argv[i], "--pieces")) piece_size = std::strtoul(argv[i + 1], nullptr, 10);
    }
    std::vector<fs::path> files;
    if (fs::is_directory(dir))
        for (const auto& e : fs::directory_iterator(dir))
            if (e.path().extension() == ".txt" && listed(corpora, e.path().stem().string())) files.push_back(e.path());
    std::sort(files.begin(), files.end());
    if (files.empty()) {
        std::cerr << "no corpora in " << dir << "; run: python bench/corpora.py\n";
        return 2;
    }
    std::vector<Config> cfgs;
    for (const auto& c : configs())
        if (listed(only, c.name)) cfgs.push_back(c);
    if (doubling) return report_doubling(files, cfgs, min_seconds);
    std::ostringstream md;
    md << "| corpus | MB | memcpy MB/s | decode+lookup MB/s";
    for (const auto& c : cfgs) md << " | " << c.name;
    md << " |\n|---|---|---|---";
    for (std::size_t i = 0; i < cfgs.size(); ++i) md << "|---";
    md << "|\n";
    for (const auto& path : files) {
        std::ifstream in(path, std::ios::binary);
        const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        std::string copy(text.size(), '\0');
        const double memcpy_mbs = measure(text.size(), min_seconds, [&] {
            std::memcpy(copy.data(), text.data(), text.size());
            asm volatile("" ::"r"(copy.data()) : "memory");
        });
        std::uint32_t fold = 0;
        const double lookup_mbs = measure(text.size(), min_seconds, [&] { fold += decode_and_lookup(text); });
        asm volatile("" ::"r"(fold));
        md << "| " << path.stem().string() << " | " << text.size() / 1000000.0 << " | "
           << int(memcpy_mbs) << " | " << int(lookup_mbs);
        std::cout << path.stem().string() << " (" << text.size() / 1e6 << " MB): memcpy "
                  << int(memcpy_mbs) << " MB/s, decode+lookup " << int(lookup_mbs) << " MB/s\n";
        const auto pieces = pieces_of(text, piece_size == 0 ? text.size() : piece_size);
        for (const auto& c : cfgs) {
            std::size_t sink = 0;
            const double mbs = measure(text.size(), min_seconds, [&] {
                for (const std::string_view piece : pieces) {
                    const auto r = scrubix::clean(piece, c.options);
                    sink += r.view(piece).size();
                }
            });
            std::printf("  %-11s %9.1f MB/s  (%5.1f%% of memcpy, %5.2fx decode+lookup)\n", c.name, mbs,
                        100 * mbs / memcpy_mbs, mbs / lookup_mbs);
            md << " | " << int(mbs);
            if (sink == 0 && !text.empty()) std::cout << "";
        }
        md << " |\n";
    }
    if (!markdown.empty()) std::ofstream(markdown) << md.str();
    return 0;
}

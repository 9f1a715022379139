// Engine throughput, beside memcpy of the same buffer, measured in one run.
//
//   scrubix_engine_bench [--corpora DIR] [--min-seconds S] [--markdown FILE]
//
// Reads every *.txt of the corpora folder (python bench/corpora.py writes them) and reports
// MB/s of the engine alone for the default options, each preset and each normalization form.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

#include "driver.hpp"

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

// Best-of-several MB/s of `fn` over `bytes` bytes, running for at least `min_seconds`.
double measure(std::size_t bytes, double min_seconds, const std::function<void()>& fn) {
    double best = 1e300;
    const auto start = Clock::now();
    int runs = 0;
    do {
        const auto t0 = Clock::now();
        fn();
        const double dt = std::chrono::duration<double>(Clock::now() - t0).count();
        best = std::min(best, dt);
        ++runs;
    } while (runs < 3 || std::chrono::duration<double>(Clock::now() - start).count() < min_seconds);
    return double(bytes) / 1e6 / best;
}

}  // namespace

int main(int argc, char** argv) {
    fs::path dir = fs::path(__FILE__).parent_path() / "corpora";
    double min_seconds = 0.5;
    std::string markdown;
    for (int i = 1; i + 1 < argc; i += 2) {
        if (!std::strcmp(argv[i], "--corpora")) dir = argv[i + 1];
        else if (!std::strcmp(argv[i], "--min-seconds")) min_seconds = std::atof(argv[i + 1]);
        else if (!std::strcmp(argv[i], "--markdown")) markdown = argv[i + 1];
    }
    std::vector<fs::path> files;
    if (fs::is_directory(dir))
        for (const auto& e : fs::directory_iterator(dir))
            if (e.path().extension() == ".txt") files.push_back(e.path());
    std::sort(files.begin(), files.end());
    if (files.empty()) {
        std::cerr << "no corpora in " << dir << "; run: python bench/corpora.py\n";
        return 2;
    }
    const auto cfgs = configs();
    std::ostringstream md;
    md << "| corpus | MB | memcpy MB/s";
    for (const auto& c : cfgs) md << " | " << c.name;
    md << " |\n|---|---|---";
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
        md << "| " << path.stem().string() << " | " << text.size() / 1000000.0 << " | "
           << int(memcpy_mbs);
        std::cout << path.stem().string() << " (" << text.size() / 1e6 << " MB): memcpy "
                  << int(memcpy_mbs) << " MB/s\n";
        for (const auto& c : cfgs) {
            std::size_t sink = 0;
            const double mbs = measure(text.size(), min_seconds, [&] {
                const auto r = scrubix::clean(text, c.options);
                sink += r.view(text).size();
            });
            std::printf("  %-11s %9.1f MB/s  (%5.1f%% of memcpy)\n", c.name, mbs, 100 * mbs / memcpy_mbs);
            md << " | " << int(mbs);
            if (sink == 0 && !text.empty()) std::cout << "";
        }
        md << " |\n";
    }
    if (!markdown.empty()) std::ofstream(markdown) << md.str();
    return 0;
}

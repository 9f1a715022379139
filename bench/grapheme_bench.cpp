// Throughput of grapheme cluster iteration (not built by CMake; compile by hand):
//
//   g++ -std=c++20 -O2 -Isrc bench/grapheme_bench.cpp src/unicode/grapheme.cpp -o build/grapheme_bench
//   build/grapheme_bench [FILE...]
//
// Without arguments it measures built-in corpora (ASCII prose, accented Latin, CJK, emoji with
// combining marks); with arguments, each file as it is. Reports the best MB/s of several runs.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <utility>
#include <vector>

#include "unicode/grapheme.hpp"

namespace {

constexpr std::size_t kCorpusBytes = 8u << 20;

// Repeats words drawn by a fixed linear congruential sequence until `bytes` is reached.
std::string corpus(const std::vector<std::string>& words, std::size_t bytes, const char* sep = " ") {
    std::string text;
    text.reserve(bytes + 64);
    std::uint32_t state = 12345;
    std::size_t n = 0;
    while (text.size() < bytes) {
        state = state * 1664525u + 1013904223u;
        text += words[(state >> 8) % words.size()];
        text += ++n % 12 == 0 ? "\n" : sep;
    }
    return text;
}

std::vector<std::pair<std::string, std::string>> builtin_corpora() {
    const std::vector<std::string> english = {"the", "quick", "brown", "fox", "jumps", "over", "lazy",
        "dog,", "while", "a", "cleaner", "reads", "every", "line", "of", "plain", "text."};
    const std::vector<std::string> latin = {"été", "où", "déjà", "très", "garçon", "fenêtre", "naïve",
        "Straße", "Mädchen", "größer", "zażółć", "gęślą", "jaźń", "niño", "señor", "příliš", "žluťoučký"};
    const std::vector<std::string> cjk = {"中文字符", "的世界", "人民", "大学生", "时间问题", "我们",
        "日本語", "漢字", "한국어", "문자", "東京都", "ひらがな"};
    const std::vector<std::string> emoji = {"👍🏽", "👩‍👩‍👧‍👦", "🇫🇷", "❤️", "e\u0301", "क्षि", "🏳️‍🌈",
        "ok", "a\u0308\u0323"};
    return {{"ascii prose", corpus(english, kCorpusBytes)},
            {"accented latin", corpus(latin, kCorpusBytes)},
            {"cjk", corpus(cjk, kCorpusBytes, "")},
            {"emoji + marks", corpus(emoji, kCorpusBytes)}};
}

std::size_t count_clusters(std::string_view text) {
    std::size_t clusters = 0;
    for (std::size_t pos = 0; pos < text.size(); ++clusters)
        pos = scrubix::unicode::next_cluster_end(text, pos);
    return clusters;
}

void measure(const std::string& name, const std::string& text) {
    using Clock = std::chrono::steady_clock;
    double best = 1e300;
    std::size_t clusters = 0;
    const auto start = Clock::now();
    for (int run = 0; run < 5 || Clock::now() - start < std::chrono::seconds(1); ++run) {
        const auto t0 = Clock::now();
        clusters = count_clusters(text);
        best = std::min(best, std::chrono::duration<double>(Clock::now() - t0).count());
    }
    std::printf("%-16s %8.1f MB/s  %6.2f ns/cluster  (%zu bytes, %zu clusters)\n", name.c_str(),
                double(text.size()) / best / 1e6, best * 1e9 / double(clusters), text.size(), clusters);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 1) {
        for (const auto& [name, text] : builtin_corpora()) measure(name, text);
        return 0;
    }
    for (int i = 1; i < argc; ++i) {
        std::ifstream in(argv[i], std::ios::binary);
        if (!in) {
            std::fprintf(stderr, "cannot read %s\n", argv[i]);
            return 1;
        }
        measure(argv[i], std::string(std::istreambuf_iterator<char>(in), {}));
    }
    return 0;
}

// Throughput of the normalization forms (not built by CMake; compile by hand):
//
//   g++ -std=c++20 -O2 -Isrc bench/normalize_bench.cpp src/unicode/normalize.cpp
//       src/unicode/utf8.cpp -o build/normalize_bench      (one command line)
//   build/normalize_bench [--forms NFC,NFKC] [NAME=FILE...]
//
// Without files it measures built-in corpora: ASCII prose, accented European text in NFC and
// in NFD, and CJK. Each line of output is "corpus<TAB>form<TAB>MB/s<TAB>output bytes<TAB>
// FNV-1a hash of the output", MB/s being input megabytes (10^6 bytes) per second, best of
// several runs. bench/normalize_vs_cpython.py runs this on its own corpora and compares.
#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <utility>
#include <vector>

#include "unicode/normalize.hpp"

namespace {

using scrubix::NormalizationMode;

constexpr std::size_t kCorpusBytes = 4u << 20;
constexpr int kRuns = 7;

std::string corpus(const std::vector<std::string>& words, std::size_t bytes, const char* sep) {
    std::string text;
    text.reserve(bytes + 64);
    std::uint32_t state = 2024;
    std::size_t n = 0;
    while (text.size() < bytes) {
        state = state * 1664525u + 1013904223u;
        text += words[(state >> 8) % words.size()];
        text += ++n % 14 == 0 ? "\n" : sep;
    }
    return text;
}

std::vector<std::pair<std::string, std::string>> builtin_corpora() {
    const std::vector<std::string> english = {"the", "quick", "brown", "fox", "jumps", "over",
        "lazy", "dog,", "while", "a", "cleaner", "reads", "every", "line", "of", "plain", "text."};
    // Precomposed (NFC) words; the NFD corpus is the same text decomposed.
    const std::vector<std::string> european = {"été", "où", "déjà", "très", "garçon", "fenêtre",
        "naïve", "Straße", "Mädchen", "größer", "zażółć", "gęślą", "jaźń", "niño", "señor",
        "příliš", "žluťoučký", "and", "the", "de", "la", "und"};
    const std::vector<std::string> cjk = {"中文字符", "的世界", "人民", "大学生", "时间问题",
        "我们", "日本語", "漢字", "東京都", "ひらがな", "カタカナ", "、", "。"};
    std::string nfc = corpus(european, kCorpusBytes, " ");
    std::string nfd;
    scrubix::unicode::normalize_into(NormalizationMode::NFD, nfc, nfd);
    return {{"ascii", corpus(english, kCorpusBytes, " ")},
            {"european-nfc", std::move(nfc)},
            {"european-nfd", std::move(nfd)},
            {"cjk", corpus(cjk, kCorpusBytes, "")}};
}

std::uint64_t fnv1a(const std::string& s) {
    std::uint64_t h = 0xCBF29CE484222325ull;
    for (unsigned char c : s) h = (h ^ c) * 0x100000001B3ull;
    return h;
}

void measure(const std::string& name, const std::string& text, NormalizationMode mode,
             const char* form) {
    std::string out;
    double best = 1e30;
    for (int run = 0; run < kRuns; ++run) {
        out.clear();
        out.shrink_to_fit();
        const auto t0 = std::chrono::steady_clock::now();
        scrubix::unicode::normalize_into(mode, text, out);
        const auto t1 = std::chrono::steady_clock::now();
        best = std::min(best, std::chrono::duration<double>(t1 - t0).count());
    }
    std::printf("%s\t%s\t%.1f\t%zu\t%016llx\n", name.c_str(), form, double(text.size()) / best / 1e6,
                out.size(), static_cast<unsigned long long>(fnv1a(out)));
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<std::pair<const char*, NormalizationMode>> forms = {
        {"NFC", NormalizationMode::NFC}, {"NFKC", NormalizationMode::NFKC}};
    std::vector<std::pair<std::string, std::string>> corpora;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--forms") == 0 && i + 1 < argc) {
            const std::string list = argv[++i];
            forms.clear();
            for (auto [word, mode] : {std::pair{"NFD", NormalizationMode::NFD},
                                      std::pair{"NFC", NormalizationMode::NFC},
                                      std::pair{"NFKD", NormalizationMode::NFKD},
                                      std::pair{"NFKC", NormalizationMode::NFKC}}) {
                if (("," + list + ",").find("," + std::string(word) + ",") != std::string::npos)
                    forms.emplace_back(word, mode);
            }
            continue;
        }
        const std::string arg = argv[i];
        const std::size_t eq = arg.find('=');
        const std::string path = eq == std::string::npos ? arg : arg.substr(eq + 1);
        std::ifstream in(path, std::ios::binary);
        if (!in) {
            std::fprintf(stderr, "cannot read %s\n", path.c_str());
            return 2;
        }
        corpora.emplace_back(eq == std::string::npos ? arg : arg.substr(0, eq),
                             std::string(std::istreambuf_iterator<char>(in), {}));
    }
    if (corpora.empty()) corpora = builtin_corpora();
    for (const auto& [name, text] : corpora)
        for (const auto& [form, mode] : forms) measure(name, text, mode, form);
    return 0;
}

// The engine from eight threads at once: every call gives exactly the result of the same call
// made alone. Built with -fsanitize=thread by fuzz/tsan.sh, this also shows that the calls
// share no written memory.
#include <array>
#include <atomic>
#include <random>
#include <thread>
#include <vector>

#include "engine_check.hpp"
#include "unicode/grapheme.hpp"
#include "unicode/normalize.hpp"
#include "unicode/utf8.hpp"

using namespace scrubix;

namespace {

constexpr int kThreads = 8;

const std::array<char32_t, 40> kPool = {
    'a', 'Z', '1', '=', '<', ' ', ' ', '\t', '\n', '\r', 0x01, 0x85, 0xA0, 0xAD, 0xD7, 0xE9,
    0x0301, 0x0316, 0x0338, 0x094D, 0x0915, 0x1100, 0x1161, 0xAC00, 0x200B, 0x200D, 0x2014,
    0x201C, 0x2026, 0x2028, 0x2044, 0x2260, 0x2264, 0x2764, 0xFDFA, 0xFE0F, 0x1F1E6, 0x1F600,
    0xE0067, 0xE007F,
};

std::vector<std::string> make_texts(std::size_t count) {
    std::mt19937 rng(77);
    std::vector<std::string> texts(count);
    for (auto& text : texts) {
        const std::size_t len = rng() % 200;
        for (std::size_t i = 0; i < len; ++i) utf8::append(text, kPool[rng() % kPool.size()]);
    }
    return texts;
}

std::vector<Options> make_options() {
    std::vector<Options> all = {Options{}, minimal_preset(), balanced_preset(), humanize_preset(),
                                aggressive_preset(), code_safe_preset()};
    Options o;
    o.emoji_policy = EmojiPolicy::Keep;
    o.non_ascii_policy = NonAsciiPolicy::Fold;
    o.line_endings = LineEndingStyle::Crlf;
    o.unicode_normalization = NormalizationMode::NFD;
    all.push_back(o);
    return all;
}

struct Outcome {
    std::string text;
    std::uint64_t changes_made;
    CleaningStats stats;
    bool operator==(const Outcome&) const = default;
};

Outcome run(const std::string& text, const Options& o) {
    const auto r = clean(text, o);
    return {std::string(r.view(text)), r.changes_made, r.stats};
}

}  // namespace

TEST_CASE("thread_stress", "eight threads cleaning at once match the serial results") {
    const auto texts = make_texts(64);
    const auto options = make_options();
    std::vector<Outcome> expected;
    for (const auto& o : options)
        for (const auto& t : texts) expected.push_back(run(t, o));

    std::atomic<int> mismatches{0};
    std::atomic<int> ready{0};
    std::vector<std::thread> threads;
    for (int k = 0; k < kThreads; ++k) {
        threads.emplace_back([&, k] {
            ready.fetch_add(1);
            while (ready.load() < kThreads) std::this_thread::yield();
            // Each thread walks the (options, text) pairs in its own order.
            const std::size_t n = expected.size();
            for (std::size_t step = 0; step < 16 * n; ++step) {
                const std::size_t idx = (step * (2 * k + 1) + k) % n;
                const auto& o = options[idx / texts.size()];
                const auto& t = texts[idx % texts.size()];
                if (!(run(t, o) == expected[idx])) mismatches.fetch_add(1);
            }
        });
    }
    for (auto& t : threads) t.join();
    CHECK_EQ(mismatches.load(), 0);
}

TEST_CASE("thread_stress", "normalization and segmentation from eight threads") {
    const auto texts = make_texts(48);
    constexpr std::array kModes = {NormalizationMode::NFD, NormalizationMode::NFC, NormalizationMode::NFKD,
                                   NormalizationMode::NFKC};
    std::vector<std::string> expected;
    std::vector<std::size_t> cluster_counts;
    for (const auto& t : texts) {
        for (const auto mode : kModes) {
            std::string out;
            unicode::normalize_into(mode, t, out);
            expected.push_back(out);
        }
        std::size_t count = 0;
        unicode::Clusters clusters(t);
        for (std::string_view g; clusters.next(g);) ++count;
        cluster_counts.push_back(count);
    }

    std::atomic<int> mismatches{0};
    std::vector<std::thread> threads;
    for (int k = 0; k < kThreads; ++k) {
        threads.emplace_back([&, k] {
            for (int round = 0; round < 20; ++round) {
                for (std::size_t i = 0; i < texts.size(); ++i) {
                    const std::size_t t = (i + std::size_t(k) * 5 + std::size_t(round)) % texts.size();
                    const auto mode = kModes[(t + std::size_t(k)) % kModes.size()];
                    std::string out;
                    unicode::normalize_into(mode, texts[t], out);
                    if (out != expected[t * kModes.size() + (t + std::size_t(k)) % kModes.size()])
                        mismatches.fetch_add(1);
                    if (!unicode::is_normalized(mode, out)) mismatches.fetch_add(1);
                    std::size_t count = 0;
                    unicode::Clusters clusters(texts[t]);
                    for (std::string_view g; clusters.next(g);) ++count;
                    if (count != cluster_counts[t]) mismatches.fetch_add(1);
                }
            }
        });
    }
    for (auto& t : threads) t.join();
    CHECK_EQ(mismatches.load(), 0);
}

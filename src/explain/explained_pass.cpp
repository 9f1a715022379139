// The main pass watched step by step (a cluster, or a stretch of text no rule changes). Most
// steps come out as they went in and only move the watch on. Held whitespace is decided later than it is read (flushed, collapsed,
// trimmed or taken by a drop), so the watch waits until the run is settled and then splits
// what was written between the run and the cluster that settled it.
#include <cstdint>
#include <cstring>

#include "explain/change_list.hpp"
#include "pass/cluster_loop.hpp"
#include "pass/line_endings.hpp"
#include "pass/shortcuts/shortcuts.hpp"
#include "unicode/grapheme.hpp"

namespace scrubix {

// Only the ASCII shortcuts are used (verbatim stretches, which no rule changes, and single
// ASCII clusters), so that every change is seen in the step of its own cluster: untouched and
// remembered runs may rewrite or drop several clusters in one step, so past ASCII the loop
// goes cluster by cluster.
template <class Observer>
void ClusterLoop::run_observed(std::string_view text, Observer& observer) {
    const auto* bytes = reinterpret_cast<const unsigned char*>(text.data());
    const std::size_t n = text.size();
    for (std::size_t pos = 0; pos < n;) {
        observer.before(pos);
        std::size_t next = pos;
        if (mode_ == PassMode::Shortcuts && bytes[pos] < 0x80 && (pos + 1 == n || bytes[pos + 1] < 0x80))
            next = take_shortcut(*this, text, pos);
        if (next == pos) {
            next = unicode::next_cluster_end(text, pos);
            clean_cluster(text.substr(pos, next - pos));
        }
        observer.after(pos, next);
        pos = next;
    }
    output_.end_of_text();
}

}  // namespace scrubix

namespace scrubix::explain_detail {

namespace {

constexpr std::size_t kTrailingWhitespace = 1;
constexpr std::size_t kWhitespaceCollapsed = 3;

std::string_view style_text(LineEndingStyle style) noexcept {
    switch (style) {
        case LineEndingStyle::Crlf:
            return "\r\n";
        case LineEndingStyle::Cr:
            return "\r";
        default:
            return "\n";
    }
}

// The line breaks in `step` that the line-ending stages write differently: all but those
// already in `style`.
std::uint64_t restyled_breaks(std::string_view step, std::string_view style) noexcept {
    std::uint64_t count = 0;
    for (std::size_t i = 0; i < step.size(); ++i) {
        std::string_view found;
        if (step[i] == '\r') {
            found = i + 1 < step.size() && step[i + 1] == '\n' ? step.substr(i, 2) : step.substr(i, 1);
        } else if (step[i] == '\n') {
            found = step.substr(i, 1);
        } else if (step.substr(i, 2) == "\xC2\x85") {
            found = step.substr(i, 2);
        } else if (step.substr(i, 3) == "\xE2\x80\xA8" || step.substr(i, 3) == "\xE2\x80\xA9") {
            found = step.substr(i, 3);
        } else {
            continue;
        }
        if (found != style) ++count;
        i += found.size() - 1;
    }
    return count;
}

// Whether the `n` bytes at `a` and `b` agree: most steps are a word or two.
bool same_bytes(const char* a, const char* b, std::size_t n) noexcept {
    if (n > 16) return std::memcmp(a, b, n) == 0;
    for (; n >= 8; n -= 8, a += 8, b += 8) {
        std::uint64_t x, y;
        std::memcpy(&x, a, 8);
        std::memcpy(&y, b, 8);
        if (x != y) return false;
    }
    for (; n > 0; --n)
        if (*a++ != *b++) return false;
    return true;
}

class ChangeWatch {
public:
    ChangeWatch(std::string_view text, const Options& options, const std::string& out, const Tally& tally,
                const WhitespaceRun& run, ChangeList& changes)
        : text_(text),
          out_(out),
          tally_(tally),
          run_(run),
          changes_(changes),
          breaks_styled_(options.has_line_endings()),
          style_(style_text(options.line_endings)),
          lf_rewritten_(breaks_styled_ && style_ != "\n"),
          // The counters may hold the normalization stage's count already.
          sync_changes_(tally.changes_made),
          sync_stats_(tally.stats) {}

    void before(std::size_t) {
        held_before_ = !run_.empty();
        if (!held_before_) return;
        cluster_out_ = out_.size();
        // Nothing counted since the watch last moved on: the counters then are those now. A
        // run held across many clusters (each dropped) is copied only when it changed.
        counted_while_held_ = tally_.changes_made != sync_changes_;
        if (counted_while_held_ && tally_.changes_made != cluster_changes_) {
            cluster_stats_ = tally_.stats;
            cluster_changes_ = tally_.changes_made;
        }
        const std::string_view pending = run_.pending();
        if (pending.size() != held_.size() || !same_bytes(pending.data(), held_.data(), pending.size()))
            held_.assign(pending);
    }

    void after(std::size_t begin, std::size_t end) {
        if (!run_.empty()) return;  // the run waits for what follows
        const std::string_view cluster = text_.substr(begin, end - begin);
        const std::size_t grew = out_.size() - sync_out_;
        // Nothing counted and the text came out as it went in (a held run written as it was).
        if (tally_.changes_made == sync_changes_ && grew == end - sync_in_ &&
            same_bytes(out_.data() + sync_out_, text_.data() + sync_in_, grew) &&
            !(lf_rewritten_ && cluster == "\n")) {
            move_on(end);
            return;
        }
        if (held_before_) {
            if (!counted_while_held_) {
                cluster_stats_ = sync_stats_;
                cluster_changes_ = sync_changes_;
            }
            // What the run wrote comes first: nothing when trimmed, one space when collapsed,
            // else the held text when the gate let it through.
            const std::string_view fresh = std::string_view(out_).substr(cluster_out_);
            std::size_t run_bytes = 0;
            const CounterAmounts settled = amounts_between(cluster_stats_, tally_.stats);
            if (settled[kTrailingWhitespace] != 0) {
                run_bytes = 0;
            } else if (settled[kWhitespaceCollapsed] != 0) {
                run_bytes = 1;
            } else if (fresh.starts_with(held_)) {
                run_bytes = held_.size();
            }
            CounterAmounts run_amounts = amounts_between(sync_stats_, cluster_stats_);
            run_amounts[kTrailingWhitespace] += settled[kTrailingWhitespace];
            run_amounts[kWhitespaceCollapsed] += settled[kWhitespaceCollapsed];
            record(sync_in_, begin, cluster_out_ + run_bytes, run_amounts, run_amounts[kWhitespaceCollapsed] != 0);
            CounterAmounts own = settled;
            own[kTrailingWhitespace] = own[kWhitespaceCollapsed] = 0;
            record_cluster(begin, end, cluster, own);
        } else {
            record_cluster(begin, end, cluster, counted_since_sync());
        }
        move_on(end);
    }

    // After the pass wrote the end of the text (and before the line-ending post-pass).
    void at_end() {
        if (sync_in_ == text_.size() && sync_out_ == out_.size()) return;
        const CounterAmounts amounts = counted_since_sync();
        record(sync_in_, text_.size(), out_.size(), amounts, amounts[kWhitespaceCollapsed] != 0);
    }

private:
    CounterAmounts counted_since_sync() const noexcept {
        return tally_.changes_made == sync_changes_ ? CounterAmounts{} : amounts_between(sync_stats_, tally_.stats);
    }

    void move_on(std::size_t end) {
        sync_in_ = end;
        sync_out_ = out_.size();
        if (tally_.changes_made != sync_changes_) {
            sync_changes_ = tally_.changes_made;
            sync_stats_ = tally_.stats;
        }
    }

    void record_cluster(std::size_t begin, std::size_t end, std::string_view cluster, CounterAmounts amounts) {
        // The post-pass counts a break that does not already have the requested style.
        // Such a break is reported whole ("\r\n" -> "\n", not the CR alone).
        const std::uint64_t restyled = breaks_styled_ ? restyled_breaks(cluster, style_) : 0;
        amounts[kLineEndingsNormalized] += restyled;
        record(begin, end, out_.size(), amounts, restyled != 0);
    }

    // input[begin, end) became the output from sync_out_ to out_end (whose LFs the post-pass
    // writes in the requested style). A collapsed run is reported `whole`.
    void record(std::size_t begin, std::size_t end, std::size_t out_end, const CounterAmounts& amounts,
                bool whole = false) {
        std::string_view written = std::string_view(out_).substr(sync_out_, out_end - sync_out_);
        if (lf_rewritten_ && written.find('\n') != std::string_view::npos) {
            styled_.clear();
            for (char c : written) {
                if (c == '\n') {
                    styled_.append(style_);
                } else {
                    styled_.push_back(c);
                }
            }
            written = styled_;
        }
        changes_.add(begin, end, written, amounts, whole);
        sync_out_ = out_end;
    }

    std::string_view text_;
    const std::string& out_;
    const Tally& tally_;
    const WhitespaceRun& run_;
    ChangeList& changes_;
    const bool breaks_styled_;
    const std::string_view style_;
    const bool lf_rewritten_;  // the post-pass rewrites LF

    // Where input and output last agreed, and the counters then.
    std::size_t sync_in_ = 0;
    std::size_t sync_out_ = 0;
    std::uint64_t sync_changes_;
    CleaningStats sync_stats_;
    // The run held before the current cluster: its text, and the output and counters then.
    bool held_before_ = false;
    bool counted_while_held_ = false;
    std::size_t cluster_out_ = 0;
    std::uint64_t cluster_changes_ = 0;  // the total when cluster_stats_ was taken
    CleaningStats cluster_stats_;
    std::string held_;
    std::string styled_;
};

}  // namespace

Changes run_explained_pass(std::string_view text, const Options& options, std::string& out,
                                           Tally& tally) {
    out.reserve(text.size());
    ChangeList changes(text);
    // A stretch taken whole may hold LFs the post-pass rewrites to CR LF or CR, each a change
    // of its own: with those styles every cluster goes through the loop's body.
    const bool lf_rewritten = options.has_line_endings() && options.line_endings != LineEndingStyle::Lf;
    const PassPlan plan(options);
    ClusterLoop loop(options, plan, lf_rewritten ? PassMode::Reference : PassMode::Shortcuts, out, tally, text.size());
    ChangeWatch watch(text, options, out, tally, loop.output().run(), changes);
    loop.run_observed(text, watch);
    watch.at_end();
    if (options.has_line_endings()) convert_line_breaks(options.line_endings, loop.line_breaks(), out, 0, tally);
    return changes.take();
}

}  // namespace scrubix::explain_detail

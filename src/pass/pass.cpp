#include "pass/pass.hpp"

#include "pass/cluster_loop.hpp"
#include "pass/line_endings.hpp"

namespace scrubix {

void run_pass(std::string_view text, const Options& options, PassMode mode, std::string& out, Tally& tally) {
    out.reserve(text.size());
    ClusterLoop loop(options, mode, out, tally, text.size());
    loop.run(text);
    if (options.has_line_endings()) convert_line_breaks(options.line_endings, loop.line_breaks(), out, tally);
}

}  // namespace scrubix

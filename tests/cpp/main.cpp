// Runner for the native tests: `scrubix_native_tests [--data DIR] [suite...]`.
// Exit status: 0 all passed, 1 a failure, 77 everything selected was skipped.
#include <cstdio>
#include <cstring>
#include <set>

#include "harness.hpp"

namespace harness {

namespace {
std::filesystem::path g_data_dir;
int g_failures_in_case = 0;
constexpr int kMaxReportedPerCase = 20;
}  // namespace

std::vector<Case>& registry() {
    static std::vector<Case> cases;
    return cases;
}

const std::filesystem::path& data_dir() { return g_data_dir; }

std::filesystem::path require_data(const std::string& rel) {
    if (g_data_dir.empty()) throw Skip{"no --data folder given"};
    auto p = g_data_dir / rel;
    if (!std::filesystem::exists(p)) throw Skip{"missing " + p.string()};
    return p;
}

void record_failure(const char* file, int line, const std::string& what) {
    if (++g_failures_in_case <= kMaxReportedPerCase)
        std::cout << "    " << file << ":" << line << ": " << what << "\n";
}

}  // namespace harness

int main(int argc, char** argv) {
    std::set<std::string> suites;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--data") == 0 && i + 1 < argc) {
            harness::g_data_dir = argv[++i];
        } else if (std::strcmp(argv[i], "--list") == 0) {
            std::set<std::string> names;
            for (const auto& c : harness::registry()) names.insert(c.suite);
            for (const auto& n : names) std::cout << n << "\n";
            return 0;
        } else {
            suites.insert(argv[i]);
        }
    }
    int passed = 0, failed = 0, skipped = 0;
    for (const auto& c : harness::registry()) {
        if (!suites.empty() && !suites.count(c.suite)) continue;
        harness::g_failures_in_case = 0;
        try {
            c.fn();
        } catch (const harness::Skip& s) {
            std::cout << "SKIP " << c.suite << "/" << c.name << ": " << s.why << "\n";
            ++skipped;
            continue;
        } catch (const std::exception& e) {
            harness::record_failure(__FILE__, __LINE__, std::string("exception: ") + e.what());
        }
        if (harness::g_failures_in_case) {
            std::cout << "FAIL " << c.suite << "/" << c.name << " (" << harness::g_failures_in_case
                      << " failed checks)\n";
            ++failed;
        } else {
            std::cout << "ok   " << c.suite << "/" << c.name << "\n";
            ++passed;
        }
    }
    std::cout << passed << " passed, " << failed << " failed, " << skipped << " skipped\n";
    if (failed) return 1;
    if (passed == 0 && skipped > 0) return 77;
    return 0;
}

// Runs work over the rows of a batch on a few native threads, the calling thread included.
#pragma once

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <exception>
#include <mutex>
#include <thread>
#include <vector>

namespace scrubix::columns {

// Calls `work(block)` once for every block in [0, blocks), on up to `threads` threads that take
// the next block as they finish one, so a thread that draws short rows is not left idle. The
// first exception a call throws stops the hand-out and is rethrown here after all threads end.
template <class Work>
void for_each_block(std::int64_t blocks, unsigned threads, Work&& work) {
    std::atomic<std::int64_t> next{0};
    std::exception_ptr failure;
    std::mutex failure_lock;
    auto run = [&]() {
        for (;;) {
            const std::int64_t block = next.fetch_add(1, std::memory_order_relaxed);
            if (block >= blocks) return;
            try {
                work(block);
            } catch (...) {
                std::lock_guard<std::mutex> guard(failure_lock);
                if (!failure) failure = std::current_exception();
                next.store(blocks, std::memory_order_relaxed);
            }
        }
    };
    const auto helpers = static_cast<std::int64_t>(std::max(1u, threads)) - 1;
    std::vector<std::thread> pool;
    try {
        pool.reserve(static_cast<std::size_t>(std::min(helpers, blocks)));
        for (std::int64_t t = 0; t < helpers && t + 1 < blocks; ++t) pool.emplace_back(run);
    } catch (...) {
        // No thread could be started: the calling thread does all the work.
    }
    run();
    for (auto& thread : pool) thread.join();
    if (failure) std::rethrow_exception(failure);
}

}  // namespace scrubix::columns

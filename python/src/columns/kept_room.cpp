#include "kept_room.hpp"

#include <atomic>
#include <memory>
#include <new>
#include <utility>

namespace scrubix::columns {

namespace {

// Taken and put back with one exchange, so threads releasing arrays (any thread, lock held or
// not) never wait, and a process forked while one does finds no lock held.
std::atomic<std::string*> kept_text{nullptr};

}  // namespace

std::string text_with_room(std::size_t bytes) {
    std::string text;
    if (bytes >= kLeastKept) {
        std::unique_ptr<std::string> kept(kept_text.exchange(nullptr, std::memory_order_acq_rel));
        if (kept && kept->capacity() >= bytes && kept->capacity() - kept->capacity() / 4 <= bytes) {
            kept->clear();
            return std::move(*kept);
        }
    }
    text.reserve(bytes);
    return text;
}

void keep_room(std::string& text) noexcept {
    if (text.capacity() < kLeastKept || text.capacity() > kMostKept) return;
    auto* kept = new (std::nothrow) std::string(std::move(text));
    if (kept == nullptr) return;
    delete kept_text.exchange(kept, std::memory_order_acq_rel);
}

}  // namespace scrubix::columns

#include "ParallelWork.h"

#include <algorithm>
#include <atomic>
#include <exception>
#include <mutex>
#include <system_error>
#include <thread>
#include <vector>

namespace parallel {
namespace {

constexpr std::size_t kMaxThreads = 8;
constexpr std::size_t kRun = 16;  // items taken at once, at most

std::atomic<std::size_t> g_forced{0};

}  // namespace

std::size_t threadCount() {
    const std::size_t forced = g_forced.load();
    if (forced != 0) return forced;
    const unsigned hardware = std::thread::hardware_concurrency();
    return std::clamp<std::size_t>(hardware == 0 ? 1 : hardware, 1, kMaxThreads);
}

void setThreadCountForTesting(std::size_t threads) { g_forced = std::min(threads, kMaxThreads); }

void forEachIndex(std::size_t count, const std::function<void(std::size_t)>& work, std::size_t perThread) {
    if (count == 0) return;
    const std::size_t wanted = std::min(threadCount(), std::max<std::size_t>(1, count / std::max<std::size_t>(1, perThread)));
    // Runs small enough that every thread gets several: a few large items
    // (the two readings of a text, a hundred folders) are shared out too.
    const std::size_t runLength = std::clamp<std::size_t>(count / (wanted * 8), 1, kRun);
    std::atomic<std::size_t> next{0};
    std::atomic<bool> stop{false};
    std::exception_ptr failure;
    std::mutex failureLock;
    auto run = [&]() {
        while (!stop.load(std::memory_order_relaxed)) {
            const std::size_t first = next.fetch_add(runLength);
            if (first >= count) return;
            const std::size_t last = std::min(count, first + runLength);
            try {
                for (std::size_t i = first; i < last && !stop.load(std::memory_order_relaxed); ++i) work(i);
            } catch (...) {
                std::lock_guard<std::mutex> guard(failureLock);
                if (!failure) failure = std::current_exception();
                stop = true;
                return;
            }
        }
    };
    std::vector<std::thread> helpers;
    helpers.reserve(wanted - 1);
    for (std::size_t t = 1; t < wanted; ++t) {
        try {
            helpers.emplace_back(run);
        } catch (const std::system_error&) {
            break;  // no more threads to be had: the ones there do it all
        }
    }
    run();
    for (std::thread& helper : helpers) helper.join();
    if (failure) std::rethrow_exception(failure);
}

}  // namespace parallel

// Work that is the same for many independent items (decrypting every stored
// value of a store) spread over the machine's cores. The calling thread works
// too; the helper threads are made for one call and joined before it
// returns, so none outlives the call or keeps the process from ending. Each
// item writes its own result slot, so the results do not depend on which
// thread did what.
#pragma once

#include <cstddef>
#include <functional>

namespace parallel {

// The threads one call uses at most: the hardware's, from 1 to 8.
std::size_t threadCount();

// Calls work(i) once for every i in [0, count). Items are handed out in
// small runs, in order. Fewer than `perThread` items for each thread that
// would join do not pay for a thread of their own. An exception thrown by
// the work is thrown again on the calling thread once every thread is done
// (the first one, when several are); items not begun by then are skipped.
void forEachIndex(std::size_t count, const std::function<void(std::size_t)>& work, std::size_t perThread = 32);

// For tests and benchmarks: the number of threads the next calls use (0:
// the hardware's again).
void setThreadCountForTesting(std::size_t threads);

}  // namespace parallel

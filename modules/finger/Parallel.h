#pragma once
// Work on the module's own data (the built-in strangers) spread over the
// machine's threads: the user waits for it at the first conversion.

#include <algorithm>
#include <atomic>
#include <system_error>
#include <thread>
#include <vector>

namespace Finger {

// Runs job(i) for every i below n on up to 16 threads, each taking the next
// index as it finishes one, since jobs differ in length. Every result must
// depend on its index alone, so that the outcome is the same as one after
// the other.
template <typename Job>
void parallel(int n, const Job& job)
{
    const int workers = int(std::clamp(std::thread::hardware_concurrency(), 1u, 16u));
    std::atomic<int> next{0};
    const auto work = [&job, &next, n] {
        for (int i = next++; i < n; i = next++)
            job(i);
    };
    std::vector<std::thread> threads;
    // The calling thread works too; threads the system will not give are
    // done without.
    for (int w = 1; w < workers; ++w) {
        try {
            threads.emplace_back(work);
        } catch (const std::system_error&) {
            break;
        }
    }
    work();
    for (std::thread& t : threads)
        t.join();
}

} // namespace Finger

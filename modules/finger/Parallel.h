#pragma once
// Work on the module's own data (the built-in strangers) spread over a few
// threads.

#include <algorithm>
#include <thread>
#include <vector>

namespace Finger {

// Runs job(i) for i below n on up to four threads. Every result must depend
// on its index alone, so that the outcome is the same as one after the other.
template <typename Job>
void parallel(int n, const Job& job)
{
    const int workers = int(std::clamp(std::thread::hardware_concurrency(), 1u, 4u));
    std::vector<std::thread> threads;
    for (int w = 0; w < workers; ++w)
        threads.emplace_back([&job, n, w, workers] {
            for (int i = w; i < n; i += workers)
                job(i);
        });
    for (std::thread& t : threads)
        t.join();
}

} // namespace Finger

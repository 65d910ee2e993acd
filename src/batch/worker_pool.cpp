#include "batch/worker_pool.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <new>
#include <thread>
#include <vector>

#include "audio_io/block_size.h"
#include "console/cancellation.h"

namespace {

struct PoolState {
    const WorkerTask* task;
    size_t count;
    std::atomic<size_t> next{0};
    std::mutex mutex;
    std::condition_variable finished;
    uint32_t running = 0;
};

void worker_loop(PoolState& state, int32_t* block) {
    for (;;) {
        if (cancel_is_requested()) break;
        if (state.task->stop != nullptr && state.task->stop->load(std::memory_order_relaxed)) break;
        const size_t index = state.next.fetch_add(1, std::memory_order_relaxed);
        if (index >= state.count) break;
        state.task->run(state.task->context, index, block);
    }
    std::lock_guard<std::mutex> lock(state.mutex);
    state.running -= 1;
    state.finished.notify_all();
}

}  // namespace

bool worker_pool_run(uint32_t jobs, size_t count, const WorkerTask& task) {
    if (jobs == 0) jobs = 1;
    if (count < jobs) jobs = count == 0 ? 1 : static_cast<uint32_t>(count);
    std::vector<std::unique_ptr<int32_t[]>> blocks;
    for (uint32_t i = 0; i < jobs; ++i) {
        blocks.emplace_back(new (std::nothrow) int32_t[BLOCK_SAMPLES]);
        if (!blocks.back()) return false;
    }

    PoolState state;
    state.task = &task;
    state.count = count;
    state.running = jobs;
    std::vector<std::thread> threads;
    threads.reserve(jobs);
    for (uint32_t i = 0; i < jobs; ++i) threads.emplace_back(worker_loop, std::ref(state), blocks[i].get());
    {
        std::unique_lock<std::mutex> lock(state.mutex);
        while (state.running != 0) {
            state.finished.wait_for(lock, std::chrono::milliseconds(100), [&] { return state.running == 0; });
            if (state.running != 0 && task.tick != nullptr) {
                lock.unlock();
                task.tick(task.context);
                lock.lock();
            }
        }
    }
    for (std::thread& thread : threads) thread.join();
    return true;
}

#include "batch/worker_pool.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <new>
#include <vector>

#include "audio_io/block_size.h"
#include "console/cancellation.h"
#include "platform/worker_thread.h"

namespace {

struct PoolState {
    const WorkerTask* task;
    size_t count;
    std::atomic<size_t> next{0};
    std::mutex mutex;
    std::condition_variable finished;
    uint32_t running = 0;
};

struct WorkerSeat {
    PoolState* state;
    int32_t* block;
};

void worker_loop(void* context) {
    const WorkerSeat& seat = *static_cast<WorkerSeat*>(context);
    PoolState& state = *seat.state;
    for (;;) {
        if (cancel_is_requested()) break;
        if (state.task->stop != nullptr && state.task->stop->load(std::memory_order_relaxed)) break;
        const size_t index = state.next.fetch_add(1, std::memory_order_relaxed);
        if (index >= state.count) break;
        state.task->run(state.task->context, index, seat.block);
    }
    std::lock_guard<std::mutex> lock(state.mutex);
    state.running -= 1;
    state.finished.notify_all();
}

}  // namespace

int worker_pool_run(uint32_t jobs, size_t count, const WorkerTask& task, WorkerPoolOutcome& outcome) {
    if (jobs == 0) jobs = 1;
    if (count < jobs) jobs = count == 0 ? 1 : static_cast<uint32_t>(count);
    outcome = WorkerPoolOutcome{};
    if (count == 0) return WORKER_POOL_DONE;  // no thread wanted, none missing
    outcome.wanted = jobs;
    std::vector<std::unique_ptr<int32_t[]>> blocks;
    for (uint32_t i = 0; i < jobs; ++i) {
        blocks.emplace_back(new (std::nothrow) int32_t[BLOCK_SAMPLES]);
        if (!blocks.back()) return WORKER_POOL_NO_MEMORY;
    }

    PoolState state;
    state.task = &task;
    state.count = count;
    std::vector<WorkerSeat> seats(jobs);
    std::vector<PlatformThread> threads(jobs);
    for (uint32_t i = 0; i < jobs; ++i) {
        seats[i] = {&state, blocks[i].get()};
        {
            std::lock_guard<std::mutex> lock(state.mutex);
            state.running += 1;
        }
        if (platform_thread_start(threads[i], worker_loop, &seats[i], outcome.thread_error,
                                  sizeof outcome.thread_error)) {
            outcome.started += 1;
            continue;
        }
        std::lock_guard<std::mutex> lock(state.mutex);
        state.running -= 1;
        break;  // the system is at its limit: the threads it gave do the work
    }
    if (outcome.started == 0) return WORKER_POOL_NO_THREAD;
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
    for (uint32_t i = 0; i < outcome.started; ++i) platform_thread_join(threads[i]);
    return WORKER_POOL_DONE;
}

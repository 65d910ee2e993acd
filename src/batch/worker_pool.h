// A fixed set of threads that take the items of a list in order, one at a time.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>

struct WorkerTask {
    // Runs item `index` on a worker thread with that worker's block buffer
    // (BLOCK_SAMPLES values).
    void (*run)(void* context, size_t index, int32_t* block);
    void* context;
    // Called on the calling thread about ten times a second while the workers run.
    // May be null.
    void (*tick)(void* context);
    // Once this holds true no new item starts (a full disk, say). May be null.
    const std::atomic<bool>* stop;
};

// Runs task.run for every index below count on `jobs` threads (never more than
// count). No new item starts once a cancel is requested or `stop` is set.
// Returns false, having run nothing, when the buffers cannot be allocated.
bool worker_pool_run(uint32_t jobs, size_t count, const WorkerTask& task);

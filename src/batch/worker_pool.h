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

enum WorkerPoolResult {
    WORKER_POOL_DONE = 0,           // every item ran (or the run was stopped or cancelled)
    WORKER_POOL_NO_MEMORY = 1,      // the buffers could not be allocated: nothing ran
    WORKER_POOL_NO_THREAD = 2,      // not one thread could be started: nothing ran
};

struct WorkerPoolOutcome {
    uint32_t wanted;                // threads asked for
    uint32_t started;               // threads the system gave
    char thread_error[128];         // why the first refused thread was refused
};

// Runs task.run for every index below count on `jobs` threads (never more than
// count). No new item starts once a cancel is requested or `stop` is set.
// When the system refuses some of the threads, the ones it gave do all the
// work; outcome tells how many that were.
int worker_pool_run(uint32_t jobs, size_t count, const WorkerTask& task, WorkerPoolOutcome& outcome);

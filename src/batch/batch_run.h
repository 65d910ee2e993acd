// One run of qv-hdcd-batch: collect the files, work through them on the pool,
// then print and write the reports. Returns the exit status: 0, 1, or 130
// when cancelled.
#pragma once

#include "batch/batch_options.h"

int batch_run(const BatchOptions& options);

// qv-hdcd-batch report: merges JSON reports into the reports one scan of all
// their files would have written. Returns the exit status: 0, or 1 when a
// report could not be read or written.
#pragma once

#include "batch/batch_options.h"

int batch_merge_run(const BatchOptions& options);

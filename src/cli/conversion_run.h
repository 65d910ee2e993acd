#pragma once

#include "cli/conversion_options.h"

// Runs one parsed conversion: the metadata note, the choice of the write path
// (a temporary file when the output is the input), the tag block, the HDCD
// pre-check, the chosen operation and the safe-output completion. Returns the
// process exit status.
int conversion_run(ConversionOptions& options);

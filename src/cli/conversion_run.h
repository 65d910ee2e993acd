#pragma once

#include "cli/conversion_options.h"

// Runs one parsed conversion: the metadata note, the tag block, the HDCD
// pre-check and the chosen operation. Returns the process exit status.
int conversion_run(ConversionOptions& options);

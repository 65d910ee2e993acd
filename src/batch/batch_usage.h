#pragma once

#include <cstdio>

// The usage text of qv-hdcd-batch, on the given stream.
void batch_usage_print(FILE* stream);

// "qv-hdcd-batch 1.0.1.0" on stdout, and a second line naming the libFLAC
// found: its file, version and whether its encoder has threads, or why none
// could be loaded.
void batch_version_print();

#pragma once

// Writes the synthetic Low-Level Gain test file. 0 on success, 1 on failure.
int lle_test_generate(const char* output_path);

#pragma once

// Compares the PCM of two files: 0 identical, 3 different, 1 on error.
int pcm_compare(const char* path_a, const char* path_b);

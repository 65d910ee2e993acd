#pragma once

// True when the last five bytes of path are ".flac" with ASCII letters folded
// to lower case. Every container decision on a path uses this one test; any
// other path counts as WAV/RF64.
bool has_flac_suffix(const char* path);

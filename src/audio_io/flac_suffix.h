#pragma once

// True when path ends in suffix (given in lower case) with the path's ASCII
// letters folded to lower case. No locale, no other letters.
bool path_has_suffix(const char* path, const char* suffix);

// True when the last five bytes of path are ".flac" with ASCII letters folded
// to lower case. Every container decision on a path uses this one test; any
// other path counts as WAV/RF64.
bool has_flac_suffix(const char* path);

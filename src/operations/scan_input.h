#pragma once

// Reads the whole input and prints the HDCD report. Returns 0 when HDCD was
// found, 2 when not, 1 on error.
int scan_wav_input(const char* input_path, bool quiet);
int scan_flac_input(const char* input_path, bool quiet);

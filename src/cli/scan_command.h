#pragma once

// "--scan input [--quiet]...": checks the grammar and scans the input as FLAC
// or WAV/RF64 by its suffix. argv[1] is "--scan". Returns the exit status.
int scan_command_run(int argc, char** argv);

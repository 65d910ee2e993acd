#pragma once

// Readies the process before anything else runs. On POSIX, standard descriptors
// 0, 1 and 2 that the caller left closed are opened on /dev/null, so that no
// file the program opens later takes their number and receives console text;
// and SIGPIPE is ignored, so that a console reader that goes away early turns
// into failed writes instead of ending the run. Windows needs neither.
void platform_process_start();

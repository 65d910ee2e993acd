// Names this process is writing under and must not leave behind when it is
// ended from outside: by SIGTERM, SIGHUP or a second Ctrl+C (Windows: Ctrl+Break,
// closing the console, logging off), or when it has to stop at once (out of
// memory). Each ending removes every name still registered and then ends the
// process as that ending would have.
#pragma once

#include <string>

struct OutputFolder;

// Registers a name in an output folder, which must stay open until the name is
// forgotten; returns its slot, or -1 when every slot is taken (the name is then
// simply not protected).
int platform_exit_cleanup_add(const OutputFolder& folder, const std::string& name);

// Forgets a slot; -1 is ignored.
void platform_exit_cleanup_remove(int slot);

// Removes every registered name now. Safe in a signal handler.
void platform_exit_cleanup_run();

// Installs the endings above. SIGXFSZ is ignored, so that a file-size limit is
// an ordinary write error.
void platform_exit_cleanup_install();

// The action for SIGINT once the first Ctrl+C has been taken as a cancel
// request: the next one removes the registered names and ends the process.
void platform_exit_cleanup_arm_interrupt();

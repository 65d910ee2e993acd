// What every run of either program sets up first, so that no temporary output
// outlives it: the endings of the exit clean-up, and an end to the run when
// memory runs out anywhere ("Error: out of memory.", exit status 1, every
// temporary output removed) instead of an abort.
#pragma once

void exit_guard_install();

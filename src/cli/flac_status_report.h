#pragma once

// "--flac-status": reports whether libFLAC can be loaded. Returns 0 when it
// can, 2 when it cannot.
int flac_status_report();

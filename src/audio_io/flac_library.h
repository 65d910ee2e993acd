// libFLAC, loaded at run time on first use.
#pragma once

// True when libFLAC is loaded with every entry point the program uses; the first
// call performs the load, later calls return the cached outcome.
bool flac_library_available();

// The last load failure as a sentence, or "" when there was none.
const char* flac_library_error_text();

// Releases the library so that a later call loads it afresh.
void flac_library_unload();

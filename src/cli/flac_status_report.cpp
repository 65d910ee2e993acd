#include "cli/flac_status_report.h"

#include <cstdio>

#include "audio_io/flac_library.h"
#include "console/console.h"

int flac_status_report() {
    if (flac_library_available()) {
        std::puts("FLAC support: available");
        flac_library_unload();
        return 0;
    }
    print_to_stdout("FLAC support: unavailable\n%s\n", flac_library_error_text());
    return 2;
}

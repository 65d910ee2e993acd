#include "batch/batch_usage.h"

#include "console/console.h"
#include "console/version_info.h"

void batch_usage_print(FILE* stream) {
    print_to_stream(stream,
                    "Usage:\n"
                    "  qv-hdcd-batch scan PATH... [--jobs N] [--csv FILE] [--json FILE] [--html FILE] [--quiet]\n"
                    "  qv-hdcd-batch --help\n"
                    "  qv-hdcd-batch --version\n"
                    "\n"
                    "scan     Reads every .wav and .flac file under the PATHs (files or folders, walked\n"
                    "         recursively) and reports which tracks and albums carry HDCD.\n"
                    "\n"
                    "  --jobs N       files read at once, 1 to 256 (default: one per logical processor)\n"
                    "  --csv FILE     one row per file\n"
                    "  --json FILE    every file, album and total, with a timeline of each HDCD track\n"
                    "  --html FILE    a page with the albums, a picture of each HDCD track, and every file\n"
                    "  --quiet        no progress line and no album lines\n"
                    "\n"
                    "Exit status: 0 when every audio file was read, 1 when any could not be read or on an\n"
                    "argument error, 130 when cancelled with Ctrl+C.\n");
}

void batch_version_print() {
    print_to_stdout("qv-hdcd-batch %s\n", QV_VERSION_TEXT);
}

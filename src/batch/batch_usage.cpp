#include "batch/batch_usage.h"

#include "audio_io/flac_library.h"
#include "console/console.h"
#include "console/version_info.h"

void batch_usage_print(FILE* stream) {
    print_to_stream(stream,
                    "Usage:\n"
                    "  qv-hdcd-batch scan PATH... [--jobs N] [--csv FILE] [--json FILE] [--html FILE] [--quiet]\n"
                    "                [--update REPORT.json]\n"
                    "  qv-hdcd-batch decode PATH... --to DIR [--jobs N] [--format flac|wav] [--all-hdcd]\n"
                    "                [--copy-others] [--overwrite] [--dry-run] [--quiet] [--csv FILE] [--json FILE]\n"
                    "                [--html FILE]\n"
                    "  qv-hdcd-batch report REPORT.json... [--csv FILE] [--json FILE] [--html FILE] [--quiet]\n"
                    "  qv-hdcd-batch --help\n"
                    "  qv-hdcd-batch --version\n"
                    "\n"
                    "scan     Reads every .wav and .flac file under the PATHs (files or folders, walked\n"
                    "         recursively) and reports which tracks and albums carry HDCD.\n"
                    "\n"
                    "decode   Scans as scan does and decodes each HDCD track (PCM16) into DIR, at its path\n"
                    "         below the PATH it was found under: FLAC level 5, verified, with the input's\n"
                    "         tags and pictures (or PCM24 WAV with --format wav).\n"
                    "\n"
                    "report   Merges JSON reports of scans (of parts of a collection, made on several\n"
                    "         machines, say) into the reports one scan of all their files would write.\n"
                    "         A file in more than one report is taken from the last one that has it.\n"
                    "\n"
                    "  --jobs N       files read at once, 1 to 256 (default: one per logical processor)\n"
                    "  --csv FILE     one row per file\n"
                    "  --json FILE    every file, album and total, with a timeline of each HDCD track\n"
                    "  --html FILE    a page with the albums, a picture of each HDCD track, and every file\n"
                    "  --quiet        no progress line and no album lines\n"
                    "  --update R     scan: take over the entries of the JSON report R whose files are\n"
                    "                 unchanged (path, size, time, identity), read only new and changed\n"
                    "                 files, and write the updated report to R (or to --json FILE)\n"
                    "  --to DIR       decode: the output folder (neither inside a PATH nor holding one)\n"
                    "  --all-hdcd     decode: also the tracks whose HDCD is signalling only\n"
                    "  --copy-others  decode: copy every other file (tracks without HDCD, covers, logs)\n"
                    "  --overwrite    decode: replace outputs that exist (else they are left and reported)\n"
                    "  --format F     decode: the output format F, flac (the default) or wav\n"
                    "  --dry-run      decode: list what would be decoded, copied or left; write nothing\n"
                    "  --             every argument after it is a PATH, even one that starts with --\n"
                    "\n"
                    "Exit status: 0 when every audio file was read (and, for decode, every output written),\n"
                    "1 when any was not or on an argument error, 130 when cancelled with Ctrl+C.\n");
}

void batch_version_print() {
    print_to_stdout("qv-hdcd-batch %s\n", QV_VERSION_TEXT);
    FlacLibraryDescription flac;
    if (!flac_library_describe(flac)) {
        print_to_stdout("libFLAC: unavailable: %s\n", flac_library_error_text());
        return;
    }
    print_to_stdout("libFLAC: %s, version %s, encoder %s threads\n", flac.file[0] != '\0' ? flac.file : "found",
                    flac.version[0] != '\0' ? flac.version : "unknown", flac.encoder_threads ? "with" : "without");
}

// Parses zero-separated arguments with the conversion grammar: paths and tag values must be
// the user's own arguments, untouched, and each flag set only when its option was given.
#include <vector>

#include "cli/conversion_options.h"
#include "audio_io/flac_suffix.h"
#include "fuzz_support.h"

namespace {

// The index of the argument that is value itself (by address) or equals it (by text), or 0.
int find(char** argv, int argc, const char* value, bool by_text) {
    for (int i = 1; i < argc; ++i) {
        if (by_text ? strcmp(argv[i], value) == 0 : argv[i] == value) return i;
    }
    return 0;
}

bool flac_suffix_oracle(const char* path) {
    const size_t length = strlen(path);
    if (length < 5) return false;
    for (int i = 0; i < 5; ++i) {
        const char c = path[length - 5 + i];
        if ((c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c) != ".flac"[i]) return false;
    }
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // Every argument is its own allocation, so a read past its end is caught.
    std::vector<std::vector<char>> storage{{'q', 'v', '\0'}};
    for (size_t i = 0, start = 0; i <= size && storage.size() < 64; ++i) {
        if (i == size || data[i] == 0) {
            storage.emplace_back(data + start, data + i);
            storage.back().push_back('\0');
            start = i + 1;
        }
    }
    const std::vector<std::vector<char>> pristine = storage;
    std::vector<char*> argv;
    for (std::vector<char>& argument : storage) argv.push_back(argument.data());
    argv.push_back(nullptr);
    const int argc = static_cast<int>(storage.size());
    char** args = argv.data();

    ConversionOptions options;
    const bool parsed = conversion_options_parse(argc, args, options);
    fuzz::check(storage == pristine, "the parser changed its arguments");
    if (!parsed) return 0;
    fuzz::check(options.input_path != nullptr && options.output_path != nullptr, "a file name is missing");
    fuzz::check(find(args, argc, options.input_path, false) && find(args, argc, options.output_path, false) &&
                    options.input_path != options.output_path,
                "the file names are not two of the arguments");
    const struct {
        bool set;
        const char* option;
    } flags[] = {{options.eac, "--eac"}, {options.quiet, "--quiet"}, {options.overwrite, "--overwrite"},
                 {options.preserve_hdcd, "--preserve-hdcd"}};
    for (const auto& flag : flags) {
        fuzz::check(!flag.set || find(args, argc, flag.option, true), "a flag is set without its option");
    }
    const MetadataTags& t = options.tags;
    for (const char* tag : {t.title, t.artist, t.album, t.album_artist, t.genre, t.date, t.track_number,
                            t.track_total, t.disc_number, t.disc_total, t.comment, t.composer, t.copyright}) {
        fuzz::check(tag == nullptr || find(args, argc, tag, false), "a tag value is not an argument");
    }
    fuzz::check(has_flac_suffix(options.output_path) == flac_suffix_oracle(options.output_path),
                "the FLAC suffix test disagrees with its definition");
    return 0;
}

// Parses an argument vector built from the input (arguments separated by zero
// bytes) with the conversion grammar, and checks what the parser hands on: the
// paths and tag values are the user's own arguments, untouched, and each flag
// is set only when its option was given. Nothing here opens a file.
#include <vector>

#include "cli/conversion_options.h"
#include "cli/flac_suffix.h"
#include "fuzz_support.h"

namespace {

const size_t MAX_ARGUMENTS = 64;

bool is_argument(const char* value, char** argv, int argc) {
    for (int i = 1; i < argc; ++i) {
        if (argv[i] == value) return true;
    }
    return false;
}

bool given(const char* option, char** argv, int argc) {
    for (int i = 1; i < argc; ++i) {
        if (strcmp(argv[i], option) == 0) return true;
    }
    return false;
}

bool flac_suffix_oracle(const char* path) {
    const size_t length = strlen(path);
    if (length < 5) return false;
    const char* tail = path + length - 5;
    const char* want = ".flac";
    for (int i = 0; i < 5; ++i) {
        char c = tail[i];
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
        if (c != want[i]) return false;
    }
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // Every argument is its own allocation, so a read past its end is caught.
    std::vector<std::vector<char>> storage;
    storage.push_back({'q', 'v', '-', 'h', 'd', 'c', 'd', '\0'});
    size_t start = 0;
    for (size_t i = 0; i <= size && storage.size() < MAX_ARGUMENTS; ++i) {
        if (i == size || data[i] == 0) {
            storage.emplace_back(data + start, data + i);
            storage.back().push_back('\0');
            start = i + 1;
        }
    }
    std::vector<std::vector<char>> pristine = storage;
    std::vector<char*> argv;
    for (std::vector<char>& argument : storage) argv.push_back(argument.data());
    argv.push_back(nullptr);
    const int argc = static_cast<int>(storage.size());

    ConversionOptions options;
    const bool parsed = conversion_options_parse(argc, argv.data(), options);
    fuzz::check(storage == pristine, "the parser changed its arguments");
    if (parsed) {
        fuzz::check(options.input_path != nullptr && options.output_path != nullptr, "a file name is missing");
        fuzz::check(is_argument(options.input_path, argv.data(), argc) &&
                        is_argument(options.output_path, argv.data(), argc) &&
                        options.input_path != options.output_path,
                    "the file names are not two of the arguments");
        fuzz::check(!options.eac || given("--eac", argv.data(), argc), "eac set without the option");
        fuzz::check(!options.quiet || given("--quiet", argv.data(), argc), "quiet set without the option");
        fuzz::check(!options.overwrite || given("--overwrite", argv.data(), argc), "overwrite set without the option");
        fuzz::check(!options.preserve_hdcd || given("--preserve-hdcd", argv.data(), argc),
                    "preserve set without the option");
        const char* const tags[] = {options.tags.title,       options.tags.artist,       options.tags.album,
                                    options.tags.album_artist, options.tags.genre,       options.tags.date,
                                    options.tags.track_number, options.tags.track_total, options.tags.disc_number,
                                    options.tags.disc_total,   options.tags.comment,     options.tags.composer,
                                    options.tags.copyright};
        for (const char* tag : tags) {
            fuzz::check(tag == nullptr || is_argument(tag, argv.data(), argc), "a tag value is not an argument");
        }
        fuzz::check(has_flac_suffix(options.output_path) == flac_suffix_oracle(options.output_path),
                    "the FLAC suffix test disagrees with its definition");
    }
    return 0;
}

#include "cli/conversion_options.h"

#include <cstring>

#include "console/console.h"
#include "cli/usage.h"

namespace {

struct TagOption {
    const char* name;
    const char* alias;  // nullptr when the option has none
    const char* MetadataTags::*field;
};

const TagOption TAG_OPTIONS[] = {
    {"--title", nullptr, &MetadataTags::title},
    {"--artist", nullptr, &MetadataTags::artist},
    {"--album", nullptr, &MetadataTags::album},
    {"--album-artist", "--albumartist", &MetadataTags::album_artist},
    {"--genre", nullptr, &MetadataTags::genre},
    {"--date", "--year", &MetadataTags::date},
    {"--track", nullptr, &MetadataTags::track_number},
    {"--tracktotal", nullptr, &MetadataTags::track_total},
    {"--disc", nullptr, &MetadataTags::disc_number},
    {"--disctotal", nullptr, &MetadataTags::disc_total},
    {"--comment", nullptr, &MetadataTags::comment},
    {"--composer", nullptr, &MetadataTags::composer},
    {"--copyright", nullptr, &MetadataTags::copyright},
};

const TagOption* find_tag_option(const char* argument) {
    for (const TagOption& option : TAG_OPTIONS) {
        if (std::strcmp(argument, option.name) == 0) return &option;
        if (option.alias != nullptr && std::strcmp(argument, option.alias) == 0) return &option;
    }
    return nullptr;
}

// Points at the flag that argument sets, or nullptr when it is not a flag.
bool* find_flag(const char* argument, ConversionOptions& options) {
    if (std::strcmp(argument, "--eac") == 0) return &options.eac;
    if (std::strcmp(argument, "--quiet") == 0) return &options.quiet;
    if (std::strcmp(argument, "--overwrite") == 0) return &options.overwrite;
    if (std::strcmp(argument, "--preserve-hdcd") == 0) return &options.preserve_hdcd;
    return nullptr;
}

bool looks_like_option(const char* argument) { return argument[0] == '-' && argument[1] == '-'; }

}  // namespace

bool conversion_options_parse(int argc, char** argv, ConversionOptions& options) {
    options = ConversionOptions{};
    int positional_count = 0;

    for (int i = 1; i < argc; ++i) {
        const char* argument = argv[i];

        if (bool* flag = find_flag(argument, options)) {
            *flag = true;
            continue;
        }
        if (const TagOption* tag = find_tag_option(argument)) {
            if (i + 1 >= argc) {
                print_to_stream(stderr, "Missing value for %s\n", argument);
                return false;
            }
            // The value is taken as it is, even when it looks like an option.
            options.tags.*(tag->field) = argv[++i];
            continue;
        }
        if (looks_like_option(argument)) {
            print_to_stream(stderr, "Unexpected argument: %s\n", argument);
            return false;
        }
        if (positional_count == 0) {
            options.input_path = argument;
        } else if (positional_count == 1) {
            options.output_path = argument;
        } else {
            print_to_stream(stderr, "Unexpected positional argument: %s\n", argument);
            return false;
        }
        ++positional_count;
    }

    if (positional_count < 2) {
        print_usage();
        return false;
    }
    return true;
}

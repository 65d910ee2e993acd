#include "files/output_file_messages.h"

#include "console/console.h"
#include "console/shared_messages.h"
#include "files/output_file.h"

void print_output_file_failure(int status, const char* reason) {
    switch (status) {
        case OUTPUT_FILE_EXISTS: print_output_exists(); break;
        case OUTPUT_FILE_NO_TEMPORARY:
            print_to_stream(stderr, "Error: could not create a safe EAC temporary output path.\n");
            break;
        case OUTPUT_FILE_NOT_PLACED:
            print_to_stream(stderr, "Error: could not move EAC temporary output into place (%s).\n", reason);
            break;
        default: print_to_stream(stderr, "Error: Unable to create output file.\n"); break;
    }
}

void print_output_not_writable(const char* reason) {
    print_to_stream(stderr, "Error: the output path is %s, not a file that can be written.\n", reason);
}

bool output_file_check_printing(OutputFile& file, const char* output_path, bool overwrite) {
    std::string reason;
    const int status = output_file_check(file, output_path, overwrite, CONVERTER_TEMPORARY_TAG, reason);
    if (status == OUTPUT_FILE_EXISTS) print_output_exists();
    if (status == OUTPUT_FILE_NOT_A_FILE || status == OUTPUT_FILE_BAD_NAME) print_output_not_writable(reason.c_str());
    return status == OUTPUT_FILE_OK;
}

bool output_file_open_printing(OutputFile& file) {
    const int status = output_file_open(file);
    if (status != OUTPUT_FILE_OK) print_output_file_failure(status, "");
    return status == OUTPUT_FILE_OK;
}

bool output_file_commit_printing(OutputFile& file, const char* finish_error) {
    char failure[256] = "";
    const int status = output_file_commit(file, failure, sizeof failure);
    if (status == OUTPUT_FILE_FAILED) {
        print_to_stream(stderr, "%s", finish_error);
    } else if (status != OUTPUT_FILE_OK) {
        print_output_file_failure(status, failure);
    }
    return status == OUTPUT_FILE_OK;
}

#include "batch/batch_command_line.h"

int main(int argc, char** argv) {
    return batch_command_line_run(argc, argv);
}

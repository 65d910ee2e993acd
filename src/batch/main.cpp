#include "batch/batch_command_line.h"
#include "platform/process_start.h"

int main(int argc, char** argv) {
    platform_process_start();
    return batch_command_line_run(argc, argv);
}

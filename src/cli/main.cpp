#include "cli/command_line.h"
#include "files/exit_guard.h"
#include "platform/process_start.h"

int main(int argc, char** argv) {
    platform_process_start();
    exit_guard_install();
    return command_line_run(argc, argv);
}

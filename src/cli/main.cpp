#include "cli/command_line.h"

int main(int argc, char** argv) {
    return command_line_run(argc, argv);
}

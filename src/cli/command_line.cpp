#include "cli/command_line.h"

#include <cstdio>
#include <cstring>

int command_line_run(int argc, char** argv) {
    if (argc >= 2 && std::strcmp(argv[1], "--version") == 0) {
        std::puts("QV-HDCD 1.0.1.0");
        return 0;
    }
    return 1;
}

#include "files/exit_guard.h"

#include <cstdio>
#include <cstdlib>
#include <new>

#include "console/shared_messages.h"
#include "platform/exit_cleanup.h"

namespace {

void out_of_memory() {
    print_out_of_memory();
    platform_exit_cleanup_run();
    fflush(stdout);
    std::_Exit(1);
}

}  // namespace

void exit_guard_install() {
    platform_exit_cleanup_install();
    std::set_new_handler(out_of_memory);
}

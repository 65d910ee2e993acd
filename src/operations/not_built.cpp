#include "operations/not_built.h"

#include "cli/console.h"

int report_not_built(const char* what) {
    print_to_stream(stderr, "Error: %s is not built yet.\n", what);
    return 1;
}

#include "console/banner.h"

#include <cstdio>

#include "console/version_info.h"

void banner_print() {
    std::puts(QV_BANNER_LINE);
    std::puts(QV_COPYRIGHT_TEXT);
}

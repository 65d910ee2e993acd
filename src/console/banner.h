#pragma once

// Prints the two banner lines (product line and copyright notice) on stdout.
// Operations call it at their start when not quiet; the usage text begins with it.
void banner_print();

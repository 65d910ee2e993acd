#pragma once

// Prints the full usage text on stdout.
void print_usage();

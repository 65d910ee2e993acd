#pragma once

// Prints the fixed self-test report on stdout.
void self_test();

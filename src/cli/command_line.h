#pragma once

// Runs one command as the argument vector asks and returns the exit status.
int command_line_run(int argc, char** argv);

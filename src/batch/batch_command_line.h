#pragma once

// qv-hdcd-batch's whole command line: the command word, then its arguments.
// Returns the exit status.
int batch_command_line_run(int argc, char** argv);

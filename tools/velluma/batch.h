// velluma batch: whole folders of PDF files through worker processes.
#pragma once

// Runs "velluma batch ARGS..." (argv[1] is "batch"); returns the exit status.
int RunBatch(int argc, char** argv);

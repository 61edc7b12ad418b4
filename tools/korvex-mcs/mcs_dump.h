#pragma once
// korvex-mcs subcommands that show packed MCS messages as text.

// dump: one ZENBUF on standard input, its decoded parameters on standard
// output. frames: a stream of frames (2-byte big-endian length, body) on
// standard input; for each its body length, the decompressed message and its
// decoded parameters. Both return the exit status, or -1 for a usage error.
int mcsToolDump(int argc, char** argv);
int mcsToolFrames(int argc, char** argv);

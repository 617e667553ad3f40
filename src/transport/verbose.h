#pragma once

// Set by --verbose: libcurl then writes its trace of the HTTP exchanges to
// standard error, and the TFTP upload its milestones (never the TFTP reads).
extern int optVerbose;

#pragma once

// Set by --verbose: libcurl then writes its trace of the controller
// exchanges to standard error (never for TFTP reads).
extern int optVerbose;

#pragma once
// The code under test reports on standard output; a fuzzer runs it
// millions of times, so that output goes nowhere.

#include <cstdio>

inline int quiet_stdout()
{
    return std::freopen("/dev/null", "w", stdout) != nullptr ? 0 : 1;
}

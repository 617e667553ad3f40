#include "transport/verbose.h"

int optVerbose = 0;

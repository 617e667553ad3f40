#pragma once
// The TAR layer: configuration files travel to and from the controller as
// members of Seventh Edition TAR archives, named by their controller paths.

#include "tar/tar_header.h"
#include "tar/tar_read.h"
#include "tar/tar_result.h"
#include "tar/tar_stream.h"
#include "tar/tar_write.h"

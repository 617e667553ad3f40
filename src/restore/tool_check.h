#pragma once
// Whether a backup archive was made by a tool version that this tool can
// restore: its "tool.txt" must name kelpu-cli at version 1.3.0 or older.

#include "mzsimple/mzsimple.h"

#include <string_view>

// The verdict on the text of a tool record.
bool tool_record_accepted(std::string_view text);

// The check on an open archive. An archive without "tool.txt", or with an
// empty one or one over 65,535 bytes, passes unread. A rejection is logged in
// red and followed by a five-second pause, so that a user watching the
// window can read it before it closes.
bool tool_check(ZipArchive& archive);

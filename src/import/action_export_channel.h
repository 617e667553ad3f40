#pragma once
// The export_channel action: downloads a channel's configuration and writes
// the sheets that would produce it into a folder: "dali<N>-channel.csv",
// "dali<N>-groups.csv" and, for a controller at inputs format 3,
// "cd<N>-inputs.csv".

#include <optional>
#include <string>
#include <vector>

// Every listed channel in turn. 0 when every sheet was written; 1 when a
// download or a write failed; 2 when the address, the channel or the folder
// is missing.
int action_export_channel(const std::optional<std::string>& ip, const std::vector<int>& channels,
                          const std::optional<std::string>& folder);

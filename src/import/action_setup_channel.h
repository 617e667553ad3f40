#pragma once
// The setup_channel action: for each pair of channel number and CSV file,
// download the channel's configuration, apply the sheet and send the
// resulting file back with a restore.

#include <optional>
#include <string>
#include <vector>

// One kind of sheet per run: channel sheets over groups sheets over inputs
// sheets; the other lists are ignored. Channel i goes with file i; the
// shorter list ends the run. 0 when every pair was applied and restored;
// 1 when any pair was skipped or failed, and after a tokeniser error (which
// ends the run at once); 2 for missing arguments (nothing contacted).
int action_setup_channel(const std::optional<std::string>& ip, const std::vector<int>& channels,
                         const std::vector<std::string>& channel_csv_files,
                         const std::vector<std::string>& channel_groups_csv_files,
                         const std::vector<std::string>& channel_inputs_csv_files);

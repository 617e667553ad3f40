#pragma once

#include <optional>
#include <span>
#include <string>

// Backs up the controller at ip: the tool record "tool.txt", the flash file
// system image "flashfs.bin", one "<name>.tar" per configuration file as the
// controller sent it, and the captured log "log.txt". out_type "zip" makes
// one archive "backup_<address>_ZANTOR_<date>_<time>.zip" in out_dir; absent
// or "directory" writes loose files into out_dir. An empty config_names
// means every configuration of the catalogue, in its order.
//
// 0 when every file was stored, or the controller reported that it has no
// such configuration; 1 when the backup is incomplete (what is missing is
// named in the log); 2 when ip or out_dir is missing, out_type is unknown,
// a configuration name is not an identifier, or a path is too long.
int action_get_backup(const std::optional<std::string>& ip, const std::optional<std::string>& out_dir,
                      const std::optional<std::string>& out_type, std::span<const std::string> config_names);

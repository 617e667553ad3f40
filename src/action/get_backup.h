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
// out_dir is created with its parents when missing. Every file appears
// whole or not at all, and the completion line only once it is in place; a
// file that cannot be written ends the run, leaving no partial archive and
// any earlier file of that name untouched.
//
// 0 when every file was stored, or the controller reported that it has no
// such configuration; 1 when the backup is incomplete (what is missing is
// named in the log) or could not be written; 2 when ip or out_dir is missing, out_type is unknown,
// a configuration name is not an identifier, or a path is too long.
int action_get_backup(const std::optional<std::string>& ip, const std::optional<std::string>& out_dir,
                      const std::optional<std::string>& out_type, std::span<const std::string> config_names);

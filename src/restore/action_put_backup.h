#pragma once

#include <optional>
#include <string>

// Restores backup_file to the controller at ip. backup_file is a backup
// archive made by get_backup, whose configuration files are each converted
// for the controller's firmware and sent in a TAR of their own, or a single
// TAR file, sent as it is.
//
// 0 when every configuration file was restored; 1 when any was not (each is
// named in the log, and in a red summary at the end), when the controller
// status cannot be read (nothing is sent then), when the file is neither a
// ZIP nor a TAR archive, or when the archive holds no configuration file; 2 for a missing argument, a backup file that cannot
// be opened, or an archive made by a newer tool.
int action_put_backup(const std::optional<std::string>& ip, const std::optional<std::string>& backup_file);

// What can be checked before anything goes to the controller: ip and
// backup_file are given and the file can be opened for reading. 0 then;
// otherwise 2, reported.
int put_backup_check_arguments(const std::optional<std::string>& ip, const std::optional<std::string>& backup_file);

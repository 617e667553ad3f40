#pragma once
// One configuration file as the controller hands it out: a TAR holding the
// file under its controller path and a "status.txt" naming the controller.

#include "transport/receive_buffer.h"

#include <optional>
#include <string>
#include <string_view>

// size and data (the received TAR, exactly as it arrived) come from the
// receive buffer; the identity texts from the TAR's "status.txt".
struct BackupRecord : ReceiveBuffer {
    std::optional<std::string> model_name;
    std::optional<std::string> firmware_version;
    std::optional<std::string> serial_number;
    std::optional<std::string> mac;
};

// backup_check's verdicts besides 0 (a good file) and the TAR layer's
// negative codes (a damaged TAR).
inline constexpr int backup_check_empty = 1;          // no bytes received
inline constexpr int backup_check_no_status = 2;      // no "status.txt"
inline constexpr int backup_check_not_present = 3;    // "status.txt" alone: the controller has no such file
// backup_fetch's verdict when the exchange itself failed (no connection, a
// stall, a body past its limit).
inline constexpr int backup_fetch_failed = 4;

// Fetches configuration config_name from base_address ("http://HOST") into
// record, which is cleared first, and checks it. 0 for a good file; 1 when
// an argument is empty; backup_fetch_failed when the transfer failed (record
// keeps what arrived); otherwise backup_check's verdict.
int backup_fetch(std::string_view base_address, std::string_view config_name, BackupRecord& record);

// Lists the received TAR, reads its "status.txt" into the identity texts and
// judges it: 0 when it holds the configuration file and "status.txt" and
// every header is sound, else one of the codes above.
int backup_check(BackupRecord& record);

// Forgets the identity texts; the TAR bytes stay for the caller.
void backup_free(BackupRecord& record);

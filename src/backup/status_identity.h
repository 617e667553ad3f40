#pragma once

#include "backup/backup.h"

// Takes the string members "model_name", "firmware_version",
// "serial_number" and "mac" of the JSON text into record. Other members
// and values that are not strings are passed over; a syntax error ends the
// reading with what was found before it.
void status_identity_read(const char* text, BackupRecord& record);

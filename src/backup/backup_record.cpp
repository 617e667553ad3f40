#include "backup/backup.h"

void backup_free(BackupRecord& record)
{
    record.model_name.reset();
    record.firmware_version.reset();
    record.serial_number.reset();
    record.mac.reset();
}

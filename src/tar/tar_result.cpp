#include "tar/tar_result.h"

const char* tar_strerror(int code)
{
    switch (code) {
    case TAR_SUCCESS: return "success";
    case TAR_FAILURE: return "failure";
    case TAR_OPEN_FAIL: return "could not open";
    case TAR_READ_FAIL: return "could not read";
    case TAR_WRITE_FAIL: return "could not write";
    case TAR_SEEK_FAIL: return "could not seek";
    case TAR_BAD_CHECKSUM: return "bad checksum";
    case TAR_NULL_RECORD: return "null record";
    case TAR_NOT_FOUND: return "file not found";
    default: return "unknown error";
    }
}

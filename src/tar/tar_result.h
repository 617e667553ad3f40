#pragma once
// Result codes of the TAR layer. Every operation returns one of them; the
// layer prints nothing, callers word their own messages.

inline constexpr int TAR_SUCCESS = 0;
inline constexpr int TAR_FAILURE = -1;
inline constexpr int TAR_OPEN_FAIL = -2;
inline constexpr int TAR_READ_FAIL = -3;
inline constexpr int TAR_WRITE_FAIL = -4;
inline constexpr int TAR_SEEK_FAIL = -5;
inline constexpr int TAR_BAD_CHECKSUM = -6;
inline constexpr int TAR_NULL_RECORD = -7;
inline constexpr int TAR_NOT_FOUND = -8;

// "success", "bad checksum", ...; "unknown error" for any other code.
const char* tar_strerror(int code);

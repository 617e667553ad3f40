#pragma once
// The authentication code of a WinZip AES entry. libzip checks it only when
// its reader is asked for data past the entry's end, which a deflated
// entry's decompressor never does; so the code is checked here, over the
// entry's encrypted bytes.

#include <zip.h>

// true when the entry's stored code matches its encrypted data under the
// password; false for any other outcome (not AES, unreadable, forged).
bool aes_entry_authentic(zip_t* archive, zip_uint64_t index, const char* password);

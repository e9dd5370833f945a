/* The error message library's exported interface: one function that turns any result code of
   the system into a text for a user. It keeps no state; every call is independent and may come
   from any thread. */
#pragma once

#include <stdint.h>

#if defined(FAULTRA_BUILDING)
#define FAULTRA_API __attribute__((visibility("default")))
#else
#define FAULTRA_API
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* The text of `code`, zero-terminated, into `text` of `size` bytes.
   - The system's own codes (bit 29 set) give the library's text in the language chosen when it
     was built, ending with a line feed; a code without a text of its own gives "Unknown error.".
     Texts are UTF-8 and at most 255 bytes long.
   - Platform codes (bit 29 clear) give the platform's message text for that code.
   *needed receives the text's length in bytes + 1 for the terminating zero. The text is written
   only when size >= *needed; otherwise nothing is written, so callers ask first with size 0
   (text may be null) and then with a buffer of *needed bytes. A null text or needed pointer
   makes the call a size request, never written through.
   Returns 0 on success. A platform code without a text gives *needed = 0 and the platform's
   error code (for example ERROR_MR_MID_NOT_FOUND). */
FAULTRA_API int32_t ERROR_MESSAGE(int32_t code, char* text, uint32_t size, uint32_t* needed);

#ifdef __cplusplus
}
#endif

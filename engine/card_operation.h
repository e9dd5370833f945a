// What every card operation starts from: the calling thread's context and its board.
#pragma once

#include "context.h"
#include "engine_errors.h"
#include "win32/windows.h"

namespace corvix {

// The result of a board request on a thread without a board: the platform's answer to a request
// on no handle.
inline constexpr ErrorCode kErrNoBoard = ERROR_INVALID_HANDLE;

// The calling thread's context when it has a board, else nullptr.
inline EngineContext* boardContext() {
    EngineContext* context = currentContext();
    return context && context->device ? context : nullptr;
}

}  // namespace corvix

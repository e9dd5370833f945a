// Files of the download (configuration file, code image, BA text) read through the platform's
// file calls. Each reader reads what it needs piece by piece, never a whole file of unknown size.
#pragma once

#include <cstdint>
#include <string>

#include "win32/windows.h"

namespace corvix::download {

// An open file for reading; closed when it goes out of scope unless close() was called.
class InputFile {
public:
    // Opens an existing file for reading, not shared.
    explicit InputFile(const char* path);
    ~InputFile();
    InputFile(const InputFile&) = delete;
    InputFile& operator=(const InputFile&) = delete;

    bool isOpen() const { return handle_ != INVALID_HANDLE_VALUE; }
    // Reads exactly `size` bytes; false on a failed or short read.
    bool readExactly(void* buffer, std::uint32_t size);
    // Reads what comes next, up to `size` bytes; `read` is 0 at the end of the file. False on a
    // failed read.
    bool readSome(void* buffer, std::uint32_t size, std::uint32_t& read);
    bool close();

private:
    HANDLE handle_;
};

}  // namespace corvix::download

// Files of the download (configuration file, code image, BA text) read through the platform's
// file calls.
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
    // Reads what is left of the file into `data`; false on a failed read.
    bool readRest(std::string& data);
    bool close();

private:
    HANDLE handle_;
};

bool readWholeFile(const char* path, std::string& data);

}  // namespace corvix::download

#include "file_reader.h"

namespace corvix::download {

InputFile::InputFile(const char* path)
    : handle_(CreateFileA(path, GENERIC_READ, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr)) {}

InputFile::~InputFile() { close(); }

bool InputFile::readExactly(void* buffer, std::uint32_t size) {
    auto* bytes = static_cast<std::uint8_t*>(buffer);
    while (size > 0) {
        std::uint32_t read = 0;
        if (!readSome(bytes, size, read) || read == 0) return false;
        bytes += read;
        size -= read;
    }
    return true;
}

bool InputFile::readSome(void* buffer, std::uint32_t size, std::uint32_t& read) {
    DWORD got = 0;
    const bool ok = ReadFile(handle_, buffer, size, &got, nullptr);
    read = ok ? got : 0;
    return ok;
}

bool InputFile::close() {
    if (!isOpen()) return true;
    const BOOL closed = CloseHandle(handle_);
    handle_ = INVALID_HANDLE_VALUE;
    return closed != FALSE;
}

}  // namespace corvix::download

#include "file_reader.h"

namespace corvix::download {

InputFile::InputFile(const char* path)
    : handle_(CreateFileA(path, GENERIC_READ, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr)) {}

InputFile::~InputFile() { close(); }

bool InputFile::readExactly(void* buffer, std::uint32_t size) {
    auto* bytes = static_cast<std::uint8_t*>(buffer);
    while (size > 0) {
        DWORD read = 0;
        if (!ReadFile(handle_, bytes, size, &read, nullptr) || read == 0) return false;
        bytes += read;
        size -= read;
    }
    return true;
}

bool InputFile::readRest(std::string& data) {
    char chunk[4096];
    for (;;) {
        DWORD read = 0;
        if (!ReadFile(handle_, chunk, sizeof chunk, &read, nullptr)) return false;
        if (read == 0) return true;
        data.append(chunk, read);
    }
}

bool InputFile::close() {
    if (!isOpen()) return true;
    const BOOL closed = CloseHandle(handle_);
    handle_ = INVALID_HANDLE_VALUE;
    return closed != FALSE;
}

bool readWholeFile(const char* path, std::string& data) {
    InputFile file(path);
    data.clear();
    return file.isOpen() && file.readRest(data) && file.close();
}

}  // namespace corvix::download

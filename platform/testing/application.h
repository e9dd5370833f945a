// Support for tests that are applications of the engine: each runs as a process of its own on a
// fresh machine root, may run itself again as a child process (a later run on the same root, or a
// process whose end is watched), and can place bytes right before memory that may not be read.
#pragma once

#include <cstddef>
#include <filesystem>
#include <string>
#include <vector>

namespace qtesting {

// A fresh temporary machine root for this process and its children (QUORELLE_MACHINE_ROOT), removed
// when the object goes. A child process keeps its parent's root.
class FreshMachineRoot {
public:
    FreshMachineRoot();
    ~FreshMachineRoot();
    FreshMachineRoot(const FreshMachineRoot&) = delete;
    FreshMachineRoot& operator=(const FreshMachineRoot&) = delete;
    const std::filesystem::path& path() const { return path_; }

private:
    std::filesystem::path path_;
    bool owned_ = false;
};

// Whether this process was started by runSelf.
bool isChildRun();

// How a child process ended: its exit code, or the signal that ended it.
struct ChildEnd {
    int exitCode = -1;
    int signal = 0;
    bool clean() const { return signal == 0 && exitCode == 0; }
    std::string describe() const;
};

// Runs this program again with `arguments`, on the same machine root, and waits for its end.
ChildEnd runSelf(const std::vector<std::string>& arguments);

// Runs `program` with `arguments` and this process's environment plus `environment` ("NAME=value"
// entries, replacing inherited ones of the same name), and waits for its end. Its standard error
// goes to `standardError` when one is named.
ChildEnd runProgram(const std::filesystem::path& program, const std::vector<std::string>& arguments,
                    const std::vector<std::string>& environment = {},
                    const std::filesystem::path& standardError = {});

// `size` bytes that end where an inaccessible page starts: a read past their end faults.
class GuardedBytes {
public:
    explicit GuardedBytes(std::size_t size);
    ~GuardedBytes();
    GuardedBytes(const GuardedBytes&) = delete;
    GuardedBytes& operator=(const GuardedBytes&) = delete;
    char* data() const { return data_; }

private:
    void* mapping_ = nullptr;
    std::size_t mappingSize_ = 0;
    char* data_ = nullptr;
};

}  // namespace qtesting

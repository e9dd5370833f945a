#include "application.h"

#include <spawn.h>
#include <sys/mman.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <stdexcept>

extern char** environ;

namespace qtesting {
namespace {

constexpr const char* kChildMark = "QUORELLE_TEST_CHILD";

}  // namespace

FreshMachineRoot::FreshMachineRoot() {
    const char* inherited = std::getenv("QUORELLE_MACHINE_ROOT");
    if (isChildRun() && inherited && *inherited) {
        path_ = inherited;
        return;
    }
    std::string pattern = (std::filesystem::temp_directory_path() / "quorelle-app-XXXXXX").string();
    if (!mkdtemp(pattern.data())) throw std::runtime_error("cannot create a machine root");
    path_ = pattern;
    owned_ = true;
    setenv("QUORELLE_MACHINE_ROOT", path_.c_str(), 1);
}

FreshMachineRoot::~FreshMachineRoot() {
    if (!owned_) return;
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
}

bool isChildRun() { return std::getenv(kChildMark) != nullptr; }

std::string ChildEnd::describe() const {
    return signal ? "ended by signal " + std::to_string(signal) : "exit code " + std::to_string(exitCode);
}

ChildEnd runSelf(const std::vector<std::string>& arguments) {
    setenv(kChildMark, "1", 1);
    std::vector<std::string> words{"/proc/self/exe"};
    words.insert(words.end(), arguments.begin(), arguments.end());
    std::vector<char*> argv;
    for (std::string& word : words) argv.push_back(word.data());
    argv.push_back(nullptr);
    pid_t child = 0;
    const int failed = posix_spawn(&child, "/proc/self/exe", nullptr, nullptr, argv.data(), environ);
    unsetenv(kChildMark);
    if (failed) return {};
    int status = 0;
    while (waitpid(child, &status, 0) < 0) {
        if (errno != EINTR) return {};
    }
    ChildEnd end;
    if (WIFEXITED(status)) end.exitCode = WEXITSTATUS(status);
    if (WIFSIGNALED(status)) end.signal = WTERMSIG(status);
    return end;
}

GuardedBytes::GuardedBytes(std::size_t size) {
    const auto page = static_cast<std::size_t>(sysconf(_SC_PAGESIZE));
    const std::size_t pages = (size + page - 1) / page + 1;
    mappingSize_ = pages * page;
    mapping_ = mmap(nullptr, mappingSize_, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (mapping_ == MAP_FAILED) throw std::runtime_error("cannot map the guarded bytes");
    char* guard = static_cast<char*>(mapping_) + mappingSize_ - page;
    mprotect(guard, page, PROT_NONE);
    data_ = guard - size;
}

GuardedBytes::~GuardedBytes() { munmap(mapping_, mappingSize_); }

}  // namespace qtesting

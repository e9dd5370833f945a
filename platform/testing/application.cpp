#include "application.h"

#include <fcntl.h>
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
    return runProgram("/proc/self/exe", arguments, {std::string(kChildMark) + "=1"});
}

ChildEnd runProgram(const std::filesystem::path& program, const std::vector<std::string>& arguments,
                    const std::vector<std::string>& environment, const std::filesystem::path& standardError) {
    std::vector<std::string> words{program.string()};
    words.insert(words.end(), arguments.begin(), arguments.end());
    std::vector<char*> argv;
    for (std::string& word : words) argv.push_back(word.data());
    argv.push_back(nullptr);
    // The inherited environment without the names that `environment` sets, then those.
    std::vector<std::string> entries;
    for (char** e = environ; *e; ++e) {
        const std::string entry = *e;
        const std::string name = entry.substr(0, entry.find('=') + 1);
        bool replaced = false;
        for (const std::string& set : environment) replaced = replaced || set.rfind(name, 0) == 0;
        if (!replaced) entries.push_back(entry);
    }
    entries.insert(entries.end(), environment.begin(), environment.end());
    std::vector<char*> envp;
    for (std::string& entry : entries) envp.push_back(entry.data());
    envp.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    if (!standardError.empty())
        posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, standardError.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    pid_t child = 0;
    const int failed = posix_spawn(&child, program.c_str(), &actions, nullptr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
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

// The machine root and the one-time boot of the simulated machine.
//
// Boot states: not booted -> booting (one thread runs the booter; calls from that thread return at
// once, other threads wait) -> booted. markMachineBooted(false) returns to "not booted", so that
// the next use boots again.
#include "base/machine_root.h"

#include <condition_variable>
#include <cstdlib>
#include <dlfcn.h>
#include <mutex>
#include <optional>
#include <thread>

#include "base/debug_output.h"
#include "base/registry_store.h"

namespace qbase {
namespace {

namespace fs = std::filesystem;

struct RootState {
    std::mutex mutex;
    std::optional<fs::path> root;
};

RootState& rootState() {
    static RootState& state = *new RootState;  // never destroyed: used until the process ends
    return state;
}

fs::path defaultRoot() {
    if (const char* overridden = std::getenv("QUORELLE_MACHINE_ROOT"); overridden && *overridden) return overridden;
    if (const char* data = std::getenv("XDG_DATA_HOME"); data && *data) return fs::path(data) / "quorelle" / "machine";
    const char* home = std::getenv("HOME");
    return fs::path(home && *home ? home : ".") / ".local" / "share" / "quorelle" / "machine";
}

void createFolder(const fs::path& folder) {
    std::error_code ignored;
    fs::create_directories(folder, ignored);
}

enum class BootState { NotBooted, Booting, Booted };

struct BootControl {
    std::mutex mutex;
    std::condition_variable changed;
    BootState state = BootState::NotBooted;
    std::thread::id bootingThread;
    Booter booter;
};

BootControl& bootControl() {
    static BootControl& control = *new BootControl;  // never destroyed: used until the process ends
    return control;
}

// The folder of this library: the simulated machine's module is built beside it.
fs::path moduleFolder() {
    Dl_info info{};
    if (dladdr(reinterpret_cast<void*>(&moduleFolder), &info) && info.dli_fname) {
        return fs::path(info.dli_fname).parent_path();
    }
    return {};
}

// Loads the simulated machine's module, whose load registers the booter. The module stays loaded.
void loadMachineModule() {
    const char* overridden = std::getenv("QUORELLE_SIM_MODULE");
    const fs::path module = overridden && *overridden ? fs::path(overridden) : moduleFolder() / "libQuorelleSim.so";
    if (!dlopen(module.c_str(), RTLD_NOW | RTLD_GLOBAL)) {
        const char* reason = dlerror();
        debug::write("machine: no simulated machine loaded (" + std::string(reason ? reason : module.string()) + ")");
    }
}

}  // namespace

fs::path machineRoot() {
    RootState& s = rootState();
    std::lock_guard lock(s.mutex);
    if (!s.root) {
        s.root = defaultRoot();
        createFolder(*s.root);
    }
    return *s.root;
}

void setMachineRoot(const fs::path& root) {
    {
        RootState& s = rootState();
        std::lock_guard lock(s.mutex);
        s.root = root;
        createFolder(root);
    }
    registry::reloadPersisted();
}

fs::path systemDirectory() { return machineRoot() / "system32"; }

void setMachineBooter(Booter booter) {
    BootControl& c = bootControl();
    std::lock_guard lock(c.mutex);
    c.booter = std::move(booter);
}

void ensureMachineBooted() {
    BootControl& c = bootControl();
    std::unique_lock lock(c.mutex);
    for (;;) {
        if (c.state == BootState::Booted) return;
        if (c.state == BootState::NotBooted) break;
        if (c.bootingThread == std::this_thread::get_id()) return;
        c.changed.wait(lock);
    }
    c.state = BootState::Booting;
    c.bootingThread = std::this_thread::get_id();
    // The booter runs unlocked: loading the module registers it, and the boot itself uses the
    // registry and the devices, which come back here.
    const bool registered = static_cast<bool>(c.booter);
    lock.unlock();
    if (!registered) loadMachineModule();
    lock.lock();
    Booter booter = c.booter;
    lock.unlock();
    registry::resetVolatileHive();
    if (booter) booter();
    lock.lock();
    c.state = BootState::Booted;
    c.bootingThread = {};
    c.changed.notify_all();
}

void markMachineBooted(bool booted) {
    BootControl& c = bootControl();
    std::lock_guard lock(c.mutex);
    // Inside a running boot the boot's end sets the state.
    if (c.state == BootState::Booting && c.bootingThread == std::this_thread::get_id()) return;
    c.state = booted ? BootState::Booted : BootState::NotBooted;
    c.bootingThread = {};
    c.changed.notify_all();
}

bool machineBooted() {
    BootControl& c = bootControl();
    std::lock_guard lock(c.mutex);
    return c.state == BootState::Booted;
}

}  // namespace qbase

// A test device behind the request seam: named devices (exclusive or shared), a scripted status
// per control code, and interface lists per class.
#pragma once

#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "kernel/io_seam.h"

namespace qwin32::testing {

class FakeSeam final : public qk::IoSeam {
public:
    struct Device {
        bool exclusive = true;
        int openFiles = 0;
    };

    FakeSeam() { qk::installIoSeam(this); }
    ~FakeSeam() override { qk::installIoSeam(nullptr); }

    void addDevice(const std::string& name, bool exclusive) { devices_[name].exclusive = exclusive; }
    int openFiles(const std::string& name) {
        std::lock_guard lock(mutex_);
        return devices_[name].openFiles;
    }

    qk::OpenResult open(const std::string& path, std::uint32_t, std::uint32_t) override {
        std::lock_guard lock(mutex_);
        const auto it = devices_.find(path);
        if (it == devices_.end()) return {static_cast<qk::NTSTATUS>(0xC0000034), 0};
        if (it->second.exclusive && it->second.openFiles > 0) return {static_cast<qk::NTSTATUS>(0xC0000022), 0};
        ++it->second.openFiles;
        const qk::FileId id = nextFile_++;
        files_[id] = path;
        return {0, id};
    }

    qk::ControlResult deviceControl(qk::FileId file, std::uint32_t code, const std::vector<std::uint8_t>& input,
                                    std::uint32_t outputLength) override {
        {
            std::lock_guard lock(mutex_);
            if (!files_.count(file)) return {static_cast<qk::NTSTATUS>(0xC0000008), {}};
        }
        if (onControl) onControl();
        if (const auto it = statuses.find(code); it != statuses.end()) return {it->second, {}};
        // Echoes the input, cut to the output length.
        std::vector<std::uint8_t> output(input.begin(), input.begin() + std::min<std::size_t>(input.size(), outputLength));
        return {0, output};
    }

    void close(qk::FileId file) override {
        std::lock_guard lock(mutex_);
        const auto it = files_.find(file);
        if (it == files_.end()) return;
        --devices_[it->second].openFiles;
        files_.erase(it);
    }

    std::vector<std::string> interfaces(const qk::Guid& interfaceClass) override {
        for (const auto& [guid, paths] : interfaceLists) {
            if (guid == interfaceClass) return paths;
        }
        return {};
    }

    std::map<std::uint32_t, qk::NTSTATUS> statuses;
    std::vector<std::pair<qk::Guid, std::vector<std::string>>> interfaceLists;
    std::function<void()> onControl;

private:
    std::mutex mutex_;
    std::map<std::string, Device> devices_;
    std::map<qk::FileId, std::string> files_;
    qk::FileId nextFile_ = 1;
};

}  // namespace qwin32::testing

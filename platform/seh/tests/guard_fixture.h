// The guard's tests run the crash child: each case a child process in a folder of its own, whose
// filter records what it was given ("record-N" files, read back here).
#pragma once

#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "testing/application.h"

namespace seh_testing {

namespace fs = std::filesystem;

struct Record {
    bool exists = false;
    std::map<std::string, std::string> fields;
    std::vector<std::uint64_t> parameters;
    std::uint64_t number(const std::string& name) const {
        const auto found = fields.find(name);
        return found == fields.end() ? ~0ull : std::stoull(found->second, nullptr, 16);
    }
    bool has(const std::string& name) const { return fields.count(name) != 0; }
};

inline Record readRecord(const fs::path& path) {
    Record record;
    std::ifstream in(path);
    record.exists = static_cast<bool>(in);
    std::string name, value;
    while (in >> name) {
        std::getline(in, value);
        if (!value.empty() && value.front() == ' ') value.erase(0, 1);
        if (name == "parameter") record.parameters.push_back(std::stoull(value, nullptr, 16));
        else record.fields[name] = value;
    }
    return record;
}

class GuardTest : public ::testing::Test {
protected:
    void SetUp() override {
        folder_ = fs::temp_directory_path() / ("seh-guard-" + std::to_string(::getpid()) + "-" +
                                               ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(folder_);
        fs::create_directories(folder_);
    }
    void TearDown() override { fs::remove_all(folder_); }

    qtesting::ChildEnd run(const std::string& kind) {
        return qtesting::runProgram(SEH_CRASH_CHILD, {kind, folder_.string()}, {}, folder_ / "stderr");
    }
    Record record(int n = 1) const { return readRecord(folder_ / ("record-" + std::to_string(n))); }

    fs::path folder_;
};

}  // namespace seh_testing

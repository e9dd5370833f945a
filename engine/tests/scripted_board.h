// A board behind the real request seam: every device-control request is recorded, and the answer
// comes from a per-code script (success with the requested number of zero bytes by default).
// Installed for the lifetime of the object; opens of any device name succeed.
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "kernel/io_seam.h"

namespace corvix::testing {

inline constexpr qk::NTSTATUS kStatusIoTimeout = static_cast<qk::NTSTATUS>(0xC00000B5);
inline constexpr qk::NTSTATUS kStatusInvalidDeviceRequest = static_cast<qk::NTSTATUS>(0xC0000010);

struct Request {
    std::uint32_t code;
    std::vector<std::uint8_t> input;
    std::uint32_t outputLength;
};

class ScriptedBoard final : public qk::IoSeam {
public:
    using Answer = std::function<qk::ControlResult(const Request&)>;

    ScriptedBoard() { qk::installIoSeam(this); }
    ~ScriptedBoard() override { qk::installIoSeam(nullptr); }

    // Answers every request of `code` with the given bytes (success).
    void answer(std::uint32_t code, std::vector<std::uint8_t> output) {
        answers_[code] = [output](const Request&) { return qk::ControlResult{0, output}; };
    }
    void answer(std::uint32_t code, Answer answer) { answers_[code] = std::move(answer); }
    // The next requests of `code` get these answers in turn, then the standing answer.
    void answerOnce(std::uint32_t code, std::vector<std::uint8_t> output) { once_[code].push_back(std::move(output)); }
    void fail(std::uint32_t code, qk::NTSTATUS status) {
        answers_[code] = [status](const Request&) { return qk::ControlResult{status, {}}; };
    }

    const std::vector<Request>& requests() const { return requests_; }
    std::vector<std::uint32_t> codes() const {
        std::vector<std::uint32_t> codes;
        for (const Request& r : requests_) codes.push_back(r.code);
        return codes;
    }
    void clear() { requests_.clear(); }

    qk::OpenResult open(const std::string&, std::uint32_t, std::uint32_t) override { return {0, ++lastFile_}; }
    qk::ControlResult deviceControl(qk::FileId, std::uint32_t code, const std::vector<std::uint8_t>& input,
                                    std::uint32_t outputLength) override {
        requests_.push_back({code, input, outputLength});
        if (auto queued = once_.find(code); queued != once_.end() && !queued->second.empty()) {
            auto output = std::move(queued->second.front());
            queued->second.pop_front();
            return {0, std::move(output)};
        }
        if (auto it = answers_.find(code); it != answers_.end()) return it->second(requests_.back());
        return {0, std::vector<std::uint8_t>(outputLength, 0)};
    }
    void close(qk::FileId) override { ++closes_; }
    // The PC104 driver's class only: the USB device driver's devices are not the kernel's.
    std::vector<std::string> interfaces(const qk::Guid& g) override {
        return g.data1 == 0x65103BA5 ? interfacePaths : std::vector<std::string>{};
    }

    int opens() const { return static_cast<int>(lastFile_); }
    int closes() const { return closes_; }
    std::vector<std::string> interfacePaths;  // of the PC104 interface class

private:
    std::map<std::uint32_t, Answer> answers_;
    std::map<std::uint32_t, std::deque<std::vector<std::uint8_t>>> once_;
    std::vector<Request> requests_;
    qk::FileId lastFile_ = 0;
    int closes_ = 0;
};

}  // namespace corvix::testing

// The debugger output sink. The capture keeps the most recent lines only, so that a long
// interactive run that writes trace lines does not grow without bound.
#include "base/debug_output.h"

#include <cstdio>
#include <cstdlib>
#include <deque>
#include <mutex>

namespace qbase::debug {
namespace {

constexpr std::size_t kCaptureLimit = 4096;

struct Sink {
    std::mutex mutex;
    std::deque<std::string> lines;
};

Sink& sink() {
    static Sink& instance = *new Sink;  // never destroyed: used until the process ends
    return instance;
}

bool echoToStandardError() {
    static const bool echo = std::getenv("QUORELLE_DEBUG_OUTPUT") != nullptr;
    return echo;
}

}  // namespace

void write(const std::string& text) {
    Sink& s = sink();
    std::lock_guard lock(s.mutex);
    if (s.lines.size() == kCaptureLimit) s.lines.pop_front();
    s.lines.push_back(text);
    if (echoToStandardError()) {
        const bool endsLine = !text.empty() && text.back() == '\n';
        std::fprintf(stderr, "%s%s", text.c_str(), endsLine ? "" : "\n");
    }
}

std::vector<std::string> captured() {
    Sink& s = sink();
    std::lock_guard lock(s.mutex);
    return {s.lines.begin(), s.lines.end()};
}

void clearCaptured() {
    Sink& s = sink();
    std::lock_guard lock(s.mutex);
    s.lines.clear();
}

}  // namespace qbase::debug

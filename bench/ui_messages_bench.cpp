// Window messages between threads, with the main thread woken through Qt's event loop as in the
// programs: a worker posting to a main-thread window (throughput, dispatched in order) and a
// worker's send to a main-thread window (latency, median reported).
#include <benchmark/benchmark.h>

#include <QCoreApplication>
#include <QMetaObject>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <vector>

#include "ui/afxwin.h"
#include "ui/testing.h"

namespace {

// A main-thread window that counts posts and checks their order.
class Sink : public CWnd {
public:
    LRESULT WindowProc(UINT message, WPARAM w, LPARAM l) override {
        if (message == WM_USER) {
            if (w != expected) outOfOrder.store(true);
            expected = w + 1;
            if (w + 1 == target.load()) {
                std::lock_guard lock(mutex);
                done = true;
                cv.notify_all();
            }
            return 0;
        }
        if (message == WM_USER + 1) return static_cast<LRESULT>(w) + 1;
        return CWnd::WindowProc(message, w, l);
    }
    WPARAM expected = 0;
    std::atomic<WPARAM> target{0};
    std::atomic<bool> outOfOrder{false};
    std::mutex mutex;
    std::condition_variable cv;
    bool done = false;
};

Sink* sink = nullptr;

void BM_PostToMainThread(benchmark::State& state) {
    const auto batch = static_cast<WPARAM>(state.range(0));
    for (auto _ : state) {
        // Reset on the main thread, then post a batch and wait until the last one is dispatched.
        qui::RunOnMainThread([] {
            sink->expected = 0;
            return LRESULT{0};
        });
        {
            std::lock_guard lock(sink->mutex);
            sink->done = false;
        }
        sink->target = batch;
        for (WPARAM i = 0; i < batch; ++i) PostMessage(sink->m_hWnd, WM_USER, i, 0);
        std::unique_lock lock(sink->mutex);
        sink->cv.wait(lock, [] { return sink->done; });
    }
    if (sink->outOfOrder) state.SkipWithError("posts dispatched out of order");
    state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(batch));
}
BENCHMARK(BM_PostToMainThread)->Arg(200000)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_SendToMainThread(benchmark::State& state) {
    std::vector<double> micros;
    micros.reserve(200000);
    WPARAM i = 0;
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        const LRESULT r = SendMessage(sink->m_hWnd, WM_USER + 1, i, 0);
        micros.push_back(std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now() - start).count());
        if (r != static_cast<LRESULT>(i) + 1) state.SkipWithError("wrong result");
        ++i;
    }
    std::sort(micros.begin(), micros.end());
    if (!micros.empty()) {
        state.counters["median_us"] = micros[micros.size() / 2];
        state.counters["p99_us"] = micros[micros.size() * 99 / 100];
    }
}
BENCHMARK(BM_SendToMainThread)->Unit(benchmark::kMicrosecond)->UseRealTime();

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    qui::testing::AttachMainThread();
    Sink window;
    window.Create(nullptr, "", WS_CHILD, RECT{0, 0, 1, 1}, nullptr, 0);
    sink = &window;
    benchmark::Initialize(&argc, argv);
    int result = 0;
    // The benchmarks run on a worker; this thread runs Qt's loop as a program's main thread does.
    std::thread worker([&] {
        benchmark::RunSpecifiedBenchmarks();
        benchmark::Shutdown();
        QMetaObject::invokeMethod(&app, [] { QCoreApplication::exit(0); }, Qt::QueuedConnection);
    });
    result = QCoreApplication::exec();
    worker.join();
    window.DestroyWindow();
    qui::testing::DetachMainThread();
    return result;
}

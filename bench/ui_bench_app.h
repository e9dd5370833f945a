// The main of the benchmarks over the class-library layer's widgets: an application object runs
// `run` (which registers what it needs and calls benchmark::RunSpecifiedBenchmarks) inside its
// InitInstance, on the layer's main thread with its Qt application, on Qt's offscreen platform
// unless another is set.
#pragma once

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <functional>
#include <utility>

#include "ui/afxwin.h"

namespace bench {

inline int RunUiBenchmarks(int argc, char** argv, std::function<void()> run) {
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  benchmark::Initialize(&argc, argv);
  struct App : CWinApp {
    std::function<void()> body;
    BOOL InitInstance() override {
      body();
      return FALSE;  // no message loop: the benchmarks ran
    }
  } app;
  app.body = std::move(run);
  AfxWinMain(argc, argv);
  benchmark::Shutdown();
  return 0;
}

}  // namespace bench

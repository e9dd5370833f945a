// The designer's main window over a configuration at the records' limits (256 stations, 4095
// variables, 4096 messages), for the benchmarks of the dialogs it opens: the document in a working
// folder of its own, the frame shown with its tree built, and a dialog run with its widgets until it
// is up.
#pragma once

#include <QCoreApplication>
#include <QTimer>

#include <benchmark/benchmark.h>

#include <cstdio>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>

#include "editor_context.h"
#include "frame_fakes.h"
#include "frame_resources.h"
#include "limits_network.h"
#include "main_frame.h"
#include "model/plandrel_doc.h"
#include "records/byte_codec.h"

namespace bench {

// The limits network with every variable two bytes long without a message channel, and 4096
// messages.
inline records::Configuration LimitsWithMessages() {
  records::Configuration c = plandrel::testing::limits_network();
  for (records::VARIABLE4& v : c.variables) {
    v.length = 2;
    records::set_text(v.format, "%h");
    v.channel = -1;
  }
  while (c.messages.size() < records::kMaxMessages) {
    records::MESSAGE4 m = c.messages[c.messages.size() % 512];
    std::snprintf(m.name.data(), m.name.size(), "Message %zu", c.messages.size());
    c.messages.push_back(m);
  }
  records::renumber_keys(c);
  return c;
}

struct Designer {
  explicit Designer(const std::string& name)
      : folder(std::filesystem::temp_directory_path() / name),
        document((std::filesystem::create_directories(folder), documents), folder, plandrel::SelectedDevice{}) {
    host.document = &document;
    document.New();
    document.Records() = LimitsWithMessages();
    document.SetMemoryEstimate(records::memory_estimate(document.Records(), document.GetInstructionCost()));
    document.WriteAllWorkingFiles();
    frame = new plandrel::CMainFrame(host);
    frame->LoadFrame(plandrel::kMainFrameResource);
    AfxGetApp()->m_pMainWnd = frame;
    frame->ShowWindow(SW_SHOW);
    frame->CreateTree();
    frame->Tree()->BuildTree();
    QCoreApplication::processEvents();
  }
  ~Designer() {
    delete frame;
    AfxGetApp()->m_pMainWnd = nullptr;
    std::filesystem::remove_all(folder);
  }
  plandrel::EditorContext context() { return {document, frame->Tree(), false}; }
  std::filesystem::path folder;
  plandrel::testing::QuietDocumentHost documents;
  plandrel::CPlandrelDoc document;
  plandrel::testing::FakeHost host;
  plandrel::CMainFrame* frame = nullptr;
};

// Runs the dialog made by `make` with its widgets and closes it once the event loop has shown it.
template <class Dialog>
inline void RunShown(benchmark::State& state, const std::function<std::unique_ptr<Dialog>()>& make) {
  for (auto _ : state) {
    std::unique_ptr<Dialog> dialog = make();
    Dialog* shown = dialog.get();
    QTimer::singleShot(0, [shown] { shown->EndDialog(IDCANCEL); });
    benchmark::DoNotOptimize(dialog->DoModal());
  }
}

}  // namespace bench

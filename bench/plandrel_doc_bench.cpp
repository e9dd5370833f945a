// The designer's document at the records' limits (4095 variables, 512 messages, 256 stations, 64
// aperiodic lists of 64 identifiers): ReadConfiguration of the file and Save, working files
// included. Target: at most 50 ms each.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <unistd.h>

#include "model/plandrel_doc.h"
#include "records/atomic_file.h"
#include "records/byte_codec.h"
#include "records/config_format.h"

namespace {

namespace fs = std::filesystem;
using namespace plandrel;

class SilentHost : public DocumentHost {
 public:
  MessageAnswer ShowMessage(std::string_view, MessageButtons, MessageIcon) override {
    ++messages;
    return MessageAnswer::yes;
  }
  std::optional<FileDialogResult> AskOpenPath(const FileDialogRequest&) override { return {}; }
  std::optional<FileDialogResult> AskSavePath(const FileDialogRequest&) override { return {}; }
  void SetMainTitle(std::string_view) override {}
  void AddToRecentFiles(const fs::path&) override {}
  int messages = 0;
};

records::Configuration largest() {
  records::Configuration c = records::new_configuration();
  c.station_count = 256;
  for (int i = 1; i < 256; ++i)
    c.stations[i] =
        records::make_station("Station " + std::to_string(i), static_cast<std::int16_t>(i));
  for (int i = 0; i < 4095; ++i) {
    records::VARIABLE4 v;
    records::set_text(v.name, "Variable " + std::to_string(i));
    records::set_text(v.format, "%4h");
    v.identifier = static_cast<std::uint16_t>(i);
    v.length = 4;
    v.channel = -1;
    v.producer = static_cast<std::int16_t>(i % 256);
    records::set_consumer(v, (i + 1) % 256, true);
    c.variables.push_back(v);
  }
  for (int i = 0; i < 512; ++i) {
    records::MESSAGE4 m;
    records::set_text(m.name, "Message " + std::to_string(i));
    records::set_text(m.format, "%h");
    m.transmitted = static_cast<std::uint8_t>(i % 2);
    m.aperiodic = 1;
    c.messages.push_back(m);
  }
  for (int i = 0; i < 64; ++i) {
    records::LISTE_APER list;
    records::set_text(list.name, "List " + std::to_string(i));
    for (std::uint16_t id = 0; id < 64; ++id) list.identifiers.push_back(id);
    c.lists.push_back(list);
  }
  records::renumber_keys(c);
  return c;
}

struct Folder {
  Folder() {
    std::string pattern = (fs::temp_directory_path() / "plandrel-bench-XXXXXX").string();
    if (mkdtemp(pattern.data()) != nullptr) path = pattern;
  }
  ~Folder() {
    std::error_code ignored;
    if (!path.empty()) fs::remove_all(path, ignored);
  }
  fs::path path;
};

void BM_ReadConfiguration(benchmark::State& state) {
  Folder folder;
  const fs::path file = folder.path / "largest.cnf";
  records::write_file_atomically(file, records::encode_format4(largest()));
  SilentHost host;
  CPlandrelDoc doc(host, folder.path, SelectedDevice{1, 0});
  for (auto _ : state) {
    if (!doc.ReadConfiguration(file)) state.SkipWithError("read failed");
  }
  if (host.messages != 0) state.SkipWithError("the document complained");
}
BENCHMARK(BM_ReadConfiguration)->Unit(benchmark::kMillisecond);

void BM_Save(benchmark::State& state) {
  Folder folder;
  const fs::path file = folder.path / "largest.cnf";
  records::write_file_atomically(file, records::encode_format4(largest()));
  SilentHost host;
  CPlandrelDoc doc(host, folder.path, SelectedDevice{1, 0});
  if (!doc.ReadConfiguration(file)) state.SkipWithError("read failed");
  for (auto _ : state) {
    doc.SetModifiedFlag();
    if (!doc.Save()) state.SkipWithError("save failed");
  }
}
BENCHMARK(BM_Save)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();

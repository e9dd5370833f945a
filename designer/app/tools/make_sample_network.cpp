// Writes the sample network as a configuration file: make_sample_network path.cnf
#include <cstdio>
#include <fstream>

#include "records/config_format.h"
#include "sample_network.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s path.cnf\n", argv[0]);
    return 2;
  }
  const std::vector<std::uint8_t> bytes = records::encode_format4(plandrel::sample_network());
  std::ofstream out(argv[1], std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  if (!out) {
    std::fprintf(stderr, "cannot write %s\n", argv[1]);
    return 1;
  }
  return 0;
}

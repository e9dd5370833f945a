// Writes the example configuration: make_first_network path.cnf
#include <cstdio>

#include "first_network.h"
#include "records/atomic_file.h"
#include "records/config_format.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s path.cnf\n", argv[0]);
    return 2;
  }
  if (!records::write_file_atomically(argv[1], records::encode_format4(examples::first_network()))) {
    std::fprintf(stderr, "cannot write %s\n", argv[1]);
    return 1;
  }
  return 0;
}

// The shipped example is the one the program writes, and it reads back whole.
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <vector>

#include "first_network.h"
#include "records/config_format.h"

TEST(FirstNetwork, TheShippedFileIsTheExample) {
  std::ifstream in(QUORELLE_EXAMPLE_FILE, std::ios::binary);
  ASSERT_TRUE(in) << QUORELLE_EXAMPLE_FILE;
  const std::vector<std::uint8_t> shipped((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  EXPECT_EQ(shipped, records::encode_format4(examples::first_network()));
}

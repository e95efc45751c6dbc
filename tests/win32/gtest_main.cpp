// The test programs' main on Windows. Standard output is switched to binary
// so that lines end in a bare line feed: the test list is read by CMake on
// Linux, through Wine, and a carriage return would end up in every name.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <io.h>

#include <cstdio>

int main(int argc, char** argv) {
  _setmode(_fileno(stdout), _O_BINARY);
  _setmode(_fileno(stderr), _O_BINARY);
  testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}

#include <iostream>
#include <string>
#include <vector>

#include "batch/batch_runner.h"

int main(int argc, char** argv) {
  const std::vector<std::string> args(argv + 1, argv + argc);
  return ictalscope::RunBatch(args, std::cout, std::cerr);
}

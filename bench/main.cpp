// lotsizing_bench <mode> [options]: time and memory of the lot-sizing program
// at sizes beyond those of the tests.
#include <iostream>

#include "bench_modes.h"

int main(int argc, char** argv) {
  using namespace mrp::bench;
  const Arguments args(argv + (argc > 1 ? 2 : 1), argv + argc);
  if (argc > 1) {
    for (const BenchMode& mode : kBenchModes) {
      if (mode.name == argv[1]) return mode.run(args);
    }
  }
  std::cerr << "usage: lotsizing_bench <mode> [options]\nmodes:\n";
  for (const BenchMode& mode : kBenchModes) std::cerr << "  " << mode.name << "  " << mode.summary << "\n";
  return 2;
}

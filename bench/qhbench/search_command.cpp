#include <cstdio>

#include "bench/qhbench/commands.h"

namespace qhbench {

int Search(const std::vector<std::string>&) {
  std::fprintf(stderr, "qh-bench: the search command is not built yet\n");
  return 1;
}

}  // namespace qhbench

#include <cstdio>

#include "bench/qhbench/commands.h"

namespace qhbench {

int Index(const std::vector<std::string>&) {
  std::fprintf(stderr, "qh-bench: the index command is not built yet\n");
  return 1;
}

}  // namespace qhbench

#pragma once
// The commands of qh-bench, one file each. Each returns the exit status: 0 on success,
// non-zero with a message on stderr otherwise.
#include <string>
#include <vector>

namespace qhbench {

int Html2Text(const std::vector<std::string>& args);
int Index(const std::vector<std::string>& args);
int Search(const std::vector<std::string>& args);
int Find(const std::vector<std::string>& args);
int View(const std::vector<std::string>& args);

}  // namespace qhbench

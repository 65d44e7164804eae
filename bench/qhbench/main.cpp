// qh-bench: the headless driver of benchmarks and end-to-end tests. It runs the engines
// without a display and writes nothing but what the engines write.
//   qh-bench html2text FILE...
//   qh-bench index --base DIR --name DB --folder X:\path --ext "*.htm *.html"
//   qh-bench search --base DIR --name DB [--case] [--words] TEXT
//   qh-bench find [--kind ansi|utf8|unicode] [--case] FILE TEXT
//   qh-bench mht2text [--timing FILE] FILE...
//   qh-bench wordlists --base DIR --name DB [--mode words|phrases|both] [--budget-mb N]
//   qh-bench view [--kind ansi|utf8|unicode] [--mode text|binary|hex|unicode|uhex] [--offset N] [--lines K] [--width W] [--wrap] FILE
#include <cstdio>
#include <string>
#include <vector>

#include "bench/qhbench/commands.h"

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  if (args.empty()) {
    std::fprintf(stderr, "usage: qh-bench html2text|index|search|find|view|mht2text|wordlists ...\n");
    return 2;
  }
  const std::string command = args.front();
  args.erase(args.begin());
  if (command == "html2text") return qhbench::Html2Text(args);
  if (command == "index") return qhbench::Index(args);
  if (command == "search") return qhbench::Search(args);
  if (command == "find") return qhbench::Find(args);
  if (command == "view") return qhbench::View(args);
  if (command == "mht2text") return qhbench::Mht2Text(args);
  if (command == "wordlists") return qhbench::WordLists(args);
  std::fprintf(stderr, "qh-bench: unknown command %s\n", command.c_str());
  return 2;
}

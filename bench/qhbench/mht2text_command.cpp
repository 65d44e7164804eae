#include <QCoreApplication>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>

#include "bench/qhbench/commands.h"
#include "extractor/browser/browser_host.h"
#include "extractor/job/job_files.h"
#include "platform/clipboard.h"
#include "platform/codepage.h"

namespace qhbench {
namespace {

bool IsMail(const std::string& path) {
  std::string ext = std::filesystem::path(path).extension().string();
  for (char& c : ext)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return ext.find(".eml") != std::string::npos;
}

}  // namespace

// Each archive's text as the extraction job stores it: shown in the browser host, selected,
// copied and pasted, then tidied (mail) or repaired (web archives). UTF-8, CR LF line ends.
// --timing FILE appends each archive's seconds and size there, for the benchmark.
int Mht2Text(const std::vector<std::string>& arguments) {
  std::vector<std::string> args = arguments;
  std::FILE* timing = nullptr;
  if (args.size() >= 2 && args[0] == "--timing") {
    timing = std::fopen(args[1].c_str(), "a");
    if (timing == nullptr) {
      std::fprintf(stderr, "qh-bench: cannot write %s\n", args[1].c_str());
      return 1;
    }
    args.erase(args.begin(), args.begin() + 2);
  }
  if (args.empty()) {
    std::fprintf(stderr, "usage: qh-bench mht2text [--timing FILE] FILE...\n");
    if (timing != nullptr) std::fclose(timing);
    return 2;
  }
  std::unique_ptr<QCoreApplication> app;
  if (QCoreApplication::instance() == nullptr) {
    static int argc = 1;
    static char name[] = "qh-bench";
    static char* argv[] = {name, nullptr};
    app = std::make_unique<QCoreApplication>(argc, argv);
  }
  int status = 0;
  for (const std::string& name : args) {
    std::error_code error;
    const std::string absolute = std::filesystem::absolute(name, error).string();
    const std::optional<std::u16string> path = platform::PosixUtf8ToWide(error ? name : absolute);
    if (!path || path->empty()) {
      std::fprintf(stderr, "qh-bench: cannot read %s\n", name.c_str());
      status = 1;
      continue;
    }
    const auto start = std::chrono::steady_clock::now();
    bool declared = false;
    {
      // A browser per archive, gone before the text is tidied: its page is not held beside
      // the copies made of it.
      extractor::TBrowserHost browser;
      browser.Loaded();
      browser.DialogBoxes().DisableAll = true;
      bool complete = false;
      browser.OnDocumentComplete = [&complete](extractor::TBrowserControl&, const std::u16string&) { complete = true; };
      browser.Navigate(*path);
      while (browser.ReadyState() != extractor::kReadyStateComplete)
        QCoreApplication::processEvents(QEventLoop::AllEvents);
      if (!complete) {
        std::fprintf(stderr, "qh-bench: cannot read %s\n", name.c_str());
        status = 1;
        continue;
      }
      browser.SelectAll();
      browser.Copy();
      declared = browser.Document() != nullptr && browser.Document()->charsetDeclared;
    }
    // What PasteBrowserClipboard gives, taken off the clipboard instead of copied.
    platform::MemoryClipboard& clipboard = extractor::BrowserClipboard();
    std::u16string captured = clipboard.hasUnicodeText ? std::move(clipboard.unicodeText) : std::u16string();
    clipboard.unicodeText = std::u16string();
    clipboard.hasUnicodeText = false;
    const std::u16string text =
        IsMail(name) ? extractor::TidyMailText(captured) : extractor::RepairCodePage(captured, declared);
    captured = std::u16string();
    WriteUtf8InSlices(text);
    if (timing != nullptr) {
      const std::chrono::duration<double> seconds = std::chrono::steady_clock::now() - start;
      std::error_code sizeError;
      const auto size = std::filesystem::file_size(name, sizeError);
      std::fprintf(timing, "%.9f\t%llu\n", seconds.count(), static_cast<unsigned long long>(sizeError ? 0 : size));
    }
  }
  if (timing != nullptr && std::fclose(timing) != 0) {
    std::fprintf(stderr, "qh-bench: cannot write the timing file\n");
    return 1;
  }
  return status;
}

}  // namespace qhbench

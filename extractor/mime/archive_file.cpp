#include "extractor/mime/archive_file.h"

#include "platform/codepage.h"
#include "platform/drives.h"
#include "platform/file.h"

namespace extractor {
namespace {

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

std::string PercentDecoded(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '%' && i + 2 < text.size() && HexValue(text[i + 1]) >= 0 && HexValue(text[i + 2]) >= 0) {
      out.push_back(static_cast<char>(HexValue(text[i + 1]) * 16 + HexValue(text[i + 2])));
      i += 2;
    } else {
      out.push_back(text[i]);
    }
  }
  return out;
}

bool StartsWithNoCase(std::u16string_view text, std::u16string_view prefix) {
  if (text.size() < prefix.size()) return false;
  for (size_t i = 0; i < prefix.size(); ++i) {
    char16_t c = text[i];
    if (c >= u'A' && c <= u'Z') c = static_cast<char16_t>(c - u'A' + u'a');
    if (c != prefix[i]) return false;
  }
  return true;
}

}  // namespace

std::string ArchivePosixPath(std::u16string_view pathOrUrl) {
  if (StartsWithNoCase(pathOrUrl, u"file:")) {
    std::string rest = platform::WideToPosixUtf8(pathOrUrl.substr(5));
    // file:///x, file://localhost/x and file:/x all name /x.
    std::string_view view = rest;
    if (view.starts_with("//")) {
      view.remove_prefix(2);
      const size_t slash = view.find('/');
      if (slash == std::string_view::npos) return {};
      const std::string_view host = view.substr(0, slash);
      if (!host.empty() && host != "localhost") return {};
      view.remove_prefix(slash);
    }
    if (!view.starts_with('/')) return {};
    const std::string path = PercentDecoded(view);
    // A drive-form path written as a URL: file:///C:/a/b.
    if (path.size() >= 3 && path[2] == ':' && ((path[1] >= 'A' && path[1] <= 'Z') || (path[1] >= 'a' && path[1] <= 'z'))) {
      std::u16string drive = platform::PosixUtf8ToWide(path.substr(1)).value_or(u"");
      for (char16_t& c : drive)
        if (c == u'/') c = u'\\';
      return drive.empty() ? std::string() : platform::PosixPath(drive);
    }
    return path;
  }
  if (pathOrUrl.starts_with(u'/')) return platform::WideToPosixUtf8(pathOrUrl);
  // Another scheme ("http:", "mhtml:"): nothing local. One letter before ":" is a drive.
  size_t scheme = 0;
  while (scheme < pathOrUrl.size() && ((pathOrUrl[scheme] >= u'a' && pathOrUrl[scheme] <= u'z') ||
                                       (pathOrUrl[scheme] >= u'A' && pathOrUrl[scheme] <= u'Z')))
    ++scheme;
  if (scheme >= 2 && scheme < pathOrUrl.size() && pathOrUrl[scheme] == u':') return {};
  return platform::PosixPath(pathOrUrl);
}

int64_t ArchiveFileSize(std::u16string_view pathOrUrl) {
  const std::string path = ArchivePosixPath(pathOrUrl);
  if (path.empty()) return -1;
  const std::optional<platform::FileStat> stat = platform::Stat(path, true);
  if (!stat || !stat->isRegular) return -1;
  return stat->size;
}

}  // namespace extractor

#include "extractor/job/job_files.h"

#include <unistd.h>

#include <algorithm>
#include <cmath>

#include "platform/codepage.h"
#include "platform/drives.h"
#include "platform/file.h"
#include "platform/job_chain.h"
#include "textlib/unicode.h"

namespace extractor {
namespace {

constexpr std::u16string_view kStoreSuffix = u"_MHTtext.txt";
constexpr std::u16string_view kChunkInfix = u"_UTF8Dokument";

std::u16string Ascii(std::string_view text) { return std::u16string(text.begin(), text.end()); }

std::u16string Decimal(int64_t value) { return Ascii(std::to_string(value)); }

// A decimal number, optionally signed, and nothing else.
std::optional<int64_t> ParseInt64(std::string_view text) {
  if (text.empty()) return std::nullopt;
  bool negative = false;
  size_t i = 0;
  if (text[0] == '-' || text[0] == '+') {
    negative = text[0] == '-';
    i = 1;
  }
  if (i == text.size()) return std::nullopt;
  uint64_t value = 0;
  for (; i < text.size(); ++i) {
    if (text[i] < '0' || text[i] > '9') return std::nullopt;
    const uint64_t digit = static_cast<uint64_t>(text[i] - '0');
    if (value > (UINT64_MAX - digit) / 10) return std::nullopt;
    value = value * 10 + digit;
  }
  if (value > static_cast<uint64_t>(INT64_MAX) + (negative ? 1 : 0)) return std::nullopt;
  return negative ? static_cast<int64_t>(0 - value) : static_cast<int64_t>(value);
}

std::string Trimmed(std::string_view text) {
  const size_t begin = text.find_first_not_of(" \t\r\n");
  if (begin == std::string_view::npos) return {};
  const size_t end = text.find_last_not_of(" \t\r\n");
  return std::string(text.substr(begin, end - begin + 1));
}

// Text of a file written as FF FE + UTF-16LE, or of UTF-8 (with or without its mark).
std::u16string DecodeFileText(std::string_view bytes) {
  if (bytes.size() >= 2 && static_cast<unsigned char>(bytes[0]) == 0xFF && static_cast<unsigned char>(bytes[1]) == 0xFE) {
    std::u16string text;
    for (size_t i = 2; i + 1 < bytes.size(); i += 2)
      text += static_cast<char16_t>(static_cast<unsigned char>(bytes[i]) | (static_cast<unsigned char>(bytes[i + 1]) << 8));
    return text;
  }
  if (bytes.starts_with("\xEF\xBB\xBF")) bytes.remove_prefix(3);
  return textlib::DecodeUtf8(bytes);
}

bool IsAllDigits(std::u16string_view text) {
  return !text.empty() && std::all_of(text.begin(), text.end(), [](char16_t c) { return c >= u'0' && c <= u'9'; });
}

}  // namespace

// ---- Names ----------------------------------------------------------------------------------

std::u16string WideExtractFilePath(std::u16string_view path) {
  const size_t i = path.find_last_of(u"\\:");
  return i == std::u16string_view::npos ? std::u16string() : std::u16string(path.substr(0, i + 1));
}

std::u16string WideExtractFileName(std::u16string_view path) {
  const size_t i = path.find_last_of(u"\\:");
  return std::u16string(i == std::u16string_view::npos ? path : path.substr(i + 1));
}

std::u16string WideExtractFileExt(std::u16string_view path) {
  const size_t i = path.find_last_of(u".\\:");
  if (i == std::u16string_view::npos || path[i] != u'.') return {};
  return std::u16string(path.substr(i));
}

JobPaths JobPaths::From(std::u16string_view listPath, std::u16string_view outputPath) {
  JobPaths p;
  p.listPath = textlib::UnicodeTrim(listPath);
  p.outputPath = textlib::UnicodeTrim(outputPath);
  p.folder = WideExtractFilePath(p.outputPath);
  p.tempFolder = p.folder + u"Temp\\";
  p.dbPrefix = WideExtractFileName(p.outputPath);
  if (const size_t i = p.dbPrefix.find(kStoreSuffix); i != std::u16string::npos) p.dbPrefix.erase(i, kStoreSuffix.size());
  return p;
}

std::u16string JobPaths::ChunkPath(uint64_t number) const {
  return tempFolder + dbPrefix + std::u16string(kChunkInfix) + Ascii(std::to_string(number)) + u".txt";
}
std::u16string JobPaths::StatePath() const { return tempFolder + u"TempMHTlist.dat"; }
std::u16string JobPaths::RestartListPath() const { return tempFolder + u"_mht_temp.dat"; }
std::u16string JobPaths::TotalsPath() const { return tempFolder + u"logtemp.log"; }
std::u16string JobPaths::ResumeListPath() const { return folder + dbPrefix + u"_mht_temp.dat"; }
std::u16string JobPaths::ResultPath() const { return platform::chain::ResultFile(tempFolder, dbPrefix); }
std::u16string JobPaths::CancelPath() const { return platform::chain::CancelFile(tempFolder, dbPrefix); }

std::u16string JobPaths::LogPath() const {
  const std::u16string lower = textlib::UnicodeLowerCase(outputPath);
  const size_t i = lower.find(u"_mhttext.txt");
  if (i == std::u16string::npos) return outputPath + u"_MHT.log";
  std::u16string log = outputPath;
  log.erase(i, 12);
  return log + u"_MHT.log";
}

// ---- The job list -------------------------------------------------------------------------

std::vector<std::string> SplitListLines(std::string_view bytes) {
  std::vector<std::string> lines;
  size_t start = 0;
  for (size_t i = 0; i < bytes.size(); ++i) {
    if (bytes[i] != '\r' && bytes[i] != '\n') continue;
    lines.emplace_back(bytes.substr(start, i - start));
    if (bytes[i] == '\r' && i + 1 < bytes.size() && bytes[i + 1] == '\n') ++i;
    start = i + 1;
  }
  if (start < bytes.size()) lines.emplace_back(bytes.substr(start));
  return lines;
}

std::string JoinListLines(const std::vector<std::string>& lines) {
  size_t size = 0;
  for (const std::string& line : lines) size += line.size() + 2;
  std::string out;
  out.reserve(size);
  for (const std::string& line : lines) {
    out += line;
    out += "\r\n";
  }
  return out;
}

std::u16string ItemPath(std::string_view item) { return textlib::DecodeUtf8(item); }

// ---- Restart state ------------------------------------------------------------------------

std::string StateFileBytes(const RestartState& state) {
  return (state.haveChunks ? "J" : "") + std::to_string(state.chunkCounter) + " " +
         textlib::EncodeUtf8(state.listPath) + "\r\n" + textlib::EncodeUtf8(state.outputPath) + "\r\n";
}

std::optional<std::string> ClaimStateFile(std::u16string_view statePath) {
  const std::string posix = platform::PosixPath(statePath);
  if (posix.empty()) return std::nullopt;
  const std::string claimed = posix + "." + std::to_string(::getpid());
  if (!platform::RenameFile(posix, claimed)) return std::nullopt;
  std::optional<std::string> bytes = platform::ReadWholeFile(claimed);
  platform::RemoveFile(claimed);
  return bytes;
}

std::optional<RestartState> ParseStateFile(std::string_view bytes) {
  if (bytes.starts_with("\xEF\xBB\xBF")) bytes.remove_prefix(3);
  const std::vector<std::string> lines = SplitListLines(bytes);
  if (lines.size() < 2) return std::nullopt;
  RestartState state;
  std::string_view first = lines[0];
  if (first.starts_with('J')) {
    state.haveChunks = true;
    first.remove_prefix(1);
  }
  const size_t blank = first.find(' ');
  if (blank == std::string_view::npos) return std::nullopt;
  const std::optional<int64_t> counter = ParseInt64(first.substr(0, blank));
  if (!counter || *counter < 0) return std::nullopt;
  state.chunkCounter = *counter;
  state.listPath = textlib::UnicodeTrim(textlib::DecodeUtf8(first.substr(blank + 1)));
  state.outputPath = textlib::UnicodeTrim(textlib::DecodeUtf8(lines[1]));
  if (state.outputPath.empty()) return std::nullopt;
  return state;
}

std::string TotalsFileBytes(Totals totals) {
  return Utf16LeWithMark(Decimal(totals.seconds) + u" " + Decimal(totals.bytes) + u"\r\n");
}

std::optional<Totals> ParseTotalsFile(std::string_view bytes) {
  const std::string text = Trimmed(platform::WideToPosixUtf8(DecodeFileText(bytes)));
  const size_t blank = text.find(' ');
  if (blank == std::string::npos) return std::nullopt;
  const auto seconds = ParseInt64(Trimmed(std::string_view(text).substr(0, blank)));
  const auto total = ParseInt64(Trimmed(std::string_view(text).substr(blank + 1)));
  if (!seconds || !total) return std::nullopt;
  return Totals{*seconds, *total};
}

// ---- Texts ---------------------------------------------------------------------------------

std::string Utf16LeWithMark(std::u16string_view text) {
  std::string out;
  out.reserve(2 + 2 * text.size());
  out += "\xFF\xFE";
  for (char16_t c : text) {
    out += static_cast<char>(c & 0xFF);
    out += static_cast<char>(c >> 8);
  }
  return out;
}

std::u16string ToCrLf(std::u16string_view text) {
  std::u16string out;
  out.reserve(text.size() + text.size() / 16);
  for (size_t i = 0; i < text.size(); ++i) {
    const char16_t c = text[i];
    if (c == u'\r') {
      out += u"\r\n";
      if (i + 1 < text.size() && text[i + 1] == u'\n') ++i;
    } else if (c == u'\n') {
      out += u"\r\n";
    } else {
      out += c;
    }
  }
  return out;
}

std::u16string StoreBlock(std::u16string_view path, std::u16string_view text) {
  std::u16string block;
  block.reserve(path.size() + text.size() + 64);
  block += u" \r\n#";
  block += path;
  block += u"\r\n";
  block.append(50, u'=');
  block += u"\r\n \r\n";
  block += text;
  block += u"\r\n";
  return block;
}

std::u16string TidyMailText(std::u16string_view text) {
  std::u16string lines;
  size_t start = 0;
  while (true) {
    const size_t end = text.find(u"\r\n", start);
    lines += textlib::UnicodeTrim(text.substr(start, end == std::u16string_view::npos ? std::u16string_view::npos : end - start));
    if (end == std::u16string_view::npos) break;
    lines += u"\r\n";
    start = end + 2;
  }
  constexpr std::u16string_view kFour = u"\r\n\r\n\r\n\r\n";
  std::u16string out;
  out.reserve(lines.size());
  size_t pos = 0;
  while (true) {
    const size_t hit = lines.find(kFour, pos);
    if (hit == std::u16string::npos) break;
    out.append(lines, pos, hit - pos);
    out += u"\r\n";
    pos = hit + kFour.size();
  }
  out.append(lines, pos);
  return out;
}

namespace {

bool IsCyrillic(char16_t c) { return c >= 0x0400 && c <= 0x04FF; }
bool IsLatinLetter(char16_t c) {
  return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') || (c >= 0xC0 && c <= 0x24F && c != 0xD7 && c != 0xF7);
}

// Whether the code-page-1251 reading makes Cyrillic words: words of two or more Cyrillic
// letters, and hardly a word where Cyrillic and Latin letters mix. Latin text with a few
// accented letters (ê, å, î, ð) reads as Latin words with one Cyrillic letter inside.
bool ReadsAsCyrillic(std::u16string_view text) {
  int64_t cyrillicWords = 0, mixedWords = 0;
  for (size_t i = 0; i < text.size();) {
    if (!IsCyrillic(text[i]) && !IsLatinLetter(text[i])) {
      ++i;
      continue;
    }
    size_t cyrillic = 0, latin = 0;
    for (; i < text.size() && (IsCyrillic(text[i]) || IsLatinLetter(text[i])); ++i)
      (IsCyrillic(text[i]) ? cyrillic : latin) += 1;
    if (cyrillic > 0 && latin > 0) ++mixedWords;
    else if (cyrillic >= 2) ++cyrillicWords;
  }
  return cyrillicWords > 0 && mixedWords * 5 <= cyrillicWords;
}

}  // namespace

std::u16string RepairCodePage(std::u16string_view text, bool charsetDeclared) {
  if (charsetDeclared) return std::u16string(text);
  const bool utf8Marks = text.find_first_of(u"\u00C3\u0178") != std::u16string_view::npos;
  const bool cyrillicMarks = !utf8Marks && text.find_first_of(u"\u00E5\u00EA\u00EE\u00F0") != std::u16string_view::npos;
  if (!utf8Marks && !cyrillicMarks) return std::u16string(text);
  // Text with a character that code page 1252 cannot hold did not come from its bytes.
  std::string bytes;
  bytes.reserve(text.size());
  for (char16_t c : text) {
    const std::optional<unsigned char> b = platform::WideToCp1252(c);
    if (!b) return std::u16string(text);
    bytes += static_cast<char>(*b);
  }
  if (utf8Marks) {
    std::optional<std::u16string> decoded = platform::PosixUtf8ToWide(bytes);
    return decoded ? std::move(*decoded) : std::u16string(text);
  }
  std::u16string decoded = DecodeCodePageText(bytes, 1251);
  return decoded.empty() || !ReadsAsCyrillic(decoded) ? std::u16string(text) : decoded;
}

std::u16string DecodeCodePageText(std::string_view bytes, uint32_t codePage) {
  if (bytes.empty()) return {};
  if (codePage == platform::kCpUtf8) return textlib::DecodeUtf8(bytes);
  std::optional<std::u16string> text = platform::MultiByteToWide(codePage, bytes);
  return text ? std::move(*text) : std::u16string();
}

std::u16string FormatFileSize(int64_t bytes) {
  static constexpr std::u16string_view kUnits[] = {u"Bytes", u"KB", u"MB", u"GB", u"TB", u"PB", u"EB", u"ZB", u"YB"};
  // bytes <= 1024^(i+1) compared as bytes / 1024^i <= 1024 with exact integer steps, so
  // no power of 1024 beyond 2^63 is ever formed.
  size_t unit = 0;
  long double value = static_cast<long double>(bytes);
  if (bytes > 1024) {
    uint64_t rest = static_cast<uint64_t>(bytes);
    uint64_t divisor = 1;
    while (unit + 1 < std::size(kUnits)) {
      // rest <= 1024^(unit+1) <=> ceil(bytes / 1024^unit) <= 1024
      const uint64_t scaled = rest / divisor + (rest % divisor != 0 ? 1 : 0);
      if (scaled <= 1024) break;
      ++unit;
      divisor *= 1024;
    }
    value = static_cast<long double>(bytes) / static_cast<long double>(divisor);
  }
  // "###0.##": rounded to two decimals, trailing zeros dropped, German comma.
  const long double rounded = std::round(std::fabs(value) * 100.0L);
  const uint64_t hundredths = static_cast<uint64_t>(rounded);
  std::u16string text = (value < 0 && hundredths != 0) ? u"-" : u"";
  text += Ascii(std::to_string(hundredths / 100));
  const uint64_t fraction = hundredths % 100;
  if (fraction != 0) {
    text += u',';
    text += static_cast<char16_t>(u'0' + fraction / 10);
    if (fraction % 10 != 0) text += static_cast<char16_t>(u'0' + fraction % 10);
  }
  return text + u" " + std::u16string(kUnits[unit]);
}

std::u16string SecondsToTimeText(int64_t seconds) {
  const int64_t hours = seconds / 3600;
  const int64_t minutes = (seconds - hours * 3600) / 60;
  const int64_t rest = seconds - hours * 3600 - minutes * 60;
  return Decimal(hours) + u":" + Decimal(minutes) + u":" + Decimal(rest);
}

std::u16string FormatThousands(int64_t value) {
  const std::string digits = std::to_string(value < 0 ? 0 - static_cast<uint64_t>(value) : static_cast<uint64_t>(value));
  std::u16string out = value < 0 ? u"-" : u"";
  for (size_t i = 0; i < digits.size(); ++i) {
    if (i > 0 && (digits.size() - i) % 3 == 0) out += u'.';
    out += static_cast<char16_t>(digits[i]);
  }
  return out;
}

std::u16string SummaryLogText(int64_t fileCounter, int64_t elapsedSeconds, int64_t totalBytes) {
  return u" \r\nAnzahl Dateien: " + FormatThousands(fileCounter) + u"\r\n" + Decimal(fileCounter) +
         u" MHT-Dateien wurden indiziert. Zeit: " + SecondsToTimeText(elapsedSeconds + 2) +
         u" Gesamtgröße der Datei(en) : " + FormatFileSize(totalBytes) + u"\r\n";
}

// ---- Files -------------------------------------------------------------------------------------

int64_t GetFileSizeByName(std::u16string_view path) {
  const std::optional<platform::FileStat> st = platform::Stat(platform::PosixPath(path));
  return st && st->isRegular ? st->size : -1;
}

bool WideFileExists(std::u16string_view path) {
  const std::optional<platform::FileStat> st = platform::Stat(platform::PosixPath(path));
  return st && !st->isDirectory;
}

bool WriteFileBytes(std::u16string_view path, std::string_view bytes, bool durable) {
  const std::string posix = platform::PosixPath(path);
  if (posix.empty()) {
    platform::SetLastError(ENOENT);
    return false;
  }
  std::string temp;
  platform::NativeFile file = platform::CreateExclusiveTemp(posix, &temp);
  if (!file.Valid()) return false;
  if (file.Write(bytes.data(), static_cast<int64_t>(bytes.size())) < 0) {
    const int error = platform::LastError();
    file.Close();
    platform::RemoveFile(temp);
    platform::SetLastError(error);
    return false;
  }
  return platform::CommitTempFile(file, temp, posix,
                                  durable ? platform::Durability::Synced : platform::Durability::Unsynced);
}

bool SaveTextToFileInCodePage(std::u16string_view text, std::u16string_view path, uint32_t codePage) {
  if (codePage == platform::kCpUtf8) return WriteFileBytes(path, textlib::EncodeUtf8(text));
  if (codePage == platform::kCpUtf16LE) return WriteFileBytes(path, Utf16LeWithMark(text));
  const std::optional<std::string> bytes = platform::WideToMultiByte(codePage, text);
  if (!bytes) {
    platform::SetLastError(EINVAL);
    return false;
  }
  return WriteFileBytes(path, *bytes);
}

std::vector<ChunkFile> ListChunkFiles(const JobPaths& paths) {
  std::vector<ChunkFile> chunks;
  const auto entries = platform::ListDirectory(platform::PosixPath(paths.tempFolder));
  if (!entries) return chunks;
  const std::u16string head = paths.dbPrefix + std::u16string(kChunkInfix);
  for (const platform::DirEntry& entry : *entries) {
    if (entry.type == platform::DirEntry::Type::Directory) continue;
    const std::optional<std::u16string> name = platform::PosixUtf8ToWide(entry.name);
    if (!name || !name->starts_with(head) || !name->ends_with(u".txt")) continue;
    const std::u16string_view digits = std::u16string_view(*name).substr(head.size(), name->size() - head.size() - 4);
    // More digits than a 64-bit number holds are no chunk of ours.
    if (!IsAllDigits(digits) || digits.size() > 19) continue;
    const std::optional<int64_t> number = ParseInt64(platform::WideToPosixUtf8(digits));
    if (!number) continue;
    chunks.push_back({static_cast<uint64_t>(*number), paths.tempFolder + *name});
  }
  std::sort(chunks.begin(), chunks.end(), [](const ChunkFile& a, const ChunkFile& b) {
    return a.number != b.number ? a.number < b.number : a.path < b.path;
  });
  return chunks;
}

bool JoinFiles(const std::vector<std::u16string>& parts, std::u16string_view target,
               const std::function<void(const std::u16string&)>& status, std::u16string* failedPath) {
  const std::string posix = platform::PosixPath(target);
  std::string temp;
  platform::NativeFile out = platform::CreateExclusiveTemp(posix, &temp);
  auto fail = [&](std::u16string_view path) {
    const int error = platform::LastError();
    if (out.Valid()) out.Close();
    if (!temp.empty()) platform::RemoveFile(temp);
    if (failedPath) *failedPath = path;
    platform::SetLastError(error);
    return false;
  };
  if (!out.Valid()) return fail(target);
  std::string buffer(1 << 20, '\0');
  for (const std::u16string& part : parts) {
    if (status) status(part);
    platform::NativeFile in = platform::NativeFile::Open(platform::PosixPath(part), platform::FileAccess::Read);
    if (!in.Valid()) return fail(part);
    while (true) {
      const int64_t n = in.Read(buffer.data(), static_cast<int64_t>(buffer.size()));
      if (n < 0) return fail(part);
      if (n == 0) break;
      if (out.Write(buffer.data(), n) < 0) return fail(target);
    }
  }
  if (!platform::CommitTempFile(out, temp, posix)) {
    temp.clear();  // removed by the commit
    return fail(target);
  }
  return true;
}

}  // namespace extractor

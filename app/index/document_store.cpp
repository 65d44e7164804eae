#include "app/index/document_store.h"

#include <algorithm>

#include "app/index/write_to_stream.h"
#include "platform/codepage.h"
#include "platform/drives.h"
#include "platform/file.h"
#include "textlib/errors.h"
#include "textlib/io/cptextstream.h"
#include "textlib/stream.h"

namespace app {
namespace {

// Units gathered before one write: big enough that the write calls cost nothing, small
// enough that memory stays flat.
constexpr size_t kWriteChunkUnits = size_t{1} << 19;

}  // namespace

std::u16string WriteErrorText(std::u16string_view fileName) {
  const std::string reason = platform::SystemErrorText(platform::LastError());
  return u"Die Datei " + std::u16string(fileName) + u" kann nicht geschrieben werden: " +
         platform::PosixUtf8ToWide(reason).value_or(u"?");
}

DocumentStore::DocumentStore() = default;

DocumentStore::~DocumentStore() { Discard(); }

void DocumentStore::Fail(std::u16string_view what) {
  if (failed_) return;
  failed_ = true;
  error_ = WriteErrorText(what);
}

bool DocumentStore::BeginFile(std::u16string_view fileName) {
  Discard();
  fileName_ = fileName;
  platform::NativeFile file = platform::CreateExclusiveTemp(platform::PosixPath(fileName), &tempPath_);
  if (!file.Valid()) {
    tempPath_.clear();
    Fail(fileName);
    return false;
  }
  file_ = std::make_unique<textlib::THandleStream>(std::move(file));
  try {
    text_ = std::make_unique<textlib::TCpTextStream>(*file_, textlib::TCpAccessMode::Write, 0, 65001);
  } catch (const textlib::Exception&) {
    Fail(fileName);
  }
  return !failed_;
}

void DocumentStore::Append(std::u16string_view entry) {
  if (failed_ && text_) return;  // the run stops; nothing more is kept
  ++entries_;
  if (text_ && entry.size() >= kWriteChunkUnits) {
    // A large page goes out in slices, never copied whole. A slice never ends between the
    // halves of a surrogate pair, which are one UTF-8 sequence.
    WritePending();
    while (!failed_ && !entry.empty()) {
      size_t slice = std::min(entry.size(), kWriteChunkUnits);
      if (slice < entry.size() && entry[slice - 1] >= 0xD800 && entry[slice - 1] < 0xDC00) --slice;
      WriteSlice(entry.substr(0, slice));
      entry.remove_prefix(slice);
    }
    pending_.append(u"\r\n");
    return;
  }
  pending_.append(entry);
  pending_.append(u"\r\n");
  if (text_ && pending_.size() >= kWriteChunkUnits) WritePending();
}

void DocumentStore::WriteSlice(std::u16string_view text) {
  bool ok = false;
  try {
    ok = text_->WriteText(text);
  } catch (const textlib::Exception&) {
    ok = false;
  }
  if (!ok) Fail(fileName_);
}

void DocumentStore::WritePending() {
  if (!text_ || pending_.empty() || failed_) return;
  WriteSlice(pending_);
  pending_.clear();
}

void DocumentStore::CloseStreams() {
  text_.reset();
  file_.reset();
}

std::string DocumentStore::Finish() {
  if (!text_) return {};
  WritePending();
  text_.reset();
  if (!failed_ && !(file_->File().Sync() && file_->File().Close())) Fail(fileName_);
  file_.reset();
  if (failed_) {
    platform::RemoveFile(tempPath_);
    tempPath_.clear();
    return {};
  }
  std::string done = std::move(tempPath_);
  tempPath_.clear();
  return done;
}

bool DocumentStore::Flush(std::u16string_view fileName) {
  bool ok = false;
  if (text_) {
    const std::string temp = Finish();
    ok = !temp.empty() && platform::RenameFile(temp, platform::PosixPath(fileName));
    if (!ok && !temp.empty()) {
      Fail(fileName);
      platform::RemoveFile(temp);
    }
  } else if (!failed_) {
    ok = WriteToStream(pending_, fileName, 65001);
    if (!ok) Fail(fileName);
  }
  pending_.clear();
  pending_.shrink_to_fit();
  entries_ = 0;
  if (ok) failed_ = false;
  return ok;
}

void DocumentStore::Discard() {
  const bool streaming = file_ != nullptr;
  CloseStreams();
  if (streaming && !tempPath_.empty()) platform::RemoveFile(tempPath_);
  tempPath_.clear();
  fileName_.clear();
  pending_.clear();
  entries_ = 0;
  failed_ = false;
  error_.clear();
}

}  // namespace app

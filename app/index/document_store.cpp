#include "app/index/document_store.h"

#include "app/index/write_to_stream.h"
#include "platform/drives.h"
#include "platform/file.h"
#include "textlib/errors.h"
#include "textlib/io/cptextstream.h"
#include "textlib/io/unistrings.h"

namespace app {
namespace {

// Units gathered before one write: big enough that the write calls cost nothing, small
// enough that memory stays flat.
constexpr size_t kWriteChunkUnits = size_t{1} << 19;

std::u16string CreateErrorText(std::u16string_view name) {
  return u"Datei " + std::u16string(name) + u" kann nicht erstellt werden";
}

}  // namespace

DocumentStore::DocumentStore() = default;

DocumentStore::~DocumentStore() { Discard(); }

bool DocumentStore::BeginFile(std::u16string_view fileName) {
  Discard();
  tempName_ = std::u16string(fileName) + u".schreiben";
  try {
    file_ = std::make_unique<textlib::TUniFileStream>(tempName_, textlib::fmCreate);
    text_ = std::make_unique<textlib::TCpTextStream>(*file_, textlib::TCpAccessMode::Write, 0, 65001);
  } catch (const textlib::Exception& e) {
    CloseStreams();
    tempName_.clear();
    failed_ = true;
    error_ = e.Message();
    return false;
  }
  return true;
}

void DocumentStore::Append(std::u16string_view entry) {
  pending_.append(entry);
  pending_.append(u"\r\n");
  ++entries_;
  if (text_ && pending_.size() >= kWriteChunkUnits) WritePending();
}

void DocumentStore::WritePending() {
  if (!text_ || pending_.empty()) return;
  bool ok = false;
  try {
    ok = text_->WriteText(pending_);
  } catch (const textlib::Exception&) {
    ok = false;
  }
  if (!ok && !failed_) {
    failed_ = true;
    error_ = u"Stream-Schreibfehler: " + tempName_;
  }
  pending_.clear();
}

void DocumentStore::CloseStreams() {
  text_.reset();
  file_.reset();
}

bool DocumentStore::Flush(std::u16string_view fileName) {
  bool ok = false;
  if (text_) {
    WritePending();
    CloseStreams();
    const std::string temp = platform::PosixPath(tempName_);
    ok = !failed_ && platform::RenameFile(temp, platform::PosixPath(fileName));
    if (!ok) {
      if (!failed_) error_ = CreateErrorText(fileName);
      platform::RemoveFile(temp);
    }
    tempName_.clear();
  } else if (!failed_) {
    ok = WriteToStream(pending_, fileName, 65001);
    if (!ok) error_ = CreateErrorText(fileName);
  }
  pending_.clear();
  pending_.shrink_to_fit();
  entries_ = 0;
  failed_ = false;
  return ok;
}

void DocumentStore::Discard() {
  const bool streaming = text_ != nullptr;
  CloseStreams();
  if (streaming) platform::RemoveFile(platform::PosixPath(tempName_));
  tempName_.clear();
  pending_.clear();
  entries_ = 0;
  failed_ = false;
  error_.clear();
}

}  // namespace app

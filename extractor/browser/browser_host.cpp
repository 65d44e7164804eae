#include "extractor/browser/browser_host.h"

#include <QCoreApplication>
#include <QEvent>
#include <QKeyEvent>
#include <QMetaObject>

#include <cerrno>

#include "extractor/browser/rendered_text.h"
#include "platform/codepage.h"

namespace extractor {

// ---- Option sets ----------------------------------------------------------------------

uint32_t DownloadControlFlag(TDownloadControlOption option) {
  const int k = static_cast<int>(option);
  if (k < 0 || k >= TDownloadControlOptions::Count()) return 0;
  // The first fifteen are 0x10 upward; the last four are the top bits.
  if (k <= EnableUrlIfEncodingUTF8) return uint32_t{0x10} << k;
  return uint32_t{0x10000000} << (k - ForceOfflineMode);
}

uint32_t DownloadControlFlags(TDownloadControlOptions options) {
  uint32_t sum = 0;
  for (int k = 0; k < TDownloadControlOptions::Count(); ++k) {
    const auto option = static_cast<TDownloadControlOption>(k);
    if (options.Contains(option)) sum |= DownloadControlFlag(option);
  }
  return sum;
}

uint32_t UserInterfaceFlag(TUserInterfaceOption option) {
  const int k = static_cast<int>(option);
  if (k < 0 || k >= TUserInterfaceOptions::Count()) return 0;
  // The platform's flag 2^15 has no option.
  return k <= 14 ? uint32_t{1} << k : uint32_t{1} << (k + 1);
}

uint32_t UserInterfaceFlags(TUserInterfaceOptions options) {
  uint32_t sum = 0;
  for (int k = 0; k < TUserInterfaceOptions::Count(); ++k) {
    const auto option = static_cast<TUserInterfaceOption>(k);
    if (options.Contains(option)) sum |= UserInterfaceFlag(option);
  }
  return sum;
}

// ---- Pure functions -------------------------------------------------------------------

std::u16string ReplaceDialogCaption(std::u16string_view caption, std::u16string_view newCaption) {
  const std::u16string name = newCaption.empty() ? std::u16string(u"Web Browser") : std::u16string(newCaption);
  std::u16string text(caption);
  constexpr std::u16string_view kMicrosoft = u"Microsoft ";
  constexpr std::u16string_view kExplorer = u"Internet Explorer";
  if (const size_t at = text.find(kMicrosoft); at != std::u16string::npos) text.erase(at, kMicrosoft.size());
  if (const size_t at = text.find(kExplorer); at != std::u16string::npos) text.replace(at, kExplorer.size(), name);
  if (text.find(name) == std::u16string::npos) text.append(u":  ").append(name);
  return text;
}

bool IsBrowserDialogClass(std::u16string_view className) {
  return className == u"#32770" || className == u"Internet Explorer_TridentDlgFrame";
}

TDialogVerdict ClassifyDialogCaption(std::u16string_view caption) {
  std::u16string upper(caption);
  for (char16_t& c : upper)
    if (c >= u'a' && c <= u'z') c = static_cast<char16_t>(c - u'a' + u'A');
  if (upper.find(u"SCRIPT") != std::u16string::npos) return TDialogVerdict::dvScript;
  if (upper.find(u"ERROR") != std::u16string::npos) return TDialogVerdict::dvError;
  return TDialogVerdict::dvNone;
}

TDialogPlan PlanDialogHandling(std::u16string_view className, std::u16string_view caption,
                               const TDialogBoxes& boxes, const TDisableErrors& errors) {
  TDialogPlan plan;
  if (!IsBrowserDialogClass(className)) return plan;
  plan.handled = true;
  plan.close = boxes.DisableAll;
  plan.replaceIcon = boxes.ReplaceIcon;
  plan.setCaption = boxes.ReplaceCaption;
  plan.caption = boxes.ReplaceCaption ? ReplaceDialogCaption(caption, boxes.NewCaption) : std::u16string(caption);
  if (errors.ScriptErrorsSuppressed) plan.verdict = ClassifyDialogCaption(plan.caption);
  return plan;
}

bool IsSwallowedControlKey(int key, bool ctrlHeld, std::u16string_view ctrlCharMask) {
  if (!ctrlHeld) return false;
  for (char16_t c : ctrlCharMask) {
    if (c >= u'a' && c <= u'z') c = static_cast<char16_t>(c - u'a' + u'A');
    if (static_cast<int>(c) == key) return true;
  }
  return false;
}

TScriptErrorAnswer AnswerScriptError(TScriptErrorAction action) {
  switch (action) {
    case TScriptErrorAction::eaContinue: return {kS_OK, true};
    case TScriptErrorAction::eaCancel: return {kS_OK, false};
    case TScriptErrorAction::eaAskUser: break;
  }
  return {kS_FALSE, true};
}

platform::MemoryClipboard& BrowserClipboard() {
  static platform::MemoryClipboard clipboard;
  return clipboard;
}

std::u16string PasteBrowserClipboard() {
  const platform::MemoryClipboard& clipboard = BrowserClipboard();
  return clipboard.hasUnicodeText ? clipboard.unicodeText : std::u16string();
}

// ---- TBrowserControl ------------------------------------------------------------------

TBrowserControl::TBrowserControl(QObject* parent) : QObject(parent) {}

TBrowserControl::~TBrowserControl() = default;

void TBrowserControl::Navigate(const std::u16string& url) {
  const std::string narrow = platform::WideToAnsi(url);
  size_t first = 0, last = narrow.size();
  while (first < last && static_cast<unsigned char>(narrow[first]) <= ' ') ++first;
  while (last > first && static_cast<unsigned char>(narrow[last - 1]) <= ' ') --last;
  if (first == last) return;

  const uint64_t ticket = ++ticket_;
  document_.reset();
  selected_ = false;
  busy_ = true;
  readyState_ = kReadyStateLoading;
  pendingUrl_ = url;
  if (OnBeforeNavigate2) {
    bool cancel = false;
    OnBeforeNavigate2(*this, url, cancel);
    if (ticket != ticket_) return;  // the handler navigated elsewhere or stopped
    if (cancel) {
      ++ticket_;
      busy_ = false;
      readyState_ = kReadyStateComplete;
      return;
    }
  }
  QMetaObject::invokeMethod(this, [this, ticket] { RunQueuedLoad(ticket); }, Qt::QueuedConnection);
}

void TBrowserControl::RunQueuedLoad(uint64_t ticket) {
  if (ticket != ticket_) return;
  if (OnDownloadBegin) {
    OnDownloadBegin(*this);
    if (ticket != ticket_) return;
  }
  const std::u16string url = pendingUrl_;
  auto document = std::make_unique<TBrowserDocument>();
  document->url = url;
  int32_t errorCode = 0;
  const bool loaded = LoadPage(url, *document, errorCode);
  if (ticket != ticket_) return;
  ++ticket_;  // nothing of this navigation is pending any more
  busy_ = false;
  readyState_ = kReadyStateComplete;
  if (loaded) {
    document_ = std::move(document);
    if (OnDocumentComplete) OnDocumentComplete(*this, url);
  } else if (OnNavigateError) {
    bool cancel = false;
    OnNavigateError(*this, url, errorCode, cancel);
  }
}

bool TBrowserControl::LoadPage(const std::u16string& url, TBrowserDocument& document, int32_t& errorCode) {
  TRenderedArchive archive = RenderArchive(url);
  if (!archive.ok) {
    switch (archive.errorCode) {
      case ENOENT: case ENOTDIR: case EISDIR: errorCode = kNavErrorNotFound; break;
      case EINVAL: errorCode = kNavErrorBadUrl; break;
      default: errorCode = kNavErrorCannotRead; break;
    }
    return false;
  }
  document.text = std::move(archive.text);
  document.charsetDeclared = archive.part.charsetSource == TCharsetSource::kDeclared ||
                             archive.part.charsetSource == TCharsetSource::kMeta ||
                             archive.part.charsetSource == TCharsetSource::kByteOrderMark;
  return true;
}

void TBrowserControl::Stop() {
  ++ticket_;
  if (busy_) {
    busy_ = false;
    readyState_ = kReadyStateComplete;
  }
}

void TBrowserControl::SelectAll() {
  if (document_) selected_ = true;
}

void TBrowserControl::Copy() {
  platform::MemoryClipboard& clipboard = BrowserClipboard();
  if (!clipboard.Open()) return;
  clipboard.Empty();
  if (document_ && selected_ && !document_->text.empty()) clipboard.SetUnicodeText(document_->text);
  clipboard.Close();
}

// ---- TCustomBrowserHost ---------------------------------------------------------------

TCustomBrowserHost::TCustomBrowserHost(QObject* parent) : TBrowserControl(parent) {
  downloadFlags_ = DownloadControlFlags(downloadOptions_);
  userInterfaceFlags_ = UserInterfaceFlags(userInterfaceOptions_);
}

void TCustomBrowserHost::SetDownloadOptions(TDownloadControlOptions options) {
  downloadOptions_ = options;
  downloadFlags_ = DownloadControlFlags(options);
  ++ambientChanges_;
}

void TCustomBrowserHost::SetUserInterfaceOptions(TUserInterfaceOptions options) {
  userInterfaceOptions_ = options;
  userInterfaceFlags_ = UserInterfaceFlags(options);
  ++ambientChanges_;
}

HResult TCustomBrowserHost::ShowContextMenu(TContextMenuKind kind) const {
  return DisabledPopupMenus.Contains(kind) || DisabledPopupMenus.Contains(rcmAll) ? kS_OK : kS_FALSE;
}

THostInfo TCustomBrowserHost::GetHostInfo() const {
  THostInfo info;
  info.dwFlags = userInterfaceFlags_;
  return info;
}

HResult TCustomBrowserHost::TranslateAccelerator(int key, bool ctrlHeld) const {
  return IsSwallowedControlKey(key, ctrlHeld, ShortCuts.CtrlCharMask) ? kS_OK : kS_FALSE;
}

HResult TCustomBrowserHost::GetOptionKeyPath(std::u16string& path) const {
  path = OptionKeyPath;
  return OptionKeyPath.empty() ? kS_FALSE : kS_OK;
}

bool TCustomBrowserHost::AmbientProperty(int32_t dispid, int64_t& value) const {
  switch (dispid) {
    case kDispidAmbientDownloadControl: value = downloadFlags_; return true;
    case kDispidAmbientUserMode: value = 1; return true;
    default: return false;
  }
}

HResult TCustomBrowserHost::ExecCommand(bool scriptErrorGroup, uint32_t command, bool* continueScripts) const {
  constexpr uint32_t kScriptErrorCommand = 40;
  if (!scriptErrorGroup || command != kScriptErrorCommand) return kOLECMDERR_E_NOTSUPPORTED;
  const TScriptErrorAnswer answer = AnswerScriptError(ScriptErrorAction);
  if (continueScripts != nullptr && answer.result == kS_OK) *continueScripts = answer.continueScripts;
  return answer.result;
}

bool TCustomBrowserHost::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::KeyPress || event->type() == QEvent::ShortcutOverride) {
    const auto* key = static_cast<QKeyEvent*>(event);
    // The input event's own (inline) modifiers: they differ from the key event's only for
    // a modifier key itself, and need no code of the GUI library, which the headless
    // tools would otherwise load at every start.
    const bool control = key->QInputEvent::modifiers().testFlag(Qt::ControlModifier);
    if (TranslateAccelerator(key->key(), control) == kS_OK) {
      event->accept();
      return true;
    }
  }
  return TBrowserControl::eventFilter(watched, event);
}

// ---- TBrowserHost ---------------------------------------------------------------------

TBrowserHost::TBrowserHost(QObject* parent)
    : TCustomBrowserHost(parent),
      dialogBoxes_(std::make_unique<TDialogBoxes>()),
      disableErrors_(std::make_unique<TDisableErrors>()),
      proxySettings_(std::make_unique<TProxySettings>()),
      printOptions_(std::make_unique<TPrintOptions>()),
      visualEffects_(std::make_unique<TVisualEffects>()) {
  About = Banner();
  UserAgent = Banner();
}

TBrowserHost::~TBrowserHost() = default;

const std::u16string& TBrowserHost::Banner() {
  static const std::u16string banner = u"Gleaner Browser Host 1.0 (MIME reader over GMime)";
  return banner;
}

THostInfo TBrowserHost::GetHostInfo() const {
  THostInfo info = TCustomBrowserHost::GetHostInfo();
  info.pchHostCss = HostCSS;
  info.pchHostNS = HostNS;
  return info;
}

void TBrowserHost::Loaded() {
  if (loaded_) return;
  loaded_ = true;
  if (disableErrors_->ScriptErrorsSuppressed) ScriptErrorAction = TScriptErrorAction::eaContinue;
}

std::u16string TBrowserHost::RecordedUserAgent() const {
  return UserAgent == Banner() ? UserAgent : UserAgent + Banner();
}

}  // namespace extractor

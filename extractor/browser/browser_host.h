#pragma once
// The extractor's web-browser control, stood in for by our own engine: a navigation reads a
// local web archive or mail, takes its root text part and lays out the text a browser shows
// of it (extractor/browser/rendered_text.h). Select-all and copy put that text on a
// clipboard private to the extractor, so the user's clipboard is never touched.
//
// Navigation state machine (GUI thread; events arrive only while the Qt event loop runs):
//   Navigate(url)  url blank after trimming: nothing at all. Otherwise, at once:
//                  ReadyState 1 (loading), Busy true, the document dropped, OnBeforeNavigate2
//                  (cancel = true ends the navigation: ReadyState 4, Busy false, no
//                  further event). The load itself is queued on the event loop.
//   event loop     OnDownloadBegin; the file is read and rendered; then either
//                  ReadyState 4, Busy false, OnDocumentComplete(url)       (a document)
//                  or ReadyState 4, Busy false, OnNavigateError(url, code) (no document;
//                  never followed by OnDocumentComplete).
//   Stop()         drops a queued load (no event follows); while busy: Busy false, ReadyState 4.
//   A new Navigate while a load is queued replaces it; the old one raises nothing.
// So a ReadyState of 4 left from an earlier page never ends the wait for the next one.
#include <QObject>

#include <cstdint>
#include <functional>
#include <initializer_list>
#include <memory>
#include <string>
#include <string_view>

#include "platform/clipboard.h"

class QEvent;

namespace extractor {

// A small set over an enumeration of at most 64 members (the option sets of the host).
template <typename E, int N>
class TOptionSet {
 public:
  constexpr TOptionSet() = default;
  constexpr TOptionSet(std::initializer_list<E> members) {
    for (E m : members) Include(m);
  }
  constexpr void Include(E m) { bits_ |= Bit(m); }
  constexpr void Exclude(E m) { bits_ &= ~Bit(m); }
  constexpr bool Contains(E m) const { return (bits_ & Bit(m)) != 0; }
  constexpr bool Empty() const { return bits_ == 0; }
  constexpr uint64_t Bits() const { return bits_; }
  static constexpr int Count() { return N; }
  friend constexpr bool operator==(TOptionSet a, TOptionSet b) { return a.bits_ == b.bits_; }

 private:
  static constexpr uint64_t Bit(E m) {
    const int k = static_cast<int>(m);
    return k >= 0 && k < N ? uint64_t{1} << k : 0;
  }
  uint64_t bits_ = 0;
};

// Download-control options in declaration order; each maps to the download-control flag.
enum TDownloadControlOption : int {
  DownloadImages,          // 0x10
  DownloadVideos,          // 0x20
  DownloadBGSounds,        // 0x40
  DontExecuteScripts,      // 0x80
  DontExecuteJava,         // 0x100
  DontExecuteActiveX,      // 0x200
  DontDownloadActiveX,     // 0x400
  DownloadButDontDisplay,  // 0x800
  DontDownloadFrame,       // 0x1000
  CheckPageResynchronize,  // 0x2000
  DownloadAndIgnoreCache,  // 0x4000
  DontDownloadBehaviors,   // 0x8000
  SuppressedMetaCharset,   // 0x10000
  DisableUrlIfEncodingUTF8,  // 0x20000
  EnableUrlIfEncodingUTF8,   // 0x40000
  ForceOfflineMode,        // 0x10000000
  DontPerformClientPull,   // 0x20000000
  DonloadInSilentMode,     // 0x40000000
  WorkOffline,             // 0x80000000
};
using TDownloadControlOptions = TOptionSet<TDownloadControlOption, 19>;
uint32_t DownloadControlFlag(TDownloadControlOption option);
uint32_t DownloadControlFlags(TDownloadControlOptions options);

// Host-UI options: member k maps to 2^k up to k = 14 and to 2^(k+1) from k = 15 on.
enum TUserInterfaceOption : int {
  DisableTextSelect, DisableHelpMenu, DontUse3DBorders, DontUseScrollBars,
  PostDocumentEvents, OpenNewWin, DisableOffscreen, FlatScrollBars,
  DivBlockDefault, ActivateClientHitOnly, OverrideBehaviorFactory, CodePageLinkedFonts,
  UrlEncodingDisableUTF8, UrlEncodingEnableUTF8, EnableFormsAutoComplete,
  EnableInPlaceNavigation, ImeEnableReconversion, Theme, NoTheme,
  NoPics, No3DOuterBorder, DisableEditNsFixup, LocalMachineAccessCheck,
  DisableUntrustedProtocol, HostNavigates, EnableRedirectNotification,
  UseWindowlessSelectControl, UseWindowedSelectControl, EnableActivexInactivateMode,
};
using TUserInterfaceOptions = TOptionSet<TUserInterfaceOption, 29>;
uint32_t UserInterfaceFlag(TUserInterfaceOption option);
uint32_t UserInterfaceFlags(TUserInterfaceOptions options);

enum class TScriptErrorAction : int { eaContinue = 0, eaCancel = 1, eaAskUser = 2 };
enum class TDragDropHandlingType : int { ddtMS, ddtMy, ddtCustom, ddtNo };

// Context-menu kinds the control asks about; rcmAll stands for every kind.
enum TContextMenuKind : int {
  rcmDefault, rcmImage, rcmControl, rcmTable, rcmSelText, rcmAnchor, rcmUnknown,
  rcmImgDynSrc, rcmImgArt, rcmDebug, rcmVertScroll, rcmHorzScroll, rcmAll,
};
using TContextMenuKinds = TOptionSet<TContextMenuKind, 13>;

// Answers of the host callbacks.
using HResult = int32_t;
inline constexpr HResult kS_OK = 0;
inline constexpr HResult kS_FALSE = 1;
inline constexpr HResult kE_NOTIMPL = static_cast<HResult>(0x80004001u);
inline constexpr HResult kE_NOINTERFACE = static_cast<HResult>(0x80004002u);
inline constexpr HResult kOLECMDERR_E_NOTSUPPORTED = static_cast<HResult>(0x80040100u);

// Ambient properties the control reads from its host.
inline constexpr int32_t kDispidAmbientDownloadControl = -5512;
inline constexpr int32_t kDispidAmbientUserMode = -709;

// Ready states of the control.
inline constexpr int32_t kReadyStateUninitialized = 0;
inline constexpr int32_t kReadyStateLoading = 1;
inline constexpr int32_t kReadyStateComplete = 4;

// Navigation error codes raised with OnNavigateError.
inline constexpr int32_t kNavErrorNotFound = 404;    // no such file (or a folder)
inline constexpr int32_t kNavErrorCannotRead = 500;  // the file could not be read
inline constexpr int32_t kNavErrorBadUrl = 400;      // no local file (another scheme, unknown drive)

// ---- Option objects, created with the host and freed with it -------------------------

struct TDialogBoxes {
  bool DisableAll = false;
  bool ReplaceCaption = true;
  bool ReplaceIcon = true;
  std::u16string NewCaption;  // empty: "Web Browser"
};

struct TDisableErrors {
  bool EnableDDE = true;
  bool fpExceptions = true;
  bool ScriptErrorsSuppressed = true;
};

struct TProxySettings {
  int32_t Port = 80;
  bool AutoLoadProxy = false;
  std::u16string Address;
  std::u16string UserName;
  std::u16string Password;
};

struct TMargins {
  double Left = 0, Top = 0, Right = 0, Bottom = 0;
};

enum class TPrintOrientation : int { poPortrait, poLandscape };

struct TPrintOptions {
  TMargins Margins;
  std::u16string HTMLHeader = u"<HTML></HTML>";  // one line
  std::u16string Header;
  std::u16string Footer;
  TPrintOrientation Orientation = TPrintOrientation::poPortrait;
  bool Enabled = false;
};

struct TShortCuts {
  std::u16string CtrlCharMask = u"N";
};

struct TVisualEffects {
  int32_t TextSize = 2;
  bool DisableSounds = false;
};

// ---- Pure functions of the dialog handling and the host callbacks ---------------------

// The caption a dialog box of the control gets: the first "Microsoft " removed, the first
// "Internet Explorer" replaced by the new caption ("Web Browser" when empty), and
// ":  " + new caption appended when the result does not hold it.
std::u16string ReplaceDialogCaption(std::u16string_view caption, std::u16string_view newCaption);

// Whether a window class is one of the control's dialog boxes ("#32770",
// "Internet Explorer_TridentDlgFrame"; exact comparison).
bool IsBrowserDialogClass(std::u16string_view className);

// What the suppressed-errors rule does with a dialog box by its (rewritten) caption:
// "SCRIPT" in any case: click and close; otherwise "ERROR" in any case: destroy.
enum class TDialogVerdict { dvNone, dvScript, dvError };
TDialogVerdict ClassifyDialogCaption(std::u16string_view caption);

// The whole handling of a dialog box that takes the activation from the owner form.
struct TDialogPlan {
  bool handled = false;       // a dialog box of the control at all
  bool close = false;         // DisableAll: WM_CLOSE
  bool replaceIcon = false;
  bool setCaption = false;
  std::u16string caption;     // the caption to set when setCaption
  TDialogVerdict verdict = TDialogVerdict::dvNone;  // dvNone: passed on to the form
};
TDialogPlan PlanDialogHandling(std::u16string_view className, std::u16string_view caption,
                               const TDialogBoxes& boxes, const TDisableErrors& errors);

// Ctrl + a character of the mask (case-insensitive letters): the control must not act on
// the key. key is the character's upper-case code (Qt::Key_N == 'N').
bool IsSwallowedControlKey(int key, bool ctrlHeld, std::u16string_view ctrlCharMask);

// The answer to the control's script-error command: S_OK with the output (true: scripts go
// on, false: scripts stop), or S_FALSE for eaAskUser (the control asks).
struct TScriptErrorAnswer {
  HResult result = kS_OK;
  bool continueScripts = true;
};
TScriptErrorAnswer AnswerScriptError(TScriptErrorAction action);

// The host-information structure the control asks for.
struct THostInfo {
  uint32_t cbSize = 20;
  uint32_t dwFlags = 0;
  uint32_t dwDoubleClick = 0;  // the default action
  std::u16string pchHostCss;
  std::u16string pchHostNS;
};

// The process-wide clipboard of the extractor's browser: Copy writes here and the job
// pastes from here; platform::TheClipboard() (the user's) is never used by the browser.
platform::MemoryClipboard& BrowserClipboard();
// The text on the browser clipboard (empty when there is none).
std::u16string PasteBrowserClipboard();

// ---- The component family ------------------------------------------------------------

// The loaded page: the text the browser shows of it.
struct TBrowserDocument {
  std::u16string url;
  std::u16string text;  // the rendered text, lines ended by CR LF
  // The text part named its charset (MIME header or meta element) or began with a
  // byte-order mark; otherwise it was read as UTF-8 where well-formed, else as code page
  // 1252, and a code-page repair may apply.
  bool charsetDeclared = false;
};

class TBrowserControl : public QObject {
 public:
  explicit TBrowserControl(QObject* parent = nullptr);
  ~TBrowserControl() override;

  // Events of the control. Handlers run on the GUI thread inside the event loop (Navigate
  // raises OnBeforeNavigate2 itself).
  std::function<void(TBrowserControl& sender, const std::u16string& url)> OnDocumentComplete;
  std::function<void(TBrowserControl& sender, const std::u16string& url, int32_t statusCode,
                     bool& cancel)> OnNavigateError;
  std::function<void(TBrowserControl& sender, const std::u16string& url, bool& cancel)> OnBeforeNavigate2;
  std::function<void(TBrowserControl& sender)> OnDownloadBegin;
  std::function<void(TBrowserControl& sender, bool& cancel)> OnNewWindow2;
  std::function<void(TBrowserControl& sender, bool& cancel, const std::u16string& url)> OnNewWindow3;
  std::function<void(TBrowserControl& sender, bool addressBar)> OnAddressBar;

  // Local file path or file:// URL. A text that is blank after narrowing to the ANSI code
  // page and trimming does nothing.
  void Navigate(const std::u16string& url);
  void Stop();
  bool Busy() const { return busy_; }
  int32_t ReadyState() const { return readyState_; }
  // The current page, nullptr before the first page and while a navigation is pending.
  const TBrowserDocument* Document() const { return document_.get(); }
  // The document's command target: select all (command 17) and copy (command 12). Without a
  // document SelectAll does nothing. Copy replaces what the browser clipboard held by the
  // selection, so without a document or a selection the clipboard is left empty and no
  // earlier page's text is ever pasted for this one.
  void SelectAll();
  void Copy();

 protected:
  // Reads and renders the page of a navigation: true with the document's text, or false
  // with an error code (kNavError...). The default reads a local archive; tests replace it.
  virtual bool LoadPage(const std::u16string& url, TBrowserDocument& document, int32_t& errorCode);

 private:
  void RunQueuedLoad(uint64_t ticket);

  std::unique_ptr<TBrowserDocument> document_;
  std::u16string pendingUrl_;
  uint64_t ticket_ = 0;  // the queued load that may still run
  bool selected_ = false;
  bool busy_ = false;
  int32_t readyState_ = kReadyStateUninitialized;
};

class TCustomBrowserHost : public TBrowserControl {
 public:
  explicit TCustomBrowserHost(QObject* parent = nullptr);

  // Published settings with their defaults at creation.
  TDownloadControlOptions DownloadOptions() const { return downloadOptions_; }
  void SetDownloadOptions(TDownloadControlOptions options);
  TUserInterfaceOptions UserInterfaceOptions() const { return userInterfaceOptions_; }
  void SetUserInterfaceOptions(TUserInterfaceOptions options);
  uint32_t DownloadControlFlagSum() const { return downloadFlags_; }
  uint32_t UserInterfaceFlagSum() const { return userInterfaceFlags_; }
  // How often the control was told that the ambient download control changed.
  int AmbientChanges() const { return ambientChanges_; }

  TScriptErrorAction ScriptErrorAction = TScriptErrorAction::eaContinue;
  TDragDropHandlingType DropHandlingType = TDragDropHandlingType::ddtMS;
  TContextMenuKinds DisabledPopupMenus;
  TShortCuts ShortCuts;  // CtrlCharMask "N"
  std::u16string OptionKeyPath;
  std::u16string HelpFile;

  // Host callbacks, answered as the control expects when no event is assigned.
  HResult ShowContextMenu(TContextMenuKind kind) const;  // S_OK: no menu; S_FALSE: own menu
  virtual THostInfo GetHostInfo() const;
  // Ctrl + a character of CtrlCharMask: S_OK (swallowed); everything else S_FALSE.
  HResult TranslateAccelerator(int key, bool ctrlHeld) const;
  HResult GetOptionKeyPath(std::u16string& path) const;  // S_FALSE and empty without one
  HResult GetDropTarget() const { return kE_NOTIMPL; }
  HResult QueryService() const { return kE_NOINTERFACE; }
  // Ambient properties by dispatch id; false for one the host does not answer.
  bool AmbientProperty(int32_t dispid, int64_t& value) const;
  // IOleCommandTarget.Exec: the script-error command, everything else not supported.
  HResult ExecCommand(bool scriptErrorGroup, uint32_t command, bool* continueScripts) const;

  // Swallows Ctrl + a character of the mask on any object it is installed on (a view of the
  // page), as TranslateAccelerator does for the control.
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  TDownloadControlOptions downloadOptions_{DownloadImages, DownloadVideos, DownloadBGSounds};
  TUserInterfaceOptions userInterfaceOptions_;
  uint32_t downloadFlags_ = 0x70;
  uint32_t userInterfaceFlags_ = 0;
  int ambientChanges_ = 0;
};

class TBrowserHost : public TCustomBrowserHost {
 public:
  explicit TBrowserHost(QObject* parent = nullptr);
  ~TBrowserHost() override;

  THostInfo GetHostInfo() const override;  // with HostCSS and HostNS

  // The component's banner, the default of About and UserAgent.
  static const std::u16string& Banner();

  std::u16string About;
  std::u16string UserAgent;
  std::u16string HostCSS;
  std::u16string HostNS;
  TContextMenuKinds DisabledPopupMenuItems;
  bool EnableMessageHandler = true;

  TDialogBoxes& DialogBoxes() { return *dialogBoxes_; }
  TDisableErrors& DisableErrors() { return *disableErrors_; }
  TProxySettings& ProxySettings() { return *proxySettings_; }
  TPrintOptions& PrintOptions() { return *printOptions_; }
  TVisualEffects& VisualEffects() { return *visualEffects_; }

  // Finishing the load once the owner has set the layout's values: with
  // DisableErrors.ScriptErrorsSuppressed the script-error action becomes eaContinue.
  void Loaded();
  // The user agent text as recorded by Loaded: UserAgent, with the banner appended when it
  // differs from the banner.
  std::u16string RecordedUserAgent() const;
  bool IsLoaded() const { return loaded_; }

 private:
  std::unique_ptr<TDialogBoxes> dialogBoxes_;
  std::unique_ptr<TDisableErrors> disableErrors_;
  std::unique_ptr<TProxySettings> proxySettings_;
  std::unique_ptr<TPrintOptions> printOptions_;
  std::unique_ptr<TVisualEffects> visualEffects_;
  bool loaded_ = false;
};

}  // namespace extractor

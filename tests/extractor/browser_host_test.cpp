// The browser host: its navigation states and events through the event loop, select-all
// and copy onto the extractor's own clipboard, the option objects and the host answers.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QKeyEvent>

#include <fcntl.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "extractor/browser/browser_host.h"
#include "extractor/mime/archive_file.h"
#include "platform/clipboard.h"
#include "tests/support/temp_dir.h"

namespace extractor {
namespace {

const char kArchive[] =
    "MIME-Version: 1.0\r\nContent-Type: multipart/related; boundary=B\r\n\r\n--B\r\n"
    "Content-Type: text/html; charset=utf-8\r\nContent-Transfer-Encoding: quoted-printable\r\n\r\n"
    "<html><head><title>T</title></head><body><p>Gr=C3=BC=C3=9Fe</p></body></html>\r\n--B--\r\n";

// Records every event of a host in order.
struct Recorder {
  std::vector<std::string> events;
  void Attach(TBrowserControl& browser) {
    browser.OnBeforeNavigate2 = [this](TBrowserControl& b, const std::u16string&, bool&) {
      events.push_back("before:" + std::to_string(b.ReadyState()));
    };
    browser.OnDownloadBegin = [this](TBrowserControl&) { events.push_back("download"); };
    browser.OnDocumentComplete = [this](TBrowserControl& b, const std::u16string&) {
      events.push_back("complete:" + std::to_string(b.ReadyState()));
    };
    browser.OnNavigateError = [this](TBrowserControl& b, const std::u16string&, int32_t code, bool&) {
      events.push_back("error:" + std::to_string(code) + ":" + std::to_string(b.ReadyState()));
    };
  }
};

void Pump() {
  for (int i = 0; i < 5; ++i) QCoreApplication::processEvents();
}

class BrowserHostTest : public ::testing::Test {
 protected:
  void SetUp() override {
    drive_.WriteFile("a.mht", kArchive);
    recorder_.Attach(browser_);
    browser_.Loaded();
  }
  testsupport::TempDrive drive_;
  TBrowserHost browser_;
  Recorder recorder_;
};

TEST_F(BrowserHostTest, NavigationCompletesOnlyThroughTheEventLoop) {
  browser_.Navigate(drive_.Drive(u"a.mht"));
  EXPECT_EQ(browser_.ReadyState(), kReadyStateLoading);
  EXPECT_TRUE(browser_.Busy());
  EXPECT_EQ(browser_.Document(), nullptr);
  EXPECT_EQ(recorder_.events, std::vector<std::string>{"before:1"});
  Pump();
  EXPECT_EQ(recorder_.events, (std::vector<std::string>{"before:1", "download", "complete:4"}));
  EXPECT_FALSE(browser_.Busy());
  ASSERT_NE(browser_.Document(), nullptr);
  EXPECT_TRUE(browser_.Document()->charsetDeclared);

  // The ready state of the finished page drops at once with the next navigation.
  browser_.Navigate(u"file://" + std::u16string(drive_.Root().begin(), drive_.Root().end()) + u"/a.mht");
  EXPECT_EQ(browser_.ReadyState(), kReadyStateLoading);
  Pump();
  EXPECT_EQ(recorder_.events.back(), "complete:4");
}

TEST_F(BrowserHostTest, BlankNavigationDoesNothing) {
  for (const std::u16string& blank : {std::u16string(), std::u16string(u"  \t "), std::u16string(u"\r\n")}) {
    browser_.Navigate(blank);
    Pump();
  }
  EXPECT_TRUE(recorder_.events.empty());
  EXPECT_EQ(browser_.ReadyState(), kReadyStateUninitialized);
  EXPECT_FALSE(browser_.Busy());
}

TEST_F(BrowserHostTest, NavigationErrorIsNeverFollowedByDocumentComplete) {
  browser_.Navigate(drive_.Drive(u"missing.mht"));
  Pump();
  browser_.Navigate(drive_.Drive());  // a folder
  Pump();
  browser_.Navigate(u"http://example.org/page.mht");
  Pump();
  EXPECT_EQ(recorder_.events, (std::vector<std::string>{"before:1", "download", "error:404:4", "before:1", "download",
                                                        "error:404:4", "before:1", "download", "error:400:4"}));
  EXPECT_EQ(browser_.Document(), nullptr);
}

TEST_F(BrowserHostTest, StopAndRenavigationDropThePendingLoad) {
  browser_.Navigate(drive_.Drive(u"a.mht"));
  browser_.Stop();
  EXPECT_FALSE(browser_.Busy());
  EXPECT_EQ(browser_.ReadyState(), kReadyStateComplete);
  Pump();
  EXPECT_EQ(recorder_.events, std::vector<std::string>{"before:1"});

  recorder_.events.clear();
  browser_.Navigate(drive_.Drive(u"missing.mht"));
  browser_.Navigate(drive_.Drive(u"a.mht"));
  Pump();
  EXPECT_EQ(recorder_.events, (std::vector<std::string>{"before:1", "before:1", "download", "complete:4"}));

  recorder_.events.clear();
  browser_.OnBeforeNavigate2 = [](TBrowserControl&, const std::u16string&, bool& cancel) { cancel = true; };
  browser_.Navigate(drive_.Drive(u"a.mht"));
  Pump();
  EXPECT_TRUE(recorder_.events.empty());
  EXPECT_EQ(browser_.ReadyState(), kReadyStateComplete);
}

TEST_F(BrowserHostTest, CopyUsesThePrivateClipboardOnly) {
  platform::MemoryClipboard& user = static_cast<platform::MemoryClipboard&>(platform::TheClipboard());
  ASSERT_TRUE(user.Open());
  user.Empty();
  user.SetUnicodeText(u"the user's text");
  user.Close();

  browser_.Navigate(drive_.Drive(u"a.mht"));
  Pump();
  browser_.SelectAll();
  browser_.Copy();
  EXPECT_EQ(PasteBrowserClipboard(), u"Grüße\r\n\r\n");
  EXPECT_EQ(user.unicodeText, u"the user's text");

  // A page that failed leaves no earlier text to paste.
  browser_.Navigate(drive_.Drive(u"missing.mht"));
  Pump();
  browser_.SelectAll();
  browser_.Copy();
  EXPECT_EQ(PasteBrowserClipboard(), u"");
  // Copy without a selection copies nothing either.
  browser_.Navigate(drive_.Drive(u"a.mht"));
  Pump();
  browser_.Copy();
  EXPECT_EQ(PasteBrowserClipboard(), u"");
  EXPECT_EQ(user.unicodeText, u"the user's text");
}

TEST_F(BrowserHostTest, ControlNIsSwallowed) {
  QObject view;
  view.installEventFilter(&browser_);
  struct Counter : QObject {
    int keys = 0;
    bool eventFilter(QObject*, QEvent* event) override {
      if (event->type() == QEvent::KeyPress) ++keys;
      return false;
    }
  } counter;
  view.installEventFilter(&counter);  // runs first, sees every key
  QKeyEvent ctrlN(QEvent::KeyPress, Qt::Key_N, Qt::ControlModifier, "\x0e");
  QKeyEvent plainN(QEvent::KeyPress, Qt::Key_N, Qt::NoModifier, "n");
  QKeyEvent ctrlC(QEvent::KeyPress, Qt::Key_C, Qt::ControlModifier, "\x03");
  QCoreApplication::sendEvent(&view, &ctrlN);
  EXPECT_TRUE(ctrlN.isAccepted());
  EXPECT_EQ(browser_.TranslateAccelerator(Qt::Key_N, true), kS_OK);
  EXPECT_EQ(browser_.TranslateAccelerator(Qt::Key_N, false), kS_FALSE);
  EXPECT_EQ(browser_.TranslateAccelerator(Qt::Key_C, true), kS_FALSE);
  EXPECT_TRUE(browser_.eventFilter(&view, &ctrlN));
  EXPECT_FALSE(browser_.eventFilter(&view, &plainN));
  EXPECT_FALSE(browser_.eventFilter(&view, &ctrlC));
  EXPECT_EQ(counter.keys, 1);
}

TEST(BrowserOptionsTest, DefaultsAndFlagSums) {
  TBrowserHost host;
  EXPECT_EQ(host.DownloadOptions(), (TDownloadControlOptions{DownloadImages, DownloadVideos, DownloadBGSounds}));
  EXPECT_EQ(host.DownloadControlFlagSum(), 0x70u);
  EXPECT_EQ(host.UserInterfaceFlagSum(), 0u);
  EXPECT_EQ(host.ScriptErrorAction, TScriptErrorAction::eaContinue);
  EXPECT_EQ(host.DropHandlingType, TDragDropHandlingType::ddtMS);
  EXPECT_TRUE(host.DisabledPopupMenus.Empty());
  EXPECT_EQ(host.ShortCuts.CtrlCharMask, u"N");
  EXPECT_TRUE(host.OptionKeyPath.empty());
  EXPECT_EQ(host.About, TBrowserHost::Banner());
  EXPECT_EQ(host.UserAgent, TBrowserHost::Banner());
  EXPECT_TRUE(host.EnableMessageHandler);
  EXPECT_FALSE(host.DialogBoxes().DisableAll);
  EXPECT_TRUE(host.DialogBoxes().ReplaceCaption);
  EXPECT_TRUE(host.DialogBoxes().ReplaceIcon);
  EXPECT_TRUE(host.DisableErrors().EnableDDE);
  EXPECT_TRUE(host.DisableErrors().fpExceptions);
  EXPECT_TRUE(host.DisableErrors().ScriptErrorsSuppressed);
  EXPECT_EQ(host.ProxySettings().Port, 80);
  EXPECT_FALSE(host.ProxySettings().AutoLoadProxy);
  EXPECT_EQ(host.PrintOptions().HTMLHeader, u"<HTML></HTML>");
  EXPECT_FALSE(host.PrintOptions().Enabled);
  EXPECT_EQ(host.VisualEffects().TextSize, 2);
  EXPECT_FALSE(host.VisualEffects().DisableSounds);

  struct FlagCase {
    int member;
    uint32_t flag;
  };
  for (const FlagCase& c : {FlagCase{DownloadImages, 0x10}, FlagCase{DontExecuteScripts, 0x80},
                            FlagCase{EnableUrlIfEncodingUTF8, 0x40000}, FlagCase{ForceOfflineMode, 0x10000000},
                            FlagCase{WorkOffline, 0x80000000}})
    EXPECT_EQ(DownloadControlFlag(static_cast<TDownloadControlOption>(c.member)), c.flag) << c.member;
  for (const FlagCase& c : {FlagCase{DisableTextSelect, 1}, FlagCase{EnableFormsAutoComplete, 1u << 14},
                            FlagCase{EnableInPlaceNavigation, 1u << 16}, FlagCase{EnableActivexInactivateMode, 1u << 29}})
    EXPECT_EQ(UserInterfaceFlag(static_cast<TUserInterfaceOption>(c.member)), c.flag) << c.member;

  host.SetDownloadOptions({DownloadImages, DontExecuteScripts, WorkOffline});
  host.SetUserInterfaceOptions({DisableTextSelect, EnableInPlaceNavigation});
  EXPECT_EQ(host.DownloadControlFlagSum(), 0x80000090u);
  EXPECT_EQ(host.UserInterfaceFlagSum(), 0x10001u);
  EXPECT_EQ(host.AmbientChanges(), 2);
  int64_t value = 0;
  ASSERT_TRUE(host.AmbientProperty(kDispidAmbientDownloadControl, value));
  EXPECT_EQ(value, 0x80000090);
  ASSERT_TRUE(host.AmbientProperty(kDispidAmbientUserMode, value));
  EXPECT_EQ(value, 1);
  EXPECT_FALSE(host.AmbientProperty(-1, value));
  EXPECT_EQ(host.GetHostInfo().cbSize, 20u);
  EXPECT_EQ(host.GetHostInfo().dwFlags, 0x10001u);
}

TEST(BrowserOptionsTest, ScriptErrorsAndContextMenus) {
  TBrowserHost host;
  host.ScriptErrorAction = TScriptErrorAction::eaCancel;  // as the window layout sets it
  bool go = false;
  EXPECT_EQ(host.ExecCommand(true, 40, &go), kS_OK);
  EXPECT_FALSE(go);
  host.Loaded();  // suppressed script errors: eaContinue
  EXPECT_EQ(host.ScriptErrorAction, TScriptErrorAction::eaContinue);
  EXPECT_EQ(host.ExecCommand(true, 40, &go), kS_OK);
  EXPECT_TRUE(go);
  EXPECT_EQ(host.ExecCommand(false, 40, &go), kOLECMDERR_E_NOTSUPPORTED);
  EXPECT_EQ(host.ExecCommand(true, 12, &go), kOLECMDERR_E_NOTSUPPORTED);
  EXPECT_EQ(AnswerScriptError(TScriptErrorAction::eaAskUser).result, kS_FALSE);

  EXPECT_EQ(host.ShowContextMenu(rcmImage), kS_FALSE);
  host.DisabledPopupMenus.Include(rcmImage);
  EXPECT_EQ(host.ShowContextMenu(rcmImage), kS_OK);
  EXPECT_EQ(host.ShowContextMenu(rcmAnchor), kS_FALSE);
  host.DisabledPopupMenus.Include(rcmAll);
  EXPECT_EQ(host.ShowContextMenu(rcmAnchor), kS_OK);
  EXPECT_EQ(host.RecordedUserAgent(), TBrowserHost::Banner());
  host.UserAgent = u"Agent ";
  EXPECT_EQ(host.RecordedUserAgent(), u"Agent " + TBrowserHost::Banner());
}

TEST(BrowserDialogTest, CaptionRewriteAndClassification) {
  struct CaptionCase {
    std::u16string caption, newCaption, expected;
  };
  for (const CaptionCase& c : std::vector<CaptionCase>{
           {u"Microsoft Internet Explorer", u"", u"Web Browser"},
           {u"Windows Internet Explorer", u"", u"Windows Web Browser"},
           {u"Meldung von Webseite", u"", u"Meldung von Webseite:  Web Browser"},
           {u"Microsoft Internet Explorer", u"Gleaner", u"Gleaner"},
           {u"Web Browser Fehler", u"", u"Web Browser Fehler"},
           {u"microsoft internet explorer", u"", u"microsoft internet explorer:  Web Browser"},
       })
    EXPECT_EQ(ReplaceDialogCaption(c.caption, c.newCaption), c.expected) << std::string(c.caption.begin(), c.caption.end());

  EXPECT_EQ(ClassifyDialogCaption(u"Script Error"), TDialogVerdict::dvScript);
  EXPECT_EQ(ClassifyDialogCaption(u"a javascript problem"), TDialogVerdict::dvScript);
  EXPECT_EQ(ClassifyDialogCaption(u"Internal error"), TDialogVerdict::dvError);
  EXPECT_EQ(ClassifyDialogCaption(u"Web Browser"), TDialogVerdict::dvNone);

  TDialogBoxes boxes;
  TDisableErrors errors;
  boxes.DisableAll = true;
  TDialogPlan plan = PlanDialogHandling(u"#32770", u"Microsoft Internet Explorer", boxes, errors);
  EXPECT_TRUE(plan.handled);
  EXPECT_TRUE(plan.close);
  EXPECT_TRUE(plan.setCaption);
  EXPECT_EQ(plan.caption, u"Web Browser");
  EXPECT_EQ(plan.verdict, TDialogVerdict::dvNone);
  plan = PlanDialogHandling(u"Internet Explorer_TridentDlgFrame", u"Script ERROR", boxes, errors);
  EXPECT_EQ(plan.verdict, TDialogVerdict::dvScript);
  errors.ScriptErrorsSuppressed = false;
  EXPECT_EQ(PlanDialogHandling(u"#32770", u"Error", boxes, errors).verdict, TDialogVerdict::dvNone);
  EXPECT_FALSE(PlanDialogHandling(u"#32771", u"Error", boxes, errors).handled);
  EXPECT_FALSE(PlanDialogHandling(u"QWidget", u"Microsoft Internet Explorer", boxes, errors).handled);
}

TEST(ArchiveFileTest, SizeOfExactlyThatFileInSixtyFourBits) {
  testsupport::TempDrive drive;
  drive.WriteFile("a[1]*?.mht", "12345");
  drive.WriteFile("a1xy.mht", "1234567890");  // what a pattern "a[1]*?.mht" would match
  EXPECT_EQ(ArchiveFileSize(drive.Drive(u"a[1]*?.mht")), 5);
  EXPECT_EQ(ArchiveFileSize(drive.Drive(u"a?.mht")), -1);
  EXPECT_EQ(ArchiveFileSize(drive.Drive(u"missing.mht")), -1);
  EXPECT_EQ(ArchiveFileSize(drive.Drive()), -1);  // a folder

  // A sparse file beyond 4 GB takes no room.
  const std::string big = drive.Posix("big.mht");
  const int fd = ::open(big.c_str(), O_CREAT | O_WRONLY, 0600);
  ASSERT_GE(fd, 0);
  ASSERT_EQ(::ftruncate(fd, int64_t{5} << 30), 0);
  ::close(fd);
  EXPECT_EQ(ArchiveFileSize(drive.Drive(u"big.mht")), int64_t{5} << 30);
  EXPECT_EQ(ArchiveFileSize(u"file://" + std::u16string(big.begin(), big.end())), int64_t{5} << 30);
}

}  // namespace
}  // namespace extractor

#include <gtest/gtest.h>

#include "platform/collate.h"
#include "platform/messagebox.h"
#include "platform/pump.h"
#include "tests/support/recording_sink.h"

namespace platform {
namespace {

TEST(Collate, GermanIgnoringCaseOrNot) {
  EXPECT_EQ(IcuLocaleName(0x0407), "de_DE");
  EXPECT_EQ(CompareLocale(kLocaleGerman, true, u"abc", u"ABC"), 0);
  EXPECT_NE(CompareLocale(kLocaleGerman, false, u"abc", u"ABC"), 0);
  EXPECT_NE(CompareLocale(kLocaleGerman, true, u"a", u"ä"), 0);  // accents still count
  EXPECT_EQ(CompareLocale(kLocaleGerman, true, u"Äpfel", u"Birne"), -1);  // not by code value
  EXPECT_EQ(CompareLocale(kLocaleGerman, true, u"zz", u"ÄA"), 1);
  EXPECT_EQ(CompareLocale(0xFFFF, true, u"a", u"a"), -2);
}

TEST(Collate, LocaleCodePages) {
  EXPECT_EQ(LocaleDefaultAnsiCodePage(0x0407), 1252u);
  EXPECT_EQ(LocaleDefaultAnsiCodePage(0x0419), 1251u);
  EXPECT_EQ(LocaleDefaultAnsiCodePage(0x0411), 932u);
  EXPECT_EQ(LocaleDefaultAnsiCodePage(0x0804), 936u);
  EXPECT_EQ(LocaleDefaultAnsiCodePage(0x0404), 950u);
  EXPECT_EQ(LocaleDefaultAnsiCodePage(0x0439), 0u);
}

TEST(MessageBoxes, WithoutASinkTheDefaultButtonAnswers) {
  SetMessageBoxSink(nullptr);
  EXPECT_EQ(ShowMessageBox(u"x", u"y", mb::YesNo), MsgResult::Yes);
  EXPECT_EQ(ShowMessageBox(u"x", u"y", mb::YesNo | mb::DefButton2), MsgResult::No);
  EXPECT_EQ(ShowMessageBox(u"x", u"y", mb::YesNoCancel | mb::DefButton3), MsgResult::Cancel);
  EXPECT_EQ(ShowMessageBox(u"x", u"y"), MsgResult::Ok);
}

TEST(MessageBoxes, TheRecordingSinkRecordsAndAnswers) {
  testsupport::ScopedRecordingSink sink;
  sink->Answer(MsgResult::No);
  EXPECT_EQ(ShowMessageBox(u"Wirklich?", u"Quarry-HTML", mb::YesNo | mb::IconQuestion), MsgResult::No);
  ASSERT_EQ(sink->Boxes().size(), 1u);
  EXPECT_EQ(sink->Boxes()[0].text, u"Wirklich?");
  EXPECT_EQ(sink->Boxes()[0].flags, mb::YesNo | mb::IconQuestion);
}

TEST(Pump, CallsTheInstalledHook) {
  ProcessMessages();  // no hook: nothing happens
  int calls = 0;
  SetPumpHook([&] { ++calls; });
  ProcessMessages();
  ProcessMessages();
  SetPumpHook(nullptr);
  ProcessMessages();
  EXPECT_EQ(calls, 2);
}

}  // namespace
}  // namespace platform

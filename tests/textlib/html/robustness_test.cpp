// Generated hostile inputs: each must end in a document and a text, without crash, hang or
// leak (the sanitizer run checks the last two).
#include <gtest/gtest.h>

#include <random>

#include "html_test_util.h"
#include "textlib/html/formatter.h"
#include "textlib/html/parser.h"

namespace textlib {
namespace {

std::u16string Repeat(std::u16string_view s, size_t n) {
  std::u16string out;
  out.reserve(s.size() * n);
  for (size_t i = 0; i < n; ++i) out.append(s);
  return out;
}

TEST(HtmlRobustness, HostileInputs) {
  const std::u16string inputs[] = {
      Repeat(u"<!--", 50000),
      Repeat(u"<![CDATA[", 30000),
      Repeat(u"</a", 50000),
      Repeat(u"<!DOCTYPE a PUBLIC \"", 20000),
      Repeat(u"<a b=\"", 50000),
      Repeat(u"<a b='x' c", 50000),
      Repeat(u"&#x", 50000) + u"1;",
      Repeat(u"&", 100000),
      Repeat(u"<", 100000),
      u"<p title=\"" + std::u16string(1 << 20, u'x') + u"\">t",
      u"<p " + Repeat(u"x ", 300000) + u">t",
      u"<p " + Repeat(u"x y z ", 100000) + u">t",
      std::u16string(100000, u'\0') + u"<b>\0</b>",
      Repeat(u"\xD800<\xDC00\xDFFF&\xD83D;", 20000),
      Repeat(u"<script>a</script ", 50000),
      Repeat(u"<SCRIPT>x</scrip", 50000),
      Repeat(u"<script><!--<script>-", 30000),
      Repeat(u"<script>-->", 50000),
  };
  for (const std::u16string& html : inputs) {
    const std::u16string text = HtmlToText(html);
    EXPECT_LE(text.size(), html.size() * 3);
  }
}

TEST(HtmlRobustness, DeepNestingWithoutRecursion) {
  const size_t depth = 100000;
  const char16_t* openers[] = {u"<div>", u"<span>", u"<b><p>", u"<li>", u"<td><table>"};
  for (const char16_t* opener : openers) {
    std::u16string html = u"<body>" + Repeat(opener, depth) + u"tief" + Repeat(u"</i>", depth);
    const std::u16string text = HtmlToText(html);
    EXPECT_NE(text.find(u"tief"), std::u16string::npos) << testing::U8(opener);
  }
  // Closing every level again, and many distinct unknown names.
  std::u16string html;
  for (size_t i = 0; i < depth; ++i) html += u"<x" + std::u16string(1, u'a' + i % 26) + u">";
  html += u"x";
  for (size_t i = depth; i-- > 0;) html += u"</x" + std::u16string(1, u'a' + i % 26) + u">";
  THtmlParser parser;
  auto doc = parser.ParseString(html);
  EXPECT_EQ(doc->NodeCount(), static_cast<int64_t>(depth) + 1);
}

TEST(HtmlRobustness, RandomBytesAndTagSoup) {
  std::mt19937 rng(4711);
  const std::u16string pieces[] = {
      u"<", u">", u"</", u"/>", u"<!--", u"-->", u"<![CDATA[", u"]]>", u"<!DOCTYPE ",
      u"PUBLIC", u"\"", u"'", u"=", u"&", u"#", u"x", u";", u"&amp;", u"&#128512;", u"&nbsp;",
      u" ", u"\n", u"\t", u"p", u"div", u"td", u"tr", u"table", u"li", u"ul", u"pre", u"br",
      u"script", u"a", u"img", u"alt", u"href", u"body", u"html", u"\u00E4", u"\xD800",
      u"\0", u"[No canvas support]", u"Wort"};
  for (int round = 0; round < 300; ++round) {
    std::u16string html;
    const int n = static_cast<int>(rng() % 2000);
    if (round % 3 == 0) {
      for (int i = 0; i < n; ++i) html.push_back(static_cast<char16_t>(rng() & (round % 2 ? 0xFF : 0xFFFF)));
    } else {
      for (int i = 0; i < n; ++i) html += pieces[rng() % std::size(pieces)];
    }
    THtmlParser parser;
    auto doc = parser.ParseString(html);
    TTextFormatter formatter;
    const std::u16string text = formatter.GetText(doc.get());
    // The text never starts with white space from a break or a collapsed run.
    if (!text.empty()) {
      EXPECT_NE(text[0], u'\r');
    }
  }
}

}  // namespace
}  // namespace textlib

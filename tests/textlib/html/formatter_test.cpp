#include "textlib/html/formatter.h"

#include <gtest/gtest.h>

#include "html_test_util.h"
#include "platform/pump.h"
#include "textlib/html/parser.h"

namespace textlib {
namespace {

struct TextCase {
  std::u16string html;
  std::u16string text;
};

std::u16string Body(std::u16string_view inner) {
  return u"<body>" + std::u16string(inner) + u"</body>";
}

TEST(TextFormatter, TextTable) {
  const TextCase cases[] = {
      {u"<p>Hello</p><p>World</p>", u"Hello\r\n\r\nWorld\r\n\r\n"},
      {Body(u"a<br>b<br><br>c"), u"a\r\nb\r\nc"},
      {u"<div><p>x</p></div>", u"x\r\n\r\n"},
      {u"<p>  plenty   of\n\n space </p>", u"plenty of space \r\n\r\n"},
      // A pre keeps its first indent; a line break right after <pre> is dropped.
      {u"<pre>  a\n  b</pre>", u"  a\n  b\r\n\r\n"},
      {u"<p>x</p><pre>\n  a</pre>", u"x\r\n\r\n  a\r\n\r\n"},
      {Body(u"x&nbsp;y"), u"x y"},
      // Every &nbsp; is a blank of its own, but none starts the text.
      {Body(u"x &nbsp;y"), u"x  y"},
      {Body(u"&nbsp;x&nbsp;&nbsp; y"), u"x   y"},
      {Body(u"&apos;&auml&copy 1&notit; &ltx"), u"'ä© 1¬it; <x"},
      {Body(u"&copy; &euro;&#8364;"), u"\u00A9 \u20AC\u20AC"},
      {Body(u"a&bogus;b"), u"a b"},
      {Body(u"a&lt;b&gt;"), u"a<b>"},
      {u"<table><tr><td>1</td><td>2</td></tr></table>", u"1\r\n\r\n2\r\n\r\n"},
      {Body(u"<script>var a=1;</script>Text"), u"Text"},
      {Body(u"<style>h2 { color:black; font-size:23px; } p { x }</style>"), u"p { x }"},
      {u"<a href=\"u\"><img alt=\"Logo\"></a>", u"Logo"},
      {Body(u"<img alt=\"Logo\">x"), u"x"},
      {Body(u"a <b>[No canvas support]</b>b"), u"a b"},
      // Text beside the document element is written in document order.
      {u"nur Text", u"nur Text"},
      {u"a<br>b", u"a\r\nb"},
      {u"<b>x</b> y <i>z</i>", u"x y z"},
      {Body(u"<!-- weg --><![CDATA[weg]]>da"), u"da"},
      {u"<html><head><title>T</title></head><body><h1>Kopf</h1>Text</body></html>",
       u"T\r\n\r\nKopf\r\n\r\nText"},
      // The declaration no longer swallows html and head: the body text is reached.
      {u"<!DOCTYPE html><html><head><title>T</title></head><body>Direkt im Body</body></html>",
       u"T\r\n\r\nDirekt im Body"},
      {Body(u"&#128512;"), u"\U0001F600"},
      // After an element inside a pre, the rest of the pre is collapsed again.
      {u"<pre>a  b<b>c</b>  d  e</pre>", u"a  bc d e\r\n\r\n"},
      {Body(u"<ul><li>eins<li>zwei</ul>nach"), u"eins\r\n\r\nzwei\r\n\r\nnach"},
      {Body(u"3<5 and 7>2"), u"32"},
      {Body(u"  \u00C4pfel \t und   Birnen  "), u"\u00C4pfel und Birnen "},
  };
  for (const TextCase& c : cases) {
    THtmlParser parser;
    auto doc = parser.ParseString(c.html);
    TTextFormatter formatter;
    EXPECT_EQ(testing::U8(formatter.GetText(doc.get())), testing::U8(c.text))
        << testing::U8(c.html);
  }
}

TEST(TextFormatter, LongPreGrowsTheBuffer) {
  std::u16string long_text(200000, u'x');
  for (size_t i = 0; i < long_text.size(); i += 100) long_text[i] = u' ';
  const std::u16string text = HtmlToText(u"<pre>" + long_text + u"</pre>");
  EXPECT_EQ(text, long_text + u"\r\n\r\n");  // its first blank too
}

TEST(TextFormatter, PumpsThrottledAndLeavesTheTextAlone) {
  std::u16string html = u"<body>";
  for (int i = 0; i < 5000; ++i) html += u"<b>w</b>&amp;";
  html += u"</body>";
  const std::u16string quiet = HtmlToText(html);
  int calls = 0;
  platform::SetPumpHook([&] { ++calls; });
  const std::u16string pumped = HtmlToText(html);
  platform::SetPumpHook(nullptr);
  EXPECT_EQ(pumped, quiet);
  EXPECT_GT(calls, 1);
  EXPECT_LT(calls, 200);  // far fewer than one per node
}

TEST(BaseFormatter, WritesCommentsAndNamedReferences) {
  auto doc = DomImplementation::CreateDocument();
  TElement* root = doc->CreateElement(u"r");
  doc->AppendChild(root);
  root->AppendChild(doc->CreateTextNode(u" a "));
  root->AppendChild(doc->CreateComment(u"c"));
  root->AppendChild(doc->CreateEntityReference(u"amp"));
  root->AppendChild(doc->CreateCDATASection(u"cd"));
  TBaseFormatter base;
  EXPECT_EQ(base.GetText(doc.get()), u" a <!--c-->&amp;");
  base.SetResolveEntities(true);
  EXPECT_EQ(base.GetText(doc.get()), u" a <!--c-->&");
}

TEST(TextFormatter, LinkAndAlternativeText) {
  THtmlParser parser;
  auto doc = parser.ParseString(
      u"<a href=\"www.x.de\"></a><a href=\"https://y.de\"></a><a></a><img alt=\"L&amp;o\">");
  TTextFormatter f;
  const TNodeList& top = doc->ChildNodes();
  auto el = [&](int i) { return static_cast<const TElement*>(top.Item(i)); };
  EXPECT_EQ(f.LinkTargetText(el(0)), u" http://www.x.de");
  EXPECT_EQ(f.LinkTargetText(el(1)), u" https://y.de");
  EXPECT_EQ(f.LinkTargetText(el(2)), u"");
  EXPECT_EQ(f.AlternativeText(el(3)), u"L&o");
  EXPECT_EQ(f.AlternativeText(el(0)), u"");
}

TEST(StringBuilder, SizesAreSixtyFourBit) {
  TStringBuilder b(4);
  b.Append(u"abc");
  EXPECT_EQ(b.Capacity(), 4);
  b.Append(u"defgh");
  EXPECT_EQ(b.Capacity(), 8);
  b.Append(u"ijklmnopq");
  EXPECT_EQ(b.Capacity(), 32);
  EXPECT_EQ(b.Length(), 17);
  EXPECT_TRUE(b.EndsWith(u"pq"));
  EXPECT_FALSE(b.EndsWith(u"_abcdefghijklmnopq"));
  EXPECT_FALSE(b.EndsWithWhiteSpace());
  b.Append(u"x[No canvas support]y");
  EXPECT_EQ(b.GetText(), u"abcdefghijklmnopq");
  static_assert(sizeof(b.Capacity()) == 8 && sizeof(b.Length()) == 8);
}

}  // namespace
}  // namespace textlib

#include "textlib/html/reader.h"

#include <gtest/gtest.h>

#include "html_test_util.h"
#include "textlib/html/formatter.h"
#include "textlib/html/parser.h"
#include "textlib/html/tags.h"

namespace textlib {
namespace {

using testing::Tokens;

struct TokenCase {
  std::u16string html;
  std::string tokens;
};

TEST(HtmlReader, TokenTable) {
  const TokenCase cases[] = {
      {u"a &lt; b", "T{a } R{lt} T{ b}"},
      {u"AT&T", "T{AT} R{amp} T{T}"},
      {u"&#65;&#x41;&#xff;", "T{A} T{A} T{ÿ}"},
      {u"&#;", std::string("T{") + std::string(1, '\0') + "}"},
      {u"&;", "R{}"},
      {u"<DIV Class=X>", "E{div} A{class} T{X} a >"},
      {u"<a href=\"x&amp;y\">", "E{a} A{href} T{x} R{amp} T{y} a >"},
      {u"<a href=x&amp;y>", "E{a} A{href} T{x&amp;y} a >"},
      {u"<a href='1' title=\"a'b\">", "E{a} A{href} T{1} a A{title} T{a'b} a >"},
      {u"<br/>", "E{br} />"},
      {u"<br />", "E{br} />"},
      {u"<a =x>", "E{a} >"},
      {u"<a href=/x>", "E{a} A{href} a />"},
      {u"<input checked>", "E{input} A{checked} a >"},
      {u"<o:p>x</o:p>", "E{o:p} > T{x} /{o:p}"},
      {u"<?xml version=\"1.0\"?>", "E{?xml} A{version} T{1.0} a A{?} a >"},
      {u"<!-- a -->", "C{ a }"},
      {u"<!---->", "C{}"},
      {u"<!-- open", "R{lt} T{!-- open}"},
      {u"<![CDATA[x<y]]>z", "D{x<y} T{z}"},
      {u"<![CDATA[x", "R{lt} T{![CDATA[x}"},
      {u"<!x>", "R{lt} T{!x>}"},
      {u"a<", "T{a} R{lt}"},
      {u"a&", "T{a} R{amp}"},
      {u"a<b", "T{a} R{lt} T{b}"},
      {u"< b>", "R{lt} T{ b>}"},
      {u"</b", "R{lt} T{/b}"},
      {u"</B >x", "/{b} T{x}"},
      {u"</>", "R{lt} T{/>}"},
      {u"3<5 and 7>2", "T{3} E{5} A{and} a A{7} a > T{2}"},
      {u"<a href=\"open", "E{a} A{href} T{open}"},
      {u"<b c", "E{b} A{c}"},
      // Legacy names without ";" as browsers read them; other names need it.
      {u"&amp x", "R{amp} T{ x}"},
      {u"&aumlx &notin; &notit; &bogus x", "R{auml} T{x } R{notin} T{ } R{not} T{it; } R{amp} T{bogus x}"},
      {u"&#65 &#x42x", "T{A} T{ } T{B} T{x}"},
      {u"<a href=\"?a=1&copy=2&copy;3&amp\">", "E{a} A{href} T{?a=1} R{amp} T{copy=2} R{copy} T{3} R{amp} a >"},
      {u"&AElig;&aelig;", "R{AElig} R{aelig}"},
      // Numeric references above U+FFFF become a surrogate pair; beyond U+10FFFF U+FFFD.
      {u"&#128512;", "T{\xF0\x9F\x98\x80}"},
      {u"&#x1F600;", "T{\xF0\x9F\x98\x80}"},
      {u"&#65601;", "T{\xF0\x90\x81\x81}"},
      {u"&#x110000;", "T{\xEF\xBF\xBD}"},
      {u"&#99999999999999999999;", "T{\xEF\xBF\xBD}"},
      {u"&#1114111;", "T{\xF4\x8F\xBF\xBF}"},
      // Names go through code page 1252: a unit it lacks becomes "?".
      {u"<b\u4E2Dx\u00C4>", "E{b?x\u00C4} >"},
  };
  for (const TokenCase& c : cases)
    EXPECT_EQ(Tokens(c.html), c.tokens) << testing::U8(c.html);
}

TEST(HtmlReader, DocType) {
  const TokenCase cases[] = {
      {u"<!DOCTYPE HTML PUBLIC \"-//W3C//DTD HTML 4.01//EN\">x",
       "!{HTML|-//W3C//DTD HTML 4.01//EN|} T{x}"},
      {u"<!doctype html PUBLIC \"-//W3C//DTD XHTML 1.0 Strict//EN\" "
       u"\"http://www.w3.org/TR/xhtml1/DTD/xhtml1-strict.dtd\"><html>",
       "!{html|-//W3C//DTD XHTML 1.0 Strict//EN|http://www.w3.org/TR/xhtml1/DTD/"
       "xhtml1-strict.dtd} E{html} >"},
      {u"<!DOCTYPE html SYSTEM 'about:legacy-compat'><p>", "!{html||about:legacy-compat} E{p} >"},
      // The ">" after the name ends the declaration; the markup behind it is kept.
      {u"<!DOCTYPE html><html><head>", "!{html||} E{html} > E{head} >"},
      {u"<!DOCTYPE html >x", "!{html||} T{x}"},
      {u"<!DOCTYPE html foo><b>", "!{html||} E{b} >"},
      {u"<!DOCTYPE html PUBLIC><b>", "!{html||} E{b} >"},
      {u"<!DOCTYPE html PUBLIC \"open", "R{lt} T{!DOCTYPE html PUBLIC \"open}"},
      {u"<!DOCTYPE>", "R{lt} T{!DOCTYPE>}"},
      {u"<!DOCTYPE html", "R{lt} T{!DOCTYPE html}"},
  };
  for (const TokenCase& c : cases)
    EXPECT_EQ(Tokens(c.html), c.tokens) << testing::U8(c.html);
}

// A script's content is one text run up to the "</script" that closes it, so markup in
// JavaScript strings and data blocks stays inside the script, which the formatter leaves
// out. Tokens are those of the input; tree and text are those of the input in a body.
TEST(HtmlReader, ScriptContentIsOneTextRun) {
  struct ScriptCase {
    std::u16string html;
    std::string tokens;
    std::string tree;
    std::string text;
  };
  const ScriptCase cases[] = {
      {u"<script>var m = \"<ul><li>\" + x + \"</div>\";</script>Text",
       "E{script} > T{var m = \"<ul><li>\" + x + \"</div>\";} /{script} T{Text}",
       "body(script(\"var m = \"<ul><li>\" + x + \"</div>\";\"),\"Text\")", "Text"},
      {u"<script>document.write('<select><option>Deutsch</option></select>');</script>Willkommen",
       "E{script} > T{document.write('<select><option>Deutsch</option></select>');} /{script} "
       "T{Willkommen}",
       "body(script(\"document.write('<select><option>Deutsch</option></select>');\"),"
       "\"Willkommen\")",
       "Willkommen"},
      {u"<SCRIPT LANGUAGE=\"JavaScript\">if (a<b && c>d) x();</SCRIPT>nach",
       "E{script} A{language} T{JavaScript} a > T{if (a<b && c>d) x();} /{script} T{nach}",
       "body(script[language=JavaScript](\"if (a<b && c>d) x();\"),\"nach\")", "nach"},
      // Only a name followed by a blank, "/" or ">" closes.
      {u"<script>a = \"</scriptx>\" + \"</scrip>\";</Script >b",
       "E{script} > T{a = \"</scriptx>\" + \"</scrip>\";} /{script} T{b}",
       "body(script(\"a = \"</scriptx>\" + \"</scrip>\";\"),\"b\")", "b"},
      {u"<script>a</script/>b<script>c</SCRIPT\n>d",
       "E{script} > T{a} /{script} T{b} E{script} > T{c} /{script} T{d}",
       "body(script(\"a\"),\"b\",script(\"c\"),\"d\")", "bd"},
      // A data block: neither tags nor references inside.
      {u"<script type=\"text/json\">{\"html\": \"<b>fett</b> &amp; mehr\"}</script>Sichtbar",
       "E{script} A{type} T{text/json} a > T{{\"html\": \"<b>fett</b> &amp; mehr\"}} /{script} "
       "T{Sichtbar}",
       "body(script[type=text/json](\"{\"html\": \"<b>fett</b> &amp; mehr\"}\"),\"Sichtbar\")",
       "Sichtbar"},
      {u"<script src=\"a.js\"></script>x", "E{script} A{src} T{a.js} a > /{script} T{x}",
       "body(script[src=a.js],\"x\")", "x"},
      // "/>" closes the element at once, so what follows is markup again.
      {u"<script src=\"a.js\"/><b>x</b>", "E{script} A{src} T{a.js} a /> E{b} > T{x} /{b}",
       "body(script[src=a.js],b(\"x\"))", "x"},
      // Unclosed: the content runs to the end; a "</script" with nothing behind it is no tag.
      {u"Vor<script>var a = \"<p>\";", "T{Vor} E{script} > T{var a = \"<p>\";}",
       "body(\"Vor\",script(\"var a = \"<p>\";</body>\"))", "Vor"},
      {u"<script>a</script", "E{script} > T{a</script}", "body(script(\"a</script</body>\"))", ""},
      // Inside "<!--" a "<script" opens a nested script that its own "</script" closes.
      {u"<script><!--\ndocument.write('<script src=\"w.js\"></script>');\n//--></script>Text",
       "E{script} > T{<!--\ndocument.write('<script src=\"w.js\"></script>');\n//-->} /{script} "
       "T{Text}",
       "body(script(\"<!--\ndocument.write('<script src=\"w.js\"></script>');\n//-->\"),"
       "\"Text\")",
       "Text"},
      {u"<script><!-- a </script>b", "E{script} > T{<!-- a } /{script} T{b}",
       "body(script(\"<!-- a \"),\"b\")", "b"},
      {u"<script>s = \"<!--\";</script>b", "E{script} > T{s = \"<!--\";} /{script} T{b}",
       "body(script(\"s = \"<!--\";\"),\"b\")", "b"},
      {u"<script><!--><script></script>x</script>y",
       "E{script} > T{<!--><script>} /{script} T{x} /{script} T{y}",
       "body(script(\"<!--><script>\"),\"x\",\"y\")", "xy"},
      {u"<script><!-- <script> </script> -- >x", "E{script} > T{<!-- <script> </script> -- >x}",
       "body(script(\"<!-- <script> </script> -- >x</body>\"))", ""},
      // Style content and prefixed names are read as markup, as before.
      {u"<style>p:before { content: \"<b>\" }</style>",
       "E{style} > T{p:before { content: \"} E{b} > T{\" }} /{style}",
       "body(style(\"p:before { content: \"\",b(\"\" }\")))", "p:before { content: \"\" }"},
      {u"<x:script>a<b>c</b></x:script>", "E{x:script} > T{a} E{b} > T{c} /{b} /{x:script}",
       "body(x:script(\"a\",b(\"c\")))", "ac"},
  };
  for (const ScriptCase& c : cases) {
    SCOPED_TRACE(testing::U8(c.html));
    EXPECT_EQ(Tokens(c.html), c.tokens);
    const std::u16string body = u"<body>" + c.html + u"</body>";
    THtmlParser parser;
    EXPECT_EQ(testing::Tree(parser.ParseString(body).get()), c.tree);
    EXPECT_EQ(testing::U8(HtmlToText(body)), c.text);
  }
}

TEST(HtmlReader, PositionStateAndReadAtEnd) {
  THtmlReader r;
  EXPECT_EQ(r.Position(), 1);
  EXPECT_FALSE(r.Read());
  r.SetHtmlStr(u"<a b=\"c\">");
  ASSERT_TRUE(r.Read());
  EXPECT_EQ(r.NodeType(), kReaderElement);
  EXPECT_EQ(r.State(), kStateInStartTag);
  ASSERT_TRUE(r.Read());  // attribute start: NodeType stays 0
  EXPECT_EQ(r.NodeType(), kReaderNone);
  EXPECT_EQ(r.State(), kStateAfterAttributeName);
  ASSERT_TRUE(r.Read());
  EXPECT_EQ(r.State(), kStateQuotedValue);
  EXPECT_EQ(r.Quotation(), u'"');
  ASSERT_TRUE(r.Read());
  EXPECT_EQ(r.NodeType(), kReaderAttributeEnd);
  ASSERT_TRUE(r.Read());
  EXPECT_EQ(r.NodeType(), kReaderElement);
  EXPECT_EQ(r.State(), kStateContent);
  EXPECT_EQ(r.Position(), 10);
  EXPECT_FALSE(r.Read());
}

TEST(HtmlTables, TagsAndEntities) {
  const THtmlTagList& tags = HtmlTagList();
  ASSERT_EQ(tags.Tags().size(), 91u);
  for (size_t i = 0; i < tags.Tags().size(); ++i) {
    EXPECT_EQ(tags.Tags()[i].Number, static_cast<int32_t>(i + 1));
    EXPECT_EQ(tags.GetTagByName(tags.Tags()[i].Name).Number, static_cast<int32_t>(i + 1));
    if (i > 0) {
      EXPECT_LT(tags.Tags()[i - 1].Name, tags.Tags()[i].Name);
    }
  }
  EXPECT_EQ(tags.GetTagByName(u"td").Number, kTagTd);
  EXPECT_EQ(tags.GetTagByName(u"td").Number, 81);
  EXPECT_EQ(tags.GetTagByName(u"TD").Number, 0);
  EXPECT_EQ(tags.GetTagByName(u"blink").Number, 0);
  EXPECT_EQ(tags.GetTagByName(u"").Number, 0);
  EXPECT_EQ(&tags.GetTagByName(u"blink"), &tags.Unknown());
  EXPECT_EQ(tags.GetTagByName(u"var").Number, kTagVar);

  const auto& ents = EntList().Entities();
  ASSERT_EQ(ents.size(), 253u);  // HTML 4.01's and "apos"
  for (size_t i = 1; i < ents.size(); ++i) EXPECT_LT(ents[i - 1].Name, ents[i].Name);
  EXPECT_EQ(LookupEntityCode(std::string_view("euro")), 8364);
  EXPECT_EQ(LookupEntityCode(std::string_view("Euro")), 32);
  EXPECT_EQ(LookupEntityCode(std::string_view("nbsp")), 160);
  EXPECT_EQ(LookupEntityCode(std::string_view("yuml")), 255);
  EXPECT_EQ(LookupEntityCode(std::string_view("Yuml")), 376);
  EXPECT_EQ(LookupEntityCode(std::string_view("Agrave")), 192);
  EXPECT_EQ(LookupEntityCode(std::string_view("agrave")), 224);
  EXPECT_EQ(LookupEntityCode(std::string_view("image")), 8465);
  EXPECT_EQ(LookupEntityCode(std::string_view("diams")), 9830);
  EXPECT_EQ(LookupEntityCode(std::string_view("quot")), 34);
  EXPECT_EQ(LookupEntityCode(std::string_view("apos")), 39);
  EXPECT_EQ(LookupEntityCode(std::u16string_view(u"szlig")), 223);
  EXPECT_EQ(LookupEntityCode(std::u16string_view(u"sz\u4E2D")), 32);
}

}  // namespace
}  // namespace textlib

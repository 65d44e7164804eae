#include "textlib/html/reader.h"

#include <gtest/gtest.h>

#include "html_test_util.h"
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
      {u"&amp x", "R{amp} T{amp x}"},
      {u"&AElig;&aelig;", "R{AElig} R{aelig}"},
      // Numeric references above U+FFFF become a surrogate pair; beyond U+10FFFF U+FFFD.
      {u"&#128512;", "T{\xED\xA0\xBD\xED\xB8\x80}"},
      {u"&#x1F600;", "T{\xED\xA0\xBD\xED\xB8\x80}"},
      {u"&#65601;", "T{\xED\xA0\x80\xED\xB1\x81}"},
      {u"&#x110000;", "T{\xEF\xBF\xBD}"},
      {u"&#99999999999999999999;", "T{\xEF\xBF\xBD}"},
      {u"&#1114111;", "T{\xED\xAF\xBF\xED\xBF\xBF}"},
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
  ASSERT_EQ(ents.size(), 252u);
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
  EXPECT_EQ(LookupEntityCode(std::u16string_view(u"szlig")), 223);
  EXPECT_EQ(LookupEntityCode(std::u16string_view(u"sz\u4E2D")), 32);
}

}  // namespace
}  // namespace textlib

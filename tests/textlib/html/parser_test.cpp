#include "textlib/html/parser.h"

#include <gtest/gtest.h>

#include "html_test_util.h"

namespace textlib {
namespace {

using testing::Tree;

std::string Parse(std::u16string_view html) {
  THtmlParser parser;
  return Tree(parser.ParseString(html).get());
}

struct TreeCase {
  std::u16string html;
  std::string tree;
};

TEST(HtmlParser, TreeTable) {
  const TreeCase cases[] = {
      {u"Hello <b>world</b>", "\"Hello \",b(\"world\")"},
      {u"<p>one<p>two", "html(body(p(\"one\"),p(\"two\")))"},
      {u"<ul><li>a<li>b</ul>", "html(body(ul(li(\"a\"),li(\"b\"))))"},
      {u"<table><tr><td>1<td>2</table>", "html(body(table(tr(td(\"1\"),td(\"2\")))))"},
      {u"<table><tbody><tr><th>h<tr><td>x</table>",
       "html(body(table(tbody(tr(th(\"h\")),tr(td(\"x\"))))))"},
      {u"<p>a<div>b</div>c</p>", "html(body(p(\"a\"),div(\"b\"),\"c\"))"},
      {u"<span>x</span><p>y", "span(\"x\",body(p(\"y\")))"},
      {u"<br>text", "br,\"text\""},
      {u"<img src=a>text", "img[src=a],\"text\""},
      {u"<o:p>text", "o:p(\"text\")"},
      {u"<b><i>x</b>y", "b(i(\"x\")),\"y\""},
      {u"</div>", ""},
      {u"<b>x</div>y", "b(\"x\",\"y\")"},
      {u"<a href=\"1\" href=\"2\">", "a[href=2]"},
      {u"<a href=\"x&amp;y\" title=z>t</a>", "a[href=x&y,title=z](\"t\")"},
      {u"<dl><dt>a<dd>b<dt>c</dl>", "html(body(dl(dt(\"a\"),dd(\"b\"),dt(\"c\"))))"},
      {u"<select><option>a<option>b</select>",
       "select(option(\"a\"),option(\"b\"))"},
      {u"<li>x", "html(body(li(\"x\")))"},
      {u"<div><p>x</p></div>", "html(body(div(p(\"x\"))))"},
      {u"<html><body><p>a</p></body></html>", "html(body(p(\"a\")))"},
      {u"<body><p>a", "body(body(p(\"a\")))"},
      {u"<p>x<br/>y<hr>z", "html(body(p(\"x\",br,\"y\"),hr,\"z\"))"},
      {u"<!-- c --><p>a<![CDATA[d]]>&amp;", "<!-- c -->,html(body(p(\"a\",[d],&amp)))"},
      {u"<td>x", "html(body(td(\"x\")))"},
      {u"<ul><li><p>a<li>b</ul>", "html(body(ul(li(p(\"a\")),li(\"b\"))))"},
      // The declaration ends at its own ">", so html and head survive.
      {u"<!DOCTYPE html><html><head><title>T</title></head><body>Direkt im Body</body></html>",
       "html(head(title(\"T\")),body(\"Direkt im Body\"))"},
  };
  for (const TreeCase& c : cases) EXPECT_EQ(Parse(c.html), c.tree) << testing::U8(c.html);
}

TEST(HtmlParser, DocTypeIsKeptBesideTheTree) {
  THtmlParser parser;
  auto doc = parser.ParseString(u"<!DOCTYPE HTML PUBLIC \"-//W3C//DTD HTML 4.01//EN\"><p>x");
  ASSERT_NE(doc->DocType(), nullptr);
  EXPECT_EQ(doc->DocType()->NodeName(), u"HTML");
  EXPECT_EQ(doc->DocType()->PublicId(), u"-//W3C//DTD HTML 4.01//EN");
  EXPECT_EQ(Tree(doc.get()), "html(body(p(\"x\")))");
}

TEST(HtmlParser, ParsesAgainWithAFreshState) {
  THtmlParser parser;
  EXPECT_EQ(Tree(parser.ParseString(u"<ul><li>a").get()), "html(body(ul(li(\"a\"))))");
  EXPECT_EQ(Tree(parser.ParseString(u"<b>x</ul>y").get()), "b(\"x\",\"y\")");
}

}  // namespace
}  // namespace textlib

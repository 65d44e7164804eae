// HtmlToText formats while the tree rules run and keeps no tree; its text must be the text of
// the kept document, node for node, whatever the rules do to the order of the tree.
#include <gtest/gtest.h>

#include <random>

#include "html_test_util.h"
#include "textlib/html/formatter.h"
#include "textlib/html/parser.h"

namespace textlib {
namespace {

std::u16string TextOfKeptTree(std::u16string_view html) {
  THtmlParser parser;
  const std::unique_ptr<TDocument> document = parser.ParseString(html);
  TTextFormatter formatter;
  return formatter.GetText(document.get());
}

TEST(StreamedText, EqualsTheKeptTreeWhereTheRulesReorder) {
  const char16_t* cases[] = {
      // Blocks after "</body>" go back into the body, before what followed it.
      u"<html><body>a</body>b<p>c</p>d",
      u"<html><body><p>a</body><span>b<p>c</p>d</span>e<div>f</div>g",
      u"<html><head><title>t</title></head><body>x</body><b>y</b><td>z</td><pre>  q  </pre>",
      u"<body>a</body><body>b</body><p>c",
      u"<html></html><p>after the end",
      // A second top-level element and its content are no part of the text.
      u"<span>a</span><span>b</span><p>c",
      u"<br><p>under a br",
      // The alternative text of an img in a link, also where the rules move things.
      u"<a href=x><img alt=\"one\" alt='two'>t</a>",
      u"<img alt=root><a><p>in a link</p><img alt=inner>",
      u"<body>a</body><a><img alt=\"taped &amp; kept\"></a><p>b",
      u"<body>a</body><a>l<p>b</p><img alt=z>",
      // Scripts leave their content out wherever they stand.
      u"<script>no</script>yes",
      u"<body>a</body><script>no<p>x</script>after<p>b",
      u"<script><p>x",
      // Entities, comments and CDATA between texts, in both parts.
      u"<p>a&nbsp;b&amp;c<!-- x -->d<![CDATA[e]]>f</p></body>&lt;<!--y-->g<p>h",
      u"<pre>a\n  b<b> c  d</b>  e</pre><body>x</body><pre> p  q</pre><li>r",
      u"<table><tr><td>1<td>2</table></body><tr><td>3</td><p>4",
      u"text before any element<p>then a block",
  };
  for (const char16_t* html : cases) {
    SCOPED_TRACE(testing::U8(html));
    EXPECT_EQ(testing::U8(HtmlToText(html)), testing::U8(TextOfKeptTree(html)));
  }
}

// Tag soup from a small alphabet of the constructs the rules treat apart.
std::u16string TagSoup(std::mt19937& random, int pieces) {
  static const char16_t* kPieces[] = {
      u"<html>", u"</html>", u"<body>", u"</body>", u"<head>", u"</head>", u"<p>", u"</p>", u"<div>",
      u"</div>", u"<span>", u"</span>", u"<b>", u"</b>", u"<a href=u>", u"</a>", u"<img alt=i>",
      u"<img alt=\"j&amp;\">", u"<img>", u"<br>", u"<br/>", u"<pre>", u"</pre>", u"<script>s</script>",
      u"<script>", u"</script>", u"<table>", u"</table>", u"<tr>", u"<td>", u"</td>", u"<li>", u"<ul>",
      u"</ul>", u"<dl>", u"<dt>", u"<dd>", u"<option>", u"<select>", u"<x:y>", u"</x:y>", u"<q:body>",
      u"<!-- c -->", u"<![CDATA[d]]>", u"&nbsp;", u"&lt;", u"&#65;", u"&bogus;", u" ", u"  ", u"\n",
      u"\t", u"word", u"wort ", u"<title>t</title>", u"<hr>", u"<col>", u"<tbody>", u"<!DOCTYPE html>",
      u"<p/>", u"<span/>",
  };
  std::uniform_int_distribution<size_t> pick(0, std::size(kPieces) - 1);
  std::u16string html;
  for (int i = 0; i < pieces; ++i) html += kPieces[pick(random)];
  return html;
}

TEST(StreamedText, EqualsTheKeptTreeOnTagSoup) {
  std::mt19937 random(20261210);
  for (int round = 0; round < 4000; ++round) {
    const std::u16string html = TagSoup(random, 1 + round % 60);
    const std::u16string streamed = HtmlToText(html), kept = TextOfKeptTree(html);
    if (streamed != kept) {
      ADD_FAILURE() << "html: " << testing::U8(html) << "\nstreamed: " << testing::U8(streamed)
                    << "\nkept: " << testing::U8(kept);
      return;
    }
  }
}

}  // namespace
}  // namespace textlib

// The root text part of web archives and mails and the text the browser shows of it.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "extractor/browser/rendered_text.h"
#include "extractor/mime/mime_reader.h"
#include "platform/codepage.h"
#include "textlib/html/formatter.h"
#include "textlib/html/parser.h"

namespace extractor {
namespace {

// LF line ends as CR LF, as mail and archives are written.
std::string Crlf(std::string_view text) {
  std::string out;
  for (char c : text) {
    if (c == '\n') out.push_back('\r');
    out.push_back(c);
  }
  return out;
}

std::string LargeImagePart() {
  std::string line(76, 'A');
  std::string body;
  for (int i = 0; i < 110000; ++i) body.append(line).append("\r\n");  // about 8 MB
  return "--B\r\nContent-Type: image/png\r\nContent-Transfer-Encoding: base64\r\n"
         "Content-Location: file:///big.png\r\n\r\n" + body;
}

struct MimeCase {
  const char* name;
  std::string bytes;
  TMimeTextKind kind;
  std::u16string rendered;
  TCharsetSource source;
};

std::vector<MimeCase> Cases() {
  const std::string htmlHead = "MIME-Version: 1.0\nContent-Type: text/html";
  return {
      {"QuotedPrintableUtf8",
       Crlf(htmlHead + "; charset=utf-8\nContent-Transfer-Encoding: quoted-printable\n\n"
                       "<p>Gr=C3=BC=C3=9Fe aus K=C3=B6ln =E2=82=AC =F0=9F=98=80</p>\n"),
       TMimeTextKind::kHtml, u"Grüße aus Köln € \U0001F600", TCharsetSource::kDeclared},
      {"QuotedPrintableCp1252WithUndefinedBytes",
       Crlf(htmlHead + "; charset=\"windows-1252\"\nContent-Transfer-Encoding: quoted-printable\n\n"
                       "<p>=80=81=8D=E4=9F</p>\n"),
       TMimeTextKind::kHtml, u"€\u0081\u008Dä\u0178", TCharsetSource::kDeclared},
      {"EightBitCp1252",
       Crlf(htmlHead + "; charset=ISO-8859-1\nContent-Transfer-Encoding: 8bit\n\n"
                       "<p>M\xFCller \x80 \x93x\x94</p>\n"),
       TMimeTextKind::kHtml, u"Müller € “x”", TCharsetSource::kDeclared},
      {"EightBitUtf8",
       Crlf(htmlHead + "; charset=\"UTF-8\"\nContent-Transfer-Encoding: 8bit\n\n"
                       "<p>\xC3\x86r\xC3\xB8 \xE2\x80\x93 \xE6\x97\xA5\xE6\x9C\xAC</p>\n"),
       TMimeTextKind::kHtml, u"Ærø – 日本", TCharsetSource::kDeclared},
      {"EightBitKoi8r",
       Crlf(htmlHead + "; charset=koi8-r\nContent-Transfer-Encoding: 8bit\n\n<p>\xF0\xD2\xC9\xD7\xC5\xD4</p>\n"),
       TMimeTextKind::kHtml, u"Привет", TCharsetSource::kDeclared},
      {"SloppyBase64",
       Crlf(htmlHead + "; charset=us-ascii\nContent-Transfer-Encoding: base64\n\n"
                       "PHA+U2xv\ncHB5IGJh c2U2\nNCB3b3Jr\tczwvcD4\n"),
       TMimeTextKind::kHtml, u"Sloppy base64 works", TCharsetSource::kDeclared},
      {"StartNamesLaterPart",
       Crlf("MIME-Version: 1.0\nContent-Type: multipart/related; boundary=\"B\"; start=\"<two@x>\"; "
            "type=\"text/html\"\n\n--B\nContent-Type: text/html; charset=utf-8\nContent-ID: <one@x>\n\n"
            "<p>Wrong part</p>\n--B\nContent-Type: text/html; charset=utf-8\nContent-ID: <two@x>\n\n"
            "<p>Right part</p>\n--B--\n"),
       TMimeTextKind::kHtml, u"Right part", TCharsetSource::kDeclared},
      {"RelatedWithoutStartTakesFirst",
       Crlf("MIME-Version: 1.0\nContent-Type: multipart/related; boundary=B\n\n--B\n"
            "Content-Type: text/html; charset=utf-8\nContent-Location: file:///a.htm\n\n<p>First</p>\n--B\n"
            "Content-Type: text/html; charset=utf-8\n\n<p>Second</p>\n--B--\n"),
       TMimeTextKind::kHtml, u"First", TCharsetSource::kDeclared},
      {"NestedAlternatives",
       Crlf("MIME-Version: 1.0\nContent-Type: multipart/mixed; boundary=M\n\n--M\n"
            "Content-Type: multipart/alternative; boundary=A\n\n--A\nContent-Type: text/plain; charset=utf-8\n\n"
            "Plain version\n--A\nContent-Type: multipart/related; boundary=R\n\n--R\n"
            "Content-Type: text/html; charset=utf-8\n\n<p>HTML version</p>\n--R\nContent-Type: image/png\n"
            "Content-Transfer-Encoding: base64\n\niVBORw0KGgo=\n--R--\n--A--\n--M\n"
            "Content-Type: application/pdf\nContent-Disposition: attachment; filename=a.pdf\n\n%PDF\n--M--\n"),
       TMimeTextKind::kHtml, u"HTML version", TCharsetSource::kDeclared},
      {"MixedSkipsAttachment",
       Crlf("MIME-Version: 1.0\nContent-Type: multipart/mixed; boundary=M\n\n--M\n"
            "Content-Type: text/plain; charset=utf-8\nContent-Disposition: attachment; filename=a.txt\n\n"
            "ATTACHED\n--M\nContent-Type: text/plain; charset=utf-8\n\nBody text\n--M--\n"),
       TMimeTextKind::kPlain, u"Body text", TCharsetSource::kDeclared},
      {"EnclosedMessageIsEntered",
       Crlf("MIME-Version: 1.0\nContent-Type: multipart/mixed; boundary=M\n\n--M\n"
            "Content-Type: message/rfc822\n\nSubject: inner\nMIME-Version: 1.0\n"
            "Content-Type: text/html; charset=utf-8\n\n<p>Inner</p>\n--M--\n"),
       TMimeTextKind::kHtml, u"Inner", TCharsetSource::kDeclared},
      {"SinglePartHtmlWithMetaCharset",
       Crlf("From: a@x\nSubject: s\nMIME-Version: 1.0\nContent-Type: text/html\n\n"
            "<html><head><meta http-equiv=\"Content-Type\" content=\"text/html; charset=windows-1251\">"
            "</head><body><p>\xCF\xF0\xE8\xE2\xE5\xF2</p></body></html>\n"),
       TMimeTextKind::kHtml, u"Привет", TCharsetSource::kMeta},
      {"PlainMailAsItIs",
       Crlf("From: a@x\nSubject: s\nMIME-Version: 1.0\nContent-Type: text/plain; charset=utf-8\n"
            "Content-Transfer-Encoding: 8bit\n\nHallo,\n\n  einger\xC3\xBC" "ckt  \n<b>Ende</b>"),
       TMimeTextKind::kPlain, u"Hallo,\r\n\r\n  eingerückt  \r\n<b>Ende</b>", TCharsetSource::kDeclared},
      {"HtmlWithoutMimeHeaders",
       "<html><head><title>Title</title></head><body><p>Only \xE4 HTML</p></body></html>",
       TMimeTextKind::kHtml, u"Only ä HTML", TCharsetSource::kDefault},
      {"UndeclaredUtf8",
       Crlf(htmlHead + "\nContent-Transfer-Encoding: 8bit\n\n<p>\xD0\x9F\xD1\x80\xD0\xB8</p>\n"),
       TMimeTextKind::kHtml, u"При", TCharsetSource::kUtf8Detected},
      {"ByteOrderMarkDecides",
       Crlf(htmlHead + "; charset=iso-8859-1\nContent-Transfer-Encoding: 8bit\n\n\xEF\xBB\xBF<p>\xC3\xA4</p>\n"),
       TMimeTextKind::kHtml, u"ä", TCharsetSource::kByteOrderMark},
      {"LineFeedsOnly",
       htmlHead + "; charset=utf-8\nContent-Transfer-Encoding: quoted-printable\n\n<p>Soft =\nbreak =C3=A4</p>\n",
       TMimeTextKind::kHtml, u"Soft break ä", TCharsetSource::kDeclared},
      {"MissingClosingBoundary",
       Crlf("MIME-Version: 1.0\nContent-Type: multipart/related; boundary=B\n\n--B\n"
            "Content-Type: text/html; charset=utf-8\n\n<p>Cut off</p>"),
       TMimeTextKind::kHtml, u"Cut off", TCharsetSource::kDeclared},
      {"EmptyFile", "", TMimeTextKind::kNone, u"", TCharsetSource::kDefault},
      {"MimeWithoutTextPart",
       Crlf("MIME-Version: 1.0\nContent-Type: image/png\nContent-Transfer-Encoding: base64\n\niVBORw0KGgo=\n"),
       TMimeTextKind::kNone, u"", TCharsetSource::kDefault},
      {"GarbageMultipart",
       Crlf("MIME-Version: 1.0\nContent-Type: multipart/mixed; boundary=\n\n\x01\x02--\n--\n"),
       TMimeTextKind::kPlain, u"\x01\x02--\r\n--", TCharsetSource::kDefault},
      // Text outside every element is text all the same.
      {"GarbageBytes", std::string("\x01\x02\x7F garbage \x81\x8D", 14), TMimeTextKind::kHtml,
       u"\x01\x02\x7F garbage \x81\x8D", TCharsetSource::kDefault},
  };
}

// The rendered text without the blank lines a paragraph leaves at the end.
std::u16string Shown(const TMimeText& part) {
  std::u16string text = RenderedText(part);
  while (text.ends_with(u"\r\n")) text.resize(text.size() - 2);
  return text;
}

TEST(MimeReaderTest, RootPartKindCharsetAndRenderedText) {
  for (const MimeCase& c : Cases()) {
    SCOPED_TRACE(c.name);
    const TMimeText part = ReadMimeText(c.bytes);
    EXPECT_EQ(part.kind, c.kind);
    EXPECT_EQ(Shown(part), c.rendered);
    EXPECT_EQ(part.charsetSource, c.source);
  }
}

TEST(MimeReaderTest, LargeImagePartIsNeverDecoded) {
  const std::string html = "<p>Beside a large image</p>";
  const std::string archive =
      Crlf("MIME-Version: 1.0\nContent-Type: multipart/related; boundary=B; start=\"<h@x>\"\n\n") +
      LargeImagePart() + Crlf("--B\nContent-Type: text/html; charset=utf-8\nContent-ID: <h@x>\n\n") + html +
      "\r\n--B--\r\n";
  ASSERT_GT(archive.size(), 8'000'000u);
  const TMimeText part = ReadMimeText(archive);
  EXPECT_EQ(Shown(part), u"Beside a large image");
  // Only the root part went through transfer decoding: its bytes and the line end before
  // the boundary.
  EXPECT_LE(part.decodedBytes, static_cast<int64_t>(html.size() + 2));
}

TEST(MimeReaderTest, HeaderBlockDecidesWhetherMime) {
  EXPECT_TRUE(HasMimeHeaders("MIME-Version: 1.0\r\nSubject: x\r\n\r\nbody"));
  EXPECT_TRUE(HasMimeHeaders("From x@y Mon\nReceived: a\n  b\ncontent-type: text/plain\n\nbody"));
  EXPECT_FALSE(HasMimeHeaders("Subject: no MIME\r\n\r\n<p>x</p>"));
  EXPECT_FALSE(HasMimeHeaders("<html>Content-Type: text/html</html>"));
  EXPECT_FALSE(HasMimeHeaders("\xEF\xBB\xBF" "Content-Type: text/html\r\n\r\n"));
  EXPECT_FALSE(HasMimeHeaders(" Content-Type: text/html\r\n\r\n"));
}

TEST(MimeReaderTest, CharsetNames) {
  EXPECT_EQ(CodePageOfCharset("\"UTF-8\""), platform::kCpUtf8);
  EXPECT_EQ(CodePageOfCharset("iso-8859-1"), platform::kCpAnsi);
  EXPECT_EQ(CodePageOfCharset("Windows-1251"), 1251u);
  EXPECT_EQ(CodePageOfCharset("shift_jis"), 932u);
  EXPECT_EQ(CodePageOfCharset("x-unknown"), std::nullopt);
  EXPECT_EQ(MetaCharset("<META CHARSET='koi8-r'>"), "koi8-r");
  EXPECT_EQ(MetaCharset("<meta name=x><p>charset=utf-8</p>"), "");
  EXPECT_EQ(DecodeUtf8Lenient("a\xC3(\xF0\x9F\x98\x80"), u"a\uFFFD(\U0001F600");
}

TEST(RenderedTextTest, LeavesOutWhatIsNotShownAndTabsTableCells) {
  const std::u16string html =
      u"<html><head><title>Title</title><style>p{color:red}</style><script>var x;</script></head>"
      u"<body><noscript>Enable scripts</noscript><p>Before</p><table><tr><th>Name</th><th>Wert</th></tr>"
      u"<tr><td>a </td><td> 1</td></tr></table><p>After</p></body></html>";
  TMimeText part;
  part.kind = TMimeTextKind::kHtml;
  part.text = html;
  EXPECT_EQ(Shown(part), u"Before\r\n\r\nName\tWert\r\na\t1\r\n\r\nAfter");
  // The indexer's text of the same page stays as it always was.
  const std::u16string indexed = textlib::HtmlToText(html);
  EXPECT_NE(indexed.find(u"Title"), std::u16string::npos);
  EXPECT_NE(indexed.find(u"Enable scripts"), std::u16string::npos);
  EXPECT_EQ(indexed.find(u'\t'), std::u16string::npos);

  // Pages that never close their head still show their body.
  for (const std::u16string& unclosed : {std::u16string(u"<html><head><title>T</title><body><p>Shown</p>"),
                                         std::u16string(u"<head><title>T</title></head><p>Shown</p>"),
                                         std::u16string(u"<html><head><title>T</title><meta a=b>Shown</html>")}) {
    part.text = unclosed;
    EXPECT_EQ(Shown(part), u"Shown");
  }
}

TEST(RenderedTextTest, StreamedWalkEqualsWalkOfTheKeptTree) {
  const std::u16string pages[] = {
      u"<table><tr><td>a<table><tr><td>x</td><td>y</td></tr></table></td><td>b</td></tr></table>",
      u"<html><body>in body</body><head><title>late</title></head><p>after <td>cell</td></p></html>",
      u"<tr><td>1<td>2</tr><tr><th>3</th></tr><style>s</style><noscript><p>n</p></noscript>end",
  };
  for (const std::u16string& html : pages) {
    textlib::THtmlParser parser;
    const auto document = parser.ParseString(html);
    textlib::TTextFormatter formatter;
    formatter.SetRenderedText(true);
    EXPECT_EQ(textlib::HtmlToRenderedText(html), formatter.GetText(document.get()));
  }
}

}  // namespace
}  // namespace extractor

// Pages, archives and mails, byte for byte, and the exact text that reaches the store: through
// the indexer (a page read as a file and formatted) and through the extractor (the archive's
// root part as the browser stand-in shows it, then tidied or repaired as the job does).
#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "app/index/index_run.h"
#include "extractor/browser/rendered_text.h"
#include "extractor/job/job_files.h"
#include "extractor/mime/mime_reader.h"
#include "platform/codepage.h"

namespace extractor {
namespace {

std::string U8(std::u16string_view text) { return platform::WideToPosixUtf8(text); }

std::string Archive(std::string_view type, std::string_view body) {
  return "MIME-Version: 1.0\r\nContent-Type: " + std::string(type) + "\r\n\r\n" + std::string(body);
}

// A web archive of related parts, the first one the root: each part is its headers and body.
std::string Related(std::initializer_list<std::pair<std::string_view, std::string_view>> parts) {
  std::string out = "MIME-Version: 1.0\r\nContent-Type: multipart/related; boundary=\"P\"\r\n\r\n";
  for (const auto& [headers, body] : parts) out += "--P\r\n" + std::string(headers) + "\r\n\r\n" + std::string(body) + "\r\n";
  return out + "--P--\r\n";
}

struct Row {
  const char* name;
  std::string bytes;  // a page, an archive (.mht) or a mail (.eml)
  bool mail;
  std::optional<std::u16string> indexed;    // the indexer's text of the page as a file
  std::optional<std::u16string> extracted;  // the extractor's text of it as an archive
};

std::u16string Extracted(const Row& row) {
  const TMimeText part = ReadMimeText(row.bytes);
  const std::u16string shown = RenderedText(part);
  if (row.mail) return TidyMailText(shown);
  const bool declared = part.charsetSource == TCharsetSource::kDeclared || part.charsetSource == TCharsetSource::kMeta ||
                        part.charsetSource == TCharsetSource::kByteOrderMark;
  return RepairCodePage(shown, declared);
}

TEST(VisibleText, WhatTheStoreHoldsIsWhatTheBrowserShows) {
  const std::string styled = "<html><head><style>";
  const Row rows[] = {
      // Text outside the first element, in document order.
      {"PageWithoutHtml", "<title>Rezept</title><b>Zutaten:</b> Mehl, Zucker und Eier.", false,
       u"Rezept\r\n\r\nZutaten: Mehl, Zucker und Eier.", u"Zutaten: Mehl, Zucker und Eier."},
      {"TextBesideTheFirstElement", "Hallo <b>Welt</b> mit Tag", false, u"Hallo Welt mit Tag", u"Hallo Welt mit Tag"},
      {"TextOnly", "Nur Text", false, u"Nur Text", u"Nur Text"},
      // Breaks where a browser has them.
      {"Options", "<body><select><option>Erste Wahl</option><option>Zweite Wahl</select></body>", false,
       u"Erste Wahl\r\nZweite Wahl\r\n", u"Erste Wahl\r\nZweite Wahl\r\n"},
      {"LaterBlockElements", "<body><section>Eins</section><nav>Zwei</nav><footer>Drei</footer></body>", false,
       u"Eins\r\n\r\nZwei\r\n\r\nDrei\r\n\r\n", u"Eins\r\n\r\nZwei\r\n\r\nDrei\r\n\r\n"},
      {"BlockLevelSpan", styled + ".version { display: block }</style></head><body><h1>std<span class=version>1.95.0</span></h1>",
       false, std::nullopt, u"std\r\n\r\n1.95.0\r\n\r\n"},
      {"HeadingWithHiddenAnchor",
       styled + "h2 > a.anchor { display: none } a.anchor:hover { display: inline }</style></head>"
                "<body><h2 id=t>Type<a class=\"anchor\" href=\"#t\">&sect;</a></h2><p>Text</p>",
       false, std::nullopt, u"Type\r\n\r\nText\r\n\r\n"},
      // Hidden text.
      {"HiddenAttribute", "<body><p>Sichtbar</p><p hidden>Versteckt</p></body>", false, std::nullopt, u"Sichtbar\r\n\r\n"},
      {"InlineStyles",
       "<body><p>Eins <span style=\"display:none\">nein</span><span style='color:red; VISIBILITY: hidden'>nie</span>zwei</p>",
       false, std::nullopt, u"Eins zwei\r\n\r\n"},
      {"Template", "<body><template><p>Vorlage</p></template><p>Seite</p>", false, std::nullopt, u"Seite\r\n\r\n"},
      {"ClosedDetails", "<body><details><summary>Mehr</summary>Inhalt <p>Absatz</p></details></body>", false,
       std::nullopt, u"Mehr\r\n\r\n"},
      {"OpenDetails", "<body><details open><summary>Mehr</summary>Inhalt</details></body>", false, std::nullopt,
       u"Mehr\r\n\r\nInhalt\r\n\r\n"},
      {"StyleSheetRules",
       styled + "@media print { .screen { display: none } } div.ad, #banner .x { display: none }"
                "/* .note { display: none } */ .out { visibility: hidden }</style></head><body>"
                "<div class=\"box ad\">Werbung</div><div id=banner><b class=x>Banner</b> bleibt</div>"
                "<p class=screen>Bildschirm</p><p class=note>Notiz</p><p class=out>weg</p></body>",
       false, std::nullopt, u"bleibt\r\n\r\nBildschirm\r\n\r\nNotiz\r\n\r\n"},
      {"StyleSheetPartOfTheArchive",
       Related({{"Content-Type: text/html; charset=utf-8\r\nContent-Location: http://h/a/index.html",
                 "<html><head><link rel=stylesheet href=s.css></head><body><p class=ad>Werbung</p><p>Text</p></body>"},
                {"Content-Type: text/css\r\nContent-Location: http://h/a/s.css", ".ad { display: none; }"}}),
       false, std::nullopt, u"Text\r\n\r\n"},
      {"LocalStyleSheetIsNotLoaded",
       Related({{"Content-Type: text/html\r\nContent-Location: file:///d/index.html",
                 "<link rel=stylesheet href=s.css><p class=ad>Werbung</p><p>Text</p>"},
                {"Content-Type: text/css\r\nContent-Location: file:///d/s.css", ".ad { display: none }"}}),
       false, std::nullopt, u"Werbung\r\n\r\nText\r\n\r\n"},
      {"ImageInALink", "<body><a href=x><img alt=Logo></a>Text</body>", false, u"LogoText", u"Text"},
      // Frames whose documents the archive holds, in order; noframes and iframe fallback left out.
      {"FramesOfTheArchive",
       Related({{"Content-Type: text/html\r\nContent-Location: http://h/a/index.html",
                 "<html><frameset cols=\"50%,50%\"><frame src=\"left.html\"><frame src=\"http://h/b/right.html\">"
                 "<noframes>Ohne Rahmen</noframes></frameset></html>"},
                {"Content-Type: text/html\r\nContent-Location: http://h/a/left.html", "<p>Links</p>"},
                {"Content-Type: text/html\r\nContent-Location: http://h/b/right.html", "<p>Rechts</p>"}}),
       false, std::nullopt, u"Links\r\n\r\nRechts\r\n\r\n"},
      {"IframeOfTheArchive",
       Related({{"Content-Type: text/html\r\nContent-Location: http://h/index.html",
                 "<body><p>Vor</p><iframe src=\"cid:frame-1@mhtml.blink\">Ersatz</iframe><p>Nach</p>"
                 "<iframe src=\"http://elsewhere/x.html\">Auch Ersatz</iframe></body>"},
                {"Content-Type: text/html\r\nContent-ID: <frame-1@mhtml.blink>", "<p>Im Rahmen</p>"}}),
       false, std::nullopt, u"Vor\r\n\r\nIm Rahmen\r\n\r\nNach\r\n\r\n"},
      // Entities and blanks as a browser renders them.
      {"NbspRuns", "<body><p>a&nbsp;&nbsp;b &nbsp;c</p></body>", false, u"a  b  c\r\n\r\n", u"a  b  c\r\n\r\n"},
      {"PreIndent", "<body><pre>\n  eingerueckt\n  zwei</pre></body>", false, u"  eingerueckt\r\n  zwei\r\n\r\n",
       u"  eingerueckt\r\n  zwei\r\n\r\n"},
      {"Apos", "<body><p>Peter&apos;s</p></body>", false, u"Peter's\r\n\r\n", u"Peter's\r\n\r\n"},
      {"LegacyEntities", "<body><p>K&auml;se, K&aumlse &copy 2026 &ltb&gt; &notanentity; <a href=\"?a=1&copy=2\">x</a></p>",
       false, u"Käse, Käse © 2026 <b> ¬anentity; x\r\n\r\n", u"Käse, Käse © 2026 <b> ¬anentity; x\r\n\r\n"},
      // Mails.
      {"MailWithoutMime", "Subject: x\r\n\r\nHello world\r\n", true, std::nullopt, u"Hello world\r\n"},
      {"MailWithoutMimeWithAddress", "From: a@b\r\nSubject: x\r\n\r\nMail an <anna@example.org> & co\r\n", true,
       std::nullopt, u"Mail an <anna@example.org> & co\r\n"},
      {"TextWithoutSubtype", Archive("text", "Nur der Text\r\n"), true, std::nullopt, u"Nur der Text\r\n"},
      {"MultipartWithoutBoundary", Archive("multipart/mixed", "Der Text\r\n"), true, std::nullopt, u"Der Text\r\n"},
      {"MultipartOfImagesOnly",
       Archive("multipart/mixed; boundary=B", "--B\r\nContent-Type: image/png\r\n\r\nPNG\r\n--B--\r\n"), true,
       std::nullopt, u""},
      {"MultipartWhoseBoundaryNeverComes", Archive("multipart/mixed; boundary=zz", "Der Text\r\n"), true, std::nullopt,
       u"Der Text\r\n"},
      // Code pages.
      {"UndeclaredCp1252", Archive("text/html", "<p>Fran\xE7" "ais: for\xEAt, \xEEle, \xE5r</p>"), false, std::nullopt,
       u"Français: forêt, île, år\r\n\r\n"},
      {"UndeclaredCp1251", Archive("text/html", "<p>\xCF\xF0\xE8\xE2\xE5\xF2 \xEC\xE8\xF0, \xE4\xF0\xF3\xE7\xFC\xFF</p>"),
       false, std::nullopt, u"Привет мир, друзья\r\n\r\n"},
      {"Utf8DeclaredAs1252",
       Archive("text/html; charset=windows-1252", "<p>Gr\xC3\xBC\xC3\x9F" "e aus K\xC3\xB6ln</p>"), false, std::nullopt,
       u"Grüße aus Köln\r\n\r\n"},
      {"Utf8WithMetaOf1252",
       Archive("text/html", "<meta charset=iso-8859-1><p>Gr\xC3\xBC\xC3\x9F" "e</p>"), false, std::nullopt, u"Grüße\r\n\r\n"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    if (row.indexed) {
      EXPECT_EQ(U8(app::FormatWorkingText(app::LoadWorkingText(row.bytes))), U8(*row.indexed));
    }
    if (row.extracted) {
      EXPECT_EQ(U8(Extracted(row)), U8(*row.extracted));
    }
  }
}

}  // namespace
}  // namespace extractor

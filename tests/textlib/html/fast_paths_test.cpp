// The fast paths of the reader, the attribute map, the tag list and the formatter against
// plain references written straight from the rules, on tables around their switch points
// and on generated inputs.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "html_test_util.h"
#include "textlib/html/formatter.h"
#include "textlib/html/parser.h"
#include "textlib/html/reader.h"
#include "textlib/html/tags.h"

namespace textlib {
namespace {

using testing::Tree;
using testing::U8;

// --- attribute map: in-order search below 16 entries, hash index from then on ---

// What a map of attributes holds: a later name replaces the entry and goes to the end.
using Model = std::vector<std::pair<std::u16string, std::u16string>>;

void ModelSet(Model& model, const std::u16string& name, const std::u16string& value) {
  std::erase_if(model, [&](const auto& entry) { return entry.first == name; });
  model.emplace_back(name, value);
}

void ExpectMapIs(const TElement* e, const Model& model, const std::vector<std::u16string>& probe) {
  const TNamedNodeMap* map = e->Attributes();
  ASSERT_EQ(map->Length(), static_cast<int64_t>(model.size()));
  for (size_t i = 0; i < model.size(); ++i) {
    const TNode* item = map->Item(static_cast<int64_t>(i));
    ASSERT_NE(item, nullptr) << i;
    EXPECT_EQ(item->NodeName(), model[i].first) << i;
    EXPECT_EQ(item->GetNodeValue(), model[i].second) << i;
  }
  EXPECT_EQ(map->Item(static_cast<int64_t>(model.size())), nullptr);
  for (const std::u16string& name : probe) {
    auto it = std::find_if(model.begin(), model.end(), [&](const auto& m) { return m.first == name; });
    const TAttr* found = e->GetAttributeNode(name);
    if (it == model.end()) {
      EXPECT_EQ(found, nullptr) << U8(name);
    } else {
      ASSERT_NE(found, nullptr) << U8(name);
      EXPECT_EQ(found->GetNodeValue(), it->second) << U8(name);
    }
  }
}

std::u16string Numbered(int i) { return std::u16string{u'n', static_cast<char16_t>(u'a' + i)}; }

TEST(AttributeMap, DuplicatesAroundTheIndexSwitch) {
  // For 15, 16 and 17 distinct names, the name at `dup` is set again after `after` of them:
  // before the map is full, right at the switch and past it.
  for (int count : {15, 16, 17}) {
    for (int dup : {0, 7, count - 1}) {
      for (int after : {dup + 1, 15, 16, 17, count}) {
        if (after < dup + 1 || after > count) continue;
        auto doc = DomImplementation::CreateDocument();
        TElement* e = doc->CreateElement(u"p");
        Model model;
        std::vector<std::u16string> probe{u"NA", u"", u"n", u"nq"};
        auto set = [&](const std::u16string& name, const std::u16string& value) {
          TAttr* a = doc->CreateAttribute(name);
          a->AppendChild(doc->CreateTextNode(value));
          const TAttr* old = e->GetAttributeNode(name);
          EXPECT_EQ(e->SetAttributeNode(a), old) << U8(name);
          if (old != nullptr) {
            EXPECT_EQ(old->OwnerElement(), nullptr);
            doc->FreeNode(const_cast<TAttr*>(old));
          }
          ModelSet(model, name, value);
        };
        for (int i = 0; i < count; ++i) {
          probe.push_back(Numbered(i));
          set(Numbered(i), std::u16string{u'v', static_cast<char16_t>(u'0' + i % 10)});
          if (i + 1 == after) set(Numbered(dup), u"again");
        }
        SCOPED_TRACE(::testing::Message() << count << " names, " << dup << " again after " << after);
        ExpectMapIs(e, model, probe);
        // Setting the entry that is already there changes nothing.
        TAttr* present = e->GetAttributeNode(Numbered(dup));
        EXPECT_EQ(e->Attributes()->SetNamedItem(present), nullptr);
        ExpectMapIs(e, model, probe);
      }
    }
  }
}

TEST(AttributeMap, NamesAreExactInTheMapAndFoldedByTheReader) {
  // The map compares names exactly, in the search and in the index alike.
  for (int count : {14, 15, 16, 17, 20}) {
    auto doc = DomImplementation::CreateDocument();
    TElement* e = doc->CreateElement(u"p");
    Model model;
    for (int i = 0; i + 2 < count; ++i) {
      e->SetAttributeNode(doc->CreateAttribute(Numbered(i)));
      ModelSet(model, Numbered(i), u"");
    }
    for (const char16_t* name : {u"id", u"ID", u"Id"}) {
      e->SetAttributeNode(doc->CreateAttribute(name));
      ModelSet(model, name, u"");
    }
    SCOPED_TRACE(count);
    ExpectMapIs(e, model, {u"id", u"ID", u"Id", u"iD"});
  }
  // Through the builder, names are folded first (A-Z only; a unit without a byte in the
  // ANSI code page becomes "?"), so case variants and such units are the same name.
  struct Case {
    std::u16string attributes;
    std::string tree;
  };
  auto filler = [](int n) {
    std::u16string s;
    for (int i = 0; i < n; ++i)
      s.append(u" ").append(Numbered(i)).append(u"=") += static_cast<char16_t>(u'0' + i % 10);
    return s;
  };
  auto listed = [](int n, int skip) {
    std::string s = "p[";
    for (int i = 0; i < n; ++i) {
      if (i == skip) continue;
      s += {'n', static_cast<char>('a' + i), '=', static_cast<char>('0' + i % 10), ','};
    }
    return s;
  };
  const Case cases[] = {
      {u" ID=1 id=2 Id=3", "p[id=3]"},
      {u" \u00C4=1 \u00E4=2", "p[\u00C4=1,\u00E4=2]"},
      {u" \u0100=1 \u0101=2", "p[?=2]"},
      {filler(15) + u" NA=x", listed(15, 0) + "na=x]"},
      {filler(16) + u" NA=x", listed(16, 0) + "na=x]"},
      {filler(17) + u" NA=x", listed(17, 0) + "na=x]"},
      {filler(17) + u" Nq=x nQ=y", listed(17, 16) + "nq=y]"},
      {filler(16) + u" NP=x", listed(16, 15) + "np=x]"},
  };
  for (const Case& c : cases) {
    THtmlParser parser;
    const std::string tree = Tree(parser.ParseString(u"<p" + c.attributes + u">").get());
    EXPECT_EQ(tree, "html(body(" + c.tree + "))") << U8(c.attributes);
  }
}

TEST(AttributeMap, RandomSequencesMatchTheModel) {
  // Few names and many settings: the index fills with holes and squeezes them out.
  std::mt19937 rng(11);
  for (int trial = 0; trial < 60; ++trial) {
    const int names = 1 + static_cast<int>(rng() % 40);
    const int steps = static_cast<int>(rng() % 300);
    auto doc = DomImplementation::CreateDocument();
    TElement* e = doc->CreateElement(u"p");
    Model model;
    std::vector<std::u16string> probe;
    for (int i = 0; i < names; ++i) probe.push_back(std::u16string{u'k', static_cast<char16_t>(u'0' + i)});
    for (int s = 0; s < steps; ++s) {
      const std::u16string& name = probe[rng() % probe.size()];
      const std::u16string value(1, static_cast<char16_t>(u'a' + s % 26));
      TAttr* a = doc->CreateAttribute(name);
      a->AppendChild(doc->CreateTextNode(value));
      doc->FreeNode(e->SetAttributeNode(a));
      ModelSet(model, name, value);
      if (rng() % 16 == 0) ExpectMapIs(e, model, probe);  // reads between the writes too
    }
    SCOPED_TRACE(::testing::Message() << "trial " << trial);
    ExpectMapIs(e, model, probe);
  }
}

// --- reader: text runs and quoted values are scanned eight units at a time ---

// Units that share a byte with a delimiter, so that a byte-wise compare would go wrong.
constexpr char16_t kFiller[] = {u'a', u' ', u'\u3C26', u'\u263C', u'\u2200', u'\u2722',
                                u'\u003E', u'\u3C00', u'\u0026' + 0x100, u'\uFFFF'};

std::u16string RandomFiller(std::mt19937& rng, size_t length) {
  std::u16string s;
  for (size_t i = 0; i < length; ++i) s += kFiller[rng() % std::size(kFiller)];
  return s;
}

// The first token a reader gives after `skip` tokens.
struct Token {
  int32_t type = kReaderNone;
  std::u16string value;
};
Token TokenAfter(std::u16string html, int skip) {
  THtmlReader r;
  r.SetHtmlStr(std::move(html));
  Token token;
  for (int i = 0; i <= skip && r.Read(); ++i) {
    token.type = r.NodeType();
    token.value = std::u16string(r.NodeValue());
  }
  return token;
}

TEST(ReaderScan, TextRunsEndAtTheFirstDelimiter) {
  std::mt19937 rng(5);
  for (int trial = 0; trial < 4000; ++trial) {
    // Lengths and start offsets around multiples of eight.
    const size_t lead = 1 + rng() % 9;
    std::u16string run = RandomFiller(rng, 1 + rng() % 40);
    const size_t cuts = rng() % 3;
    for (size_t i = 0; i < cuts; ++i) run[rng() % run.size()] = (rng() & 1) ? u'&' : u'<';
    run[0] = u'b';  // a run starts with a unit that is no delimiter
    const std::u16string prefix = u"<i>" + std::u16string(lead, u'x') + u"</i>";
    const Token token = TokenAfter(prefix + run, 4);
    size_t end = run.find_first_of(u"&<");
    if (end == std::u16string::npos) end = run.size();
    ASSERT_EQ(token.type, kReaderText) << trial;
    ASSERT_EQ(token.value, run.substr(0, end)) << trial << " " << U8(run);
  }
}

TEST(ReaderScan, QuotedValuesEndAtTheQuoteOrAnAmpersand) {
  std::mt19937 rng(6);
  for (int trial = 0; trial < 4000; ++trial) {
    const char16_t quote = (rng() & 1) ? u'"' : u'\'';
    const char16_t other = quote == u'"' ? u'\'' : u'"';
    std::u16string value = RandomFiller(rng, 1 + rng() % 40);
    const size_t marks = rng() % 4;
    for (size_t i = 0; i < marks; ++i) {
      const uint32_t r = rng() % 3;
      value[rng() % value.size()] = r == 0 ? quote : r == 1 ? u'&' : other;
    }
    if (value[0] == u'&' || value[0] == quote) value[0] = u'v';
    const std::u16string html = u"<a " + std::u16string(1 + rng() % 9, u'b') + u"=" + quote +
                                value + quote + u">";
    const Token token = TokenAfter(html, 2);
    const char16_t stops[] = {quote, u'&', 0};
    size_t end = value.find_first_of(stops);
    if (end == std::u16string::npos) end = value.size();
    ASSERT_EQ(token.type, kReaderText) << trial;
    ASSERT_EQ(token.value, value.substr(0, end)) << trial << " " << U8(html);
  }
}

TEST(ReaderScan, LastEventNamesTheCallbackOfEachRead) {
  // The builder reads without callbacks; it relies on one callback at most per Read.
  const std::u16string pieces[] = {u"<", u">", u"&", u";", u"a", u" ", u"=", u"\"", u"'", u"/",
                                   u"<!--", u"-->", u"<![CDATA[", u"]]>", u"<!DOCTYPE x>",
                                   u"&#65;", u"&amp;", u"<p ", u"</p>", u"x=1", u"#"};
  std::mt19937 rng(3);
  for (int trial = 0; trial < 500; ++trial) {
    std::u16string html;
    for (size_t i = 0, n = rng() % 30; i < n; ++i) html += pieces[rng() % std::size(pieces)];
    THtmlReader r;
    std::vector<HtmlReaderEvent> fired;
    auto on = [&](HtmlReaderEvent e) { return [&fired, e](THtmlReader&) { fired.push_back(e); }; };
    r.OnAttributeEnd = on(HtmlReaderEvent::kAttributeEnd);
    r.OnAttributeStart = on(HtmlReaderEvent::kAttributeStart);
    r.OnCDataSection = on(HtmlReaderEvent::kCDataSection);
    r.OnComment = on(HtmlReaderEvent::kComment);
    r.OnDocType = on(HtmlReaderEvent::kDocType);
    r.OnElementEnd = on(HtmlReaderEvent::kElementEnd);
    r.OnElementStart = on(HtmlReaderEvent::kElementStart);
    r.OnEndElement = on(HtmlReaderEvent::kEndElement);
    r.OnEntityReference = on(HtmlReaderEvent::kEntityReference);
    r.OnTextNode = on(HtmlReaderEvent::kTextNode);
    r.SetHtmlStr(html);
    while (true) {
      const size_t before = fired.size();
      const bool more = r.Read();
      ASSERT_LE(fired.size(), before + 1) << U8(html);
      const HtmlReaderEvent expected = fired.size() > before ? fired.back() : HtmlReaderEvent::kNone;
      ASSERT_EQ(r.LastEvent(), expected) << U8(html);
      if (!more) break;
    }
  }
}

// --- reader: a script's end is found by scanning for "<" (and "-" inside "<!--") ---

// Where a script's content ends, by browsers' tokenizer states for script data, one unit at
// a time; a name ends at a blank, "/" or ">" as everywhere in the reader.
size_t ScriptEndReference(std::u16string_view s) {
  enum State {
    kData, kLess, kEndOpen, kEndName, kEscapeStart, kEscapeStartDash, kEscaped, kEscapedDash,
    kEscapedDashDash, kEscapedLess, kEscapedEndOpen, kEscapedEndName, kDoubleStart, kDouble,
    kDoubleDash, kDoubleDashDash, kDoubleLess, kDoubleEnd,
  };
  auto alpha = [](char16_t c) { return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z'); };
  auto ends = [](char16_t c) {
    return c == u'\t' || c == u'\n' || c == u'\r' || c == u' ' || c == u'/' || c == u'>';
  };
  auto isScript = [](const std::u16string& name) {
    std::u16string lower = name;
    for (char16_t& c : lower)
      if (c >= u'A' && c <= u'Z') c = static_cast<char16_t>(c + 32);
    return lower == u"script";
  };
  State state = kData;
  std::u16string name;
  size_t tagStart = 0;
  for (size_t i = 0; i < s.size();) {
    const char16_t c = s[i];
    bool consume = true;
    switch (state) {
      case kData: if (c == u'<') { state = kLess; tagStart = i; } break;
      case kLess:
        if (c == u'/') { state = kEndOpen; name.clear(); }
        else if (c == u'!') state = kEscapeStart;
        else { state = kData; consume = false; }
        break;
      case kEndOpen: state = alpha(c) ? kEndName : kData; consume = false; break;
      case kEndName:
      case kEscapedEndName:
        if (ends(c) && isScript(name)) return tagStart;
        if (alpha(c)) name += c;
        else { state = state == kEndName ? kData : kEscaped; consume = false; }
        break;
      case kEscapeStart: if (c == u'-') state = kEscapeStartDash; else { state = kData; consume = false; } break;
      case kEscapeStartDash: if (c == u'-') state = kEscapedDashDash; else { state = kData; consume = false; } break;
      case kEscaped:
      case kEscapedDash:
      case kEscapedDashDash:
        if (c == u'-') state = state == kEscaped ? kEscapedDash : kEscapedDashDash;
        else if (c == u'<') { state = kEscapedLess; tagStart = i; }
        else if (c == u'>' && state == kEscapedDashDash) state = kData;
        else state = kEscaped;
        break;
      case kEscapedLess:
        name.clear();
        if (c == u'/') state = kEscapedEndOpen;
        else { state = alpha(c) ? kDoubleStart : kEscaped; consume = false; }
        break;
      case kEscapedEndOpen: state = alpha(c) ? kEscapedEndName : kEscaped; consume = false; break;
      case kDoubleStart:
      case kDoubleEnd: {
        const bool start = state == kDoubleStart;
        if (ends(c)) state = isScript(name) == start ? kDouble : kEscaped;
        else if (alpha(c)) name += c;
        else { state = start ? kEscaped : kDouble; consume = false; }
        break;
      }
      case kDouble:
      case kDoubleDash:
      case kDoubleDashDash:
        if (c == u'-') state = state == kDouble ? kDoubleDash : kDoubleDashDash;
        else if (c == u'<') state = kDoubleLess;
        else if (c == u'>' && state == kDoubleDashDash) state = kData;
        else state = kDouble;
        break;
      case kDoubleLess:
        if (c == u'/') { state = kDoubleEnd; name.clear(); }
        else { state = kDouble; consume = false; }
        break;
    }
    i += consume;
  }
  return s.size();
}

TEST(ReaderScan, ScriptContentEndsWhereBrowsersEndIt) {
  const std::u16string pieces[] = {u"<", u"/", u"!", u"-", u"--", u">", u"-->", u"<!--",
                                   u"script", u"SCRIPT", u"Scrip", u"t", u"x", u" ", u"\n",
                                   u"</script>", u"<script>", u"</script", u"<script", u"'",
                                   u"\u3C00", u"\u2D2D"};
  std::mt19937 rng(12);
  for (int trial = 0; trial < 20000; ++trial) {
    std::u16string content;
    for (size_t i = 0, n = rng() % 24; i < n; ++i) content += pieces[rng() % std::size(pieces)];
    SCOPED_TRACE(U8(content));
    const size_t end = ScriptEndReference(content);
    // Tokens: "script", its ">", then the content's run when it is not empty.
    const Token token = TokenAfter(u"<script>" + content, 2);
    if (end > 0) {
      ASSERT_EQ(token.type, kReaderText);
      ASSERT_EQ(token.value, content.substr(0, end));
    } else {
      ASSERT_NE(token.type, kReaderText);
    }
  }
}

// --- tag list: hashed lookup against a search of the list ---

TEST(TagList, HashedLookupMatchesTheList) {
  const THtmlTagList& list = HtmlTagList();
  auto reference = [&](std::u16string_view name) {
    for (const THtmlTag& t : list.Tags())
      if (t.Name == name) return t.Number;
    return 0;
  };
  std::vector<std::u16string> names{u"", u"x", u"DIV", u"Div", u"h7", u"h", u"htmlx", u"tablex",
                                    u"\u0062", u"b\u0000", u"\u00E4", u"o:p"};
  for (const THtmlTag& t : list.Tags()) {
    names.push_back(t.Name);
    names.push_back(t.Name.substr(0, t.Name.size() - 1));
    names.push_back(t.Name + u"x");
    names.push_back(u"x" + t.Name);
    std::u16string upper = t.Name;
    for (char16_t& c : upper)
      if (c >= u'a' && c <= u'z') c = static_cast<char16_t>(c - 32);
    names.push_back(upper);
    std::u16string wide = t.Name;
    wide[0] = static_cast<char16_t>(wide[0] + 0x100);  // same low byte
    names.push_back(wide);
  }
  for (const std::u16string& name : names)
    EXPECT_EQ(list.GetTagByName(name).Number, reference(name)) << U8(name);
}

// --- formatter: white space collapsed without branches ---

TEST(FormatterCollapse, RunsOfBlanksBecomeOneSpace) {
  constexpr char16_t kUnits[] = {u' ', u'\t', u'\n', u'\r', u'a', u'\u00A0', u'\u2028', u'\u000B'};
  auto reference = [](std::u16string_view s) {
    std::u16string out;
    bool inRun = false;
    for (char16_t c : s) {
      const bool blank = c == u' ' || c == u'\t' || c == u'\n' || c == u'\r';
      if (!blank) out += c;
      else if (!inRun) out += u' ';
      inRun = blank;
    }
    return out;
  };
  std::mt19937 rng(9);
  for (int trial = 0; trial < 3000; ++trial) {
    std::u16string s;
    for (size_t i = 0, n = rng() % 40; i < n; ++i) s += kUnits[rng() % std::size(kUnits)];
    const std::u16string text = HtmlToText(u"<p>x" + s + u"</p>");
    ASSERT_EQ(text, std::u16string(u"x").append(reference(s)).append(u"\r\n\r\n")) << trial;
  }
}

TEST(FormatterCollapse, StrayStyleTextIsFoundByItsBrace) {
  const std::u16string css = u"h2 { color:black; font-size:23px; } ";
  const std::pair<std::u16string, std::u16string> cases[] = {
      {u"{ x " + css + u"y", u"{ x y"},
      {u"a{" + css + css, u"a{" + css},
      {u"h2 {" + css, u"h2 {"},
      {u"{{{", u"{{{"},
      {u"h2 { color:black; font-size:23px; }", u"h2 { color:black; font-size:23px; }"},
  };
  for (const auto& [body, text] : cases)
    EXPECT_EQ(HtmlToText(u"<body><pre>" + body + u"</pre></body>"), text + u"\r\n\r\n")
        << U8(body);
}

}  // namespace
}  // namespace textlib

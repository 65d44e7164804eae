// Writes the program's "UNICODE" resources "TYPE" and "CASE" from ICU's character
// properties, little-endian, plus a C++ source that embeds both byte for byte.
//   gen_unicode_tables OUT_DIR
// Only the Basic Multilingual Plane is listed per category: the callers ask about
// UTF-16 units, and every supplementary code point shares category 11.
#include <unicode/uchar.h>

#include <array>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

namespace {

constexpr int kCategoryCount = 49;
constexpr int kSupplementary = 11;

int GeneralCategoryNumber(int8_t type) {
  switch (type) {
    case U_NON_SPACING_MARK: return 0;
    case U_COMBINING_SPACING_MARK: return 1;
    case U_ENCLOSING_MARK: return 2;
    case U_DECIMAL_DIGIT_NUMBER: return 3;
    case U_LETTER_NUMBER: return 4;
    case U_OTHER_NUMBER: return 5;
    case U_SPACE_SEPARATOR: return 6;
    case U_LINE_SEPARATOR: return 7;
    case U_PARAGRAPH_SEPARATOR: return 8;
    case U_CONTROL_CHAR: return 9;
    case U_FORMAT_CHAR: return 10;
    case U_PRIVATE_USE_CHAR: return 12;
    case U_UPPERCASE_LETTER: return 14;
    case U_LOWERCASE_LETTER: return 15;
    case U_TITLECASE_LETTER: return 16;
    case U_MODIFIER_LETTER: return 17;
    case U_OTHER_LETTER: return 18;
    case U_CONNECTOR_PUNCTUATION: return 19;
    case U_DASH_PUNCTUATION: return 20;
    case U_START_PUNCTUATION: return 21;
    case U_INITIAL_PUNCTUATION: return 21;  // the table has no own class for Pi/Pf
    case U_END_PUNCTUATION: return 22;
    case U_FINAL_PUNCTUATION: return 22;
    case U_OTHER_PUNCTUATION: return 23;
    case U_MATH_SYMBOL: return 24;
    case U_CURRENCY_SYMBOL: return 25;
    case U_MODIFIER_SYMBOL: return 26;
    case U_OTHER_SYMBOL: return 27;
    default: return -1;  // Cs and Cn are listed nowhere (category 13 stays empty)
  }
}

int BidiNumber(UCharDirection dir) {
  switch (dir) {
    case U_LEFT_TO_RIGHT: return 28;
    case U_RIGHT_TO_LEFT: return 29;
    case U_RIGHT_TO_LEFT_ARABIC: return 29;
    case U_EUROPEAN_NUMBER: return 30;
    case U_EUROPEAN_NUMBER_SEPARATOR: return 31;
    case U_EUROPEAN_NUMBER_TERMINATOR: return 32;
    case U_ARABIC_NUMBER: return 33;
    case U_COMMON_NUMBER_SEPARATOR: return 34;
    case U_BLOCK_SEPARATOR: return 35;
    case U_SEGMENT_SEPARATOR: return 36;
    case U_WHITE_SPACE_NEUTRAL: return 37;
    case U_OTHER_NEUTRAL: return 38;
    case U_DIR_NON_SPACING_MARK: return 39;
    case U_BOUNDARY_NEUTRAL: return 40;
    default: return -1;
  }
}

// Categories 39 to 48 are kept for completeness; no routine of the program reads them.
void ExtraProperties(UChar32 c, std::array<bool, kCategoryCount>& in) {
  in[41] = u_isMirrored(c);
  in[42] = u_hasBinaryProperty(c, UCHAR_HEX_DIGIT);
  in[43] = u_hasBinaryProperty(c, UCHAR_QUOTATION_MARK);
  in[44] = u_hasBinaryProperty(c, UCHAR_DASH);
  in[45] = u_hasBinaryProperty(c, UCHAR_WHITE_SPACE);
  in[46] = u_hasBinaryProperty(c, UCHAR_ALPHABETIC);
  in[47] = u_hasBinaryProperty(c, UCHAR_IDEOGRAPHIC);
  in[48] = u_hasBinaryProperty(c, UCHAR_DIACRITIC);
}

struct Bytes {
  std::vector<uint8_t> data;
  void U16(uint32_t v) {
    data.push_back(v & 0xFF);
    data.push_back((v >> 8) & 0xFF);
  }
  void U32(uint32_t v) {
    U16(v & 0xFFFF);
    U16(v >> 16);
  }
};

Bytes BuildType() {
  std::vector<std::vector<uint32_t>> ranges(kCategoryCount);
  std::array<UChar32, kCategoryCount> open{};
  open.fill(-1);
  auto close = [&](int cat, UChar32 last) {
    ranges[cat].push_back(static_cast<uint32_t>(open[cat]));
    ranges[cat].push_back(static_cast<uint32_t>(last));
    open[cat] = -1;
  };
  for (UChar32 c = 0; c <= 0x10000; ++c) {
    std::array<bool, kCategoryCount> in{};
    if (c <= 0xFFFF) {
      int g = GeneralCategoryNumber(u_charType(c));
      if (g >= 0) in[g] = true;
      int b = BidiNumber(u_charDirection(c));
      if (b >= 0 && u_charType(c) != U_UNASSIGNED) in[b] = true;
      if (u_charType(c) != U_UNASSIGNED) ExtraProperties(c, in);
    }
    for (int cat = 0; cat < kCategoryCount; ++cat) {
      if (in[cat] && open[cat] < 0) open[cat] = c;
      if (!in[cat] && open[cat] >= 0) close(cat, c - 1);
    }
  }
  ranges[kSupplementary] = {0x10000, 0x10FFFF};

  const int indexEntries = kCategoryCount % 2 ? kCategoryCount + 1 : kCategoryCount + 2;
  std::vector<uint32_t> index(indexEntries, 0);
  std::vector<uint32_t> all;
  for (int cat = 0; cat < kCategoryCount; ++cat) {
    index[cat] = ranges[cat].empty() ? 0xFFFF : static_cast<uint32_t>(all.size());
    all.insert(all.end(), ranges[cat].begin(), ranges[cat].end());
  }
  index[kCategoryCount] = static_cast<uint32_t>(all.size());
  if (all.size() > 0xFFFE) throw std::runtime_error("range array too large for 16-bit index");

  Bytes out;
  out.U16(0xFEFF);
  out.U16(kCategoryCount);
  out.U32(static_cast<uint32_t>(2 * index.size() + 4 * all.size()));
  for (uint32_t v : index) out.U16(v);
  for (uint32_t v : all) out.U32(v);
  return out;
}

Bytes BuildCase() {
  struct Record { uint32_t code, a, b; };
  std::vector<Record> upper, lower, rest;
  auto bmp = [](UChar32 mapped, UChar32 c) { return mapped > 0xFFFF ? c : mapped; };
  for (UChar32 c = 0; c <= 0xFFFF; ++c) {
    if (c >= 0xD800 && c <= 0xDFFF) continue;
    UChar32 up = bmp(u_toupper(c), c), lo = bmp(u_tolower(c), c), ti = bmp(u_totitle(c), c);
    int8_t type = u_charType(c);
    if (type == U_UPPERCASE_LETTER) {
      if (lo != c || ti != c) upper.push_back({uint32_t(c), uint32_t(lo), uint32_t(ti)});
    } else if (type == U_LOWERCASE_LETTER) {
      if (up != c || ti != c) lower.push_back({uint32_t(c), uint32_t(up), uint32_t(ti)});
    } else if (up != c || lo != c) {
      rest.push_back({uint32_t(c), uint32_t(up), uint32_t(lo)});
    }
  }
  Bytes out;
  out.U16(0xFEFF);
  out.U16(static_cast<uint32_t>(upper.size() + lower.size() + rest.size()));
  out.U16(static_cast<uint32_t>(upper.size()));
  out.U16(static_cast<uint32_t>(lower.size()));
  for (const auto* group : {&upper, &lower, &rest})
    for (const Record& r : *group) {
      out.U32(r.code);
      out.U32(r.a);
      out.U32(r.b);
    }
  return out;
}

void WriteBinary(const std::string& path, const Bytes& b) {
  std::ofstream f(path, std::ios::binary);
  f.write(reinterpret_cast<const char*>(b.data.data()), static_cast<std::streamsize>(b.data.size()));
  if (!f) throw std::runtime_error("cannot write " + path);
}

void WriteArray(std::ofstream& f, const char* name, const Bytes& b) {
  f << "extern const unsigned char " << name << "[] = {";
  for (size_t i = 0; i < b.data.size(); ++i) {
    if (i % 16 == 0) f << "\n ";
    char buf[8];
    std::snprintf(buf, sizeof buf, " %u,", b.data[i]);
    f << buf;
  }
  f << "\n};\nextern const std::size_t " << name << "Size = " << b.data.size() << ";\n\n";
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: gen_unicode_tables OUT_DIR\n");
    return 2;
  }
  try {
    const std::string dir = argv[1];
    const Bytes type = BuildType(), cases = BuildCase();
    WriteBinary(dir + "/TYPE.bin", type);
    WriteBinary(dir + "/CASE.bin", cases);
    std::ofstream src(dir + "/unicode_tables_data.cpp");
    src << "// Generated by gen_unicode_tables from ICU " << U_UNICODE_VERSION << " data.\n"
        << "#include <cstddef>\n\n";
    WriteArray(src, "kUnicodeTypeResource", type);
    WriteArray(src, "kUnicodeCaseResource", cases);
    if (!src) throw std::runtime_error("cannot write unicode_tables_data.cpp");
  } catch (const std::exception& e) {
    std::fprintf(stderr, "gen_unicode_tables: %s\n", e.what());
    return 1;
  }
  return 0;
}

// Every text the program can print is listed in the manual page.
//
// How the texts are found: every .cpp and .h file under src/ is cut into
// tokens (comments dropped, string literals decoded, adjacent literals
// joined, also across the <cinttypes> macros between them: "%08" PRIX64
// ": " is the literal "%08X: "), and three kinds of literal are taken:
//   1. the format of a printf-style call -- the first literal among the
//      arguments of out_printf, err_printf (the channels, used by the text
//      printer and the shell) or finding (a printer's finding, whose channel
//      and position come first); its conversions (%08X, %s, ...) stand for
//      any text;
//   2. the literals of a stream statement -- one that begins with a name
//      ending in "stream" followed by "<<" (out_stream, err_stream, a stream
//      handed in as a parameter), up to its semicolon; every other operand
//      (a name, a number) stands for any text;
//   3. any other literal that ends in a line feed: a whole line kept in a
//      table or a constant and printed elsewhere (the media types of the
//      drive report, the marker names of the text printer).
// A line assembled in a string before it is printed (the carving progress
// line) is not found this way; the manual page lists it all the same.
// Each text is cut into lines at its line feeds; a line is looked for when,
// without what stands for any text, it still holds a letter (so "%02X", " "
// and "')\n" are not).
//
// How a line is looked for: the page's source is turned into plain text
// lines (requests dropped except for the font macros, whose words are kept,
// font escapes dropped, character escapes decoded, runs of blanks made one),
// and the trimmed line must occur within one of them, what stands for any
// text matching any run of characters.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "support/golden.h"

namespace segsniff::test {
namespace {

namespace fs = std::filesystem;

constexpr char any_text = '\x01';  // stands for a conversion or an operand

std::string read_file(const fs::path& path) {
  std::ifstream f(path, std::ios::binary);
  std::ostringstream s;
  s << f.rdbuf();
  return s.str();
}

struct Token {
  enum Kind { name, literal, punct } kind;
  std::string text;  // a literal decoded
  int line;
};

// Decodes the escape at text[i] (just after the backslash); moves i past it.
char decode_escape(const std::string& text, std::size_t& i) {
  const char c = text[i++];
  switch (c) {
    case 'n': return '\n';
    case 't': return '\t';
    case 'r': return '\r';
    case 'a': return '\a';
    case 'x': {
      int value = 0;
      while (i < text.size() && std::isxdigit(static_cast<unsigned char>(text[i])))
        value = value * 16 + std::stoi(std::string(1, text[i++]), nullptr, 16);
      return static_cast<char>(value);
    }
    default:
      if (c >= '0' && c <= '7') {
        int value = c - '0';
        for (int n = 1; n < 3 && i < text.size() && text[i] >= '0' && text[i] <= '7'; ++n)
          value = value * 8 + (text[i++] - '0');
        return static_cast<char>(value);
      }
      return c;  // \\ \" \' \?
  }
}

std::vector<Token> tokenize(const std::string& source) {
  std::vector<Token> tokens;
  int line = 1;
  for (std::size_t i = 0; i < source.size();) {
    const char c = source[i];
    if (c == '\n') ++line;
    if (std::isspace(static_cast<unsigned char>(c))) {
      ++i;
    } else if (source.compare(i, 2, "//") == 0 || c == '#') {  // comment, preprocessor line
      i = source.find('\n', i);
      if (i == std::string::npos) break;
    } else if (source.compare(i, 2, "/*") == 0) {
      const std::size_t end = source.find("*/", i + 2);
      for (std::size_t k = i; k < end; ++k) line += source[k] == '\n';
      i = end + 2;
    } else if (c == '"' || c == '\'') {
      std::string value;
      for (++i; i < source.size() && source[i] != c;)
        value += source[i] == '\\' ? decode_escape(source, ++i) : source[i++];
      ++i;
      if (c == '\'') continue;  // a character literal prints nothing by itself
      if (!tokens.empty() && tokens.back().kind == Token::literal) tokens.back().text += value;
      else tokens.push_back({Token::literal, value, line});
    } else if (std::isalnum(static_cast<unsigned char>(c)) || c == '_') {
      std::size_t end = i;
      while (end < source.size() &&
             (std::isalnum(static_cast<unsigned char>(source[end])) || source[end] == '_'))
        ++end;
      const std::string name = source.substr(i, end - i);
      i = end;
      // A <cinttypes> conversion macro after a literal (PRIX64, PRId32, ...)
      // is its conversion letter; the literal after it joins on.
      if (name.size() > 3 && name.starts_with("PRI") && !tokens.empty() &&
          tokens.back().kind == Token::literal) {
        tokens.back().text += name[3];
        continue;
      }
      tokens.push_back({Token::name, name, line});
    } else {
      const std::size_t n = source.compare(i, 2, "<<") == 0 ? 2 : 1;
      tokens.push_back({Token::punct, source.substr(i, n), line});
      i += n;
    }
  }
  return tokens;
}

// A printf format with its conversions replaced by any_text.
std::string format_pattern(const std::string& format) {
  static const std::regex conversion(R"(%[-+ #0]*[0-9]*(\.[0-9]+)?(hh|h|ll|l|j|z|t|L|I64)?[diouxXcspfeEgG])");
  std::string text = std::regex_replace(format, conversion, std::string(1, any_text));
  for (std::size_t at = text.find("%%"); at != std::string::npos; at = text.find("%%", at + 1))
    text.erase(at, 1);
  return text;
}

struct OutputText {
  std::string where;  // file:line
  std::string text;   // with any_text for what varies
};

bool is_printf_call(const std::string& name) {
  for (const char* call : {"out_printf", "err_printf", "finding"})
    if (name == call) return true;
  return false;
}

// The first literal among the arguments of the call whose "(" is at
// tokens[open], or 0 when it has none.
std::size_t first_literal_argument(const std::vector<Token>& tokens, std::size_t open) {
  int depth = 0;
  for (std::size_t k = open; k < tokens.size(); ++k) {
    const std::string& p = tokens[k].text;
    if (tokens[k].kind == Token::literal) return k;
    if (tokens[k].kind != Token::punct) continue;
    depth += (p == "(") - (p == ")");
    if (depth == 0) return 0;
  }
  return 0;
}

void collect_texts(const fs::path& file, std::vector<OutputText>& texts) {
  const std::vector<Token> tokens = tokenize(read_file(file));
  std::vector<bool> taken(tokens.size(), false);
  auto add = [&](std::size_t at, const std::string& text) {
    texts.push_back({file.filename().string() + ":" + std::to_string(tokens[at].line), text});
  };
  for (std::size_t i = 0; i + 2 < tokens.size(); ++i) {
    const Token& t = tokens[i];
    if (t.kind != Token::name) continue;
    if (is_printf_call(t.text) && tokens[i + 1].text == "(") {
      if (const std::size_t format = first_literal_argument(tokens, i + 1)) {
        taken[format] = true;
        add(i, format_pattern(tokens[format].text));
      }
    } else if (t.text.ends_with("stream") && tokens[i + 1].text == "<<") {
      std::string text;
      int depth = 0;
      std::size_t operand_start = i + 2;
      for (std::size_t k = i + 2; k < tokens.size(); ++k) {
        const std::string& p = tokens[k].text;
        const bool at_end = depth == 0 && tokens[k].kind == Token::punct && (p == ";" || p == "<<");
        if (at_end) {
          const bool one_literal = k == operand_start + 1 && tokens[operand_start].kind == Token::literal;
          text += one_literal ? tokens[operand_start].text : std::string(1, any_text);
          if (one_literal) taken[operand_start] = true;
          operand_start = k + 1;
          if (p == ";") break;
        } else if (tokens[k].kind == Token::punct) {
          depth += (p == "(" || p == "[" || p == "{") - (p == ")" || p == "]" || p == "}");
        }
      }
      add(i, text);
    }
  }
  for (std::size_t i = 0; i < tokens.size(); ++i)
    if (tokens[i].kind == Token::literal && !taken[i] && tokens[i].text.ends_with('\n'))
      add(i, tokens[i].text);
}

// The manual page as plain text, one line per source line of text.
std::string plain_text(const std::string& page) {
  static const std::pair<const char*, const char*> escapes[] = {
      {"\\(aq", "'"}, {"\\(lq", "\""}, {"\\(rq", "\""}, {"\\(dq", "\""}, {"\\(bu", "*"},
      {"\\(em", "--"}, {"\\-", "-"}, {"\\e", "\\"}, {"\\&", ""}, {"\\c", ""}, {"\\ ", " "},
      {"\\~", " "}, {"\\.", "."}, {"\\%", ""}, {"\\fB", ""}, {"\\fI", ""}, {"\\fR", ""},
      {"\\fP", ""}, {"\\f(CW", ""}, {"\\0", " "}, {"\\(co", "(C)"}};
  std::istringstream in(page);
  std::string text, line;
  while (std::getline(in, line)) {
    if (line.starts_with(".") || line.starts_with("'")) {
      static const std::regex font_macro(R"(^\.(B|I|BR|RB|IR|RI|BI|IB|SM|SB|SH|SS)\s+(.*)$)");
      std::smatch m;
      if (!std::regex_match(line, m, font_macro)) continue;
      const bool alternating = m[1].length() == 2 && m[1] != "SM" && m[1] != "SB" &&
                               m[1] != "SH" && m[1] != "SS";
      std::string words, rest = m[2];
      for (std::size_t i = 0; i < rest.size();) {  // arguments, "quoted" or not
        if (rest[i] == ' ') { ++i; continue; }
        std::string word;
        if (rest[i] == '"') {
          for (++i; i < rest.size() && !(rest[i] == '"' && rest.compare(i, 2, "\"\"") != 0); ++i) {
            if (rest.compare(i, 2, "\"\"") == 0) ++i;
            word += rest[i];
          }
          ++i;
        } else {
          while (i < rest.size() && rest[i] != ' ')  // "\ " is a blank inside a word
            word += rest.substr(i, rest[i] == '\\' ? 2 : 1), i += rest[i] == '\\' ? 2 : 1;
        }
        words += (words.empty() || alternating ? "" : " ") + word;
      }
      line = words;
    }
    std::string decoded;
    for (std::size_t i = 0; i < line.size();) {
      bool matched = false;
      for (const auto& [escape, replacement] : escapes) {
        if (line.compare(i, std::string_view(escape).size(), escape) != 0) continue;
        decoded += replacement;
        i += std::string_view(escape).size();
        matched = true;
        break;
      }
      if (!matched) decoded += line[i++];
    }
    text += std::regex_replace(decoded, std::regex("\\s+"), " ") + "\n";
  }
  return text;
}

// The regular expression for one printed line: trimmed, blanks made one,
// any_text matching any run of characters within a line.
std::string line_pattern(std::string line) {
  line = std::regex_replace(line, std::regex("\\s+"), " ");
  line.erase(0, line.find_first_not_of(' '));
  line.erase(line.find_last_not_of(' ') + 1);
  std::string pattern;
  for (char c : line) {
    if (c == any_text) pattern += ".*?";
    else if (std::string_view("\\^$.|?*+()[]{}/").find(c) != std::string_view::npos) pattern += std::string("\\") + c;
    else pattern += c;
  }
  return pattern;
}

bool holds_a_letter(const std::string& line) {
  for (char c : line)
    if (std::isalpha(static_cast<unsigned char>(c))) return true;
  return false;
}

TEST(ManualPage, ListsEveryLineTheProgramCanPrint) {
  std::vector<OutputText> texts;
  for (const auto& entry : fs::recursive_directory_iterator(fs::path(source_dir()) / "src")) {
    const fs::path& p = entry.path();
    if (p.extension() == ".cpp" || p.extension() == ".h") collect_texts(p, texts);
  }
  ASSERT_GT(texts.size(), 100u) << "the extraction found too few texts";
  const std::string page = plain_text(read_file(fs::path(source_dir()) / "doc/segsniff.1"));
  std::string missing;
  std::size_t looked_for = 0;
  for (const OutputText& t : texts) {
    std::istringstream lines(t.text);
    std::string line;
    while (std::getline(lines, line)) {
      if (!holds_a_letter(line)) continue;
      ++looked_for;
      if (!std::regex_search(page, std::regex(line_pattern(line))))
        missing += "  " + t.where + ": " + line_pattern(line) + "\n";
    }
  }
  EXPECT_GT(looked_for, 100u);
  EXPECT_TRUE(missing.empty()) << "not in doc/segsniff.1:\n" << missing;
}

// The extraction itself, on a piece of code that uses every rule.
TEST(ManualPage, ExtractionFindsFormatsStreamsAndTableLines) {
  const fs::path file = fs::temp_directory_path() / "segsniff-extraction-sample.cpp";
  std::ofstream(file) << "// out_printf(\"commented out\\n\");\n"
                         "out_printf(\"Marker %04X at \" \"offset %08\" PRIX64 \": \", m, o);\n"
                         "p.finding(Channel::err, r.cursor(), \"pos %\" PRIu64 \" lost\\n\", x);\n"
                         "err_stream << \"Open file '\" << shown(name) << \"' failed\\n\";\n"
                         "stream << \"usage \\\\\\\\.\\\\x:\\n\"; char c = '\"';\n"
                         "constexpr Row table[] = {{1, \"(Fixed Media)\\n\"}, {2, \"name\"}};\n"
                         "err_printf(text_of(x)); x = 1 << 16;\n";
  std::vector<OutputText> texts;
  collect_texts(file, texts);
  fs::remove(file);
  std::vector<std::string> found;
  for (const OutputText& t : texts) found.push_back(t.where + " " + t.text);
  const std::string a(1, any_text);
  EXPECT_EQ(found, (std::vector<std::string>{
                       "segsniff-extraction-sample.cpp:2 Marker " + a + " at offset " + a + ": ",
                       "segsniff-extraction-sample.cpp:3 pos " + a + " lost\n",
                       "segsniff-extraction-sample.cpp:4 Open file '" + a + "' failed\n",
                       "segsniff-extraction-sample.cpp:5 usage \\\\.\\x:\n",
                       "segsniff-extraction-sample.cpp:6 (Fixed Media)\n"}));
  EXPECT_EQ(plain_text(".B \"Open file \\(aq\\fIname\\fP\\(aq failed\"\n"
                       ".BR found\\ IFD \"with \\fIN\\fP\" tags\n"
                       "usage \\e\\e.\\ex:  \\-h Nikon\\e0\n"),
            "Open file 'name' failed\nfound IFDwith Ntags\nusage \\\\.\\x: -h Nikon\\0\n");
}

}  // namespace
}  // namespace segsniff::test

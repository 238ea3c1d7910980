#include "platform/resource/rc_parser.h"

#include <cctype>
#include <cstdio>
#include <map>
#include <set>
#include <tuple>
#include <utility>

#include "platform/nls/thread_locale.h"

namespace {

enum TokenType { TOK_END, TOK_WORD, TOK_NUMBER, TOK_STRING, TOK_OPEN, TOK_CLOSE, TOK_COMMA };

struct Token {
  TokenType type = TOK_END;
  int line = 0;
  std::string text;     // word or decoded string
  uint64_t number = 0;  // TOK_NUMBER
};

class Lexer {
 public:
  Lexer(std::string_view text, const std::string& file) : text_(text), file_(file) {
    // A byte order mark is allowed at the start.
    if (text_.substr(0, 3) == "\xEF\xBB\xBF") pos_ = 3;
  }

  bool next(Token* tok);
  bool fail(int line, const std::string& message) {
    error_ = file_ + ":" + std::to_string(line) + ": " + message;
    return false;
  }
  const std::string& error() const { return error_; }
  int line() const { return line_; }

 private:
  bool skip_blanks();
  bool read_string(Token* tok);
  bool read_number(Token* tok);
  // Length of the UTF-8 character at pos_, 0 when it is malformed.
  size_t utf8_length() const;

  std::string_view text_;
  std::string file_;
  std::string error_;
  size_t pos_ = 0;
  int line_ = 1;
};

size_t Lexer::utf8_length() const {
  auto byte = [&](size_t i) { return static_cast<unsigned char>(text_[pos_ + i]); };
  unsigned char c = byte(0);
  size_t n;
  uint32_t cp;
  if (c < 0x80) return 1;
  if (c >= 0xC2 && c <= 0xDF) {
    n = 2;
    cp = c & 0x1F;
  } else if (c >= 0xE0 && c <= 0xEF) {
    n = 3;
    cp = c & 0x0F;
  } else if (c >= 0xF0 && c <= 0xF4) {
    n = 4;
    cp = c & 0x07;
  } else {
    return 0;
  }
  if (pos_ + n > text_.size()) return 0;
  for (size_t i = 1; i < n; ++i) {
    if ((byte(i) & 0xC0) != 0x80) return 0;
    cp = cp << 6 | (byte(i) & 0x3F);
  }
  // Overlong forms, surrogates and values past U+10FFFF.
  if ((n == 3 && cp < 0x800) || (n == 4 && cp < 0x10000) || cp > 0x10FFFF ||
      (cp >= 0xD800 && cp <= 0xDFFF)) {
    return 0;
  }
  return n;
}

bool Lexer::skip_blanks() {
  while (pos_ < text_.size()) {
    char c = text_[pos_];
    if (c == '\n') {
      ++line_;
      ++pos_;
    } else if (c == ' ' || c == '\t' || c == '\r' || c == '\f' || c == '\v') {
      ++pos_;
    } else if (c == '/' && pos_ + 1 < text_.size() && text_[pos_ + 1] == '/') {
      while (pos_ < text_.size() && text_[pos_] != '\n') {
        size_t n = utf8_length();
        if (n == 0) return fail(line_, "invalid UTF-8 in comment");
        pos_ += n;
      }
    } else {
      break;
    }
  }
  return true;
}

bool Lexer::read_string(Token* tok) {
  ++pos_;  // opening quote
  std::string out;
  for (;;) {
    if (pos_ >= text_.size() || text_[pos_] == '\n') return fail(tok->line, "unterminated string");
    char c = text_[pos_];
    if (c == '"') {
      ++pos_;
      break;
    }
    if (c != '\\') {
      size_t n = utf8_length();
      if (n == 0) return fail(line_, "invalid UTF-8 in string");
      out.append(text_.substr(pos_, n));
      pos_ += n;
      continue;
    }
    if (pos_ + 1 >= text_.size() || text_[pos_ + 1] == '\n') {
      return fail(tok->line, "unterminated string");
    }
    char e = text_[pos_ + 1];
    pos_ += 2;
    switch (e) {
      case 'n': out += '\n'; break;
      case 'r': out += '\r'; break;
      case 't': out += '\t'; break;
      case 'a': out += '\a'; break;
      case 'b': out += '\b'; break;
      case '0': out += '\0'; break;
      case '\\': out += '\\'; break;
      case '"': out += '"'; break;
      case 'x': {
        int value = 0;
        int digits = 0;
        while (digits < 2 && pos_ < text_.size() &&
               isxdigit(static_cast<unsigned char>(text_[pos_]))) {
          char h = static_cast<char>(tolower(static_cast<unsigned char>(text_[pos_])));
          value = value * 16 + (h <= '9' ? h - '0' : h - 'a' + 10);
          ++digits;
          ++pos_;
        }
        if (digits == 0) return fail(line_, "\\x needs one or two hex digits");
        if (value > 0x7F) {
          return fail(line_, "\\x escape above 7F; write the character in UTF-8");
        }
        out += static_cast<char>(value);
        break;
      }
      default:
        // A backslash before any other character stands for itself.
        out += '\\';
        pos_ -= 1;
        break;
    }
  }
  tok->type = TOK_STRING;
  tok->text = std::move(out);
  return true;
}

bool Lexer::read_number(Token* tok) {
  size_t start = pos_;
  uint64_t value = 0;
  bool hex = text_[pos_] == '0' && pos_ + 1 < text_.size() &&
             (text_[pos_ + 1] == 'x' || text_[pos_ + 1] == 'X');
  if (hex) pos_ += 2;
  int digits = 0;
  while (pos_ < text_.size() && isalnum(static_cast<unsigned char>(text_[pos_]))) {
    char c = static_cast<char>(tolower(static_cast<unsigned char>(text_[pos_])));
    int d;
    if (c >= '0' && c <= '9') {
      d = c - '0';
    } else if (hex && c >= 'a' && c <= 'f') {
      d = c - 'a' + 10;
    } else {
      return fail(line_, "malformed number '" +
                             std::string(text_.substr(start, pos_ + 1 - start)) + "'");
    }
    value = value * (hex ? 16 : 10) + d;
    if (value > 0xFFFFFFFFull) return fail(line_, "number out of range");
    ++digits;
    ++pos_;
  }
  if (digits == 0) return fail(line_, "malformed number");
  tok->type = TOK_NUMBER;
  tok->number = value;
  return true;
}

bool Lexer::next(Token* tok) {
  if (!skip_blanks()) return false;
  tok->line = line_;
  tok->text.clear();
  if (pos_ >= text_.size()) {
    tok->type = TOK_END;
    return true;
  }
  char c = text_[pos_];
  if (c == '{' || c == '}') {
    tok->type = c == '{' ? TOK_OPEN : TOK_CLOSE;
    ++pos_;
    return true;
  }
  if (c == ',') {
    tok->type = TOK_COMMA;
    ++pos_;
    return true;
  }
  if (c == '"') return read_string(tok);
  if (isdigit(static_cast<unsigned char>(c))) return read_number(tok);
  if (isalpha(static_cast<unsigned char>(c)) || c == '_') {
    size_t start = pos_;
    while (pos_ < text_.size() &&
           (isalnum(static_cast<unsigned char>(text_[pos_])) || text_[pos_] == '_')) {
      ++pos_;
    }
    tok->type = TOK_WORD;
    for (char w : text_.substr(start, pos_ - start)) {
      tok->text += static_cast<char>(toupper(static_cast<unsigned char>(w)));
    }
    return true;
  }
  if (static_cast<unsigned char>(c) >= 0x80 && utf8_length() == 0) {
    return fail(line_, "invalid UTF-8");
  }
  return fail(line_, std::string("unexpected character '") +
                         std::string(text_.substr(pos_, std::max<size_t>(utf8_length(), 1))) +
                         "'");
}

class Parser {
 public:
  Parser(std::string_view text, const std::string& file, std::vector<ResourceEntry>* out)
      : lex_(text, file), out_(out) {}

  bool run();
  const std::string& error() const { return lex_.error(); }

 private:
  bool advance() { return lex_.next(&tok_); }
  // One or more adjacent string literals.
  bool strings(std::string* text, const std::string& after);
  bool table(uint32_t kind, const std::string& keyword);
  bool language();
  // One part of a LANGUAGE statement: a number up to `max` or a name.
  bool language_part(bool primary, uint32_t* value);

  Lexer lex_;
  Token tok_;
  std::vector<ResourceEntry>* out_;
  std::set<std::tuple<uint32_t, uint32_t, uint16_t>> seen_;
  uint16_t language_ = 0;
};

bool Parser::language_part(bool primary, uint32_t* value) {
  static const std::map<std::string, std::pair<bool, uint32_t>> names = {
      {"LANG_NEUTRAL", {true, LANG_NEUTRAL}},
      {"LANG_ENGLISH", {true, LANG_ENGLISH}},
      {"LANG_GERMAN", {true, LANG_GERMAN}},
      {"SUBLANG_NEUTRAL", {false, SUBLANG_NEUTRAL}},
      {"SUBLANG_DEFAULT", {false, SUBLANG_DEFAULT}},
      {"SUBLANG_SYS_DEFAULT", {false, SUBLANG_SYS_DEFAULT}},
      {"SUBLANG_ENGLISH_US", {false, SUBLANG_ENGLISH_US}},
      {"SUBLANG_ENGLISH_UK", {false, SUBLANG_ENGLISH_UK}},
      {"SUBLANG_GERMAN", {false, SUBLANG_GERMAN}},
  };
  const char* what = primary ? "primary language" : "sublanguage";
  if (tok_.type == TOK_NUMBER) {
    uint32_t max = primary ? 0x3FF : 0x3F;
    if (tok_.number > max) {
      return lex_.fail(tok_.line, std::string(what) + " " + std::to_string(tok_.number) +
                                      " out of range (0 to " + std::to_string(max) + ")");
    }
    *value = static_cast<uint32_t>(tok_.number);
  } else if (tok_.type == TOK_WORD) {
    auto it = names.find(tok_.text);
    if (it == names.end() || it->second.first != primary) {
      return lex_.fail(tok_.line, std::string("unknown ") + what + " '" + tok_.text + "'");
    }
    *value = it->second.second;
  } else {
    return lex_.fail(tok_.line, std::string("expected a ") + what + " in LANGUAGE");
  }
  return advance();
}

bool Parser::language() {
  if (!advance()) return false;
  uint32_t primary = 0;
  uint32_t sub = 0;
  if (!language_part(true, &primary)) return false;
  if (tok_.type != TOK_COMMA) return lex_.fail(tok_.line, "expected ',' in LANGUAGE");
  if (!advance()) return false;
  if (!language_part(false, &sub)) return false;
  language_ = MAKELANGID(static_cast<WORD>(primary), static_cast<WORD>(sub));
  return true;
}

bool Parser::strings(std::string* text, const std::string& after) {
  if (tok_.type != TOK_STRING) return lex_.fail(tok_.line, "expected a string after " + after);
  text->clear();
  while (tok_.type == TOK_STRING) {
    *text += tok_.text;
    if (!advance()) return false;
  }
  return true;
}

bool Parser::table(uint32_t kind, const std::string& keyword) {
  if (!advance()) return false;
  if (tok_.type != TOK_OPEN) return lex_.fail(tok_.line, "expected '{' after " + keyword);
  int open_line = tok_.line;
  if (!advance()) return false;
  for (;;) {
    if (tok_.type == TOK_CLOSE) return advance();
    if (tok_.type == TOK_END) {
      return lex_.fail(tok_.line,
                       "missing '}' of the " + keyword + " opened on line " +
                           std::to_string(open_line));
    }
    if (tok_.type != TOK_NUMBER) return lex_.fail(tok_.line, "expected an id or '}'");
    uint64_t id = tok_.number;
    int id_line = tok_.line;
    char shown[32];
    snprintf(shown, sizeof shown, kind == RESOURCE_STRING ? "%llu" : "0x%08llX",
             static_cast<unsigned long long>(id));
    if (kind == RESOURCE_STRING && id > 0xFFFF) {
      return lex_.fail(id_line, std::string("string id ") + shown + " out of range (0 to 65535)");
    }
    if (!advance()) return false;
    ResourceEntry e;
    e.kind = kind;
    e.id = static_cast<uint32_t>(id);
    e.language = language_;
    if (!strings(&e.text, std::string("id ") + shown)) return false;
    if (!seen_.insert({kind, e.id, e.language}).second) {
      return lex_.fail(id_line, std::string(kind == RESOURCE_STRING ? "duplicate string id "
                                                                     : "duplicate message id ") +
                                    shown);
    }
    out_->push_back(std::move(e));
  }
}

bool Parser::run() {
  if (!advance()) return false;
  while (tok_.type != TOK_END) {
    if (tok_.type != TOK_WORD) {
      return lex_.fail(tok_.line, "expected STRINGTABLE, MESSAGETABLE or VERSION");
    }
    if (tok_.text == "STRINGTABLE") {
      if (!table(RESOURCE_STRING, "STRINGTABLE")) return false;
    } else if (tok_.text == "MESSAGETABLE") {
      if (!table(RESOURCE_MESSAGE, "MESSAGETABLE")) return false;
    } else if (tok_.text == "LANGUAGE") {
      if (!language()) return false;
    } else if (tok_.text == "VERSION") {
      int line = tok_.line;
      if (!advance()) return false;
      ResourceEntry e;
      e.kind = RESOURCE_VERSION;
      if (!strings(&e.text, "VERSION")) return false;
      if (!seen_.insert({RESOURCE_VERSION, 0, 0}).second) {
        return lex_.fail(line, "VERSION given twice");
      }
      out_->push_back(std::move(e));
    } else {
      return lex_.fail(tok_.line, "unknown keyword '" + tok_.text + "'");
    }
  }
  return true;
}

}  // namespace

bool parse_resource_file(std::string_view text, const std::string& file_name,
                         std::vector<ResourceEntry>* entries, std::string* error) {
  entries->clear();
  Parser parser(text, file_name, entries);
  if (parser.run()) return true;
  entries->clear();
  if (error != nullptr) *error = parser.error();
  return false;
}

std::string resource_blob_source(const std::vector<uint8_t>& blob, const std::string& origin) {
  std::string out;
  out += "// Resources compiled by rescomp from " + origin + "; do not edit.\n";
  out += "// The section lets other programs read them from the executable file.\n";
  out += "extern \"C\" __attribute__((used, section(\".ntrsrc\"), aligned(8)))\n";
  out += "const unsigned char nt_resource_blob[" + std::to_string(blob.size()) + "] = {\n";
  char item[8];
  for (size_t i = 0; i < blob.size(); ++i) {
    if (i % 16 == 0) out += "   ";
    snprintf(item, sizeof item, " 0x%02x,", blob[i]);
    out += item;
    if (i % 16 == 15 || i + 1 == blob.size()) out += '\n';
  }
  out += "};\n";
  out += "extern \"C\" const unsigned long nt_resource_blob_size = " +
         std::to_string(blob.size()) + ";\n";
  return out;
}

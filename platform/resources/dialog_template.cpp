#include "platform/resources/dialog_template.h"

#include <charconv>

#include "platform/resources/resources.h"

namespace platform {
namespace {

struct Token {
  std::string text;
  bool quoted = false;
};

// Splits one line into bare words and quoted texts; false on an unterminated quote.
bool tokenize(std::string_view line, std::vector<Token>& out) {
  std::size_t i = 0;
  while (i < line.size()) {
    const char c = line[i];
    if (c == ' ' || c == '\t') {
      ++i;
      continue;
    }
    Token token;
    if (c == '"') {
      token.quoted = true;
      ++i;
      bool closed = false;
      while (i < line.size()) {
        const char d = line[i++];
        if (d == '"') {
          closed = true;
          break;
        }
        if (d == '\\') {
          if (i >= line.size()) return false;
          token.text.push_back(line[i++]);
        } else {
          token.text.push_back(d);
        }
      }
      if (!closed) return false;
    } else {
      while (i < line.size() && line[i] != ' ' && line[i] != '\t') token.text.push_back(line[i++]);
    }
    out.push_back(std::move(token));
  }
  return true;
}

bool toInt(const Token& token, int32_t& value) {
  if (token.quoted || token.text.empty()) return false;
  const char* first = token.text.data();
  const char* last = first + token.text.size();
  auto [end, ec] = std::from_chars(first, last, value);
  return ec == std::errc() && end == last;
}

}  // namespace

bool DialogControl::hasStyle(std::string_view style) const {
  for (const auto& s : styles)
    if (s == style) return true;
  return false;
}

const DialogControl* DialogTemplate::control(int32_t wanted) const {
  for (const auto& c : controls)
    if (c.id == wanted) return &c;
  return nullptr;
}

std::optional<DialogTemplate> parseDialogTemplate(std::string_view text) {
  DialogTemplate dialog;
  bool sawDialog = false;
  while (!text.empty()) {
    const std::size_t eol = text.find('\n');
    std::string_view line = text.substr(0, eol);
    text = eol == std::string_view::npos ? std::string_view() : text.substr(eol + 1);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    std::vector<Token> tokens;
    if (!tokenize(line, tokens)) return std::nullopt;
    if (tokens.empty() || (!tokens[0].quoted && tokens[0].text.starts_with(";"))) continue;
    const std::string& keyword = tokens[0].text;
    if (tokens[0].quoted) return std::nullopt;
    if (keyword == "DIALOG") {
      if (sawDialog || tokens.size() != 4 || !toInt(tokens[1], dialog.id) || !toInt(tokens[2], dialog.width) ||
          !toInt(tokens[3], dialog.height))
        return std::nullopt;
      sawDialog = true;
    } else if (keyword == "CAPTION") {
      if (tokens.size() != 2 || !tokens[1].quoted) return std::nullopt;
      dialog.caption = tokens[1].text;
    } else if (keyword == "FONT") {
      if (tokens.size() != 3 || !toInt(tokens[1], dialog.fontPoints) || !tokens[2].quoted) return std::nullopt;
      dialog.fontFace = tokens[2].text;
    } else if (keyword == "STYLE") {
      for (std::size_t i = 1; i < tokens.size(); ++i) {
        if (tokens[i].quoted) return std::nullopt;
        dialog.styles.push_back(tokens[i].text);
      }
    } else if (keyword == "CONTROL") {
      DialogControl control;
      if (tokens.size() < 8 || !toInt(tokens[1], control.id) || tokens[2].quoted || !toInt(tokens[3], control.x) ||
          !toInt(tokens[4], control.y) || !toInt(tokens[5], control.width) || !toInt(tokens[6], control.height) ||
          !tokens[7].quoted)
        return std::nullopt;
      control.kind = tokens[2].text;
      control.text = tokens[7].text;
      for (std::size_t i = 8; i < tokens.size(); ++i) {
        if (tokens[i].quoted) return std::nullopt;
        control.styles.push_back(tokens[i].text);
      }
      dialog.controls.push_back(std::move(control));
    } else {
      return std::nullopt;
    }
  }
  if (!sawDialog) return std::nullopt;
  return dialog;
}

std::optional<DialogTemplate> loadDialogTemplate(int32_t id) {
  const ResourceBytes bytes = findResource(kDialogResource, id);
  if (!bytes.found()) return std::nullopt;
  auto dialog = parseDialogTemplate(bytes.text());
  if (dialog && dialog->id != id) return std::nullopt;
  return dialog;
}

}  // namespace platform

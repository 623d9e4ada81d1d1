#include "platform/resources/dialog_template.h"

#include <algorithm>
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

// The ids of tokens[first...]; "-" is an empty cell where `allowEmpty`, "|" ends the list
// and is left for the caller at `stop`.
bool toIds(const std::vector<Token>& tokens, std::size_t first, bool allowEmpty, std::vector<int32_t>& ids,
           std::size_t* stop = nullptr) {
  for (std::size_t i = first; i < tokens.size(); ++i) {
    if (stop && !tokens[i].quoted && tokens[i].text == "|") {
      *stop = i;
      return true;
    }
    int32_t id = 0;
    if (allowEmpty && !tokens[i].quoted && tokens[i].text == "-") id = DialogLayoutRow::kEmptyCell;
    else if (!toInt(tokens[i], id) || id == -1)
      return false;
    ids.push_back(id);
  }
  if (stop) *stop = tokens.size();
  return true;
}

bool parseLayoutLine(const std::string& keyword, const std::vector<Token>& tokens, DialogLayout& layout) {
  if (keyword == "COLUMN") {
    std::vector<int32_t> column;
    if (tokens.size() < 2 || !toIds(tokens, 1, false, column)) return false;
    layout.columns.push_back(std::move(column));
    return true;
  }
  if (keyword == "ROW" || keyword == "LINE") {
    DialogLayoutRow row;
    row.line = keyword == "LINE";
    std::size_t first = 2;
    if (tokens.size() < 3 || !toInt(tokens[1], row.group)) return false;
    if (row.line && !tokens[2].quoted && tokens[2].text == "INDENT") {
      row.indent = true;
      ++first;
    }
    if (first >= tokens.size() || !toIds(tokens, first, !row.line, row.cells)) return false;
    layout.rows.push_back(std::move(row));
    return true;
  }
  if (keyword == "BUTTONS") {
    std::size_t bar = 0;
    if (!toIds(tokens, 1, false, layout.buttonsStart, &bar)) return false;
    return bar == tokens.size() || toIds(tokens, bar + 1, false, layout.buttonsEnd);
  }
  return false;
}

// Every control the layout names exists and stands in one place only; rows belong to group
// boxes that stand in a column.
bool layoutFits(const DialogTemplate& dialog) {
  const DialogLayout& layout = dialog.layout;
  std::vector<int32_t> placed, groups;
  auto place = [&](int32_t id) {
    if (id == DialogLayoutRow::kEmptyCell) return true;
    if (!dialog.control(id) || std::find(placed.begin(), placed.end(), id) != placed.end()) return false;
    placed.push_back(id);
    return true;
  };
  for (const auto& column : layout.columns)
    for (int32_t id : column) {
      if (!place(id)) return false;
      if (dialog.control(id)->kind == "GROUPBOX") groups.push_back(id);
    }
  for (const DialogLayoutRow& row : layout.rows) {
    if (std::find(groups.begin(), groups.end(), row.group) == groups.end()) return false;
    for (int32_t id : row.cells)
      if (!place(id)) return false;
  }
  for (const auto* buttons : {&layout.buttonsStart, &layout.buttonsEnd})
    for (int32_t id : *buttons)
      if (!place(id)) return false;
  return true;
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
    } else if (!parseLayoutLine(keyword, tokens, dialog.layout)) {
      return std::nullopt;
    }
  }
  if (!sawDialog || !layoutFits(dialog)) return std::nullopt;
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

#include "engine/udf/udf_text.h"

#include <algorithm>
#include <filesystem>
#include <memory>
#include <string>
#include <unordered_set>
#include <vector>

namespace halcyon {

namespace {

// Limits that only pathological input reaches; the shipped files stay far below them.
constexpr int kMaxListDepth = 256;       // array(array(...)) nesting
constexpr size_t kMaxIncludeDepth = 16;  // chain of files including files
// Memory that reference copies may add in one parse: a floor for small files, plus a share
// that grows with the text, so that a few hundred bytes of references copying references
// cannot claim gigabytes.
constexpr size_t kCopyBytesFloor = size_t{8} << 20;
constexpr size_t kCopyBytesPerInputByte = 64;
// Automatic element names are 16-bit numbers; a context holding all of them is full.
constexpr size_t kAutomaticNames = 0x10000;

std::string_view trim(std::string_view t) {
  size_t b = 0;
  size_t e = t.size();
  while (b < e && (t[b] == ' ' || t[b] == '\t')) ++b;
  while (e > b && (t[e - 1] == ' ' || t[e - 1] == '\t')) --e;
  return t.substr(b, e - b);
}

bool startsWith(std::string_view t, std::string_view prefix) { return t.substr(0, prefix.size()) == prefix; }

// Position of the first `close` after `from` that no backslash protects. A backslash that
// follows a backslash protects nothing. npos when there is none.
size_t findClosing(std::string_view t, size_t from, char close) {
  bool escaped = false;
  for (size_t i = from; i < t.size(); ++i) {
    const char c = t[i];
    if (c == '\\' && !escaped) {
      escaped = true;
    } else if (c == close && !escaped) {
      return i;
    } else {
      escaped = false;
    }
  }
  return std::string_view::npos;
}

// Walks `t` from `from` to the first occurrence of `sep` outside quotes, brackets and
// parentheses; returns its position, or t.size() when there is none. A group without its
// closing character runs to the end of the text.
size_t scanTopLevel(std::string_view t, size_t from, std::string_view sep) {
  size_t i = from;
  const size_t n = t.size();
  auto matching = [&](size_t at, char open, char close) {
    int depth = 0;
    for (size_t j = at; j < n; ++j) {
      if (t[j] == open) {
        ++depth;
      } else if (t[j] == close && --depth == 0) {
        return j + 1;
      }
    }
    return n;
  };
  while (i < n) {
    if (t.compare(i, sep.size(), sep) == 0) return i;
    const char c = t[i];
    if (c == '"' || c == '\'') {
      const size_t j = t.find(c, i + 1);
      i = j == std::string_view::npos ? n : j + 1;
    } else if (c == '[') {
      i = matching(i, '[', ']');
    } else if (c == '(') {
      i = matching(i, '(', ')');
    } else {
      ++i;
    }
  }
  return n;
}

// The contents of a string literal: up to the first unprotected closing quote (the opening
// character), backslashes kept as written; the whole text when it never closes.
std::string_view literalContents(std::string_view t) {
  const size_t close = findClosing(t, 1, t[0]);
  if (close == std::string_view::npos) return t;
  return t.substr(1, close - 1);
}

class Session {
 public:
  Session(NodeMap& root, const SearchPaths* fileSystem) : root_(root), fileSystem_(fileSystem) {}

  bool parseStream(Stream& stream) {
    const int32_t size = stream.size();
    if (size < 0) return false;
    std::string buffer(static_cast<size_t>(size), '\0');
    if (!readExact(stream, buffer.data(), buffer.size())) return false;
    return parseText(buffer);
  }

  bool parseText(std::string_view text) {
    copyBudget_ += text.size() * kCopyBytesPerInputByte;
    size_t position = 0;
    UdfNode* context = nullptr;  // the using block; never passes into included files
    bool ok = true;
    std::string statement;
    for (;;) {
      nextStatement(text, position, statement);
      if (statement.empty()) break;
      ok = execute(statement, context) && ok;
    }
    return ok;
  }

 private:
  // Gathers the next statement: up to a ";" outside quotes, with line breaks dropped and
  // "//" comments removed (inside quotes too).
  static void nextStatement(std::string_view text, size_t& position, std::string& out) {
    out.clear();
    constexpr int kNone = -1;
    int previous = kNone;
    bool inDouble = false;
    bool inSingle = false;
    const size_t n = text.size();
    while (position < n) {
      const char c = text[position++];
      if (c == '\r' || c == '\n') continue;
      if (c == '/' && previous == '/') {
        out.pop_back();
        while (position < n && text[position] != '\r' && text[position] != '\n') ++position;
        while (position < n && (text[position] == '\r' || text[position] == '\n')) ++position;
        previous = kNone;
        continue;
      }
      if (c == ';' && !inDouble && !inSingle) return;
      if (c == '"' && previous != '\\' && !inSingle) inDouble = !inDouble;
      if (c == '\'' && previous != '\\' && !inDouble) inSingle = !inSingle;
      out.push_back(c);
      previous = static_cast<unsigned char>(c);
    }
  }

  bool execute(std::string_view raw, UdfNode*& context) {
    const std::string_view text = trim(raw);
    if (startsWith(text, "using")) {
      const std::string_view path = trim(text.substr(5));
      if (path.empty()) {
        context = nullptr;
      } else {
        context = &resolvePath(root_, path);
        context->setKind(NodeKind::Object);
      }
      return true;
    }
    if (startsWith(text, "include")) {
      bool result = true;
      if (include(text, result)) return result;
    }

    UdfNode* target = nullptr;
    std::string_view value;
    size_t op = std::string_view::npos;
    size_t opLength = 0;
    const size_t arrow = text.find("=>");
    if (arrow != std::string_view::npos && scanTopLevel(text, 0, "=>") == arrow) {
      op = arrow;
      opLength = 2;
    } else {
      const size_t equals = text.find('=');
      if (equals != std::string_view::npos && scanTopLevel(text, 0, "=") == equals) {
        op = equals;
        opLength = 1;
      }
    }
    if (op != std::string_view::npos) {
      target = &resolvePath(context ? static_cast<NodeMap&>(*context) : root_, text.substr(0, op));
      value = text.substr(op + opLength);
    } else if (context) {
      target = &resolvePath(*context, automaticName(*context));
      value = text;
    } else {
      return true;
    }
    return assign(*target, value);
  }

  // The next free element name of a context: its counter read as an unsigned 16-bit number,
  // skipping names already taken. Once a context holds every such name the search would go
  // round all 65,536 of them for each further element; the context is then remembered as
  // full (until its children are cleared away), which keeps long lists linear.
  std::string automaticName(UdfNode& context) {
    const auto counter = static_cast<uint32_t>(context.counter());
    if (static_cast<size_t>(context.count()) >= kAutomaticNames && full_.count(&context)) {
      // A full round ends on the name before the counter's and moves the counter by 65,536.
      context.setCounter(static_cast<int32_t>(counter + kAutomaticNames));
      return std::to_string((counter + kAutomaticNames - 1) & 0xFFFF);
    }
    std::string name;
    for (size_t tries = 0; tries < kAutomaticNames; ++tries) {
      const auto current = static_cast<uint32_t>(context.counter());
      name = std::to_string(current & 0xFFFF);
      context.setCounter(static_cast<int32_t>(current + 1));
      if (!context.findChild(name)) return name;
    }
    full_.insert(&context);
    return name;
  }

  bool assign(UdfNode& target, std::string_view rawValue) {
    retire(target);
    target.setCounter(0);
    const std::string_view value = trim(rawValue);
    if (value.empty()) {
      target.setKind(NodeKind::Value);
      target.setValue(std::string());
      return true;
    }
    const bool isArray = startsWith(value, "array");
    if (isArray || startsWith(value, "object")) {
      target.setKind(isArray ? NodeKind::Array : NodeKind::Object);
      bool ok = true;
      const size_t open = value.find('(');
      if (open != std::string_view::npos && listDepth_ < kMaxListDepth) {
        // The last character is taken as the closing parenthesis without being checked.
        const size_t last = value.size() - 1;
        const std::string_view list = trim(open < last ? value.substr(open + 1, last - open - 1) : std::string_view());
        ++listDepth_;
        size_t at = 0;
        while (at < list.size()) {
          const size_t end = scanTopLevel(list, at, ",");
          UdfNode* pieceContext = &target;
          ok = execute(list.substr(at, end - at), pieceContext) && ok;
          at = end + 1;
        }
        --listDepth_;
      }
      target.rewind();
      return ok;
    }
    if (value[0] == '"' || value[0] == '\'') {
      target.setKind(NodeKind::Value);
      target.setValue(std::string(literalContents(value)));
      return true;
    }
    if (isNumber(value)) {
      target.setKind(NodeKind::Value);
      target.setValue(std::string(value));
      return true;
    }
    // A reference: always resolved from the root, and a missing name is created empty.
    UdfNode& source = resolvePath(root_, value);
    const size_t size = source.subtreeBytes(copyBudget_);
    if (size > copyBudget_) {
      // Copies that would multiply beyond any real file's size are refused; the target
      // then reads as an empty value.
      target.setKind(NodeKind::Value);
      target.setValue(std::string());
      return true;
    }
    copyBudget_ -= size;
    target.copyFrom(source);
    return true;
  }

  // Detaches a node's children but keeps them alive until the whole parse ends: a using
  // context or a list under construction further up may lie inside them (an included file
  // can reassign any root member).
  void retire(UdfNode& node) {
    full_.erase(&node);
    for (auto& child : node.detachChildren()) retired_.push_back(std::move(child));
  }

  // Follows a path of "." and "[...]" components from `start`, creating what is missing.
  UdfNode& resolvePath(NodeMap& start, std::string_view rawPath) {
    NodeMap* map = &start;
    std::string_view path = trim(rawPath);
    for (;;) {
      // The first "." or the first "[" after the first character, whichever comes first;
      // looking no further keeps a long path linear.
      size_t dot = std::string_view::npos;
      size_t bracket = std::string_view::npos;
      for (size_t i = 0; i < path.size(); ++i) {
        if (path[i] == '.') {
          dot = i;
          break;
        }
        if (path[i] == '[' && i > 0) {
          bracket = i;
          break;
        }
      }
      std::string_view component;
      char separator = 0;
      std::string_view rest;
      if (dot == std::string_view::npos && bracket == std::string_view::npos) {
        component = path;
      } else if (dot != std::string_view::npos && (bracket == std::string_view::npos || dot < bracket)) {
        component = path.substr(0, dot);
        separator = '.';
        rest = trim(path.substr(dot + 1));
      } else {
        component = path.substr(0, bracket);
        separator = '[';
        rest = trim(path.substr(bracket));
      }
      if (!component.empty() && component[0] == '[') {
        const size_t close = findClosing(component, 1, ']');
        if (close != std::string_view::npos) component = trim(component.substr(1, close - 1));
      }
      UdfNode* node = map->findChild(component);
      if (!node) node = &map->addChild(std::string(component));
      if (separator == '.') node->setKind(NodeKind::Object);
      if (separator == '[') node->setKind(NodeKind::Array);
      if (!separator) return *node;
      map = node;
      path = rest;
    }
  }

  // Runs an include statement. False when the file could not be opened (the statement is
  // then treated as any other); otherwise `result` is the included parse's result.
  bool include(std::string_view text, bool& result) {
    std::string name;
    const size_t open = text.find('(');
    const size_t close = text.find(')');
    if (open != std::string_view::npos && close != std::string_view::npos && close > open) {
      const std::string_view inner = trim(text.substr(open + 1, close - open - 1));
      if (!inner.empty() && inner[0] == '"') {
        const size_t end = inner.find('"', 1);
        name = std::string(inner.substr(1, end == std::string_view::npos ? std::string_view::npos : end - 1));
      }
    }
    FileRef file(name);
    file.sources = Disk;
    if (fileSystem_) fileSystem_->resolve(file);
    std::unique_ptr<Stream> stream = file.open(Read);
    if (!stream) return false;
    std::string identity = file.name;
    std::replace(identity.begin(), identity.end(), '\\', '/');
    std::error_code ec;
    const auto canonical = std::filesystem::weakly_canonical(identity, ec);
    if (!ec) identity = canonical.string();
    if (includes_.size() >= kMaxIncludeDepth ||
        std::find(includes_.begin(), includes_.end(), identity) != includes_.end()) {
      return false;
    }
    includes_.push_back(identity);
    result = parseStream(*stream);
    includes_.pop_back();
    return true;
  }

  NodeMap& root_;
  const SearchPaths* fileSystem_;
  std::vector<std::unique_ptr<UdfNode>> retired_;
  std::vector<std::string> includes_;
  size_t copyBudget_ = kCopyBytesFloor;
  std::unordered_set<const UdfNode*> full_;  // contexts holding every automatic name
  int listDepth_ = 0;
};

}  // namespace

bool parseUdfText(Stream& stream, NodeMap& root, const SearchPaths* fileSystem) {
  Session session(root, fileSystem);
  return session.parseStream(stream);
}

bool parseUdfText(std::string_view text, NodeMap& root, const SearchPaths* fileSystem) {
  Session session(root, fileSystem);
  return session.parseText(text);
}

}  // namespace halcyon

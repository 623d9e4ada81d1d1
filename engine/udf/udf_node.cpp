#include "engine/udf/udf_node.h"

#include <clocale>
#include <cmath>
#include <cstdlib>
#include <locale.h>
#include <utility>

namespace halcyon {

namespace {

unsigned char fold(unsigned char c) { return (c >= 'A' && c <= 'Z') ? static_cast<unsigned char>(c - 'A' + 'a') : c; }

bool isBlank(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r'; }
bool isDigit(char c) { return c >= '0' && c <= '9'; }

// Finds the longest leading decimal number: [blanks][sign]digits[.digits][e[sign]digits].
// Returns the end of the number (0 when there is none) and sets `begin` past the blanks.
size_t scanNumber(std::string_view t, size_t& begin) {
  size_t i = 0;
  const size_t n = t.size();
  while (i < n && isBlank(t[i])) ++i;
  begin = i;
  if (i < n && (t[i] == '+' || t[i] == '-')) ++i;
  size_t digits = 0;
  while (i < n && isDigit(t[i])) ++i, ++digits;
  if (i < n && t[i] == '.') {
    ++i;
    while (i < n && isDigit(t[i])) ++i, ++digits;
  }
  if (digits == 0) return 0;
  if (i < n && (t[i] == 'e' || t[i] == 'E')) {
    size_t j = i + 1;
    if (j < n && (t[j] == '+' || t[j] == '-')) ++j;
    if (j < n && isDigit(t[j])) {
      while (j < n && isDigit(t[j])) ++j;
      i = j;
    }
  }
  return i;
}

// The C library's conversion, pinned to the "C" locale so that a decimal point is always "."
// whatever locale the toolkit may have set for the process.
double convert(std::string_view digits) {
  static locale_t cLocale = newlocale(LC_ALL_MASK, "C", nullptr);
  const std::string text(digits);
  return strtod_l(text.c_str(), nullptr, cLocale);
}

std::unique_ptr<UdfNode> cloneTree(const UdfNode& source) {
  auto top = std::make_unique<UdfNode>(source.name());
  top->setKind(source.kind());
  top->setCounter(source.counter());
  top->setValue(source.value());
  // Explicit work list: data files can nest far deeper than the call stack allows.
  std::vector<std::pair<const UdfNode*, UdfNode*>> work{{&source, top.get()}};
  while (!work.empty()) {
    const UdfNode* from = work.back().first;
    UdfNode* to = work.back().second;
    work.pop_back();
    from->forEachInOrder([&](const UdfNode& child) {
      UdfNode& made = to->addChild(child.name());
      made.setKind(child.kind());
      made.setCounter(child.counter());
      made.setValue(child.value());
      work.emplace_back(&child, &made);
    });
  }
  return top;
}

}  // namespace

bool NoCaseLess::operator()(std::string_view a, std::string_view b) const {
  const size_t n = std::min(a.size(), b.size());
  for (size_t i = 0; i < n; ++i) {
    const unsigned char x = fold(static_cast<unsigned char>(a[i]));
    const unsigned char y = fold(static_cast<unsigned char>(b[i]));
    if (x != y) return x < y;
  }
  return a.size() < b.size();
}

bool sameName(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (fold(static_cast<unsigned char>(a[i])) != fold(static_cast<unsigned char>(b[i]))) return false;
  }
  return true;
}

// ---- NodeMap -------------------------------------------------------------------------------

NodeMap::~NodeMap() { NodeMap::clear(); }

void NodeMap::clear() {
  // Destroys the subtree without recursion, so a very deep tree cannot exhaust the stack.
  auto work = detachChildren();
  while (!work.empty()) {
    std::unique_ptr<UdfNode> node = std::move(work.back());
    work.pop_back();
    for (auto& child : node->detachChildren()) work.push_back(std::move(child));
  }
}

std::vector<std::unique_ptr<UdfNode>> NodeMap::detachChildren() {
  std::vector<std::unique_ptr<UdfNode>> out;
  out.reserve(order_.size());
  for (auto& child : order_) out.push_back(std::move(child));
  index_.clear();
  order_.clear();
  cursor_ = order_.end();
  return out;
}

UdfNode* NodeMap::findChild(std::string_view name) const {
  const auto found = index_.find(name);
  return found == index_.end() ? nullptr : found->second->get();
}

UdfNode* NodeMap::current() const { return order_.empty() ? nullptr : cursor_->get(); }

void NodeMap::advance() {
  if (order_.empty()) return;
  if (++cursor_ == order_.end()) cursor_ = order_.begin();
}

void NodeMap::rewind() { cursor_ = order_.begin(); }

UdfNode& NodeMap::insert(std::unique_ptr<UdfNode> node) {
  const auto found = index_.find(node->name());
  if (found != index_.end()) {
    std::unique_ptr<UdfNode> old = std::exchange(*found->second, std::move(node));
    old->clear();
    return **found->second;
  }
  const auto at = order_.empty() ? order_.end() : std::next(cursor_);
  cursor_ = order_.insert(at, std::move(node));
  index_.emplace((*cursor_)->name(), cursor_);
  return **cursor_;
}

UdfNode& NodeMap::addChild(std::string name) { return insert(std::make_unique<UdfNode>(std::move(name))); }

// ---- UdfNode -------------------------------------------------------------------------------

int32_t UdfNode::asInt() const {
  if (!isNumber(value_)) return 0;
  const double d = std::trunc(numberValue(value_));
  if (!(d >= -2147483648.0 && d < 2147483648.0)) return INT32_MIN;
  return static_cast<int32_t>(d);
}

float UdfNode::asFloat() const { return static_cast<float>(leadingNumber(value_)); }

void UdfNode::copyFrom(const UdfNode& source) {
  // Copy first, then replace: the source may lie inside what is about to be cleared, or
  // contain this very node.
  std::unique_ptr<UdfNode> copy = cloneTree(source);
  clear();
  kind_ = copy->kind_;
  counter_ = copy->counter_;
  value_ = std::move(copy->value_);
  for (auto& child : copy->detachChildren()) insert(std::move(child));
}

size_t UdfNode::subtreeSize(size_t limit) const {
  size_t total = 0;
  std::vector<const UdfNode*> work{this};
  while (!work.empty() && total < limit) {
    const UdfNode* node = work.back();
    work.pop_back();
    ++total;
    node->forEachInOrder([&](const UdfNode& child) { work.push_back(&child); });
  }
  return total;
}

size_t UdfNode::subtreeBytes(size_t limit) const {
  size_t total = 0;
  std::vector<const UdfNode*> work{this};
  while (!work.empty() && total <= limit) {
    const UdfNode* node = work.back();
    work.pop_back();
    // The name is held twice: by the node and by its parent's index.
    total += kBytesPerNode + 2 * node->name_.size() + node->value_.size();
    node->forEachInOrder([&](const UdfNode& child) { work.push_back(&child); });
  }
  return total;
}

// ---- numbers and colours -------------------------------------------------------------------

bool isNumber(std::string_view text) {
  if (text.empty()) return true;
  size_t begin = 0;
  const size_t end = scanNumber(text, begin);
  return end != 0 && end == text.size();
}

double numberValue(std::string_view text) { return leadingNumber(text); }

double leadingNumber(std::string_view text) {
  size_t begin = 0;
  const size_t end = scanNumber(text, begin);
  if (end == 0) return 0.0;
  return convert(text.substr(begin, end - begin));
}

uint32_t readColour(const UdfNode& node) {
  if (node.kind() != NodeKind::Value) {
    auto channel = [&node](const char* index, const char* letter) -> uint32_t {
      const UdfNode* child = node.findChild(index);
      if (!child) child = node.findChild(letter);
      return child ? static_cast<uint32_t>(child->asInt()) & 0xFF : 0;
    };
    return 0xFF000000u | channel("0", "r") << 16 | channel("1", "g") << 8 | channel("2", "b");
  }
  // The whole 32-bit pattern. Colours with alpha 128 and above are written as numbers beyond
  // the signed range (4278190080 is opaque black); they keep their bits.
  if (!isNumber(node.value())) return 0;
  const double d = std::trunc(numberValue(node.value()));
  if (d >= -2147483648.0 && d < 4294967296.0) return static_cast<uint32_t>(static_cast<int64_t>(d));
  return static_cast<uint32_t>(node.asInt());
}

}  // namespace halcyon

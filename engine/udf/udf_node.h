#pragma once
// The value tree that text data files are read into.
//
// A NodeMap is an ordered map from names to owned UdfNodes. Names compare without regard to
// ASCII case (other bytes by value) and may be empty. Children keep the order in which they
// were created, and a cursor designates one of them: a new child goes directly after the
// cursor and the cursor moves onto it, so a run of creations appends in order and leaves the
// cursor on the last one.
//
// Every consumer iterates the same way: count() times { current(); advance(); }. That visits
// each child once, starting at the cursor and wrapping round.
//
// Leaves keep the text that was written; numbers and colours are interpreted only when read
// (asInt, asFloat, readColour). A node of any kind may hold both a value and children.
//
// Ownership: a map owns its children and their whole subtrees; clearing or destroying it
// destroys them. findChild and current() hand out pointers that stay valid until the node is
// cleared away or destroyed. None (nullptr) comes back where nothing is found.
#include <cstdint>
#include <list>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace halcyon {

enum class NodeKind : int32_t {
  Value = 0,   // a leaf
  Object = 1,  // children are named members
  Array = 2,   // children are elements "0", "1", ...
};

// Byte-wise order after folding ASCII letters to lower case.
struct NoCaseLess {
  using is_transparent = void;
  bool operator()(std::string_view a, std::string_view b) const;
};
bool sameName(std::string_view a, std::string_view b);

class UdfNode;

class NodeMap {
 public:
  NodeMap() = default;
  virtual ~NodeMap();
  NodeMap(const NodeMap&) = delete;
  NodeMap& operator=(const NodeMap&) = delete;

  // Destroys every child and its subtree; count 0, no cursor.
  virtual void clear();

  // The child of that name (ASCII case ignored), or none. Never creates anything.
  UdfNode* findChild(std::string_view name) const;
  int32_t count() const { return static_cast<int32_t>(order_.size()); }
  // The child at the cursor; none when the map is empty.
  UdfNode* current() const;
  // Moves the cursor to the next child, from the last to the first.
  void advance();
  // Puts the cursor on the first child.
  void rewind();

  // Links `node` after the cursor and moves the cursor onto it. A child of the same name
  // already present is replaced in place instead (its old subtree is destroyed).
  UdfNode& insert(std::unique_ptr<UdfNode> node);
  // A new empty child of that name (kind Value), inserted as above.
  UdfNode& addChild(std::string name);

  // Children in creation order, independent of the cursor.
  template <typename Fn>
  void forEachInOrder(Fn fn) const {
    for (const auto& child : order_) fn(*child);
  }

  // Unlinks every child and hands them over, leaving the map empty. The parser uses this to
  // keep detached subtrees alive until it is done with the file.
  std::vector<std::unique_ptr<UdfNode>> detachChildren();

 private:
  using Order = std::list<std::unique_ptr<UdfNode>>;
  Order order_;
  Order::iterator cursor_ = order_.end();
  std::map<std::string, Order::iterator, NoCaseLess> index_;
};

class UdfNode : public NodeMap {
 public:
  explicit UdfNode(std::string name = std::string()) : name_(std::move(name)) {}

  NodeKind kind() const { return kind_; }
  int32_t counter() const { return counter_; }
  const std::string& name() const { return name_; }
  const std::string& value() const { return value_; }

  void setKind(NodeKind kind) { kind_ = kind; }
  void setCounter(int32_t counter) { counter_ = counter; }
  void setValue(std::string value) { value_ = std::move(value); }

  std::string asString() const { return value_; }
  // The value by the number rule, truncated toward zero; 0 when it is not a number. Values
  // beyond the 32-bit range give INT32_MIN.
  int32_t asInt() const;
  // The longest leading decimal number of the value; 0 when there is none.
  float asFloat() const;

  // Takes the other node's kind, counter, value and a deep copy of its children (in their
  // order, the cursor ending on the last); keeps its own name. The source is unchanged. Safe
  // when `source` is this node, one of its ancestors or one of its descendants.
  void copyFrom(const UdfNode& source);

  // Number of nodes in this node's subtree, itself included, counting at most `limit`.
  size_t subtreeSize(size_t limit) const;
  // The memory this node's subtree takes, roughly (a fixed cost per node plus its texts),
  // counting up to a little past `limit`.
  size_t subtreeBytes(size_t limit) const;
  static constexpr size_t kBytesPerNode = 256;

 private:
  NodeKind kind_ = NodeKind::Value;
  int32_t counter_ = 0;
  std::string name_;
  std::string value_;
};

// Whether the whole text is a decimal number: optional leading white space, optional sign,
// digits with an optional decimal point, an optional exponent, nothing after. No hexadecimal,
// infinity or not-a-number forms. The empty text counts as the number 0.
bool isNumber(std::string_view text);
// The number itself when isNumber(text).
double numberValue(std::string_view text);
// The value of the longest leading part of the text that is a decimal number (0 when none).
double leadingNumber(std::string_view text);

// A colour as 0xAARRGGBB. A node written as a list or path reads its channels from children
// "0"/"r", "1"/"g", "2"/"b" (low 8 bits each, alpha 255); a plain value is the whole 32-bit
// pattern, alpha included.
uint32_t readColour(const UdfNode& node);

}  // namespace halcyon

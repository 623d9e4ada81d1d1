#pragma once
// The engine's list: circular, doubly linked, with an element count and a cursor.
// A new element goes directly after the cursor and the cursor moves onto it, so a run of
// insertions appends in order and leaves the cursor on the last one. Searches start at the
// cursor, walk `count` steps and leave the cursor on the element found. Iteration takes the
// current element and advances, `count` times, wrapping from the last to the first.
#include <cstdint>
#include <iterator>
#include <list>
#include <utility>

namespace halcyon {

template <typename T>
class EngineList {
 public:
  int32_t count() const { return static_cast<int32_t>(items_.size()); }
  bool empty() const { return items_.empty(); }

  // Inserts after the cursor and moves the cursor onto the new element.
  T& insert(T value) {
    auto at = items_.empty() ? items_.end() : std::next(cursor_);
    cursor_ = items_.insert(at, std::move(value));
    return *cursor_;
  }

  // The element at the cursor; the list must not be empty.
  T& current() { return *cursor_; }
  const T& current() const { return *cursor_; }

  void advance() {
    if (items_.empty()) return;
    if (++cursor_ == items_.end()) cursor_ = items_.begin();
  }

  // Walks from the cursor at most count() steps; on a match leaves the cursor there.
  template <typename Pred>
  T* find(Pred pred) {
    auto it = cursor_;
    for (size_t i = 0; i < items_.size(); ++i) {
      if (pred(*it)) {
        cursor_ = it;
        return &*it;
      }
      if (++it == items_.end()) it = items_.begin();
    }
    return nullptr;
  }

  // Removes the element at the cursor; the cursor moves to the previous element (so that
  // advancing reaches the one that followed the removed element).
  void removeCurrent() {
    if (items_.empty()) return;
    auto prev = cursor_ == items_.begin() ? std::prev(items_.end()) : std::prev(cursor_);
    const bool last = items_.size() == 1;
    items_.erase(cursor_);
    cursor_ = last ? items_.end() : prev;
  }

  void clear() {
    items_.clear();
    cursor_ = items_.end();
  }

  // Visits every element once from the cursor, as the engine's iteration does.
  template <typename Fn>
  void forEach(Fn fn) {
    for (int32_t i = 0, n = count(); i < n; ++i) {
      fn(current());
      advance();
    }
  }

  // Plain (cursor-independent) access, for owners that need storage order.
  auto begin() { return items_.begin(); }
  auto end() { return items_.end(); }
  auto begin() const { return items_.begin(); }
  auto end() const { return items_.end(); }

 private:
  std::list<T> items_;
  typename std::list<T>::iterator cursor_ = items_.end();
};

}  // namespace halcyon

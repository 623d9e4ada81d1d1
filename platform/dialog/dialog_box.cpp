#include "platform/dialog/dialog_box.h"

#include <algorithm>

namespace platform {
namespace {

// MulDiv: the product divided with rounding to the nearest integer, halves away from zero.
int32_t mulDiv(int32_t value, int32_t numerator, int32_t denominator) {
  const int64_t product = static_cast<int64_t>(value) * numerator;
  const int64_t half = denominator / 2;
  return static_cast<int32_t>(product >= 0 ? (product + half) / denominator : (product - half) / denominator);
}

// Frame and title bar of a modal frame with a caption, beyond the client area.
constexpr int32_t kFrameWidth = 6;
constexpr int32_t kFrameHeight = 28;

}  // namespace

PixelRect dialogUnitsToPixels(int32_t x, int32_t y, int32_t width, int32_t height, DialogBaseUnits units) {
  // Both edges are mapped, as the system maps a rectangle, so neighbouring controls that
  // touch in dialog units touch in pixels too.
  const int32_t left = mulDiv(x, units.x, 4), right = mulDiv(x + width, units.x, 4);
  const int32_t top = mulDiv(y, units.y, 8), bottom = mulDiv(y + height, units.y, 8);
  return PixelRect{left, top, right - left, bottom - top};
}

DialogBox::DialogBox(const DialogTemplate& t, DialogBaseUnits units, DialogServices* services)
    : templateId_(t.id), units_(units), services_(services), title_(t.caption) {
  for (const DialogControl& c : t.controls) {
    DialogItem item;
    item.id = c.id;
    item.kind = c.kind;
    item.rect = dialogUnitsToPixels(c.x, c.y, c.width, c.height, units);
    item.styles = c.styles;
    if (c.kind == "BITMAP") item.bitmap = c.text;
    else
      item.text = c.text;
    items_.push_back(std::move(item));
  }
  const PixelRect client = dialogUnitsToPixels(0, 0, t.width, t.height, units);
  frameWidth_ = kFrameWidth;
  frameHeight_ = kFrameHeight;
  window_ = PixelRect{0, 0, client.width + frameWidth_, client.height + frameHeight_};
}

bool DialogItem::hasStyle(std::string_view style) const {
  return std::find(styles.begin(), styles.end(), style) != styles.end();
}

DialogItem* DialogBox::item(int32_t id) {
  if (id == -1) return nullptr;
  for (DialogItem& i : items_)
    if (i.id == id) return &i;
  return nullptr;
}

const DialogItem* DialogBox::item(int32_t id) const { return const_cast<DialogBox*>(this)->item(id); }

bool DialogBox::setItemText(int32_t id, std::string_view text) {
  DialogItem* i = item(id);
  if (!i) return false;
  i->text = std::string(text);
  return true;
}

std::string DialogBox::itemText(int32_t id, std::size_t maxChars) const {
  const DialogItem* i = item(id);
  if (!i) return std::string();
  if (maxChars == std::string::npos) return i->text;
  // Count characters, not bytes, and never split a UTF-8 sequence.
  std::size_t bytes = 0, chars = 0;
  while (bytes < i->text.size() && chars < maxChars) {
    ++bytes;
    while (bytes < i->text.size() && (static_cast<unsigned char>(i->text[bytes]) & 0xC0) == 0x80) ++bytes;
    ++chars;
  }
  return i->text.substr(0, bytes);
}

void DialogBox::checkButton(int32_t id, bool checked) {
  if (DialogItem* i = item(id)) i->checked = checked;
}

bool DialogBox::isButtonChecked(int32_t id) const {
  const DialogItem* i = item(id);
  return i && i->checked;
}

void DialogBox::enableItem(int32_t id, bool enabled) {
  if (DialogItem* i = item(id)) i->enabled = enabled;
}

bool DialogBox::isItemEnabled(int32_t id) const {
  const DialogItem* i = item(id);
  return i && i->enabled;
}

void DialogBox::moveItem(int32_t id, const PixelRect& rect) {
  if (DialogItem* i = item(id)) i->rect = rect;
}

PixelRect DialogBox::itemRect(int32_t id) const {
  const DialogItem* i = item(id);
  return i ? i->rect : PixelRect{};
}

void DialogBox::setTrackRange(int32_t id, int32_t low, int32_t high) {
  DialogItem* i = item(id);
  if (!i) return;
  i->rangeMin = std::min(low, high);
  i->rangeMax = std::max(low, high);
  i->position = std::clamp(i->position, i->rangeMin, i->rangeMax);
}

void DialogBox::setTrackPosition(int32_t id, int32_t position) {
  if (DialogItem* i = item(id)) i->position = std::clamp(position, i->rangeMin, i->rangeMax);
}

int32_t DialogBox::trackPosition(int32_t id) const {
  const DialogItem* i = item(id);
  return i ? i->position : 0;
}

void DialogBox::resetList(int32_t id) {
  DialogItem* i = item(id);
  if (!i) return;
  i->entries.clear();
  i->entryData.clear();
  i->selection = -1;
}

int32_t DialogBox::addListEntry(int32_t id, std::string_view text) {
  DialogItem* i = item(id);
  if (!i) return -1;
  i->entries.emplace_back(text);
  i->entryData.push_back(0);
  return static_cast<int32_t>(i->entries.size() - 1);
}

void DialogBox::setListEntryData(int32_t id, int32_t index, int64_t data) {
  DialogItem* i = item(id);
  if (i && index >= 0 && static_cast<std::size_t>(index) < i->entryData.size())
    i->entryData[static_cast<std::size_t>(index)] = data;
}

int64_t DialogBox::listEntryData(int32_t id, int32_t index) const {
  const DialogItem* i = item(id);
  if (!i || index < 0 || static_cast<std::size_t>(index) >= i->entryData.size()) return -1;
  return i->entryData[static_cast<std::size_t>(index)];
}

int32_t DialogBox::findListEntry(int32_t id, std::string_view text) const {
  const DialogItem* i = item(id);
  if (!i) return -1;
  for (std::size_t n = 0; n < i->entries.size(); ++n)
    if (i->entries[n] == text) return static_cast<int32_t>(n);
  return -1;
}

void DialogBox::setListSelection(int32_t id, int32_t index) {
  DialogItem* i = item(id);
  if (!i) return;
  i->selection = index >= 0 && static_cast<std::size_t>(index) < i->entries.size() ? index : -1;
}

int32_t DialogBox::listSelection(int32_t id) const {
  const DialogItem* i = item(id);
  return i ? i->selection : -1;
}

void DialogBox::setFrameSize(int32_t width, int32_t height) {
  const PixelRect client = clientRect();
  frameWidth_ = width;
  frameHeight_ = height;
  window_.width = client.width + width;
  window_.height = client.height + height;
}

PixelRect DialogBox::clientRect() const {
  return PixelRect{0, 0, std::max(0, window_.width - frameWidth_), std::max(0, window_.height - frameHeight_)};
}

void DialogBox::endDialog(intptr_t result) { result_ = result; }

}  // namespace platform

#include "platform/dialog/gtk_module.h"

#include <gdk/gdkx.h>
#include <glib-unix.h>
#include <gtk/gtk.h>

#include <algorithm>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <limits>
#include <memory>
#include <vector>

#include "platform/resources/resources.h"
#include "platform/window/bmp_image.h"

namespace platform {
namespace {

// Widgets follow the desktop's font and scale; the view only adds the look of a hint: a
// smaller, dimmer line under the control it explains.
constexpr const char* kDialogStyle = R"css(
.brassmoor-dialog label.brassmoor-hint { font-size: smaller; }
.brassmoor-dialog frame.brassmoor-group > label { font-weight: bold; }
)css";

// Spacing of the laid-out dialogs, in pixels at the desktop's scale: the usual steps of a
// desktop dialog between groups and between rows.
constexpr int kOuterMargin = 12;
constexpr int kGroupSpacing = 12;
constexpr int kRowSpacing = 6;
constexpr int kColumnSpacing = 12;
constexpr int kIndent = 12;

DialogBaseUnits measuredBaseUnits();
DialogServices& services();

bool ensureToolkit() {
  static const bool available = [] {
    // Without a session bus the file chooser's remembered settings have nowhere to go; keep
    // them in memory rather than failing to write them on every change.
    const char* runtimeDir = g_getenv("XDG_RUNTIME_DIR");
    std::error_code error;
    if (!g_getenv("DBUS_SESSION_BUS_ADDRESS") &&
        !(runtimeDir && std::filesystem::exists(std::filesystem::path(runtimeDir) / "bus", error)))
      g_setenv("GSETTINGS_BACKEND", "memory", FALSE);
    if (!gtk_init_check(nullptr, nullptr)) return false;
    GtkCssProvider* css = gtk_css_provider_new();
    gtk_css_provider_load_from_data(css, kDialogStyle, -1, nullptr);
    gtk_style_context_add_provider_for_screen(gdk_screen_get_default(), GTK_STYLE_PROVIDER(css),
                                              GTK_STYLE_PROVIDER_PRIORITY_APPLICATION);
    g_object_unref(css);
    return true;
  }();
  return available;
}

// "*.jpg" as a pattern that also takes "*.JPG": file names are matched without regard to
// case, as the dialog's filter promises.
std::string caseFreePattern(const std::string& pattern) {
  std::string out;
  for (char c : pattern) {
    if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z')) {
      const char lower = static_cast<char>(c | 0x20), upper = static_cast<char>(c & ~0x20);
      out += '[';
      out += lower;
      out += upper;
      out += ']';
    } else {
      out += c;
    }
  }
  return out;
}

std::vector<std::string> split(const std::string& text, char separator) {
  std::vector<std::string> parts;
  std::size_t start = 0;
  while (start <= text.size()) {
    const std::size_t end = text.find(separator, start);
    parts.push_back(text.substr(start, end == std::string::npos ? std::string::npos : end - start));
    if (end == std::string::npos) break;
    start = end + 1;
  }
  return parts;
}

GdkPixbuf* bitmapPixbuf(const std::string& name) {
  // "#155" names bitmap resource 155.
  if (name.size() < 2 || name[0] != '#') return nullptr;
  const int32_t id = std::atoi(name.c_str() + 1);
  const ResourceBytes bytes = findResource(kBitmapResource, id);
  Image image;
  if (!bytes.found() || !decodeBitmap(bytes.data, bytes.size, image) || image.width <= 0 || image.height <= 0)
    return nullptr;
  GdkPixbuf* pixbuf = gdk_pixbuf_new(GDK_COLORSPACE_RGB, FALSE, 8, image.width, image.height);
  if (!pixbuf) return nullptr;
  guchar* pixels = gdk_pixbuf_get_pixels(pixbuf);
  const int stride = gdk_pixbuf_get_rowstride(pixbuf);
  const std::size_t row = static_cast<std::size_t>(image.width) * 3;
  for (int32_t y = 0; y < image.height; ++y)
    std::copy_n(image.rgb.data() + static_cast<std::size_t>(y) * row, row,
                pixels + static_cast<std::ptrdiff_t>(y) * stride);
  return pixbuf;
}

class GtkDialogView;

// The dialogs on screen, innermost last, so a nested dialog finds its owner's window.
std::vector<GtkDialogView*>& openViews() {
  static std::vector<GtkDialogView*> views;
  return views;
}

struct Control {
  DialogItem* item = nullptr;  // stable: the box's items are not added to while it runs
  GtkWidget* widget = nullptr;
  GdkPixbuf* picture = nullptr;  // what a BITMAP control draws
  // What the widget shows, to leave unchanged widgets alone.
  std::string text;
  bool enabled = true;
  int32_t rangeMin = 0, rangeMax = 0;
  std::vector<std::string> entries;
  int32_t selection = -2;
};

// A picture drawn as large as its place allows, keeping its proportions. It asks for no room
// of its own, so it fills what the columns beside it leave over and never makes the dialog
// larger than its controls need.
gboolean drawPicture(GtkWidget* area, cairo_t* cr, gpointer data) {
  auto* picture = static_cast<GdkPixbuf*>(data);
  const double width = gtk_widget_get_allocated_width(area), height = gtk_widget_get_allocated_height(area);
  const double pw = gdk_pixbuf_get_width(picture), ph = gdk_pixbuf_get_height(picture);
  const double scale = std::min(width / pw, height / ph);
  constexpr double kSmallest = 32;  // a thumbnail smaller than this says nothing
  if (pw * scale < kSmallest || ph * scale < kSmallest) return FALSE;
  cairo_translate(cr, (width - pw * scale) / 2, (height - ph * scale) / 2);
  cairo_scale(cr, scale, scale);
  gdk_cairo_set_source_pixbuf(cr, picture, 0, 0);
  cairo_pattern_set_filter(cairo_get_source(cr), CAIRO_FILTER_GOOD);
  cairo_paint(cr);
  return FALSE;
}

// The width of `sample` in the widget's font: sizes that grow with the desktop's text.
int textWidth(GtkWidget* widget, const char* sample) {
  PangoLayout* layout = gtk_widget_create_pango_layout(widget, sample);
  int width = 0, height = 0;
  pango_layout_get_pixel_size(layout, &width, &height);
  g_object_unref(layout);
  return width;
}

class GtkDialogView {
 public:
  GtkDialogView(DialogBox& box, DialogLayout layout, DialogServices::Procedure procedure)
      : box_(box), layout_(std::move(layout)), procedure_(std::move(procedure)) {}
  ~GtkDialogView() {
    if (window_) gtk_widget_destroy(window_);
    if (loop_) g_main_loop_unref(loop_);
    for (Control& c : controls_) {
      g_object_unref(c.widget);
      if (c.picture) g_object_unref(c.picture);
    }
  }

  DialogBox& box() { return box_; }
  GtkWindow* window() const { return GTK_WINDOW(window_); }

  intptr_t run(GtkWindow* parent, int64_t ownerWindow) {
    build();
    if (parent) gtk_window_set_transient_for(GTK_WINDOW(window_), parent);
    // The procedures place their dialogs for fixed sizes that the desktop's font no longer
    // gives; a dialog stands in the middle of its owner, or of the screen when it has none.
    gtk_window_set_position(GTK_WINDOW(window_), parent ? GTK_WIN_POS_CENTER_ON_PARENT : GTK_WIN_POS_CENTER);
    openViews().push_back(this);
    procedure_(box_, WM_INITDIALOG, 0, 0);
    if (!box_.ended()) {
      sync();
      gtk_widget_realize(window_);
      if (ownerWindow != 0) keepAbove(ownerWindow);
      gtk_widget_show_all(window_);
      focusFirst();
      loop_ = g_main_loop_new(nullptr, FALSE);
      // A request to end the process (the session closing, a plain kill) is the Cancel
      // button: nothing is written and the dialog ends, rather than the request waiting in
      // another layer's queue that no one reads while a dialog is up.
      std::vector<guint> signalWatches;
      for (int signal : {SIGTERM, SIGINT, SIGHUP})
        signalWatches.push_back(g_unix_signal_add(signal, onEndRequest, this));
      g_main_loop_run(loop_);
      for (guint watch : signalWatches) g_source_remove(watch);
    }
    openViews().erase(std::find(openViews().begin(), openViews().end(), this));
    gtk_widget_hide(window_);
    return box_.result();
  }

 private:
  void keepAbove(int64_t ownerWindow) {
    GdkDisplay* display = gdk_display_get_default();
    if (!GDK_IS_X11_DISPLAY(display)) return;
    // The number comes from the command line: a window that does not exist (or vanishes)
    // leaves the dialog without an owner rather than ending the program with an X error.
    gdk_x11_display_error_trap_push(display);
    if (GdkWindow* owner = gdk_x11_window_foreign_new_for_display(display, static_cast<Window>(ownerWindow))) {
      gdk_window_set_transient_for(gtk_widget_get_window(window_), owner);
      g_object_unref(owner);
    }
    gdk_x11_display_error_trap_pop_ignored(display);
  }

  // Keyboard focus starts on the first control of the first group, as Tab would reach it,
  // not on whichever button the toolkit would pick.
  void focusFirst() {
    std::vector<int32_t> order;
    for (const std::vector<int32_t>& column : layout_.columns)
      for (int32_t group : column) {
        order.push_back(group);
        for (const DialogLayoutRow& row : layout_.rows)
          if (row.group == group) order.insert(order.end(), row.cells.begin(), row.cells.end());
      }
    for (int32_t id : layout_.buttonsStart) order.push_back(id);
    for (int32_t id : layout_.buttonsEnd) order.push_back(id);
    if (layout_.empty())
      for (const Control& c : controls_) order.push_back(c.item->id);
    for (int32_t id : order) {
      Control* c = controlById(id);
      if (c && gtk_widget_get_can_focus(c->widget) && gtk_widget_is_sensitive(c->widget) &&
          gtk_widget_get_visible(c->widget) && !(GTK_IS_LABEL(c->widget))) {
        gtk_widget_grab_focus(c->widget);
        return;
      }
    }
  }

  void build() {
    window_ = gtk_window_new(GTK_WINDOW_TOPLEVEL);
    gtk_style_context_add_class(gtk_widget_get_style_context(window_), "brassmoor-dialog");
    gtk_window_set_modal(GTK_WINDOW(window_), TRUE);
    gtk_window_set_type_hint(GTK_WINDOW(window_), GDK_WINDOW_TYPE_HINT_DIALOG);
    gtk_window_set_title(GTK_WINDOW(window_), box_.title().c_str());
    g_signal_connect(window_, "delete-event", G_CALLBACK(+[](GtkWidget*, GdkEvent*, gpointer self) -> gboolean {
                       // The close box is the Cancel button.
                       static_cast<GtkDialogView*>(self)->send(WM_COMMAND, makeWParam(IDCANCEL, BN_CLICKED));
                       return TRUE;
                     }),
                     this);
    g_signal_connect(window_, "key-press-event", G_CALLBACK(onKey), this);
    createControls();
    GtkWidget* content = layout_.empty() ? arrangeInOrder() : arrangeByLayout();
    gtk_container_set_border_width(GTK_CONTAINER(content), kOuterMargin);
    gtk_container_add(GTK_CONTAINER(window_), content);
    fitToScreen(content);
  }

  void createControls() {
    GSList* radioGroup = nullptr;
    for (DialogItem& item : box_.items()) {
      if (item.kind != "AUTORADIOBUTTON") radioGroup = nullptr;
      Control c;
      c.item = &item;
      c.widget = createWidget(item, radioGroup, c.picture);
      if (!c.widget) continue;      // a kind the view does not know stays invisible, its state still kept
      g_object_ref_sink(c.widget);  // held until the view ends, shown or not
      c.text = item.text;
      controls_.push_back(std::move(c));
    }
  }

  GtkWidget* createWidget(const DialogItem& item, GSList*& radioGroup, GdkPixbuf*& picture) {
    const std::string& kind = item.kind;
    GtkWidget* widget = nullptr;
    if (kind == "GROUPBOX") {
      // A group is a bold heading over its controls, set in under it, as desktop dialogs
      // draw them; a frame around each would cost room a small screen does not have.
      widget = gtk_frame_new(item.text.c_str());
      gtk_frame_set_shadow_type(GTK_FRAME(widget), GTK_SHADOW_NONE);
      gtk_style_context_add_class(gtk_widget_get_style_context(widget), "brassmoor-group");
    } else if (kind == "STATIC") {
      widget = gtk_label_new(item.text.c_str());
      gtk_label_set_xalign(GTK_LABEL(widget), item.hasStyle("SS_CENTER") ? 0.5f : 0.0f);
      gtk_label_set_justify(GTK_LABEL(widget), item.hasStyle("SS_CENTER") ? GTK_JUSTIFY_CENTER : GTK_JUSTIFY_LEFT);
      gtk_label_set_line_wrap(GTK_LABEL(widget), TRUE);
      if (item.hasStyle("HINT")) {
        gtk_style_context_add_class(gtk_widget_get_style_context(widget), "dim-label");
        gtk_style_context_add_class(gtk_widget_get_style_context(widget), "brassmoor-hint");
      }
      setLabelText(widget, item.text);
    } else if (kind == "PUSHBUTTON" || kind == "DEFPUSHBUTTON") {
      widget = gtk_button_new_with_label(item.text.c_str());
      gtk_widget_set_halign(widget, GTK_ALIGN_START);
      g_signal_connect(widget, "clicked", G_CALLBACK(onClicked), this);
      if (kind == "DEFPUSHBUTTON") {
        gtk_widget_set_can_default(widget, TRUE);
        gtk_style_context_add_class(gtk_widget_get_style_context(widget), "suggested-action");
        gtk_window_set_default(GTK_WINDOW(window_), widget);
      }
    } else if (kind == "AUTOCHECKBOX") {
      widget = gtk_check_button_new_with_label(item.text.c_str());
      g_signal_connect(widget, "toggled", G_CALLBACK(onToggled), this);
    } else if (kind == "AUTORADIOBUTTON") {
      widget = gtk_radio_button_new_with_label(radioGroup, item.text.c_str());
      radioGroup = gtk_radio_button_get_group(GTK_RADIO_BUTTON(widget));
      g_signal_connect(widget, "toggled", G_CALLBACK(onToggled), this);
    } else if (kind == "TRACKBAR") {
      widget = gtk_scale_new_with_range(GTK_ORIENTATION_HORIZONTAL, 0, 100, 1);
      gtk_scale_set_draw_value(GTK_SCALE(widget), FALSE);
      gtk_scale_set_digits(GTK_SCALE(widget), 0);
      gtk_range_set_round_digits(GTK_RANGE(widget), 0);
      gtk_widget_set_hexpand(widget, TRUE);
      gtk_widget_set_size_request(widget, textWidth(widget, "0000000000"), -1);
      g_signal_connect(widget, "value-changed", G_CALLBACK(onScale), this);
    } else if (kind == "COMBOBOX") {
      widget = gtk_combo_box_text_new();
      gtk_widget_set_hexpand(widget, TRUE);
      g_signal_connect(widget, "changed", G_CALLBACK(onCombo), this);
    } else if (kind == "EDIT") {
      widget = gtk_entry_new();
      gtk_entry_set_width_chars(GTK_ENTRY(widget), 16);
      gtk_widget_set_hexpand(widget, TRUE);
      gtk_entry_set_text(GTK_ENTRY(widget), item.text.c_str());
      if (item.hasStyle("ES_READONLY")) gtk_editable_set_editable(GTK_EDITABLE(widget), FALSE);
      g_signal_connect(widget, "changed", G_CALLBACK(onEntry), this);
    } else if (kind == "BITMAP") {
      picture = bitmapPixbuf(item.bitmap);
      widget = gtk_drawing_area_new();
      gtk_widget_set_vexpand(widget, TRUE);
      if (picture) g_signal_connect(widget, "draw", G_CALLBACK(drawPicture), picture);
    }
    if (widget) gtk_widget_set_valign(widget, GTK_ALIGN_CENTER);
    if (widget && kind == "BITMAP") gtk_widget_set_valign(widget, GTK_ALIGN_FILL);
    return widget;
  }

  // Long texts wrap at a width that follows the font, not at the window's edge; a short one
  // keeps to one line (a wrapping label would otherwise ask for its narrowest width, one word
  // a line, and make its dialog needlessly tall).
  static void setLabelText(GtkWidget* label, const std::string& text) {
    const bool hint = gtk_style_context_has_class(gtk_widget_get_style_context(label), "brassmoor-hint");
    const int longest = hint ? 28 : 48;
    const int characters = static_cast<int>(g_utf8_strlen(text.c_str(), -1));
    gtk_label_set_width_chars(GTK_LABEL(label), std::min(characters, hint ? 20 : 40));
    gtk_label_set_max_width_chars(GTK_LABEL(label), longest);
    gtk_label_set_text(GTK_LABEL(label), text.c_str());
  }

  Control* controlById(int32_t id) {
    for (Control& c : controls_)
      if (c.item->id == id) return &c;
    return nullptr;
  }

  // The template's layout: columns of groups, each group a grid of rows, then the buttons.
  // The body is first set out in the template's columns; when that does not fit the screen
  // at the desktop's font and scale, the same groups, in the same order, are dealt into as
  // many columns as fit best (a large text wants fewer, wider columns; a doubled scale on a
  // short screen wants more, shorter ones).
  GtkWidget* arrangeByLayout() {
    GtkWidget* content = gtk_box_new(GTK_ORIENTATION_VERTICAL, kGroupSpacing);
    body_ = gtk_box_new(GTK_ORIENTATION_HORIZONTAL, kGroupSpacing);
    std::vector<std::vector<GtkWidget*>> columns;
    for (const std::vector<int32_t>& column : layout_.columns) {
      columns.emplace_back();
      for (int32_t id : column) {
        Control* c = controlById(id);
        if (!c) continue;
        if (GTK_IS_FRAME(c->widget)) fillGroup(*c);
        columns.back().push_back(c->widget);
      }
    }
    gtk_box_pack_start(GTK_BOX(content), body_, TRUE, TRUE, 0);
    gtk_box_pack_end(GTK_BOX(content), buttonRow(layout_.buttonsStart, layout_.buttonsEnd), FALSE, FALSE, 0);
    setColumns(columns);
    return content;
  }

  void setColumns(const std::vector<std::vector<GtkWidget*>>& columns) {
    for (GList *stacks = gtk_container_get_children(GTK_CONTAINER(body_)), *s = stacks; s; s = s->next) {
      for (GList *children = gtk_container_get_children(GTK_CONTAINER(s->data)), *c = children; c; c = c->next)
        gtk_container_remove(GTK_CONTAINER(s->data), GTK_WIDGET(c->data));
      gtk_container_remove(GTK_CONTAINER(body_), GTK_WIDGET(s->data));
      if (!s->next) g_list_free(stacks);
    }
    for (const std::vector<GtkWidget*>& column : columns) {
      GtkWidget* stack = gtk_box_new(GTK_ORIENTATION_VERTICAL, kGroupSpacing);
      for (GtkWidget* widget : column) gtk_box_pack_start(GTK_BOX(stack), widget, GTK_IS_DRAWING_AREA(widget), TRUE, 0);
      gtk_widget_show(stack);
      gtk_box_pack_start(GTK_BOX(body_), stack, TRUE, TRUE, 0);
    }
  }

  // How far the dialog's natural size overshoots the screen: 1 or less when it fits.
  double overshoot(GtkWidget* content, const GdkRectangle& screen) {
    GtkRequisition natural{};
    gtk_widget_show_all(content);
    gtk_widget_get_preferred_size(content, nullptr, &natural);
    const int width = natural.width + 2 * kOuterMargin, height = natural.height + 2 * kOuterMargin;
    return std::max(static_cast<double>(width) / std::max(1, screen.width),
                    static_cast<double>(height) / std::max(1, screen.height));
  }

  void fitToScreen(GtkWidget* content) {
    if (!body_ || layout_.columns.empty()) return;
    GdkRectangle screen{0, 0, 0, 0};
    GdkDisplay* display = gtk_widget_get_display(window_);
    GdkMonitor* monitor = gdk_display_get_primary_monitor(display);
    if (!monitor) monitor = gdk_display_get_monitor(display, 0);
    if (!monitor) return;
    gdk_monitor_get_workarea(monitor, &screen);
    if (overshoot(content, screen) <= 1.0) return;

    // The groups in reading order; pictures and other fillers stay at the end of the last
    // column, where they take what room is left over.
    std::vector<GtkWidget*> groups, fillers;
    for (const std::vector<int32_t>& column : layout_.columns)
      for (int32_t id : column)
        if (Control* c = controlById(id)) (GTK_IS_DRAWING_AREA(c->widget) ? fillers : groups).push_back(c->widget);
    std::vector<int> heights;
    for (GtkWidget* g : groups) {
      int minimum = 0, natural = 0;
      gtk_widget_get_preferred_height(g, &minimum, &natural);
      heights.push_back(natural);
    }
    double best = overshoot(content, screen);
    std::vector<std::vector<GtkWidget*>> bestColumns;
    for (std::size_t count = 1; count <= std::min<std::size_t>(groups.size(), 5); ++count) {
      std::vector<std::vector<GtkWidget*>> columns = dealIntoColumns(groups, heights, count);
      columns.back().insert(columns.back().end(), fillers.begin(), fillers.end());
      setColumns(columns);
      const double over = overshoot(content, screen);
      if (over < best) best = over, bestColumns = columns;
    }
    if (bestColumns.empty()) {  // nothing did better than the template's own columns
      std::vector<std::vector<GtkWidget*>> columns;
      for (const std::vector<int32_t>& column : layout_.columns) {
        columns.emplace_back();
        for (int32_t id : column)
          if (Control* c = controlById(id)) columns.back().push_back(c->widget);
      }
      bestColumns = columns;
    }
    setColumns(bestColumns);
  }

  // Splits `groups`, kept in order, into `count` columns whose tallest is as short as can be.
  static std::vector<std::vector<GtkWidget*>> dealIntoColumns(const std::vector<GtkWidget*>& groups,
                                                              const std::vector<int>& heights, std::size_t count) {
    const std::size_t n = groups.size();
    // tallest[i][k]: the shortest possible tallest column for the first i groups in k columns.
    constexpr int kNone = std::numeric_limits<int>::max();
    std::vector<std::vector<int>> tallest(n + 1, std::vector<int>(count + 1, kNone));
    std::vector<std::vector<std::size_t>> cut(n + 1, std::vector<std::size_t>(count + 1, 0));
    tallest[0][0] = 0;
    for (std::size_t k = 1; k <= count; ++k)
      for (std::size_t i = 1; i <= n; ++i)
        for (std::size_t j = k - 1; j < i; ++j) {
          if (tallest[j][k - 1] == kNone) continue;
          int column = 0;
          for (std::size_t g = j; g < i; ++g) column += heights[g] + kGroupSpacing;
          const int worst = std::max(tallest[j][k - 1], column);
          if (worst < tallest[i][k]) tallest[i][k] = worst, cut[i][k] = j;
        }
    std::vector<std::vector<GtkWidget*>> columns(count);
    for (std::size_t i = n, k = count; k > 0; i = cut[i][k], --k)
      columns[k - 1].assign(groups.begin() + static_cast<std::ptrdiff_t>(cut[i][k]),
                            groups.begin() + static_cast<std::ptrdiff_t>(i));
    return columns;
  }

  void fillGroup(Control& group) {
    GtkWidget* grid = gtk_grid_new();
    gtk_grid_set_row_spacing(GTK_GRID(grid), kRowSpacing);
    gtk_grid_set_column_spacing(GTK_GRID(grid), kColumnSpacing);
    gtk_widget_set_margin_start(grid, kIndent);
    gtk_widget_set_margin_top(grid, kRowSpacing);
    int columns = 1;
    for (const DialogLayoutRow& row : layout_.rows)
      if (row.group == group.item->id && !row.line) columns = std::max(columns, static_cast<int>(row.cells.size()));
    int top = 0;
    for (const DialogLayoutRow& row : layout_.rows) {
      if (row.group != group.item->id) continue;
      if (row.line) {
        GtkWidget* line = gtk_box_new(GTK_ORIENTATION_HORIZONTAL, kColumnSpacing);
        if (row.indent) gtk_widget_set_margin_start(line, kIndent);
        for (int32_t id : row.cells)
          if (Control* c = controlById(id)) gtk_box_pack_start(GTK_BOX(line), c->widget, FALSE, FALSE, 0);
        gtk_grid_attach(GTK_GRID(grid), line, 0, top++, columns, 1);
        continue;
      }
      const int cells = static_cast<int>(row.cells.size());
      for (int i = 0; i < cells; ++i) {
        Control* c = controlById(row.cells[static_cast<std::size_t>(i)]);
        if (!c) continue;
        gtk_grid_attach(GTK_GRID(grid), c->widget, i, top, i + 1 == cells ? columns - i : 1, 1);
      }
      ++top;
    }
    gtk_container_add(GTK_CONTAINER(group.widget), grid);
  }

  // A dialog without a layout: its controls top to bottom in template order, its push
  // buttons in a row under them with Cancel first, as the desktop orders them.
  GtkWidget* arrangeInOrder() {
    GtkWidget* content = gtk_box_new(GTK_ORIENTATION_VERTICAL, kRowSpacing);
    std::vector<int32_t> buttons;
    for (Control& c : controls_) {
      if (GTK_IS_BUTTON(c.widget) && !GTK_IS_TOGGLE_BUTTON(c.widget)) {
        buttons.insert(c.item->id == IDCANCEL ? buttons.begin() : buttons.end(), c.item->id);
        continue;
      }
      gtk_box_pack_start(GTK_BOX(content), c.widget, GTK_IS_DRAWING_AREA(c.widget), TRUE, 0);
    }
    gtk_box_pack_end(GTK_BOX(content), buttonRow({}, buttons), FALSE, FALSE, kRowSpacing);
    return content;
  }

  GtkWidget* buttonRow(const std::vector<int32_t>& start, const std::vector<int32_t>& end) {
    GtkWidget* row = gtk_box_new(GTK_ORIENTATION_HORIZONTAL, kRowSpacing);
    for (int32_t id : start)
      if (Control* c = controlById(id)) gtk_box_pack_start(GTK_BOX(row), c->widget, FALSE, FALSE, 0);
    GtkWidget* endBox = gtk_box_new(GTK_ORIENTATION_HORIZONTAL, kRowSpacing);
    gtk_box_set_homogeneous(GTK_BOX(endBox), TRUE);
    for (int32_t id : end)
      if (Control* c = controlById(id)) {
        gtk_widget_set_halign(c->widget, GTK_ALIGN_FILL);  // the closing buttons share one width
        gtk_box_pack_start(GTK_BOX(endBox), c->widget, TRUE, TRUE, 0);
      }
    gtk_box_pack_end(GTK_BOX(row), endBox, FALSE, FALSE, 0);
    return row;
  }

  Control* controlOf(GtkWidget* widget) {
    for (Control& c : controls_)
      if (c.widget == widget) return &c;
    return nullptr;
  }

  void send(uint32_t message, WPARAM wParam, LPARAM lParam = 0) {
    if (box_.ended()) return;
    procedure_(box_, message, wParam, lParam);
    sync();
    if (box_.ended() && loop_) g_main_loop_quit(loop_);
  }

  // Shows the box's state in the widgets; the changes made here are not the user's and send
  // no messages.
  void sync() {
    syncing_ = true;
    gtk_window_set_title(GTK_WINDOW(window_), box_.title().c_str());
    for (Control& c : controls_) {
      DialogItem& item = *c.item;
      GtkWidget* widget = c.widget;
      if (item.text != c.text) {
        c.text = item.text;
        if (GTK_IS_FRAME(widget)) gtk_frame_set_label(GTK_FRAME(widget), c.text.c_str());
        else if (GTK_IS_LABEL(widget))
          setLabelText(widget, c.text);
        else if (GTK_IS_ENTRY(widget))
          gtk_entry_set_text(GTK_ENTRY(widget), c.text.c_str());
        else if (GTK_IS_BUTTON(widget))
          gtk_button_set_label(GTK_BUTTON(widget), c.text.c_str());
      }
      if (GTK_IS_TOGGLE_BUTTON(widget) && gtk_toggle_button_get_active(GTK_TOGGLE_BUTTON(widget)) != item.checked) {
        // A radio button cannot be cleared directly, only by checking another of its group.
        if (item.checked || !GTK_IS_RADIO_BUTTON(widget))
          gtk_toggle_button_set_active(GTK_TOGGLE_BUTTON(widget), item.checked);
      }
      if (item.enabled != c.enabled || !c.enabled) {
        c.enabled = item.enabled;
        gtk_widget_set_sensitive(widget, item.enabled);
      }
      if (GTK_IS_SCALE(widget)) {
        if (item.rangeMin != c.rangeMin || item.rangeMax != c.rangeMax) {
          c.rangeMin = item.rangeMin, c.rangeMax = item.rangeMax;
          gtk_range_set_range(GTK_RANGE(widget), item.rangeMin, std::max(item.rangeMax, item.rangeMin + 1));
        }
        if (static_cast<int32_t>(gtk_range_get_value(GTK_RANGE(widget))) != item.position)
          gtk_range_set_value(GTK_RANGE(widget), item.position);
      }
      if (GTK_IS_COMBO_BOX_TEXT(widget)) {
        if (item.entries != c.entries) {
          c.entries = item.entries;
          gtk_combo_box_text_remove_all(GTK_COMBO_BOX_TEXT(widget));
          for (const std::string& e : c.entries) gtk_combo_box_text_append_text(GTK_COMBO_BOX_TEXT(widget), e.c_str());
          c.selection = -2;
        }
        if (item.selection != c.selection) {
          c.selection = item.selection;
          gtk_combo_box_set_active(GTK_COMBO_BOX(widget), item.selection);
        }
      }
    }
    syncing_ = false;
  }

  static void onClicked(GtkWidget* widget, gpointer self) {
    auto* view = static_cast<GtkDialogView*>(self);
    if (view->syncing_) return;
    if (Control* c = view->controlOf(widget)) view->send(WM_COMMAND, makeWParam(c->item->id, BN_CLICKED));
  }

  static void onToggled(GtkWidget* widget, gpointer self) {
    auto* view = static_cast<GtkDialogView*>(self);
    Control* c = view->controlOf(widget);
    if (!c) return;
    const bool active = gtk_toggle_button_get_active(GTK_TOGGLE_BUTTON(widget));
    c->item->checked = active;
    if (view->syncing_) return;
    // A radio button that was cleared because another one was checked sends nothing; the
    // checked one reports the click.
    if (GTK_IS_RADIO_BUTTON(widget) && !active) return;
    view->send(WM_COMMAND, makeWParam(c->item->id, BN_CLICKED));
  }

  static void onScale(GtkWidget* widget, gpointer self) {
    auto* view = static_cast<GtkDialogView*>(self);
    Control* c = view->controlOf(widget);
    if (!c || view->syncing_) return;
    view->box_.setTrackPosition(c->item->id, static_cast<int32_t>(std::lround(gtk_range_get_value(GTK_RANGE(widget)))));
    view->send(WM_NOTIFY, static_cast<WPARAM>(c->item->id));
  }

  static void onCombo(GtkWidget* widget, gpointer self) {
    auto* view = static_cast<GtkDialogView*>(self);
    Control* c = view->controlOf(widget);
    if (!c || view->syncing_) return;
    view->box_.setListSelection(c->item->id, gtk_combo_box_get_active(GTK_COMBO_BOX(widget)));
    c->selection = c->item->selection;
    view->send(WM_COMMAND, makeWParam(c->item->id, CBN_SELCHANGE));
  }

  static void onEntry(GtkWidget* widget, gpointer self) {
    auto* view = static_cast<GtkDialogView*>(self);
    Control* c = view->controlOf(widget);
    if (!c || view->syncing_) return;
    c->item->text = c->text = gtk_entry_get_text(GTK_ENTRY(widget));
    view->send(WM_COMMAND, makeWParam(c->item->id, EN_CHANGE));
  }

  static gboolean onEndRequest(gpointer self) {
    static_cast<GtkDialogView*>(self)->send(WM_COMMAND, makeWParam(IDCANCEL, BN_CLICKED));
    return G_SOURCE_CONTINUE;
  }

  static gboolean onKey(GtkWidget*, GdkEventKey* event, gpointer self) {
    auto* view = static_cast<GtkDialogView*>(self);
    if (event->keyval == GDK_KEY_Escape) {
      view->send(WM_COMMAND, makeWParam(IDCANCEL, BN_CLICKED));
      return TRUE;
    }
    if (event->keyval == GDK_KEY_Return || event->keyval == GDK_KEY_KP_Enter) {
      // Enter presses the focused push button, and the default button everywhere else.
      GtkWidget* focus = gtk_window_get_focus(GTK_WINDOW(view->window_));
      if (focus && GTK_IS_BUTTON(focus) && !GTK_IS_TOGGLE_BUTTON(focus)) return FALSE;
      for (const Control& c : view->controls_) {
        if (c.item->kind == "DEFPUSHBUTTON" && c.item->enabled) {
          view->send(WM_COMMAND, makeWParam(c.item->id, BN_CLICKED));
          return TRUE;
        }
      }
    }
    return FALSE;
  }

  DialogBox& box_;
  DialogLayout layout_;
  DialogServices::Procedure procedure_;
  GtkWidget* window_ = nullptr;
  GtkWidget* body_ = nullptr;  // the row of columns of a laid-out dialog
  GMainLoop* loop_ = nullptr;
  std::vector<Control> controls_;
  bool syncing_ = false;
};

GtkWindow* windowOf(const DialogBox* box) {
  for (GtkDialogView* v : openViews())
    if (&v->box() == box) return v->window();
  return nullptr;
}

intptr_t runTemplate(int32_t templateId, DialogServices::Procedure procedure, GtkWindow* parent, int64_t ownerWindow) {
  if (!ensureToolkit()) return -1;
  const std::optional<DialogTemplate> t = loadDialogTemplate(templateId);
  if (!t) return -1;
  DialogBox box(*t, measuredBaseUnits(), &services());
  GtkDialogView view(box, t->layout, std::move(procedure));
  return view.run(parent, ownerWindow);
}

// A file chooser of a size that fits a small screen (sizes are in the desktop's scaled
// pixels, so a screen at twice the scale is half as large), centred over its owner.
void fitChooser(GtkWidget* widget, gpointer) {
  GtkWindow* window = GTK_WINDOW(widget);
  GdkRectangle screen{0, 0, 720, 480};
  if (GdkMonitor* monitor = gdk_display_get_monitor_at_window(gtk_widget_get_display(widget),
                                                              gtk_widget_get_window(widget)))
    gdk_monitor_get_workarea(monitor, &screen);
  const int width = std::min(720, screen.width * 9 / 10), height = std::min(480, screen.height * 9 / 10);
  gtk_window_resize(window, width, height);
  int x = screen.x, y = screen.y, ownerWidth = screen.width, ownerHeight = screen.height;
  if (GtkWindow* owner = gtk_window_get_transient_for(window)) {
    gtk_window_get_position(owner, &x, &y);
    gtk_window_get_size(owner, &ownerWidth, &ownerHeight);
  }
  gtk_window_move(window, std::max(screen.x, x + (ownerWidth - width) / 2),
                  std::max(screen.y, y + (ownerHeight - height) / 2));
}

class GtkServices final : public DialogServices {
 public:
  void messageBox(DialogBox* owner, const std::string& text, const std::string& caption) override {
    if (!ensureToolkit()) {
      std::fprintf(stderr, "%s: %s\n", caption.c_str(), text.c_str());
      return;
    }
    GtkWidget* box = gtk_message_dialog_new(windowOf(owner), GTK_DIALOG_MODAL, GTK_MESSAGE_OTHER, GTK_BUTTONS_OK, "%s",
                                            text.c_str());
    gtk_window_set_title(GTK_WINDOW(box), caption.c_str());
    gtk_dialog_run(GTK_DIALOG(box));
    gtk_widget_destroy(box);
  }

  std::optional<std::string> openFile(DialogBox& owner, const std::string& filter) override {
    if (!ensureToolkit()) return std::nullopt;
    GtkWidget* chooser = gtk_file_chooser_dialog_new("Open", windowOf(&owner), GTK_FILE_CHOOSER_ACTION_OPEN, "_Cancel",
                                                     GTK_RESPONSE_CANCEL, "_Open", GTK_RESPONSE_ACCEPT, nullptr);
    // The chooser sizes itself from what it remembers once it is mapped; a size that fits a
    // small screen is set after that.
    g_signal_connect(chooser, "map", G_CALLBACK(fitChooser), nullptr);
    gtk_window_set_position(GTK_WINDOW(chooser), GTK_WIN_POS_CENTER_ON_PARENT);
    gtk_file_chooser_set_local_only(GTK_FILE_CHOOSER(chooser), TRUE);
    // Pictures are looked for where the desktop keeps them: the user's Pictures folder, or
    // the home folder when there is none.
    const char* pictures = g_get_user_special_dir(G_USER_DIRECTORY_PICTURES);
    std::error_code error;
    const bool hasPictures = pictures && std::filesystem::is_directory(pictures, error);
    gtk_file_chooser_set_current_folder(GTK_FILE_CHOOSER(chooser), hasPictures ? pictures : g_get_home_dir());
    const std::vector<std::string> parts = split(filter, '|');
    for (std::size_t i = 0; i + 1 < parts.size(); i += 2) {
      if (parts[i].empty()) break;
      GtkFileFilter* f = gtk_file_filter_new();
      gtk_file_filter_set_name(f, parts[i].c_str());
      for (const std::string& pattern : split(parts[i + 1], ';'))
        if (!pattern.empty()) gtk_file_filter_add_pattern(f, caseFreePattern(pattern).c_str());
      gtk_file_chooser_add_filter(GTK_FILE_CHOOSER(chooser), f);
    }
    std::optional<std::string> chosen;
    if (gtk_dialog_run(GTK_DIALOG(chooser)) == GTK_RESPONSE_ACCEPT) {
      if (gchar* name = gtk_file_chooser_get_filename(GTK_FILE_CHOOSER(chooser))) {
        // Only a file that exists is taken.
        std::error_code error;
        if (std::filesystem::is_regular_file(name, error)) chosen = std::string(name);
        g_free(name);
      }
    }
    gtk_widget_destroy(chooser);
    return chosen;
  }

  bool openAddress(const std::string& address) override {
    if (!ensureToolkit()) return false;
    GError* error = nullptr;
    const bool shown = gtk_show_uri_on_window(nullptr, address.c_str(), GDK_CURRENT_TIME, &error);
    if (error) g_error_free(error);
    return shown;
  }

  intptr_t runModal(DialogBox* owner, int32_t templateId, Procedure procedure) override {
    return runTemplate(templateId, std::move(procedure), windowOf(owner), 0);
  }
};

bool toolkitAvailable() { return ensureToolkit(); }

DialogBaseUnits measuredBaseUnits() {
  DialogBaseUnits units;
  if (!ensureToolkit()) return units;
  PangoContext* context = gdk_pango_context_get();
  PangoLayout* layout = pango_layout_new(context);
  // The desktop's own dialog font, as the controls are drawn in it.
  gchar* fontName = nullptr;
  g_object_get(gtk_settings_get_default(), "gtk-font-name", &fontName, nullptr);
  PangoFontDescription* font = pango_font_description_from_string(fontName ? fontName : "Sans 10");
  g_free(fontName);
  pango_layout_set_font_description(layout, font);
  pango_layout_set_text(layout, "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz", -1);
  int width = 0, height = 0;
  pango_layout_get_pixel_size(layout, &width, &height);
  // The average character width over both alphabets, rounded as the system rounds it.
  if (width > 0 && height > 0) units = DialogBaseUnits{(width / 26 + 1) / 2, height};
  pango_font_description_free(font);
  g_object_unref(layout);
  g_object_unref(context);
  return units;
}

DialogServices& services() {
  static GtkServices services;
  return services;
}

intptr_t runModal(int32_t templateId, DialogServices::Procedure procedure, int64_t ownerWindow) {
  return runTemplate(templateId, std::move(procedure), nullptr, ownerWindow);
}

}  // namespace
}  // namespace platform

extern "C" __attribute__((visibility("default"))) const platform::GtkDialogEntries* brassmoorGtkDialogEntries() {
  static const platform::GtkDialogEntries entries{platform::toolkitAvailable, platform::measuredBaseUnits,
                                                  platform::services, platform::runModal};
  return &entries;
}

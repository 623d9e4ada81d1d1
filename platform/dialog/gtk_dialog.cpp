#include "platform/dialog/gtk_dialog.h"

#include <gdk/gdkx.h>
#include <gtk/gtk.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <vector>

#include "platform/resources/resources.h"
#include "platform/window/bmp_image.h"

namespace platform {
namespace {

// The dialog font: the classic 8-point dialog face, with the desktop's sans serif standing in.
constexpr const char* kDialogFont = "Sans 8";

// Widgets are sized to the dialog's pixel rectangles, which are far tighter than the
// desktop theme's own paddings; this style lets them fit the way the dialog was laid out.
constexpr const char* kDialogStyle = R"css(
.brassmoor-dialog, .brassmoor-dialog * { font-family: Sans; font-size: 8pt; }
.brassmoor-dialog button { min-height: 0; min-width: 0; padding: 0 6px; }
.brassmoor-dialog combobox button { padding: 0 4px; }
.brassmoor-dialog entry { min-height: 0; padding: 0 3px; }
.brassmoor-dialog checkbutton, .brassmoor-dialog radiobutton { padding: 0; min-height: 0; }
.brassmoor-dialog check, .brassmoor-dialog radio { min-width: 12px; min-height: 12px; margin: 0 4px 0 0; padding: 0; }
.brassmoor-dialog scale { padding: 0 6px; min-height: 0; }
.brassmoor-dialog scale slider { min-width: 12px; min-height: 12px; margin: -5px; }
.brassmoor-dialog frame > border { border-radius: 2px; }
.brassmoor-dialog frame > label { margin: 0 2px; }
)css";

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
  if (!bytes.found() || !decodeBitmap(bytes.data, bytes.size, image) || image.width <= 0 || image.height <= 0) return nullptr;
  GdkPixbuf* pixbuf = gdk_pixbuf_new(GDK_COLORSPACE_RGB, FALSE, 8, image.width, image.height);
  if (!pixbuf) return nullptr;
  guchar* pixels = gdk_pixbuf_get_pixels(pixbuf);
  const int stride = gdk_pixbuf_get_rowstride(pixbuf);
  const std::size_t row = static_cast<std::size_t>(image.width) * 3;
  for (int32_t y = 0; y < image.height; ++y)
    std::copy_n(image.rgb.data() + static_cast<std::size_t>(y) * row, row, pixels + static_cast<std::ptrdiff_t>(y) * stride);
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
  // What the widget shows, to leave unchanged widgets alone.
  std::string text;
  bool checked = false, enabled = true;
  PixelRect rect;
  int32_t rangeMin = 0, rangeMax = 0, position = 0;
  std::vector<std::string> entries;
  int32_t selection = -2;
};

class GtkDialogView {
 public:
  GtkDialogView(DialogBox& box, DialogServices::Procedure procedure) : box_(box), procedure_(std::move(procedure)) {}
  ~GtkDialogView() {
    if (window_) gtk_widget_destroy(window_);
    if (loop_) g_main_loop_unref(loop_);
  }

  DialogBox& box() { return box_; }
  GtkWindow* window() const { return GTK_WINDOW(window_); }

  intptr_t run(GtkWindow* parent, int64_t ownerWindow) {
    build();
    if (parent) gtk_window_set_transient_for(GTK_WINDOW(window_), parent);
    // Until its procedure places it, a dialog stands in the middle of its owner, or of the
    // screen when it has none.
    gtk_window_set_position(GTK_WINDOW(window_), parent ? GTK_WIN_POS_CENTER_ON_PARENT : GTK_WIN_POS_CENTER);
    windowX_ = box_.windowRect().x, windowY_ = box_.windowRect().y;
    openViews().push_back(this);
    procedure_(box_, WM_INITDIALOG, 0, 0);
    if (!box_.ended()) {
      sync();
      gtk_widget_realize(window_);
      if (ownerWindow != 0) keepAbove(ownerWindow);
      gtk_widget_show_all(window_);
      loop_ = g_main_loop_new(nullptr, FALSE);
      g_main_loop_run(loop_);
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

  void build() {
    window_ = gtk_window_new(GTK_WINDOW_TOPLEVEL);
    gtk_style_context_add_class(gtk_widget_get_style_context(window_), "brassmoor-dialog");
    gtk_window_set_modal(GTK_WINDOW(window_), TRUE);
    gtk_window_set_resizable(GTK_WINDOW(window_), FALSE);
    gtk_window_set_type_hint(GTK_WINDOW(window_), GDK_WINDOW_TYPE_HINT_DIALOG);
    g_signal_connect(window_, "delete-event", G_CALLBACK(+[](GtkWidget*, GdkEvent*, gpointer self) -> gboolean {
                       // The close box is the Cancel button.
                       static_cast<GtkDialogView*>(self)->send(WM_COMMAND, makeWParam(IDCANCEL, BN_CLICKED));
                       return TRUE;
                     }),
                     this);
    g_signal_connect(window_, "key-press-event", G_CALLBACK(onKey), this);
    fixed_ = gtk_fixed_new();
    gtk_container_add(GTK_CONTAINER(window_), fixed_);

    GSList* radioGroup = nullptr;
    for (DialogItem& item : box_.items()) {
      Control c;
      c.item = &item;
      const std::string& kind = item.kind;
      if (kind != "AUTORADIOBUTTON") radioGroup = nullptr;
      if (kind == "GROUPBOX") {
        c.widget = gtk_frame_new(item.text.c_str());
      } else if (kind == "STATIC") {
        c.widget = gtk_label_new(item.text.c_str());
        gtk_label_set_xalign(GTK_LABEL(c.widget), 0.0f);
        gtk_label_set_yalign(GTK_LABEL(c.widget), 0.0f);
        gtk_label_set_justify(GTK_LABEL(c.widget), GTK_JUSTIFY_LEFT);
        if (item.hasStyle("SS_CENTER")) {
          gtk_label_set_xalign(GTK_LABEL(c.widget), 0.5f);
          gtk_label_set_justify(GTK_LABEL(c.widget), GTK_JUSTIFY_CENTER);
        }
      } else if (kind == "PUSHBUTTON" || kind == "DEFPUSHBUTTON") {
        c.widget = gtk_button_new_with_label(item.text.c_str());
        g_signal_connect(c.widget, "clicked", G_CALLBACK(onClicked), this);
        if (kind == "DEFPUSHBUTTON") {
          gtk_widget_set_can_default(c.widget, TRUE);
          gtk_window_set_default(GTK_WINDOW(window_), c.widget);
        }
      } else if (kind == "AUTOCHECKBOX") {
        c.widget = gtk_check_button_new_with_label(item.text.c_str());
        g_signal_connect(c.widget, "toggled", G_CALLBACK(onToggled), this);
      } else if (kind == "AUTORADIOBUTTON") {
        c.widget = gtk_radio_button_new_with_label(radioGroup, item.text.c_str());
        radioGroup = gtk_radio_button_get_group(GTK_RADIO_BUTTON(c.widget));
        g_signal_connect(c.widget, "toggled", G_CALLBACK(onToggled), this);
      } else if (kind == "TRACKBAR") {
        c.widget = gtk_scale_new_with_range(GTK_ORIENTATION_HORIZONTAL, 0, 100, 1);
        gtk_scale_set_draw_value(GTK_SCALE(c.widget), FALSE);
        gtk_scale_set_digits(GTK_SCALE(c.widget), 0);
        gtk_range_set_round_digits(GTK_RANGE(c.widget), 0);
        g_signal_connect(c.widget, "value-changed", G_CALLBACK(onScale), this);
      } else if (kind == "COMBOBOX") {
        c.widget = gtk_combo_box_text_new();
        g_signal_connect(c.widget, "changed", G_CALLBACK(onCombo), this);
      } else if (kind == "EDIT") {
        c.widget = gtk_entry_new();
        gtk_entry_set_width_chars(GTK_ENTRY(c.widget), 1);
        gtk_entry_set_text(GTK_ENTRY(c.widget), item.text.c_str());
        if (item.hasStyle("ES_READONLY")) gtk_editable_set_editable(GTK_EDITABLE(c.widget), FALSE);
        g_signal_connect(c.widget, "changed", G_CALLBACK(onEntry), this);
      } else if (kind == "BITMAP") {
        GdkPixbuf* pixbuf = bitmapPixbuf(item.bitmap);
        c.widget = pixbuf ? gtk_image_new_from_pixbuf(pixbuf) : gtk_image_new();
        gtk_widget_set_halign(c.widget, GTK_ALIGN_START);
        gtk_widget_set_valign(c.widget, GTK_ALIGN_START);
        if (pixbuf) g_object_unref(pixbuf);
      } else {
        continue;  // a kind the view does not know stays invisible, its state still kept
      }
      c.text = item.text;
      c.checked = false;
      c.rect = placed(item);
      gtk_widget_set_size_request(c.widget, c.rect.width, c.rect.height);
      gtk_fixed_put(GTK_FIXED(fixed_), c.widget, c.rect.x, c.rect.y);
      if (GTK_IS_LABEL(c.widget)) setLabelText(c.widget, item.text, c.rect.width);
      g_object_set_data(G_OBJECT(c.widget), "brassmoor-id", GINT_TO_POINTER(item.id));
      controls_.push_back(std::move(c));
    }
  }

  // Static text breaks between words to stay inside its control's width, the lines chosen
  // here so that the label's size never depends on the width it is given.
  static void setLabelText(GtkWidget* label, const std::string& text, int32_t width) {
    PangoLayout* layout = gtk_widget_create_pango_layout(label, text.c_str());
    pango_layout_set_width(layout, std::max(1, width) * PANGO_SCALE);
    pango_layout_set_wrap(layout, PANGO_WRAP_WORD_CHAR);
    std::string wrapped;
    const int lines = pango_layout_get_line_count(layout);
    for (int i = 0; i < lines; ++i) {
      const PangoLayoutLine* line = pango_layout_get_line_readonly(layout, i);
      std::string part = text.substr(static_cast<std::size_t>(line->start_index), static_cast<std::size_t>(line->length));
      while (!part.empty() && (part.back() == ' ' || part.back() == '\n')) part.pop_back();
      if (i > 0) wrapped += '\n';
      wrapped += part;
    }
    g_object_unref(layout);
    gtk_label_set_text(GTK_LABEL(label), wrapped.c_str());
  }

  // A drop-down list's rectangle includes its open list; closed it is one line high.
  PixelRect placed(const DialogItem& item) const {
    PixelRect r = item.rect;
    if (item.kind == "COMBOBOX") r.height = std::min(r.height, box_.baseUnits().y + 8);
    return r;
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
    const PixelRect client = box_.clientRect();
    gtk_widget_set_size_request(fixed_, client.width, client.height);
    gtk_window_resize(GTK_WINDOW(window_), client.width, client.height);
    const PixelRect w = box_.windowRect();
    if (w.x != windowX_ || w.y != windowY_) {
      gtk_window_move(GTK_WINDOW(window_), w.x, w.y);
      windowX_ = w.x, windowY_ = w.y;
    }
    for (Control& c : controls_) {
      DialogItem& item = *c.item;
      GtkWidget* widget = c.widget;
      if (item.text != c.text) {
        c.text = item.text;
        if (GTK_IS_FRAME(widget)) gtk_frame_set_label(GTK_FRAME(widget), c.text.c_str());
        else if (GTK_IS_LABEL(widget)) setLabelText(widget, c.text, c.rect.width);
        else if (GTK_IS_ENTRY(widget)) gtk_entry_set_text(GTK_ENTRY(widget), c.text.c_str());
        else if (GTK_IS_BUTTON(widget)) gtk_button_set_label(GTK_BUTTON(widget), c.text.c_str());
      }
      if (GTK_IS_TOGGLE_BUTTON(widget) && gtk_toggle_button_get_active(GTK_TOGGLE_BUTTON(widget)) != item.checked) {
        // A radio button cannot be cleared directly, only by checking another of its group.
        if (item.checked || !GTK_IS_RADIO_BUTTON(widget)) gtk_toggle_button_set_active(GTK_TOGGLE_BUTTON(widget), item.checked);
      }
      if (item.enabled != c.enabled || !c.enabled) {
        c.enabled = item.enabled;
        gtk_widget_set_sensitive(widget, item.enabled);
      }
      const PixelRect r = placed(item);
      if (!(r == c.rect)) {
        c.rect = r;
        gtk_widget_set_size_request(widget, r.width, r.height);
        gtk_fixed_move(GTK_FIXED(fixed_), widget, r.x, r.y);
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
    c->position = c->item->position;
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
  DialogServices::Procedure procedure_;
  GtkWidget* window_ = nullptr;
  GtkWidget* fixed_ = nullptr;
  GMainLoop* loop_ = nullptr;
  std::vector<Control> controls_;
  bool syncing_ = false;
  int32_t windowX_ = 0, windowY_ = 0;  // where the procedure last placed the window
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
  DialogBox box(*t, measuredDialogBaseUnits(), &gtkDialogServices());
  GtkDialogView view(box, std::move(procedure));
  return view.run(parent, ownerWindow);
}

// A file chooser of a size that fits a small screen, centred over its owner.
void fitChooser(GtkWidget* widget, gpointer) {
  constexpr int kWidth = 720, kHeight = 480;
  GtkWindow* window = GTK_WINDOW(widget);
  gtk_window_resize(window, kWidth, kHeight);
  GdkRectangle screen{0, 0, kWidth, kHeight};
  if (GdkMonitor* monitor = gdk_display_get_monitor_at_window(gtk_widget_get_display(widget), gtk_widget_get_window(widget)))
    gdk_monitor_get_geometry(monitor, &screen);
  int x = screen.x, y = screen.y, width = screen.width, height = screen.height;
  if (GtkWindow* owner = gtk_window_get_transient_for(window)) {
    gtk_window_get_position(owner, &x, &y);
    gtk_window_get_size(owner, &width, &height);
  }
  gtk_window_move(window, std::max(0, x + (width - kWidth) / 2), std::max(0, y + (height - kHeight) / 2));
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
    // It opens in the working folder, as the system's file dialog does.
    if (gchar* folder = g_get_current_dir()) {
      gtk_file_chooser_set_current_folder(GTK_FILE_CHOOSER(chooser), folder);
      g_free(folder);
    }
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

}  // namespace

bool dialogToolkitAvailable() { return ensureToolkit(); }

DialogBaseUnits measuredDialogBaseUnits() {
  DialogBaseUnits units;
  if (!ensureToolkit()) return units;
  PangoContext* context = gdk_pango_context_get();
  PangoLayout* layout = pango_layout_new(context);
  PangoFontDescription* font = pango_font_description_from_string(kDialogFont);
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

DialogServices& gtkDialogServices() {
  static GtkServices services;
  return services;
}

intptr_t runModalDialog(int32_t templateId, DialogServices::Procedure procedure, int64_t ownerWindow) {
  return runTemplate(templateId, std::move(procedure), nullptr, ownerWindow);
}

}  // namespace platform

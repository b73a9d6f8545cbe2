#include "pages/run_area.h"

#include "installer.h"
#include "pages/agreement_page.h"
#include "pages/page_kit.h"
#include "resources/utf8_text.h"

namespace {

// Between the agreement and a message below it.
constexpr int kMessageGap = 10;
// The details, unfolded, show this many pixels of lines.
constexpr int kDetailsHeight = 110;

gboolean pulse(gpointer bar)
{
    gtk_progress_bar_pulse(GTK_PROGRESS_BAR(bar));
    return TRUE;
}

void stopPulsing()
{
    InstallerState& s = installerState;
    if (s.pulsing)
        g_source_remove(s.pulsing);
    s.pulsing = 0;
}

// Scrolls the details to their last line, once GTK has measured their lines.
void followEnd()
{
    GtkTextView* view = GTK_TEXT_VIEW(installerState.details_view);
    GtkTextBuffer* buffer = gtk_text_view_get_buffer(view);
    GtkTextMark* end = gtk_text_buffer_get_mark(buffer, "end");
    if (!end) {
        GtkTextIter last;
        gtk_text_buffer_get_end_iter(buffer, &last);
        end = gtk_text_buffer_create_mark(buffer, "end", &last, FALSE);
    }
    gtk_text_view_scroll_to_mark(view, end, 0, FALSE, 0, 0);
}

// Unfolded or folded, the details take another height: the agreement gives or takes it.
// GTK shows or hides the details' text only once the expander's arrow has turned: here,
// at once, so that it is measured as it will be.
void detailsFolded(GObject* expander, GParamSpec* /*property*/, gpointer /*data*/)
{
    gtk_widget_set_child_visible(gtk_bin_get_child(GTK_BIN(expander)),
                                 gtk_expander_get_expanded(GTK_EXPANDER(expander)));
    gtk_widget_queue_resize(GTK_WIDGET(expander));
    shareAgreementHeight();
    followEnd();
}

void packDetails()
{
    InstallerState& s = installerState;
    s.details = gtk_expander_new(s.str_detailsLabel);
    g_signal_connect(s.details, "notify::expanded", G_CALLBACK(detailsFolded), nullptr);
    gtk_box_pack_start(GTK_BOX(s.vbox), s.details, FALSE, TRUE, 0);
    gtk_widget_set_no_show_all(s.details, TRUE);
    GtkWidget* scrolled = gtk_scrolled_window_new(nullptr, nullptr);
    gtk_scrolled_window_set_policy(GTK_SCROLLED_WINDOW(scrolled), GTK_POLICY_AUTOMATIC,
                                   GTK_POLICY_AUTOMATIC);
    gtk_scrolled_window_set_shadow_type(GTK_SCROLLED_WINDOW(scrolled), GTK_SHADOW_IN);
    gtk_widget_set_size_request(scrolled, contentWidth(), px(kDetailsHeight));
    gtk_container_add(GTK_CONTAINER(s.details), scrolled);
    GtkWidget* view = gtk_text_view_new();
    gtk_text_view_set_editable(GTK_TEXT_VIEW(view), FALSE);
    gtk_text_view_set_accepts_tab(GTK_TEXT_VIEW(view), FALSE);
    gtk_text_view_set_wrap_mode(GTK_TEXT_VIEW(view), GTK_WRAP_WORD_CHAR);
    gtk_container_add(GTK_CONTAINER(scrolled), view);
    gtk_widget_show_all(scrolled);
    s.details_view = view;
    // A label wider than the window wraps beside the expander's arrow.
    GtkWidget* label = gtk_expander_get_label_widget(GTK_EXPANDER(s.details));
    GtkRequisition expander;
    GtkRequisition text;
    gtk_widget_size_request(s.details, &expander);
    gtk_widget_size_request(label, &text);
    if (expander.width > contentWidth())
        wrapLabel(label, contentWidth() - (expander.width - text.width));
    relate(view, ATK_RELATION_LABELLED_BY, label, ATK_RELATION_LABEL_FOR);
}

}  // namespace

void packRunArea()
{
    InstallerState& s = installerState;
    s.message = gtk_label_new(nullptr);
    gtk_box_pack_start(GTK_BOX(s.vbox), s.message, FALSE, TRUE, 0);
    gtk_misc_set_alignment(GTK_MISC(s.message), 0.0, 1.0);
    gtk_widget_set_no_show_all(s.message, TRUE);
    // Screen readers speak a notification as it is shown, wherever their focus is; a
    // label's new text they leave unsaid.
    atk_object_set_role(gtk_widget_get_accessible(s.message), ATK_ROLE_NOTIFICATION);
    s.progress = gtk_progress_bar_new();
    gtk_box_pack_start(GTK_BOX(s.vbox), s.progress, FALSE, TRUE, 0);
    gtk_widget_set_no_show_all(s.progress, TRUE);
    packDetails();
}

void showAgreementMessage(const std::string& text)
{
    InstallerState& s = installerState;
    gtk_widget_hide(s.message);  // shown anew, so that the message is spoken
    gtk_label_set_text(GTK_LABEL(s.message), text.c_str());
    wrapLabel(s.message, contentWidth());
    GtkRequisition size;
    gtk_widget_size_request(s.message, &size);
    gtk_widget_set_size_request(s.message, size.width, size.height + px(kMessageGap));
    gtk_widget_show(s.message);
    shareAgreementHeight();
}

void showAgreementProgress(bool shown)
{
    InstallerState& s = installerState;
    stopPulsing();
    gtk_progress_bar_set_text(GTK_PROGRESS_BAR(s.progress), nullptr);
    if (shown)
        s.pulsing = g_timeout_add(100, pulse, s.progress);
    gtk_widget_set_visible(s.progress, shown);
    shareAgreementHeight();
}

void setAgreementProgress(double fraction, const std::string& text)
{
    InstallerState& s = installerState;
    stopPulsing();
    gtk_progress_bar_set_fraction(GTK_PROGRESS_BAR(s.progress), fraction);
    gtk_progress_bar_set_text(GTK_PROGRESS_BAR(s.progress), text.empty() ? nullptr : text.c_str());
}

void appendAgreementDetails(std::string_view line)
{
    InstallerState& s = installerState;
    GtkTextBuffer* buffer = gtk_text_view_get_buffer(GTK_TEXT_VIEW(s.details_view));
    GtkTextIter end;
    gtk_text_buffer_get_end_iter(buffer, &end);
    const std::string text = toValidUtf8(line, line.size() * 3) + "\n";
    gtk_text_buffer_insert(buffer, &end, text.c_str(), static_cast<gint>(text.size()));
    followEnd();
    if (!gtk_widget_get_visible(s.details)) {
        gtk_widget_show(s.details);
        shareAgreementHeight();
    }
}

void clearAgreementDetails()
{
    InstallerState& s = installerState;
    gtk_text_buffer_set_text(gtk_text_view_get_buffer(GTK_TEXT_VIEW(s.details_view)), "", 0);
    gtk_widget_hide(s.details);
    shareAgreementHeight();
}

// The pages in a real window under the X server named by DISPLAY.

#include "pages/agreement_page.h"
#include "pages/installation_run.h"
#include "support.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

constexpr int kBorder = 15;

void settle()
{
    for (int round = 0; round < 20; ++round) {
        while (gtk_events_pending())
            gtk_main_iteration();
        gdk_window_process_all_updates();
        gdk_flush();
        g_usleep(5000);
    }
}

GtkAllocation allocationOf(GtkWidget* widget)
{
    GtkAllocation a;
    gtk_widget_get_allocation(widget, &a);
    return a;
}

std::vector<GtkWidget*> childrenOf(GtkWidget* container)
{
    GList* list = gtk_container_get_children(GTK_CONTAINER(container));
    std::vector<GtkWidget*> children;
    for (GList* item = list; item; item = item->next)
        children.push_back(GTK_WIDGET(item->data));
    g_list_free(list);
    return children;
}

std::string labelOf(GtkWidget* button)
{
    return gtk_button_get_label(GTK_BUTTON(button));
}

// The pixels the X server shows where `widget` stands in the main window, as RGB bytes.
std::string pixelsOf(GtkWidget* widget)
{
    GtkWidget* window = installerState.window;
    const GtkAllocation a = allocationOf(widget);
    int x = 0, y = 0;
    gtk_widget_translate_coordinates(widget, window, 0, 0, &x, &y);
    GdkPixbuf* shot = gdk_pixbuf_get_from_drawable(nullptr, window->window, nullptr, x, y, 0, 0, a.width, a.height);
    if (!shot)
        return "<outside the window>";
    std::string bytes;
    for (int row = 0; row < a.height; ++row)
        bytes.append(reinterpret_cast<const char*>(gdk_pixbuf_get_pixels(shot)) + row * gdk_pixbuf_get_rowstride(shot),
                     static_cast<std::size_t>(a.width) * 3);
    g_object_unref(shot);
    return bytes;
}

struct Texts {
    const char* title = "Example Setup";
    const char* notice = "Please read the agreement.";
    const char* check = "I accept the agreement";
    const char* install = "Install";
    const char* finish = "Installation complete";
    const char* done = "Done";
    const char* agreement = "The agreement text.\n";
};

class Pages : public testing::Test {
protected:
    void SetUp() override
    {
        const fs::path bin = dir.path / "bin";
        writeFile(bin / "pkexec", "#!/bin/sh\nprintf '%s\\0' \"$@\" >> \"$STUB_LOG\"\nexit \"$STUB_EXIT\"\n");
        fs::permissions(bin / "pkexec", fs::perms::owner_all);
        setenv("PATH", (bin.string() + ":" + std::getenv("PATH")).c_str(), 1);
        setenv("STUB_LOG", (dir.path / "argv").c_str(), 1);
    }

    void TearDown() override
    {
        if (installerState.window) {
            g_signal_handlers_disconnect_by_func(installerState.window, gpointer(destroy), nullptr);
            gtk_widget_destroy(installerState.window);
            settle();
        }
    }

    void show(const Texts& t = {})
    {
        InstallerState& s = installerState;
        g_strlcpy(s.str_processName, t.title, kTextBufferSize);
        g_strlcpy(s.str_noticeLabel, t.notice, kTextBufferSize);
        g_strlcpy(s.str_checkButton, t.check, kTextBufferSize);
        g_strlcpy(s.str_installButton, t.install, kTextBufferSize);
        g_strlcpy(s.str_finishLabel, t.finish, kTextBufferSize);
        g_strlcpy(s.str_doneButton, t.done, kTextBufferSize);
        s.licenseDataSize = static_cast<std::int32_t>(std::strlen(t.agreement));
        s.licenseData.reset(new char[s.licenseDataSize]);
        std::memcpy(s.licenseData.get(), t.agreement, s.licenseDataSize);
        g_strlcpy(s.rpmPath, "'/pkgs/a b_i386.deb' ", kTextBufferSize);
        initAndShowInstallWindow();
        settle();
    }

    // Presses Install with pkexec exiting `code`; returns what the installer printed.
    std::string install(int code)
    {
        setenv("STUB_EXIT", std::to_string(code).c_str(), 1);
        testing::internal::CaptureStdout();
        gtk_button_clicked(GTK_BUTTON(installerState.gButton));
        settle();
        return testing::internal::GetCapturedStdout();
    }

    void tick()
    {
        gtk_button_clicked(GTK_BUTTON(installerState.check_button));
        settle();
    }

    WorkDir dir;
};

// The three rows fill the 390-pixel content area; Install's right edge is at 470.
void expectAgreementGeometry()
{
    const InstallerState& s = installerState;
    const GtkAllocation window = allocationOf(s.window), notice = allocationOf(s.label),
                        text = allocationOf(s.scrolled_window), row = allocationOf(s.fixed),
                        install = allocationOf(s.gButton), check = allocationOf(s.check_button);
    EXPECT_EQ(window.width, 500);
    EXPECT_EQ(window.height, 420);
    EXPECT_EQ(notice.y, kBorder);
    EXPECT_EQ(notice.height + text.height + row.height, 390);
    EXPECT_EQ(text.width, 470);
    EXPECT_EQ(row.height, 15 + install.height);
    EXPECT_EQ(install.x + install.width, kBorder + 470);
    EXPECT_GE(install.width, 50);
    EXPECT_EQ(install.y, row.y + 15);
    EXPECT_EQ(check.x, kBorder);
    EXPECT_LE(std::abs((check.y * 2 + check.height) - (install.y * 2 + install.height)), 2);
    EXPECT_EQ(text.height, 360 - (notice.height - 15) - install.height);
}

TEST_F(Pages, AgreementPageGeometry)
{
    for (const char* label : {"", "OK", "Install", "Install the software on this computer"}) {
        SCOPED_TRACE(label);
        Texts texts;
        texts.install = label;
        show(texts);
        expectAgreementGeometry();
        const GtkAllocation install = allocationOf(installerState.gButton);
        if (!*label)
            EXPECT_EQ(install.x, kBorder + 420);
        if (label[0] == 'I' && label[7])
            EXPECT_GT(install.width, 50);
        TearDown();
        installerState = {};
    }
}

// Wide enough for one line in the default font, but two at 12 points: measured outside
// the window, the notice would be one line short and drawn clipped.
TEST_F(Pages, NoticeMeasuredInTheFontItIsDrawnWith)
{
    const char* notice = "Please read this license agreement carefully before you install it.";
    GtkWidget* loose = gtk_label_new(notice);
    gtk_label_set_line_wrap(GTK_LABEL(loose), TRUE);
    gtk_widget_set_size_request(loose, 470, -1);
    GtkRequisition unused;
    gtk_widget_size_request(loose, &unused);
    ASSERT_EQ(pango_layout_get_line_count(gtk_label_get_layout(GTK_LABEL(loose))), 1);
    g_object_ref_sink(loose);
    g_object_unref(loose);

    Texts texts;
    texts.notice = notice;
    show(texts);
    PangoLayout* drawn = gtk_label_get_layout(GTK_LABEL(installerState.label));
    int width = 0, height = 0;
    pango_layout_get_pixel_size(drawn, &width, &height);
    EXPECT_EQ(pango_layout_get_line_count(drawn), 2);
    EXPECT_EQ(allocationOf(installerState.label).height, height + 15);
    EXPECT_LE(width, 470);
    expectAgreementGeometry();
}

TEST_F(Pages, VeryTallNoticeLeavesTheAgreementVisible)
{
    std::string notice;
    for (int line = 0; line < 40; ++line)
        notice += "Line of the notice\n";
    Texts texts;
    texts.notice = notice.c_str();
    show(texts);
    EXPECT_EQ(allocationOf(installerState.scrolled_window).height, 60);
}

TEST_F(Pages, ShowsTheTextsInACentredFixedWindow)
{
    Texts texts;
    texts.agreement = "Vereinbarung f\xc3\xbcr \xe2\x80\x9eSoftware\xe2\x80\x9c\nZeile zwei\n";
    show(texts);
    const InstallerState& s = installerState;
    EXPECT_STREQ(gtk_window_get_title(GTK_WINDOW(s.window)), "Example Setup");
    EXPECT_STREQ(gtk_label_get_text(GTK_LABEL(s.label)), "Please read the agreement.");
    EXPECT_EQ(labelOf(s.check_button), "I accept the agreement");
    EXPECT_EQ(labelOf(s.gButton), "Install");
    GtkTextIter start, end;
    gtk_text_buffer_get_bounds(s.text_buffer, &start, &end);
    gchar* shown = gtk_text_buffer_get_text(s.text_buffer, &start, &end, FALSE);
    EXPECT_STREQ(shown, texts.agreement);
    g_free(shown);
    EXPECT_FALSE(gtk_text_view_get_editable(GTK_TEXT_VIEW(s.text_view)));
    EXPECT_FALSE(gtk_text_view_get_cursor_visible(GTK_TEXT_VIEW(s.text_view)));
    EXPECT_EQ(gtk_text_view_get_wrap_mode(GTK_TEXT_VIEW(s.text_view)), GTK_WRAP_WORD);
    EXPECT_FALSE(gtk_window_get_resizable(GTK_WINDOW(s.window)));
    int x = 0, y = 0;
    gdk_window_get_origin(s.window->window, &x, &y);
    EXPECT_EQ(x, (gdk_screen_width() - 500) / 2);
    EXPECT_EQ(y, (gdk_screen_height() - 420) / 2);
}

// A long agreement reaches the view in slices once the window is up; all of it arrives,
// unbroken, even where a slice would have ended inside a character.
TEST_F(Pages, LongAgreementArrivesWhole)
{
    std::string agreement;
    while (agreement.size() < 700 * 1024)
        agreement += "Lizenzvereinbarung f\xc3\xbcr \xe2\x80\x9eSoftware\xe2\x80\x9c \xf0\x9f\x93\x84\n";
    Texts texts;
    texts.agreement = agreement.c_str();
    show(texts);
    GtkTextIter start, end;
    gtk_text_buffer_get_bounds(installerState.text_buffer, &start, &end);
    gchar* shown = gtk_text_buffer_get_text(installerState.text_buffer, &start, &end, FALSE);
    EXPECT_TRUE(shown == agreement) << std::strlen(shown) << " of " << agreement.size() << " bytes shown";
    g_free(shown);
}

TEST_F(Pages, InstallFollowsTheCheckBox)
{
    show();
    const InstallerState& s = installerState;
    EXPECT_FALSE(gtk_toggle_button_get_active(GTK_TOGGLE_BUTTON(s.check_button)));
    EXPECT_FALSE(gtk_widget_is_sensitive(s.gButton));
    tick();
    EXPECT_TRUE(gtk_widget_is_sensitive(s.gButton));
    EXPECT_EQ(gtk_window_get_focus(GTK_WINDOW(s.window)), s.gButton);
    tick();
    EXPECT_FALSE(gtk_widget_is_sensitive(s.gButton));
}

// The check box must be drawn where it stands on the button row.
TEST_F(Pages, CheckBoxIsDrawnOnTheButtonRow)
{
    show();
    const std::string unticked = pixelsOf(installerState.check_button);
    bool uniform = true;
    for (std::size_t i = 3; i < unticked.size(); i += 3)
        uniform = uniform && unticked.compare(i, 3, unticked, 0, 3) == 0;
    EXPECT_FALSE(uniform) << "nothing drawn where the check box stands";
    tick();
    EXPECT_TRUE(pixelsOf(installerState.check_button) != unticked) << "ticking changed nothing on screen";
}

TEST_F(Pages, FailedInstallLeavesThePageAsItWas)
{
    show();
    tick();
    EXPECT_EQ(install(1), "system return 256\n");
    const InstallerState& s = installerState;
    EXPECT_EQ(gtk_bin_get_child(GTK_BIN(s.window)), s.vbox);
    EXPECT_TRUE(gtk_widget_is_sensitive(s.gButton));
    EXPECT_EQ(gtk_window_get_focus(GTK_WINDOW(s.window)), s.gButton);
    EXPECT_EQ(install(1), "system return 256\n");
    installerState.rpmPath[0] = '\0';  // no package found: "dpkg -i" alone
    EXPECT_EQ(install(2), "system return 512\n");
    EXPECT_EQ(nulFields(readFile(dir.path / "argv")),
              (std::vector<std::string>{"dpkg", "-i", "/pkgs/a b_i386.deb", "dpkg", "-i", "/pkgs/a b_i386.deb", "dpkg",
                                        "-i"}));
    expectAgreementGeometry();
}

TEST_F(Pages, SuccessfulInstallShowsTheFinishedPage)
{
    for (const char* done : {"", "Close this window now"}) {
        SCOPED_TRACE(done);
        Texts texts;
        texts.done = done;
        show(texts);
        tick();
        GtkWidget* oldPage = installerState.vbox;
        g_object_add_weak_pointer(G_OBJECT(oldPage), reinterpret_cast<gpointer*>(&oldPage));
        EXPECT_EQ(install(0), "system return 0\n");
        EXPECT_EQ(oldPage, nullptr);

        GtkWidget* window = installerState.window;
        const std::vector<GtkWidget*> rows = childrenOf(gtk_bin_get_child(GTK_BIN(window)));
        ASSERT_EQ(rows.size(), 2u);
        GtkWidget* label = rows[0];
        GtkWidget* button = childrenOf(rows[1]).at(0);
        const GtkAllocation text = allocationOf(label), row = allocationOf(rows[1]), b = allocationOf(button);
        EXPECT_EQ(allocationOf(window).width, 500);
        EXPECT_EQ(allocationOf(window).height, 420);
        EXPECT_STREQ(gtk_window_get_title(GTK_WINDOW(window)), "Example Setup");
        EXPECT_EQ(b.x + b.width, kBorder + 470);
        EXPECT_GE(b.width, 50);
        EXPECT_EQ(b.y, row.y + 15);
        EXPECT_EQ(text.width, 470);
        EXPECT_EQ(text.height, 375 - b.height);
        EXPECT_EQ(text.height + row.height, 390);
        EXPECT_STREQ(gtk_label_get_text(GTK_LABEL(label)), "Installation complete");
        EXPECT_EQ(labelOf(button), done);
        EXPECT_EQ(pango_font_description_get_size(gtk_widget_get_style(label)->font_desc), 26 * PANGO_SCALE);
        float xalign = 0, yalign = 0;
        gtk_misc_get_alignment(GTK_MISC(label), &xalign, &yalign);
        EXPECT_EQ(xalign, 0.5f);
        EXPECT_EQ(yalign, 0.5f);
        EXPECT_EQ(gtk_window_get_focus(GTK_WINDOW(window)), button);

        // Done ends the main loop.
        g_idle_add(
            [](gpointer b) {
                gtk_button_clicked(GTK_BUTTON(b));
                return FALSE;
            },
            button);
        const guint guard = g_timeout_add_seconds(
            5,
            [](gpointer) {
                ADD_FAILURE() << "Done did not quit";
                gtk_main_quit();
                return FALSE;
            },
            nullptr);
        gtk_main();
        g_source_remove(guard);
        TearDown();
        installerState = {};
    }
}

}  // namespace

int main(int argc, char** argv)
{
    testing::InitGoogleTest(&argc, argv);
    gtk_init(&argc, &argv);
    // A critical from GTK means the program misused it (a bad size, a wrong type).
    g_log_set_always_fatal(static_cast<GLogLevelFlags>(G_LOG_LEVEL_CRITICAL | G_LOG_LEVEL_WARNING));
    return RUN_ALL_TESTS();
}

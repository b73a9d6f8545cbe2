#include "installer.h"

InstallerState installerState;

void destroy(GtkWidget* /*widget*/, gpointer /*data*/)
{
    gtk_main_quit();
}

gboolean delete_event(GtkWidget* /*widget*/, GdkEvent* /*event*/, gpointer /*data*/)
{
    g_print("delete event occurred\n");
    return FALSE;
}

#include "installer.h"

InstallerState installerState;

void destroy(GtkWidget*, gpointer)
{
    gtk_main_quit();
}

gboolean delete_event(GtkWidget*, GdkEvent*, gpointer)
{
    g_print("delete event occurred\n");
    return FALSE;
}

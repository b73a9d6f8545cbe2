#include "installer.h"
#include "pages/agreement_page.h"
#include "resources/locale_resources.h"
#include "resources/package_discovery.h"

int main(int argc, char* argv[])
{
    prepareProcess();
    initialzeLocalStrings();
    gtk_init(&argc, &argv);
    initRPMPath();
    initAndShowInstallWindow();
    gtk_main();
    return 0;
}

#pragma once

// Fills the main window with the finished page: the finish text and a focused Done.
void initAndshowInstallSucceededWindow();

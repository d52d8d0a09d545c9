#include "Texts.h"

//: Accepts a song request (a button and a notification action).
QString Texts::approve() { return tr("Approve"); }
//: Turns a song request down (a button and a notification action).
QString Texts::reject() { return tr("Reject"); }
//: Opens the panel from the tray menu or a notification.
QString Texts::openApp() { return tr("Open Cuelark"); }
//: Ends the program (the panel's button and the tray menu).
QString Texts::quit() { return tr("Quit"); }
//: The title of the desktop notification for a request that just arrived.
QString Texts::newSongRequest() { return tr("New song request"); }

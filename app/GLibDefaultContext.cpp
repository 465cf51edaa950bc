#include "GLibDefaultContext.h"

#include <QByteArray>
#include <QList>
#include <QtGlobal>

namespace {

// The desktops on which Qt would load its GTK 3 theme, whose GDK event source then lands on
// GLib's default context: the readers' context.
bool QtWouldChooseGtkTheme() {
  const QByteArray desktops = qgetenv("XDG_CURRENT_DESKTOP").toLower();
  for (const char* gtkDesktop :
       {"gnome", "unity", "x-cinnamon", "cinnamon", "xfce", "mate", "pantheon", "budgie", "lxde"}) {
    for (const QByteArray& desktop : desktops.split(':')) {
      if (desktop == gtkDesktop) return true;
    }
  }
  return false;
}

}  // namespace

void LeaveGLibDefaultContextToReaders() {
  qputenv("QT_NO_GLIB", "1");
  // Qt's built-in GNOME theme is what Qt falls back to there without the GTK plugin: the same
  // fonts and dialogs' button order, without GTK. Qt tries every theme plugin its desktop list
  // names before any built-in theme, so the desktop is hidden from it too (this process starts
  // no desktop programs that would miss it). A theme the user chose is kept.
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORMTHEME") && QtWouldChooseGtkTheme()) {
    qputenv("QT_QPA_PLATFORMTHEME", "gnome");
    qputenv("XDG_CURRENT_DESKTOP", "Tessiva");
  }
}

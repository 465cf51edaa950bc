#include "GLibDefaultContext.h"

#include <QByteArray>
#include <QtGlobal>

void LeaveGLibDefaultContextToReaders() { qputenv("QT_NO_GLIB", "1"); }

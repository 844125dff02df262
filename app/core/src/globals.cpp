#include "core/globals.h"

#include "core/files.h"

VbBool gfChanged = vbFalse;
VbBool gintLogMode = vbFalse;
VbBool gfCancel = vbFalse;
std::string gstrDataPath = gfnsAppPath();
VbBool gfAnsRec = vbFalse;
VbBool gfServiceMode = vbFalse;
VbBool gfBrandMode = vbFalse;

// The launcher's one application object. Its construction (before the
// program's entry) installs the crash-dump filter; the frame's start then
// runs it.
#include "launcher/halvora_app.h"

CHalvoraApp theApp;

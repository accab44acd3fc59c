// The whole of our MFC stand-in in one include, for modules written the
// MFC way (afxwin.h's place).
#pragma once

#include "platform/mfc/c_string.h"
#include "platform/mfc/cmd_target.h"
#include "platform/mfc/data_exchange.h"
#include "platform/mfc/dialog.h"
#include "platform/mfc/dialog_ex.h"
#include "platform/mfc/message_box.h"
#include "platform/mfc/socket_init.h"
#include "platform/mfc/win_app.h"
#include "platform/mfc/wnd.h"

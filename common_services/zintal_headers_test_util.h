// Every public header of Zintal.dll, for the layout test.
#pragma once

#include "common_services/include/zintal/data_queue.h"
#include "common_services/include/zintal/get_msg_thread.h"
#include "common_services/include/zintal/html_brower.h"
#include "common_services/include/zintal/log.h"
#include "common_services/include/zintal/md5_encrypt.h"
#include "common_services/include/zintal/peek_msg_thread.h"
#include "common_services/include/zintal/service_thread.h"
#include "common_services/include/zintal/thread_lock.h"
#include "common_services/include/zintal/thread_lock_handle.h"
#include "common_services/include/zintal/web_browser.h"
#include "common_services/include/zintal/win_file_info.h"
#include "common_services/include/zintal/xor_encrypt.h"

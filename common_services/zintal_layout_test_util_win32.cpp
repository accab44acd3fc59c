// A caller of Zintal.dll that packs its own structures to 1 byte and
// includes the public headers under that setting, after the standard and
// system headers (which keep their own settings).
#define NOMINMAX  // as the headers themselves ask for <windows.h>
#define WIN32_LEAN_AND_MEAN
#include <ole2.h>
#include <windows.h>
#include <winver.h>

#include <atomic>
#include <cstdarg>
#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <new>
#include <string>
#include <thread>

#pragma pack(push, 1)
#include "common_services/zintal_headers_test_util.h"
#pragma pack(pop)

#include "common_services/zintal_layout_test_util.h"

std::vector<TypeLayout> LayoutUnderPackOne() {
  return {Q_ZINTAL_EXPORTED_TYPES(Q_ZINTAL_TYPE_LAYOUT)};
}

// A caller of Zintal.dll that packs its own structures to 1 byte and
// includes the public headers under that setting.
#pragma pack(push, 1)
#include "common_services/zintal_headers_test_util.h"
#pragma pack(pop)

#include "common_services/zintal_layout_test_util.h"

std::vector<TypeLayout> LayoutUnderPackOne() {
  return {Q_ZINTAL_EXPORTED_TYPES(Q_ZINTAL_TYPE_LAYOUT)};
}

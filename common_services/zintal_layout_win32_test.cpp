// The layout of Zintal.dll's exported classes and records does not depend on
// the packing a caller has set when it includes the public headers.
#include <gtest/gtest.h>

#include "common_services/zintal_headers_test_util.h"
#include "common_services/zintal_layout_test_util.h"

namespace {

TEST(ZintalLayout, ACallerPackingToOneByteSeesTheLibrarysLayout) {
  const std::vector<TypeLayout> library = {Q_ZINTAL_EXPORTED_TYPES(Q_ZINTAL_TYPE_LAYOUT)};
  const std::vector<TypeLayout> packed = LayoutUnderPackOne();
  ASSERT_EQ(library.size(), packed.size());
  for (size_t i = 0; i < library.size(); ++i) {
    SCOPED_TRACE(library[i].name);
    EXPECT_EQ(packed[i].size, library[i].size);
    EXPECT_EQ(packed[i].align, library[i].align);
  }
}

}  // namespace

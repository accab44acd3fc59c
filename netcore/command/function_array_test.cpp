#include "netcore/command/function_array.h"

#include <gtest/gtest.h>

#include <memory>
#include <vector>

namespace {

struct Owner {
  std::vector<int> calls;  // the sub-ids handled, in order
  void OnAny(bs::CMD_base* cmd) { calls.push_back(cmd->subid); }
  void OnOther(bs::CMD_base* cmd) { calls.push_back(1000 + cmd->subid); }
};

TEST(FunctionArray, NineEntriesIgnoreSubidsOutsideAndEmptyEntries) {
  Owner owner;
  FunctionArray<Owner, 8> table;
  table.owner = &owner;
  EXPECT_EQ(table.count, 9);
  table.Register(8, &Owner::OnAny);
  table.Register(0, &Owner::OnAny);
  table.Register(9, &Owner::OnOther);  // outside: ignored
  table.Register(-1, &Owner::OnOther);

  for (uint16_t subid : {8, 9, 65535, 3, 0}) {
    bs::CMD_base cmd(77, subid);  // the kind is not looked at
    table.Dispatch(&cmd);
  }
  EXPECT_EQ(owner.calls, (std::vector<int>{8, 0}));
  table.Dispatch(nullptr);
}

TEST(FunctionArray, LaterRegistrationReplacesEarlier) {
  Owner owner;
  FunctionArray<Owner, 100> table;
  table.owner = &owner;
  EXPECT_EQ(table.count, 101);
  table.Register(100, &Owner::OnAny);
  table.Register(100, &Owner::OnOther);
  bs::CMD_base cmd(13, 100);
  table.Dispatch(&cmd);
  EXPECT_EQ(owner.calls, (std::vector<int>{1100}));
}

TEST(FunctionArray, HandlerMayReplaceItsOwnEntryWhileRunning) {
  Owner owner;
  FunctionArray<Owner, 8> table;
  table.owner = &owner;
  auto state = std::make_shared<int>(5);
  // The entry's captured state is freed when the entry is replaced; the
  // running call must still be able to use it.
  table.Register(2, [&table, state](Owner* o, bs::CMD_base* cmd) {
    table.Register(2, &Owner::OnOther);
    o->calls.push_back(*state);
  });
  std::weak_ptr<int> watch = state;
  state.reset();
  bs::CMD_base cmd(14, 2);
  table.Dispatch(&cmd);
  EXPECT_TRUE(watch.expired());
  table.Dispatch(&cmd);
  EXPECT_EQ(owner.calls, (std::vector<int>{5, 1002}));
}

}  // namespace

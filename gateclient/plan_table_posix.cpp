// The native tree has no game processes: a channel never opens, so no game
// is started and every forward is dropped. The registry's logic above the
// process layer builds and links the same way in both trees.
#include "gateclient/plan_table.h"

#include <unistd.h>

namespace bsc {

struct GameChannel {};

int32_t CurrentProcessIdForGames() { return int32_t(getpid()); }
std::string RunningProgramFolder() { return "./"; }
GameChannel* NewGameChannel() { return new GameChannel; }
void DeleteGameChannel(GameChannel* channel) { delete channel; }

bool PlanTable::OpenChannel() { return false; }
void PlanTable::SendOnChannel(const std::string&) {}
void PlanTable::CloseChannel() {}
bool PlanTable::StartProcess(const std::string&) { return false; }
bool PlanTable::WaitProcess(uint32_t, uint32_t*) { return true; }
void PlanTable::CloseProcessHandles() {}
void PlanTable::TerminateGame() {}

}  // namespace bsc

#include "gateclient/plan_table.h"

#include <chrono>
#include <cstdio>
#include <vector>

#include "gateclient/client_frame/client_frame.h"
#include "gateclient/client_frame/client_requests.h"
#include "gateclient/settings/gate_config.h"
#include "gateclient/settings/gate_log.h"
#include "netcore/command/gate_commands.h"
#include "netcore/port/platform.h"

namespace bsc {

namespace {

std::atomic<PlanManager*> g_planManager{nullptr};

// Longest single wait of a watcher for its game's end.
constexpr uint32_t kWatchWaitMs = 1000;

std::string Hex(const void* p) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%llx",
                static_cast<unsigned long long>(reinterpret_cast<uintptr_t>(p)));
  return buf;
}

}  // namespace

class PlanManager::HookAdapter final : public IGameRegistryHook {
 public:
  explicit HookAdapter(PlanManager& m) : m_(m) {}
  void OnLaunchCommand(bs::CMD_base* cmd, uint64_t planId, const TransferInfo& info) override {
    m_.OnLaunchCommand(cmd, planId, info);
  }
  void ForwardToPlan(bs::CMD_base* cmd, uint64_t planId, const TransferInfo& info) override {
    m_.ForwardToPlan(cmd, planId, info);
  }
  void ForwardToPlanOrAll(bs::CMD_base* cmd, uint64_t planId, const TransferInfo& info) override {
    m_.ForwardToPlanOrAll(cmd, planId, info);
  }
  void Broadcast(bs::CMD_base* netEvent) override { m_.Broadcast(netEvent); }

 private:
  PlanManager& m_;
};

// ---- PlanTable ----

PlanTable::PlanTable(PlanManager& owner) : owner_(owner) {}

PlanTable::~PlanTable() {
  CloseChannel();
  if (launchCmd_ != nullptr && launchCmd_->handler != nullptr) launchCmd_->handler->Release();
}

void PlanTable::Release() {
  if (references.fetch_sub(1) == 1) delete this;
}

bs::CMD_base* PlanTable::TakeLaunchCommand() {
  bs::CMD_base* c = launchCmd_;
  launchCmd_ = nullptr;
  return c;
}

bool PlanTable::Launch(bs::CMD_base* cmd, uint64_t id) {
  references.store(2);
  planId = id;
  if (cmd == nullptr) return false;
  GameEnv& env = owner_.Env();
  const int32_t processId = env.ProcessId();
  {
    std::unique_ptr<GameChannel> channel = env.OpenChannel(processId, planId, this);
    if (!channel) return false;
    std::lock_guard<std::mutex> lock(channelMutex_);
    channel_ = std::move(channel);
  }

  ClientFrame* frame = owner_.Frame();
  const int64_t userId =
      frame != nullptr ? int64_t(frame->Session().Login().lastLoginRsp.msg.user_id()) : 0;
  GameLaunch launch;
  if (!ComposeGameLaunch(*cmd, planId, processId, userId, owner_.CurrentGameTable(), &launch)) {
    CloseChannel();
    return false;
  }
  values = launch.values;
  joinFlag = launch.joinFlag;
  route = cmd->route;
  commandLine_ = launch.commandLine;
  QLOG(kLogLifeCycle, " 游戏启动参数:" + launch.secondParam +
                          ", planid=" + std::to_string(launch.planField) + ",name=" + launch.name);
  if (!launch.refusal.empty()) {
    // The gate names the program; only the game table's programs are run.
    QLOG(kLogError, "游戏未启动:" + launch.refusal + ",cmdline=" + launch.commandLine);
    CloseChannel();
    return false;
  }
  std::unique_ptr<GameProcess> process = env.StartProcess(commandLine_, env.ProgramFolder());
  const GameProcessInfo info = process ? process->Info() : GameProcessInfo();
  QLOG(kLogLifeCycle, "启动客户端:result=" + std::to_string(process ? 1 : 0) +
                          ",process = " + Hex(info.process) + ",thread=" + Hex(info.thread));
  if (!process) {
    CloseChannel();
    return false;
  }
  process_ = std::move(process);
  if (cmd->handler != nullptr) cmd->handler->AddRef();
  launchCmd_ = cmd;
  running.store(true);
  return true;
}

void PlanTable::StartWatcher(bool announce) {
  // The watcher may free this table and returns through the library after
  // KillAll stopped waiting for it: it holds the library until it is out.
  if (q_platform::StartDetachedThread([this, announce] { Watch(announce); })) return;
  QLOG(kLogError, "监视线程未启动:planid=" + std::to_string(planId));
  FinishWatch();
}

void PlanTable::Forward(bs::CMD_base* cmd, const TransferInfo& info) {
  const std::string record = BuildGameForward(cmd, info);
  std::lock_guard<std::mutex> lock(channelMutex_);
  // A closed channel's outgoing list is never written again: drop.
  if (channel_) channel_->Send(record);
}

void PlanTable::CloseChannel() {
  std::unique_ptr<GameChannel> channel;
  {
    std::lock_guard<std::mutex> lock(channelMutex_);
    channel = std::move(channel_);
  }
  // Outside the lock: closing joins the channel's worker, and forwards
  // (under the registry mutex) must not wait for that.
  if (channel) channel->Close();
}

void PlanTable::OnReceive(const char* data, int length) {
  Q_CHECK_BOUND_THREAD(channelWorker_, "channel worker");
  uint16_t kind = 0, subid = 0;
  std::string body;
  if (!ParseReturnRecord(data, length, &kind, &subid, &body)) return;
  bs::CMDNetwork_DataMessage msg;
  msg.header.kind = kind;
  msg.header.subid = subid;
  msg.body = std::move(body);
  owner_.SendCmd(&msg);
}

void PlanTable::Watch(bool announce) {
  Q_CHECK_BOUND_THREAD(watcher_, "watcher thread");
  while (running.load()) {
    uint32_t code = 0;
    // The end of the process wakes the wait; nothing else can end the watch
    // (running goes false only here, and Kill ends the process), so a short
    // poll would only cost an idle client its sleep.
    if (!process_->Wait(kWatchWaitMs, &code)) continue;
    GameProcessInfo info;
    {
      // KillAll uses the process under this lock: once it is gone here it
      // is never used again (a closed handle value may be reused).
      std::lock_guard<std::mutex> lock(owner_.Mutex());
      info = process_->Info();
      process_.reset();
    }
    QLOG(kLogLifeCycle, "程序现在应当退出了:" + std::to_string(code) +
                            ",process = " + Hex(info.process) + ",thread=" + Hex(info.thread));
    // The channel is closed here only, before running goes false, so a
    // later launch for this plan never closes it a second time.
    CloseChannel();
    running.store(false);
    if (announce) owner_.PostNotice(199);
  }
  FinishWatch();
}

void PlanTable::FinishWatch() {
  CloseChannel();
  running.store(false);
  {
    std::lock_guard<std::mutex> lock(doneMutex_);
    watcherDone_ = true;
  }
  doneCv_.notify_all();
  Release();  // may free this table: nothing below
}

bool PlanTable::WaitWatcherDone(uint32_t ms) {
  std::unique_lock<std::mutex> lock(doneMutex_);
  return doneCv_.wait_for(lock, std::chrono::milliseconds(ms), [this] { return watcherDone_; });
}

bool PlanTable::Kill() {
  if (!running.load() || !process_) return false;
  uint32_t code = 0;
  if (!process_->Wait(10, &code)) process_->Terminate(0);
  return true;
}

// ---- PlanManager ----

PlanManager::PlanManager() : PlanManager(Seams{}) {}

PlanManager::PlanManager(Seams seams)
    : seams_(std::move(seams)),
      env_(seams_.env != nullptr ? seams_.env : DefaultGameEnv()),
      hook_(new HookAdapter(*this)) {}

PlanManager::~PlanManager() {
  std::map<uint64_t, PlanTable*> tables;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    tables.swap(tables_);
  }
  // A game still running keeps its table (its watcher holds a reference and
  // uses the registry: the library never destroys it). An ended game's
  // watcher is at most in its last steps: once done, the map's reference
  // is the last one.
  for (auto& e : tables) {
    PlanTable* t = e.second;
    if (!t->Running() && t->WaitWatcherDone(3000)) t->Release();
  }
}

IGameRegistryHook* PlanManager::Hook() { return hook_.get(); }

PlanManager* PlanManager::Instance() { return g_planManager.load(); }

PlanManager* CreatePlanManager() {
  static std::mutex once;
  std::lock_guard<std::mutex> lock(once);
  if (g_planManager.load() == nullptr) g_planManager.store(new PlanManager());
  return g_planManager.load();
}

IGameRegistryHook* CreateGameRegistryHook() { return CreatePlanManager()->Hook(); }

void KillAllGames() {
  if (PlanManager* m = PlanManager::Instance()) m->KillAll();
}

ClientFrame* PlanManager::Frame() const { return seams_.frame ? seams_.frame() : GetClientFrame(); }

bool PlanManager::SendCmd(bs::CMD_base* cmd) {
  if (seams_.sendCmd) return seams_.sendCmd(cmd);
  ClientFrame* f = Frame();
  return f != nullptr && f->SendCmd(cmd);
}

void PlanManager::PostNotice(uint16_t code) {
  std::lock_guard<std::mutex> lock(noticeMutex_);
  if (noticesClosed_) return;
  if (seams_.notice) {
    seams_.notice(code);
    return;
  }
  // One notice path, the hall sink's. A session logged in elsewhere still
  // runs its games, and the lobby still hears of them.
  ClientFrame* f = Frame();
  if (IHallSinkHook* sink = f != nullptr ? f->HallSink() : nullptr) sink->PostLocalCommand(code);
}

GameTable PlanManager::CurrentGameTable() const {
  const QConfig* c = seams_.config ? seams_.config() : g_config;
  if (c == nullptr) return GameTable::Defaults();
  return GameTable::Build(c->exekind.value, c->exename.value, c->resfolder.value);
}

size_t PlanManager::TableCount() {
  std::lock_guard<std::mutex> lock(mutex_);
  return tables_.size();
}

void PlanManager::OnLaunchCommand(bs::CMD_base* cmd, uint64_t planId, const TransferInfo& info) {
  Q_CHECK_FRAME_JOB_THREAD(Frame());
  {
    std::lock_guard<std::mutex> lock(mutex_);
    auto it = tables_.find(planId);
    if (it != tables_.end()) {
      PlanTable* t = it->second;
      if (t->Running()) {
        t->Forward(cmd, info);
        return;
      }
      // Ended: its watcher has closed the channel (or is about to, holding
      // its own reference); only the map's reference goes here.
      tables_.erase(it);
      t->Release();
    }
  }
  if (cmd == nullptr) return;  // nothing decoded: forwarded only
  if (cmd->subid == bs::CMD_Match_MatchStart::kSubid &&
      dynamic_cast<bs::CMD_Match_MatchStart*>(cmd) != nullptr) {
    CreateAndLaunch(cmd, planId, info);
  } else if (cmd->subid == bs::CMD_Match_JoinRsp::kSubid &&
             dynamic_cast<bs::CMD_Match_JoinRsp*>(cmd) != nullptr) {
    HandleJoinRsp(cmd, planId, info);
  }
}

void PlanManager::HandleJoinRsp(bs::CMD_base* cmd, uint64_t planId, const TransferInfo& info) {
  const auto& m = static_cast<bs::CMD_Match_JoinRsp*>(cmd)->msg;
  if (m.field_6() && !m.withdraw() && int(m.result()) == 0) {
    CreateAndLaunch(cmd, planId, info);
    return;
  }
  if (ClientFrame* f = Frame()) {
    if (auto* detail = f->Session().FindMatchDetail(uint32_t(m.plan_id()))) {
      bs::hallclient::PlanSimpleInfo simple;
      if (simple.ParseFromString(detail->msg.buff_simple_info()) && simple.plan_type() == 10)
        return;
    }
  }
  if (int(m.result()) == 10 && m.field_7() != 0) {
    bs::CMD_Match_MayIBack2MP back;
    back.msg.set_field_1(uint32_t(m.plan_id()));
    back.msg.set_field_2(m.match_id());
    back.route.src_apptype = 15;
    back.route.src_appid = m.field_7();
    if (seams_.sendViaGate) {
      seams_.sendViaGate(back);
    } else if (ClientFrame* f = Frame()) {
      SendViaGate(*f, back);
    }
  }
}

void PlanManager::CreateAndLaunch(bs::CMD_base* cmd, uint64_t planId, const TransferInfo& info) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (closing_ || tables_.count(planId) != 0) return;
  }
  if (cmd->handler != nullptr) cmd->handler->AddRef();
  auto* table = new PlanTable(*this);
  if (table->Launch(cmd, planId)) {
    RegisterTable(table, info);
  } else {
    delete table;  // nothing runs: its channel closes with it
  }
  if (cmd->handler != nullptr) cmd->handler->Release();
}

void PlanManager::RegisterTable(PlanTable* table, TransferInfo) {
  Q_CHECK_FRAME_JOB_THREAD(Frame());
  bool refused = false;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    refused = closing_;
    if (!refused) tables_[table->PlanId()] = table;
  }
  if (refused) {
    // Close game began while this game was starting: KillAll has already
    // walked the map, so end the game here; the lobby never heard of it.
    QLOG(kLogLifeCycle, "关闭中,终止刚启动的游戏:planid=" + std::to_string(table->PlanId()));
    {
      std::lock_guard<std::mutex> lock(mutex_);
      table->Kill();
    }
    table->StartWatcher(false);
    table->WaitWatcherDone(3000);
    table->Release();  // the reference the map would have held
    return;
  }
  // The three records carry the commands themselves: with the rebuild flag
  // set the wrapper would be built from this empty record instead.
  TransferInfo fromCmd;
  fromCmd.rebuild = 0;
  ClientFrame* f = Frame();
  if (f != nullptr) {
    GateClientProc& session = f->Session();
    table->Forward(&session.Login().lastLoginRsp, fromCmd);
    if (auto* detail = session.FindMatchDetail(uint32_t(table->PlanId()))) {
      table->Forward(detail, fromCmd);
    } else {
      SendGetMatchDetailReq(*f, uint32_t(table->PlanId()), 0);
    }
  }
  if (bs::CMD_base* launch = table->TakeLaunchCommand()) {
    table->Forward(launch, fromCmd);
    if (launch->handler != nullptr) launch->handler->Release();
  }
  PostNotice(200);
  // Only now: a game that ends at once is announced as ended after it was
  // announced as registered.
  table->StartWatcher(true);
}

void PlanManager::ForwardToPlan(bs::CMD_base* cmd, uint64_t planId, const TransferInfo& info) {
  Q_CHECK_FRAME_JOB_THREAD(Frame());
  if (cmd != nullptr && cmd->kind == bs::kCmdKindHall &&
      cmd->subid == bs::CMD_Hall_GetMatchDetailRsp::kSubid) {
    if (auto* d = dynamic_cast<bs::CMD_Hall_GetMatchDetailRsp*>(cmd)) planId = d->msg.plan_id();
  }
  std::lock_guard<std::mutex> lock(mutex_);
  auto it = tables_.find(planId);
  if (it != tables_.end() && it->second->Running()) it->second->Forward(cmd, info);
}

void PlanManager::ForwardToPlanOrAll(bs::CMD_base* cmd, uint64_t planId, const TransferInfo& info) {
  Q_CHECK_FRAME_JOB_THREAD(Frame());
  bool all = planId == 0;
  if (cmd != nullptr && cmd->kind == bs::kCmdKindClient &&
      cmd->subid == bs::CMD_Client_LogoutRsp::kSubid) {
    if (auto* out = dynamic_cast<bs::CMD_Client_LogoutRsp*>(cmd)) {
      if (int(out->msg.logout_reason()) == 1) all = true;
    }
  }
  std::lock_guard<std::mutex> lock(mutex_);
  for (auto& e : tables_) {
    // Ended tables stay in the map until the next launch for their plan;
    // they get nothing.
    if ((all || e.first == planId) && e.second->Running()) e.second->Forward(cmd, info);
  }
}

void PlanManager::Broadcast(bs::CMD_base* cmd) {
  Q_CHECK_FRAME_JOB_THREAD(Frame());
  TransferInfo empty;
  std::lock_guard<std::mutex> lock(mutex_);
  for (auto& e : tables_) {
    if (e.second->Running()) e.second->Forward(cmd, empty);
  }
}

void PlanManager::Reserved7(int) {}

void PlanManager::KillAll() {
  std::vector<PlanTable*> killed;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    closing_ = true;
    for (auto& e : tables_) {
      PlanTable* t = e.second;
      if (t->Kill()) {
        t->references.fetch_add(1);  // keeps it while we wait for its watcher
        killed.push_back(t);
      }
    }
  }
  // Let the killed games' watchers post their exit notices while the job
  // thread still exists; after this the registry posts no more notices (the
  // caller stops the client frame next).
  for (PlanTable* t : killed) {
    t->WaitWatcherDone(3000);
    t->Release();
  }
  std::lock_guard<std::mutex> lock(noticeMutex_);
  noticesClosed_ = true;
}

}  // namespace bsc

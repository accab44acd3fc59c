#include "gateclient/client_frame/client_frame.h"

#include <cstdlib>
#include <mutex>
#include <thread>
#include <vector>

#include "gateclient/client_frame/client_requests.h"
#include "gateclient/settings/gate_config.h"
#include "gateclient/settings/gate_log.h"
#include "netcore/command/gate_cmd_factory.h"
#include "netcore/command/lambda_function.h"
#include "netcore/port/platform.h"

namespace bsc {

namespace {

constexpr int kFirstConnectDelayMs = 100;
constexpr int64_t kPulseSeconds = 15;

std::atomic<ClientFrame*> g_frame{nullptr};
std::mutex g_frameMutex;

int64_t SystemSeconds() { return q_platform::WallClockSeconds(); }

ClientFrame::Seams WithDefaults(ClientFrame::Seams s) {
  if (!s.makeAgent) s.makeAgent = [] { return CreateJobAgent(); };
  if (!s.nowSeconds) s.nowSeconds = &SystemSeconds;
  if (!s.tickCount) s.tickCount = &q_platform::TickCountMs;
  return s;
}

void Recode(const CBlowfish& cipher, bool encipher, std::string* body) {
  const std::vector<char> in(body->begin(), body->end());
  const std::vector<char> out = encipher ? cipher.Encrypt(in) : cipher.Decrypt(in);
  body->assign(out.begin(), out.end());
}

}  // namespace

bool StartClientFrame() {
  GetLogSinks();
  std::lock_guard<std::mutex> lock(g_frameMutex);
  if (g_frame.load() != nullptr) return false;
  auto* frame = new ClientFrame();
  g_frame.store(frame);
  return frame->Start();
}

ClientFrame* GetClientFrame() { return g_frame.load(); }

// --- network processor -------------------------------------------------

bool ClientFrame::ClientFrameNetworkProc::OnStart(int, IJobProcessPool* p) {
  pool = p;
  frame->jobThreadId_.store(std::this_thread::get_id());  // OnStart runs on the job thread
  return true;
}

void ClientFrame::ClientFrameNetworkProc::Process(bs::CMD_base* cmd, int) {
  Q_CHECK_FRAME_JOB_THREAD(frame);
  if (cmd == nullptr) return;
  if (cmd->kind == bs::kCmdKindNetwork) {
    frame->OnNetworkEvent(cmd);
  } else if (cmd->kind == bs::kCmdKindLocalHall) {
    if (IHallSinkHook* sink = frame->HallSink()) sink->DispatchCommand(cmd, 0);
  }
  // Any other kind (delayed jobs among them: they run when released) is
  // not ours.
}

void ClientFrame::ClientFrameNetworkProc::OnTimer(uint64_t, int) {
  Q_CHECK_FRAME_JOB_THREAD(frame);
  frame->OnTimerTick();
}

// --- life cycle ----------------------------------------------------------

ClientFrame::ClientFrame() : ClientFrame(Seams()) {}

ClientFrame::ClientFrame(Seams seams)
    : seams_(WithDefaults(std::move(seams))),
      random_(seams_.tickCount()),
      pacer_([this] { return seams_.tickCount(); }, [this] { return uint32_t(random_()); }),
      networkProc(this),
      session(*this) {
  jobThread = new KJobThread();
  networkProc.pool = jobThread;
}

ClientFrame::~ClientFrame() {
  Stop();
  if (jobThread != nullptr) jobThread->Release();  // never started
}

bool ClientFrame::Start() {
  if (shut_.load()) return true;
  session.Register();
  jobThread->AddProcessor(&networkProc, 0);
  jobThread->Start(0);
  if (!started) {
    GetLogSinks();
    IJobAgent* made = seams_.makeAgent();
    if (made != nullptr) made->Init(jobThread, 0, 0, 0, "", nullptr);
    {
      std::unique_lock<std::shared_mutex> guard(agentGuard_);
      agent = made;
    }
    started = true;
  }
  Reconnect(kFirstConnectDelayMs);
  return true;
}

void ClientFrame::Stop() {
  // From the job thread it would wait for its own end.
  Q_CHECK_THREAD(std::this_thread::get_id() != jobThreadId_.load(),
                 "owner thread (never the job thread)");
  if (stopCalled_.exchange(true)) return;
  shut_.store(true);  // SendCmd and Reconnect refuse from here on
  if (!started) return;
  KJobThread* job = nullptr;
  {
    // Waits for posters on other threads; later ones find no job thread.
    std::unique_lock<std::shared_mutex> guard(jobGuard_);
    job = jobThread;
    jobThread = nullptr;
  }
  job->Stop();
  IJobAgent* a = agent;
  // Stops the loop thread (no more posts into the job thread) and waits for
  // calls inside the agent; later calls are no-ops.
  if (a != nullptr) a->Shutdown();
  // Waits for the job thread's end, then frees it: no handler runs after this.
  job->Release();
  {
    // Waits for senders on other threads still inside the agent.
    std::unique_lock<std::shared_mutex> guard(agentGuard_);
    agent = nullptr;
  }
  if (a != nullptr) a->Release();
  connected.store(false);
  connecting.store(false);
  PublishLink(nullptr);
}

void ClientFrame::SetHooks(IGameRegistryHook* registry, IHallSinkHook* hallSink, LogPaneFn pane) {
  registry_.store(registry);
  hallSink_.store(hallSink);
  pane_.store(pane);
}

void ClientFrame::Pane(const std::string& text) {
  if (LogPaneFn pane = pane_.load()) pane(text);
}

const QConfig* ClientFrame::Config() const {
  const QConfig* c = config_.load();
  return c != nullptr ? c : g_config;
}

int ClientFrame::TimeDisconnSetting() const {
  const QConfig* c = Config();
  return c != nullptr ? c->timedisconn.value : 25;
}

int ClientFrame::SendPulseSetting() const {
  const QConfig* c = Config();
  return c != nullptr ? c->sendPulse.value : 1;
}

int ClientFrame::RobotSetting() const {
  const QConfig* c = Config();
  return c != nullptr ? c->robot.value : 0;
}

void ClientFrame::PublishLink(std::shared_ptr<const SendLink> link) {
  std::atomic_store(&link_, std::move(link));
}

void ClientFrame::PublishCipher(std::shared_ptr<const CBlowfish> cipher) {
  auto link = std::make_shared<SendLink>();
  link->connId = connId.load();
  link->cipher = std::move(cipher);
  PublishLink(std::move(link));
}

// --- connecting ----------------------------------------------------------

void ClientFrame::ReconnectJob(ClientFrame* frame) { frame->Reconnect(0); }

bool ClientFrame::OnJobThread() {
  std::shared_lock<std::shared_mutex> guard(jobGuard_);
  return MayActAsJobThread(jobThread);
}

bool ClientFrame::PostToJobThread(bs::CMD_base* cmd) {
  if (cmd == nullptr || shut_.load()) return false;
  std::shared_lock<std::shared_mutex> guard(jobGuard_);
  return jobThread != nullptr && jobThread->PostCommand(cmd) != 0;
}

int ClientFrame::Reconnect(int delayMs) {
  if (shut_.load()) return 0;
  // The connect state and its pacing belong to the job thread: a "now" from
  // another thread (the debug dialog) is handed to it like a delayed one.
  if (delayMs != 0 || std::this_thread::get_id() != jobThreadId_.load()) {
    auto* job = new bs::CMD_LambdaFunction<ClientFrame*>(&ReconnectJob,
                                                         static_cast<uint64_t>(delayMs), this);
    if (PostToJobThread(job)) return 1;
    job->done.store(true);  // never run off the job thread
    job->handler->Release();
    return 0;
  }
  if (stopped.load()) return 0;

  bs::CMDNetwork_ConnectTo connect;
  LogLines lines;
  if (seams_.pickAddress) {
    seams_.pickAddress(connect.host, connect.port);
  } else {
    ChooseGateAddress(connect.host, connect.port, &lines);
  }
  // A gate that keeps refusing is tried ever more seldom; its repeated
  // failures are logged once a minute with a count (ReconnectPacer).
  uint32_t muted = 0;
  tryLogged_ = pacer_.BeginTry(connect.host + ":" + std::to_string(connect.port), &muted);
  if (tryLogged_) {
    if (muted != 0) {
      QLOG(kLogLifeCycle, "重联gate 重复失败未记录:count=" + std::to_string(muted) +
                              ",address=" + connect.host + ",port=" + std::to_string(connect.port));
    }
    for (const auto& line : lines) QLOG(line.first, line.second);
  }
  connecting.store(true);
  {
    std::shared_lock<std::shared_mutex> guard(agentGuard_);
    if (agent != nullptr) agent->Process(&connect);
  }
  connId.store(connect.route.conn_id);
  if (tryLogged_) {
    QLOG(kLogLifeCycle, "重联gate ing,address=" + connect.host +
                            ",port=" + std::to_string(connect.port) +
                            ",connid=" + std::to_string(connect.route.conn_id));
  }
  if (connect.route.conn_id == 0) {
    // The connect could not even start, so no result will come: without
    // this the frame would wait for it for ever.
    connecting.store(false);
    RetryLater();
  }
  return 0;
}

void ClientFrame::RetryLater() {
  Q_CHECK_FRAME_JOB_THREAD(this);
  Reconnect(static_cast<int>(pacer_.NextDelayMs()));
}

void ClientFrame::Kick() {
  connected.store(false);
  connecting.store(false);
  bs::CMDNetwork_KickConnection kick;
  kick.route.conn_id = connId.load();
  PublishLink(nullptr);
  std::shared_lock<std::shared_mutex> guard(agentGuard_);
  if (agent != nullptr) agent->Process(&kick);
}

// --- receiving -------------------------------------------------------------

void ClientFrame::OnNetworkEvent(bs::CMD_base* cmd) {
  switch (cmd->subid) {
    case bs::kNetSubidConnectToRet: {
      auto* ret = dynamic_cast<bs::CMDNetwork_OnConnectToRet*>(cmd);
      if (ret == nullptr) return;
      connecting.store(false);
      connId.store(ret->route.conn_id);
      if (ret->ok) {
        auto link = std::make_shared<SendLink>();
        link->connId = ret->route.conn_id;
        PublishLink(std::move(link));
      }
      connected.store(ret->ok);
      if (ret->ok || tryLogged_) {
        QLOG(kLogLifeCycle, std::string("连接gate :") + (ret->ok ? "1" : "0") +
                                ",connid=" + std::to_string(ret->route.conn_id));
      }
      publisher.Process(cmd, 0);
      if (!ret->ok && !stopped.load()) RetryLater();
      break;
    }
    case bs::kNetSubidConnectionCome:
      lastReceive.store(NowSeconds());
      Pane("连接gate ok");
      session.OnConnect(cmd);
      SendHello(*this);
      if (IGameRegistryHook* registry = Registry()) registry->Broadcast(cmd);
      break;
    case bs::kNetSubidConnectionClose:
      connected.store(false);
      connecting.store(false);
      connId.store(0);
      PublishLink(nullptr);
      publisher.Process(cmd, 0);
      session.OnDisconnect(cmd);
      // 50 ms after a link that had logged in; paced like a failed try
      // after one that had not.
      if (!stopped.load()) RetryLater();
      break;
    case bs::kNetSubidDataMessage:
      if (auto* data = dynamic_cast<bs::CMDNetwork_DataMessage*>(cmd)) OnData(data);
      break;
    default:
      break;
  }
}

void ClientFrame::OnData(bs::CMDNetwork_DataMessage* cmd) {
  lastReceive.store(NowSeconds());
  if (cmd->header.kind != bs::kCmdKindGate) return;
  const bool helloAnswer = cmd->header.subid == bs::CMD_Gate_HelloRsp::kSubid;
  const LoginStat& login = session.Login();
  if (!helloAnswer && !login.cipherKey.empty() && login.cipher) {
    Recode(*login.cipher, false, &cmd->body);
  }
  bs::CMD_base* gateCmd = bs::CreateGateCmd(cmd->header.subid, cmd->body);
  if (gateCmd == nullptr) return;
  QLOG(kLogTraffic, "收到Gate报文:cmd_kind=" + std::to_string(gateCmd->kind) +
                        ",cmdid=" + std::to_string(gateCmd->subid) +
                        ",src_appid=" + std::to_string(gateCmd->route.src_appid) +
                        ",src_apptype=" + std::to_string(gateCmd->route.src_apptype));
  gateCmd->route = cmd->route;
  gateCmd->AttachDeleteHandler();
  session.OnGateCmd(gateCmd);
  gateCmd->handler->Release();
}

// --- sending ----------------------------------------------------------------

bool ClientFrame::SendCmd(bs::CMD_base* cmd) {
  if (cmd == nullptr || shut_.load()) return false;
  std::shared_lock<std::shared_mutex> guard(agentGuard_);
  return SendLocked(cmd);
}

bool ClientFrame::SendLocked(bs::CMD_base* cmd) {
  if (agent == nullptr || !connected.load()) return false;
  const std::shared_ptr<const SendLink> link = std::atomic_load(&link_);
  if (!link) return false;
  cmd->route.conn_id = link->connId;
  if (cmd->kind == bs::kCmdKindNetwork) {
    if (cmd->subid != bs::kNetSubidDataMessage) return false;
    if (link->cipher) Recode(*link->cipher, true, &cmd->body);
    agent->Process(cmd);
    return true;
  }
  if (cmd->kind == bs::kCmdKindGate) {
    Pane(">> gate 0,小类=" + std::to_string(cmd->subid) + "\n");
    bs::CMDNetwork_DataMessage data;
    if (!bs::EncodeGateCmd(cmd, &data)) return false;
    // The data command carries its own copy of the route; keep the id of
    // the link snapshot taken above.
    data.route.conn_id = link->connId;
    if (link->cipher) Recode(*link->cipher, true, &data.body);
    agent->Process(&data);
    return true;
  }
  return false;
}

// --- timer -------------------------------------------------------------------

void ClientFrame::OnTimerTick() {
  if (IHallSinkHook* sink = HallSink()) sink->OnFrameTimer();

  if (!connected.load() || connecting.load()) return;
  const int64_t now = NowSeconds();
  if (lastPulse.load() == 0) lastPulse.store(now);
  if (SendPulseSetting() == 0) return;
  const int64_t diff = now - lastPulse.load();
  if (diff < 0 || diff < kPulseSeconds) return;
  lastPulse.store(now);

  bs::CMD_Gate_PulseReq pulse;
  pulse.msg.set_my_speed(static_cast<uint32_t>(now));
  pulse.msg.set_speed_data(TickCount());
  SendCmd(&pulse);
  QLOG(kLogTraffic,
       " heart beat req: diff=" + std::to_string(diff) + ", time_now=" + std::to_string(now));

  const int64_t silence = now - lastReceive.load();
  if (silence >= static_cast<int64_t>(TimeDisconnSetting())) {
    QLOG(kLogLifeCycle, "判断认为客户端掉线了:diff=" + std::to_string(silence));
    Kick();
  }
}

}  // namespace bsc

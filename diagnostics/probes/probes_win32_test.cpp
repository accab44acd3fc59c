// The Windows probes under Wine: VARIANT conversions, the DirectX rule, the
// raw ICMP ping and its stop, the WMI connection and its stop.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <string>
#include <thread>

#include "diagnostics/probes/counting_locator_test_util.h"
#include "diagnostics/probes/icmp_socket.h"
#include "diagnostics/probes/machine_probes.h"
#include "diagnostics/probes/stop_signal.h"
#include "diagnostics/probes/wmi_session.h"

namespace {

TEST(MachineProbes, DirectXMajorByOsVersion) {
  EXPECT_EQ(DirectXMajor("4.09.00.0904", 5, 1), 9);
  EXPECT_EQ(DirectXMajor("4.09.00.0904", 6, 1), 11);
  EXPECT_EQ(DirectXMajor("4.09.00.0904", 6, 0), 10);
  EXPECT_EQ(DirectXMajor("4.08", 5, 1), 0);
  EXPECT_EQ(DirectXMajor("409", 5, 1), 0);
  std::string text;
  int major = GetDirectXVersion(&text);  // Wine's registry has the key
  EXPECT_FALSE(text.empty());
  EXPECT_GE(major, 9);
}

TEST(MachineProbes, VariantConversions) {
  _variant_t i4(long(-7));
  EXPECT_EQ(VariantToText(i4), "-7");
  VARIANT ui1;
  VariantInit(&ui1);
  ui1.vt = VT_UI1;
  ui1.bVal = 200;
  EXPECT_EQ(VariantToText(ui1), "200");
  _variant_t yes(true);
  EXPECT_EQ(VariantToText(yes), "true");
  _variant_t real(1.5);
  EXPECT_EQ(VariantToText(real), "");
  _variant_t text(L"\u7535\u4fe1");  // 电信
  std::string narrow = VariantToText(text);
  if (GetACP() == 936) {
    EXPECT_EQ(narrow, "\xB5\xE7\xD0\xC5");
  }
  _variant_t number(L"4294967301");  // 2^32 + 5: the low 32 bits
  EXPECT_EQ(VariantToUInt32(number), 5u);
  _variant_t garbage(L"not a number");
  EXPECT_THROW(VariantToUInt32(garbage), _com_error);
}

// WMI itself (OS, video adapters, memory) is checked end to end through
// velmo_host: opening a WMI session under Wine starts the desktop process,
// which inherits the opener's standard error and keeps it until every Wine
// program of the session ends, so a test program that opened one would hold
// ctest until then.

class Winsock : public ::testing::Test {
 protected:
  void SetUp() override {
    WSADATA wsa;
    ASSERT_EQ(WSAStartup(MAKEWORD(2, 2), &wsa), 0);
  }
  void TearDown() override { WSACleanup(); }
};

TEST_F(Winsock, PingLoopbackAndUnresolvable) {
  PingStats s{};
  ASSERT_TRUE(PingHost("127.0.0.1", &s, 3, 10, 1000, nullptr));
  EXPECT_EQ(s.loss_ratio, 0.0f);
  EXPECT_LE(s.minimum, s.average);
  EXPECT_LE(s.average, s.maximum);

  s.average = 99;
  EXPECT_FALSE(PingHost("no-such-host.invalid", &s, 3, 10, 100, nullptr));
  EXPECT_EQ(s.loss_ratio, 0.0f);
  EXPECT_EQ(s.average, 0);
  EXPECT_EQ(s.minimum, 0);
  EXPECT_EQ(s.maximum, 0);
}

// Stop ends a ping's interval at once; the stats count what was sent.
TEST_F(Winsock, StopEndsAPingPromptly) {
  StopSignal stop;
  ASSERT_TRUE(stop.SetRunning());
  PingStats s{};
  auto start = std::chrono::steady_clock::now();
  std::thread stopper([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    stop.RequestStop();
  });
  EXPECT_TRUE(PingHost("127.0.0.1", &s, 100, 5000, 5000, &stop));
  auto took = std::chrono::steady_clock::now() - start;
  stopper.join();
  EXPECT_LT(took, std::chrono::seconds(3));
  EXPECT_EQ(s.loss_ratio, 0.0f);
  EXPECT_FALSE(stop.running());
  EXPECT_TRUE(stop.Wait(10000));  // a stopped signal ends every later wait at once
}

}  // namespace

// A WMI service that does not answer holds up no Stop; the helper that waits
// for it gives the locator back when the answer comes at last. An answer
// before Stop comes through.
TEST(WmiConnect, StopLeavesAConnectThatDoesNotAnswer) {
  StopSignal stop;
  ASSERT_TRUE(stop.SetRunning());
  CountingLocator answered;
  answered.Let();
  IWbemServices* services = reinterpret_cast<IWbemServices*>(1);
  EXPECT_EQ(ConnectWmi(&answered, "ROOT\\CIMV2", &stop, &services), HRESULT(WBEM_E_ACCESS_DENIED));
  EXPECT_EQ(services, nullptr);
  EXPECT_EQ(answered.refs(), 1);

  CountingLocator held;
  std::thread stopper([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    stop.RequestStop();
  });
  const auto t0 = std::chrono::steady_clock::now();
  EXPECT_EQ(ConnectWmi(&held, "ROOT\\CIMV2", &stop, &services), E_ABORT);
  EXPECT_LT(std::chrono::steady_clock::now() - t0, std::chrono::milliseconds(2000));
  stopper.join();
  EXPECT_EQ(services, nullptr);
  EXPECT_EQ(held.refs(), 2);  // the helper still waits in ConnectServer
  held.Let();
  for (int i = 0; i < 200 && held.refs() != 1; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  EXPECT_EQ(held.refs(), 1);
}

// A session whose connection Stop ended (here Stop came before it) or whose
// ConnectServer failed has no services: its open fails with that result and
// sets no blanket on a null proxy; every locator reference comes back, the
// helper's included when the helper never ran.
TEST(WmiConnect, OpenWithoutServicesFails) {
  StopSignal stop;
  ASSERT_TRUE(stop.SetRunning());
  CountingLocator denied(0);
  {
    CWmiSession session;
    session.set_stop(&stop);
    EXPECT_EQ(session.Open(&denied), HRESULT(WBEM_E_ACCESS_DENIED));
    EXPECT_EQ(session.services(), nullptr);
  }
  EXPECT_TRUE(denied.WaitForRefs(1, 2000));

  stop.RequestStop();
  CountingLocator never;
  {
    CWmiSession session;
    session.set_stop(&stop);
    EXPECT_EQ(session.Open(&never), E_ABORT);
  }
  EXPECT_EQ(never.refs(), 1);
}

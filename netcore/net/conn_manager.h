// The connection manager's two interfaces: ICMGR_ConnManager opens the gate
// client's outgoing TCP connections and cuts their input into length-prefixed
// frames; ICMGR_ChannelSink is the one receiver of its connect results,
// frames and closes. QConnMgr (conn_mgr.h) is the implementation.
// Thread safety: ICMGR_ConnManager's Connect, Send and Close from any thread;
// Init and Release by the owner, not concurrently with any other call.
// OnConnectToRet and OnConnectionClose arrive on the manager's loop thread;
// a connection's frames arrive on a reader thread of its own, in order, after
// its OnConnectToRet(true) has returned and before its OnConnectionClose.
// Ownership: the creator ends a manager with Release (it stops the loop
// thread, then frees the manager); the sink is not owned by the manager.
//
// Both interfaces keep their operations in this slot order, virtual
// destructor first, so that a peer built with another compiler can use them.
#pragma once

#include <cstdint>

class ICMGR_ChannelSink {
 public:
  virtual ~ICMGR_ChannelSink() {}
  // An established connection ended (transport error, hostile frame prefix,
  // or Close). At most once per connection, never for one that did not connect.
  virtual void OnConnectionClose(uint64_t conn_id, int user_data) = 0;
  // One whole frame, 4-byte length prefix included; valid only during the call.
  virtual void OnData(uint64_t conn_id, const char* frame, int len, int user_data) = 0;
  // Result of a Connect: true once connected, or false once (error or time-out).
  virtual void OnConnectToRet(uint64_t conn_id, bool ok, int user_data) = 0;
};

class ICMGR_ConnManager {
 public:
  virtual ~ICMGR_ConnManager() {}
  // Stores the sink and starts the loop thread; false when it cannot start.
  virtual bool Init(ICMGR_ChannelSink* sink) = 0;
  // Stops the loop thread, waits for it to end, frees the manager. Open
  // connections are dropped without any report.
  virtual void Release() = 0;
  // Starts a connection by host name and returns its id at once (never 0
  // or all ones), or 0 when it could not be started. The outcome arrives
  // through OnConnectToRet.
  virtual uint64_t Connect(const char* host, int port, int user_data, unsigned timeout_ms) = 0;
  // Queues one whole frame on the connection; false for an unknown id.
  virtual bool Send(uint64_t conn_id, const char* data, int len) = 0;
  // Closes the connection on the loop thread; an unknown id does nothing.
  virtual void Close(uint64_t conn_id) = 0;
  // Stores its arguments; no part of the system calls it.
  virtual void ResolveHosts(int count, void* entries, int, int, int) = 0;
};

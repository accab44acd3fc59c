// The exported classes and records of Zintal.dll, listed once for the layout
// test: each as a caller sees it, and as a caller that packs its own
// structures to 1 byte (#pragma pack(1)) sees it.
#pragma once

#include <cstddef>
#include <vector>

// clang-format off
#define Q_ZINTAL_EXPORTED_TYPES(X)                                                         \
  X(tagDataHead) X(tagBurthenInfo) X(tagFileHead) X(CDataQueue) X(CLog) X(CMD5Encrypt)     \
  X(CXOREncrypt) X(IThreadLock) X(CThreadLock) X(CThreadLockHandle) X(IServiceThread)      \
  X(CServiceThread) X(CPeekMsgThread) X(CGetMsgThread) X(CWebBrowser) X(CHtmlBrower)       \
  X(CWinFileInfo)
// clang-format on

struct TypeLayout {
  const char* name;
  size_t size;
  size_t align;
};

#define Q_ZINTAL_TYPE_LAYOUT(T) TypeLayout{#T, sizeof(T), alignof(T)},

// Every type of the list as seen from a translation unit that includes the
// public headers under #pragma pack(1).
std::vector<TypeLayout> LayoutUnderPackOne();

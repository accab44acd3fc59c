// Export macro of Zintal.dll's classes (placeholder until the DLL's own
// header lands).
#pragma once
#ifndef ZINTAL_CLASS
#define ZINTAL_CLASS
#endif

// <windows.h> for the adapters, without the A/W macros whose names the seams use as
// member names (MessageBox, LoadLibrary, ...): the adapters call the ...A functions by
// their full names.
#pragma once
#include <windows.h>

#undef MessageBox
#undef LoadLibrary
#undef SetDllDirectory
#undef GetModuleFileName
#undef GetSystemDirectory
#undef LoadString
#undef LoadIcon
#undef GetFileVersionInfoSize
#undef GetFileVersionInfo
#undef DispatchMessage

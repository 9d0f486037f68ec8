// <windows.h> turns many Win32 names into macros for their A or W forms. The
// facade's methods carry the plain names, so a file that includes both must
// not see those macros. Included by desktop.h; the facade's callers always
// call the A forms explicitly.
#pragma once

#ifdef _WIN32
#undef RegOpenKeyEx
#undef RegCreateKeyEx
#undef RegDeleteKey
#undef RegDeleteValue
#undef RegQueryValueEx
#undef RegSetValueEx
#undef RegQueryInfoKey
#undef RegEnumValue
#undef RegEnumKey
#undef ExpandEnvironmentStrings
#undef EnumProcesses
#undef EnumProcessModules
#undef GetModuleFileNameEx
#undef CreateProcess
#undef DeleteFile
#undef Process32First
#undef Process32Next
#undef GetModuleFileName
#undef FindWindow
#undef FindWindowEx
#undef GetWindowText
#undef GetWindowTextLength
#undef GetClassName
#undef SendMessage
#undef SendMessageTimeout
#undef PostMessage
#undef GetMenuString
#undef GetWindowLong
#undef MessageBox
#undef GetCurrentDirectory
#undef Yield
#undef CreateDirectory
#undef GetFileAttributes
#undef GetFileSecurity
#undef SetFileSecurity
#undef ReportEvent
#undef RemoveDirectory
#undef CopyFile
#undef GetFileAttributesEx
#undef RegisterWindowMessage
#undef QueryFullProcessImageName
#undef GetProcessMemoryInfo
#undef MoveFileEx
#endif

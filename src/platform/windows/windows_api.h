#pragma once
// The one place the Windows headers come in. They make some of the seam's
// plain words (DeleteFile, CopyFile, MessageBox, ReplaceFile) macros for their
// A and W forms; undone here, every file that uses Windows, and every file
// that declares the seam, sees one and the same class.
#include <windows.h>
#include <sddl.h>
#include <tlhelp32.h>
#undef DeleteFile
#undef CopyFile
#undef MessageBox
#undef ReplaceFile

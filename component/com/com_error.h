#pragma once
// How a numbered error leaves a COM method: as a failure status with the
// thread's error object set (vtable callers), or as DISP_E_EXCEPTION with an
// EXCEPINFO (late-bound callers). Nothing thrown ever crosses the boundary.
#include <oaidl.h>

#include "core/error.h"

namespace orbenix::com {

// The status a numbered error travels as: 0x800A0000 + number for the
// platform's run-time error numbers, the number itself when it already is
// a failure status, E_FAIL otherwise.
HRESULT HresultOf(const Error& error);

// Sets this thread's error object to the error's description and source.
void PublishErrorInfo(const Error& error);

// Fills `info` (which may be null; its old content is not owned) with the
// error's status, source and description.
void FillExcepInfo(const Error& error, EXCEPINFO* info);

// The source every error names.
inline constexpr wchar_t kErrorSource[] = L"orbenix.vexarel";

}  // namespace orbenix::com

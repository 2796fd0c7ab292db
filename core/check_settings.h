#pragma once
// The record a check works from: the decoded parameter string plus the little
// state one check passes between its steps. One record per host thread,
// shared by every object on that thread; each entry call refills it.
#include <cstdint>
#include <string>

#include "core/variant.h"

namespace orbenix {

struct CheckSettings {
    std::u16string SolusVMURL;
    std::u16string APIKey;
    std::u16string APIHash;
    bool UseProxy = false;
    std::u16string ProxyHost;
    std::int32_t ProxyPort = 0;
    bool UseProxyAuthentication = false;
    std::u16string ProxyUsername;
    std::u16string ProxyPassword;
    std::u16string ProxyType;
    bool UseAuthentication = false;
    std::u16string AuthUsername;
    std::u16string AuthPassword;
    std::u16string LastMessage;
    std::u16string ResponseTempFile;
    std::u16string RequestTempFile;
    Variant CurrentParameter;
};

// This thread's record.
CheckSettings& ThreadCheckSettings();

// Where ThreadCheckSettings() keeps the records: by default a thread_local.
// The DLL installs a TLS slot of its own that it empties when a thread
// detaches, because a thread_local with a destructor pins the DLL and, when
// the host unloads it before the thread ends, unloads it from inside the
// thread's exit, which deadlocks. Null restores the default.
using CheckSettingsStorage = CheckSettings& (*)();
void SetCheckSettingsStorage(CheckSettingsStorage storage);

}  // namespace orbenix

#pragma once
// The per-thread records of the component (check settings, check options),
// kept in TLS slots that the DLL's entry point manages: a thread's records
// go when the thread detaches, all of them when the DLL unloads. This
// replaces the core's thread_local storage inside the DLL, where a
// thread_local with a destructor pins the DLL and then unloads it from
// inside the thread's exit, which deadlocks.
namespace orbenix::com {

// Process attach: allocates the slots and installs them. False on failure.
bool OpenThreadRecords();
// Thread detach: deletes the detaching thread's records.
void EndThreadRecords();
// Process detach: uninstalls the slots; deletes every thread's records
// unless the process is ending anyway.
void CloseThreadRecords(bool process_ending);

}  // namespace orbenix::com

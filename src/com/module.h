// The module's global state: the lock count that decides whether the module may be unloaded,
// the count of live data adaptors that starts and stops the page-content kit, the class objects
// and registration.
#pragma once

#include <cstdint>

#include "velluma/unknwn.h"

namespace vmodule {

// Module lock count (interlocked). Every live object of the server holds one lock, and
// IClassFactory::LockServer adds and removes locks for the host.
int32_t Lock();
int32_t Unlock();
int32_t GetLockCount();

// Live data adaptors. The first adaptor to be created starts the kit (PTK_Initialize with 0),
// the last one destroyed stops it (PTK_Destroy).
void AdaptorCreated();
void AdaptorDestroyed();
int32_t GetLiveAdaptorCount();

// The class objects of PDFDataAdaptor and PDFIssueInfoProvider as IClassFactory (not
// AddRef'ed). They live as long as the module; each reference a client holds on one counts as a
// module lock.
IClassFactory* GetDataAdaptorFactory();
IClassFactory* GetIssueInfoProviderFactory();

// Registration (registration.cpp). Per-user registration is chosen by DllInstall with the
// command line "user" and stays chosen for the rest of the module's life.
void SetPerUserRegistration(bool bPerUser);
bool IsPerUserRegistration();
// Scripts 101, 102 and 104, then the type library. The first failure is returned.
HRESULT RegisterServer();
// The classes' scripts and the type library, then script 101 in unregister mode.
HRESULT UnregisterServer();
// DllInstall: "user" (any case) selects per-user registration; install registers (and on
// failure unregisters and returns the failure), uninstall unregisters.
HRESULT Install(BOOL bInstall, const char16_t* pszCmdLine);

// The scripts as the module holds them (resource ids 101, 102, 104); null for another id.
const char16_t* RegistrarScript(int nId);

// What DllGetClassObject answers: E_POINTER for a null ppv, CLASS_E_CLASSNOTAVAILABLE for a
// class this module does not serve, else the class object's QueryInterface for riid.
HRESULT GetClassObject(REFCLSID rclsid, REFIID riid, void** ppv);
// What DllCanUnloadNow answers: S_OK when no lock is held, else S_FALSE.
HRESULT CanUnloadNow();

}  // namespace vmodule

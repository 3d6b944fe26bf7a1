// The module's global state: the lock count that decides whether the module may be unloaded,
// the count of live data adaptors that starts and stops the page-content kit, and the class
// object of PDFDataAdaptor.
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

// The class object of PDFDataAdaptor as an IClassFactory (not AddRef'ed). It lives as long as
// the module; each reference a client holds on it counts as a module lock.
IClassFactory* GetDataAdaptorFactory();

// What DllGetClassObject answers: E_POINTER for a null ppv, CLASS_E_CLASSNOTAVAILABLE for a
// class this module does not serve, else the class object's QueryInterface for riid.
HRESULT GetClassObject(REFCLSID rclsid, REFIID riid, void** ppv);
// What DllCanUnloadNow answers: S_OK when no lock is held, else S_FALSE.
HRESULT CanUnloadNow();

}  // namespace vmodule

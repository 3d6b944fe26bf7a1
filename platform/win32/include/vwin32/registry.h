// The runtime's class registry: a file-backed key store with two hives, the machine-wide classes
// and the current user's classes (what HKEY_CLASSES_ROOT and HKEY_CURRENT_USER\Software\Classes
// hold on Windows), the registrar that executes registration scripts in the .rgs text form, and
// class activation by class identifier.
//
// Hive files. With VELLUMA_REGISTRY_DIR set, both hives live in that folder (machine.reg and
// user.reg). Otherwise the machine hive is /var/lib/velluma/registry/machine.reg and the user
// hive $XDG_CONFIG_HOME/velluma/registry/user.reg ($HOME/.config when XDG_CONFIG_HOME is unset).
// Every change is read-modify-write under an exclusive lock on <hive>.lock, and the new hive is
// written to a temporary file that is synced and renamed over the old one: a crash or a second
// process registering at the same time never leaves a half-written store.
//
// Keys and value names compare ignoring ASCII case, as on Windows; the spelling first written
// is kept. Values are strings (REG_SZ) or 32-bit numbers (REG_DWORD), both kept as text.
#pragma once

#include <functional>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "velluma/unknwn.h"

namespace vwin32 {

enum class RegHive { Machine, User };

// "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}" in upper case.
std::u16string GuidToString(const GUID& guid);
// Reads that form (either case, braces required); false for anything else.
bool GuidFromString(std::u16string_view text, GUID& guid);

// One hive held in memory. Key paths use '\' between names ("CLSID\{...}\InprocServer32").
class CRegStore {
 public:
  enum ValueType { REG_SZ_TYPE = 1, REG_DWORD_TYPE = 4 };
  struct Value {
    std::u16string name;  // "" is the key's default value
    int type = REG_SZ_TYPE;
    std::u16string data;
  };

  // Creates the key and its missing parents.
  void CreateKey(std::u16string_view path);
  bool KeyExists(std::u16string_view path) const;
  // Deletes the key with its values and every key below it; false when it did not exist.
  bool DeleteTree(std::u16string_view path);
  // Whether the key has keys below it.
  bool HasSubKeys(std::u16string_view path) const;
  // Sets a value, creating the key.
  void SetValue(std::u16string_view path, std::u16string_view name, int type,
                std::u16string_view data);
  // The value, or null.
  const Value* GetValue(std::u16string_view path, std::u16string_view name) const;
  bool DeleteValue(std::u16string_view path, std::u16string_view name);
  bool IsEmpty() const { return m_keys.empty(); }

  // The text form of the hive file, and the reverse; Parse gives false for a damaged text.
  std::string Serialise() const;
  bool Parse(std::string_view text);

  bool operator==(const CRegStore& other) const { return Serialise() == other.Serialise(); }

 private:
  struct Key {
    std::u16string path;
    std::map<std::u16string, Value> values;  // by lower-case name
  };
  static std::u16string Fold(std::u16string_view path);
  std::map<std::u16string, Key> m_keys;  // by lower-case path; parents sort before children
};

// The hive's file name (see the header comment); empty when no location can be found.
std::string HivePath(RegHive hive);

// Reads a hive (an empty store when its file does not exist). False when the file exists but
// cannot be read or is damaged.
bool ReadHive(RegHive hive, CRegStore& store);

// Reads the hive under its lock, lets change modify it and, when change succeeds, writes it back
// atomically. The folder is created when missing. E_ACCESSDENIED when the folder or the file
// cannot be created or written, REGDB_E_READREGDB when the hive is damaged; otherwise change's
// result.
HRESULT UpdateHive(RegHive hive, const std::function<HRESULT(CRegStore&)>& change);

// The registrar. Executes an .rgs script against a store, with every %NAME% replaced from
// replacements (a "%%" stands for one "%"). Understood: root keys HKCR / HKEY_CLASSES_ROOT; key
// names bare or in single quotes ('' is one quote); the flags NoRemove, ForceRemove and Delete;
// a key's default value "= s 'text'" or "= d 'number'"; named values "val Name = s '...'" and
// "val Name = d '...'"; nested blocks in braces. Registration creates keys and sets values
// (ForceRemove deletes the key first, Delete deletes it). Unregistration removes what
// registration wrote: a ForceRemove key goes with everything below it, a plain key goes when no
// keys remain below it after its own block was undone, a NoRemove key stays (only its block is
// undone), and named values go. S_OK, or DISP_E_EXCEPTION for a script that does not parse (the
// store is then unchanged).
HRESULT RunRegistrarScript(std::u16string_view script,
                           const std::map<std::u16string, std::u16string>& replacements,
                           bool bRegister, CRegStore& store);

// The default value of a key, looked up in the user hive first, then in the machine hive.
bool LookUpClassesValue(std::u16string_view path, std::u16string_view name, std::u16string& out);

}  // namespace vwin32

// Class activation. Looks the class up under CLSID\{clsid}\InprocServer32 (user hive first, then
// machine hive), loads the module named there and asks its class object for the instance.
// REGDB_E_CLASSNOTREG when the class is registered in neither hive, CO_E_ERRORINDLL when the
// module cannot be loaded or exports no DllGetClassObject; otherwise the class object's result.
// Modules loaded this way stay loaded for the life of the process. Only in-process servers
// exist; dwClsContext is not looked at.
constexpr DWORD CLSCTX_INPROC_SERVER = 0x1;
constexpr DWORD CLSCTX_ALL = 0x17;
VCOMRT_API HRESULT CoCreateInstance(REFCLSID rclsid, IUnknown* pUnkOuter, DWORD dwClsContext,
                                    REFIID riid, void** ppv);
VCOMRT_API HRESULT CoGetClassObject(REFCLSID rclsid, DWORD dwClsContext, void* pvReserved,
                                    REFIID riid, void** ppv);
// The class identifier registered for a program identifier ("Velluma.PDFDataAdaptor.1") under
// ProgID\CLSID; CO_E_CLASSSTRING when it is not registered or not an identifier.
VCOMRT_API HRESULT CLSIDFromProgID(LPCOLESTR lpszProgID, CLSID* pclsid);

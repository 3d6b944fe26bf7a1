// Registration of the module: the registrar scripts of the application (101) and of both classes
// (102, 104), the type library's keys, and the choice between the machine-wide and the per-user
// classes hive. One registration or unregistration is one atomic change of the hive.
#include <atomic>
#include <map>
#include <string>

#include "com/module.h"
#include "velluma/velluma.h"
#include "vwin32/files.h"
#include "vwin32/registry.h"
#include "vwin32/strings.h"

namespace vmodule {
namespace {

// An object of this module: its address names the module file to the loader.
const int kModuleAnchor = 0;

std::atomic<bool> g_bPerUser{false};

constexpr const char16_t* kScript101 =
    uR"(HKCR
{
	NoRemove AppID
	{
		'%APPID%' = s 'Velluma'
		'Velluma.DLL'
		{
			val AppID = s '%APPID%'
		}
	}
}
)";

constexpr const char16_t* kScript102 =
    uR"(HKCR
{
	Velluma.PDFDataAdaptor.1 = s 'PDFDataAdaptor Class'
	{
		CLSID = s '%CLSID_ADAPTOR%'
	}
	Velluma.PDFDataAdaptor = s 'PDFDataAdaptor Class'
	{
		CLSID = s '%CLSID_ADAPTOR%'
		CurVer = s 'Velluma.PDFDataAdaptor.1'
	}
	NoRemove CLSID
	{
		ForceRemove %CLSID_ADAPTOR% = s 'PDFDataAdaptor Class'
		{
			ProgID = s 'Velluma.PDFDataAdaptor.1'
			VersionIndependentProgID = s 'Velluma.PDFDataAdaptor'
			InprocServer32 = s '%MODULE%'
			{
				val ThreadingModel = s 'Apartment'
			}
			'TypeLib' = s '%LIBID%'
		}
	}
}
)";

constexpr const char16_t* kScript104 =
    uR"(HKCR
{
	Velluma.PDFIssueInfoProvider.1 = s 'PDFIssueInfoProvider Class'
	{
		CLSID = s '%CLSID_PROVIDER%'
	}
	Velluma.PDFIssueInfoProvider = s 'PDFIssueInfoProvider Class'
	{
		CLSID = s '%CLSID_PROVIDER%'
		CurVer = s 'Velluma.PDFIssueInfoProvider.1'
	}
	NoRemove CLSID
	{
		ForceRemove %CLSID_PROVIDER% = s 'PDFIssueInfoProvider Class'
		{
			ProgID = s 'Velluma.PDFIssueInfoProvider.1'
			VersionIndependentProgID = s 'Velluma.PDFIssueInfoProvider'
			ForceRemove 'Programmable'
			InprocServer32 = s '%MODULE%'
			{
				val ThreadingModel = s 'Apartment'
			}
			'TypeLib' = s '%LIBID%'
		}
	}
}
)";

// The keys that registering the embedded type library writes: the library (version 1.0, help
// string, module path, flags, help folder) and the dual interface, marshalled by the automation
// marshaller.
constexpr const char16_t* kTypeLibScript =
    uR"(HKCR
{
	NoRemove TypeLib
	{
		%LIBID%
		{
			'1.0' = s 'Velluma 1.0 Type Library'
			{
				'0'
				{
					'win64' = s '%MODULE%'
				}
				'FLAGS' = s '0'
				'HELPDIR' = s '%MODULEDIR%'
			}
		}
	}
	NoRemove Interface
	{
		ForceRemove %IID_PROVIDER% = s 'IIssueInfoProvider'
		{
			ProxyStubClsid = s '{00020424-0000-0000-C000-000000000046}'
			ProxyStubClsid32 = s '{00020424-0000-0000-C000-000000000046}'
			TypeLib = s '%LIBID%'
			{
				val Version = s '1.0'
			}
		}
	}
}
)";

std::map<std::u16string, std::u16string> Replacements() {
  const std::u16string module = vwin32::ModulePathOf(&kModuleAnchor);
  return {
      {u"MODULE", module},
      {u"MODULEDIR", vwin32::DirectoryOf(module)},
      {u"APPID", vwin32::GuidToString(APPID_Velluma)},
      {u"CLSID_ADAPTOR", vwin32::GuidToString(CLSID_PDFDataAdaptor)},
      {u"CLSID_PROVIDER", vwin32::GuidToString(CLSID_PDFIssueInfoProvider)},
      {u"IID_PROVIDER", vwin32::GuidToString(IID_IIssueInfoProvider)},
      {u"LIBID", vwin32::GuidToString(LIBID_VellumaLib)},
  };
}

vwin32::RegHive TargetHive() {
  return g_bPerUser.load() ? vwin32::RegHive::User : vwin32::RegHive::Machine;
}

// Runs the scripts in order, in one change of the target hive; the first failure stops it and
// leaves the hive as it was.
HRESULT RunScripts(std::initializer_list<const char16_t*> scripts, bool bRegister) {
  const auto replacements = Replacements();
  if (replacements.at(u"MODULE").empty()) return E_UNEXPECTED;
  return vwin32::UpdateHive(TargetHive(), [&](vwin32::CRegStore& store) {
    for (const char16_t* script : scripts) {
      const HRESULT hr = vwin32::RunRegistrarScript(script, replacements, bRegister, store);
      if (FAILED(hr)) return hr;
    }
    return S_OK;
  });
}

}  // namespace

void SetPerUserRegistration(bool bPerUser) {
  g_bPerUser.store(bPerUser);
}

bool IsPerUserRegistration() {
  return g_bPerUser.load();
}

const char16_t* RegistrarScript(int nId) {
  switch (nId) {
    case 101:
      return kScript101;
    case 102:
      return kScript102;
    case 104:
      return kScript104;
    default:
      return nullptr;
  }
}

// The thread locale that the registration sets to the system default on Windows does not exist
// here: nothing in the scripts depends on a locale.
HRESULT RegisterServer() {
  return RunScripts({kScript101, kScript102, kScript104, kTypeLibScript}, true);
}

HRESULT UnregisterServer() {
  return RunScripts({kScript102, kScript104, kTypeLibScript, kScript101}, false);
}

HRESULT Install(BOOL bInstall, const char16_t* pszCmdLine) {
  if (pszCmdLine != nullptr && vwin32::EqualsNoCase(vwin32::View(pszCmdLine), u"user"))
    SetPerUserRegistration(true);
  if (!bInstall) return UnregisterServer();
  const HRESULT hr = RegisterServer();
  if (FAILED(hr)) UnregisterServer();
  return hr;
}

}  // namespace vmodule

// velluma register [--user] / velluma unregister [--user]: registers the component module in the
// runtime's class registry (machine-wide, or for the current user) or removes its registration.
#include <dlfcn.h>

#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <string>

#include "host.h"
#include "vwin32/registry.h"

namespace vhost {

std::string ModulePath() {
  if (const char* env = std::getenv("VELLUMA_MODULE"); env && *env) return env;
  std::error_code ec;
  const std::filesystem::path exe = std::filesystem::read_symlink("/proc/self/exe", ec);
  if (ec) return "libvelluma.so";
  return (exe.parent_path().parent_path() / "lib" / "libvelluma.so").string();
}

void* LoadModule(std::string& error) {
  static void* module = nullptr;
  static std::string loadError;
  static const bool loaded = [] {
    const std::string path = ModulePath();
    module = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (module == nullptr)
      loadError = "cannot load the component module " + path + ": " + dlerror();
    return module != nullptr;
  }();
  if (!loaded) error = loadError;
  return module;
}

void* ModuleExport(const char* name) {
  std::string error;
  void* module = LoadModule(error);
  return module != nullptr ? dlsym(module, name) : nullptr;
}

}  // namespace vhost

int RunRegisterCommand(int argc, char** argv) {
  const std::string command = argv[1];
  const bool bRegister = command == "register";
  bool bUser = false;
  for (int k = 2; k < argc; ++k) {
    const std::string a = argv[k];
    if (a == "--user") {
      bUser = true;
    } else if (a == "--help" || a == "-h") {
      std::cout << "usage: velluma " << command << " [--user]\n";
      return vhost::kExitOk;
    } else {
      std::cerr << "velluma: unknown option '" << a << "' for " << command << "\n";
      return vhost::kExitBadArguments;
    }
  }
  std::string error;
  if (vhost::LoadModule(error) == nullptr) {
    std::cerr << "velluma: " << error << "\n";
    return vhost::kExitSomeFailed;
  }
  using PFN_DllInstall = HRESULT (*)(BOOL, const char16_t*);
  auto pfnInstall = reinterpret_cast<PFN_DllInstall>(vhost::ModuleExport("DllInstall"));
  if (pfnInstall == nullptr) {
    std::cerr << "velluma: the module " << vhost::ModulePath() << " exports no DllInstall\n";
    return vhost::kExitSomeFailed;
  }
  // "user" selects the current user's hive; an empty command line the machine-wide one.
  const HRESULT hr = pfnInstall(bRegister ? TRUE : FALSE, bUser ? u"user" : u"");
  const std::string hive =
      vwin32::HivePath(bUser ? vwin32::RegHive::User : vwin32::RegHive::Machine);
  if (FAILED(hr)) {
    char code[16];
    std::snprintf(code, sizeof code, "0x%08X", static_cast<unsigned>(hr));
    std::cerr << "velluma: " << command << " failed (" << code << ")"
              << (hr == E_ACCESSDENIED      ? "; cannot write " + hive
                  : hr == REGDB_E_READREGDB ? "; the registry file " + hive + " is damaged"
                                            : std::string())
              << "\n";
    return vhost::kExitSomeFailed;
  }
  std::cout << (bRegister ? "registered " : "unregistered ") << vhost::ModulePath()
            << (bUser ? " for the current user" : " machine-wide") << " (" << hive << ")\n";
  return vhost::kExitOk;
}

// velluma review FILE --page N [--level L]: loads a page with glyph recognition, opens the
// review window for its recognised characters (when there are any and a display is there) and
// prints the page's text blocks with the corrections, one block per paragraph.
#include <dlfcn.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <iostream>
#include <string>

#include "velluma/velluma.h"
#include "vwin32/strings.h"

namespace {

namespace fs = std::filesystem;

using GetClassObjectFn = HRESULT (*)(REFCLSID, REFIID, void**);

struct Failure {
  std::string message;
};

std::string ModulePath() {
  if (const char* env = std::getenv("VELLUMA_MODULE"); env && *env) return env;
  std::error_code ec;
  const fs::path exe = fs::read_symlink("/proc/self/exe", ec);
  return ec ? "libvelluma.so"
            : (exe.parent_path().parent_path() / "lib" / "libvelluma.so").string();
}

IDataAdaptor* CreateAdaptor() {
  const std::string path = ModulePath();
  void* module = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!module) throw Failure{"cannot load the component module " + path + ": " + dlerror()};
  auto getClassObject = reinterpret_cast<GetClassObjectFn>(dlsym(module, "DllGetClassObject"));
  IClassFactory* factory = nullptr;
  if (!getClassObject ||
      FAILED(getClassObject(CLSID_PDFDataAdaptor, IID_IClassFactory,
                            reinterpret_cast<void**>(&factory))) ||
      !factory)
    throw Failure{"the module " + path + " has no data adaptor class"};
  IDataAdaptor* adaptor = nullptr;
  const HRESULT hr =
      factory->CreateInstance(nullptr, IID_IDataAdaptor, reinterpret_cast<void**>(&adaptor));
  factory->Release();
  if (FAILED(hr) || !adaptor) throw Failure{"cannot create a data adaptor"};
  return adaptor;
}

int Number(const std::string& option, const char* value) {
  char* end = nullptr;
  const long n = std::strtol(value, &end, 10);
  if (*value == '\0' || *end != '\0' || n < 0 || n > 1000000)
    throw Failure{"option " + option + " needs a whole number, not '" + value + "'"};
  return static_cast<int>(n);
}

int Review(int argc, char** argv) {
  std::string file;
  int page = 1;
  int level = 1;
  for (int k = 2; k < argc; ++k) {
    const std::string a = argv[k];
    if ((a == "--page" || a == "--level") && k + 1 < argc) {
      (a == "--page" ? page : level) = Number(a, argv[++k]);
    } else if (!a.empty() && a[0] != '-' && file.empty()) {
      file = a;
    } else {
      throw Failure{"usage: velluma review FILE [--page N] [--level L]"};
    }
  }
  if (file.empty()) throw Failure{"usage: velluma review FILE [--page N] [--level L]"};
  if (level > 15) throw Failure{"option --level takes 0 to 15"};
  std::error_code ec;
  if (!fs::is_regular_file(file, ec)) throw Failure{"cannot open " + file + ": no such file"};

  IDataAdaptor* adaptor = CreateAdaptor();
  std::string error;
  const std::u16string wide = vwin32::FromUtf8(fs::absolute(file, ec).string());
  long count = 0;
  if (FAILED(adaptor->Open(0, wide.c_str()))) {
    error = file + ": cannot be opened as a PDF";
  } else if (adaptor->get_TotalPageCount(&count), page < 1 || page > count) {
    error =
        file + ": no page " + std::to_string(page) + " (pages 1 to " + std::to_string(count) + ")";
  } else if (FAILED(adaptor->LoadPage(
                 page, LPF_TEXT | LPF_RECOGNISE | LPF_POSTEDIT | static_cast<unsigned long>(level),
                 TRUE))) {
    error = file + ": page " + std::to_string(page) + " cannot be loaded";
  } else {
    IBlockList* list = nullptr;
    long n = 0;
    if (SUCCEEDED(adaptor->GetTextList(nullptr, 0, &list)) && list &&
        SUCCEEDED(list->GetCount(&n))) {
      for (long i = 0; i < n; ++i) {
        long* item = nullptr;
        BSTR text = nullptr;
        if (FAILED(list->GetItemAt(static_cast<int>(i), &item)) || !item) continue;
        reinterpret_cast<ITextBlock*>(item)->GetText(&text);
        // Lines end in "\n" on the terminal.
        const std::string utf8 = vwin32::ToUtf8(vwin32::FromBstr(text));
        SysFreeString(text);
        std::string out;
        for (size_t k = 0; k < utf8.size(); ++k)
          if (!(utf8[k] == '\r' && k + 1 < utf8.size() && utf8[k + 1] == '\n')) out += utf8[k];
        std::cout << out << "\n\n";
      }
    }
    if (list) list->Release();
  }
  adaptor->Close();
  adaptor->Release();
  if (!error.empty()) throw Failure{error};
  std::cout.flush();
  return 0;
}

}  // namespace

// The review command; argv[1] is "review".
int VellumaReviewCommand(int argc, char** argv) {
  try {
    return Review(argc, argv);
  } catch (const Failure& f) {
    std::cerr << "velluma: " << f.message << "\n";
    return 2;
  }
}

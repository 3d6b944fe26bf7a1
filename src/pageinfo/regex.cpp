// Regular-expression search for page-information recognition, on PCRE2's 16-bit library
// directly over UTF-16 text.
//
// Expressions are compiled with the default options: no PCRE2_UTF, so the subject is read as
// plain 16-bit units. That keeps texts with lone surrogates searchable (UTF mode would reject
// them as invalid) and every expression in use names BMP characters only. Compiled expressions
// are cached for the life of the process, keyed by their text; match data is made per call.
#define PCRE2_CODE_UNIT_WIDTH 16
#include <pcre2.h>

#include <memory>
#include <mutex>
#include <string>
#include <unordered_map>

#include "pageinfo/pageinfo.h"
#include "vwin32/format.h"
#include "xml/trace.h"

namespace {

// Backtracking limits per start position: a configured expression with nested quantifiers
// must not hang recognition; hitting a limit reads as no match.
constexpr uint32_t kMatchLimit = 200000;
constexpr uint32_t kDepthLimit = 2000;

struct CompiledExpression {
  pcre2_code* code = nullptr;  // null when the expression does not compile
  CompiledExpression() = default;
  CompiledExpression(const CompiledExpression&) = delete;
  CompiledExpression& operator=(const CompiledExpression&) = delete;
  ~CompiledExpression() { pcre2_code_free(code); }
};

std::u16string CompileErrorText(int errorCode) {
  PCRE2_UCHAR buffer[256];
  const int n = pcre2_get_error_message(errorCode, buffer, sizeof(buffer) / sizeof(buffer[0]));
  if (n < 0) return u"unknown error";
  return std::u16string(reinterpret_cast<const char16_t*>(buffer), static_cast<size_t>(n));
}

// The compiled form of the expression, compiled on first use; the shared pointer keeps it alive
// while a search uses it. A failed compile is cached too, and traced once.
std::shared_ptr<const CompiledExpression> Compiled(std::u16string_view expression) {
  static std::mutex mutex;
  static std::unordered_map<std::u16string, std::shared_ptr<const CompiledExpression>> cache;
  const std::lock_guard<std::mutex> lock(mutex);
  std::u16string key(expression);
  auto it = cache.find(key);
  if (it != cache.end()) return it->second;

  auto compiled = std::make_shared<CompiledExpression>();
  int errorCode = 0;
  PCRE2_SIZE errorOffset = 0;
  compiled->code = pcre2_compile(reinterpret_cast<PCRE2_SPTR>(key.data()), key.size(), 0,
                                 &errorCode, &errorOffset, nullptr);
  if (compiled->code == nullptr) {
    velluma::DebugTrace(vwin32::Format(u"page info: expression \"%s\" does not compile at %d: %s\n",
                                       key.c_str(), static_cast<int>(errorOffset),
                                       CompileErrorText(errorCode).c_str()));
  }
  std::shared_ptr<const CompiledExpression> result = std::move(compiled);
  cache.emplace(std::move(key), result);
  return result;
}

struct MatchContext {
  pcre2_match_context* context;
  MatchContext() : context(pcre2_match_context_create(nullptr)) {
    if (context != nullptr) {
      pcre2_set_match_limit(context, kMatchLimit);
      pcre2_set_depth_limit(context, kDepthLimit);
    }
  }
  MatchContext(const MatchContext&) = delete;
  MatchContext& operator=(const MatchContext&) = delete;
  ~MatchContext() { pcre2_match_context_free(context); }
};

}  // namespace

bool CPageInfo::RegexSearch(std::u16string_view text, std::u16string_view expression, int& start,
                            int& end) {
  const std::shared_ptr<const CompiledExpression> compiled = Compiled(expression);
  if (compiled->code == nullptr) return false;
  // Read-only after construction, so one context serves every thread.
  static const MatchContext matchContext;
  std::unique_ptr<pcre2_match_data, decltype(&pcre2_match_data_free)> data(
      pcre2_match_data_create_from_pattern(compiled->code, nullptr), &pcre2_match_data_free);
  if (!data) return false;
  // An empty view may carry a null pointer, which PCRE2 accepts only with length 0.
  static const char16_t kEmpty[1] = {0};
  const char16_t* subject = text.empty() ? kEmpty : text.data();
  const int rc = pcre2_match(compiled->code, reinterpret_cast<PCRE2_SPTR>(subject), text.size(), 0,
                             0, data.get(), matchContext.context);
  if (rc < 0) return false;  // no match, a limit hit or another error
  const PCRE2_SIZE* ovector = pcre2_get_ovector_pointer(data.get());
  if (ovector[0] > ovector[1]) return false;  // \K in a look-ahead can invert the span
  start = static_cast<int>(ovector[0]);
  end = static_cast<int>(ovector[1]);
  return true;
}

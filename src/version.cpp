// The component's version, for diagnostics.
namespace velluma {
extern const char kVersion[] = "0.1.0";
}  // namespace velluma
